#include <QtTest>

#include <QTemporaryDir>

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

    // Root can write into /usr/bin: an installed copy must still use the
    // user's directory.
    void databaseLocation_data()
    {
        QTest::addColumn<QString>("programDir"); // empty: a fresh, writable one
        QTest::addColumn<bool>("besideProgram");
        addRow("writable program directory", QString(), true);
        addRow("missing program directory", QStringLiteral("/nonexistent/veltrino"), false);
        addRow("installed in /usr/bin", QStringLiteral("/usr/bin"), false);
        addRow("installed in /usr/local/bin/", QStringLiteral("/usr/local/bin/"), false);
    }
    void databaseLocation()
    {
        QFETCH(QString, programDir);
        QFETCH(bool, besideProgram);
        QTemporaryDir fresh;
        QTemporaryDir user;
        const QString program = programDir.isEmpty() ? fresh.path() : programDir;
        const QString userData = user.filePath(QStringLiteral("veltrino-nms")); // made on need
        QCOMPARE(DatabaseLocation::resolve(program, userData),
                 (besideProgram ? program : userData) + QStringLiteral("/nms.ini"));
        QCOMPARE(QDir(userData).exists(), !besideProgram);
    }
};

QTEST_GUILESS_MAIN(StartupPiecesTest)
#include "tst_StartupPieces.moc"
