#include "protocol/ConfigurationSender.h"

#include <QFileInfo>

#include "db/ElementPanelView.h"
#include "db/ElementRole.h"
#include "db/IniRoutines.h"
#include "db/TextHelpers.h"
#include "platform/Dialogs.h"
#include "platform/Timer.h"
#include "protocol/ConfigurationPacket.h"
#include "protocol/UdpClient.h"

namespace nms {
namespace {

const QString kErrorTitle = QStringLiteral("Error!");
const QString kCannotSave = QStringLiteral("Cannot save.");
const QString kNoSelectionMessage = QStringLiteral("No Network Element selected!");
const QString kAudioMessage = QStringLiteral("Please verify that all audio fields are correct!");
const QString kNameMessage = QStringLiteral("Please verify that the name field is correct!");
const QString kAddressMessage = QStringLiteral("Please verify that all IP fields are correct!");
const QString kDatabaseMessage =
    QStringLiteral("The local database in your computer, is corrupted!");
const QString kTimeoutMessage =
    QStringLiteral("Waiting for a response from Network Element has timed out!");
const QString kNoSelectionCaption = QStringLiteral("-");

using Text = ElementPanelView::Text;
using List = ElementPanelView::List;
using Scroll = ElementPanelView::Scroll;
using Caption = ElementPanelView::Caption;

} // namespace

ConfigurationSender::ConfigurationSender(Dialogs& dialogs, IniRoutines& ini, const QString& iniPath,
                                         UdpClient& udp, ElementPanelView& panel,
                                         Timer& responseTimer, QObject* parent)
    : QObject(parent)
    , m_dialogs(dialogs)
    , m_ini(ini)
    , m_iniPath(iniPath)
    , m_udp(udp)
    , m_panel(panel)
    , m_responseTimer(responseTimer)
{
    connect(&m_responseTimer, &Timer::tick, this, &ConfigurationSender::onResponseTimeout);
}

void ConfigurationSender::SaveConfiguration()
{
    if (const auto failure = firstFailedCheck()) {
        refuseSave(*failure);
        return;
    }
    if (!confirmSend())
        return;
    // What reached the station while the question stood (the answer to an
    // earlier save, say) is handled first, as it would have been then.
    m_udp.handOnArrivalsUpTo(m_udp.nowUs());
    SendConfiguration();
}

std::optional<QString> ConfigurationSender::firstFailedCheck() const
{
    if (!isElementSelected())
        return kNoSelectionMessage;
    if (!areAudioFieldsSelected())
        return kAudioMessage;
    if (!isNameGiven())
        return kNameMessage;
    if (!areAddressesValid())
        return kAddressMessage;
    if (!isDatabasePresent())
        return kDatabaseMessage;
    return std::nullopt;
}

bool ConfigurationSender::isElementSelected() const
{
    return m_panel.caption(Caption::Mac) != kNoSelectionCaption;
}

bool ConfigurationSender::areAudioFieldsSelected() const
{
    return m_panel.listIndex(List::AudioInput) >= 0 && m_panel.listIndex(List::AudioType) >= 0 &&
           m_panel.listIndex(List::AudioTX) >= 0;
}

bool ConfigurationSender::isNameGiven() const
{
    return !m_panel.text(Text::Name).isEmpty();
}

bool ConfigurationSender::areAddressesValid() const
{
    return text::IsValidIP(m_panel.text(Text::IP)) && text::IsValidIP(m_panel.text(Text::Mask)) &&
           text::IsValidIP(m_panel.text(Text::Gateway)) &&
           text::IsValidIP(m_panel.text(Text::Remote));
}

bool ConfigurationSender::isDatabasePresent() const
{
    return QFileInfo(m_iniPath).isFile();
}

bool ConfigurationSender::confirmSend()
{
    const BoxAnswer answer = m_dialogs.question(
        QStringLiteral("Send configuration"),
        {QStringLiteral("This configuration will be sent to selected Network Element and"),
         QStringLiteral("will also be saved to local database in your computer. "),
         QStringLiteral("Are you sure?")});
    return answer == BoxAnswer::Yes;
}

void ConfigurationSender::refuseSave(const QString& message)
{
    m_dialogs.critical(kErrorTitle, {message, kCannotSave});
}

std::optional<QByteArray> ConfigurationSender::buildPacket() const
{
    ConfigurationPacket::Fields fields;
    fields.elementIP = m_panel.text(Text::IP);
    fields.elementMask = m_panel.text(Text::Mask);
    fields.elementGW = m_panel.text(Text::Gateway);
    fields.remoteIP = m_panel.text(Text::Remote);
    fields.audioInput = m_panel.listIndex(List::AudioInput);
    fields.audioType = m_panel.listIndex(List::AudioType);
    fields.audioTX = m_panel.listIndex(List::AudioTX);
    fields.elementName = m_panel.text(Text::Name);
    fields.decoder = m_panel.caption(Caption::ElementType) == RoleCaption(kDecoderRole);
    if (fields.decoder) {
        fields.sfnEnabled = m_panel.sfnOption();
        fields.buffer = m_panel.scrollValue(Scroll::Buffer);
        fields.silDetMode = m_panel.listIndex(List::SilenceMode);
        fields.silDetLevel = m_panel.scrollValue(Scroll::SilenceLevel);
        fields.silDetTime = m_panel.scrollValue(Scroll::SilenceTime);
    }
    return ConfigurationPacket::build(fields);
}

void ConfigurationSender::SendConfiguration()
{
    const std::optional<QByteArray> packet = buildPacket();
    if (!packet) {
        // Only reachable when called without the checks of a save.
        refuseSave(kAddressMessage);
        return;
    }
    const QString storedAddress =
        m_ini.ReadFromINI(m_panel.selectedSection(), QStringLiteral("ip"), m_iniPath);
    switch (m_udp.ReopenForElement(UdpClient::kConfigurationPort, storedAddress)) {
    case UdpClient::ReopenResult::Ready: break;
    case UdpClient::ReopenResult::NoValidAddress:
        refuseSave(UdpClient::kNoValidAddressText);
        return;
    case UdpClient::ReopenResult::EndpointFailed: return;
    }
    restartResponseTimer();
    if (!m_udp.send(*packet))
        m_responseTimer.setEnabled(false); // the endpoint has failed; no answer comes
}

void ConfigurationSender::restartResponseTimer()
{
    // The time-out counts from the latest send: an answer to an earlier
    // packet of the same save session may never come.
    m_responseTimer.setEnabled(false);
    m_responseTimer.setEnabled(true);
    ++m_sendNumber;
    m_answerDueUs = m_udp.nowUs() + qint64(m_responseTimer.interval()) * 1000;
}

// An answer that reached the station before the deadline but waits behind
// an open box beats the time-out: the verdict waits for it.
void ConfigurationSender::onResponseTimeout()
{
    const quint64 sendNumber = m_sendNumber;
    // The timer ticks again while a verdict waits behind a long-open box;
    // one verdict per send is enough.
    if (m_verdictWaitingFor == sendNumber)
        return;
    m_verdictWaitingFor = sendNumber;
    m_udp.afterArrivalsUpTo(m_answerDueUs, this, [this, sendNumber] {
        m_verdictWaitingFor = 0;
        reportTimeout(sendNumber);
    });
}

// Only while the same send still awaits its answer: an answer handled
// meanwhile has stopped the timer, a new send has restarted it.
void ConfigurationSender::reportTimeout(quint64 sendNumber)
{
    if (!m_responseTimer.isEnabled() || sendNumber != m_sendNumber)
        return;
    m_responseTimer.setEnabled(false);
    m_dialogs.critical(kErrorTitle, {kTimeoutMessage, kCannotSave});
}

} // namespace nms
