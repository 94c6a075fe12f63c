#include <QtTest>

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>

#include "FileBytes.h"
#include "PanelFixture.h"
#include "TableRow.h"
#include "ui/CaptionLabel.h"
#include "ui/VuMeterImage.h"

using namespace nms;
using namespace nms::test;

namespace {

const QString kMissingText = QStringLiteral(
    "Local database is empty.\rPlease click 'Auto Discover' icon to probe the network.");
const QString kNoSectionsText = QStringLiteral(
    "Local database is empty.\rPlease click the 'Auto Discover' icon to probe the network.");
const QStringList kEmptyLists{QString(), QStringLiteral("<None>"), QString(),
                              QStringLiteral("Select element: (0 items)")};

QByteArray section(const QByteArray& name, const QByteArray& role, const QByteArray& elementName)
{
    QByteArray bytes =
        "[" + name + "]\r\nNAME=" + elementName.leftJustified(16, ' ') + "\r\nIP=198.18.0.10\r\n";
    return role.isNull() ? bytes : bytes + "ROLE=" + role + "\r\n";
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

} // namespace

class ElementListTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void emptyDatabaseBoxes_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: no file
        QTest::addColumn<qint64>("grownTo");   // size after zero bytes appended, or 0
        QTest::addColumn<QString>("text");
        addRow("missing file", QByteArray(), qint64(0), kMissingText);
        addRow("zero bytes", QByteArray(""), qint64(0), kNoSectionsText);
        addRow("blank lines", QByteArray("\r\n\r\n"), qint64(0), kNoSectionsText);
        addRow("keys only", QByteArray("ROLE=1\r\nNAME=X\r\n"), qint64(0), kNoSectionsText);
        addRow("larger than 64 MiB", QByteArray("[001A2B3C4D5E]\r\nROLE=1\r\n"),
               qint64(64 * 1024 * 1024 + 1),
               QStringLiteral("The local database cannot be read:\r%1 is larger than 64 MiB, too "
                              "large to be a database\rThe file is left as it is."));
    }
    void emptyDatabaseBoxes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, grownTo);
        QFETCH(QString, text);
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        if (!bytes.isNull())
            f.writeIni(bytes);
        if (grownTo > 0) // sparse, so the test writes little
            QVERIFY(QFile::resize(f.iniPath, grownTo));
        ui.VUMeter->setWidthTwips(700);
        ui.lstHidden->addItem(QStringLiteral("stale"));
        ui.cmbEncoders->addItem(QStringLiteral("stale"));

        f.list.Load_Config();

        const bool unreadable = grownTo > 0;
        QCOMPARE(f.dialogs.texts(), QStringList{unreadable ? text.arg(f.iniPath) : text});
        QCOMPARE(f.dialogs.last().title,
                 unreadable ? kApplicationTitle : QStringLiteral("Information"));
        QCOMPARE(f.dialogs.last().icon, unreadable ? BoxIcon::Critical : BoxIcon::Information);
        QCOMPARE(lists(ui), kEmptyLists);
        QCOMPARE(ui.VUMeter->widthTwips(), 0);
        QCOMPARE(QFileInfo(f.iniPath).size(), unreadable ? grownTo : bytes.size());
        QFile file(f.iniPath);
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.read(bytes.size()) : QByteArray(), bytes);
    }

    // A role that is missing or not a number is listed like a decoder.
    void listsEveryRecordInFileOrder()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(section("FFFFFFFFFF01", "2", "ZULU") + section("000000000002", "1", "ALPHA") +
                   section("888888888803", "  1  ", "MIKE") +
                   section("111111111104", "5", "BRAVO") + section("0000000000E5", {}, "X") +
                   section("0000000000E6", "encoder", "Y") +
                   section("0000000000E7", "99999999999999999999", "Z"));
        f.list.Load_Config();
        f.list.Load_Config(); // a second rebuild lists nothing twice
        QCOMPARE(lists(ui),
                 QStringList({QStringLiteral("ZULU [FF:FF:FF:FF:FF:01]|ALPHA [00:00:00:00:00:02]|"
                                             "MIKE [88:88:88:88:88:03]|BRAVO [11:11:11:11:11:04]|"
                                             "X [00:00:00:00:00:E5]|Y [00:00:00:00:00:E6]|"
                                             "Z [00:00:00:00:00:E7]"),
                              QStringLiteral("<None>|ALPHA [00:00:00:00:00:02]|"
                                             "MIKE [88:88:88:88:88:03]"),
                              QStringLiteral("FFFFFFFFFF01|000000000002|888888888803|"
                                             "111111111104|0000000000E5|0000000000E6|0000000000E7"),
                              QStringLiteral("Select element: (7 items)")}));
        QString images;
        for (int i = 0; i < ui.TreeView1->topLevelItemCount(); ++i) {
            const qint64 icon = ui.TreeView1->topLevelItem(i)->icon(0).cacheKey();
            images += QString::number(icon == ui.ImageList1[6].cacheKey()   ? 6
                                      : icon == ui.ImageList1[7].cacheKey() ? 7
                                                                            : -1);
        }
        QCOMPARE(images, QStringLiteral("7667777"));
        // Nothing is shown as bound until a record chooses an encoder.
        QCOMPARE(ui.cmbEncoders->currentIndex(), -1);
        QVERIFY(f.dialogs.boxes.isEmpty());
    }

    // Whatever a hand-edited or damaged file holds, the list shows what it
    // can read and leaves the file as it is.
    void badInputListsWhatItCan_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("nodes");
        QByteArray thousand;
        QStringList thousandNodes;
        for (int i = 0; i < 1000; ++i) {
            const QByteArray mac = QByteArray::number(i).rightJustified(12, '0');
            thousand += "[" + mac + "]\nROLE=2\nNAME=E\n";
            thousandNodes << QString::fromLatin1("E [00:00:00:00:" + mac.mid(8, 2) + ':' +
                                                 mac.mid(10, 2) + ']');
        }
        addRow("garbage before a section",
               QByteArray("\x01\x02garbage\xff\r\n[AABBCCDDEEFF]\r\nno equals here\r\nROLE=1\r\n"
                          "NAME=STUDIO\r\n"),
               "STUDIO [AA:BB:CC:DD:EE:FF]");
        addRow("key without equals", QByteArray("[AABBCCDDEEFF]\r\nROLE\r\n"),
               " [AA:BB:CC:DD:EE:FF]");
        addRow("short section name", QByteArray("[ABC]\r\nNAME=X\r\nROLE=1\r\n"), "X []");
        addRow("bare line feeds", QByteArray("[AABBCCDDEEFF]\nNAME=LF\nROLE=2\n"),
               "LF [AA:BB:CC:DD:EE:FF]");
        addRow("very long name",
               QByteArray("[AABBCCDDEEFF]\r\nNAME=") + QByteArray(5000, 'N') + "\r\n",
               QString(749, QLatin1Char('N')) + QStringLiteral(" [AA:BB:CC:DD:EE:FF]"));
        addRow("nul bytes", QByteArray("[AABB\0CCDDEEFF]\r\nNAME=A\0B\r\n", 27), "A B []");
        addRow("unclosed bracket", QByteArray("[AABBCCDDEEFF\r\nNAME=X\r\n"),
               "X [AA:BB:CC:DD:EE:FF]");
        addRow("empty section name", QByteArray("[]\r\nNAME=X\r\n[AABBCCDDEEFF]\r\nNAME=Y\r\n"),
               "Y [AA:BB:CC:DD:EE:FF]");
        addRow("random", QByteArray("\xde\xad\xbe\xef[[[]]]===\r\r\n\n=\r\n["), "");
        addRow("equals only", QByteArray("[AABBCCDDEEFF]\r\n=\r\n==\r\n"), " [AA:BB:CC:DD:EE:FF]");
        addRow("keys before any section", QByteArray("ROLE=1\nNAME=X\n[001A2B3C4D5E]\nNAME=A\n"),
               "A [00:1A:2B:3C:4D:5E]");
        addRow("byte-order mark", QByteArray("\xEF\xBB\xBF[001A2B3C4D5E]\nNAME=B\n"),
               "B [00:1A:2B:3C:4D:5E]");
        addRow("no final newline", QByteArray("[001A2B3C4D5E]\nNAME=N"), "N [00:1A:2B:3C:4D:5E]");
        // One node per name: reads go to the first of the sections.
        addRow("duplicate section names",
               QByteArray("[001A2B3C4D5E]\nNAME=FIRST\n[001a2b3c4d5e]\nNAME=SECOND\n"),
               "FIRST [00:1A:2B:3C:4D:5E]");
        addRow("1000 sections", thousand, thousandNodes.join(QLatin1Char('|')));
    }
    void badInputListsWhatItCan()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, nodes);
        PanelFixture f;
        f.writeIni(bytes);
        f.list.Load_Config();
        QCOMPARE(lists(f.ui()).first(), nodes);
        QCOMPARE(readBytes(f.iniPath), bytes);
    }

    void rebuildRequestedDuringRebuildIsQueued()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        QStringList seenWhileOpen;
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            f.writeIni(section("001A2B3C4D5E", "1", "STUDIO") + section("001A2B3C4D5F", "2", "TX"));
            f.list.Load_Config();
            seenWhileOpen = lists(ui) << QString::number(f.list.isRebuilding());
        };

        f.list.Load_Config();

        QCOMPARE(seenWhileOpen, kEmptyLists + QStringList{QStringLiteral("1")});
        QVERIFY(!f.list.isRebuilding());
        QCOMPARE(f.dialogs.texts(), QStringList{kMissingText});
        QCOMPARE(lists(ui), QStringList({QStringLiteral("STUDIO [00:1A:2B:3C:4D:5E]|"
                                                        "TX [00:1A:2B:3C:4D:5F]"),
                                         QStringLiteral("<None>|STUDIO [00:1A:2B:3C:4D:5E]"),
                                         QStringLiteral("001A2B3C4D5E|001A2B3C4D5F"),
                                         QStringLiteral("Select element: (2 items)")}));
    }

    // Also when the tree holds the keyboard focus (a refresh by its shortcut,
    // or a feedback arriving while the operator works in the tree).
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
        QCOMPARE(ui.lblElementType->caption(), QStringLiteral("ENCODER"));
        f.panel.ClearPropertiesPanel();

        f.list.Load_Config();
        QCoreApplication::processEvents();

        QCOMPARE(ui.lblElementType->caption(), QStringLiteral("-"));
        QCOMPARE(ui.TreeView1->currentItem(), nullptr);
        QVERIFY(f.dialogs.boxes.isEmpty());
    }

    void refreshClearsThePanel_data()
    {
        QTest::addColumn<bool>("deleted");
        addRow("unchanged database", false);
        addRow("database deleted", true);
    }
    void refreshClearsThePanel()
    {
        QFETCH(bool, deleted);
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        const QByteArray bytes =
            section("001A2B3C4D5E", "1", "STUDIO") + "INPUT=0\r\nTYPE=0\r\nTX=0\r\n";
        f.writeIni(bytes);
        f.list.Load_Config();
        const QStringList listed = lists(ui);
        f.selection.SelectElement(QStringLiteral("00:1A:2B:3C:4D:5E"));
        QCOMPARE(ui.lblElementType->caption(), QStringLiteral("ENCODER"));
        if (deleted)
            f.removeIni();

        f.list.RefreshElementList();

        QCOMPARE(f.dialogs.texts(), deleted ? QStringList{kMissingText} : QStringList());
        QCOMPARE(lists(ui), deleted ? kEmptyLists : listed);
        QCOMPARE(ui.lblElementType->caption() + ui.lblElementMAC->caption(), QStringLiteral("--"));
        QVERIFY(ui.txtElementName->text().isEmpty());
        QCOMPARE(readBytes(f.iniPath), deleted ? kNoFile : bytes);
    }
};

QTEST_MAIN(ElementListTest)
#include "tst_ElementList.moc"
