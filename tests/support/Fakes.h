#pragma once

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/SettingsStore.h"
#include "platform/Timer.h"

#include <QHash>
#include <QQueue>
#include <QStringList>

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
        if (m_singleShot)
            m_active = false;
        Q_EMIT timeout();
    }
    int Interval() const { return m_interval; }
    int Starts() const { return m_starts; }

private:
    int m_interval = 0;
    bool m_singleShot = false;
    bool m_active = false;
    int m_starts = 0;
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
    struct Shown {
        QString text;
        Icon icon;
        bool question;
    };
    void ShowMessage(const QString& text, Icon icon) override { shown.append({text, icon, false}); }
    bool AskYesNo(const QString& text) override
    {
        shown.append({text, Icon::None, true});
        if (onAsk)
            onAsk();
        return answers.isEmpty() ? true : answers.dequeue();
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
    QList<Shown> shown;
    QQueue<bool> answers;
    QQueue<Answer> choices; // for questions with a third button; before `answers`
    std::function<void()> onAsk; // runs while the question is "open"
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
