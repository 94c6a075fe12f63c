#include "platform/HelperIcmpSocket.h"

#include <algorithm>
#include <cerrno>

#include <QFileInfo>
#include <QRandomGenerator>
#include <QSocketNotifier>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Version.h"
#include "platform/EchoTiming.h"
#include "platform/IcmpPacket.h"
#include "platform/Timer.h"
#include "platform/TimerFactory.h"

namespace nms {

namespace {

using echo_wire::Answer;
using echo_wire::Outcome;

// Both ends of a pipe in packet mode, each write one message; closed on exec
// and never below 3, so that they never land on the standard descriptors
// the helper is given.
bool packetPipe(UniqueFd& readEnd, UniqueFd& writeEnd)
{
    int fds[2];
    if (::pipe2(fds, O_DIRECT | O_CLOEXEC) != 0)
        return false;
    for (int& fd : fds) {
        if (fd < 3) {
            const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
            ::close(fd);
            fd = moved;
        }
    }
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    return readEnd && writeEnd;
}

// One message from the helper: its length, 0 when the helper has closed its
// end, -1 when there is none now (errno says why).
ssize_t readMessage(int fd, char* buffer, std::size_t size)
{
    ssize_t length = -1;
    do
        length = ::read(fd, buffer, size);
    while (length < 0 && errno == EINTR);
    return length;
}

// Writes one message to the helper. A helper that has gone makes the write
// fail with EPIPE; the SIGPIPE that comes with it is kept from ending this
// program.
bool writeMessage(int fd, const std::string& bytes)
{
    sigset_t pipeSignal;
    sigset_t previous;
    ::sigemptyset(&pipeSignal);
    ::sigaddset(&pipeSignal, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const bool written = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    if (!written && errno == EPIPE) {
        const timespec none{};
        ::sigtimedwait(&pipeSignal, nullptr, &none);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return written;
}

} // namespace

HelperIcmpSocket::HelperIcmpSocket(TimerFactory& timers, QString helperPath, QObject* parent)
    : IcmpSocket(parent)
    , m_helperPath(std::move(helperPath))
    , m_guard(timers.create(QStringLiteral("tmrEchoGuard"), kGuardMs))
    , m_sequence(quint16(QRandomGenerator::global()->bounded(1, 0x8000)))
{
    connect(m_guard.get(), &Timer::tick, this, [this] {
        m_guard->setEnabled(false);
        if (!m_pending)
            return;
        // The helper no longer answers: report the time-out and start a
        // fresh one at the next echo.
        stop();
        finish(echo_status::RequestTimedOut, 0);
    });
}

HelperIcmpSocket::~HelperIcmpSocket()
{
    stop();
}

QString HelperIcmpSocket::locate(const QString& programDirectory)
{
    const QFileInfo beside(programDirectory + QStringLiteral("/veltrino-nms-icmp"));
    if (beside.isFile() && beside.isExecutable())
        return beside.filePath();
    return QString::fromUtf8(kIcmpHelperPath);
}

bool HelperIcmpSocket::open()
{
    if (!m_running && !start())
        return false;
    m_inUse = true;
    return true;
}

void HelperIcmpSocket::close()
{
    // The helper stays for the next echo; an answer to this one is dropped
    // when it comes.
    m_inUse = false;
    m_pending = false;
    m_guard->setEnabled(false);
}

bool HelperIcmpSocket::sendEcho(quint32 ipv4Address)
{
    if (!isOpen() || m_pending)
        return false;
    ++m_requestNumber;
    m_pending = true;
    echo_wire::Request request;
    request.address = ipv4Address;
    request.identifier = m_identifier;
    request.sequence = ++m_sequence;
    request.payload = IcmpPacket::echoPayload();
    const std::string bytes = echo_wire::encodeRequest(request);
    if (!writeMessage(m_requests.get(), bytes)) {
        stop();
        finishLater(echo_status::GeneralFailure);
        return true;
    }
    m_guard->setEnabled(true);
    return true;
}

qint32 HelperIcmpSocket::statusOf(const Answer& answer)
{
    switch (answer.outcome) {
    case Outcome::Reply:
        return echo_timing::arrivedTooLate(answer.sentNs, answer.receivedNs)
                   ? echo_status::RequestTimedOut
                   : echo_status::Success;
    case Outcome::IcmpError: {
        const qint32 status = IcmpPacket::statusOfIcmpError(answer.type, answer.code);
        return status == echo_status::NotSent ? echo_status::GeneralFailure : status;
    }
    case Outcome::TimedOut: return echo_status::RequestTimedOut;
    case Outcome::SendFailed: return IcmpPacket::statusOfErrno(int(answer.errorNumber));
    case Outcome::Refused: return echo_status::BadRequest;
    case Outcome::Ready: break;
    }
    return echo_status::GeneralFailure;
}

bool HelperIcmpSocket::start()
{
    UniqueFd childRequests;
    UniqueFd childAnswers;
    if (!packetPipe(childRequests, m_requests) || !packetPipe(m_answers, childAnswers)) {
        stop();
        return false;
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, childRequests.get(), STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, childAnswers.get(), STDOUT_FILENO);
    const QByteArray path = m_helperPath.toLocal8Bit();
    char* const argv[] = {const_cast<char*>(path.constData()), nullptr};
    char* const environment[] = {nullptr};
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, path.constData(), &actions, nullptr, argv, environment);
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        stop();
        return false;
    }
    m_pid = pid;
    m_running = true;
    // Only the helper holds these ends now: its exit shows as the end of
    // the answer pipe.
    childRequests.reset();
    childAnswers.reset();
    if (!awaitReady()) {
        stop();
        return false;
    }
    m_identifier = quint16(QRandomGenerator::global()->bounded(1, 0x10000));
    ::fcntl(m_answers.get(), F_SETFL, ::fcntl(m_answers.get(), F_GETFL) | O_NONBLOCK);
    m_notifier = std::make_unique<QSocketNotifier>(m_answers.get(), QSocketNotifier::Read, this);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &HelperIcmpSocket::readAnswers);
    return true;
}

