#include <QtTest>

#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "FileBytes.h"
#include "TableRow.h"
#include "app/SingleInstanceLock.h"
#include "db/DatabaseLocation.h"

using namespace nms;
using namespace nms::test;

class StartupPiecesTest : public QObject {
    Q_OBJECT
private slots:
    void oneInstanceHoldsTheLock()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("nms.lock"));
        // As a crashed instance leaves it: a PID no process has, this program, this host.
        writeBytes(path, "2147483646\n" + QCoreApplication::applicationName().toUtf8() + '\n' +
                             QSysInfo::machineHostName().toUtf8() + '\n');
        {
            SingleInstanceLock first(path);
            QVERIFY(first.acquire());
            QVERIFY(first.acquire()); // again for the holder
            QVERIFY(!SingleInstanceLock(path).acquire());
        }
        QVERIFY(SingleInstanceLock(path).acquire()); // freed when the holder ends
    }

    void databaseLocation_data()
    {
        QTest::addColumn<QString>("programDir"); // empty: a fresh one
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("besideProgram");
        addRow("writable program directory", QString(), true, true);
        addRow("read-only program directory", QString(), false, false);
        addRow("missing program directory", QStringLiteral("/nonexistent/veltrino"), true, false);
        // Root can write there: an installed copy must still use the user's.
        addRow("installed in /usr/bin", QStringLiteral("/usr/bin"), true, false);
        addRow("installed in /usr/local/bin/", QStringLiteral("/usr/local/bin/"), true, false);
    }
    void databaseLocation()
    {
        QFETCH(QString, programDir);
        QFETCH(bool, writable);
        QFETCH(bool, besideProgram);
        if (!writable && ::geteuid() == 0)
            QSKIP("root may write into read-only directories; covered for ordinary users");
        QTemporaryDir fresh;
        QTemporaryDir user;
        const QString program = programDir.isEmpty() ? fresh.path() : programDir;
        const QString userData = user.filePath(QStringLiteral("veltrino-nms")); // made on need
        const QByteArray freshName = QFile::encodeName(fresh.path());
        QVERIFY(::chmod(freshName.constData(), writable ? 0755 : 0555) == 0);
        QCOMPARE(DatabaseLocation::resolve(program, userData),
                 (besideProgram ? program : userData) + QStringLiteral("/nms.ini"));
        QCOMPARE(QDir(userData).exists(), !besideProgram);
        ::chmod(freshName.constData(), 0755);
    }
};

QTEST_GUILESS_MAIN(StartupPiecesTest)
#include "tst_StartupPieces.moc"
