#include <QtTest>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "FileBytes.h"
#include "db/AtomicFileWriter.h"
#include "db/PrivateProfileStore.h"

using nms::PrivateProfileStore;

using namespace nms::test;

namespace {

QByteArray sectionsOf12CharNames(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += "[" +
                 QByteArray::number(0x001A2B000000LL + i, 16).toUpper().rightJustified(12, '0') +
                 "]\nROLE=1\n";
    return bytes;
}

QString buffer(int size, QChar fill = QChar(0))
{
    return QString(size, fill);
}

bool isRoot()
{
    return ::geteuid() == 0;
}

} // namespace

class PrivateProfileStoreTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_path;
    PrivateProfileStore* m_store = nullptr;

    void prepare(const QByteArray& bytes)
    {
        if (bytes != kNoFile)
            writeBytes(m_path, bytes);
    }

    QStringList directoryEntries() const
    {
        return QDir(m_dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("nms.ini"));
        QFile::remove(m_path);
        m_store = new PrivateProfileStore;
    }
    void cleanup()
    {
        delete m_store;
        m_store = nullptr;
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
        QDir(m_path).removeRecursively();
        QFile::remove(m_path);
    }

    void writeString_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("missing file is created")
            << kNoFile << "001A2B3C4D5E"
            << "NAME"
            << "STUDIO" << QByteArray("[001A2B3C4D5E]\nNAME=STUDIO\n");
        QTest::newRow("empty file") << QByteArray() << "A"
                                    << "X"
                                    << "1" << QByteArray("[A]\nX=1\n");
        QTest::newRow("new section after the last one")
            << QByteArray("[A]\nX=1\n") << "B"
            << "Y"
            << "2" << QByteArray("[A]\nX=1\n[B]\nY=2\n");
        QTest::newRow("new key at the end of its section")
            << QByteArray("[A]\nX=1\n\n[B]\nY=2\n") << "A"
            << "Z"
            << "3" << QByteArray("[A]\nX=1\nZ=3\n\n[B]\nY=2\n");
        QTest::newRow("new key after the header of an empty section")
            << QByteArray("[A]\n[B]\nY=2\n") << "a"
            << "X"
            << "1" << QByteArray("[A]\nX=1\n[B]\nY=2\n");
        QTest::newRow("replaced in place, names matched without case")
            << QByteArray("[abc]\nname=old\nip=1\n") << "ABC"
            << "NAME"
            << "new" << QByteArray("[abc]\nname=new\nip=1\n");
        QTest::newRow("other lines kept byte for byte")
            << QByteArray("  [A] ; note\n; comment\n\n x = 1 \nY=2\n\t\n") << "A"
            << "Y"
            << "3" << QByteArray("  [A] ; note\n; comment\n\n x = 1 \nY=3\n\t\n");
        QTest::newRow("blanks of a padded name are written")
            << QByteArray() << "S"
            << "NAME"
            << "STUDIO          " << QByteArray("[S]\nNAME=STUDIO          \n");
        QTest::newRow("CR LF NUL in a value become blanks")
            << QByteArray("[S]\n") << "S"
            << "NAME" << QString::fromLatin1("A\r\n[EVIL]\nX=1\0B", 15)
            << QByteArray("[S]\nNAME=A  [EVIL] X=1 B\n");
        QTest::newRow("CR LF NUL in names become blanks")
            << QByteArray() << "S\n[T]" << QString::fromLatin1("K\0\rX", 4) << "v"
            << QByteArray("[S [T]]\nK  X=v\n");
        QTest::newRow("outside Latin-1 reads back as the question mark the file holds")
            << QByteArray("[A]\n") << "A"
            << "X" << QString::fromUtf8("\u0141odz") << QByteArray("[A]\nX=?odz\n");
        QTest::newRow("untouched CR CR LF line kept byte for byte")
            << QByteArray("[A]\nX=1\r\r\nY=2\n") << "A"
            << "Y"
            << "3" << QByteArray("[A]\nX=1\r\r\nY=3\n");
        QTest::newRow("untouched line keeps its own line end")
            << QByteArray("[A]\r\nX=1\nY=2\r\n") << "A"
            << "Y"
            << "3" << QByteArray("[A]\r\nX=1\nY=3\r\n");
        QTest::newRow("CRLF file keeps CRLF") << QByteArray("[A]\r\nX=1\r\n") << "A"
                                              << "Y"
                                              << "2" << QByteArray("[A]\r\nX=1\r\nY=2\r\n");
        QTest::newRow("mixed line ends follow the first line")
            << QByteArray("[A]\r\nX=1\nW=0\r\n") << "A"
            << "X"
            << "2" << QByteArray("[A]\r\nX=2\r\nW=0\r\n");
        QTest::newRow("missing final newline is added") << QByteArray("[A]\nX=1") << "A"
                                                        << "Y"
                                                        << "2" << QByteArray("[A]\nX=1\nY=2\n");
        QTest::newRow("byte-order mark skipped and kept")
            << QByteArray("\xEF\xBB\xBF[A]\nX=1\n") << "A"
            << "X"
            << "2" << QByteArray("\xEF\xBB\xBF[A]\nX=2\n");
        QTest::newRow("duplicate section: the first is written")
            << QByteArray("[A]\nX=1\n[B]\n[a]\nX=9\n") << "A"
            << "X"
            << "2" << QByteArray("[A]\nX=2\n[B]\n[a]\nX=9\n");
        QTest::newRow("duplicate section: a new key goes to the first")
            << QByteArray("[A]\nX=1\n[a]\nX=9\n") << "A"
            << "Y"
            << "2" << QByteArray("[A]\nX=1\nY=2\n[a]\nX=9\n");
        QTest::newRow("duplicate key: the first is written")
            << QByteArray("[A]\nX=1\nX=2\n") << "A"
            << "X"
            << "3" << QByteArray("[A]\nX=3\nX=2\n");
        QTest::newRow("keys before any section are kept, never addressed")
            << QByteArray("X=1\n[A]\n") << "A"
            << "X"
            << "2" << QByteArray("X=1\n[A]\nX=2\n");
        QTest::newRow("line without equals kept") << QByteArray("[A]\ngarbage\nX=1\n") << "A"
                                                  << "X"
                                                  << "2" << QByteArray("[A]\ngarbage\nX=2\n");
        QTest::newRow("value holding equals") << QByteArray() << "A"
                                              << "X"
                                              << "a=b" << QByteArray("[A]\nX=a=b\n");
        QTest::newRow("Latin-1 is one byte per character")
            << QByteArray() << QString::fromLatin1("\xC9") << "X"
            << QString::fromLatin1("caf\xE9\xA0") << QByteArray("[\xC9]\nX=caf\xE9\xA0\n");
        QTest::newRow("empty value") << QByteArray("[A]\nX=1\n") << "A"
                                     << "X"
                                     << "" << QByteArray("[A]\nX=\n");
        QTest::newRow("1 MB line kept")
            << QByteArray("[A]\n" + QByteArray(1 << 20, 'g') + "\nX=1\n") << "A"
            << "X"
            << "2" << QByteArray("[A]\n" + QByteArray(1 << 20, 'g') + "\nX=2\n");
        QByteArray many = sectionsOf12CharNames(1000);
        QByteArray manyAfter = many;
        manyAfter.replace("[001A2B0001F4]\nROLE=1\n", "[001A2B0001F4]\nROLE=1\nATT=20\n");
        QTest::newRow("one key into 1000 sections") << many << "001a2b0001f4"
                                                    << "ATT"
                                                    << "20" << manyAfter;
    }
    void writeString()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        prepare(before);
        QVERIFY(m_store->writeString(section, key, value, m_path));
        QCOMPARE(readBytes(m_path), after);
        QCOMPARE(directoryEntries(), QStringList{QStringLiteral("nms.ini")});
        // A read in the same run returns what a later run reads from the file.
        QString cached = buffer(750);
        cached.truncate(m_store->getString(section, key, QStringLiteral("<none>"), cached, m_path));
        PrivateProfileStore later;
        QString fromFile = buffer(750);
        fromFile.truncate(
            later.getString(section, key, QStringLiteral("<none>"), fromFile, m_path));
        QCOMPARE(cached, fromFile);
    }

    // A name that would not read back as given is never written: the file
    // stays as it was and the caller learns why.
    void refusedWrite_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        const QString s = QStringLiteral("S");
        QTest::newRow("key that reads as a header") << s << "[T]";
        QTest::newRow("key that opens a header") << s << "[T";
        QTest::newRow("key holding equals") << s << "a=b";
        QTest::newRow("key that reads as a comment") << s << ";K";
        QTest::newRow("key with a leading blank") << s << " K";
        QTest::newRow("key with a trailing line end") << s << "K\n";
        QTest::newRow("empty key") << s << "";
        QTest::newRow("key of blanks") << s << " \t";
        QTest::newRow("key outside Latin-1") << s << QString::fromUtf8("\u0101");
        QTest::newRow("empty section") << " "
                                       << "K";
        QTest::newRow("section outside Latin-1") << QString::fromUtf8("\u0141") << "K";
    }
    void refusedWrite()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        const QByteArray before("[S]\nK=1\n[T]\nK=2\n");
        prepare(before);
        QVERIFY(!m_store->writeString(section, key, QStringLiteral("x"), m_path));
        QVERIFY(!m_store->lastError().isEmpty());
        QVERIFY(!m_store->writeStrings(
            section, {{QStringLiteral("OK"), QStringLiteral("1")}, {key, QStringLiteral("x")}},
            m_path));
        QCOMPARE(readBytes(m_path), before);
        QString out = buffer(750);
        QCOMPARE(m_store->getString(QStringLiteral("T"), QStringLiteral("K"), QStringLiteral(""),
                                    out, m_path),
                 1);
        QCOMPARE(out.at(0), QLatin1Char('2'));
    }

    void injectedTextReadsBackAsOneValue()
    {
        QVERIFY(m_store->writeString(QStringLiteral("S"), QStringLiteral("NAME"),
                                     QStringLiteral("A\n[X]\nIP=1"), m_path));
        QString out = buffer(750);
        const int count = m_store->getString(QStringLiteral("S"), QStringLiteral("NAME"),
                                             QStringLiteral(""), out, m_path);
        QCOMPARE(out.left(count), QStringLiteral("A [X] IP=1"));
        QCOMPARE(m_store->sectionNames(m_path), QStringList{QStringLiteral("S")});
    }

    void writeOfTheSameValueLeavesTheFileAlone()
    {
        prepare("[A]\nX=1\n");
        struct stat before {};
        QCOMPARE(::stat(QFile::encodeName(m_path).constData(), &before), 0);
        QVERIFY(m_store->writeString(QStringLiteral("a"), QStringLiteral("x"), QStringLiteral("1"),
                                     m_path));
        struct stat after {};
        QCOMPARE(::stat(QFile::encodeName(m_path).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
    }

    void deleteKey_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("removes the key line") << QByteArray("[A]\nX=1\nY=2\n[B]\nX=3\n") << "a"
                                              << "x" << QByteArray("[A]\nY=2\n[B]\nX=3\n");
        QTest::newRow("removes a line without equals") << QByteArray("[A]\nX\nY=2\n") << "A"
                                                       << "X" << QByteArray("[A]\nY=2\n");
        QTest::newRow("absent key leaves the file") << QByteArray("[A]\r\nX=1") << "A"
                                                    << "Z" << QByteArray("[A]\r\nX=1");
        QTest::newRow("absent section leaves the file") << QByteArray("[A]\nX=1\n") << "B"
                                                        << "X" << QByteArray("[A]\nX=1\n");
        QTest::newRow("missing file is not created") << kNoFile << "A"
                                                     << "X" << kNoFile;
        QTest::newRow("every copy of the key goes")
            << QByteArray("[S]\r\nK=1\r\nk=2\r\nL=3\r\n[T]\r\nK=4\r\n") << "S"
            << "K" << QByteArray("[S]\r\nL=3\r\n[T]\r\nK=4\r\n");
    }
    void deleteKey()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QByteArray, after);
        prepare(before);
        QVERIFY(m_store->deleteKey(section, key, m_path));
        QCOMPARE(readBytes(m_path), after);
    }

    void deleteSection_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("removes header and every line")
            << QByteArray("[A]\nX=1\n[B]\nY=2\n; c\n\n[C]\nZ=3\n") << "b"
            << QByteArray("[A]\nX=1\n[C]\nZ=3\n");
        QTest::newRow("last section")
            << QByteArray("[A]\nX=1\n[B]\nY=2\n") << "B" << QByteArray("[A]\nX=1\n");
        QTest::newRow("every duplicate goes")
            << QByteArray("[A]\nX=1\n[B]\n[a]\nX=2\n") << "A" << QByteArray("[B]\n");
        QTest::newRow("absent section leaves the file")
            << QByteArray("[A]\nX=1") << "Q" << QByteArray("[A]\nX=1");
        QTest::newRow("missing file is not created") << kNoFile << "A" << kNoFile;
    }
    void deleteSection()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QByteArray, after);
        prepare(before);
        QVERIFY(m_store->deleteSection(section, m_path));
        QCOMPARE(readBytes(m_path), after);
    }

    void getString_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("defaultValue");
        QTest::addColumn<QString>("expected");

        const QByteArray record("[001A2B3C4D5E]\nNAME=STUDIO          \nIP= 198.18.0.1 \n");
        QTest::newRow("blanks around the value dropped") << record << "001A2B3C4D5E"
                                                         << "name"
                                                         << "" << QStringLiteral("STUDIO");
        QTest::newRow("names matched without case") << record << "001a2b3c4d5e"
                                                    << "Ip"
                                                    << "" << QStringLiteral("198.18.0.1");
        QTest::newRow("missing key gives the default exactly")
            << record << "001A2B3C4D5E"
            << "gw"
            << "  d  " << QStringLiteral("  d  ");
        QTest::newRow("missing key, empty default") << record << "001A2B3C4D5E"
                                                    << "gw"
                                                    << "" << QString();
        QTest::newRow("missing section") << record << "X"
                                         << "name"
                                         << "def" << QStringLiteral("def");
        QTest::newRow("missing file") << kNoFile << "A"
                                      << "X"
                                      << "def" << QStringLiteral("def");
        QTest::newRow("empty value is not the default") << QByteArray("[A]\nX=\n") << "A"
                                                        << "X"
                                                        << "def" << QString();
        QTest::newRow("line without equals has no value") << QByteArray("[A]\nX\n") << "A"
                                                          << "X"
                                                          << "def" << QStringLiteral("def");
        QTest::newRow("comment is no key") << QByteArray("[A]\n;X=1\n") << "A"
                                           << ";X"
                                           << "def" << QStringLiteral("def");
        QTest::newRow("key before any section unreachable") << QByteArray("X=1\n[A]\n") << ""
                                                            << "X"
                                                            << "def" << QStringLiteral("def");
        QTest::newRow("duplicate section reads the first")
            << QByteArray("[A]\nX=1\n[a]\nX=2\nY=3\n") << "A"
            << "Y"
            << "def" << QStringLiteral("def");
        QTest::newRow("CRLF line end is not part of the value")
            << QByteArray("[A]\r\nX=1\r\n") << "A"
            << "X"
            << "" << QStringLiteral("1");
        QTest::newRow("no final newline") << QByteArray("[A]\nX=1") << "A"
                                          << "X"
                                          << "" << QStringLiteral("1");
        QTest::newRow("byte-order mark skipped") << QByteArray("\xEF\xBB\xBF[A]\nX=1\n") << "A"
                                                 << "X"
                                                 << "" << QStringLiteral("1");
        QTest::newRow("NUL in a value reads as a blank") << QByteArray("[A]\nX=a\0b\n", 10) << "A"
                                                         << "X"
                                                         << "" << QStringLiteral("a b");
        QTest::newRow("non-breaking space kept") << QByteArray("[A]\nX=\xA0Y\xA0\n") << "A"
                                                 << "X"
                                                 << "" << QString::fromLatin1("\xA0Y\xA0");
        QTest::newRow("value cut at 749 characters")
            << QByteArray("[A]\nX=" + QByteArray(800, 'v') + "\n") << "A"
            << "X"
            << "" << QString(749, QLatin1Char('v'));
        QTest::newRow("default cut at 749 characters")
            << kNoFile << "A"
            << "X" << QString(800, QLatin1Char('d')) << QString(749, QLatin1Char('d'));
        QTest::newRow("1 MB line")
            << QByteArray("[A]\nX=" + QByteArray(1 << 20, 'z') + "\nY=2\n") << "A"
            << "Y"
            << "" << QStringLiteral("2");
        QTest::newRow("section header with trailing text")
            << QByteArray("[A] ; the studio\nX=1\n") << "A"
            << "X"
            << "" << QStringLiteral("1");
        QTest::newRow("section name holding a bracket") << QByteArray("[A]B]\nX=1\n") << "A]B"
                                                        << "X"
                                                        << "" << QStringLiteral("1");
    }
    void getString()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, defaultValue);
        QFETCH(QString, expected);
        prepare(file);
        QString out = buffer(750);
        const int count = m_store->getString(section, key, defaultValue, out, m_path);
        QCOMPARE(count, expected.size());
        QCOMPARE(out.left(count), expected);
        QCOMPARE(out.at(count), QChar(0));
        QCOMPARE(readBytes(m_path), file); // reading never writes
    }

    void getSection_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<int>("bufferSize");
        QTest::addColumn<int>("expectedCount");
        QTest::addColumn<QString>("expectedBuffer"); // what the call writes

        const QChar z(0);
        QTest::newRow("entries, blanks and comments skipped")
            << QByteArray("[A]\n X = 1 \n;c\n\nbare\nY=\n[B]\nZ=3\n") << "a" << 750 << 12
            << QStringLiteral("X=1") + z + QStringLiteral("bare") + z + QStringLiteral("Y=") + z +
                   z;
        QTest::newRow("missing section")
            << QByteArray("[A]\nX=1\n") << "B" << 750 << 0 << QString(2, z);
        QTest::newRow("empty section")
            << QByteArray("[A]\n[B]\n") << "A" << 750 << 0 << QString(2, z);
        QTest::newRow("missing file") << kNoFile << "A" << 750 << 0 << QString(2, z);
        QTest::newRow("cut to the buffer, ended by two zeros")
            << QByteArray("[A]\nAAAA=1\nBBBB=2\n") << "A" << 10 << 8
            << QStringLiteral("AAAA=1") + z + QStringLiteral("B") + z + z;
        QTest::newRow("exact fit")
            << QByteArray("[A]\nAAAA=1\nBBBB=2\n") << "A" << 15 << 14
            << QStringLiteral("AAAA=1") + z + QStringLiteral("BBBB=2") + z + z + z;
        QTest::newRow("NUL in a value is no separator")
            << QByteArray("[A]\nX=a\0b\nY=1\n", 14) << "A" << 750 << 10
            << QStringLiteral("X=a b") + z + QStringLiteral("Y=1") + z + z;
    }
    void getSection()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(int, bufferSize);
        QFETCH(int, expectedCount);
        QFETCH(QString, expectedBuffer);
        prepare(file);
        QString out = buffer(bufferSize, QLatin1Char('#'));
        const int count = m_store->getSection(section, out, m_path);
        QCOMPARE(count, expectedCount);
        QCOMPARE(out.left(expectedBuffer.size()), expectedBuffer.left(bufferSize));
    }

    void getSectionNames_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("bufferSize");
        QTest::addColumn<int>("expectedCount");
        QTest::addColumn<QStringList>("expectedPieces"); // up to the first empty one
        QTest::addColumn<bool>("expectedTruncated");

        QTest::newRow("three in file order")
            << QByteArray("[C]\nX=1\n[a]\n[B]\n") << 750 << 6
            << QStringList{QStringLiteral("C"), QStringLiteral("a"), QStringLiteral("B")} << false;
        QTest::newRow("duplicates as they stand")
            << QByteArray("[A]\n[b]\n[a]\n") << 750 << 6
            << QStringList{QStringLiteral("A"), QStringLiteral("b"), QStringLiteral("a")} << false;
        QTest::newRow("missing file") << kNoFile << 750 << 0 << QStringList() << false;
        QTest::newRow("NUL in a name is no separator")
            << QByteArray("[a\0b]\n[C]\n", 11) << 750 << 6
            << QStringList{QStringLiteral("a b"), QStringLiteral("C")} << false;
        QStringList fiftySeven;
        const QByteArray file = sectionsOf12CharNames(58);
        for (int i = 0; i < 57; ++i)
            fiftySeven << QString::number(0x001A2B000000LL + i, 16)
                              .toUpper()
                              .rightJustified(12, QLatin1Char('0'));
        QTest::newRow("58 names in 750: 57 whole and 7 characters")
            << file << 750 << 748
            << (QStringList(fiftySeven) << QString::number(0x001A2B000000LL + 57, 16)
                                               .toUpper()
                                               .rightJustified(12, QLatin1Char('0'))
                                               .left(7))
            << true;
    }
    void getSectionNames()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, bufferSize);
        QFETCH(int, expectedCount);
        QFETCH(QStringList, expectedPieces);
        QFETCH(bool, expectedTruncated);
        prepare(file);
        QString out = buffer(bufferSize);
        bool truncated = !expectedTruncated;
        const int count = m_store->getSectionNames(out, m_path, &truncated);
        QCOMPARE(count, expectedCount);
        QCOMPARE(truncated, expectedTruncated);
        QStringList pieces;
        for (const QString& piece : out.split(QChar(0))) {
            if (piece.isEmpty())
                break;
            pieces << piece;
        }
        QCOMPARE(pieces, expectedPieces);
    }

    void sectionNamesHaveNoLimit()
    {
        prepare(sectionsOf12CharNames(1000));
        const QStringList names = m_store->sectionNames(m_path);
        QCOMPARE(names.size(), 1000);
        QCOMPARE(names.last(), QStringLiteral("001A2B0003E7"));
    }

    void getInt_data()
    {
        QTest::addColumn<QByteArray>("value"); // "<none>" for a missing key
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << QByteArray("42") << 42;
        QTest::newRow("negative") << QByteArray("-5") << -5;
        QTest::newRow("plus sign") << QByteArray("+7") << 7;
        QTest::newRow("hexadecimal prefix") << QByteArray("0x1F") << 31;
        QTest::newRow("digits up to the first other character") << QByteArray("12abc") << 12;
        QTest::newRow("no digits") << QByteArray("abc") << 0;
        QTest::newRow("decimal point ends it") << QByteArray("3.4") << 3;
        QTest::newRow("wraps at 32 bits") << QByteArray("4294967297") << 1;
        QTest::newRow("empty value gives the default") << QByteArray("") << -1;
        QTest::newRow("missing key gives the default") << QByteArray("<none>") << -1;
    }
    void getInt()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        prepare(value == "<none>" ? QByteArray("[A]\n") : "[A]\nN=" + value + "\n");
        QCOMPARE(m_store->getInt(QStringLiteral("A"), QStringLiteral("n"), -1, m_path), expected);
    }

    void badInputNeverCrashesNorWrites_data()
    {
        QTest::addColumn<QByteArray>("file");
        QRandomGenerator random(20240611);
        QByteArray garbage(64 * 1024, '\0');
        for (char& c : garbage)
            c = static_cast<char>(random.bounded(256));
        QTest::newRow("binary garbage") << garbage;
        QTest::newRow("only NULs") << QByteArray(4096, '\0');
        QTest::newRow("lines without equals") << QByteArray("[A]\nfoo\nbar\n\nbaz");
        QTest::newRow("keys before any section") << QByteArray("X=1\nY=2\n[A]\nX=3\n");
        QTest::newRow("1 MB line") << QByteArray(1 << 20, 'x');
        QTest::newRow("unterminated header") << QByteArray("[A\nX=1\n[");
        QTest::newRow("lone CRs") << QByteArray("[A]\rX=1\r\r\n\r");
        QByteArray manyKeys("[A]\n");
        for (int i = 0; i < 40; ++i)
            manyKeys += "K" + QByteArray::number(i) + "=" + QByteArray::number(i) + "\n";
        QTest::newRow("40 keys in a section") << manyKeys;
        QTest::newRow("1000 sections") << sectionsOf12CharNames(1000);
    }
    void badInputNeverCrashesNorWrites()
    {
        QFETCH(QByteArray, file);
        prepare(file);
        QString out = buffer(750);
        m_store->getString(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral(""), out,
                           m_path);
        out = buffer(750);
        m_store->getSection(QStringLiteral("A"), out, m_path);
        out = buffer(750);
        m_store->getSectionNames(out, m_path);
        m_store->getInt(QStringLiteral("A"), QStringLiteral("X"), 0, m_path);
        m_store->sectionNames(m_path);
        QCOMPARE(readBytes(m_path), file);
    }

    void unreadableFileReadsAsMissingAndIsNeverOverwritten_data()
    {
        QTest::addColumn<bool>("directory"); // else mode 000
        QTest::newRow("mode 000") << false;
        QTest::newRow("not a regular file") << true;
    }
    void unreadableFileReadsAsMissingAndIsNeverOverwritten()
    {
        QFETCH(bool, directory);
        if (directory) {
            QVERIFY(QDir().mkdir(m_path));
        } else {
            if (isRoot())
                QSKIP("root reads a file of mode 000; the directory row covers this as root");
            prepare("[A]\nX=1\n");
            QVERIFY(QFile::setPermissions(m_path, QFileDevice::Permissions()));
        }
        QString out = buffer(750);
        QCOMPARE(m_store->getString(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("def"),
                                    out, m_path),
                 3);
        QCOMPARE(out.left(3), QStringLiteral("def"));
        QVERIFY(m_store->sectionNames(m_path).isEmpty());
        QVERIFY(!m_store->lastError().isEmpty());

        QVERIFY(!m_store->writeString(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("2"),
                                      m_path));
        QVERIFY(!m_store->deleteSection(QStringLiteral("A"), m_path));
        QVERIFY(!m_store->lastError().isEmpty());
        if (!directory) {
            QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner));
            QCOMPARE(readBytes(m_path), QByteArray("[A]\nX=1\n"));
        } else {
            QVERIFY(QFileInfo(m_path).isDir());
        }
        QCOMPARE(directoryEntries(), QStringList{QStringLiteral("nms.ini")});
    }

    void readingNeverCreatesTheFile()
    {
        QString out = buffer(750);
        m_store->getString(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral(""), out,
                           m_path);
        m_store->getSectionNames(out, m_path);
        m_store->getInt(QStringLiteral("A"), QStringLiteral("X"), 0, m_path);
        QVERIFY(!QFile::exists(m_path));
        QVERIFY(m_store->lastError().isEmpty());
    }

    void writeKeepsPermissions()
    {
        prepare("[A]\nX=1\n");
        const QByteArray native = QFile::encodeName(m_path);
        QCOMPARE(::chmod(native.constData(), 0640), 0);
        QVERIFY(m_store->writeString(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("2"),
                                     m_path));
        struct stat status {};
        QCOMPARE(::stat(native.constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, mode_t(0640));
    }

    void writeIntoReadOnlyDirectoryFailsAndKeepsTheFile()
    {
        if (isRoot())
            QSKIP("root writes into a read-only directory");
        prepare("[A]\nX=1\n");
        QVERIFY(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        const bool written = m_store->writeString(QStringLiteral("A"), QStringLiteral("X"),
                                                  QStringLiteral("2"), m_path);
        QVERIFY(QFile::setPermissions(m_dir.path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(!written);
        QVERIFY(!m_store->lastError().isEmpty());
        QCOMPARE(readBytes(m_path), QByteArray("[A]\nX=1\n"));
        QCOMPARE(directoryEntries(), QStringList{QStringLiteral("nms.ini")});
    }

    void failedWriteKeepsTheOldFile()
    {
        // The file size limit makes the write of the new content fail, also
        // for root.
        prepare("[A]\nX=1\n");
        struct rlimit saved {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit tiny = saved;
        tiny.rlim_cur = 12;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
        const bool written = m_store->writeString(QStringLiteral("A"), QStringLiteral("X"),
                                                  QStringLiteral("a longer value"), m_path);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!written);
        QVERIFY(!m_store->lastError().isEmpty());
        QCOMPARE(readBytes(m_path), QByteArray("[A]\nX=1\n"));
        QCOMPARE(directoryEntries(), QStringList{QStringLiteral("nms.ini")});
        QString out = buffer(750);
        QCOMPARE(m_store->getString(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral(""),
                                    out, m_path),
                 1);
        QCOMPARE(out.at(0), QLatin1Char('1'));
    }

    void writeReplacesTheFileNotItsContent()
    {
        // A reader holding the old file keeps seeing the old bytes whole.
        prepare("[A]\nX=1\n");
        QFile old(m_path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QVERIFY(m_store->writeString(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("2"),
                                     m_path));
        QCOMPARE(old.readAll(), QByteArray("[A]\nX=1\n"));
        QCOMPARE(readBytes(m_path), QByteArray("[A]\nX=2\n"));
    }

    void writeThroughSymlinkKeepsTheLink()
    {
        const QString real = m_dir.filePath(QStringLiteral("real.ini"));
        writeBytes(real, "[A]\nX=1\n");
        QVERIFY(QFile::link(real, m_path));
        QVERIFY(m_store->writeString(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("2"),
                                     m_path));
        QVERIFY(QFileInfo(m_path).isSymLink());
        QCOMPARE(readBytes(real), QByteArray("[A]\nX=2\n"));
        QFile::remove(real);
    }

    void externalWriteIsSeenByTheNextRead_data()
    {
        QTest::addColumn<bool>("inPlace"); // else replaced by rename
        QTest::newRow("rewritten in place, same size") << true;
        QTest::newRow("replaced by rename") << false;
    }
    void externalWriteIsSeenByTheNextRead()
    {
        QFETCH(bool, inPlace);
        // Same size every time, written at once after each read, so only the
        // file's identity and times can tell the versions apart.
        for (int round = 0; round < 40; ++round) {
            const QByteArray value = QByteArray::number(round % 10);
            const QByteArray bytes = "[A]\nX=" + value + "\n";
            if (inPlace) {
                writeBytes(m_path, bytes);
            } else {
                const QString temporary = m_dir.filePath(QStringLiteral("other.tmp"));
                writeBytes(temporary, bytes);
                QVERIFY(::rename(QFile::encodeName(temporary).constData(),
                                 QFile::encodeName(m_path).constData()) == 0);
            }
            QString out = buffer(750);
            const int count = m_store->getString(QStringLiteral("A"), QStringLiteral("X"),
                                                 QStringLiteral(""), out, m_path);
            QCOMPARE(out.left(count), QString::fromLatin1(value));
        }
    }

    void externalRewriteThatRestoresTheModificationTimeIsSeen()
    {
        prepare("[A]\nX=1\n");
        // Let the file's times fall behind the clock, so that the store may
        // trust its signature from the first read on.
        QTest::qSleep(50);
        const QByteArray native = QFile::encodeName(m_path);
        struct stat original {};
        QCOMPARE(::stat(native.constData(), &original), 0);
        QString out = buffer(750);
        QCOMPARE(m_store->getString(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral(""),
                                    out, m_path),
                 1);
        QCOMPARE(out.at(0), QLatin1Char('1'));

        writeBytes(m_path, "[A]\nX=2\n"); // same inode, same size
        const timespec times[2] = {original.st_atim, original.st_mtim};
        QCOMPARE(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);

        QCOMPARE(m_store->getString(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral(""),
                                    out, m_path),
                 1);
        QCOMPARE(out.at(0), QLatin1Char('2'));
    }

    void externalWriteAfterOwnWriteIsSeen()
    {
        QVERIFY(m_store->writeString(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("1"),
                                     m_path));
        writeBytes(m_path, "[A]\nX=9\n");
        QString out = buffer(750);
        const int count = m_store->getString(QStringLiteral("A"), QStringLiteral("X"),
                                             QStringLiteral(""), out, m_path);
        QCOMPARE(out.left(count), QStringLiteral("9"));
        QVERIFY(m_store->writeString(QStringLiteral("A"), QStringLiteral("Y"), QStringLiteral("2"),
                                     m_path));
        QCOMPARE(readBytes(m_path), QByteArray("[A]\nX=9\nY=2\n"));
    }

    void externalDeletionIsSeen()
    {
        QVERIFY(m_store->writeString(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("1"),
                                     m_path));
        QVERIFY(QFile::remove(m_path));
        QString out = buffer(750);
        QCOMPARE(m_store->getString(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("d"),
                                    out, m_path),
                 1);
        QVERIFY(m_store->sectionNames(m_path).isEmpty());
    }

    // What a run killed in the middle of a write leaves beside the file:
    // removed at the next start once its writer is gone, never while the
    // writer may still be writing.
    void abandonedTemporaryFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("ageSeconds"); // since the file was last written
        QTest::addColumn<bool>("removed");
        const pid_t gone = ::fork();
        if (gone == 0)
            ::_exit(0);
        ::waitpid(gone, nullptr, 0);
        const QString own = QString::number(::getpid());
        QTest::newRow("writer gone") << QStringLiteral(".nms.ini.tmp-%1-1f").arg(gone) << 0 << true;
        QTest::newRow("writer running")
            << QStringLiteral(".nms.ini.tmp-%1-2e").arg(own) << 0 << false;
        QTest::newRow("id reused by a process started later")
            << QStringLiteral(".nms.ini.tmp-%1-3d").arg(own) << 3600 << true;
        QTest::newRow("id of a process running since before the write")
            << QStringLiteral(".nms.ini.tmp-1-4c") << 0 << false;
        QTest::newRow("not a temporary name")
            << QStringLiteral(".nms.ini.tmp-x-5b") << 3600 << false;
        QTest::newRow("another file's temporary")
            << QStringLiteral(".other.ini.tmp-%1-6a").arg(gone) << 3600 << false;
    }
    void abandonedTemporaryFiles()
    {
        QFETCH(QString, name);
        QFETCH(int, ageSeconds);
        QFETCH(bool, removed);
        prepare("[A]\nX=1\n");
        const QString temporary = m_dir.filePath(name);
        writeBytes(temporary, "[A]\nX=");
        const timespec written{::time(nullptr) - ageSeconds, 0};
        const timespec times[2] = {written, written};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(temporary).constData(), times, 0), 0);
        QCOMPARE(nms::AtomicFileWriter::removeAbandonedTemporaries(m_path), removed ? 1 : 0);
        QCOMPARE(QFile::exists(temporary), !removed);
        QCOMPARE(readBytes(m_path), QByteArray("[A]\nX=1\n"));
        QFile::remove(temporary);
    }

    void manyWritesLeaveNoTemporaryFiles()
    {
        for (int i = 0; i < 50; ++i)
            QVERIFY(m_store->writeString(QString::number(i % 7),
                                         QStringLiteral("K") + QString::number(i),
                                         QString::number(i), m_path));
        QCOMPARE(directoryEntries(), QStringList{QStringLiteral("nms.ini")});
        QCOMPARE(m_store->sectionNames(m_path).size(), 7);
    }
};

QTEST_GUILESS_MAIN(PrivateProfileStoreTest)
#include "tst_PrivateProfileStore.moc"
