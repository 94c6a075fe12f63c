#include <QtTest>

#include <QFile>
#include <QTemporaryDir>

#include "FileBytes.h"
#include "IniSamples.h"
#include "TableColumns.h"
#include "TableRow.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"

using nms::IniRoutines;
using nms::PrivateProfileStore;

using namespace nms::test;

namespace {

// A file before the call, the section and key the call names, the file after.
using ChangeColumns = TableColumns<QByteArray, QString, QString, QByteArray>;
// As ChangeColumns, with the new name before the file after.
using RenameColumns = TableColumns<QByteArray, QString, QString, QString, QByteArray>;
// A file, the name asked about, what the call returns.
template <typename Result> using QueryColumns = TableColumns<QByteArray, QString, Result>;

} // namespace

class IniRoutinesTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_path;
    PrivateProfileStore m_store;
    IniRoutines m_ini{m_store};

    void prepare(const QByteArray& bytes)
    {
        QFile::remove(m_path);
        if (bytes != kNoFile)
            writeBytes(m_path, bytes);
    }

private slots:
    void initTestCase() { m_path = m_dir.filePath(QStringLiteral("nms.ini")); }
    void init() { QFile::remove(m_path); }

    void readFromIni_data()
    {
        QueryColumns<QString>::add();
        const QByteArray record("[S]\nNAME=STUDIO          \nROLE=1\n");
        addRow("key in lower case finds the upper-case line", record, "name", "STUDIO");
        addRow("absent key gives the default", record, "ver2", "<default>");
        addRow("missing file", kNoFile, "name", "<default>");
        addRow("749 characters at most", "[S]\nK=" + QByteArray(2000, 'q') + "\n", "k",
               QString(749, QLatin1Char('q')));
    }
    void readFromIni()
    {
        const auto [file, key, expected] = QueryColumns<QString>::fetch();
        prepare(file);
        QCOMPARE(m_ini.ReadFromINI(QStringLiteral("S"), key, m_path, QStringLiteral("<default>")),
                 expected);
        QCOMPARE(readBytes(m_path), file);
    }

    // Keys are written upper-cased, but a letter whose upper case is no
    // single Latin-1 letter stays as it is, so each key reads back and none
    // takes another's line.
    void writeToIniStoresTheKeyUpperCased_data()
    {
        TableColumns<QStringList, QByteArray>::add(); // keys, written with "0", "1", ...
        addRow("plain keys", QStringList{QStringLiteral("name"), QStringLiteral("ip")},
               QByteArray("[S]\nNAME=0\nIP=1\n"));
        addRow("Latin-1 letter", QStringList{QString::fromUtf8("caf\u00e9")},
               QByteArray("[S]\nCAF\xC9=0\n"));
        addRow("y diaeresis and micro sign stay apart",
               QStringList{QString::fromUtf8("\u00ff"), QString::fromUtf8("\u00b5")},
               QByteArray("[S]\n\xFF=0\n\xB5=1\n"));
        addRow("sharp s stays apart from SS",
               QStringList{QString::fromUtf8("stra\u00dfe"), QStringLiteral("strasse")},
               QByteArray("[S]\nSTRA\xDF"
                          "E=0\nSTRASSE=1\n"));
    }
    void writeToIniStoresTheKeyUpperCased()
    {
        const auto [keys, after] = TableColumns<QStringList, QByteArray>::fetch();
        for (int i = 0; i < keys.size(); ++i)
            QVERIFY(m_ini.WriteToINI(QStringLiteral("S"), keys[i], QString::number(i), m_path));
        QCOMPARE(readBytes(m_path), after);
        for (int i = 0; i < keys.size(); ++i)
            QCOMPARE(m_ini.ReadFromINI(QStringLiteral("S"), keys[i], m_path), QString::number(i));
    }

    void writeKeysToIniGivesTheFileOfSingleWrites_data()
    {
        TableColumns<QByteArray>::add();
        addRow("missing file", kNoFile);
        addRow("record present, keys mixed case",
               QByteArray("[001A2B3C4D5E]\nname=OLD\nRole=2\n[001A2B3C4D5F]\nNAME=X\n"));
        addRow("CRLF file with comments", QByteArray("; db\r\n[A]\r\nX=1\r\n"));
    }
    void writeKeysToIniGivesTheFileOfSingleWrites()
    {
        const auto [before] = TableColumns<QByteArray>::fetch();
        const QList<std::pair<QString, QString>> record{
            {QStringLiteral("name"), QStringLiteral("STUDIO          ")},
            {QStringLiteral("ip"), QStringLiteral("198.18.0.9")},
            {QStringLiteral("role"), QStringLiteral("1")},
            {QStringLiteral("sn"), QStringLiteral("123")},
            {QStringLiteral("name"), QStringLiteral("SECOND          ")}};
        const QString section = QStringLiteral("001A2B3C4D5E");
        prepare(before);
        for (const auto& [key, value] : record)
            QVERIFY(m_ini.WriteToINI(section, key, value, m_path));
        const QByteArray single = readBytes(m_path);
        prepare(before);
        QVERIFY(m_ini.WriteKeysToINI(section, record, m_path));
        QCOMPARE(readBytes(m_path), single);
    }

    void writeToIniReportsFailure()
    {
        QVERIFY(QDir().mkdir(m_path)); // cannot be read as a file
        QVERIFY(!m_ini.WriteToINI(QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("1"),
                                  m_path));
        QVERIFY(QFileInfo(m_path).isDir());
        QDir().rmdir(m_path);
    }

    // An empty key deletes the section; a key is passed on as given, and
    // every copy of it goes.
    void deleteFromIni_data()
    {
        ChangeColumns::add();
        const QByteArray before("[A]\nx=1\nY=2\nX=3\n[B]\nY=2\n");
        addRow("section", before, "a", "", QByteArray("[B]\nY=2\n"));
        addRow("key in another case, every copy", before, "A", "X",
               QByteArray("[A]\nY=2\n[B]\nY=2\n"));
    }
    void deleteFromIni()
    {
        const auto [before, section, key, after] = ChangeColumns::fetch();
        prepare(before);
        QVERIFY(key.isEmpty() ? m_ini.DeleteIniSection(section, m_path)
                              : m_ini.DeleteIniKey(section, key, m_path));
        QCOMPARE(readBytes(m_path), after);
    }

    // An empty key asks for the section, which counts only with a line.
    void checkIfExists_data()
    {
        QueryColumns<bool>::add();
        const QByteArray record("[S]\nK=v\n");
        addRow("key present", record, "k", true);
        addRow("key with empty value", QByteArray("[S]\nK=\n"), "k", true);
        addRow("key with a value equal to a default", QByteArray("[S]\nK=A\n"), "k", true);
        addRow("key absent", record, "j", false);
        addRow("key in a missing file", kNoFile, "k", false);
        addRow("section with a line", record, "", true);
        addRow("section without lines counts as absent", QByteArray("[S]\n[T]\nK=v\n"), "", false);
        addRow("section absent", QByteArray("[T]\nK=v\n"), "", false);
        addRow("section in a missing file", kNoFile, "", false);
    }
    void checkIfExists()
    {
        const auto [file, key, exists] = QueryColumns<bool>::fetch();
        prepare(file);
        QCOMPARE(key.isEmpty() ? m_ini.CheckIfIniSectionExists(QStringLiteral("s"), m_path)
                               : m_ini.CheckIfIniKeyExists(QStringLiteral("S"), key, m_path),
                 exists);
    }

    // The store's number reading has its own table; here the key and the
    // default are passed on.
    void getLongFromIni_data()
    {
        QueryColumns<int>::add();
        addRow("number", QByteArray("[S]\nSN=123456\n"), "sn", 123456);
        addRow("absent gives the default", QByteArray("[S]\nSN=1\n"), "ip", 77);
    }
    void getLongFromIni()
    {
        const auto [file, key, expected] = QueryColumns<int>::fetch();
        prepare(file);
        QCOMPARE(m_ini.GetLongFromINI(QStringLiteral("S"), key, m_path, 77), expected);
    }

    // Both renames compare names as the store folds them, and copy whole
    // values. An empty key renames the section.
    void rename_data()
    {
        RenameColumns::add();
        using B = QByteArray;
        addRow("key moves its value to the end", B("[S]\nA=1\nB=2\n"), "S", "a", "c",
               B("[S]\nB=2\nC=1\n"));
        addRow("absent key: nothing", B("[S]\nA=1\n"), "S", "z", "c", B("[S]\nA=1\n"));
        addRow("key in another case: nothing", B("[S]\nA=1\n"), "S", "A", "a", B("[S]\nA=1\n"));
        addRow("key the store folds to the same: nothing", B("[S]\nA B=1\n"), "S", "a b", "a\nb",
               B("[S]\nA B=1\n"));
        addRow("key value longer than 749 characters copied whole", "[S]\nA=" + B(800, 'v') + "\n",
               "S", "a", "b", "[S]\nB=" + B(800, 'v') + "\n");
        addRow("duplicate key: its first value, no copy left behind", B("[S]\nA=1\nA=2\n"), "S",
               "a", "b", B("[S]\nB=1\n"));
        addRow("section: keys copied upper-cased, old one deleted",
               B("[S]\nname=X\nIp=1\n[T]\nK=v\n"), "S", "", "N",
               B("[T]\nK=v\n[N]\nNAME=X\nIP=1\n"));
        addRow("section: value holding equals copied whole", B("[S]\nK=a=b=c\n"), "S", "", "N",
               B("[N]\nK=a=b=c\n"));
        addRow("section in another case: nothing", B("[S]\nK=v\n"), "S", "", "s", B("[S]\nK=v\n"));
        addRow("section the store folds to the same: nothing", B("[a b]\nK=v\n"), "a b", "", "a\nb",
               B("[a b]\nK=v\n"));
        addRow("section but for a NUL at its end: nothing", B("[S]\nK=v\n"), "S", "",
               QString::fromLatin1("S\0", 2), B("[S]\nK=v\n"));
        addRow("section: duplicate key copied as a read returns it", B("[S]\nK=1\nk=2\nL=3\n"), "S",
               "", "N", B("[N]\nK=1\nL=3\n"));
        const B longValue(700, 'x');
        addRow("section longer than 750 characters copied whole",
               "[S]\nA=" + longValue + "\nB=" + longValue + "\nC=3\n", "S", "", "N",
               "[N]\nA=" + longValue + "\nB=" + longValue + "\nC=3\n");
    }
    void rename()
    {
        const auto [before, section, key, newName, after] = RenameColumns::fetch();
        prepare(before);
        QVERIFY(key.isEmpty() ? m_ini.RenameIniSection(section, newName, m_path)
                              : m_ini.RenameIniKey(section, key, newName, m_path));
        QCOMPARE(readBytes(m_path), after);
    }

    // The list box takes every name; the array only what its buffer of 1024
    // characters holds whole (78 names of 12). Neither takes an empty name.
    void loadIniSections_data()
    {
        TableColumns<QByteArray, QStringList, QStringList>::add(); // file, list box, array
        const QStringList bac{QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("C")};
        const QStringList ab{QStringLiteral("A"), QStringLiteral("B")};
        const QStringList aC{QStringLiteral("a b"), QStringLiteral("C")};
        addRow("three in file order", QByteArray("[B]\nX=1\n[A]\n[C]\nY=2\n"), bac, bac);
        addRow("missing file", kNoFile, QStringList(), QStringList());
        addRow("empty file", QByteArray(), QStringList(), QStringList());
        addRow("an empty name does not end the list", QByteArray("[A]\n[]\n[B]\n"), ab, ab);
        addRow("a name holding NUL is one name", QByteArray("[a\0b]\n[C]\n", 11), aC, aC);
        addRow("58 names", numberedSections(58), numberedNames(58), numberedNames(58));
        addRow("1000 names", numberedSections(1000), numberedNames(1000), numberedNames(78));
    }
    void loadIniSections()
    {
        const auto [file, listBox, array] =
            TableColumns<QByteArray, QStringList, QStringList>::fetch();
        prepare(file);
        QStringList list{QStringLiteral("kept")};
        m_ini.LoadIniSectionsLB(list, m_path);
        QCOMPARE(list, QStringList{QStringLiteral("kept")} + listBox);
        QCOMPARE(m_ini.LoadIniSectionsArray(m_path), array);
    }

    void loadIniSectionKeysLB()
    {
        prepare("[S]\nname=X\n;c\nIP=1\nbare\n=v\n[T]\nK=1\n");
        QStringList list{QStringLiteral("kept")};
        m_ini.LoadIniSectionKeysLB(QStringLiteral("s"), list, m_path);
        QCOMPARE(list,
                 (QStringList{QStringLiteral("kept"), QStringLiteral("name"), QStringLiteral("IP"),
                              QStringLiteral("bare"), QStringLiteral("")}));
    }

    // Only what fits in 750 characters is counted; the last entry may be a
    // fragment.
    void getSectionKeyCount_data()
    {
        QueryColumns<int>::add();
        addRow("blank and comment lines not counted", QByteArray("[S]\nA=1\n\n;c\nB=2\n"), "S", 2);
        addRow("missing section", QByteArray("[S]\nA=1\n"), "T", 0);
        addRow("missing file", kNoFile, "S", 0);
        addRow("a value holding NUL is one key", QByteArray("[S]\nA=x\0y\nB=1\n", 14), "S", 2);
        const QByteArray longValue(300, 'x');
        addRow("cut by the 750 buffer",
               "[S]\nA=" + longValue + "\nB=" + longValue + "\nC=" + longValue + "\nD=1\n", "S", 3);
    }
    void getSectionKeyCount()
    {
        const auto [file, section, expected] = QueryColumns<int>::fetch();
        prepare(file);
        QCOMPARE(m_ini.GetSectionKeyCount(section, m_path), qint16(expected));
    }
};

QTEST_GUILESS_MAIN(IniRoutinesTest)
#include "tst_IniRoutines.moc"
