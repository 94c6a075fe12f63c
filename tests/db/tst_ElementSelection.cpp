#include <QtTest>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTreeWidget>

#include "FileBytes.h"
#include "PanelFixture.h"
#include "ui/CaptionLabel.h"
#include "ui/ShapeWidget.h"

using namespace nms;
using namespace nms::test;

namespace {

const QString kCorruptedText =
    QStringLiteral("The data stored in your computer about this element, is corrupted (1).\r"
                   "Cannot load this element info.");

const QString kEncoderKey = QStringLiteral("00:1A:2B:3C:4D:5E");
const QString kDecoderKey = QStringLiteral("00:1A:2B:3C:4D:5F");
const QString kOtherKey = QStringLiteral("00:1A:2B:3C:4D:60");

using Keys = QList<QPair<QByteArray, QByteArray>>;

QByteArray record(const QByteArray& section, const Keys& keys)
{
    QByteArray bytes = "[" + section + "]\r\n";
    for (const auto& [key, value] : keys)
        bytes += key + "=" + value + "\r\n";
    return bytes;
}

// An encoder record as discovery writes it: 13 keys.
Keys encoderKeys()
{
    return {{"NAME", "STUDIO          "},
            {"IP", "198.18.0.10"},
            {"MASK", "255.255.255.0"},
            {"GW", "198.18.0.1"},
            {"REMOTE", "198.18.0.20"},
            {"INPUT", "1"},
            {"TYPE", "0"},
            {"TX", "0"},
            {"ROLE", "1"},
            {"SN", "1001"},
            {"VER", "3.1"},
            {"SFN", "0"},
            {"BUF", "7"}};
}

// A decoder record as discovery writes it: 17 keys.
Keys decoderKeys()
{
    return {{"NAME", "TX SITE         "},
            {"IP", "198.18.0.20"},
            {"MASK", "255.255.0.0"},
            {"GW", "198.18.0.2"},
            {"REMOTE", "198.18.0.10"},
            {"INPUT", "0"},
            {"TYPE", "1"},
            {"TX", "0"},
            {"ROLE", "2"},
            {"SN", "2002"},
            {"VER", "3.4"},
            {"SFN", "1"},
            {"BUF", "5"},
            {"ATT", "20"},
            {"SDM", "1"},
            {"SDL", "37"},
            {"SDT", "43"}};
}

Keys with(Keys keys, const QByteArray& key, const QByteArray& value)
{
    for (auto& pair : keys) {
        if (pair.first == key) {
            if (value.isNull())
                keys.removeOne(pair);
            else
                pair.second = value;
            return keys;
        }
    }
    if (!value.isNull())
        keys.append({key, value});
    return keys;
}

QByteArray standardDatabase(const Keys& other = {})
{
    QByteArray bytes =
        record("001A2B3C4D5E", encoderKeys()) + record("001A2B3C4D5F", decoderKeys());
    if (!other.isEmpty())
        bytes += record("001A2B3C4D60", other);
    return bytes;
}

void clickNode(PanelFixture& f, QTreeWidgetItem* node)
{
    QTreeWidget* tree = f.ui().TreeView1;
    const QPoint centre = tree->visualItemRect(node).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, centre);
}

struct TextFields {
    QStringList texts;
    explicit TextFields(FrmMainControls& ui)
    {
        for (QLineEdit* e : {ui.txtElementName, ui.txtElementIP, ui.txtElementMask, ui.txtElementGW,
                             ui.txtRemoteIP})
            texts << e->text();
    }
};

} // namespace

class ElementSelectionTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void decoderThenEncoderByMouse()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(standardDatabase());
        f.list.Load_Config();
        if (!f.showActive())
            QSKIP("the window cannot be made active on this platform");

        clickNode(f, f.node(kDecoderKey));

        QVERIFY(f.dialogs.boxes.isEmpty());
        QCOMPARE(ui.lblElementType->caption(), QString("DECODER"));
        QCOMPARE(ui.lblVersion->caption(), QString("3.40"));
        QCOMPARE(ui.Label9->text(), QString("Audio atten:"));
        QVERIFY(ui.scrlAtten->isVisible());
        QVERIFY(!ui.cmbAudioInput->isVisible());
        QVERIFY(!ui.cmbAudioTX->isVisible());
        QVERIFY(!ui.txtRemoteIP->isVisible());
        QVERIFY(ui.Label15->isVisible());
        QVERIFY(ui.Label16->isVisible());
        QCOMPARE(ui.Label15->text(), QString("N/A"));
        QCOMPARE(ui.scrlAtten->value(), 20);
        QCOMPARE(ui.scrlBuffer->value(), 5);
        QCOMPARE(ui.lblLatency->text(), QString("12.5mS"));
        QCOMPARE(ui.cmbSilDetMode->currentText(), QString("Force internal"));
        QCOMPARE(ui.scrlSilDetLevel->value(), 37);
        QCOMPARE(ui.scrlSilDetTime->value(), 43);
        QVERIFY(!ui.scrlSilDetLevel->isEnabled());
        QVERIFY(!ui.scrlSilDetTime->isEnabled());
        QCOMPARE(ui.lblSilDetLevel->text(), QString("-18.4dBu"));
        QCOMPARE(ui.lblSilDetTime->text(), QString("19.6Sec"));
        QCOMPARE(ui.txtElementName->text(), QString("TX SITE"));
        QCOMPARE(ui.txtElementIP->text(), QString("198.18.0.20"));
        QCOMPARE(ui.txtElementMask->text(), QString("255.255.0.0"));
        QCOMPARE(ui.txtElementGW->text(), QString("198.18.0.2"));
        QCOMPARE(ui.txtRemoteIP->text(), QString("198.18.0.10"));
        QCOMPARE(ui.cmbAudioType->currentIndex(), 1);
        QCOMPARE(ui.chkSFNEnabled->checkState(), Qt::Checked);
        QCOMPARE(ui.lblElementMAC->caption(), kDecoderKey);
        QCOMPARE(ui.lblSerialNumber->caption(), QString("2002"));
        QCOMPARE(ui.lblPing->caption(), QString("<Click to test>"));
        QVERIFY(!ui.Toolbar1Buttons[kStartMonitoringButton]->isEnabled());
        QVERIFY(!ui.Toolbar1Buttons[kStopMonitoringButton]->isEnabled());

        clickNode(f, f.node(kEncoderKey));

        QCOMPARE(ui.lblElementType->caption(), QString("ENCODER"));
        QCOMPARE(ui.Label9->text(), QString("Audio source:"));
        QCOMPARE(ui.lblLatency->text(), QString("0mS"));
        QCOMPARE(ui.scrlBuffer->value(), 0);
        QCOMPARE(ui.scrlAtten->value(), 20);
        QVERIFY(ui.Toolbar1Buttons[kStartMonitoringButton]->isEnabled());
        QCOMPARE(ui.Toolbar1Buttons[kStartMonitoringButton]->toolTip(),
                 QString("Start audio monitoring"));
        QVERIFY(ui.cmbAudioInput->isVisible());
        QCOMPARE(ui.cmbAudioInput->currentText(), QString("Analog"));
        QVERIFY(ui.txtRemoteIP->isVisible());
        QVERIFY(!ui.scrlAtten->isVisible());
        QCOMPARE(ui.lblVersion->caption(), QString("3.10"));
    }

    void multicastEncoderHidesRemoteAddress()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(record("001A2B3C4D5E", with(encoderKeys(), "TX", "1")));
        f.list.Load_Config();
        f.selection.SelectElement(kEncoderKey);
        QCOMPARE(ui.cmbAudioTX->currentText(), QString("Multicast"));
        QVERIFY(ui.txtRemoteIP->isHidden());
        QVERIFY(!ui.Label16->isHidden());
        QCOMPARE(ui.txtRemoteIP->text(), QString("198.18.0.20"));
    }

    void twoEncodersInARowKeepMonitoringOffered()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(record("001A2B3C4D5E", encoderKeys()) +
                   record("001A2B3C4D60", with(encoderKeys(), "NAME", "SECOND")));
        f.list.Load_Config();
        f.selection.SelectElement(kEncoderKey);
        f.selection.SelectElement(kOtherKey);
        QCOMPARE(ui.lblElementType->caption(), QString("ENCODER"));
        QVERIFY(ui.Toolbar1Buttons[kStartMonitoringButton]->isEnabled());
        QVERIFY(!ui.Toolbar1Buttons[kStopMonitoringButton]->isEnabled());
    }

    void versionCaption_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("3.4") << QByteArray("3.4") << "3.40";
        QTest::newRow("missing") << QByteArray() << "2.00";
        QTest::newRow("decimal comma") << QByteArray("3,4") << "3.40";
        QTest::newRow("whole") << QByteArray("3") << "3.00";
        QTest::newRow("rounded") << QByteArray("3.456") << "3.46";
        QTest::newRow("not a number") << QByteArray("v1,2b") << "v1.2b";
    }
    void versionCaption()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, shown);
        PanelFixture f;
        f.writeIni(record("001A2B3C4D5E", with(encoderKeys(), "VER", stored)));
        f.list.Load_Config();
        f.selection.SelectElement(kEncoderKey);
        QCOMPARE(f.ui().lblVersion->caption(), shown);
    }

    void versionCaptionInACommaLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        PanelFixture f;
        f.writeIni(record("001A2B3C4D5E", with(encoderKeys(), "VER", "3,4")));
        f.list.Load_Config();
        f.selection.SelectElement(kEncoderKey);
        QCOMPARE(f.ui().lblVersion->caption(), QString("3.40"));
        QLocale::setDefault(QLocale::c());
    }

    void corruptedRecordIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        Keys eighteen = with(decoderKeys(), "BOUND", "0");
        QTest::newRow("18 keys") << record("001A2B3C4D60", eighteen);
        QTest::newRow("input missing") << record("001A2B3C4D60", with(encoderKeys(), "INPUT", {}));
        QTest::newRow("input not a number")
            << record("001A2B3C4D60", with(encoderKeys(), "INPUT", "x"));
        QTest::newRow("input beyond list")
            << record("001A2B3C4D60", with(encoderKeys(), "INPUT", "2"));
        QTest::newRow("input negative")
            << record("001A2B3C4D60", with(encoderKeys(), "INPUT", "-1"));
        QTest::newRow("type beyond list")
            << record("001A2B3C4D60", with(encoderKeys(), "TYPE", "5"));
        QTest::newRow("type empty") << record("001A2B3C4D60", with(encoderKeys(), "TYPE", ""));
        QTest::newRow("tx fraction") << record("001A2B3C4D60", with(encoderKeys(), "TX", "1.5"));
        QTest::newRow("tx missing") << record("001A2B3C4D60", with(encoderKeys(), "TX", {}));
        const Keys sixteen = with(decoderKeys(), "SDT", {});
        QTest::newRow("bound beyond encoders")
            << record("001A2B3C4D60", with(sixteen, "BOUND", "2"));
        QTest::newRow("bound not a number")
            << record("001A2B3C4D60", with(sixteen, "BOUND", "one"));
        QTest::newRow("bound negative") << record("001A2B3C4D60", with(sixteen, "BOUND", "-1"));
        QTest::newRow("role missing") << record("001A2B3C4D60", with(encoderKeys(), "ROLE", {}));
        QTest::newRow("role text")
            << record("001A2B3C4D60", with(encoderKeys(), "ROLE", "encoder"));
        QTest::newRow("role too large")
            << record("001A2B3C4D60", with(encoderKeys(), "ROLE", "70000"));
    }
    void corruptedRecordIsRefused()
    {
        QFETCH(QByteArray, bytes);
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        // One encoder listed, so bound 1 exists and bound 2 does not.
        f.writeIni(record("001A2B3C4D5E", encoderKeys()) + bytes);
        f.list.Load_Config();
        f.selection.SelectElement(kEncoderKey);
        QCOMPARE(ui.lblElementType->caption(), QString("ENCODER"));
        const TextFields before(ui);
        ui.shpPing->setFillColor(QColor(0, 255, 0));
        ui.Toolbar1Buttons[kStopMonitoringButton]->setEnabled(true);
        const int inputBefore = ui.cmbAudioInput->currentIndex();

        f.selection.SelectElement(kOtherKey);

        QCOMPARE(f.dialogs.boxes.size(), 1);
        const MessageBoxRequest& box = f.dialogs.last();
        QCOMPARE(box.text(), kCorruptedText);
        QCOMPARE(box.title, kApplicationTitle);
        QCOMPARE(box.icon, BoxIcon::Critical);
        QCOMPARE(box.buttons, BoxButtons::Ok);
        QCOMPARE(TextFields(ui).texts, before.texts);
        QCOMPARE(ui.cmbAudioInput->currentIndex(), inputBefore);
        QCOMPARE(ui.lblElementType->caption(), QString("ENCODER"));
        QCOMPARE(ui.lblElementMAC->caption(), kEncoderKey);
        QCOMPARE(ui.shpPing->fillColor(), QColor(255, 255, 192));
        QVERIFY(!ui.Toolbar1Buttons[kStartMonitoringButton]->isEnabled());
        QVERIFY(!ui.Toolbar1Buttons[kStopMonitoringButton]->isEnabled());
    }

    void seventeenKeysLoad()
    {
        PanelFixture f;
        f.writeIni(standardDatabase());
        f.list.Load_Config();
        QCOMPARE(f.ini.GetSectionKeyCount("001A2B3C4D5F", f.iniPath), 17);
        f.selection.SelectElement(kDecoderKey);
        QVERIFY(f.dialogs.boxes.isEmpty());
        QCOMPARE(f.ui().lblElementType->caption(), QString("DECODER"));
    }

    void vanishedSectionIsRefused()
    {
        PanelFixture f;
        f.writeIni(standardDatabase());
        f.list.Load_Config();
        f.writeIni(record("001A2B3C4D5E", encoderKeys()));
        f.selection.SelectElement(kDecoderKey);
        QCOMPARE(f.dialogs.texts(), QStringList{kCorruptedText});
        QCOMPARE(f.ui().lblElementType->caption(), QString("-"));
    }

    void boundAndSfnChoices_data()
    {
        QTest::addColumn<QByteArray>("bound");
        QTest::addColumn<QByteArray>("sfn");
        QTest::addColumn<int>("encoderIndex");
        QTest::addColumn<int>("sfnState");
        QTest::newRow("defaults") << QByteArray() << QByteArray() << 0 << int(Qt::Unchecked);
        QTest::newRow("bound to the encoder")
            << QByteArray("1") << QByteArray("1") << 1 << int(Qt::Checked);
        QTest::newRow("sfn undetermined")
            << QByteArray("0") << QByteArray("2") << 0 << int(Qt::PartiallyChecked);
        // An element's byte beyond the three states: shown off, kept stored.
        QTest::newRow("sfn 3 reported")
            << QByteArray("0") << QByteArray("3") << 0 << int(Qt::Unchecked);
        QTest::newRow("sfn 255 reported")
            << QByteArray("1") << QByteArray("255") << 1 << int(Qt::Unchecked);
        QTest::newRow("sfn not a number")
            << QByteArray("0") << QByteArray("on") << 0 << int(Qt::Unchecked);
    }
    void boundAndSfnChoices()
    {
        QFETCH(QByteArray, bound);
        QFETCH(QByteArray, sfn);
        QFETCH(int, encoderIndex);
        QFETCH(int, sfnState);
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        Keys keys = with(with(decoderKeys(), "SFN", sfn), "BOUND", bound);
        keys = with(keys, "SDT", {}); // stays below 18 keys with BOUND
        f.writeIni(record("001A2B3C4D5E", encoderKeys()) + record("001A2B3C4D5F", keys));
        f.list.Load_Config();
        ui.cmbEncoders->setCurrentIndex(1 - encoderIndex);
        ui.chkSFNEnabled->setCheckState(sfnState == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
        const QByteArray stored = readBytes(f.iniPath);
        f.selection.SelectElement(kDecoderKey);
        QVERIFY(f.dialogs.boxes.isEmpty());
        QCOMPARE(ui.lblElementMAC->caption(), kDecoderKey);
        QCOMPARE(ui.cmbEncoders->currentIndex(), encoderIndex);
        QCOMPARE(int(ui.chkSFNEnabled->checkState()), sfnState);
        QCOMPARE(readBytes(f.iniPath), stored);
    }

    void unknownRoleLeavesDecoderControls()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(standardDatabase(with(with(decoderKeys(), "ROLE", "5"), "ATT", "100")));
        f.list.Load_Config();
        f.selection.SelectElement(kDecoderKey);
        f.selection.SelectElement(kOtherKey);
        QCOMPARE(ui.lblElementType->caption(), QString("UNKNOWN"));
        QCOMPARE(ui.scrlAtten->value(), 20);
        QCOMPARE(ui.scrlBuffer->value(), 5);
        QCOMPARE(ui.lblElementMAC->caption(), kOtherKey);
        QVERIFY(!ui.scrlAtten->isHidden());
    }

    void decoderStepsSkipAndGoOn_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("att missing") << QByteArray("ATT") << QByteArray();
        QTest::newRow("att below minimum") << QByteArray("ATT") << QByteArray("10");
        QTest::newRow("att not a number") << QByteArray("ATT") << QByteArray("loud");
        QTest::newRow("buf above maximum") << QByteArray("BUF") << QByteArray("9");
        QTest::newRow("sdm beyond list") << QByteArray("SDM") << QByteArray("3");
        QTest::newRow("sdl zero") << QByteArray("SDL") << QByteArray("0");
        QTest::newRow("sdt fraction") << QByteArray("SDT") << QByteArray("4.5");
    }
    void decoderStepsSkipAndGoOn()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        Keys other = decoderKeys();
        for (auto& [k, v] : other) {
            if (k == "ATT")
                v = "100";
            if (k == "BUF")
                v = "2";
            if (k == "SDM")
                v = "2";
            if (k == "SDL")
                v = "154";
            if (k == "SDT")
                v = "220";
        }
        other = with(other, key, value);
        f.writeIni(standardDatabase(other));
        f.list.Load_Config();
        f.selection.SelectElement(kDecoderKey);
        f.selection.SelectElement(kOtherKey);
        QVERIFY(f.dialogs.boxes.isEmpty());

        QCOMPARE(ui.scrlAtten->value(), key == "ATT" ? 20 : 100);
        QCOMPARE(ui.scrlBuffer->value(), key == "BUF" ? 5 : 2);
        QCOMPARE(ui.cmbSilDetMode->currentIndex(), key == "SDM" ? 1 : 2);
        QCOMPARE(ui.scrlSilDetLevel->value(), key == "SDL" ? 37 : 154);
        QCOMPARE(ui.scrlSilDetTime->value(), key == "SDT" ? 43 : 220);
        // Loading went on to the end.
        QCOMPARE(ui.lblElementMAC->caption(), kOtherKey);
        QCOMPARE(ui.lblPing->caption(), QString("<Click to test>"));
    }

    void decoderDefaultsWhenKeysAreAbsent()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        Keys other = decoderKeys();
        for (const QByteArray& k : {"BUF", "SDM", "SDL", "SDT"})
            other = with(other, k, {});
        f.writeIni(standardDatabase(other));
        f.list.Load_Config();
        ui.scrlSilDetLevel->setValue(100);
        ui.scrlSilDetTime->setValue(100);
        ui.cmbSilDetMode->setCurrentIndex(2);
        f.selection.SelectElement(kOtherKey);
        QCOMPARE(ui.scrlBuffer->value(), 1);
        QCOMPARE(ui.cmbSilDetMode->currentIndex(), 0);
        QCOMPARE(ui.scrlSilDetLevel->value(), 37);
        QCOMPARE(ui.scrlSilDetTime->value(), 43);
    }

    void encoderSetsBufferToZeroWhateverStored()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(standardDatabase());
        f.list.Load_Config();
        f.selection.SelectElement(kDecoderKey);
        f.selection.SelectElement(kEncoderKey);
        QCOMPARE(ui.scrlBuffer->value(), 0);
        QCOMPARE(ui.scrlAtten->value(), 20);
    }

    // The panel's readouts and enable states stay true to the values even
    // when a selection sets a value the control already holds.
    void sameValuesAfterAResetStillShowTheirReadouts()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(standardDatabase(with(decoderKeys(), "NAME", "OTHER")));
        f.list.Load_Config();
        f.selection.SelectElement(kDecoderKey);
        f.panel.ClearPropertiesPanel();
        QCOMPARE(ui.lblLatency->text(), QString("0mS"));
        f.selection.SelectElement(kOtherKey);
        QCOMPARE(ui.scrlBuffer->value(), 5);
        QCOMPARE(ui.lblLatency->text(), QString("12.5mS"));
        QVERIFY(!ui.scrlSilDetLevel->isEnabled());
        QVERIFY(!ui.Label24->isEnabled());
    }

    void emptyNodeTextStopsAfterTheFirstSteps()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(standardDatabase());
        f.list.Load_Config();
        QTreeWidgetItem* node = f.node(kEncoderKey);
        node->setText(0, QString());
        ui.Toolbar1Buttons[kStartMonitoringButton]->setEnabled(true);
        ui.shpPing->setFillColor(QColor(0, 255, 0));
        ui.TreeView1->setCurrentItem(node); // picked from code
        QVERIFY(!ui.Toolbar1Buttons[kStartMonitoringButton]->isEnabled());
        QCOMPARE(ui.shpPing->fillColor(), QColor(255, 255, 192));
        QCOMPARE(ui.lblElementType->caption(), QString("-"));
        QVERIFY(ui.txtElementName->text().isEmpty());
    }

    // A corrupted record raises one box per selecting action, which counts
    // the selections. The tree draws as current only a node that an action
    // selected.
    void eachActionSelectsOnce_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("boxes");
        QTest::addColumn<QString>("current");
        QTest::newRow("click a new node") << "click" << 1 << kOtherKey;
        QTest::newRow("click it twice") << "click twice" << 2 << kOtherKey;
        QTest::newRow("double click") << "double click" << 1 << kOtherKey;
        QTest::newRow("arrow up onto it") << "arrow" << 1 << kOtherKey;
        QTest::newRow("first arrow in the tree") << "first arrow" << 1 << kOtherKey;
        QTest::newRow("tab into the tree") << "tab" << 0 << QString();
        QTest::newRow("window shown") << "none" << 0 << QString();
        QTest::newRow("drag across it") << "drag" << 0 << QString();
        QTest::newRow("right click") << "right click" << 0 << QString();
    }
    void eachActionSelectsOnce()
    {
        QFETCH(QString, action);
        QFETCH(int, boxes);
        QFETCH(QString, current);
        PanelFixture f;
        QTreeWidget* tree = f.ui().TreeView1;
        // The corrupted record comes first, so focus lands on it by tab.
        f.writeIni(record("001A2B3C4D60", with(decoderKeys(), "BOUND", "0")) +
                   record("001A2B3C4D5E", encoderKeys()));
        f.list.Load_Config();
        if (!f.showActive())
            QSKIP("the window cannot be made active on this platform");
        QTreeWidgetItem* corrupted = f.node(kOtherKey);
        const QPoint centre = tree->visualItemRect(corrupted).center();

        if (action == "click") {
            clickNode(f, corrupted);
        } else if (action == "click twice") {
            clickNode(f, corrupted);
            clickNode(f, corrupted);
        } else if (action == "double click") {
            // As the window system delivers it: press, release, double
            // click, release.
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, centre);
            QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, centre);
            QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, centre);
        } else if (action == "arrow") {
            clickNode(f, f.node(kEncoderKey));
            QTest::keyClick(tree, Qt::Key_Up);
        } else if (action == "first arrow") {
            tree->setFocus(Qt::TabFocusReason);
            QTest::keyClick(tree, Qt::Key_Down);
        } else if (action == "tab") {
            f.ui().txtElementName->setFocus();
            tree->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(tree->hasFocus());
        } else if (action == "drag") {
            // From the encoder below it, over the corrupted node, and let go
            // there.
            const QPoint start = tree->visualItemRect(f.node(kEncoderKey)).center();
            QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, start);
            QTest::mouseMove(tree->viewport(), centre);
            QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, centre);
        } else if (action == "right click") {
            QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, centre);
        }
        QCOMPARE(f.dialogs.texts().count(kCorruptedText), boxes);
        QTreeWidgetItem* drawnCurrent = tree->currentItem();
        QCOMPARE(drawnCurrent ? drawnCurrent->data(0, WidgetTreeView::kNodeKeyRole).toString()
                              : QString(),
                 current);
    }

    void rebuildDropsTheCurrentNodeWithoutSelecting()
    {
        PanelFixture f;
        f.writeIni(standardDatabase());
        f.list.Load_Config();
        f.ui().TreeView1->setCurrentItem(f.node(kEncoderKey));
        QCOMPARE(f.ui().lblElementType->caption(), QString("ENCODER"));
        f.ui().lblElementType->setCaption("-");
        f.list.Load_Config();
        QCOMPARE(f.ui().lblElementType->caption(), QString("-"));
        QVERIFY(f.dialogs.boxes.isEmpty());
    }
};

QTEST_MAIN(ElementSelectionTest)
#include "tst_ElementSelection.moc"
