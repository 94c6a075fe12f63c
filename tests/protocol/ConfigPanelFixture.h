#pragma once

#include <memory>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>

#include "FakeClock.h"
#include "FakeUdpEndpoint.h"
#include "FileBytes.h"
#include "ManualTimer.h"
#include "RecordingDialogs.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "protocol/UdpClient.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMain.h"
#include "ui/FrmMainControls.h"
#include "ui/LevelControls.h"
#include "ui/ToolbarMonitoringView.h"
#include "ui/VuMeterImage.h"
#include "ui/WidgetMeterView.h"
#include "ui/WidgetPanelView.h"

namespace nms::test {

// The main window's controls in their start state, without the panel's own
// behaviour, over a real INI store in a temporary directory and a UDP client
// on a fake socket: what sending, confirming and level monitoring work on.
class ConfigPanelFixture {
public:
    static inline const QString kMac = QStringLiteral("00:1A:2B:3C:4D:5E");
    static inline const QString kSection = QStringLiteral("001A2B3C4D5E");

    QTemporaryDir dir;
    PrivateProfileStore store;
    IniRoutines ini{store};
    RecordingDialogs dialogs;
    ManualTimerFactory timers;
    FakeClock clock;
    FakeUdpEndpoint socket;
    UdpClient udp{socket, dialogs};
    FrmMain window{timers};
    FrmMainControls& ui = window.controls();
    const QString path = dir.filePath(QStringLiteral("nms.ini"));
    WidgetPanelView panelView{ui};
    WidgetMeterView meterView{ui};
    ToolbarMonitoringView monitoringView{ui};

    ConfigPanelFixture() { udp.bindLocal(); }

    ManualTimer* responseTimer() const { return timers.timer(QStringLiteral("timerRemoteSent")); }
    ManualTimer* volumeTimer() const { return timers.timer(QStringLiteral("tmrVolume")); }
    QString iniPath() const { return path; }

    void writeIni(const QByteArray& bytes) const { writeBytes(path, bytes); }
    // Empty also when the file does not exist.
    QByteArray iniBytes() const
    {
        const QByteArray bytes = readBytes(path);
        return bytes == kNoFile ? QByteArray() : bytes;
    }
    QString stored(const QString& key) const { return ini.ReadFromINI(kSection, key, path); }

    // An encoder record as discovery writes it, stored address 198.18.0.20.
    static QByteArray encoderRecord()
    {
        return "[001A2B3C4D5E]\n"
               "NAME=STUDIO A        \n"
               "IP=198.18.0.20\n"
               "MASK=255.255.0.0\n"
               "GW=198.18.0.1\n"
               "REMOTE=198.18.0.30\n"
               "INPUT=0\n"
               "TYPE=0\n"
               "TX=0\n"
               "ROLE=1\n"
               "SN=1234\n"
               "VER=3.4\n"
               "SFN=0\n"
               "BUF=0\n";
    }
    static QByteArray decoderRecord()
    {
        QByteArray record = encoderRecord();
        record.replace("ROLE=1", "ROLE=2").replace("BUF=0", "BUF=1");
        return record + "ATT=255\nSDM=0\nSDL=37\nSDT=43\n";
    }

    // The panel as a selection of the stored element leaves it.
    void selectElement(const QString& role)
    {
        ui.lblElementType->setCaption(role);
        ui.lblElementMAC->setCaption(kMac);
        ui.txtElementName->setText(QStringLiteral("STUDIO A"));
        ui.txtElementIP->setText(QStringLiteral("198.18.0.20"));
        ui.txtElementMask->setText(QStringLiteral("255.255.0.0"));
        ui.txtElementGW->setText(QStringLiteral("198.18.0.1"));
        ui.txtRemoteIP->setText(QStringLiteral("198.18.0.30"));
        ui.cmbAudioInput->setCurrentIndex(0);
        ui.cmbAudioType->setCurrentIndex(0);
        ui.cmbAudioTX->setCurrentIndex(0);
    }
};

} // namespace nms::test
