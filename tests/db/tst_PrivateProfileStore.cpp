#include <QtTest>

#include <csignal>
#include <optional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FileBytes.h"
#include "IniSamples.h"
#include "TableColumns.h"
#include "TableRow.h"
#include "db/AtomicFileWriter.h"
#include "db/PrivateProfileStore.h"

using nms::PrivateProfileStore;

using namespace nms::test;

namespace {

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

// A file before the call, the section and key it names, then the value
// written or the value read, where the call has one.
using DeleteColumns = TableColumns<QByteArray, QString, QString, QByteArray>;
using WriteColumns = TableColumns<QByteArray, QString, QString, QString, QByteArray>;
using ReadColumns = TableColumns<QByteArray, QString, QString, QString, QString>;

} // namespace

class PrivateProfileStoreTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_path;
    std::optional<PrivateProfileStore> m_store;

    void prepare(const QByteArray& bytes)
    {
        if (bytes != kNoFile)
            writeBytes(m_path, bytes);
    }

    QString read(const char* section, const char* key, const char* defaultValue = "")
    {
        QString out(750, QChar(0));
        out.truncate(
            m_store->getString(latin1(section), latin1(key), latin1(defaultValue), out, m_path));
        return out;
    }

    bool write(const char* section, const char* key, const char* value)
    {
        return m_store->writeString(latin1(section), latin1(key), latin1(value), m_path);
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
        m_store.emplace();
    }
    void cleanup()
    {
        m_store.reset();
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
        QDir(m_path).removeRecursively();
        QFile::remove(m_path);
    }

    void writeString_data()
    {
        WriteColumns::add();
        using B = QByteArray;
        addRow("missing file is created", kNoFile, "001A2B3C4D5E", "NAME", "STUDIO",
               B("[001A2B3C4D5E]\nNAME=STUDIO\n"));
        addRow("empty file", B(), "A", "X", "1", B("[A]\nX=1\n"));
        addRow("new section after the last one", B("[A]\nX=1\n"), "B", "Y", "2",
               B("[A]\nX=1\n[B]\nY=2\n"));
        addRow("new key at the end of its section", B("[A]\nX=1\n\n[B]\nY=2\n"), "A", "Z", "3",
               B("[A]\nX=1\nZ=3\n\n[B]\nY=2\n"));
        addRow("new key after the header of an empty section", B("[A]\n[B]\nY=2\n"), "a", "X", "1",
               B("[A]\nX=1\n[B]\nY=2\n"));
        addRow("replaced in place, names matched without case", B("[abc]\nname=old\nip=1\n"), "ABC",
               "NAME", "new", B("[abc]\nname=new\nip=1\n"));
        addRow("other lines kept byte for byte", B("  [A] ; note\n; comment\n\n x = 1 \nY=2\n\t\n"),
               "A", "Y", "3", B("  [A] ; note\n; comment\n\n x = 1 \nY=3\n\t\n"));
        addRow("blanks of a padded name are written", B(), "S", "NAME", "STUDIO          ",
               B("[S]\nNAME=STUDIO          \n"));
        addRow("CR LF NUL in a value become blanks", B("[S]\n"), "S", "NAME",
               QString::fromLatin1("A\r\n[EVIL]\nX=1\0B", 15), B("[S]\nNAME=A  [EVIL] X=1 B\n"));
        addRow("CR LF NUL in names become blanks", B(), "S\n[T]", QString::fromLatin1("K\0\rX", 4),
               "v", B("[S [T]]\nK  X=v\n"));
        addRow("outside Latin-1 reads back as the question mark the file holds", B("[A]\n"), "A",
               "X", QString::fromUtf8("\u0141odz"), B("[A]\nX=?odz\n"));
        addRow("untouched CR CR LF line kept byte for byte", B("[A]\nX=1\r\r\nY=2\n"), "A", "Y",
               "3", B("[A]\nX=1\r\r\nY=3\n"));
        addRow("untouched line keeps its own line end", B("[A]\r\nX=1\nY=2\r\n"), "A", "Y", "3",
               B("[A]\r\nX=1\nY=3\r\n"));
        addRow("mixed line ends follow the first line", B("[A]\r\nX=1\nW=0\r\n"), "A", "X", "2",
               B("[A]\r\nX=2\r\nW=0\r\n"));
        addRow("missing final newline is added", B("[A]\nX=1"), "A", "Y", "2",
               B("[A]\nX=1\nY=2\n"));
        addRow("byte-order mark skipped and kept", B("\xEF\xBB\xBF[A]\nX=1\n"), "A", "X", "2",
               B("\xEF\xBB\xBF[A]\nX=2\n"));
        addRow("duplicate section: the first is written", B("[A]\nX=1\n[B]\n[a]\nX=9\n"), "A", "X",
               "2", B("[A]\nX=2\n[B]\n[a]\nX=9\n"));
        addRow("duplicate section: a new key goes to the first", B("[A]\nX=1\n[a]\nX=9\n"), "A",
               "Y", "2", B("[A]\nX=1\nY=2\n[a]\nX=9\n"));
        addRow("duplicate key: the first is written", B("[A]\nX=1\nX=2\n"), "A", "X", "3",
               B("[A]\nX=3\nX=2\n"));
        addRow("keys before any section are kept, never addressed", B("X=1\n[A]\n"), "A", "X", "2",
               B("X=1\n[A]\nX=2\n"));
        addRow("line without equals kept", B("[A]\ngarbage\nX=1\n"), "A", "X", "2",
               B("[A]\ngarbage\nX=2\n"));
        addRow("Latin-1 is one byte per character", B(), QString::fromLatin1("\xC9"), "X",
               QString::fromLatin1("caf\xE9\xA0"), B("[\xC9]\nX=caf\xE9\xA0\n"));
        addRow("empty value", B("[A]\nX=1\n"), "A", "X", "", B("[A]\nX=\n"));
        const QByteArray longLine(1 << 20, 'g');
        addRow("1 MB line kept", "[A]\n" + longLine + "\nX=1\n", "A", "X", "2",
               "[A]\n" + longLine + "\nX=2\n");
        const QByteArray many = numberedSections(1000);
        addRow("one key into 1000 sections", many, "001a2b0001f4", "ATT", "20",
               B(many).replace("[001A2B0001F4]\nROLE=1\n", "[001A2B0001F4]\nROLE=1\nATT=20\n"));
    }
    void writeString()
    {
        const auto [before, section, key, value, after] = WriteColumns::fetch();
        prepare(before);
        QVERIFY(m_store->writeString(section, key, value, m_path));
        QCOMPARE(readBytes(m_path), after);
        QCOMPARE(directoryEntries(), QStringList{QStringLiteral("nms.ini")});
        // A read in the same run returns what a later run reads from the file.
        QString cached(750, QChar(0));
        cached.truncate(m_store->getString(section, key, QStringLiteral("<none>"), cached, m_path));
        PrivateProfileStore later;
        QString fromFile(750, QChar(0));
        fromFile.truncate(
            later.getString(section, key, QStringLiteral("<none>"), fromFile, m_path));
        QCOMPARE(cached, fromFile);
    }

    // A name that would not read back as given is never written: the file
    // stays as it was and the caller learns why.
    void refusedWrite_data()
    {
        TableColumns<QString, QString>::add(); // section, key
        addRow("key that reads as a header", "S", "[T");
        addRow("key holding equals", "S", "a=b");
        addRow("key that reads as a comment", "S", ";K");
        addRow("key with a leading blank", "S", " K");
        addRow("key with a trailing line end", "S", "K\n");
        addRow("empty key", "S", "");
        addRow("key of blanks", "S", " \t");
        addRow("key outside Latin-1", "S", QString::fromUtf8("\u0101"));
        addRow("empty section", " ", "K");
        addRow("section outside Latin-1", QString::fromUtf8("\u0141"), "K");
    }
    void refusedWrite()
    {
        const auto [section, key] = TableColumns<QString, QString>::fetch();
        const QByteArray before("[S]\nK=1\n[T]\nK=2\n");
        prepare(before);
        QVERIFY(!m_store->writeString(section, key, QStringLiteral("x"), m_path));
        QVERIFY(!m_store->lastError().isEmpty());
        QVERIFY(!m_store->writeStrings(
            section, {{QStringLiteral("OK"), QStringLiteral("1")}, {key, QStringLiteral("x")}},
            m_path));
        QCOMPARE(readBytes(m_path), before);
        QCOMPARE(read("T", "K"), QStringLiteral("2"));
    }

    // An empty key deletes the whole section.
    void deleteEntries_data()
    {
        DeleteColumns::add();
        using B = QByteArray;
        addRow("key line", B("[A]\nX=1\nY=2\n[B]\nX=3\n"), "a", "x", B("[A]\nY=2\n[B]\nX=3\n"));
        addRow("key line without equals", B("[A]\nX\nY=2\n"), "A", "X", B("[A]\nY=2\n"));
        addRow("absent key leaves the file", B("[A]\r\nX=1"), "A", "Z", B("[A]\r\nX=1"));
        addRow("key of an absent section", B("[A]\nX=1\n"), "B", "X", B("[A]\nX=1\n"));
        addRow("key of a missing file", kNoFile, "A", "X", kNoFile);
        addRow("every copy of the key", B("[S]\r\nK=1\r\nk=2\r\nL=3\r\n[T]\r\nK=4\r\n"), "S", "K",
               B("[S]\r\nL=3\r\n[T]\r\nK=4\r\n"));
        addRow("section: header and every line", B("[A]\nX=1\n[B]\nY=2\n; c\n\n[C]\nZ=3\n"), "b",
               "", B("[A]\nX=1\n[C]\nZ=3\n"));
        addRow("last section", B("[A]\nX=1\n[B]\nY=2\n"), "B", "", B("[A]\nX=1\n"));
        addRow("every duplicate section", B("[A]\nX=1\n[B]\n[a]\nX=2\n"), "A", "", B("[B]\n"));
        addRow("absent section leaves the file", B("[A]\nX=1"), "Q", "", B("[A]\nX=1"));
        addRow("section of a missing file", kNoFile, "A", "", kNoFile);
    }
    void deleteEntries()
    {
        const auto [before, section, key, after] = DeleteColumns::fetch();
        prepare(before);
        QVERIFY(key.isEmpty() ? m_store->deleteSection(section, m_path)
                              : m_store->deleteKey(section, key, m_path));
        QCOMPARE(readBytes(m_path), after);
    }

    void getString_data()
    {
        ReadColumns::add(); // the default before the value read
        using B = QByteArray;
        const B record("[001A2B3C4D5E]\nNAME=STUDIO          \nIP= 198.18.0.1 \n");
        addRow("blanks around the value dropped", record, "001A2B3C4D5E", "name", "", "STUDIO");
        addRow("names matched without case", record, "001a2b3c4d5e", "Ip", "", "198.18.0.1");
        addRow("control blanks around the value dropped", B("[A]\nX=\v\r1\f\n"), "A", "X", "", "1");
        addRow("missing key gives the default exactly", record, "001A2B3C4D5E", "gw", "  d  ",
               "  d  ");
        addRow("missing section", record, "X", "name", "def", "def");
        addRow("missing file", kNoFile, "A", "X", "def", "def");
        addRow("empty value is not the default", B("[A]\nX=\n"), "A", "X", "def", "");
        addRow("line without equals has no value", B("[A]\nX\n"), "A", "X", "def", "def");
        addRow("comment is no key", B("[A]\n;X=1\n"), "A", ";X", "def", "def");
        addRow("key before any section unreachable", B("X=1\n[A]\n"), "", "X", "def", "def");
        addRow("duplicate section reads the first", B("[A]\nX=1\n[a]\nX=2\nY=3\n"), "A", "Y", "def",
               "def");
        addRow("CRLF line end is not part of the value", B("[A]\r\nX=1\r\n"), "A", "X", "", "1");
        addRow("no final newline", B("[A]\nX=1"), "A", "X", "", "1");
        addRow("byte-order mark skipped", B("\xEF\xBB\xBF[A]\nX=1\n"), "A", "X", "", "1");
        addRow("NUL in a value reads as a blank", B("[A]\nX=a\0b\n", 10), "A", "X", "", "a b");
        addRow("non-breaking space kept", B("[A]\nX=\xA0Y\xA0\n"), "A", "X", "",
               QString::fromLatin1("\xA0Y\xA0"));
        addRow("value cut at 749 characters", "[A]\nX=" + B(800, 'v') + "\n", "A", "X", "",
               QString(749, QLatin1Char('v')));
        addRow("default cut at 749 characters", kNoFile, "A", "X", QString(800, QLatin1Char('d')),
               QString(749, QLatin1Char('d')));
        addRow("section header with trailing text", B("[A] ; the studio\nX=1\n"), "A", "X", "",
               "1");
        addRow("section name holding a bracket", B("[A]B]\nX=1\n"), "A]B", "X", "", "1");
    }
    void getString()
    {
        const auto [file, section, key, defaultValue, expected] = ReadColumns::fetch();
        prepare(file);
        QString out(750, QChar(0));
        const int count = m_store->getString(section, key, defaultValue, out, m_path);
        QCOMPARE(out.left(count), expected);
        QCOMPARE(out.at(count), QChar(0));
        QCOMPARE(readBytes(m_path), file); // reading never writes
    }

    void getSection_data()
    {
        // File, section, buffer size, count, what the call writes ('|' for a zero).
        TableColumns<QByteArray, QString, int, int, QString>::add();
        using B = QByteArray;
        addRow("entries, blanks and comments skipped",
               B("[A]\n X = 1 \n;c\n\nbare\nY=\n[B]\nZ=3\n"), "a", 750, 12, "X=1|bare|Y=||");
        addRow("missing section", B("[A]\nX=1\n"), "B", 750, 0, "||");
        addRow("empty section", B("[A]\n[B]\n"), "A", 750, 0, "||");
        addRow("missing file", kNoFile, "A", 750, 0, "||");
        addRow("cut to the buffer, ended by two zeros", B("[A]\nAAAA=1\nBBBB=2\n"), "A", 10, 8,
               "AAAA=1|B||");
        addRow("exact fit", B("[A]\nAAAA=1\nBBBB=2\n"), "A", 15, 14, "AAAA=1|BBBB=2|||");
        addRow("NUL in a value is no separator", B("[A]\nX=a\0b\nY=1\n", 14), "A", 750, 10,
               "X=a b|Y=1||");
    }
    void getSection()
    {
        auto [file, section, bufferSize, expectedCount, expectedBuffer] =
            TableColumns<QByteArray, QString, int, int, QString>::fetch();
        prepare(file);
        QString out(bufferSize, QLatin1Char('#'));
        QCOMPARE(m_store->getSection(section, out, m_path), expectedCount);
        expectedBuffer.replace(QLatin1Char('|'), QChar(0));
        QCOMPARE(out.left(expectedBuffer.size()), expectedBuffer.left(bufferSize));
    }

    void getSectionNames_data()
    {
        // File, buffer size, count, the names up to the first empty one with
        // '|' between, whether they were cut.
        TableColumns<QByteArray, int, int, QString, bool>::add();
        using B = QByteArray;
        addRow("three in file order", B("[C]\nX=1\n[a]\n[B]\n"), 750, 6, "C|a|B", false);
        addRow("duplicates as they stand", B("[A]\n[b]\n[a]\n"), 750, 6, "A|b|a", false);
        addRow("missing file", kNoFile, 750, 0, "", false);
        addRow("NUL in a name is no separator", B("[a\0b]\n[C]\n", 11), 750, 6, "a b|C", false);
        addRow("58 names in 750: 57 whole and 7 characters", numberedSections(58), 750, 748,
               numberedNames(57).join(QLatin1Char('|')) + QLatin1Char('|') + macName(57).left(7),
               true);
    }
    void getSectionNames()
    {
        const auto [file, bufferSize, expectedCount, expectedPieces, expectedTruncated] =
            TableColumns<QByteArray, int, int, QString, bool>::fetch();
        prepare(file);
        QString out(bufferSize, QChar(0));
        bool truncated = !expectedTruncated;
        QCOMPARE(m_store->getSectionNames(out, m_path, &truncated), expectedCount);
        QCOMPARE(truncated, expectedTruncated);
        const qsizetype end = out.indexOf(QString(2, QChar(0)));
        QCOMPARE(out.left(end).replace(QChar(0), QLatin1Char('|')), expectedPieces);
    }

    void getInt_data()
    {
        TableColumns<QByteArray, int>::add(); // the value, "<none>" for a missing key
        using B = QByteArray;
        addRow("decimal", B("42"), 42);
        addRow("negative", B("-5"), -5);
        addRow("plus sign", B("+7"), 7);
        addRow("hexadecimal prefix", B("0x1F"), 31);
        addRow("no digits", B("abc"), 0);
        addRow("decimal point ends it", B("3.4"), 3);
        addRow("wraps at 32 bits", B("4294967297"), 1);
        addRow("empty value gives the default", B(""), -1);
        addRow("missing key gives the default", B("<none>"), -1);
        addRow("missing file gives the default", kNoFile, -1);
    }
    void getInt()
    {
        const auto [value, expected] = TableColumns<QByteArray, int>::fetch();
        prepare(value == kNoFile    ? kNoFile
                : value == "<none>" ? QByteArray("[A]\n")
                                    : "[A]\nN=" + value + "\n");
        QCOMPARE(m_store->getInt(QStringLiteral("A"), QStringLiteral("n"), -1, m_path), expected);
    }

    // The write replaces the file: a reader holding the old one keeps its
    // bytes whole, the mode and a symbolic link stay, and a write of the
    // value already there replaces nothing.
    void writeReplacesTheFileKeepingModeAndLink()
    {
        const QString real = m_dir.filePath(QStringLiteral("real.ini"));
        writeBytes(real, "[A]\nX=1\n");
        QCOMPARE(::chmod(nativePath(real).constData(), 0640), 0);
        QVERIFY(QFile::link(real, m_path));
        QFile old(m_path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QVERIFY(write("A", "X", "2"));
        QCOMPARE(old.readAll(), QByteArray("[A]\nX=1\n"));
        QVERIFY(QFileInfo(m_path).isSymLink());
        QCOMPARE(readBytes(real), QByteArray("[A]\nX=2\n"));
        struct stat before {};
        QCOMPARE(::stat(nativePath(real).constData(), &before), 0);
        QCOMPARE(before.st_mode & 07777, mode_t(0640));
        QVERIFY(write("a", "x", "2"));
        struct stat after {};
        QCOMPARE(::stat(nativePath(real).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QFile::remove(real);
    }

    // A file that cannot be read reads as missing and is never replaced. A
    // write that fails midway, for want of room for a new file in the folder
    // or of file size, leaves the old file whole. No temporary file stays.
    void fileThatCannotBeWritten_data()
    {
        TableColumns<QString>::add();
        for (const char* cause :
             {"mode 000", "not a regular file", "read-only folder", "file size limit"})
            QTest::newRow(cause) << latin1(cause);
    }
    void fileThatCannotBeWritten()
    {
        const auto [cause] = TableColumns<QString>::fetch();
        const bool directory = cause == QLatin1String("not a regular file");
        const bool readOnlyFolder = cause == QLatin1String("read-only folder");
        const bool sizeLimit = cause == QLatin1String("file size limit");
        const bool readable = readOnlyFolder || sizeLimit;
        const QByteArray before("[A]\nX=1\n");
        if (directory)
            QVERIFY(QDir().mkdir(m_path));
        else
            prepare(before);
        if (cause == QLatin1String("mode 000")) {
            if (::geteuid() == 0)
                QSKIP("root reads a file of mode 000; the directory row covers this as root");
            QVERIFY(QFile::setPermissions(m_path, QFileDevice::Permissions()));
        }
        const QString value = readable ? QStringLiteral("1") : QStringLiteral("def");
        QCOMPARE(read("A", "X", "def"), value);
        QCOMPARE(m_store->sectionNames(m_path).size(), readable ? 1 : 0);
        QCOMPARE(m_store->lastError().isEmpty(), readable);
        if (!readable)
            QVERIFY(!m_store->deleteSection(QStringLiteral("A"), m_path));

        if (readOnlyFolder && !makeDirectoryUnwritable(m_dir.path(), true))
            QSKIP("this folder cannot be made to refuse new files");
        struct rlimit saved {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        struct rlimit tiny = saved;
        tiny.rlim_cur = 12;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (sizeLimit)
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
        const bool written = write("A", "X", "a longer value");
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!readOnlyFolder || makeDirectoryUnwritable(m_dir.path(), false));
        QVERIFY(!written);
        QVERIFY(!m_store->lastError().isEmpty());
        if (directory) {
            QVERIFY(QFileInfo(m_path).isDir());
        } else {
            QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner));
            QCOMPARE(readBytes(m_path), before);
        }
        QCOMPARE(directoryEntries(), QStringList{QStringLiteral("nms.ini")});
        if (readable) // the refused value is not kept either
            QCOMPARE(read("A", "X"), value);
    }

    void externalWriteIsSeenByTheNextRead_data()
    {
        TableColumns<bool>::add(); // in place, else replaced by rename
        QTest::newRow("rewritten in place, same size") << true;
        QTest::newRow("replaced by rename") << false;
    }
    void externalWriteIsSeenByTheNextRead()
    {
        const auto [inPlace] = TableColumns<bool>::fetch();
        // Same size every time, written at once after each read, so only the
        // file's identity and times can tell the versions apart.
        const QString temporary = m_dir.filePath(QStringLiteral("other.tmp"));
        for (int round = 0; round < 40; ++round) {
            const QByteArray value = QByteArray::number(round % 10);
            writeBytes(inPlace ? m_path : temporary, "[A]\nX=" + value + "\n");
            if (!inPlace)
                QCOMPARE(
                    ::rename(nativePath(temporary).constData(), nativePath(m_path).constData()), 0);
            QCOMPARE(read("A", "X"), QString::fromLatin1(value));
        }
    }

    void externalRewriteThatRestoresTheModificationTimeIsSeen()
    {
        prepare("[A]\nX=1\n");
        // Let the file's times fall behind the clock, so that the store may
        // trust its signature from the first read on.
        QTest::qSleep(50);
        struct stat original {};
        QCOMPARE(::stat(nativePath(m_path).constData(), &original), 0);
        QCOMPARE(read("A", "X"), QStringLiteral("1"));
        writeBytes(m_path, "[A]\nX=2\n"); // same inode, same size
        const timespec times[2] = {original.st_atim, original.st_mtim};
        QCOMPARE(::utimensat(AT_FDCWD, nativePath(m_path).constData(), times, 0), 0);
        QCOMPARE(read("A", "X"), QStringLiteral("2"));
    }

    // Another program rewrites or removes the file after our own write: the
    // next read and the next write start from what the file then holds.
    void externalChangeAfterOwnWriteIsSeen_data()
    {
        // What the other program leaves, the next read, the file after the next write.
        TableColumns<QByteArray, QString, QByteArray>::add();
        addRow("rewritten", QByteArray("[A]\nX=9\n"), "9", QByteArray("[A]\nX=9\nY=2\n"));
        addRow("removed", kNoFile, "d", QByteArray("[A]\nY=2\n"));
    }
    void externalChangeAfterOwnWriteIsSeen()
    {
        const auto [external, readBack, afterNextWrite] =
            TableColumns<QByteArray, QString, QByteArray>::fetch();
        QVERIFY(write("A", "X", "1"));
        if (external == kNoFile)
            QVERIFY(QFile::remove(m_path));
        else
            writeBytes(m_path, external);
        QCOMPARE(read("A", "X", "d"), readBack);
        QVERIFY(write("A", "Y", "2"));
        QCOMPARE(readBytes(m_path), afterNextWrite);
    }

    // What a run killed in the middle of a write leaves beside the file:
    // removed at the next start once its writer is gone, never while the
    // writer may still be writing.
    void abandonedTemporaryFiles_data()
    {
        // The name, seconds since it was last written, whether it goes.
        TableColumns<QString, int, bool>::add();
        const pid_t gone = ::fork();
        if (gone == 0)
            ::_exit(0);
        ::waitpid(gone, nullptr, 0);
        const QString own = QString::number(::getpid());
        const QString temporary = QStringLiteral(".nms.ini.tmp-%1-%2");
        addRow("writer gone", temporary.arg(gone).arg(1), 0, true);
        addRow("writer running", temporary.arg(own).arg(2), 0, false);
        addRow("id reused by a process started later", temporary.arg(own).arg(3), 3600, true);
        addRow("id of a process running since before the write", temporary.arg(1).arg(4), 0, false);
        addRow("not a temporary name", QStringLiteral(".nms.ini.tmp-x-5b"), 3600, false);
        addRow("another file's temporary", QStringLiteral(".other.ini.tmp-%1-6a").arg(gone), 3600,
               false);
    }
    void abandonedTemporaryFiles()
    {
        const auto [name, ageSeconds, removed] = TableColumns<QString, int, bool>::fetch();
        prepare("[A]\nX=1\n");
        const QString temporary = m_dir.filePath(name);
        writeBytes(temporary, "[A]\nX=");
        const timespec written{::time(nullptr) - ageSeconds, 0};
        const timespec times[2] = {written, written};
        QCOMPARE(::utimensat(AT_FDCWD, nativePath(temporary).constData(), times, 0), 0);
        QCOMPARE(nms::AtomicFileWriter::removeAbandonedTemporaries(m_path), removed ? 1 : 0);
        QCOMPARE(QFile::exists(temporary), !removed);
        QCOMPARE(readBytes(m_path), QByteArray("[A]\nX=1\n"));
        QFile::remove(temporary);
    }
};

QTEST_GUILESS_MAIN(PrivateProfileStoreTest)
#include "tst_PrivateProfileStore.moc"
