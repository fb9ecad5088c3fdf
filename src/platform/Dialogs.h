#pragma once

#include <QString>

#include <functional>

namespace platform {

// Message and question boxes, titled with the program's name. Tests answer them from presets.
class IDialogs {
public:
    enum class Icon { None, Exclamation, Information, Critical };

    struct PasswordAnswer {
        bool answered = false; // false: Cancel
        QString password;
        bool remember = false; // "Ricorda la password"
    };

    virtual ~IDialogs() = default;
    // A message box with only an OK button.
    virtual void ShowMessage(const QString& text, Icon icon) = 0;
    // A question box with Yes (default) and No and a question icon; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
    // The same question with a third button after Yes and No; the third one is the default.
    enum class Answer { Yes, No, Third };
    virtual Answer AskYesNoOr(const QString& text, const QString& thirdButton) = 0;

    // The two questions a session asks return at once and answer through the callback once the
    // user has closed them, so no event loop runs inside the logic.
    // The password for user at host; without a secret store the box to remember it is disabled
    // and the dialog says the password is kept only until the program ends.
    virtual void AskPassword(const QString& user, const QString& host, bool storeAvailable,
                             std::function<void(PasswordAnswer)> done) = 0;
    // A question with Yes and No, No the default; true for Yes.
    virtual void AskTrust(const QString& text, std::function<void(bool yes)> done) = 0;
};

// Starting programs and opening files without waiting for them.
class IDesktop {
public:
    virtual ~IDesktop() = default;
    // Opens the file in the desktop's application for its type; false when nothing could be started.
    virtual bool OpenFile(const QString& path) = 0;
};

} // namespace platform
