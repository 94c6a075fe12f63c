#include <QtTest>

#include <QtWidgets>

#include "FileBytes.h"
#include "PanelFixture.h"
#include "TableColumns.h"
#include "TableRow.h"
#include "ui/CaptionLabel.h"
#include "ui/ShapeWidget.h"
#include "ui/VuMeterImage.h"

using namespace nms;
using namespace nms::test;

// The element list built from nms.ini, and the selection of one of its
// elements into the properties panel.

namespace {

const QString kCorruptedText =
    QStringLiteral("The data stored in your computer about this element, is corrupted (1).\r"
                   "Cannot load this element info.");
const QStringList kEmptyLists{QString(), QStringLiteral("<None>"), QString(),
                              QStringLiteral("Select element: (0 items)")};
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

// The section of the node key (or section name) holding the keys after the
// edits: "KEY=value" sets or adds a key, "-KEY" removes it.
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

// The tree's node texts, the encoder list and the section list, each joined
// by '|', and the tree's frame caption.
QStringList lists(FrmMainControls& ui)
{
    QStringList nodes, encoders, sections;
    for (int i = 0; i < ui.TreeView1->topLevelItemCount(); ++i)
        nodes << ui.TreeView1->topLevelItem(i)->text(0);
    for (int i = 0; i < ui.cmbEncoders->count(); ++i)
        encoders << ui.cmbEncoders->itemText(i);
    for (int i = 0; i < ui.lstHidden->count(); ++i)
        sections << ui.lstHidden->item(i)->text();
    return {nodes.join(QLatin1Char('|')), encoders.join(QLatin1Char('|')),
            sections.join(QLatin1Char('|')), ui.frmTreeView->title()};
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

} // namespace

class ElementListTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    // Over a listed and selected element, a refresh finds a file too large
    // to be a database: by the time its box shows, everything is emptied and
    // the file left as it is; a rebuild asked for meanwhile runs after it.
    // The boxes of a missing file and of one without sections are
    // tst_MainWindow's and tst_Discovery's; they empty the same way.
    void unreadableDatabaseEmptiesTheLists()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(record(kEncoderKey, kEncoder));
        f.list.Load_Config();
        f.selection.SelectElement(kEncoderKey);
        ui.VUMeter->setWidthTwips(700);
        const qint64 size = 64 * 1024 * 1024 + 1;
        QVERIFY(QFile::resize(f.iniPath, size)); // sparse, so the test writes little
        QStringList seenWhileOpen;
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            seenWhileOpen = lists(ui) << QString::number(f.list.isRebuilding())
                                      << QString::number(ui.VUMeter->widthTwips())
                                      << QString::number(QFileInfo(f.iniPath).size());
            f.writeIni(record(kEncoderKey, "NAME=STUDIO|ROLE=1") + record(kDecoderKey, "NAME=TX"));
            f.list.Load_Config();
        };

        f.list.RefreshElementList();

        QCOMPARE(seenWhileOpen, (kEmptyLists + QStringList{QStringLiteral("1"), QStringLiteral("0"),
                                                           QString::number(size)}));
        QCOMPARE(f.dialogs.texts(),
                 QStringList{QStringLiteral("The local database cannot be read:\r%1 is larger than "
                                            "64 MiB, too large to be a database\rThe file is left "
                                            "as it is.")
                                 .arg(f.iniPath)});
        QCOMPARE(f.dialogs.last().title, kApplicationTitle);
        QCOMPARE(f.dialogs.last().icon, BoxIcon::Critical);
        QVERIFY(!f.list.isRebuilding());
        QCOMPARE(ui.lblElementType->caption() + ui.lblElementMAC->caption(), QStringLiteral("--"));
        QCOMPARE(lists(ui).first(),
                 QStringLiteral("STUDIO [00:1A:2B:3C:4D:5E]|TX [00:1A:2B:3C:4D:5F]"));
    }

    // A role that is missing or not a number is listed like a decoder; a
    // name that stands twice gets one node, an empty one none. A rebuild
    // with the keyboard focus in the tree lists the same and selects nothing.
    void listsEveryRecordInFileOrder()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        const QByteArray bytes =
            record(QStringLiteral("FFFFFFFFFF01"), "NAME=ZULU|ROLE=2") +
            record(QStringLiteral("000000000002"), "NAME=ALPHA|ROLE=1|INPUT=0|TYPE=0|TX=0") +
            record(QStringLiteral("888888888803"), "NAME=MIKE|ROLE=  1  ") +
            record(QStringLiteral("111111111104"), "NAME=BRAVO|ROLE=5") +
            record(QStringLiteral("0000000000E5"), "NAME=X") +
            record(QStringLiteral("ffffffffff01"), "NAME=AGAIN|ROLE=1") +
            record(QString(), "NAME=NONE|ROLE=1") +
            record(QStringLiteral("ABC"), "NAME=Y|ROLE=encoder");
        f.writeIni(bytes);
        f.list.Load_Config();
        const QStringList listed{
            QStringLiteral("ZULU [FF:FF:FF:FF:FF:01]|ALPHA [00:00:00:00:00:02]|"
                           "MIKE [88:88:88:88:88:03]|BRAVO [11:11:11:11:11:04]|"
                           "X [00:00:00:00:00:E5]|Y []"),
            QStringLiteral("<None>|ALPHA [00:00:00:00:00:02]|MIKE [88:88:88:88:88:03]"),
            QStringLiteral("FFFFFFFFFF01|000000000002|888888888803|111111111104|0000000000E5|"
                           "ffffffffff01|ABC"),
            QStringLiteral("Select element: (6 items)")};
        QCOMPARE(lists(ui), listed);
        for (int i = 0; i < ui.TreeView1->topLevelItemCount(); ++i) // encoders: ALPHA, MIKE
            QCOMPARE(ui.TreeView1->topLevelItem(i)->icon(0).cacheKey(),
                     ui.ImageList1[i == 1 || i == 2 ? 6 : 7].cacheKey());
        // Nothing is shown as bound until a record chooses an encoder.
        QCOMPARE(ui.cmbEncoders->currentIndex(), -1);

        QVERIFY(f.showActive());
        ui.TreeView1->setFocus();
        ui.TreeView1->setCurrentItem(ui.TreeView1->topLevelItem(1));
        QCOMPARE(ui.lblElementType->caption(), QStringLiteral("ENCODER"));
        f.panel.ClearPropertiesPanel();
        f.list.Load_Config();
        QCoreApplication::processEvents();
        QCOMPARE(lists(ui), listed);
        QCOMPARE(ui.lblElementType->caption() + ui.lblElementMAC->caption(), QStringLiteral("--"));
        QCOMPARE(ui.TreeView1->currentItem(), nullptr);
        QVERIFY(f.dialogs.boxes.isEmpty());
        QCOMPARE(readBytes(f.iniPath), bytes);
    }

    // Every field of a decoder's record in its place (the command line reads
    // through the same selection, so the faces' agreement cannot tell), and
    // values equal to what the controls hold still run their change rules.
    void selectionFillsThePanel()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(record(kDecoderKey, kDecoder));
        f.list.Load_Config();
        f.selection.SelectElement(kDecoderKey);
        const QString shown = panel(ui);
        QCOMPARE(shown, QStringLiteral("DECODER|3.40|00:1A:2B:3C:4D:5F|2002|<Click to test>|TX "
                                       "SITE|198.18.0.20|255.255.0.0|198.18.0.2|198.18.0.10|0|1|0|"
                                       "0|1|2|20|5|37|43|12.5mS|-18.4dBu|19.6Sec"));
        f.panel.ClearPropertiesPanel();
        QVERIFY(ui.scrlSilDetLevel->isEnabled());
        f.selection.SelectElement(kDecoderKey);
        QCOMPARE(panel(ui), shown);
        QVERIFY(!ui.scrlSilDetLevel->isEnabled());
    }

    // Edits of a decoder record listed after one encoder (so bound 1 exists
    // and bound 2 does not), selected after another decoder. A record whose
    // list positions or role are not whole numbers within their controls
    // is refused whole. A decoder value that is missing, not a whole number
    // or out of its control's range leaves the control as the decoder before
    // set it. An SFN state beyond the three shows unticked. No node (as for
    // an empty node text) only stops the ping test and monitoring. The rows the
    // command line shares with the window are in its agreement table
    // (tst_NmsCtlPieces).
    void selectionReadsTheRecord_data()
    {
        // The edits; type, version, bound, sdm, sfn, att, buf, sdl and sdt shown.
        TableColumns<QString, QString>::add();
        addRow("no node", "", "unchanged");
        addRow("18 keys", "BOUND=0", "refused");
        addRow("input negative", "INPUT=-1", "refused");
        addRow("type empty", "TYPE=", "refused");
        addRow("tx fraction", "TX=1.5", "refused");
        addRow("role too large", "ROLE=70000", "refused");
        addRow("all taken", "", "DECODER 3.40 0 2 2 100 2 154 220");
        addRow("att not a number", "ATT=loud", "DECODER 3.40 0 2 2 30 2 154 220");
        addRow("sdm beyond list", "SDM=3", "DECODER 3.40 0 1 2 100 2 154 220");
        addRow("defaults", "-BUF|-SDM|-SDL|-SDT|-SFN|-VER", "DECODER 2.00 0 0 0 100 1 37 43");
        addRow("encoder", "ROLE=1", "ENCODER 3.40 0 1 2 30 0 60 70");
        addRow("sfn undetermined", "SFN=2", "DECODER 3.40 0 2 1 100 2 154 220");
        addRow("version rounded", "VER=3.456", "DECODER 3.46 0 2 2 100 2 154 220");
        addRow("version not a number", "VER=v1,2b", "DECODER v1.2b 0 2 2 100 2 154 220");
    }
    void selectionReadsTheRecord()
    {
        const auto [edits, shown] = TableColumns<QString, QString>::fetch();
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
            const QString before = panel(ui);
            const QByteArray stored = readBytes(f.iniPath);
            ui.shpPing->setFillColor(QColor(0, 255, 0));
            for (QAction* button : {ui.Toolbar1Buttons[kStartMonitoringButton],
                                    ui.Toolbar1Buttons[kStopMonitoringButton]})
                button->setEnabled(true);

            f.selection.SelectElement(shown == QStringLiteral("unchanged") ? QString() : kOtherKey);

            QCOMPARE(readBytes(f.iniPath), stored);
            QCOMPARE(ui.shpPing->fillColor(), QColor(255, 255, 192));
            QVERIFY(!ui.Toolbar1Buttons[kStopMonitoringButton]->isEnabled());
            if (shown == QStringLiteral("refused") || shown == QStringLiteral("unchanged")) {
                QCOMPARE(panel(ui), before);
                QVERIFY(!ui.Toolbar1Buttons[kStartMonitoringButton]->isEnabled());
                QCOMPARE(f.dialogs.texts(), shown == QStringLiteral("refused")
                                                ? QStringList{kCorruptedText}
                                                : QStringList());
                for (const MessageBoxRequest& box : f.dialogs.boxes)
                    QVERIFY(box.title == kApplicationTitle && box.icon == BoxIcon::Critical &&
                            box.buttons == BoxButtons::Ok);
                continue;
            }
            const QStringList shownNow = panel(ui).split(QLatin1Char('|'));
            QCOMPARE((shownNow.mid(0, 2) + shownNow.mid(13, 7)).join(QLatin1Char(' ')), shown);
            QCOMPARE(ui.lblElementMAC->caption(), kOtherKey);
            QCOMPARE(ui.Toolbar1Buttons[kStartMonitoringButton]->isEnabled(),
                     shown.startsWith(QStringLiteral("ENCODER")));
            QVERIFY(f.dialogs.boxes.isEmpty());
        }
    }

    // A corrupted record raises one box per selecting action, which counts
    // the selections. The tree draws as current only a node that an action
    // selected. An action's steps go to the corrupted node, or with "@" to
    // the encoder below it; "name" puts the focus in the name field, "tab"
    // in the tree.
    void eachActionSelectsOnce_data()
    {
        TableColumns<QString, int>::add(); // steps, boxes
        addRow("click", "click", 1);
        addRow("click twice", "click click", 2);
        addRow("double click as the window system delivers it", "click doubleclick release", 1);
        addRow("arrow up from the encoder", "@click Up", 1);
        addRow("first arrow", "tab Down", 1);
        addRow("tab", "name tab", 0);
        addRow("drag from the encoder", "@press move release", 0);
        addRow("right click", "rightclick", 0);
    }
    void eachActionSelectsOnce()
    {
        const auto [steps, boxes] = TableColumns<QString, int>::fetch();
        PanelFixture f;
        QTreeWidget* tree = f.ui().TreeView1;
        QWidget* viewport = tree->viewport();
        // The corrupted record comes first, so focus lands on it by tab.
        f.writeIni(record(kOtherKey, kDecoder, "BOUND=0") + record(kEncoderKey, kEncoder));
        f.list.Load_Config();
        if (!f.showActive())
            QSKIP("the window cannot be made active on this platform");
        for (QString step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString key = step.startsWith(QLatin1Char('@')) ? kEncoderKey : kOtherKey;
            const QPoint at = tree->visualItemRect(f.node(key)).center();
            step.remove(QLatin1Char('@'));
            const auto is = [&](const char* name) { return step == QLatin1String(name); };
            if (is("click") || is("rightclick"))
                QTest::mouseClick(viewport, is("click") ? Qt::LeftButton : Qt::RightButton, {}, at);
            else if (is("doubleclick"))
                QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
            else if (is("press"))
                QTest::mousePress(viewport, Qt::LeftButton, {}, at);
            else if (is("move"))
                QTest::mouseMove(viewport, at);
            else if (is("release"))
                QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
            else if (is("name"))
                f.ui().txtElementName->setFocus();
            else if (is("tab"))
                tree->setFocus(Qt::TabFocusReason);
            else
                QTest::keyClick(tree, is("Up") ? Qt::Key_Up : Qt::Key_Down);
            QTRY_VERIFY(!is("tab") || tree->hasFocus());
        }
        QCOMPARE(f.dialogs.texts().count(kCorruptedText), boxes);
        QTreeWidgetItem* drawn = tree->currentItem();
        QCOMPARE(drawn ? drawn->data(0, WidgetTreeView::kNodeKeyRole).toString() : QString(),
                 boxes > 0 ? kOtherKey : QString());
    }
};

QTEST_MAIN(ElementListTest)
#include "tst_ElementList.moc"
