#include "cli/SetCommand.h"

#include <optional>

#include "cli/BoundedWait.h"
#include "cli/BoxTally.h"
#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/ElementDatabase.h"
#include "cli/ElementLink.h"
#include "cli/InterruptSignals.h"
#include "cli/MacResolver.h"
#include "cli/PanelValues.h"
#include "cli/SettingChanges.h"
#include "db/DatabaseWriteFailure.h"
#include "db/ElementPanelView.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
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

} // namespace

SetCommand::SetCommand(QString defaultDatabase, Dialogs& dialogs, Clock& clock,
                       InterruptSignals& interrupts)
    : m_defaultDatabase(std::move(defaultDatabase))
    , m_dialogs(dialogs)
    , m_clock(clock)
    , m_interrupts(interrupts)
{
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
    if (!answer || m_interrupts.raised())
        return kExitInterrupted;
    return confirmAnswer(m_dialogs, path, panel, changes, *answer);
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

// The window's confirmation, on the panel `set` has built: it stores what
// the window stores and shows the window's boxes. Its success box is the
// only information box it shows; no box at all means an element that
// reported no role the panel knows.
int SetCommand::confirmAnswer(Dialogs& dialogs, const QString& path, PanelValues& panel,
                              const SettingChanges& changes, const FeedbackRecord& answer)
{
    PrivateProfileStore store;
    IniRoutines ini(store);
    BoxTally boxes(dialogs);
    ConfigurationConfirmer(boxes, ini, path, panel).ConfirmConfiguration(answer);
    if (boxes.showedCritical())
        return kExitFailure;
    if (!boxes.showedInformation()) {
        Console::errLine(QStringLiteral("The element reports its role as %1.")
                             .arg(panel.caption(ElementPanelView::Caption::ElementType)));
        return kExitFailure;
    }
    // The bound encoder is the station's own setting: kept once the element
    // has taken the rest.
    if (changes.changes(QStringLiteral("bound")) &&
        !ini.WriteToINI(panel.section, QStringLiteral("bound"), QString::number(panel.bound),
                        path)) {
        ReportDatabaseWriteFailure(dialogs);
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace nms::cli
