#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "app/SingleInstanceLock.h"
#include "db/DatabaseLocation.h"

using namespace nms;

class StartupPiecesTest : public QObject {
    Q_OBJECT
private slots:
    void secondLockInSameProcessFails()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("nms.lock");
        SingleInstanceLock first(path);
        QVERIFY(first.acquire());
        SingleInstanceLock second(path);
        QVERIFY(!second.acquire());
        QVERIFY(first.acquire()); // idempotent for the holder
    }

    void lockIsFreedWhenHolderEnds()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("nms.lock");
        {
            SingleInstanceLock first(path);
            QVERIFY(first.acquire());
        }
        SingleInstanceLock again(path);
        QVERIFY(again.acquire());
    }

    void staleLockOfDeadProcessIsTakenOver()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("nms.lock");
        // A lock file as a crashed instance leaves it: the PID of a process
        // that has ended, this host, this program's name.
        QProcess dead;
        dead.start("true");
        QVERIFY(dead.waitForFinished(5000));
        const qint64 deadPid = dead.processId() > 0 ? dead.processId() : 999999;
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(deadPid) + "\n" +
                   QCoreApplication::applicationName().toUtf8() + "\n" +
                   QSysInfo::machineHostName().toUtf8() + "\n");
        file.close();
        SingleInstanceLock lock(path);
        QVERIFY(lock.acquire());
    }

    void databaseLocation_data()
    {
        QTest::addColumn<QString>("programDir"); // "" for a fresh writable one
        QTest::addColumn<bool>("besideProgram");
        QTest::newRow("writable program directory") << QString() << true;
        QTest::newRow("missing program directory")
            << QStringLiteral("/nonexistent/veltrino") << false;
        // Root can write there: an installed copy must still use the user's.
        QTest::newRow("installed in /usr/bin") << QStringLiteral("/usr/bin") << false;
        QTest::newRow("installed in /usr/local/bin/") << QStringLiteral("/usr/local/bin/") << false;
    }

    void databaseLocation()
    {
        QFETCH(QString, programDir);
        QFETCH(bool, besideProgram);
        QTemporaryDir fresh;
        QTemporaryDir user;
        const QString program = programDir.isEmpty() ? fresh.path() : programDir;
        const QString expected = (besideProgram ? program : user.path()) + "/nms.ini";
        QCOMPARE(DatabaseLocation::resolve(program, user.path()), expected);
    }

    void databaseInUserDirWhenProgramDirIsReadOnly()
    {
        if (::geteuid() == 0)
            QSKIP("root may write into read-only directories; covered for ordinary users");
        QTemporaryDir program;
        QTemporaryDir user;
        QVERIFY(::chmod(QFile::encodeName(program.path()).constData(), 0555) == 0);
        const QString nested = user.path() + "/veltrino-nms";
        QCOMPARE(DatabaseLocation::resolve(program.path(), nested), nested + "/nms.ini");
        QVERIFY(QDir(nested).exists());
        ::chmod(QFile::encodeName(program.path()).constData(), 0755);
    }
};

QTEST_GUILESS_MAIN(StartupPiecesTest)
#include "tst_StartupPieces.moc"
