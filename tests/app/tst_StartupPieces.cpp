#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "app/DatabaseLocation.h"
#include "app/SingleInstanceLock.h"

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

    void databaseBesideWritableProgram()
    {
        QTemporaryDir program;
        QTemporaryDir user;
        QCOMPARE(DatabaseLocation::resolve(program.path(), user.path()),
                 program.path() + "/nms.ini");
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

    void databaseInUserDirWhenProgramDirIsMissing()
    {
        QTemporaryDir user;
        QCOMPARE(DatabaseLocation::resolve("/nonexistent/veltrino", user.path()),
                 user.path() + "/nms.ini");
    }
};

QTEST_GUILESS_MAIN(StartupPiecesTest)
#include "tst_StartupPieces.moc"
