#include <QtTest>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTreeWidget>

#include "FileBytes.h"
#include "PanelFixture.h"
#include "TableRow.h"
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
// Records as discovery writes them: 13 keys for an encoder, 17 for a decoder.
const QByteArray kEncoder = "NAME=STUDIO          |IP=198.18.0.10|MASK=255.255.255.0|GW=198.18.0.1|"
                            "REMOTE=198.18.0.20|INPUT=1|TYPE=0|TX=0|ROLE=1|SN=1001|VER=3.1|SFN=0|"
                            "BUF=7";
const QByteArray kDecoder = "NAME=TX SITE         |IP=198.18.0.20|MASK=255.255.0.0|GW=198.18.0.2|"
                            "REMOTE=198.18.0.10|INPUT=0|TYPE=1|TX=0|ROLE=2|SN=2002|VER=3.4|SFN=1|"
                            "BUF=5|ATT=20|SDM=1|SDL=37|SDT=43";

// The section of the node key holding the keys after the edits: "KEY=value"
// sets or adds a key, "-KEY" removes it.
QByteArray record(const QString& nodeKey, const QByteArray& keys, const QByteArray& edits = {})
{
    QByteArrayList lines = keys.split('|');
    for (const QByteArray& edit : edits.split('|')) {
        const bool remove = edit.startsWith('-');
        const QByteArray name = edit.mid(remove ? 1 : 0).split('=').first() + '=';
        lines.removeIf([&](const QByteArray& line) { return line.startsWith(name); });
        if (!remove && !edit.isEmpty())
            lines << edit;
    }
    return '[' + nodeKey.toLatin1().replace(':', "") + "]\r\n" + lines.join("\r\n") + "\r\n";
}

// What the panel shows, joined, so that one comparison checks all of it.
QString panel(FrmMainControls& ui)
{
    QStringList shown{ui.lblElementType->caption(), ui.lblVersion->caption(),
                      ui.lblElementMAC->caption(), ui.lblSerialNumber->caption(),
                      ui.lblPing->caption()};
    for (QLineEdit* field :
         {ui.txtElementName, ui.txtElementIP, ui.txtElementMask, ui.txtElementGW, ui.txtRemoteIP})
        shown << field->text();
    for (QComboBox* list :
         {ui.cmbAudioInput, ui.cmbAudioType, ui.cmbAudioTX, ui.cmbEncoders, ui.cmbSilDetMode})
        shown << QString::number(list->currentIndex());
    shown << QString::number(int(ui.chkSFNEnabled->checkState()));
    for (QScrollBar* bar : {ui.scrlAtten, ui.scrlBuffer, ui.scrlSilDetLevel, ui.scrlSilDetTime})
        shown << QString::number(bar->value());
    shown << ui.lblLatency->text() << ui.lblSilDetLevel->text() << ui.lblSilDetTime->text();
    return shown.join(QLatin1Char('|'));
}

void clickNode(PanelFixture& f, const QString& key)
{
    QTreeWidget* tree = f.ui().TreeView1;
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(f.node(key)).center());
}

} // namespace

class ElementSelectionTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void mouseSelectionFillsThePanel()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        QAction* start = ui.Toolbar1Buttons[kStartMonitoringButton];
        f.writeIni(record(kDecoderKey, kDecoder) + record(kEncoderKey, kEncoder, "TX=1") +
                   record(kOtherKey, kEncoder, "NAME=SECOND"));
        f.list.Load_Config();
        if (!f.showActive())
            QSKIP("the window cannot be made active on this platform");

        const QString decoder = QStringLiteral(
            "DECODER|3.40|00:1A:2B:3C:4D:5F|2002|<Click to test>|TX SITE|198.18.0.20|255.255.0.0|"
            "198.18.0.2|198.18.0.10|0|1|0|0|1|2|20|5|37|43|12.5mS|-18.4dBu|19.6Sec");
        clickNode(f, kDecoderKey);
        QCOMPARE(panel(ui), decoder);
        // Values equal to what the controls hold still run their change rules.
        f.panel.ClearPropertiesPanel();
        QCOMPARE(ui.lblLatency->text(), QStringLiteral("0mS"));
        QVERIFY(ui.scrlSilDetLevel->isEnabled());
        clickNode(f, kDecoderKey);
        QCOMPARE(panel(ui), decoder);
        QVERIFY(!ui.scrlSilDetLevel->isEnabled());
        QVERIFY(!ui.Label24->isEnabled());
        QVERIFY(!start->isEnabled());
        // An encoder's buffer is 0 whatever is stored; the attenuation stays.
        clickNode(f, kEncoderKey);
        QCOMPARE(panel(ui), QStringLiteral("ENCODER|3.10|00:1A:2B:3C:4D:5E|1001|<Click to test>|"
                                           "STUDIO|198.18.0.10|255.255.255.0|198.18.0.1|"
                                           "198.18.0.20|1|0|1|0|1|0|20|0|37|43|0mS|-18.4dBu|"
                                           "19.6Sec"));
        QVERIFY(start->isEnabled());
        clickNode(f, kOtherKey); // a second encoder in a row still offers monitoring
        QVERIFY(start->isEnabled());
        QVERIFY(!ui.Toolbar1Buttons[kStopMonitoringButton]->isEnabled());
        QVERIFY(f.dialogs.boxes.isEmpty());
    }

    // Edits of a decoder record listed after one encoder, so bound 1 exists
    // and bound 2 does not. The rows the command line shares with the window
    // are in its agreement table (tst_NmsCtlPieces).
    void corruptedRecordIsRefused_data()
    {
        QTest::addColumn<QString>("edits");
        addRow("18 keys", "BOUND=0");
        addRow("input missing", "-INPUT");
        addRow("input not a number", "INPUT=x");
        addRow("input negative", "INPUT=-1");
        addRow("type beyond list", "TYPE=5");
        addRow("type empty", "TYPE=");
        addRow("tx fraction", "TX=1.5");
        addRow("tx missing", "-TX");
        addRow("bound not a number", "-SDT|BOUND=one");
        addRow("bound negative", "-SDT|BOUND=-1");
        addRow("role text", "ROLE=encoder");
        addRow("role too large", "ROLE=70000");
        addRow("section vanished", "vanished");
    }
    void corruptedRecordIsRefused()
    {
        QFETCH(QString, edits);
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        const QByteArray encoder = record(kEncoderKey, kEncoder);
        f.writeIni(encoder + record(kOtherKey, kDecoder, edits.toLatin1()));
        f.list.Load_Config();
        if (edits == QStringLiteral("vanished"))
            f.writeIni(encoder);
        f.selection.SelectElement(kEncoderKey);
        const QString before = panel(ui);
        ui.shpPing->setFillColor(QColor(0, 255, 0));
        ui.Toolbar1Buttons[kStopMonitoringButton]->setEnabled(true);

        f.selection.SelectElement(kOtherKey);

        QCOMPARE(f.dialogs.texts(), QStringList{kCorruptedText});
        QCOMPARE(f.dialogs.last().title, kApplicationTitle);
        QCOMPARE(f.dialogs.last().icon, BoxIcon::Critical);
        QCOMPARE(f.dialogs.last().buttons, BoxButtons::Ok);
        QCOMPARE(panel(ui), before);
        QCOMPARE(ui.shpPing->fillColor(), QColor(255, 255, 192));
        QVERIFY(!ui.Toolbar1Buttons[kStartMonitoringButton]->isEnabled());
        QVERIFY(!ui.Toolbar1Buttons[kStopMonitoringButton]->isEnabled());
    }

    // Edits of a decoder record selected after another decoder. A value that
    // is missing, not a whole number or out of its control's range leaves the
    // control as the decoder before set it, and loading goes on. An SFN byte
    // beyond the three states shows unticked and stays stored.
    void selectionReadsTheRecord_data()
    {
        QTest::addColumn<QString>("edits");
        QTest::addColumn<QString>("shown"); // type, att, buf, sdm, sdl, sdt, bound, sfn, version
        addRow("all taken", "", "DECODER 100 2 2 154 220 0 2 3.40");
        addRow("att missing", "-ATT", "DECODER 30 2 2 154 220 0 2 3.40");
        addRow("att not a number", "ATT=loud", "DECODER 30 2 2 154 220 0 2 3.40");
        addRow("sdm beyond list", "SDM=3", "DECODER 100 2 1 154 220 0 2 3.40");
        addRow("sdl zero", "SDL=0", "DECODER 100 2 2 60 220 0 2 3.40");
        addRow("sdt fraction", "SDT=4.5", "DECODER 100 2 2 154 70 0 2 3.40");
        addRow("defaults", "-BUF|-SDM|-SDL|-SDT|-SFN|-VER", "DECODER 100 1 0 37 43 0 0 2.00");
        addRow("encoder", "ROLE=1", "ENCODER 30 0 1 60 70 0 2 3.40");
        addRow("bound to the encoder", "-SN|BOUND=1", "DECODER 100 2 2 154 220 1 2 3.40");
        addRow("sfn undetermined", "SFN=2", "DECODER 100 2 2 154 220 0 1 3.40");
        addRow("sfn 3", "SFN=3", "DECODER 100 2 2 154 220 0 0 3.40");
        addRow("sfn 255", "-SN|BOUND=1|SFN=255", "DECODER 100 2 2 154 220 1 0 3.40");
        addRow("sfn not a number", "SFN=on", "DECODER 100 2 2 154 220 0 0 3.40");
        addRow("version with comma", "VER=3,4", "DECODER 100 2 2 154 220 0 2 3.40");
        addRow("whole version", "VER=3", "DECODER 100 2 2 154 220 0 2 3.00");
        addRow("version rounded", "VER=3.456", "DECODER 100 2 2 154 220 0 2 3.46");
        addRow("version not a number", "VER=v1,2b", "DECODER 100 2 2 154 220 0 2 v1.2b");
    }
    void selectionReadsTheRecord()
    {
        QFETCH(QString, edits);
        QFETCH(QString, shown);
        // The version caption has a point in a comma locale too.
        for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
            QLocale::setDefault(locale);
            PanelFixture f;
            FrmMainControls& ui = f.ui();
            f.writeIni(
                record(kEncoderKey, kEncoder) +
                record(kDecoderKey, kDecoder, "-SN|BOUND=1|SFN=2|ATT=30|BUF=3|SDL=60|SDT=70") +
                record(kOtherKey, kDecoder,
                       "ATT=100|BUF=2|SDM=2|SDL=154|SDT=220|" + edits.toLatin1()));
            f.list.Load_Config();
            f.selection.SelectElement(kDecoderKey);
            const QByteArray stored = readBytes(f.iniPath);
            f.selection.SelectElement(kOtherKey);
            QStringList values{ui.lblElementType->caption()};
            for (int value :
                 {ui.scrlAtten->value(), ui.scrlBuffer->value(), ui.cmbSilDetMode->currentIndex(),
                  ui.scrlSilDetLevel->value(), ui.scrlSilDetTime->value(),
                  ui.cmbEncoders->currentIndex(), int(ui.chkSFNEnabled->checkState())})
                values << QString::number(value);
            QCOMPARE((values << ui.lblVersion->caption()).join(QLatin1Char(' ')), shown);
            QCOMPARE(ui.lblElementMAC->caption(), kOtherKey);
            QVERIFY(f.dialogs.boxes.isEmpty());
            QCOMPARE(readBytes(f.iniPath), stored);
        }
    }

    void emptyNodeTextStopsAfterTheFirstSteps()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(record(kEncoderKey, kEncoder));
        f.list.Load_Config();
        QTreeWidgetItem* node = f.node(kEncoderKey);
        node->setText(0, QString());
        ui.Toolbar1Buttons[kStartMonitoringButton]->setEnabled(true);
        ui.shpPing->setFillColor(QColor(0, 255, 0));
        ui.TreeView1->setCurrentItem(node);
        QVERIFY(!ui.Toolbar1Buttons[kStartMonitoringButton]->isEnabled());
        QCOMPARE(ui.shpPing->fillColor(), QColor(255, 255, 192));
        QCOMPARE(ui.lblElementType->caption(), QStringLiteral("-"));
    }

    // A corrupted record raises one box per selecting action, which counts
    // the selections. The tree draws as current only a node that an action
    // selected. Row tags name the action: "arrow" goes up onto the node from
    // the encoder, "first arrow" is the first key in the tree, "none" only
    // shows the window.
    void eachActionSelectsOnce_data()
    {
        QTest::addColumn<int>("boxes");
        QTest::addColumn<QString>("current");
        addRow("click", 1, kOtherKey);
        addRow("click twice", 2, kOtherKey);
        addRow("double click", 1, kOtherKey);
        addRow("arrow", 1, kOtherKey);
        addRow("first arrow", 1, kOtherKey);
        addRow("tab", 0, QString());
        addRow("none", 0, QString());
        addRow("drag", 0, QString());
        addRow("right click", 0, QString());
    }
    void eachActionSelectsOnce()
    {
        const QString action = QString::fromLatin1(QTest::currentDataTag());
        QFETCH(int, boxes);
        QFETCH(QString, current);
        PanelFixture f;
        QTreeWidget* tree = f.ui().TreeView1;
        QWidget* viewport = tree->viewport();
        // The corrupted record comes first, so focus lands on it by tab.
        f.writeIni(record(kOtherKey, kDecoder, "BOUND=0") + record(kEncoderKey, kEncoder));
        f.list.Load_Config();
        if (!f.showActive())
            QSKIP("the window cannot be made active on this platform");
        const QPoint centre = tree->visualItemRect(f.node(kOtherKey)).center();

        if (action.startsWith(QStringLiteral("click"))) {
            clickNode(f, kOtherKey);
            if (action == QStringLiteral("click twice"))
                clickNode(f, kOtherKey);
        } else if (action == QStringLiteral("double click")) {
            // As the window system delivers it: press, release, double click, release.
            QTest::mouseClick(viewport, Qt::LeftButton, {}, centre);
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, centre);
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, centre);
        } else if (action == QStringLiteral("arrow")) {
            clickNode(f, kEncoderKey);
            QTest::keyClick(tree, Qt::Key_Up);
        } else if (action == QStringLiteral("first arrow")) {
            tree->setFocus(Qt::TabFocusReason);
            QTest::keyClick(tree, Qt::Key_Down);
        } else if (action == QStringLiteral("tab")) {
            f.ui().txtElementName->setFocus();
            tree->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(tree->hasFocus());
        } else if (action == QStringLiteral("drag")) {
            // From the encoder below it, let go over the corrupted node.
            QTest::mousePress(viewport, Qt::LeftButton, {},
                              tree->visualItemRect(f.node(kEncoderKey)).center());
            QTest::mouseMove(viewport, centre);
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, centre);
        } else if (action == QStringLiteral("right click")) {
            QTest::mouseClick(viewport, Qt::RightButton, {}, centre);
        }
        QCOMPARE(f.dialogs.texts().count(kCorruptedText), boxes);
        QTreeWidgetItem* drawn = tree->currentItem();
        QCOMPARE(drawn ? drawn->data(0, WidgetTreeView::kNodeKeyRole).toString() : QString(),
                 current);
    }
};

QTEST_MAIN(ElementSelectionTest)
#include "tst_ElementSelection.moc"
