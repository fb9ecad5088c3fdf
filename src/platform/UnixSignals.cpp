#include "UnixSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {
int g_pair[2] = {-1, -1}; // [0] written by the handler, [1] read by the notifier

void OnSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // Async-signal-safe: one write, nothing else. A full pipe only drops a repeat.
    [[maybe_unused]] const ssize_t written = ::write(g_pair[0], &byte, 1);
    errno = savedErrno;
}
} // namespace

bool UnixSignals::Catch(std::initializer_list<int> signalNumbers)
{
    if (g_pair[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pair) != 0)
        return false;
    ::fcntl(g_pair[0], F_SETFL, O_NONBLOCK);
    bool all = true;
    for (int signalNumber : signalNumbers) {
        struct sigaction action = {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        all = ::sigaction(signalNumber, &action, nullptr) == 0 && all;
    }
    return all;
}

UnixSignals::UnixSignals(QObject* parent) : QObject(parent)
{
    if (g_pair[1] < 0)
        return;
    m_notifier = new QSocketNotifier(g_pair[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UnixSignals::ReadPending);
}

void UnixSignals::ReadPending()
{
    unsigned char byte = 0;
    if (::read(g_pair[1], &byte, 1) == 1)
        Q_EMIT received(byte);
}

} // namespace platform
