#pragma once

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/SecretStore.h"
#include "platform/SettingsStore.h"
#include "platform/Timer.h"

#include <QHash>
#include <QQueue>
#include <QStringList>

#include <functional>
#include <utility>

namespace testsupport {

// A clock that only moves when told to.
class FakeClock final : public platform::IClock {
public:
    explicit FakeClock(double days = 45000.5) : m_now(days) {}
    double Now() const override { return m_now; }
    void Set(double days) { m_now = days; }
    void AdvanceSeconds(double seconds) { m_now += seconds / platform::kSecondsPerDay; }

private:
    double m_now;
};

// A timer that fires only when the test says so.
class FakeTimer final : public platform::ITimer {
    Q_OBJECT
public:
    void Start(int intervalMs, bool singleShot) override
    {
        m_interval = intervalMs;
        m_singleShot = singleShot;
        m_active = true;
        ++m_starts;
    }
    void Stop() override { m_active = false; }
    bool IsActive() const override { return m_active; }
    // Fires as the real timer would; a single-shot timer stops first.
    void Fire()
    {
        m_active = m_active && !m_singleShot;
        Q_EMIT timeout();
    }
    int Interval() const { return m_interval; }
    int Starts() const { return m_starts; }

private:
    int m_interval = 0, m_starts = 0;
    bool m_singleShot = false, m_active = false;
};

// A settings store in memory; keys are "app/section/key".
class MemorySettingsStore final : public platform::ISettingsStore {
public:
    QString ReadSetting(const QString& app, const QString& section, const QString& key,
                        const QString& defaultValue) const override
    {
        return values.value(Key(app, section, key), defaultValue);
    }
    void WriteSetting(const QString& app, const QString& section, const QString& key,
                      const QString& value) override
    {
        values.insert(Key(app, section, key), value);
        writeOrder.append(Key(app, section, key));
    }
    static QString Key(const QString& app, const QString& section, const QString& key)
    {
        return app + QLatin1Char('/') + section + QLatin1Char('/') + key;
    }
    QHash<QString, QString> values;
    QStringList writeOrder;
};

// Message boxes answered from presets; every box shown is recorded.
class FakeDialogs final : public platform::IDialogs {
public:
    struct Shown { QString text; Icon icon; bool question; };
    void ShowMessage(const QString& text, Icon icon) override { shown.append({text, icon, false}); }
    bool AskYesNo(const QString& text) override
    {
        shown.append({text, Icon::None, true});
        if (onAsk)
            onAsk();
        return answers.isEmpty() || answers.dequeue();
    }
    Answer AskYesNoOr(const QString& text, const QString& /*thirdButton*/) override
    {
        if (!choices.isEmpty()) {
            shown.append({text, Icon::None, true});
            if (onAsk)
                onAsk();
            return choices.dequeue();
        }
        // Tests that preset only Yes/No answers get them here too.
        return AskYesNo(text) ? Answer::Yes : Answer::No;
    }
    // The session's questions wait until the test answers them (AnswerPassword, AnswerTrust),
    // as the real dialogs do; a preset answer is given at once instead.
    void AskPassword(const QString& user, const QString& host, bool storeAvailable,
                     std::function<void(PasswordAnswer)> done) override
    {
        passwordQuestions.append({user, host, storeAvailable});
        if (!passwordAnswers.isEmpty())
            done(passwordAnswers.dequeue());
        else
            m_password = std::move(done);
    }
    void AskTrust(const QString& text, std::function<void(bool)> done) override
    {
        shown.append({text, Icon::Exclamation, true});
        if (!trustAnswers.isEmpty())
            done(trustAnswers.dequeue());
        else
            m_trust = std::move(done);
    }
    bool PasswordOpen() const { return bool(m_password); }
    bool TrustOpen() const { return bool(m_trust); }
    void AnswerPassword(PasswordAnswer answer) { std::exchange(m_password, {})(answer); }
    void AnswerTrust(bool yes) { std::exchange(m_trust, {})(yes); }

    struct PasswordQuestion { QString user, host; bool storeAvailable; };
    QList<Shown> shown;
    QQueue<bool> answers;
    QQueue<Answer> choices; // for questions with a third button; before `answers`
    std::function<void()> onAsk; // runs while the question is "open"
    QList<PasswordQuestion> passwordQuestions;
    QQueue<PasswordAnswer> passwordAnswers;
    QQueue<bool> trustAnswers;

private:
    std::function<void(PasswordAnswer)> m_password;
    std::function<void(bool)> m_trust;
};

// A secret store in memory; `available` false plays a desktop without one. Answers come at once.
class FakeSecretStore final : public platform::ISecretStore {
public:
    void Read(const QString& key, std::function<void(Found)> done) override
    {
        done({available, available && entries.contains(key), available ? entries.value(key) : QString()});
    }
    void Write(const QString& key, const QString& password, std::function<void(bool)> done) override
    {
        if (available)
            entries.insert(key, password);
        done(available);
    }
    void Remove(const QString& key, std::function<void(bool)> done) override
    {
        entries.remove(key);
        done(available);
    }
    bool available = true;
    QHash<QString, QString> entries;
};

class FakeDesktop final : public platform::IDesktop {
public:
    bool OpenFile(const QString& path) override
    {
        opened.append(path);
        return result;
    }
    QStringList opened;
    bool result = true;
};

} // namespace testsupport
