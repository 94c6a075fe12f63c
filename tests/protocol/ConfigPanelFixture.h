#pragma once

#include <QComboBox>
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
#include "ui/ToolbarMonitoringView.h"
#include "ui/WidgetMeterView.h"
#include "ui/WidgetPanelView.h"

namespace nms::test {

// The main window's controls in their start state, without the panel's own
// behaviour, over a real INI store in a temporary directory and a UDP client
// on a fake socket: what sending, confirming and level monitoring work on.
// Controls are set and read by name through "name=value;..." texts, so that
// a table row names the panel it starts from and the one it expects.
class ConfigPanelFixture {
public:
    static inline const QString kMac = QStringLiteral("00:1A:2B:3C:4D:5E");

    QTemporaryDir dir;
    PrivateProfileStore store;
    IniRoutines ini{store};
    RecordingDialogs dialogs;
    ManualTimerFactory timers;
    FakeClock clock;
    FakeUdpEndpoint socket;
    UdpClient udp{socket, dialogs, clock};
    FrmMain window{timers};
    FrmMainControls& ui = window.controls();
    const QString path = dir.filePath(QStringLiteral("nms.ini"));
    WidgetPanelView panelView{ui};
    WidgetMeterView meterView{ui};
    ToolbarMonitoringView monitoringView{ui};

    ConfigPanelFixture() { udp.bindLocal(); }

    ManualTimer* responseTimer() const { return timers.timer(QStringLiteral("timerRemoteSent")); }
    ManualTimer* volumeTimer() const { return timers.timer(QStringLiteral("tmrVolume")); }

    void writeIni(const QByteArray& bytes) const { writeBytes(path, bytes); }
    // Empty also when the file does not exist.
    QByteArray iniBytes() const
    {
        const QByteArray bytes = readBytes(path);
        return bytes == kNoFile ? QByteArray() : bytes;
    }

    // An encoder record as discovery writes it, stored address 198.18.0.20.
    static QByteArray encoderRecord()
    {
        return "[001A2B3C4D5E]\nNAME=STUDIO A        \nIP=198.18.0.20\nMASK=255.255.0.0\n"
               "GW=198.18.0.1\nREMOTE=198.18.0.30\nINPUT=0\nTYPE=0\nTX=0\nROLE=1\nSN=1234\n"
               "VER=3.4\nSFN=0\nBUF=0\n";
    }
    static QByteArray decoderRecord()
    {
        QByteArray record = encoderRecord();
        record.replace("ROLE=1", "ROLE=2").replace("BUF=0", "BUF=1");
        return record + "ATT=255\nSDM=0\nSDL=37\nSDT=43\n";
    }

    // The panel as a selection of the stored element leaves it.
    void select(const QString& role)
    {
        set(QStringLiteral("lblElementType=%1;lblElementMAC=%2;txtElementName=STUDIO A;"
                           "txtElementIP=198.18.0.20;txtElementMask=255.255.0.0;"
                           "txtElementGW=198.18.0.1;txtRemoteIP=198.18.0.30;cmbAudioInput=0;"
                           "cmbAudioType=0;cmbAudioTX=0")
                .arg(role, kMac));
    }

    // Sets each named control as code does: a caption or text, a list index,
    // a bar's value, a button's tick ("1").
    void set(const QString& controls)
    {
        for (const QString& item : controls.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            QWidget* w = window.findChild<QWidget*>(item.section(QLatin1Char('='), 0, 0));
            const QString value = item.section(QLatin1Char('='), 1);
            if (auto* caption = qobject_cast<CaptionLabel*>(w))
                caption->setCaption(value);
            else if (auto* label = qobject_cast<QLabel*>(w))
                label->setText(value);
            else if (auto* edit = qobject_cast<QLineEdit*>(w))
                edit->setText(value);
            else if (auto* list = qobject_cast<QComboBox*>(w))
                list->setCurrentIndex(value.toInt());
            else if (auto* bar = qobject_cast<QAbstractSlider*>(w))
                bar->setValue(value.toInt());
            else if (auto* button = qobject_cast<QAbstractButton*>(w))
                button->setChecked(value == QLatin1String("1"));
            else
                QFAIL(qPrintable(item));
        }
    }

    // The named controls' values in the form set() takes; "name.enabled" and
    // "name.hidden" read those states as 1 or 0.
    QString shown(const QString& controls) const
    {
        QStringList values;
        for (const QString& item : controls.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString name = item.section(QLatin1Char('='), 0, 0);
            const QWidget* w = window.findChild<QWidget*>(name.section(QLatin1Char('.'), 0, 0));
            values << name + QLatin1Char('=') + valueOf(w, name.section(QLatin1Char('.'), 1));
        }
        return values.join(QLatin1Char(';'));
    }

private:
    static QString valueOf(const QWidget* w, const QString& state)
    {
        if (w == nullptr)
            return QStringLiteral("<no such control>");
        if (!state.isEmpty())
            return QString::number(state == QLatin1String("enabled") ? w->isEnabled()
                                                                     : w->isHidden());
        if (auto* label = qobject_cast<const QLabel*>(w))
            return label->text();
        if (auto* edit = qobject_cast<const QLineEdit*>(w))
            return edit->text();
        if (auto* list = qobject_cast<const QComboBox*>(w))
            return QString::number(list->currentIndex());
        if (auto* bar = qobject_cast<const QAbstractSlider*>(w))
            return QString::number(bar->value());
        return QString::number(qobject_cast<const QAbstractButton*>(w)->isChecked());
    }
};

} // namespace nms::test
