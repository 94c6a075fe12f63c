#include "cli/SetCommand.h"

#include <algorithm>
#include <optional>

#include "cli/BoundedWait.h"
#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/ElementDatabase.h"
#include "cli/ElementLink.h"
#include "cli/InterruptSignals.h"
#include "cli/MacResolver.h"
#include "cli/PanelValues.h"
#include "cli/SettingChanges.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "db/RecordValues.h"
#include "db/TextHelpers.h"
#include "diag/MacLookup.h"
#include "platform/Dialogs.h"
#include "protocol/ConfigurationConfirmer.h"
#include "protocol/ConfigurationPacket.h"
#include "protocol/ConfigurationSender.h"
#include "protocol/FeedbackCodec.h"
#include "protocol/FeedbackProcessor.h"
#include "protocol/FeedbackRecord.h"

namespace nms::cli {

namespace {

const QString kCorrupted = QStringLiteral("Feedback is corrupted.");
const QString kCannotSave = QStringLiteral("Cannot save.");
const QString kCannotSaveInfo = QStringLiteral("Cannot save this element info.");
constexpr int kCorruptKeyCount = ConfigurationConfirmer::kCorruptKeyCount;
constexpr quint8 kEncoderRole = 1;
constexpr quint8 kDecoderRole = 2;

// Only blanks are dropped from the ends of a name, as the confirmation does.
QString trimBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

QString mismatchLine(const QString& field)
{
    return QStringLiteral("An error occured while saving '%1':").arg(field);
}

} // namespace

SetCommand::SetCommand(QString defaultDatabase, Dialogs& dialogs, Clock& clock,
                       InterruptSignals& interrupts)
    : m_defaultDatabase(std::move(defaultDatabase))
    , m_dialogs(dialogs)
    , m_clock(clock)
    , m_interrupts(interrupts)
{
}

QList<std::pair<QString, QString>> SetCommand::confirmedKeys(const PanelValues& panel,
                                                             const FeedbackRecord& answer,
                                                             QStringList& mismatches)
{
    QList<std::pair<QString, QString>> keys;
    auto compare = [&](bool match, const QString& key, const QString& stored,
                       const QString& field) {
        if (match)
            keys.append({key, stored});
        else
            mismatches.append(mismatchLine(field));
    };
    compare(trimBlanks(panel.name).toUpper() == trimBlanks(answer.name).toUpper(),
            QStringLiteral("name"), text::PadName16(panel.name), QStringLiteral("Element Name"));
    compare(panel.ip == answer.ip, QStringLiteral("ip"), panel.ip, QStringLiteral("Element IP"));
    compare(panel.mask == answer.mask, QStringLiteral("mask"), panel.mask,
            QStringLiteral("Element Mask"));
    compare(panel.gw == answer.gw, QStringLiteral("gw"), panel.gw, QStringLiteral("Element GW"));
    compare(panel.remote == answer.remote, QStringLiteral("remote"), panel.remote,
            QStringLiteral("Remote IP"));
    compare(panel.input == answer.input, QStringLiteral("input"), QString::number(panel.input),
            QStringLiteral("Audio Input"));
    compare(panel.type == answer.type, QStringLiteral("type"), QString::number(panel.type),
            QStringLiteral("Audio Type"));
    compare(panel.tx == answer.tx, QStringLiteral("tx"), QString::number(panel.tx),
            QStringLiteral("Audio TX"));

    keys.append({QStringLiteral("role"), QString::number(answer.role)});
    // Role 0 shows "UNKNOWN" and is never a success.
    if (answer.role != kEncoderRole && answer.role != kDecoderRole)
        mismatches.append(QString());
    keys.append({QStringLiteral("sn"), QString::number(answer.sn)});
    keys.append({QStringLiteral("ver"), ConfigurationConfirmer::versionStoredText(answer.ver)});
    if (answer.hasSfn)
        keys.append({QStringLiteral("sfn"), QString::number(answer.sfn)});
    if (answer.hasBuf)
        keys.append({QStringLiteral("buf"), QString::number(answer.buf)});
    if (answer.role != kDecoderRole)
        return keys;
    keys.append({QStringLiteral("att"),
                 QString::number(std::max<int>(answer.att, record::kAttenuationMute))});
    if (answer.hasSdm)
        keys.append({QStringLiteral("sdm"), QString::number(answer.sdm)});
    if (answer.hasSdl)
        keys.append({QStringLiteral("sdl"),
                     QString::number(std::clamp<int>(answer.sdl, record::kSilenceLevelMin,
                                                     record::kSilenceLevelMax))});
    if (answer.hasSdt)
        keys.append({QStringLiteral("sdt"),
                     QString::number(std::clamp<int>(answer.sdt, record::kSilenceTimeMin,
                                                     record::kSilenceTimeMax))});
    return keys;
}

int SetCommand::run(const QStringList& arguments)
{
    CommandLine line(
        QStringLiteral("set"),
        QStringLiteral(
            "Changes an element's configuration as the window's save command does. The stored "
            "record plus the changes make the configuration; it is checked with the window's "
            "checks, sent to the element's stored address, and the element's answer (within "
            "3 seconds) is compared field by field. Fields that match are stored, with the "
            "values only the element knows (role, serial, version, a decoder's attenuation "
            "and silence detection). Keys: name, ip, mask, gw, remote, input (0 digital, 1 "
            "analog), type (0 left/right, 1 MPX), tx (0 unicast, 1 multicast), bound (0 none, "
            "else the n-th encoder; stored only, never sent), and for a decoder buf (0-8), sdm "
            "(0 auto, 1 internal, 2 external), sdl (1-154), sdt (1-220). Exit status 0 when "
            "the element confirmed every field, 1 on a mismatch or time-out, 2 on bad input. "
            "Needs UDP port 2976, so it cannot run while the window does."),
        m_defaultDatabase, kExitUsage);
    line.addPositional(QStringLiteral("element"),
                       QStringLiteral("MAC (with or without colons), stored name or IP address."));
    line.addPositional(QStringLiteral("key=value"), QStringLiteral("One or more changes."),
                       QStringLiteral("KEY=VALUE..."));
    line.parse(arguments);
    const QStringList values = line.positional();
    if (values.isEmpty())
        line.refuse(QStringLiteral("missing element (see set --help)"));
    const SettingChanges changes = SettingChanges::parse(values.mid(1), kExitUsage);
    const QString path = line.databasePath();
    const ElementDatabase database = ElementDatabase::load(path, kExitUsage);
    const StoredElement& element = database.resolve(values.at(0), kExitUsage);
    PanelValues panel = PanelValues::fromRecord(element, database.encoderCount(), kExitUsage);
    changes.applyTo(panel, database.encoderCount(), kExitUsage);
    if (const auto failure = panel.firstFailedCheck(path))
        throw CliError{kExitUsage, *failure + QLatin1Char(' ') + kCannotSave};
    const std::optional<QByteArray> packet = ConfigurationPacket::build(panel.packetFields());
    if (!packet)
        throw CliError{kExitUsage,
                       QStringLiteral("Please verify that all IP fields are correct! ") +
                           kCannotSave};

    const std::optional<FeedbackRecord> answer =
        awaitAnswer(element.value(QStringLiteral("ip")), *packet);
    if (!answer)
        return kExitInterrupted;
    if (answer->mac != element.mac())
        throw CliError{kExitFailure,
                       QStringLiteral("The response received does not match the selected "
                                      "element. ") +
                           kCannotSaveInfo};
    return storeConfirmation(path, element.section(), panel, changes, *answer);
}

// Sends the configuration and waits, as timerRemoteSent does, for the first
// answer that passes the feedback checks, then for its MAC. Nothing when
// interrupted; a refusal for a time-out or an answer without a MAC.
std::optional<FeedbackRecord> SetCommand::awaitAnswer(const QString& storedAddress,
                                                      const QByteArray& packet)
{
    ElementLink link(m_dialogs);
    link.open(kExitFailure);
    MacResolver resolver(m_dialogs, m_clock);
    BoundedWait answerWait(m_interrupts);
    BoundedWait macWait(m_interrupts);
    std::optional<FeedbackRecord> answer;
    bool macDone = false;
    QObject::connect(&link.client(), &UdpClient::feedbackArrived, &link,
                     [&](const QByteArray& datagram) {
                         if (answer)
                             return;
                         const auto decoded = FeedbackCodec::decode(datagram);
                         if (!decoded)
                             return;
                         const QString failed = FeedbackProcessor::failedCheckLine(*decoded);
                         if (!failed.isEmpty()) {
                             // The wait for a good answer goes on, as in the window.
                             m_dialogs.critical(kApplicationTitle, {failed, kCorrupted});
                             return;
                         }
                         answer = *decoded;
                         answerWait.finish();
                         resolver.lookup(decoded->ip, [&](const QString& mac) {
                             answer->mac = mac;
                             macDone = true;
                             macWait.finish();
                         });
                     });
    link.send(UdpClient::kConfigurationPort, storedAddress, packet);
    if (answerWait.run(kResponseTimeoutMs) == BoundedWait::End::Interrupted)
        return std::nullopt;
    if (!answer)
        throw CliError{
            kExitFailure,
            QStringLiteral("Waiting for a response from Network Element has timed out! ") +
                kCannotSave};
    if (!macDone && macWait.run(MacLookup::kBoundMs + 1000) == BoundedWait::End::Interrupted)
        return std::nullopt;
    if (answer->mac.isEmpty() || text::NormalizeMAC(answer->mac).isEmpty())
        throw CliError{kExitFailure,
                       QStringLiteral("An error occured while retrieving 'Element MAC': ") +
                           kCorrupted};
    return answer;
}

// The confirmation's writes, in one replacement of the file, and its boxes.
int SetCommand::storeConfirmation(const QString& path, const QString& section,
                                  const PanelValues& panel, const SettingChanges& changes,
                                  const FeedbackRecord& answer)
{
    PrivateProfileStore store;
    IniRoutines ini(store);
    if (ini.GetSectionKeyCount(section, path) >= kCorruptKeyCount)
        throw CliError{kExitFailure,
                       QStringLiteral("The data stored in your computer about this element, is "
                                      "corrupted. ") +
                           kCannotSaveInfo};
    QStringList mismatches;
    QList<std::pair<QString, QString>> keys = confirmedKeys(panel, answer, mismatches);
    for (const QString& mismatch : std::as_const(mismatches)) {
        if (mismatch.isEmpty())
            Console::errLine(QStringLiteral("The element reports its role as UNKNOWN."));
        else
            m_dialogs.critical(kApplicationTitle, {mismatch, kCorrupted});
    }
    // The bound encoder is the station's own setting: kept once the element
    // has taken the rest.
    if (mismatches.isEmpty() && changes.changes(QStringLiteral("bound")))
        keys.append({QStringLiteral("bound"), QString::number(panel.bound)});
    if (m_interrupts.raised())
        return kExitInterrupted;
    if (!ini.WriteKeysToINI(section, keys, path))
        throw CliError{kExitFailure,
                       QStringLiteral("An error occured while saving this element info to the "
                                      "local database. ") +
                           kCannotSaveInfo};
    if (!mismatches.isEmpty())
        return kExitFailure;
    Console::outLine(QStringLiteral("New configuration has been sucessfuly saved and loaded!"));
    return kExitOk;
}

} // namespace nms::cli
