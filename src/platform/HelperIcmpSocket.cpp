#include "platform/HelperIcmpSocket.h"

#include <algorithm>
#include <cerrno>

#include <QRandomGenerator>
#include <QSocketNotifier>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "platform/EchoTiming.h"
#include "platform/IcmpHelpers.h"
#include "platform/IcmpPacket.h"
#include "platform/Timer.h"
#include "platform/TimerFactory.h"

namespace nms {

namespace {

using echo_wire::Answer;
using echo_wire::Outcome;

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

HelperIcmpSocket::HelperIcmpSocket(TimerFactory& timers, IcmpHelpers& helpers, QObject* parent)
    : IcmpSocket(parent)
    , m_timers(timers)
    , m_helpers(helpers)
    , m_guard(timers.create(QStringLiteral("tmrEchoGuard"), kGuardMs))
    , m_sequence(quint16(QRandomGenerator::global()->bounded(1, 0x8000)))
{
    connect(m_guard.get(), &Timer::tick, this, [this] {
        m_guard->setEnabled(false);
        if (m_owedAnswers == 0)
            return;
        // The helper no longer answers, also after an echo its caller gave
        // up on: report the time-out and start a fresh one at the next echo.
        stop();
        if (m_pending)
            finish(echo_status::RequestTimedOut, 0);
    });
    m_helpers.addUser();
}

HelperIcmpSocket::~HelperIcmpSocket()
{
    stop();
    m_helpers.removeUser();
}

std::unique_ptr<IcmpSocket> HelperIcmpSocket::sibling()
{
    if (m_helpers.users() >= IcmpHelpers::kMaxRunning)
        return nullptr;
    return std::make_unique<HelperIcmpSocket>(m_timers, m_helpers);
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
    // An abandoned request keeps the guard: a helper that never answers it
    // is stopped, not written to again.
    if (m_owedAnswers == 0)
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
    if (!writeMessage(m_process.requests(), bytes)) {
        stop();
        finishLater(echo_status::GeneralFailure);
        return true;
    }
    ++m_owedAnswers;
    // From this request on: the helper answers each within its own time-out.
    m_guard->setEnabled(false);
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
    std::optional<IcmpHelperProcess> helper = m_helpers.take();
    if (!helper)
        return false;
    m_process = std::move(*helper);
    m_running = true;
    m_identifier = quint16(QRandomGenerator::global()->bounded(1, 0x10000));
    m_owedAnswers = 0;
    // Neither end may block the program: a helper that stops reading fills
    // its request pipe, and the write then fails instead of hanging.
    for (const int fd : {m_process.answers(), m_process.requests()})
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    m_notifier =
        std::make_unique<QSocketNotifier>(m_process.answers(), QSocketNotifier::Read, this);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &HelperIcmpSocket::readAnswers);
    return true;
}

void HelperIcmpSocket::stop()
{
    if (m_notifier) {
        // stop() may run inside the notifier's own signal.
        m_notifier->setEnabled(false);
        m_notifier.release()->deleteLater();
    }
    m_process.stop();
    m_running = false;
}

void HelperIcmpSocket::readAnswers()
{
    char message[echo_wire::kAnswerSize + 1];
    for (;;) {
        const ssize_t length = readMessage(m_process.answers(), message, sizeof message);
        if (length <= 0) {
            if (length == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                helperGone();
            return;
        }
        // A message the helper would never write is no answer.
        const std::optional<Answer> answer =
            echo_wire::readAnswer(std::string_view(message, std::size_t(length)));
        if (!answer || answer->outcome == Outcome::Ready)
            continue;
        m_owedAnswers = std::max(0, m_owedAnswers - 1);
        if (m_owedAnswers == 0 && !m_pending)
            m_guard->setEnabled(false);
        // A refused request carries no identifier; one request is out at a
        // time, so it is the pending one's.
        const bool ours = answer->outcome == Outcome::Refused ||
                          (answer->identifier == m_identifier && answer->sequence == m_sequence);
        if (m_pending && ours)
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
