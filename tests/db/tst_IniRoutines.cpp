#include <QtTest>

#include <QFile>
#include <QTemporaryDir>

#include "FileBytes.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"

using nms::IniRoutines;
using nms::PrivateProfileStore;

using namespace nms::test;

namespace {

QString macName(int i)
{
    return QString::number(0x001A2B000000LL + i, 16).toUpper().rightJustified(12, QLatin1Char('0'));
}

QByteArray sections(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += "[" + macName(i).toLatin1() + "]\nROLE=1\n";
    return bytes;
}

QStringList names(int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << macName(i);
    return list;
}

QByteArray sectionWithKeys(int count)
{
    QByteArray bytes("[S]\n");
    for (int i = 0; i < count; ++i)
        bytes += "K" + QByteArray::number(i) + "=" + QByteArray::number(i) + "\n";
    return bytes;
}

} // namespace

class IniRoutinesTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_path;
    PrivateProfileStore* m_store = nullptr;
    IniRoutines* m_ini = nullptr;

    void prepare(const QByteArray& bytes)
    {
        if (bytes != kNoFile)
            writeBytes(m_path, bytes);
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("nms.ini"));
        QFile::remove(m_path);
        m_store = new PrivateProfileStore;
        m_ini = new IniRoutines(*m_store);
    }
    void cleanup()
    {
        delete m_ini;
        delete m_store;
        QFile::remove(m_path);
    }

    void readFromIni_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("defaultValue");
        QTest::addColumn<QString>("expected");
        const QByteArray record("[001A2B3C4D5E]\nNAME=STUDIO          \nROLE=1\nVER=3.4\n");
        QTest::newRow("key in lower case finds the upper-case line")
            << record << "001A2B3C4D5E"
            << "name"
            << "" << QStringLiteral("STUDIO");
        QTest::newRow("key in upper case too") << record << "001A2B3C4D5E"
                                               << "ROLE"
                                               << "" << QStringLiteral("1");
        QTest::newRow("absent key gives the default") << record << "001A2B3C4D5E"
                                                      << "ver2"
                                                      << "2" << QStringLiteral("2");
        QTest::newRow("absent key gives the empty default") << record << "001A2B3C4D5E"
                                                            << "gw"
                                                            << "" << QString();
        QTest::newRow("missing file") << kNoFile << "001A2B3C4D5E"
                                      << "name"
                                      << "x" << QStringLiteral("x");
        QTest::newRow("749 characters at most")
            << QByteArray("[S]\nK=" + QByteArray(2000, 'q') + "\n") << "S"
            << "k"
            << "" << QString(749, QLatin1Char('q'));
    }
    void readFromIni()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, defaultValue);
        QFETCH(QString, expected);
        prepare(file);
        const QString value = m_ini->ReadFromINI(section, key, m_path, defaultValue);
        QCOMPARE(value, expected);
        QVERIFY(!value.contains(QChar(0)));
        QCOMPARE(readBytes(m_path), file);
    }

    void writeToIniStoresTheKeyUpperCased_data()
    {
        QTest::addColumn<QStringList>("keys"); // written with values "0", "1", ...
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("plain keys") << QStringList{QStringLiteral("name"), QStringLiteral("ip")}
                                    << QByteArray("[S]\nNAME=0\nIP=1\n");
        QTest::newRow("Latin-1 letter")
            << QStringList{QString::fromUtf8("caf\u00e9")} << QByteArray("[S]\nCAF\xC9=0\n");
        // Their upper case is no single Latin-1 letter: they stay as they
        // are, so each reads back and neither takes the other's line.
        QTest::newRow("y diaeresis and micro sign stay apart")
            << QStringList{QString::fromUtf8("\u00ff"), QString::fromUtf8("\u00b5")}
            << QByteArray("[S]\n\xFF=0\n\xB5=1\n");
        QTest::newRow("sharp s stays apart from SS")
            << QStringList{QString::fromUtf8("stra\u00dfe"), QStringLiteral("strasse")}
            << QByteArray("[S]\nSTRA\xDF"
                          "E=0\nSTRASSE=1\n");
    }
    void writeToIniStoresTheKeyUpperCased()
    {
        QFETCH(QStringList, keys);
        QFETCH(QByteArray, after);
        for (int i = 0; i < keys.size(); ++i)
            QVERIFY(m_ini->WriteToINI(QStringLiteral("S"), keys[i], QString::number(i), m_path));
        QCOMPARE(readBytes(m_path), after);
        for (int i = 0; i < keys.size(); ++i)
            QCOMPARE(m_ini->ReadFromINI(QStringLiteral("S"), keys[i], m_path), QString::number(i));
    }

    void writeToIniReplacesInPlace()
    {
        prepare("[A]\nNAME=X\nIP=1\n[B]\nNAME=Y\n");
        QVERIFY(m_ini->WriteToINI(QStringLiteral("a"), QStringLiteral("name"), QStringLiteral("Z"),
                                  m_path));
        QCOMPARE(readBytes(m_path), QByteArray("[A]\nNAME=Z\nIP=1\n[B]\nNAME=Y\n"));
    }

    void writeKeysToIniGivesTheFileOfSingleWrites_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("missing file") << kNoFile;
        QTest::newRow("record present, keys mixed case")
            << QByteArray("[001A2B3C4D5E]\nname=OLD\nRole=2\n[001A2B3C4D5F]\nNAME=X\n");
        QTest::newRow("CRLF file with comments") << QByteArray("; db\r\n[A]\r\nX=1\r\n");
    }
    void writeKeysToIniGivesTheFileOfSingleWrites()
    {
        QFETCH(QByteArray, before);
        const QList<std::pair<QString, QString>> record{
            {QStringLiteral("name"), QStringLiteral("STUDIO          ")},
            {QStringLiteral("ip"), QStringLiteral("198.18.0.9")},
            {QStringLiteral("role"), QStringLiteral("1")},
            {QStringLiteral("sn"), QStringLiteral("123")},
            {QStringLiteral("name"), QStringLiteral("SECOND          ")}};
        const QString single = m_dir.filePath(QStringLiteral("single.ini"));
        QFile::remove(single);
        if (before != kNoFile)
            writeBytes(single, before);
        for (const auto& [key, value] : record)
            QVERIFY(m_ini->WriteToINI(QStringLiteral("001A2B3C4D5E"), key, value, single));

        prepare(before);
        QVERIFY(m_ini->WriteKeysToINI(QStringLiteral("001A2B3C4D5E"), record, m_path));
        QCOMPARE(readBytes(m_path), readBytes(single));
        QFile::remove(single);
    }

    void writeToIniReportsFailure()
    {
        QVERIFY(QDir().mkdir(m_path)); // cannot be read as a file
        QVERIFY(!m_ini->WriteToINI(QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("1"),
                                   m_path));
        QVERIFY(QFileInfo(m_path).isDir());
        QDir().rmdir(m_path);
    }

    void deleteIniSection()
    {
        prepare("[A]\nX=1\n[B]\nY=2\n");
        QVERIFY(m_ini->DeleteIniSection(QStringLiteral("a"), m_path));
        QCOMPARE(readBytes(m_path), QByteArray("[B]\nY=2\n"));
        QCOMPARE(m_ini->ReadFromINI(QStringLiteral("A"), QStringLiteral("x"), m_path,
                                    QStringLiteral("d")),
                 QStringLiteral("d"));
        QCOMPARE(m_ini->GetSectionKeyCount(QStringLiteral("A"), m_path), qint16(0));
    }

    void deleteIniKeyPassesTheKeyUnchanged()
    {
        prepare("[A]\nx=1\nY=2\n");
        QVERIFY(m_ini->DeleteIniKey(QStringLiteral("A"), QStringLiteral("X"), m_path));
        QCOMPARE(readBytes(m_path), QByteArray("[A]\nY=2\n"));
    }

    void checkIfIniKeyExists_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("exists");
        QTest::newRow("present") << QByteArray("[S]\nK=v\n") << "k" << true;
        QTest::newRow("empty value") << QByteArray("[S]\nK=\n") << "k" << true;
        QTest::newRow("value equal to a default") << QByteArray("[S]\nK=A\n") << "k" << true;
        QTest::newRow("absent") << QByteArray("[S]\nK=v\n") << "j" << false;
        QTest::newRow("missing file") << kNoFile << "k" << false;
    }
    void checkIfIniKeyExists()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, key);
        QFETCH(bool, exists);
        prepare(file);
        QCOMPARE(m_ini->CheckIfIniKeyExists(QStringLiteral("S"), key, m_path), exists);
    }

    void checkIfIniSectionExists_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("exists");
        QTest::newRow("with a line") << QByteArray("[S]\nK=v\n") << true;
        QTest::newRow("without lines counts as absent") << QByteArray("[S]\n[T]\nK=v\n") << false;
        QTest::newRow("absent") << QByteArray("[T]\nK=v\n") << false;
        QTest::newRow("missing file") << kNoFile << false;
    }
    void checkIfIniSectionExists()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, exists);
        prepare(file);
        QCOMPARE(m_ini->CheckIfIniSectionExists(QStringLiteral("s"), m_path), exists);
    }

    void getLongFromIni_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("expected");
        QTest::newRow("number") << QByteArray("[S]\nSN=123456\n") << 123456;
        QTest::newRow("negative") << QByteArray("[S]\nSN=-40\n") << -40;
        QTest::newRow("absent gives the default") << QByteArray("[S]\n") << 77;
        QTest::newRow("text gives 0") << QByteArray("[S]\nSN=abc\n") << 0;
    }
    void getLongFromIni()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, expected);
        prepare(file);
        QCOMPARE(m_ini->GetLongFromINI(QStringLiteral("S"), QStringLiteral("sn"), m_path, 77),
                 expected);
    }

    void renameIniKey_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("newKey");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("moves the value to the end") << QByteArray("[S]\nA=1\nB=2\n") << "a"
                                                    << "c" << QByteArray("[S]\nB=2\nC=1\n");
        QTest::newRow("absent key: nothing") << QByteArray("[S]\nA=1\n") << "z"
                                             << "c" << QByteArray("[S]\nA=1\n");
        QTest::newRow("new name differing only in case keeps the key")
            << QByteArray("[S]\nA=1\n") << "A"
            << "a" << QByteArray("[S]\nA=1\n");
        QTest::newRow("new name the store folds to the same keeps the key")
            << QByteArray("[S]\nA B=1\n") << "a b"
            << "a\nb" << QByteArray("[S]\nA B=1\n");
        QTest::newRow("value longer than 749 characters copied whole")
            << QByteArray("[S]\nA=" + QByteArray(800, 'v') + "\n") << "a"
            << "b" << QByteArray("[S]\nB=" + QByteArray(800, 'v') + "\n");
        QTest::newRow("duplicate key: its first value, no copy left behind")
            << QByteArray("[S]\nA=1\nA=2\n") << "a"
            << "b" << QByteArray("[S]\nB=1\n");
    }
    void renameIniKey()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, key);
        QFETCH(QString, newKey);
        QFETCH(QByteArray, after);
        prepare(before);
        QVERIFY(m_ini->RenameIniKey(QStringLiteral("S"), key, newKey, m_path));
        QCOMPARE(readBytes(m_path), after);
    }

    void renameIniSection_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("newSection");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("keys copied upper-cased, old section deleted")
            << QByteArray("[S]\nname=X\nIp=1\n[T]\nK=v\n") << "S"
            << "N" << QByteArray("[T]\nK=v\n[N]\nNAME=X\nIP=1\n");
        QTest::newRow("value holding equals copied whole") << QByteArray("[S]\nK=a=b=c\n") << "S"
                                                           << "N" << QByteArray("[N]\nK=a=b=c\n");
        QTest::newRow("same name in another case: nothing") << QByteArray("[S]\nK=v\n") << "S"
                                                            << "s" << QByteArray("[S]\nK=v\n");
        QTest::newRow("same name once folded by the store: nothing")
            << QByteArray("[a b]\nK=v\n") << "a b"
            << "a\nb" << QByteArray("[a b]\nK=v\n");
        QTest::newRow("same name but for a NUL at its end: nothing")
            << QByteArray("[S]\nK=v\n") << "S" << QString::fromLatin1("S\0", 2)
            << QByteArray("[S]\nK=v\n");
        QTest::newRow("duplicate key copied as a read returns it")
            << QByteArray("[S]\nK=1\nk=2\nL=3\n") << "S"
            << "N" << QByteArray("[N]\nK=1\nL=3\n");
        const QByteArray longValue(700, 'x');
        QTest::newRow("longer than 750 characters copied whole")
            << QByteArray("[S]\nA=" + longValue + "\nB=" + longValue + "\nC=3\n") << "S"
            << "N" << QByteArray("[N]\nA=" + longValue + "\nB=" + longValue + "\nC=3\n");
    }
    void renameIniSection()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, newSection);
        QFETCH(QByteArray, after);
        prepare(before);
        QVERIFY(m_ini->RenameIniSection(section, newSection, m_path));
        QCOMPARE(readBytes(m_path), after);
    }

    void loadIniSectionsLB_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("three in file order")
            << QByteArray("[B]\nX=1\n[A]\n[C]\nY=2\n")
            << QStringList{QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("C")};
        QTest::newRow("missing file") << kNoFile << QStringList();
        QTest::newRow("empty file") << QByteArray() << QStringList();
        QTest::newRow("58 names, all whole") << sections(58) << names(58);
        QTest::newRow("1000 names") << sections(1000) << names(1000);
        QTest::newRow("duplicates as they stand")
            << QByteArray("[A]\n[b]\n[a]\n")
            << QStringList{QStringLiteral("A"), QStringLiteral("b"), QStringLiteral("a")};
        QTest::newRow("an empty name does not end the list")
            << QByteArray("[A]\n[]\n[B]\n")
            << QStringList{QStringLiteral("A"), QStringLiteral("B")};
    }
    void loadIniSectionsLB()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, expected);
        prepare(file);
        QStringList list{QStringLiteral("kept")};
        m_ini->LoadIniSectionsLB(list, m_path);
        QCOMPARE(list, QStringList{QStringLiteral("kept")} + expected);
    }

    void loadIniSectionsArray_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("three") << QByteArray("[B]\n[A]\n[C]\n")
                               << QStringList{QStringLiteral("B"), QStringLiteral("A"),
                                              QStringLiteral("C")};
        QTest::newRow("missing file") << kNoFile << QStringList();
        QTest::newRow("no empty elements") << QByteArray("[A]\n[]\n[B]\n")
                                           << QStringList{QStringLiteral("A"), QStringLiteral("B")};
        QTest::newRow("a name holding NUL is one name")
            << QByteArray("[a\0b]\n[C]\n", 11)
            << QStringList{QStringLiteral("a b"), QStringLiteral("C")};
        // 1024 characters hold 78 names of 12 and a part of the 79th, which
        // is left out.
        QTest::newRow("cut by the 1024 buffer") << sections(100) << names(78);
    }
    void loadIniSectionsArray()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, expected);
        prepare(file);
        QCOMPARE(m_ini->LoadIniSectionsArray(m_path), expected);
    }

    void loadIniSectionKeysLB()
    {
        prepare("[S]\nname=X\n;c\nIP=1\nbare\n=v\n[T]\nK=1\n");
        QStringList list{QStringLiteral("kept")};
        m_ini->LoadIniSectionKeysLB(QStringLiteral("s"), list, m_path);
        QCOMPARE(list,
                 (QStringList{QStringLiteral("kept"), QStringLiteral("name"), QStringLiteral("IP"),
                              QStringLiteral("bare"), QStringLiteral("")}));
    }

    void getSectionKeyCount_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<int>("expected");
        QTest::newRow("13 keys") << sectionWithKeys(13) << "S" << 13;
        QTest::newRow("17 keys") << sectionWithKeys(17) << "S" << 17;
        QTest::newRow("18 keys") << sectionWithKeys(18) << "S" << 18;
        QTest::newRow("blank and comment lines not counted")
            << QByteArray("[S]\nA=1\n\n;c\nB=2\n") << "S" << 2;
        QTest::newRow("missing section") << sectionWithKeys(3) << "T" << 0;
        QTest::newRow("missing file") << kNoFile << "S" << 0;
        QTest::newRow("a value holding NUL is one key")
            << QByteArray("[S]\nA=x\0y\nB=1\n", 14) << "S" << 2;
        // Only what fits in 750 characters is counted; the last entry may be
        // a fragment.
        const QByteArray longValue(300, 'x');
        QTest::newRow("cut by the 750 buffer")
            << QByteArray("[S]\nA=" + longValue + "\nB=" + longValue + "\nC=" + longValue +
                          "\nD=1\n")
            << "S" << 3;
    }
    void getSectionKeyCount()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(int, expected);
        prepare(file);
        QCOMPARE(m_ini->GetSectionKeyCount(section, m_path), qint16(expected));
    }

    void writeIsSeenByTheVeryNextRead()
    {
        for (int i = 0; i < 20; ++i) {
            const QString value = QString::number(i);
            QVERIFY(m_ini->WriteToINI(QStringLiteral("A"), QStringLiteral("att"), value, m_path));
            QCOMPARE(m_ini->ReadFromINI(QStringLiteral("A"), QStringLiteral("att"), m_path), value);
        }
    }
};

QTEST_GUILESS_MAIN(IniRoutinesTest)
#include "tst_IniRoutines.moc"
