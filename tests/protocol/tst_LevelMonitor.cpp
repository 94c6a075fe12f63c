#include <QtTest>

#include "ConfigPanelFixture.h"
#include "TableRow.h"
#include "protocol/LevelMonitor.h"
#include "protocol/LevelPacket.h"
#include "protocol/LevelRule.h"
#include "ui/LevelControls.h"

using namespace nms;
using namespace nms::test;
using namespace Qt::StringLiterals;

namespace {

const QString kNoAddress = u"The local database holds no valid IP address for this element."_s;

struct MonitorFixture : ConfigPanelFixture {
    LevelMonitor monitor{dialogs,   ini,       path,           udp,
                         panelView, meterView, monitoringView, *ui.tmrVolume};
    LevelControls controls{ui, monitor};

    MonitorFixture(const QString& role, const QByteArray& ipLine)
    {
        writeIni((role == u"DECODER"_s ? decoderRecord() : encoderRecord())
                     .replace("IP=198.18.0.20\n", ipLine));
        select(role);
    }
    // Sent to the element's control port, at its stored address.
    QByteArrayList sentHex() const
    {
        QByteArrayList hex;
        for (const auto& d : socket.sent)
            if (d.host == QHostAddress(u"198.18.0.20"_s) && d.port == 2977)
                hex << d.data.toHex().toUpper();
        return hex;
    }
};

// A packet of zero samples with the given 24-bit big-endian sample at the
// given index.
QByteArray packetWith(int index, qint32 value)
{
    QByteArray packet(LevelPacket::kLength, '\0');
    for (int i = 0; i < 3; ++i)
        packet[index * 3 + i] = char(value >> (16 - 8 * i));
    return packet;
}

} // namespace

class LevelMonitorTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    // The bar rounds halves to even: 2^20 and 3 x 2^20 are exactly 262.5
    // and 787.5 twips. The caption shows the level in dBFS. Only the first
    // 479 samples are read; the rest of the scan (negatives skipped, short
    // datagrams) is the fuzz harness's to check.
    void peakToMeter_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<qint32>("peak");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("caption");
        addRow("half, in the last group read", 478, 1 << 22, 1050, "-6dBFS");
        addRow("eighth, 262.5 down", 100, 1 << 20, 262, "-18.1dBFS");
        addRow("787.5 up", 100, 3 * (1 << 20), 788, "-8.5dBFS");
        addRow("only positive sample in the unread last group", 479, 1000, 0, "-oodBFS");
    }
    void peakToMeter()
    {
        QFETCH(int, index);
        QFETCH(qint32, peak);
        QFETCH(int, width);
        QFETCH(QString, caption);
        const qint32 read = LevelPacket::peak(packetWith(index, peak));
        QCOMPARE(LevelPacket::meterWidthTwips(read), width);
        QCOMPARE(LevelPacket::levelCaption(read), caption);
    }

    // The one level rule of the plugin and the exporter: silence is judged
    // on the shown (rounded) level, and only a lost answer is an alarm.
    void levelRule_data()
    {
        QTest::addColumn<int>("peak"); // -1: no answer
        QTest::addColumn<bool>("answeredBefore");
        QTest::addColumn<int>("verdict");
        using V = LevelRule::Verdict;
        addRow("never answered", -1, false, int(V::NoLevel));
        addRow("answered before, then stopped", -1, true, int(V::Stopped));
        addRow("zero peak is silence", 0, true, int(V::Silent));
        addRow("-60.1 dBFS below the threshold", 8328, false, int(V::Silent));
        addRow("-60 dBFS at the threshold", 8389, false, int(V::Sounding));
    }
    void levelRule()
    {
        QFETCH(int, peak);
        QFETCH(bool, answeredBefore);
        QFETCH(int, verdict);
        const std::optional<qint32> answer = peak < 0 ? std::nullopt : std::optional<qint32>(peak);
        QCOMPARE(int(LevelRule::judge(answer, answeredBefore, LevelRule::kDefaultSilenceDbfs)),
                 verdict);
    }

    // steps: "set=N" by code, "act=N" a slider action of the operator,
    // "drag=N" the thumb dragged there and let go. fault: "ENCODER" (the
    // selection), "noip" (stored address empty), "unwritable" (nms.ini
    // cannot be replaced). command: the bytes the element is sent,
    // and then stored as `att`.
    void attenuation_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QByteArray>("command");
        const QByteArray none;
        const QString min = u"act=%1"_s.arg(int(QAbstractSlider::SliderToMinimum));
        addRow("operator to minimum", "", min, "Mute", QByteArray("0E00"));
        addRow("one page down", "", u"act=%1"_s.arg(int(QAbstractSlider::SliderPageStepSub)),
               "-5 dB", QByteArray("F500"));
        addRow("thumb let go", "", "drag=200", "-27.5 dB", QByteArray("C800"));
        addRow("no change leaves no flag", "", u"set=14;"_s + min + u";set=30"_s, "-112.5 dB",
               none);
        addRow("encoder", "ENCODER", min, "Mute", none);
        addRow("not stored", "unwritable", min, "Mute", QByteArray("0E00"));
        addRow("no stored address", "noip", min, "Mute", none);
    }
    void attenuation()
    {
        QFETCH(QString, fault);
        QFETCH(QString, steps);
        QFETCH(QString, caption);
        QFETCH(QByteArray, command);
        MonitorFixture f(fault == u"ENCODER"_s ? fault : u"DECODER"_s,
                         fault == u"noip"_s ? "IP=\n" : "IP=198.18.0.20\n");
        const QByteArray before = f.iniBytes();
        const QString directory = f.dir.path();
        if (fault == u"unwritable"_s && !makeDirectoryUnwritable(directory, true))
            QSKIP("this file system cannot make a directory refuse writes");

        for (const QString& step : steps.split(u';')) {
            const int value = step.section(u'=', 1).toInt();
            if (step.startsWith(u"set"_s)) {
                f.ui.scrlAtten->setValue(value);
            } else if (step.startsWith(u"act"_s)) {
                f.ui.scrlAtten->triggerAction(QAbstractSlider::SliderAction(value));
            } else {
                f.ui.scrlAtten->setSliderDown(true);
                f.ui.scrlAtten->setSliderPosition(value);
                QVERIFY(f.socket.sent.isEmpty()); // not while dragging
                f.ui.scrlAtten->setSliderDown(false);
            }
        }

        if (fault == u"unwritable"_s)
            makeDirectoryUnwritable(directory, false);
        QCOMPARE(f.ui.lblAttenDB->text(), caption);
        QCOMPARE(f.sentHex(), command.isEmpty() ? QByteArrayList() : QByteArrayList{command});
        QByteArray expected = before;
        if (!command.isEmpty() && fault.isEmpty())
            expected.replace(
                "ATT=255",
                QByteArray("ATT=" + QByteArray::number(command.left(2).toInt(nullptr, 16))));
        QCOMPARE(QString::fromLatin1(f.iniBytes()), QString::fromLatin1(expected));
        QStringList boxes;
        if (fault == u"unwritable"_s)
            boxes << u"An error occured while saving this element info to the local "
                     "database.\rCannot save this element info."_s;
        if (fault == u"noip"_s)
            boxes << kNoAddress;
        QCOMPARE(f.dialogs.texts(), boxes);
        for (const MessageBoxRequest& box : f.dialogs.boxes)
            QVERIFY(box.icon == BoxIcon::Critical && box.title == kApplicationTitle);
        if (fault != u"noip"_s)
            return;
        // Polling stops before its box opens, so the box does not repeat at
        // every tick.
        f.ui.chkGetVolume->setChecked(true);
        bool timerOnWhileBoxOpen = true;
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            timerOnWhileBoxOpen = f.volumeTimer()->isEnabled();
        };
        QVERIFY(f.volumeTimer()->fire());
        QVERIFY(!timerOnWhileBoxOpen && !f.ui.chkGetVolume->isChecked() &&
                !f.volumeTimer()->fire());
        QCOMPARE(f.dialogs.texts(), QStringList({kNoAddress, kNoAddress}));
    }
};

QTEST_MAIN(LevelMonitorTest)
#include "tst_LevelMonitor.moc"
