#include <QtTest>

#include <QCloseEvent>
#include <QLabel>
#include <QWindow>

#include "ui/FrmPaging.h"

using namespace nms;

class FrmPagingTest : public QObject {
    Q_OBJECT
private slots:
    void frameAndCaption()
    {
        QWidget owner;
        FrmPaging paging(&owner);
        QCOMPARE(paging.windowTitle(), QStringLiteral("Paging network..."));
        const Qt::WindowFlags flags = paging.windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(!paging.isVisible());
        QLabel* label = paging.Label1();
        QCOMPARE(label->text(),
                 QStringLiteral("Please wait a few seconds while paging the network..."));
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                 "caption cut off");
        QVERIFY(paging.rect().contains(label->geometry()));
    }

    void showsCentredOnItsOwner_data()
    {
        QTest::addColumn<QRect>("ownerGeometry");
        QTest::newRow("left") << QRect(40, 60, 720, 394);
        QTest::newRow("moved") << QRect(300, 200, 720, 394);
    }
    void showsCentredOnItsOwner()
    {
        QFETCH(QRect, ownerGeometry);
        QWidget owner;
        owner.setGeometry(ownerGeometry);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        FrmPaging paging(&owner);
        paging.show();
        QVERIFY(QTest::qWaitForWindowExposed(&paging));
        const QPoint offset = paging.frameGeometry().center() - owner.frameGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 2,
                 qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
        // The collection window runs its full time: neither Escape nor the
        // window manager's close request ends it.
        QTest::keyClick(&paging, Qt::Key_Escape);
        QVERIFY(paging.isVisible());
        QCloseEvent windowManagerClose;
        QSpontaneKeyEvent::setSpontaneous(&windowManagerClose);
        QApplication::sendEvent(paging.windowHandle(), &windowManagerClose);
        QVERIFY(paging.isVisible());
        QCOMPARE(paging.result(), 0);
    }
};

QTEST_MAIN(FrmPagingTest)
#include "tst_FrmPaging.moc"
