#include "protocol/FeedbackProcessor.h"

#include "db/DatabaseWriteFailure.h"
#include "db/ElementList.h"
#include "db/ElementRole.h"
#include "db/IniRoutines.h"
#include "db/TextHelpers.h"
#include "diag/MacLookup.h"
#include "platform/Dialogs.h"
#include "platform/Timer.h"
#include "protocol/AutoDiscovery.h"
#include "protocol/FeedbackCodec.h"
#include "protocol/NetworkBoxes.h"
#include "protocol/UdpClient.h"

namespace nms {

namespace {

const QString kCorrupted = QStringLiteral("Feedback is corrupted.");
const QString kMacLine = QStringLiteral("An error occured while retrieving 'Element MAC':");

bool isZeroOrOne(quint8 value)
{
    return value <= 1;
}

QString number(uint value)
{
    return QString::number(value);
}

} // namespace

FeedbackProcessor::FeedbackProcessor(Dialogs& dialogs, IniRoutines& ini, const QString& iniPath,
                                     UdpClient& udp, Timer& responseTimer, AutoDiscovery& discovery,
                                     ElementList& elementList, MacLookup* macLookup,
                                     NetworkBoxes* networkBoxes, Confirm confirm, QObject* parent)
    : QObject(parent)
    , m_dialogs(dialogs)
    , m_ini(ini)
    , m_iniPath(iniPath)
    , m_udp(udp)
    , m_responseTimer(responseTimer)
    , m_discovery(discovery)
    , m_elementList(elementList)
    , m_macLookup(macLookup)
    , m_networkBoxes(networkBoxes)
    , m_confirm(std::move(confirm))
{
    connect(&m_udp, &UdpClient::feedbackArrived, this, &FeedbackProcessor::ProcessFeedback);
}

QString FeedbackProcessor::failedCheckLine(const FeedbackRecord& record)
{
    if (!isZeroOrOne(record.input))
        return QStringLiteral("An error occured while retrieving 'Audio Input':");
    if (!isZeroOrOne(record.type))
        return QStringLiteral("An error occured while retrieving 'Audio Type':");
    if (!isZeroOrOne(record.tx))
        return QStringLiteral("An error occured while retrieving 'TX Type':");
    if (record.role > 2)
        return QStringLiteral("An error occured while retrieving 'Element Type':");
    if (record.sn < 1)
        return QStringLiteral("An error occured while retrieving 'Serial Number':");
    return QString();
}

void FeedbackProcessor::ProcessFeedback(const QByteArray& datagram)
{
    const auto decoded = FeedbackCodec::decode(datagram);
    if (!decoded) {
        ++m_undecodable;
        return;
    }
    const QString failedLine = failedCheckLine(*decoded);
    if (!failedLine.isEmpty()) {
        reportCorrupted(failedLine, currentSender());
        rebuildListOutsideDiscovery();
        return;
    }
    // Any answer that passes the checks ends the wait for a sent
    // configuration's answer.
    m_responseTimer.setEnabled(false);
    // Whether this is an answer to a discovery is settled by when it
    // arrived, not by when its MAC is found.
    const bool forDiscovery = m_discovery.isAnswerToDiscovery();
    if (m_macLookup == nullptr) {
        continueWithMac(*decoded, forDiscovery, QString(), currentSender());
        return;
    }
    if (forDiscovery)
        m_discovery.holdAnswer();
    // The window goes on while the MAC is looked up; this record travels
    // with its own lookup, so answers handled meanwhile cannot touch it.
    m_macLookup->lookup(
        decoded->ip, this,
        [this, record = *decoded, forDiscovery, source = currentSender()](const QString& mac) {
            if (forDiscovery)
                m_discovery.releaseAnswer();
            continueWithMac(record, forDiscovery, mac, source);
        });
}

void FeedbackProcessor::continueWithMac(FeedbackRecord record, bool forDiscovery,
                                        const QString& mac, const QHostAddress& source)
{
    // A text that is not six colon-joined pairs names no section either.
    if (mac.isEmpty() || text::NormalizeMAC(mac).isEmpty()) {
        reportCorrupted(kMacLine, source);
        rebuildListOutsideDiscovery();
        return;
    }
    record.mac = mac;
    if (forDiscovery && m_discovery.isAwaitingAnswers())
        writeDiscoveryRecord(record);
    else if (m_confirm)
        m_confirm(record);
    rebuildListOutsideDiscovery();
}

QList<FeedbackProcessor::KeyValue> FeedbackProcessor::discoveryKeys(const FeedbackRecord& record)
{
    QList<KeyValue> keys{
        {QStringLiteral("name"), text::PadName16(record.name)},
        {QStringLiteral("ip"), record.ip},
        {QStringLiteral("mask"), record.mask},
        {QStringLiteral("gw"), record.gw},
        {QStringLiteral("remote"), record.remote},
        {QStringLiteral("input"), number(record.input)},
        {QStringLiteral("type"), number(record.type)},
        {QStringLiteral("tx"), number(record.tx)},
        {QStringLiteral("role"), number(record.role)},
        {QStringLiteral("sn"), number(record.sn)},
        {QStringLiteral("ver"), text::ShortestNumber(record.ver)},
        {QStringLiteral("sfn"), number(record.sfn)},
        {QStringLiteral("buf"), number(record.buf)},
    };
    if (record.role == kDecoderRole) {
        keys.append({QStringLiteral("att"), number(record.att)});
        keys.append({QStringLiteral("sdm"), number(record.sdm)});
        keys.append({QStringLiteral("sdl"), number(record.sdl)});
        keys.append({QStringLiteral("sdt"), number(record.sdt)});
    }
    return keys;
}

// The record goes into the file in one replacement: the same bytes as the
// keys written one by one, but a discovery of many elements does not wait
// for one flush to disk per key, and a failure never leaves half a record.
// A failure is said: the operator must not believe an element was recorded
// when it was not.
bool FeedbackProcessor::writeDiscoveryRecord(const FeedbackRecord& record)
{
    QList<std::pair<QString, QString>> keysAndValues;
    for (const KeyValue& entry : discoveryKeys(record))
        keysAndValues.append({entry.key, entry.value});
    if (m_ini.WriteKeysToINI(text::NormalizeMAC(record.mac), keysAndValues, m_iniPath))
        return true;
    ReportDatabaseWriteFailure(m_dialogs);
    return false;
}

QHostAddress FeedbackProcessor::currentSender() const
{
    return m_udp.dispatchingSender();
}

void FeedbackProcessor::reportCorrupted(const QString& firstLine, const QHostAddress& source)
{
    if (m_networkBoxes != nullptr)
        m_networkBoxes->critical(kApplicationTitle, {firstLine, kCorrupted}, source);
    else
        m_dialogs.critical(kApplicationTitle, {firstLine, kCorrupted});
}

void FeedbackProcessor::rebuildListOutsideDiscovery()
{
    if (!m_discovery.isAwaitingAnswers())
        m_elementList.Load_Config();
}

} // namespace nms
