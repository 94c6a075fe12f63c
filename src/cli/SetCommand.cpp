#include "cli/SetCommand.h"

#include <optional>

#include "cli/BoundedWait.h"
#include "cli/BoxTally.h"
#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/ElementDatabase.h"
#include "cli/ElementLink.h"
#include "cli/HeadlessPanel.h"
#include "cli/InterruptSignals.h"
#include "cli/MacResolver.h"
#include "cli/SettingChanges.h"
#include "db/ElementPanelView.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "db/TextHelpers.h"
#include "diag/MacLookup.h"
#include "platform/Dialogs.h"
#include "platform/Timer.h"
#include "protocol/ConfigurationConfirmer.h"
#include "protocol/ConfigurationSender.h"
#include "protocol/FeedbackCodec.h"
#include "protocol/FeedbackProcessor.h"
#include "protocol/FeedbackRecord.h"

namespace nms::cli {

namespace {

const QString kCorrupted = QStringLiteral("Feedback is corrupted.");
const QString kCannotSave = QStringLiteral("Cannot save.");
const QString kFrom = QStringLiteral("from");
using Text = ElementPanelView::Text;
using List = ElementPanelView::List;
using Scroll = ElementPanelView::Scroll;
using Caption = ElementPanelView::Caption;

// The save command's response timer, which never fires here: the command's
// own bounded wait judges the time-out. Enabled from the send on, so it
// tells whether the configuration left.
class SendMarker : public Timer {
public:
    void setInterval(int milliseconds) override { m_interval = milliseconds; }
    int interval() const override { return m_interval; }
    void setEnabled(bool enabled) override { m_enabled = enabled; }
    bool isEnabled() const override { return m_enabled; }

private:
    int m_interval = SetCommand::kResponseTimeoutMs;
    bool m_enabled = false;
};

// A decoder's value that the configuration sends must come from the record
// or the command line: a control the record could not fill holds nothing
// anyone stored.
void refuseUnloadedValues(const HeadlessPanel& panel, const QString& element)
{
    if (!panel.isDecoder())
        return;
    const QList<std::pair<const char*, bool>> values{{"buf", panel.isSet(Scroll::Buffer)},
                                                     {"sdm", panel.isSet(List::SilenceMode)},
                                                     {"sdl", panel.isSet(Scroll::SilenceLevel)},
                                                     {"sdt", panel.isSet(Scroll::SilenceTime)}};
    for (const auto& [key, loaded] : values) {
        if (!loaded)
            throw CliError{kExitUsage,
                           QStringLiteral("the record of %1 holds no %2 its control can take; "
                                          "give %2=VALUE")
                               .arg(element, QString::fromLatin1(key))};
    }
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

int SetCommand::run(const QStringList& arguments)
{
    CommandLine line(
        QStringLiteral("set"),
        QStringLiteral(
            "Changes an element's configuration as the window's save command does. The window's "
            "selection loads the record (a record it refuses is refused here, exit status 2), "
            "the changes edit it, and the window's checks pass it before it is sent to the "
            "element's stored address; the element's answer (within 3 seconds) is compared "
            "field by field. Fields that match are stored, with the values only the element "
            "knows (role, serial, version, a decoder's attenuation and silence detection). "
            "Keys: name, ip, mask, gw, remote, input (0 digital, 1 analog), type (0 left/right, "
            "1 MPX), tx (0 unicast, 1 multicast), and for a decoder buf (0-8), sdm (0 auto, "
            "1 internal, 2 external), sdl (1-154), sdt (1-220). bound, the encoder a decoder is "
            "bound to (shown by show and list), is only read: the window never writes it and a "
            "decoder's record has no room for it, so set refuses it. With --from FAILED the "
            "element (a spare) first takes FAILED's configuration: every field the "
            "configuration sends except the spare's own ip, mask and gw (give them as "
            "KEY=VALUE to change them); refused, with nothing sent, when the two differ in "
            "role or either record is refused. The spare takes FAILED's name too: until FAILED's "
            "record goes, name either by MAC or address. Exit status 0 when the element confirmed "
            "every field, 1 on a mismatch or time-out, 2 on bad input. Needs UDP port 2976, "
            "so it cannot run while the window does."),
        m_defaultDatabase, kExitUsage);
    line.addOption(
        QCommandLineOption(kFrom, QStringLiteral("Clone this element's configuration to ELEMENT."),
                           QStringLiteral("failed")));
    line.addPositional(QStringLiteral("element"),
                       QStringLiteral("MAC (with or without colons), stored name or IP address."));
    line.addPositional(QStringLiteral("key=value"),
                       QStringLiteral("Changes; one at least without --from."),
                       QStringLiteral("[KEY=VALUE...]"));
    line.parse(arguments);
    const QStringList values = line.positional();
    if (values.isEmpty())
        line.refuse(QStringLiteral("missing element (see set --help)"));
    if (line.isSet(kFrom) && line.value(kFrom).isEmpty())
        line.refuse(QStringLiteral("--from needs an element"));
    const SettingChanges changes =
        SettingChanges::parse(values.mid(1), kExitUsage, line.isSet(kFrom));
    const QString path = line.databasePath();
    HeadlessPanel panel =
        panelFor(ElementDatabase::load(path, kExitUsage), values.at(0), line.value(kFrom), changes);

    const std::optional<FeedbackRecord> answer = awaitAnswer(path, panel);
    if (!answer || m_interrupts.raised())
        return kExitInterrupted;
    return confirmAnswer(m_dialogs, path, panel, *answer);
}

HeadlessPanel SetCommand::panelFor(const ElementDatabase& database, const QString& element,
                                   const QString& failed, const SettingChanges& changes)
{
    HeadlessPanel panel =
        database.selectOrRefuse(database.resolve(element, kExitUsage), kExitUsage);
    if (!failed.isEmpty())
        takeConfiguration(database, failed, panel);
    changes.applyTo(panel, kExitUsage);
    refuseUnloadedValues(panel, element);
    return panel;
}

void SetCommand::takeConfiguration(const ElementDatabase& database, const QString& failed,
                                   HeadlessPanel& spare)
{
    const ElementDatabase::Element& source = database.resolve(failed, kExitUsage);
    const HeadlessPanel from = database.selectOrRefuse(source, kExitUsage);
    if (from.caption(Caption::Mac) == spare.caption(Caption::Mac))
        throw CliError{kExitUsage, QStringLiteral("--from names the element itself")};
    if (from.caption(Caption::ElementType) != spare.caption(Caption::ElementType))
        throw CliError{kExitUsage,
                       QStringLiteral("%1 is %2 and %3 is %4: the roles differ")
                           .arg(spare.text(Text::Name), spare.caption(Caption::ElementType),
                                source.name, from.caption(Caption::ElementType))};
    refuseUnloadedValues(from, failed);
    for (const Text field : {Text::Name, Text::Remote})
        spare.setText(field, from.text(field));
    for (const List list : {List::AudioInput, List::AudioType, List::AudioTX, List::SilenceMode}) {
        if (from.isSet(list))
            spare.setListIndex(list, from.listIndex(list));
    }
    for (const Scroll bar : {Scroll::Buffer, Scroll::SilenceLevel, Scroll::SilenceTime}) {
        if (from.isSet(bar))
            spare.setScrollValue(bar, from.scrollValue(bar));
    }
    spare.setSfnOption(from.sfnOption());
}

// Runs the window's save command on the panel, answering its question Yes,
// then waits, as timerRemoteSent does, for the first answer that passes the
// feedback checks, then for its MAC. Nothing when interrupted; a refusal
// for a save the checks refuse, a time-out or an answer without a MAC.
std::optional<FeedbackRecord> SetCommand::awaitAnswer(const QString& path, HeadlessPanel& panel)
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
    PrivateProfileStore store;
    IniRoutines ini(store);
    BoxTally saveBoxes;
    saveBoxes.answerQuestionsYes();
    SendMarker sent;
    ConfigurationSender(saveBoxes, ini, path, link.client(), panel, sent).SaveConfiguration();
    if (saveBoxes.showedCritical())
        throw CliError{kExitUsage, saveBoxes.criticalText()};
    if (!sent.isEnabled())
        throw CliError{kExitFailure, QStringLiteral("the configuration could not be sent")};
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
int SetCommand::confirmAnswer(Dialogs& dialogs, const QString& path, HeadlessPanel& panel,
                              const FeedbackRecord& answer)
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
    return kExitOk;
}

} // namespace nms::cli
