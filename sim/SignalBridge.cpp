#include "SignalBridge.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nms::sim {

int SignalBridge::s_writeFd = -1;

SignalBridge::SignalBridge(QObject* parent)
    : QObject(parent)
{
}

SignalBridge::~SignalBridge()
{
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    s_writeFd = -1;
    for (int fd : m_fds) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool SignalBridge::install(QString* error)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, m_fds) != 0) {
        *error = QStringLiteral("socketpair: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    s_writeFd = m_fds[0];
    m_notifier = new QSocketNotifier(m_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalBridge::readPipe);
    struct sigaction action {};
    action.sa_handler = &SignalBridge::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    return true;
}

// Only async-signal-safe calls here: one byte into the pipe.
void SignalBridge::onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const char byte = char(signalNumber);
    if (s_writeFd >= 0) {
        const ssize_t written = ::write(s_writeFd, &byte, 1);
        (void)written;
    }
    errno = savedErrno;
}

void SignalBridge::readPipe()
{
    char byte = 0;
    int last = 0;
    while (::read(m_fds[1], &byte, 1) == 1)
        last = byte;
    if (last != 0)
        emit stopRequested(last);
}

} // namespace nms::sim
