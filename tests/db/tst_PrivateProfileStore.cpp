#include <QtTest>

#include <csignal>
#include <optional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileBytes.h"
#include "IniSamples.h"
#include "TableColumns.h"
#include "TableRow.h"
#include "db/AtomicFileWriter.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "db/TextHelpers.h"

using namespace nms::test;
using namespace nms::text;

// What a write must leave on any file (it reads back, the sections it is not
// aimed at stay line for line, no file is left beside it, a refused write
// changes nothing) is checked by the INI fuzz harness; its reproducers are in
// fuzz/corpus/ini. Here: the bytes the store writes, the reading of a
// hand-edited file, the buffers, the file system's failures, and the text
// helpers the records' values go through.

namespace {

// A file before the call, the section and key it names, the value written
// (kDelete: the key, or with no key the section, is deleted), the file after
// (kRefused: the call fails and leaves it).
using ChangeColumns = TableColumns<QByteArray, QString, QString, QString, QByteArray>;
const QString kDelete = QStringLiteral("<delete>");
const QByteArray kRefused("<refused>");
const QByteArray kS("[S]\nK=1\n");

// The helper a row names, on its input; numbers go in and come out as text.
// "ShortestNumber LOCALE" runs in that locale.
QString applied(const QString& helper, const QString& input)
{
    if (helper == QLatin1String("FormatMAC"))
        return FormatMAC(input);
    if (helper == QLatin1String("NormalizeMAC"))
        return NormalizeMAC(input);
    if (helper == QLatin1String("IsValidIP"))
        return IsValidIP(input) ? QStringLiteral("valid") : QStringLiteral("invalid");
    if (helper == QLatin1String("PadName16"))
        return PadName16(input);
    if (helper == QLatin1String("RoundToTenthHalfEven"))
        return QString::number(RoundToTenthHalfEven(input.toDouble()));
    QLocale::setDefault(QLocale(helper.section(QLatin1Char(' '), 1)));
    const QString shown = ShortestNumber(input.toDouble());
    QLocale::setDefault(QLocale::c());
    return shown;
}

} // namespace

class PrivateProfileStoreTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_path;
    std::optional<nms::PrivateProfileStore> m_store;

    void prepare(const QByteArray& bytes)
    {
        if (bytes != kNoFile)
            writeBytes(m_path, bytes);
    }

    QString read(const char* section, const char* key)
    {
        return m_store->value(latin1(section), latin1(key), m_path).value_or(latin1("def"));
    }

    bool write(const char* section, const char* key, const char* value)
    {
        return m_store->writeString(latin1(section), latin1(key), latin1(value), m_path);
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("nms.ini"));
        m_store.emplace();
    }
    void cleanup()
    {
        m_store.reset();
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    // A name that would not read back as given is never written, alone or
    // among others, and the caller learns why.
    void change_data()
    {
        ChangeColumns::add();
        using B = QByteArray;
        addRow("missing file created, LF line ends, padded value whole", kNoFile, "001A2B3C4D5E",
               "NAME", "STUDIO          ", B("[001A2B3C4D5E]\nNAME=STUDIO          \n"));
        addRow("new section after the last, final newline added", B("[A]\nX=1"), "B", "Y", "2",
               B("[A]\nX=1\n[B]\nY=2\n"));
        addRow("new key at the end of its section, before its blank line",
               B("[A]\nX=1\n\n[B]\nY=2\n"), "A", "Z", "3", B("[A]\nX=1\nZ=3\n\n[B]\nY=2\n"));
        addRow("replaced in place, key spelling and other lines kept",
               B(" [abc] ; c\n; c\n\n name = old \n\t\n"), "ABC", "NAME", "new",
               B(" [abc] ; c\n; c\n\nname=new\n\t\n"));
        addRow("CR LF NUL in names and value become blanks", B(), "S\n[T]",
               QString::fromLatin1("K\0\rX", 4), QString::fromLatin1("A\r\n[EVIL]\nX=1\0B", 15),
               B("[S [T]]\nK  X=A  [EVIL] X=1 B\n"));
        addRow("Latin-1 one byte each, others the question mark the file holds", B("[A]\n"),
               QString::fromLatin1("\xC9"), "X", QString::fromUtf8("\u0141caf\u00e9\u00a0"),
               B("[A]\n[\xC9]\nX=?caf\xE9\xA0\n"));
        addRow("written line takes the first line's end, others keep theirs",
               B("[A]\r\nX=1\nW=0\r\nY=2\n"), "A", "X", "2", B("[A]\r\nX=2\r\nW=0\r\nY=2\n"));
        addRow("byte-order mark skipped and kept", B("\xEF\xBB\xBF[A]\nX=1\n"), "A", "X", "2",
               B("\xEF\xBB\xBF[A]\nX=2\n"));
        addRow("blanks around the key", kS, "S", " K", "x", kRefused);
        addRow("empty key", kS, "S", "", "x", kRefused);
        addRow("key that would read as a comment", kS, "S", ";K", "x", kRefused);
        addRow("key outside Latin-1", kS, "S", QString::fromUtf8("\u0101"), "x", kRefused);
        addRow("empty section", kS, " ", "K", "x", kRefused);
        addRow("section outside Latin-1", kS, QString::fromUtf8("\u0141"), "K", "x", kRefused);
        addRow("key deleted: every copy, a bare one too", B("[A]\nX=1\nx\nY=2\n[B]\nX=3\n"), "a",
               "X", kDelete, B("[A]\nY=2\n[B]\nX=3\n"));
        addRow("absent key deleted: file untouched", B("[A]\r\nX=1"), "A", "Z", kDelete,
               B("[A]\r\nX=1"));
        addRow("section deleted with its comments and blanks", B("[A]\n[B]\nY=2\n; c\n\n[C]\n"),
               "b", "", kDelete, B("[A]\n[C]\n"));
        addRow("absent section deleted: file untouched", B("[A]\nX=1"), "Q", "", kDelete,
               B("[A]\nX=1"));
        addRow("delete in a missing file", kNoFile, "A", "X", kDelete, kNoFile);
    }
    void change()
    {
        const auto [before, section, key, value, after] = ChangeColumns::fetch();
        prepare(before);
        const bool done = value != kDelete ? m_store->writeString(section, key, value, m_path)
                          : key.isEmpty()  ? m_store->deleteSection(section, m_path)
                                           : m_store->deleteKey(section, key, m_path);
        QCOMPARE(done, after != kRefused);
        QCOMPARE(m_store->lastError().isEmpty(), after != kRefused);
        if (after == kRefused)
            QVERIFY(!m_store->writeStrings(section, {{QStringLiteral("OK"), value}, {key, value}},
                                           m_path));
        QCOMPARE(readBytes(m_path), after == kRefused ? before : after);
    }

    // The string read with the default "  d  ", or for "#KEY" the number
    // read with the default -1.
    void getString_data()
    {
        TableColumns<QByteArray, QString, QString, QString>::add(); // file, section, key, read
        using B = QByteArray;
        addRow("blanks around names and value dropped, case ignored", B("[A]\n x = \v 1 \f\n"), "a",
               "X", "1");
        addRow("missing key gives the default as given", B("[A]\nX=1\n"), "A", "Y", "  d  ");
        addRow("missing file", kNoFile, "A", "X", "  d  ");
        addRow("empty value is not the default", B("[A]\nX=\n"), "A", "X", "");
        addRow("line without equals has no value", B("[A]\nX\n"), "A", "X", "  d  ");
        addRow("duplicate section: only the first is read", B("[A]\nX=1\n[a]\nY=3\n"), "A", "Y",
               "  d  ");
        addRow("the last ] closes a header", B("[A]B] ; the studio\nX=1\n"), "A]B", "X", "1");
        addRow("an unclosed header takes the line", B("[A\nX=1\n"), "A", "X", "1");
        addRow("number: sign and hexadecimal prefix", B("[A]\nN=-0x1F\n"), "A", "#n", "-31");
        addRow("number: decimal point ends it", B("[A]\nN=3.4\n"), "A", "#n", "3");
        addRow("number: wraps at 32 bits", B("[A]\nN=4294967297\n"), "A", "#n", "1");
        addRow("number: empty value gives the default", B("[A]\nN=\n"), "A", "#n", "-1");
    }
    void getString()
    {
        const auto [file, section, key, expected] =
            TableColumns<QByteArray, QString, QString, QString>::fetch();
        prepare(file);
        QString out(750, QLatin1Char('#'));
        if (key.startsWith(QLatin1Char('#'))) {
            QCOMPARE(QString::number(m_store->getInt(section, key.mid(1), -1, m_path)), expected);
        } else {
            const int count =
                m_store->getString(section, key, QStringLiteral("  d  "), out, m_path);
            QCOMPARE(out.left(count), expected);
            QCOMPARE(out.at(count), QChar(0));
        }
        QCOMPARE(readBytes(m_path), file); // reading never writes
    }

    // A section's entries, or with no section the section names, in a
    // buffer of the given size: the count, and what the call writes ('|' for
    // a zero).
    void lists_data()
    {
        TableColumns<QByteArray, QString, int, int, QString>::add();
        using B = QByteArray;
        addRow("entries, blanks and comments skipped",
               B("[A]\n X = 1 \n;c\n\nbare\nY=\n[B]\nZ=3\n"), "a", 750, 12, "X=1|bare|Y=||");
        addRow("missing section", B("[A]\nX=1\n"), "B", 750, 0, "||");
        addRow("cut to the buffer, ended by two zeros", B("[A]\nAAAA=1\nBBBB=2\n"), "A", 10, 8,
               "AAAA=1|B||");
        addRow("exact fit", B("[A]\nAAAA=1\nBBBB=2\n"), "A", 15, 14, "AAAA=1|BBBB=2||");
        addRow("NUL in a value is no separator", B("[A]\nX=a\0b\nY=1\n", 14), "A", 750, 10,
               "X=a b|Y=1||");
        addRow("names in file order as they stand", B("[C]\nX=1\n[a\0b]\n[c]\n", 18), "", 750, 8,
               "C|a b|c||");
        addRow("58 names in 750: 57 whole and 7 characters", numberedSections(58), "", 750, 748,
               numberedNames(57).join(QLatin1Char('|')) + QLatin1Char('|') + macName(57).left(7) +
                   QStringLiteral("||"));
    }
    void lists()
    {
        auto [file, section, size, count, expected] =
            TableColumns<QByteArray, QString, int, int, QString>::fetch();
        prepare(file);
        QString out(size, QLatin1Char('#'));
        bool truncated = true;
        QCOMPARE(section.isEmpty() ? m_store->getSectionNames(out, m_path, &truncated)
                                   : m_store->getSection(section, out, m_path),
                 count);
        QCOMPARE(truncated, !section.isEmpty() || count == size - 2);
        QCOMPARE(out.left(expected.size()), expected.replace(QLatin1Char('|'), QChar(0)));
    }

    // Keys are written upper-cased, but a letter whose upper case is no
    // single Latin-1 letter stays as it is, so that none takes another's
    // line; a record at once gives the file of single writes. Renames move
    // the name to the end. The list box takes every section name; the array
    // what its 1024 characters hold whole.
    void iniRoutines()
    {
        nms::IniRoutines ini(*m_store);
        const QString s = QStringLiteral("S");
        const QByteArray before("; db\r\n[S]\r\nname=OLD\r\nA=1\r\n[T]\r\n");
        QList<std::pair<QString, QString>> keys;
        for (const char* key : {"name", "\u00ff", "\u00b5", "stra\u00dfe", "strasse"})
            keys.append({QString::fromUtf8(key), QString::number(keys.size())});
        prepare(before);
        for (const auto& [key, value] : keys)
            QVERIFY(ini.WriteToINI(s, key, value, m_path));
        const QByteArray single = readBytes(m_path);
        QCOMPARE(single, QByteArray("; db\r\n[S]\r\nname=0\r\nA=1\r\n\xFF=1\r\n\xB5=2\r\nSTRA\xDF"
                                    "E=3\r\nSTRASSE=4\r\n[T]\r\n"));
        prepare(before);
        QVERIFY(ini.WriteKeysToINI(s, keys, m_path));
        QCOMPARE(readBytes(m_path), single);
        QCOMPARE(ini.GetLongFromINI(s, QStringLiteral("strasse"), m_path, 77), 4);
        QCOMPARE(ini.GetLongFromINI(s, QStringLiteral("absent"), m_path, 77), 77);
        prepare("[S]\nV=" + QByteArray(800, 'v') + '\n');
        QCOMPARE(ini.ReadFromINI(s, QStringLiteral("V"), m_path), QString(749, u'v'));

        prepare("[S]\nname=X\nA=1\nB=2\n[T]\nK=v\n");
        QVERIFY(ini.RenameIniKey(s, QStringLiteral("a"), QStringLiteral("c"), m_path));
        QVERIFY(ini.RenameIniSection(s, QStringLiteral("N"), m_path));
        QCOMPARE(readBytes(m_path), QByteArray("[T]\nK=v\n[N]\nNAME=X\nB=2\nC=1\n"));
        QVERIFY(!ini.CheckIfIniSectionExists(s, m_path));
        QStringList names{QStringLiteral("kept")};
        ini.LoadIniSectionKeysLB(QStringLiteral("n"), names, m_path);
        QCOMPARE(names.join(QLatin1Char(' ')), QStringLiteral("kept NAME B C"));

        prepare(numberedSections(1000));
        QStringList list{QStringLiteral("kept")};
        ini.LoadIniSectionsLB(list, m_path);
        QCOMPARE(list, QStringList{QStringLiteral("kept")} + numberedNames(1000));
        QCOMPARE(ini.LoadIniSectionsArray(m_path), numberedNames(78));
    }

    // The write replaces the file: a reader holding the old one keeps its
    // bytes whole, the mode and a symbolic link stay, and a write of the
    // value already there replaces nothing.
    void writeReplacesTheFileKeepingModeAndLink()
    {
        const QString real = m_dir.filePath(QStringLiteral("real.ini"));
        writeBytes(real, "[A]\nX=1\n");
        QCOMPARE(::chmod(QFile::encodeName(real).constData(), 0640), 0);
        QVERIFY(QFile::link(real, m_path));
        QFile old(m_path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QVERIFY(write("A", "X", "2"));
        QCOMPARE(old.readAll(), QByteArray("[A]\nX=1\n"));
        QVERIFY(QFileInfo(m_path).isSymLink());
        QCOMPARE(readBytes(real), QByteArray("[A]\nX=2\n"));
        struct stat before {};
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &before), 0);
        QCOMPARE(before.st_mode & 07777, mode_t(0640));
        QVERIFY(write("a", "x", "2"));
        struct stat after {};
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
    }

    // A file that cannot be read reads as missing and is never replaced. A
    // write that fails midway, for want of room for a new file in the folder
    // or of file size, leaves the old file whole. No temporary file stays.
    void fileThatCannotBeWritten_data()
    {
        TableColumns<QString>::add();
        for (const char* cause : {"not a regular file", "read-only folder", "file size limit"})
            QTest::newRow(cause) << latin1(cause);
    }
    void fileThatCannotBeWritten()
    {
        const auto [cause] = TableColumns<QString>::fetch();
        const bool directory = cause == QLatin1String("not a regular file");
        const bool readOnlyFolder = cause == QLatin1String("read-only folder");
        const QByteArray before("[A]\nX=1\n");
        if (directory)
            QVERIFY(QDir().mkdir(m_path));
        else
            prepare(before);
        const QString value = directory ? QStringLiteral("def") : QStringLiteral("1");
        QCOMPARE(read("A", "X"), value);
        QCOMPARE(m_store->lastError().isEmpty(), !directory);

        if (readOnlyFolder && !makeDirectoryUnwritable(m_dir.path(), true))
            QSKIP("this folder cannot be made to refuse new files");
        struct rlimit saved {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        struct rlimit tiny = saved;
        tiny.rlim_cur = 12;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (cause == QLatin1String("file size limit"))
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
        const bool written = write("A", "X", "a longer value");
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!readOnlyFolder || makeDirectoryUnwritable(m_dir.path(), false));
        QVERIFY(!written);
        QVERIFY(!m_store->lastError().isEmpty());
        QVERIFY(directory ? QFileInfo(m_path).isDir() : readBytes(m_path) == before);
        QCOMPARE(
            QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("nms.ini")});
        QCOMPARE(read("A", "X"), value); // the refused value is not kept either
    }

    // Another program rewrites the file after our own write, setting its
    // modification time back each time, then removes it: the next read and
    // write start from what it then holds. The size stays, so only the
    // status-change time tells the versions apart; the times are let fall
    // behind the clock, so that the store may trust them.
    void externalChangeIsSeen()
    {
        QVERIFY(write("A", "X", "0"));
        for (int round = 1; round <= 9; ++round) {
            struct stat old {};
            QCOMPARE(::stat(QFile::encodeName(m_path).constData(), &old), 0);
            const QByteArray value = QByteArray::number(round);
            writeBytes(m_path, "[A]\nX=" + value + "\n");
            const timespec times[2] = {old.st_atim, old.st_mtim};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(m_path).constData(), times, 0), 0);
            QTest::qSleep(10);
            QCOMPARE(read("A", "X"), QString::fromLatin1(value));
        }
        QVERIFY(write("A", "Y", "2"));
        QCOMPARE(readBytes(m_path), QByteArray("[A]\nX=9\nY=2\n"));
        QVERIFY(QFile::remove(m_path));
        QCOMPARE(read("A", "X"), QStringLiteral("def"));
        QVERIFY(write("A", "Y", "2"));
        QCOMPARE(readBytes(m_path), QByteArray("[A]\nY=2\n"));
    }

    // What a run killed in the middle of a write leaves beside the file:
    // removed at the next start once its writer is gone (the discovery lab
    // run's row), never while the writer may still be writing.
    void abandonedTemporaryFiles_data()
    {
        // The name, seconds since it was last written, whether it goes.
        TableColumns<QString, int, bool>::add();
        const pid_t gone = 0x3FFFFFFF; // above any process id the kernel gives
        const QString own = QString::number(::getpid());
        const QString temporary = QStringLiteral(".nms.ini.tmp-%1-%2");
        addRow("writer running", temporary.arg(own).arg(2), 0, false);
        addRow("id reused by a process started later", temporary.arg(own).arg(3), 3600, true);
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
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(temporary).constData(), times, 0), 0);
        QCOMPARE(nms::AtomicFileWriter::removeAbandonedTemporaries(m_path), removed ? 1 : 0);
        QCOMPARE(QFile::exists(temporary), !removed);
        QCOMPARE(readBytes(m_path), QByteArray("[A]\nX=1\n"));
    }

    // A letter whose upper case is not one Latin-1 character could be
    // neither stored nor sent, or would push others out of the 16: it stays
    // as typed. Only the decimal separator of a number follows the locale
    // ("%" in a row): the minus sign and the digits stay the plain ones the
    // captions are built from, with neither grouping nor exponent.
    void helpers_data()
    {
        TableColumns<QString, QString, QString>::add(); // helper, input, expected
        addRow("MAC of eleven", "FormatMAC", "001A2B3C4D5", "");
        addRow("MAC of thirteen", "FormatMAC", "001A2B3C4D5EF", "");
        addRow("MAC too short to normalize", "NormalizeMAC", "00:1A:2B", "");
        addRow("top address", "IsValidIP", "255.255.255.255", "valid");
        addRow("blanks around digits", "IsValidIP", " 10. 0 .0.1 ", "valid");
        addRow("three parts", "IsValidIP", "10.0.0", "invalid");
        addRow("five parts, one empty", "IsValidIP", "10.0..0.1", "invalid");
        addRow("blank part", "IsValidIP", "10. .0.1", "invalid");
        addRow("above 255", "IsValidIP", "10.0.0.256", "invalid");
        addRow("sign", "IsValidIP", "10.0.0.+1", "invalid");
        addRow("long name cut", "PadName16", "abcdefghijklmnopq", "ABCDEFGHIJKLMNOP");
        addRow("micro, a macron and sharp s kept", "PadName16",
               QString::fromUtf8("\u00b5\u0101\u00dfx"),
               QString::fromUtf8("\u00b5\u0101\u00dfX            "));
        addRow("tie to even down", "RoundToTenthHalfEven", "0.25", "0.2");
        addRow("tie to even up", "RoundToTenthHalfEven", "0.35", "0.4");
        addRow("negative zero", "ShortestNumber C", "-0", "0");
        addRow("Swedish negative", "ShortestNumber sv_SE", "-18.4", "-18%4");
        addRow("Arabic digits", "ShortestNumber ar_EG", "19.6", "19%6");
        addRow("English, no grouping", "ShortestNumber en_US", "3276.7", "3276.7");
    }
    void helpers()
    {
        auto [helper, input, expected] = TableColumns<QString, QString, QString>::fetch();
        const QString locale = helper.section(QLatin1Char(' '), 1);
        QCOMPARE(applied(helper, input),
                 expected.replace(QLatin1Char('%'), QLocale(locale).decimalPoint()));
    }
};

QTEST_GUILESS_MAIN(PrivateProfileStoreTest)
#include "tst_PrivateProfileStore.moc"
