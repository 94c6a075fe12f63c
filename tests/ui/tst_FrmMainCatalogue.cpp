#include <QtTest>

#include <QAccessible>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QWindow>

#include "ManualTimer.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMain.h"
#include "ui/FrmPaging.h"
#include "ui/ImageResources.h"
#include "ui/QtDialogs.h"
#include "ui/VuMeterImage.h"

using namespace nms;

namespace {

// A control's texts as the operator sees them (caption or title, list items,
// tool tip) and whether it starts hidden or disabled.
QString describe(QObject* control)
{
    QStringList parts;
    for (const char* property : {"text", "title", "toolTip"}) {
        const QString text = control->property(property).toString();
        if (!text.isEmpty())
            parts << text;
    }
    if (auto* list = qobject_cast<QComboBox*>(control)) {
        for (int i = 0; i < list->count(); ++i)
            parts << list->itemText(i);
    }
    if (auto* widget = qobject_cast<QWidget*>(control)) {
        if (widget->isHidden())
            parts << QStringLiteral("hidden");
        if (!widget->isEnabled())
            parts << QStringLiteral("disabled");
    }
    return parts.join(QLatin1Char('|'));
}

} // namespace

class FrmMainCatalogueTest : public QObject {
    Q_OBJECT
private:
    test::ManualTimerFactory m_timers;
    std::unique_ptr<FrmMain> m_window;

    FrmMainControls& ui() { return m_window->controls(); }
    QWidget* control(const QString& name) { return m_window->findChild<QWidget*>(name); }

private slots:
    void init() { m_window = std::make_unique<FrmMain>(m_timers); }
    void cleanup() { m_window.reset(); }

    // Captions, list items and tool tips as the operator sees them, and the
    // controls that start hidden or disabled. Every caption is shown as the
    // text it is: a stored value that looks like markup is not rendered.
    void controlsAsTheCatalogueDescribesThem()
    {
        const std::pair<const char*, const char*> rows[] = {
            {"frmProperties", "Element properties:"},
            {"Label18", "VLAN O&&M:"},
            {"txtElementName", "Max 12 chars"},
            {"txtVLAN_Audio", "1|Max 12 chars|disabled"},
            {"scrlAtten", "hidden"},
            {"lblAttenDB", "dB"},
            {"cmbSilDetMode", "Auto detect|Force internal|Force external"},
            {"Label26", "Timeout:|Silence detector time countdown"},
            {"chkSFNEnabled", "Enabled|disabled"},
            {"chkGetVolume", "?|Show audio level|hidden"},
            {"lblPing", "<Unknown>|Click to test ping"},
            {"VUMeter", "disabled"},
            {"Toolbar1Button7", "Stop audio monitoring|Stop audio monitoring"},
        };
        for (const auto& [name, description] : rows) {
            const QList<QObject*> found =
                m_window->findChildren<QObject*>(QString::fromLatin1(name));
            QCOMPARE(found.size(), 1);
            QCOMPARE(describe(found.first()), QString::fromLatin1(description));
        }
        for (QLabel* label : m_window->findChildren<QLabel*>())
            QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
        // The images are drawn on a yellow key colour, shown transparent.
        for (int index = 1; index <= ImageResources::kImageListCount; ++index)
            QCOMPARE(ui().ImageList1[index].pixmap(16, 16).toImage().pixelColor(0, 0).alpha(), 0);
    }

