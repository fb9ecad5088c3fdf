#pragma once

#include <QObject>

#include <initializer_list>

class QSocketNotifier;

namespace platform {

// Unix signals into the event loop: the handler only writes the signal's number to a socket
// pair, and a notifier on the other end reports it as an ordinary event on the UI thread.
class UnixSignals final : public QObject {
    Q_OBJECT
public:
    // Catches the signals from now on, even before there is an event loop: what arrives early
    // waits in the socket pair. Call once, first thing in main().
    static bool Catch(std::initializer_list<int> signalNumbers);

    // Reports the caught signals; needs the application object.
    explicit UnixSignals(QObject* parent = nullptr);

Q_SIGNALS:
    void received(int signalNumber);

private:
    void ReadPending();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace platform
