#include "protocol/ConfigurationSender.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QScrollBar>

#include "app/NmsContext.h"
#include "db/IniRoutines.h"
#include "db/TextHelpers.h"
#include "platform/Dialogs.h"
#include "platform/Timer.h"
#include "protocol/ConfigurationPacket.h"
#include "protocol/UdpClient.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMainControls.h"

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
const QString kNoAddressMessage =
    QStringLiteral("The local database holds no valid IP address for this element.");
const QString kTimeoutMessage =
    QStringLiteral("Waiting for a response from Network Element has timed out!");
const QString kNoSelectionCaption = QStringLiteral("-");
const QString kDecoderCaption = QStringLiteral("DECODER");

int sfnByte(const QCheckBox* box)
{
    switch (box->checkState()) {
    case Qt::Unchecked: return 0;
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    }
    return 0;
}

} // namespace

ConfigurationSender::ConfigurationSender(NmsContext& context, QObject* parent)
    : QObject(parent)
    , m_ctx(context)
{
    connect(m_ctx.ui.timerRemoteSent, &Timer::tick, this, &ConfigurationSender::onResponseTimeout);
}

void ConfigurationSender::SaveConfiguration()
{
    if (const auto failure = firstFailedCheck()) {
        refuseSave(*failure);
        return;
    }
    if (confirmSend())
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
    return m_ctx.ui.lblElementMAC->caption() != kNoSelectionCaption;
}

bool ConfigurationSender::areAudioFieldsSelected() const
{
    const FrmMainControls& ui = m_ctx.ui;
    return ui.cmbAudioInput->currentIndex() >= 0 && ui.cmbAudioType->currentIndex() >= 0 &&
           ui.cmbAudioTX->currentIndex() >= 0;
}

bool ConfigurationSender::isNameGiven() const
{
    return !m_ctx.ui.txtElementName->text().isEmpty();
}

bool ConfigurationSender::areAddressesValid() const
{
    const FrmMainControls& ui = m_ctx.ui;
    return text::IsValidIP(ui.txtElementIP->text()) && text::IsValidIP(ui.txtElementMask->text()) &&
           text::IsValidIP(ui.txtElementGW->text()) && text::IsValidIP(ui.txtRemoteIP->text());
}

bool ConfigurationSender::isDatabasePresent() const
{
    return QFileInfo(m_ctx.iniPath).isFile();
}

bool ConfigurationSender::confirmSend()
{
    const BoxAnswer answer = m_ctx.dialogs.question(
        QStringLiteral("Send configuration"),
        {QStringLiteral("This configuration will be sent to selected Network Element and"),
         QStringLiteral("will also be saved to local database in your computer. "),
         QStringLiteral("Are you sure?")});
    return answer == BoxAnswer::Yes;
}

void ConfigurationSender::refuseSave(const QString& message)
{
    m_ctx.dialogs.critical(kErrorTitle, {message, kCannotSave});
}

std::optional<QByteArray> ConfigurationSender::buildPacket() const
{
    const FrmMainControls& ui = m_ctx.ui;
    ConfigurationPacket::Fields fields;
    fields.elementIP = ui.txtElementIP->text();
    fields.elementMask = ui.txtElementMask->text();
    fields.elementGW = ui.txtElementGW->text();
    fields.remoteIP = ui.txtRemoteIP->text();
    fields.audioInput = ui.cmbAudioInput->currentIndex();
    fields.audioType = ui.cmbAudioType->currentIndex();
    fields.audioTX = ui.cmbAudioTX->currentIndex();
    fields.elementName = ui.txtElementName->text();
    fields.decoder = ui.lblElementType->caption() == kDecoderCaption;
    if (fields.decoder) {
        fields.sfnEnabled = sfnByte(ui.chkSFNEnabled);
        fields.buffer = ui.scrlBuffer->value();
        fields.silDetMode = ui.cmbSilDetMode->currentIndex();
        fields.silDetLevel = ui.scrlSilDetLevel->value();
        fields.silDetTime = ui.scrlSilDetTime->value();
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
    if (!m_ctx.udpClient)
        return;
    switch (m_ctx.udpClient->ReopenForElement(kConfigPort, m_ctx.selectedStoredAddress())) {
    case UdpClient::ReopenResult::Ready: break;
    case UdpClient::ReopenResult::NoValidAddress: refuseSave(kNoAddressMessage); return;
    case UdpClient::ReopenResult::EndpointFailed: return;
    }
    restartResponseTimer();
    if (!m_ctx.udpClient->send(*packet))
        m_ctx.ui.timerRemoteSent->setEnabled(false); // the endpoint has failed; no answer comes
}

void ConfigurationSender::restartResponseTimer()
{
    // The time-out counts from the latest send: an answer to an earlier
    // packet of the same save session may never come.
    m_ctx.ui.timerRemoteSent->setEnabled(false);
    m_ctx.ui.timerRemoteSent->setEnabled(true);
}

void ConfigurationSender::onResponseTimeout()
{
    m_ctx.ui.timerRemoteSent->setEnabled(false);
    m_ctx.dialogs.critical(kErrorTitle, {kTimeoutMessage, kCannotSave});
}

} // namespace nms