// The helper says it is ready once it holds its socket and has given up
// its rights; one without the right ends instead.
bool HelperIcmpSocket::awaitReady()
{
    pollfd answers{m_answers.get(), POLLIN, 0};
    int ready = -1;
    do
        ready = ::poll(&answers, 1, kStartBoundMs);
    while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return false;
    char message[echo_wire::kAnswerSize + 1];
    const ssize_t length = readMessage(m_answers.get(), message, sizeof message);
    const std::optional<Answer> answer =
        echo_wire::readAnswer(std::string_view(message, std::size_t(std::max<ssize_t>(length, 0))));
    return answer && answer->outcome == Outcome::Ready;
}

void HelperIcmpSocket::stop()
{
    if (m_notifier) {
        // stop() may run inside the notifier's own signal.
        m_notifier->setEnabled(false);
        m_notifier.release()->deleteLater();
    }
    m_requests.reset();
    m_answers.reset();
    if (m_pid > 0) {
        // Its pipes are closed, so it is on its way out; the signal only
        // makes sure that the wait is short.
        ::kill(pid_t(m_pid), SIGKILL);
        ::waitpid(pid_t(m_pid), nullptr, 0);
    }
    m_pid = 0;
    m_running = false;
}

void HelperIcmpSocket::readAnswers()
{
    char message[echo_wire::kAnswerSize + 1];
    for (;;) {
        const ssize_t length = readMessage(m_answers.get(), message, sizeof message);
        if (length <= 0) {
            if (length == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                helperGone();
            return;
        }
        // A message the helper would never write is no answer.
        const std::optional<Answer> answer =
            echo_wire::readAnswer(std::string_view(message, std::size_t(length)));
        if (answer && m_pending && answer->outcome != Outcome::Ready &&
            answer->identifier == m_identifier && answer->sequence == m_sequence)
            finish(statusOf(*answer), echo_timing::roundTripMs(answer->sentNs, answer->receivedNs));
        if (!m_running)
            return;
    }
}

void HelperIcmpSocket::helperGone()
{
    stop();
    if (m_pending)
        finish(echo_status::GeneralFailure, 0);
}

void HelperIcmpSocket::finish(qint32 status, quint32 roundTripMs)
{
    m_pending = false;
    m_guard->setEnabled(false);
    emit echoFinished(status, status == echo_status::Success ? roundTripMs : 0);
}

void HelperIcmpSocket::finishLater(qint32 status)
{
    const quint64 request = m_requestNumber;
    QMetaObject::invokeMethod(
        this,
        [this, request, status] {
            if (m_pending && m_requestNumber == request)
                finish(status, 0);
        },
        Qt::QueuedConnection);
}

} // namespace nms