    // A screen reader reads a field by its caption, and a label that shows a
    // value by the value it shows now (set after the reader has asked once);
    // either way the caption is its label. Tab follows the design order and
    // skips what is hidden or disabled; neither the slider outside the window
    // nor the always hidden level button takes the focus out of view.
    void screenReaderAndKeyboard()
    {
        const std::tuple<const char*, const char*, const char*> rows[] = {
            {"Label18", "txtVLAN_OM", "VLAN O&M"},
            {"Label13", "lblSerialNumber", "10&01"},
        };
        for (const auto& [caption, field, name] : rows) {
            auto* label = qobject_cast<QLabel*>(control(QString::fromLatin1(caption)));
            QWidget* target = control(QString::fromLatin1(field));
            QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(target);
            if (auto* value = qobject_cast<CaptionLabel*>(target)) {
                QCOMPARE(reader->text(QAccessible::Name), value->text());
                value->setCaption(QString::fromLatin1(name));
            }
            QCOMPARE(reader->text(QAccessible::Name), QString::fromLatin1(name));
            QCOMPARE(label->buddy(), target);
            const auto relations = reader->relations(QAccessible::Label);
            QVERIFY2(!relations.isEmpty() && relations.first().first->object() == label, field);
        }
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->activateWindow();
        ui().txtElementName->setFocus(Qt::TabFocusReason);
        if (QApplication::focusWidget() != ui().txtElementName)
            QSKIP("this platform gives no keyboard focus to the window");
        QStringList order;
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order.join(u' '), QStringLiteral("txtElementIP txtElementGW txtElementMask "
                                                  "cmbAudioType cmbAudioInput cmbAudioTX "
                                                  "txtRemoteIP cmbEncoders cmbSilDetMode "
                                                  "scrlSilDetLevel scrlSilDetTime lblPing"));
        QSignalSpy clicks(ui().lblPing, &CaptionLabel::clicked);
        QTest::keyClick(ui().lblPing, Qt::Key_Space);
        QCOMPARE(clicks.count(), 1);
    }

    // The labels that change their caption hold their widest value uncut;
    // the longest ping results take a smaller font.
    void changingCaptionsFitTheirWidestValue()
    {
        const std::pair<const char*, const char*> rows[] = {
            {"lblElementType", "UNKNOWN"},   {"lblElementMAC", "DD:DD:DD:DD:DD:DD"},
            {"lblVersion", "4294967295.00"}, {"lblSerialNumber", "-2147483648"},
            {"Label9", "Audio source:"},     {"lblLatency", "17.5mS"},
            {"lblSilDetLevel", "-49.8dBu"},  {"lblSilDetTime", "100.1Sec"},
            {"lblVolume", "-138.5dBFS"},     {"lblAttenDB", "-120.5 dB"},
            {"lblAttenDB", "Mute"},          {"lblPing", "Destination Protocol Unreachable"},
        };
        for (const auto& [name, widest] : rows) {
            auto* label = qobject_cast<QLabel*>(control(QString::fromLatin1(name)));
            if (auto* captionLabel = qobject_cast<CaptionLabel*>(label))
                captionLabel->setCaption(QString::fromLatin1(widest));
            QVERIFY2(label->fontMetrics().horizontalAdvance(QString::fromLatin1(widest)) <=
                         label->contentsRect().width(),
                     widest);
        }
    }

    // A box shows each of its lines whole: the discovery question's first
    // line is longer than Qt's usual width for a box's text.
    void boxLinesStandWhole()
    {
        const QStringList lines{QStringLiteral("Performing an 'Auto Discovery' will delete the "
                                               "local database in your computer"),
                                QStringLiteral("Are you sure?")};
        QtDialogs dialogs;
        dialogs.setParentWidget(m_window.get());
        int shortBy = 1;
        QTimer::singleShot(0, m_window.get(), [&shortBy, &lines] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            const auto* text = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            shortBy =
                text->fontMetrics().horizontalAdvance(lines.first()) - text->contentsRect().width();
            box->done(QMessageBox::No);
        });
        QCOMPARE(dialogs.question(QStringLiteral("Auto Discovery"), lines), BoxAnswer::No);
        QVERIFY2(shortBy <= 0, qPrintable(QString::number(shortBy)));
    }

    // The level bar is cut off at its width, in whole pixels.
    void levelBarIsCutOffAtItsWidth()
    {
        VuMeterImage* meter = ui().VUMeter;
        QString widths;
        for (int twips : {-15, 3000, 1064}) {
            meter->setWidthTwips(twips);
            widths += QStringLiteral("%1/%2 ").arg(meter->widthTwips()).arg(meter->width());
        }
        QCOMPARE(widths, QStringLiteral("0/0 2100/140 1064/70 "));
    }

    // The collection window shows centred on its owner with its caption
    // whole, and runs its full time: neither Escape nor the window
    // manager's close request ends it.
    void pagingWindow()
    {
        QWidget owner;
        owner.setGeometry(300, 200, 720, 394);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        FrmPaging paging(&owner);
        QLabel* label = paging.Label1();
        QCOMPARE(paging.windowTitle() + u'|' + label->text(),
                 QStringLiteral(
                     "Paging network...|Please wait a few seconds while paging the network..."));
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
        paging.show();
        QVERIFY(QTest::qWaitForWindowExposed(&paging));
        const QPoint offset = paging.frameGeometry().center() - owner.frameGeometry().center();
        QVERIFY(offset.manhattanLength() <= 2);
        QTest::keyClick(&paging, Qt::Key_Escape);
        QCloseEvent windowManagerClose;
        QSpontaneKeyEvent::setSpontaneous(&windowManagerClose);
        QApplication::sendEvent(paging.windowHandle(), &windowManagerClose);
        QVERIFY(paging.isVisible());
    }
};

QTEST_MAIN(FrmMainCatalogueTest)
#include "tst_FrmMainCatalogue.moc"
