#include <QtTest>

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTreeWidget>

#include "PanelFixture.h"
#include "ui/CaptionLabel.h"
#include "ui/VuMeterImage.h"

using namespace nms;
using namespace nms::test;

namespace {

const QString kMissingText = QStringLiteral(
    "Local database is empty.\rPlease click 'Auto Discover' icon to probe the network.");
const QString kNoSectionsText = QStringLiteral(
    "Local database is empty.\rPlease click the 'Auto Discover' icon to probe the network.");

QByteArray section(const QByteArray& name, const QByteArray& role, const QByteArray& elementName)
{
    QByteArray bytes = "[" + name + "]\r\n";
    bytes += "NAME=" + elementName.leftJustified(16, ' ') + "\r\n";
    bytes += "IP=198.18.0.10\r\n";
    if (!role.isNull())
        bytes += "ROLE=" + role + "\r\n";
    return bytes;
}

QStringList nodeTexts(QTreeWidget* tree)
{
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        texts << tree->topLevelItem(i)->text(0);
    return texts;
}

QStringList comboItems(QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

QStringList listItems(QListWidget* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

// Lets a test act while an information box is open, as a handler that runs
// inside the box's modal wait would.
class HookedDialogs : public RecordingDialogs {
public:
    std::function<void()> whileOpen;

protected:
    BoxAnswer present(const MessageBoxRequest& box) override
    {
        if (whileOpen) {
            auto hook = std::move(whileOpen);
            whileOpen = nullptr;
            hook();
        }
        return RecordingDialogs::present(box);
    }
};

} // namespace

class ElementListTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void emptyDatabaseBoxes_data()
    {
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("grownTo"); // file size after zero bytes appended, or 0
        QTest::addColumn<QString>("expectedText");
        QTest::newRow("missing file") << false << QByteArray() << qint64(0) << kMissingText;
        QTest::newRow("zero bytes") << true << QByteArray() << qint64(0) << kNoSectionsText;
        QTest::newRow("blank lines")
            << true << QByteArray("\r\n\r\n") << qint64(0) << kNoSectionsText;
        QTest::newRow("keys without section")
            << true << QByteArray("ROLE=1\r\nNAME=X\r\n") << qint64(0) << kNoSectionsText;
        QTest::newRow("larger than 64 MiB")
            << true << QByteArray("[001A2B3C4D5E]\r\nROLE=1\r\n") << qint64(64 * 1024 * 1024 + 1)
            << QStringLiteral("The local database cannot be read:\r%1 is larger than 64 MiB, too "
                              "large to be a database\rThe file is left as it is.");
    }
    void emptyDatabaseBoxes()
    {
        QFETCH(bool, fileExists);
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, grownTo);
        QFETCH(QString, expectedText);
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        if (fileExists)
            f.writeIni(bytes);
        if (grownTo > 0) // sparse, so the test writes little
            QVERIFY(QFile::resize(f.iniPath, grownTo));
        const bool unreadable = grownTo > 0;
        ui.VUMeter->setWidthTwips(700);
        ui.lstHidden->addItem("stale");
        ui.cmbEncoders->addItem("stale");

        f.list.Load_Config();

        QCOMPARE(f.dialogs.boxes.size(), 1);
        const MessageBoxRequest& box = f.dialogs.last();
        QCOMPARE(box.text(), unreadable ? expectedText.arg(f.iniPath) : expectedText);
        QCOMPARE(box.title, unreadable ? kApplicationTitle : QString("Information"));
        QCOMPARE(box.icon, unreadable ? BoxIcon::Critical : BoxIcon::Information);
        QCOMPARE(box.buttons, BoxButtons::Ok);
        QCOMPARE(ui.TreeView1->topLevelItemCount(), 0);
        QCOMPARE(ui.frmTreeView->title(), QString("Select element: (0 items)"));
        QCOMPARE(comboItems(ui.cmbEncoders), QStringList{"<None>"});
        QCOMPARE(ui.lstHidden->count(), 0);
        QCOMPARE(ui.VUMeter->widthTwips(), 0);
        QCOMPARE(QFileInfo::exists(f.iniPath), fileExists);
        if (unreadable) {
            QCOMPARE(QFileInfo(f.iniPath).size(), grownTo);
            QFile file(f.iniPath);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.read(bytes.size()), bytes);
        }
    }

    void oneEncoder()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(section("001A2B3C4D5E", "1", "STUDIO"));
        f.list.Load_Config();

        QVERIFY(f.dialogs.boxes.isEmpty());
        QCOMPARE(ui.TreeView1->topLevelItemCount(), 1);
        QTreeWidgetItem* node = ui.TreeView1->topLevelItem(0);
        QCOMPARE(node->text(0), QString("STUDIO [00:1A:2B:3C:4D:5E]"));
        QCOMPARE(node->data(0, WidgetTreeView::kNodeKeyRole).toString(),
                 QString("00:1A:2B:3C:4D:5E"));
        QCOMPARE(node->parent(), nullptr);
        QCOMPARE(node->icon(0).cacheKey(), ui.ImageList1[6].cacheKey());
        QCOMPARE(comboItems(ui.cmbEncoders), (QStringList{"<None>", "STUDIO [00:1A:2B:3C:4D:5E]"}));
        QCOMPARE(ui.frmTreeView->title(), QString("Select element: (1 items)"));
        QCOMPARE(listItems(ui.lstHidden), QStringList{"001A2B3C4D5E"});
    }

    void roleDecidesImageAndEncoderList_data()
    {
        QTest::addColumn<QByteArray>("role");
        QTest::addColumn<int>("image");
        QTest::newRow("encoder") << QByteArray("1") << 6;
        QTest::newRow("decoder") << QByteArray("2") << 7;
        QTest::newRow("role 3") << QByteArray("3") << 7;
        QTest::newRow("role 0") << QByteArray("0") << 7;
        QTest::newRow("missing") << QByteArray() << 7;
        QTest::newRow("empty") << QByteArray("") << 7;
        QTest::newRow("not a number") << QByteArray("encoder") << 7;
        QTest::newRow("blanks around 1") << QByteArray("  1  ") << 6;
        QTest::newRow("huge") << QByteArray("99999999999999999999") << 7;
    }
    void roleDecidesImageAndEncoderList()
    {
        QFETCH(QByteArray, role);
        QFETCH(int, image);
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        // A record after the odd one proves the rebuild goes on.
        f.writeIni(section("AABBCCDDEEFF", role, "ODD") + section("001122334455", "1", "NEXT"));
        f.list.Load_Config();

        QCOMPARE(ui.TreeView1->topLevelItemCount(), 2);
        QCOMPARE(ui.TreeView1->topLevelItem(0)->icon(0).cacheKey(),
                 ui.ImageList1[image].cacheKey());
        QStringList encoders{"<None>"};
        if (image == 6)
            encoders << "ODD [AA:BB:CC:DD:EE:FF]";
        encoders << "NEXT [00:11:22:33:44:55]";
        QCOMPARE(comboItems(ui.cmbEncoders), encoders);
        // Nothing is shown as bound until a record chooses an encoder.
        QCOMPARE(ui.cmbEncoders->currentIndex(), -1);
        QCOMPARE(ui.frmTreeView->title(), QString("Select element: (2 items)"));
    }

    void nodesInFileOrder()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(section("FFFFFFFFFF01", "2", "ZULU") + section("000000000002", "1", "ALPHA") +
                   section("888888888803", "1", "MIKE") + section("111111111104", "5", "BRAVO"));
        f.list.Load_Config();

        QCOMPARE(nodeTexts(ui.TreeView1),
                 (QStringList{"ZULU [FF:FF:FF:FF:FF:01]", "ALPHA [00:00:00:00:00:02]",
                              "MIKE [88:88:88:88:88:03]", "BRAVO [11:11:11:11:11:04]"}));
        QCOMPARE(comboItems(ui.cmbEncoders),
                 (QStringList{"<None>", "ALPHA [00:00:00:00:00:02]", "MIKE [88:88:88:88:88:03]"}));
        QCOMPARE(listItems(ui.lstHidden),
                 (QStringList{"FFFFFFFFFF01", "000000000002", "888888888803", "111111111104"}));
    }

    void loadTwiceGivesTheSameResult()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(section("001A2B3C4D5E", "1", "STUDIO") + section("001A2B3C4D5F", "2", "TX"));
        f.list.Load_Config();
        const QStringList nodes = nodeTexts(ui.TreeView1);
        const QStringList encoders = comboItems(ui.cmbEncoders);
        const QStringList sections = listItems(ui.lstHidden);
        f.list.Load_Config();
        QCOMPARE(nodeTexts(ui.TreeView1), nodes);
        QCOMPARE(comboItems(ui.cmbEncoders), encoders);
        QCOMPARE(listItems(ui.lstHidden), sections);
        QCOMPARE(ui.frmTreeView->title(), QString("Select element: (2 items)"));
    }

    void sixtyRecordsGiveSixtyNodes()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        QByteArray bytes;
        for (int i = 0; i < 60; ++i) {
            const QByteArray mac =
                QByteArray::number(0x001A2B000000LL + i, 16).toUpper().rightJustified(12, '0');
            bytes += section(mac, i % 3 == 0 ? "1" : "2", "E" + QByteArray::number(i));
        }
        f.writeIni(bytes);
        f.list.Load_Config();
        QCOMPARE(ui.TreeView1->topLevelItemCount(), 60);
        QCOMPARE(ui.frmTreeView->title(), QString("Select element: (60 items)"));
        QCOMPARE(ui.cmbEncoders->count(), 1 + 20);
        QCOMPARE(ui.TreeView1->topLevelItem(59)->text(0), QString("E59 [00:1A:2B:00:00:3B]"));
    }

    void badInputListsWhatItCan_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expectedNodes");
        QTest::newRow("garbage before a section")
            << QByteArray("\x01\x02garbage\xff\r\n[AABBCCDDEEFF]\r\nno equals here\r\nROLE=1\r\n"
                          "NAME=STUDIO\r\n")
            << QStringList{"STUDIO [AA:BB:CC:DD:EE:FF]"};
        QTest::newRow("line without equals only")
            << QByteArray("[AABBCCDDEEFF]\r\nROLE\r\n") << QStringList{" [AA:BB:CC:DD:EE:FF]"};
        QTest::newRow("short section name")
            << QByteArray("[ABC]\r\nNAME=X\r\nROLE=1\r\n") << QStringList{"X []"};
        QTest::newRow("bare line feeds") << QByteArray("[AABBCCDDEEFF]\nNAME=LF\nROLE=2\n")
                                         << QStringList{"LF [AA:BB:CC:DD:EE:FF]"};
        QTest::newRow("very long name")
            << (QByteArray("[AABBCCDDEEFF]\r\nNAME=") + QByteArray(5000, 'N') + "\r\n")
            << QStringList{QString(749, QLatin1Char('N')) + " [AA:BB:CC:DD:EE:FF]"};
    }
    void badInputListsWhatItCan()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expectedNodes);
        PanelFixture f;
        f.writeIni(bytes);
        f.list.Load_Config();
        QCOMPARE(nodeTexts(f.ui().TreeView1), expectedNodes);
    }

    void hostileBytesDoNotCrash_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("nul bytes") << QByteArray("[AABB\0CCDDEEFF]\r\nNAME=A\0B\r\n", 27);
        QTest::newRow("unclosed bracket") << QByteArray("[AABBCCDDEEFF\r\nNAME=X\r\n");
        QTest::newRow("empty section name") << QByteArray("[]\r\nNAME=X\r\nROLE=1\r\n");
        QTest::newRow("random") << QByteArray("\xde\xad\xbe\xef[[[]]]===\r\r\n\n=\r\n[");
        QTest::newRow("equals only") << QByteArray("[AABBCCDDEEFF]\r\n=\r\n==\r\n");
    }
    void hostileBytesDoNotCrash()
    {
        QFETCH(QByteArray, bytes);
        PanelFixture f;
        f.writeIni(bytes);
        f.list.Load_Config();
        QStringList listed;
        f.ini.LoadIniSectionsLB(listed, f.iniPath);
        QCOMPARE(f.ui().TreeView1->topLevelItemCount(), listed.size());
        QCOMPARE(f.ui().frmTreeView->title(),
                 QString("Select element: (%1 items)").arg(listed.size()));
    }

    void rebuildRequestedDuringRebuildIsQueued()
    {
        HookedDialogs dialogs;
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        // The fixture's list reports to the fixture's dialogs; use the hooked ones.
        ElementList list(dialogs, f.ini, f.iniPath, f.treeView, f.meterView, f.panelView);

        bool nestedReturnedAtOnce = false;
        dialogs.whileOpen = [&] {
            f.writeIni(section("001A2B3C4D5E", "1", "STUDIO") + section("001A2B3C4D5F", "2", "TX"));
            list.Load_Config();
            nestedReturnedAtOnce = list.isRebuilding() && ui.TreeView1->topLevelItemCount() == 0 &&
                                   ui.lstHidden->count() == 0;
        };

        list.Load_Config();

        QVERIFY(nestedReturnedAtOnce);
        QVERIFY(!list.isRebuilding());
        QCOMPARE(dialogs.texts(), QStringList{kMissingText});
        QCOMPARE(nodeTexts(ui.TreeView1),
                 (QStringList{"STUDIO [00:1A:2B:3C:4D:5E]", "TX [00:1A:2B:3C:4D:5F]"}));
        QCOMPARE(ui.frmTreeView->title(), QString("Select element: (2 items)"));
        QCOMPARE(comboItems(ui.cmbEncoders), (QStringList{"<None>", "STUDIO [00:1A:2B:3C:4D:5E]"}));
    }

    // The rebuild selects no node and leaves the panel as it was, also when
    // the tree holds the keyboard focus (a refresh by its shortcut, or a
    // feedback arriving while the operator works in the tree).
    void rebuildWithFocusedTreeSelectsNothing()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(section("001A2B3C4D5E", "1", "STUDIO") + "INPUT=0\r\nTYPE=0\r\nTX=0\r\n" +
                   section("001A2B3C4D5F", "1", "TX") + "INPUT=1\r\nTYPE=0\r\nTX=0\r\n");
        f.list.Load_Config();
        QVERIFY(f.showActive());
        ui.TreeView1->setFocus();
        QVERIFY(ui.TreeView1->hasFocus());
        ui.TreeView1->setCurrentItem(ui.TreeView1->topLevelItem(1));
        QCOMPARE(ui.lblElementType->caption(), QString("ENCODER"));
        f.panel.ClearPropertiesPanel();
        QCOMPARE(ui.lblElementType->caption(), QString("-"));

        f.list.Load_Config();
        QCoreApplication::processEvents();

        QCOMPARE(ui.lblElementType->caption(), QString("-"));
        QCOMPARE(ui.TreeView1->currentItem(), nullptr);
        QVERIFY(f.dialogs.boxes.isEmpty());
    }

    void refreshWithFileDeleted()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(section("001A2B3C4D5E", "1", "STUDIO") + "INPUT=0\r\nTYPE=0\r\nTX=0\r\n");
        f.list.Load_Config();
        f.selection.SelectElement(QStringLiteral("00:1A:2B:3C:4D:5E"));
        QCOMPARE(ui.lblElementType->caption(), QString("ENCODER"));
        f.removeIni();

        f.list.RefreshElementList();

        QCOMPARE(f.dialogs.texts(), QStringList{kMissingText});
        QCOMPARE(ui.TreeView1->topLevelItemCount(), 0);
        QCOMPARE(ui.frmTreeView->title(), QString("Select element: (0 items)"));
        QCOMPARE(ui.lblElementType->caption(), QString("-"));
        QCOMPARE(ui.lblElementMAC->caption(), QString("-"));
        QVERIFY(ui.txtElementName->text().isEmpty());
        QVERIFY(ui.txtElementIP->text().isEmpty());
        QVERIFY(!ui.scrlAtten->isHidden());
        QVERIFY(!QFileInfo::exists(f.iniPath));
    }

    void refreshOnUnchangedDatabase()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        const QByteArray bytes =
            section("001A2B3C4D5E", "1", "STUDIO") + "INPUT=0\r\nTYPE=0\r\nTX=0\r\n";
        f.writeIni(bytes);
        f.list.Load_Config();
        const QStringList nodes = nodeTexts(ui.TreeView1);
        f.selection.SelectElement(QStringLiteral("00:1A:2B:3C:4D:5E"));

        f.list.RefreshElementList();

        QCOMPARE(nodeTexts(ui.TreeView1), nodes);
        QCOMPARE(ui.lblElementType->caption(), QString("-"));
        QVERIFY(ui.txtElementName->text().isEmpty());
        QVERIFY(f.dialogs.boxes.isEmpty());
        QFile file(f.iniPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
    }
};

QTEST_MAIN(ElementListTest)
#include "tst_ElementList.moc"
