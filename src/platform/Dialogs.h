#pragma once

#include <QString>

namespace platform {

// Message and question boxes, titled with the program's name. Tests answer them from presets.
class IDialogs {
public:
    enum class Icon { None, Exclamation, Information, Critical };
    virtual ~IDialogs() = default;
    // A message box with only an OK button.
    virtual void ShowMessage(const QString& text, Icon icon) = 0;
    // A question box with Yes (default) and No and a question icon; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
    // The same question with a third button after Yes and No.
    enum class Answer { Yes, No, Third };
    virtual Answer AskYesNoOr(const QString& text, const QString& thirdButton) = 0;
};

// Starting programs and opening files without waiting for them.
class IDesktop {
public:
    virtual ~IDesktop() = default;
    // Opens the file in the desktop's application for its type; false when nothing could be started.
    virtual bool OpenFile(const QString& path) = 0;
};

} // namespace platform
