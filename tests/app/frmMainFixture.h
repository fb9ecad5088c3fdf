#pragma once

#include "FakeHttpClient.h"
#include "FakeTcpSocket.h"
#include "Fakes.h"
#include "app/frmMain.h"

#include <QTemporaryDir>

#include <memory>

namespace testsupport {

// A main window on fakes and a temporary data directory; the store is filled before the
// window loads, as a previous run would have left it.
struct frmMainFixture {
    FakeClock clock;
    MemorySettingsStore store;
    FakeDialogs dialogs;
    FakeDesktop desktop;
    FakeTcpSocket ws;
    FakeHttpClient inet1;
    FakeTimer timer1;
    FakeTimer timer2;
    FakeTimer replyTimer;
    QTemporaryDir dataDir;
    std::unique_ptr<app::frmMain> window;

    void SetStored(const QString& section, const QString& key, const QString& value)
    {
        store.values.insert(MemorySettingsStore::Key(QStringLiteral("Brevilo"), section, key), value);
    }
    QString Stored(const QString& section, const QString& key) const
    {
        return store.values.value(MemorySettingsStore::Key(QStringLiteral("Brevilo"), section, key));
    }

    // SMTP and From configured, unless the test wants a first start.
    void Configure()
    {
        SetStored(QStringLiteral("Address"), QStringLiteral("SMTP"), QStringLiteral("mail.example.invalid"));
        SetStored(QStringLiteral("Address"), QStringLiteral("From"), QStringLiteral("me@example.invalid"));
        SetStored(QStringLiteral("Address"), QStringLiteral("Name"), QStringLiteral("Anna"));
    }

    app::frmMain& Open()
    {
        app::frmMainDeps deps;
        deps.clock = &clock;
        deps.store = &store;
        deps.dialogs = &dialogs;
        deps.desktop = &desktop;
        deps.ws = &ws;
        deps.inet1 = &inet1;
        deps.timer1 = &timer1;
        deps.timer2 = &timer2;
        deps.replyTimer = &replyTimer;
        deps.dataDirectory = dataDir.path();
        window = std::make_unique<app::frmMain>(deps);
        return *window;
    }

    template <typename T>
    T* Find(const char* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }
};

} // namespace testsupport
