#include <QtTest>

#include <limits>

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QToolBar>

#include "ManualTimer.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMain.h"
#include "ui/ImageResources.h"
#include "ui/QtDialogs.h"
#include "ui/ShapeWidget.h"
#include "ui/VuMeterImage.h"

using namespace nms;

namespace {

// One line that sums up a control as the catalogue describes it: kind,
// container, caption or items or range, length limit, tool tip, start state.
QString describe(QWidget* widget)
{
    QStringList parts{QString::fromLatin1(widget->metaObject()->className()),
                      widget->parentWidget()->objectName()};
    const QVariant text = widget->property(qobject_cast<QGroupBox*>(widget) ? "title" : "text");
    if (text.isValid())
        parts << QLatin1Char('"') + text.toString() + QLatin1Char('"');
    if (auto* list = qobject_cast<QComboBox*>(widget)) {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->itemText(i);
        parts << items.join(QLatin1Char('|')) << QString::number(list->currentIndex());
    }
    if (auto* bar = qobject_cast<QAbstractSlider*>(widget))
        parts << QStringLiteral("%1..%2=%3")
                     .arg(bar->minimum())
                     .arg(bar->maximum())
                     .arg(bar->value());
    if (auto* box = qobject_cast<QLineEdit*>(widget))
        parts << QStringLiteral("max%1").arg(box->maxLength());
    if (auto* button = qobject_cast<QAbstractButton*>(widget); button && button->isCheckable())
        parts << (button->isChecked() ? QStringLiteral("checked") : QStringLiteral("unchecked"));
    if (!widget->toolTip().isEmpty())
        parts << QStringLiteral("tip:") + widget->toolTip();
    if (widget->isHidden())
        parts << QStringLiteral("hidden");
    if (!widget->isEnabled())
        parts << QStringLiteral("disabled");
    return parts.join(QLatin1Char(' '));
}

bool sameRgb(const QColor& a, const QColor& b, int tolerance)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
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

    // Spot checks of the control table: its first and last control, controls
    // of one element type only, and the odd ones.
    void controlsAsTheCatalogueDescribesThem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        const std::pair<const char*, const char*> rows[] = {
            {"Toolbar1", "QToolBar frmMainClient"},
            {"frmProperties", "QGroupBox frmMainClient \"Element properties:\""},
            {"Label18", "QLabel frmProperties \"VLAN O&&M:\""},
            {"txtElementName", "QLineEdit frmProperties \"\" max16 tip:Max 12 chars"},
            {"txtVLAN_Audio", "QLineEdit frmProperties \"1\" max16 tip:Max 12 chars disabled"},
            {"scrlAtten", "QScrollBar frmProperties 14..255=255 hidden"},
            {"lblAttenDB", "QLabel frmProperties \"dB\""},
            {"cmbSilDetMode",
             "QComboBox frmProperties Auto detect|Force internal|Force external -1"},
            {"Label26", "QLabel frmProperties \"Timeout:\" tip:Silence detector time countdown"},
            {"chkSFNEnabled", "QCheckBox frmProperties \"Enabled\" unchecked disabled"},
            {"chkGetVolume",
             "QPushButton frmProperties \"?\" unchecked tip:Show audio level hidden"},
            {"lblPing", "nms::CaptionLabel frmDiagnostics \"<Unknown>\" tip:Click to test ping"},
            {"VUMeter", "nms::VuMeterImage Picture2 disabled"},
            {"Slider1", "QSlider frmMainClient 10..1000=50"},
        };
        for (const auto& [name, description] : rows)
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(description);
    }
    void controlsAsTheCatalogueDescribesThem()
    {
        QFETCH(QString, name);
        QFETCH(QString, description);
        const QList<QWidget*> found = m_window->findChildren<QWidget*>(name);
        QCOMPARE(found.size(), 1);
        QCOMPARE(describe(found.first()), description);
    }

    void windowToolbarAndTimers()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Veltrino NMS - Orbelund Broadcast"));
        QVERIFY(!(m_window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(m_window->windowIcon().availableSizes().contains(QSize(32, 32)));
        QCOMPARE(ui().Toolbar1->actions().size(), 7);
        QVERIFY(ui().Toolbar1Buttons[3]->isSeparator());
        QAction* stop = ui().Toolbar1Buttons[kStopMonitoringButton];
        QCOMPARE(ui().Toolbar1->actions().indexOf(stop), 6);
        QCOMPARE(stop->toolTip(), QStringLiteral("Stop audio monitoring"));
        QCOMPARE(stop->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+M")));
        QCOMPARE(stop->icon().cacheKey(), ui().ImageList1[5].cacheKey());
        QCOMPARE(ui().Toolbar1Buttons[kAutoDiscoverButton]->shortcut(),
                 QKeySequence(QStringLiteral("Ctrl+D")));
        QVERIFY(!ui().tmrVolume->isEnabled());
        QCOMPARE(static_cast<Timer*>(m_timers.timer(QStringLiteral("tmrVolume"))), ui().tmrVolume);
        QCOMPARE(ui().tmrVolume->interval(), 50);
        QCOMPARE(ui().timerRemoteSent->interval(), 3000);
    }

    // The seven images are drawn on a yellow key colour, which is shown
    // transparent; a colour next to it is not.
    void imagesShowTheirKeyColourTransparent()
    {
        for (int index = 1; index <= ImageResources::kImageListCount; ++index) {
            QCOMPARE(QImage(ImageResources::imageListPath(index)).pixelColor(0, 0),
                     QColor(255, 255, 0));
            const QImage image = ui().ImageList1[index].pixmap(16, 16).toImage();
            QCOMPARE(image.size(), QSize(16, 16));
            QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
            QCOMPARE(image.pixelColor(15, 15).alpha(), 0);
            int opaque = 0;
            for (int pixel = 0; pixel < 256; ++pixel)
                opaque += image.pixelColor(pixel % 16, pixel / 16).alpha() != 0;
            QVERIFY2(opaque >= 40, "the picture is almost empty");
        }
        QImage nearKey(2, 1, QImage::Format_RGB32);
        nearKey.setPixel(0, 0, qRgb(255, 255, 0));
        nearKey.setPixel(1, 0, qRgb(255, 254, 0));
        const QImage keyed = ImageResources::withKeyTransparent(nearKey, QColor(255, 255, 0));
        QCOMPARE(qAlpha(keyed.pixel(0, 0)), 0);
        QCOMPARE(keyed.pixel(1, 0), qRgba(255, 254, 0, 255));
    }

    // Nothing of the visible window is cut off at its frame's edge; the
    // slider lies outside the window.
    void controlsLieWithinTheirContainers()
    {
        for (const char* name :
             {"frmMainClient", "frmTreeView", "frmProperties", "frmDiagnostics"}) {
            QWidget* frame = control(QString::fromLatin1(name));
            for (QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (child != ui().Slider1 && !child->isHidden())
                    QVERIFY2(frame->rect().contains(child->geometry()),
                             qPrintable(child->objectName()));
            }
        }
        QVERIFY(!m_window->centralWidget()->rect().intersects(ui().Slider1->geometry()));
    }

    // Every caption is shown as the text it is: a stored value that looks
    // like markup is not rendered, and the doubled ampersand is drawn as one
    // and marks no access key.
    void captionsAreDrawnAsTheirText()
    {
        const QList<QLabel*> labels = m_window->findChildren<QLabel*>();
        QVERIFY(labels.size() >= 30);
        for (QLabel* label : labels)
            QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
        ui().lblSerialNumber->setText(QStringLiteral("<b>3</b>"));
        const std::pair<QLabel*, const char*> drawn[] = {{ui().lblSerialNumber, "<b>3</b>"},
                                                         {ui().Label18, "VLAN O&M:"}};
        for (const auto& [label, text] : drawn) {
            QLabel plain(QString::fromLatin1(text));
            plain.setTextFormat(label == ui().Label18 ? Qt::AutoText : Qt::PlainText);
            plain.setFont(label->font());
            plain.resize(label->size());
            QCOMPARE(label->grab().toImage().convertToFormat(QImage::Format_RGB32),
                     plain.grab().toImage().convertToFormat(QImage::Format_RGB32));
        }
    }

    // A screen reader reads a field by its caption, and a label that shows a
    // value by the value it shows now; either way the caption is its label.
    // The value is set after the reader has asked once: the name follows it.
    void screenReaderReadsCaptionsAndValues_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("value");
        QTest::addColumn<bool>("buddy");
        const std::tuple<const char*, const char*, const char*, bool, bool> rows[] = {
            {"Label1", "txtElementName", "System name", false, true},
            {"Label18", "txtVLAN_OM", "VLAN O&M", false, true},
            {"Label26", "scrlSilDetTime", "Timeout", false, true},
            {"Label12", "VUMeter", "Audio level", false, true},
            {"Label2", "lblElementType", "DECODER", true, true},
            {"Label13", "lblSerialNumber", "10&01", true, true},
            {"Label11", "lblPing", "<Click to test>", true, true},
            {"Label9", "lblAttenDB", "-27.5 dB", true, false},
            {"Label12", "lblVolume", "-20dBFS", true, false},
            {"Label10", "Label15", "N/A", true, false},
        };
        for (const auto& [caption, field, name, value, buddy] : rows)
            QTest::newRow(field) << QString::fromLatin1(caption) << QString::fromLatin1(field)
                                 << QString::fromLatin1(name) << value << buddy;
    }
    void screenReaderReadsCaptionsAndValues()
    {
        QFETCH(QString, caption);
        QFETCH(QString, field);
        QFETCH(QString, name);
        QFETCH(bool, value);
        QFETCH(bool, buddy);
        auto* label = qobject_cast<QLabel*>(control(caption));
        QWidget* target = control(field);
        QVERIFY(label && target);
        QCOMPARE(label->buddy() == target, buddy);
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(target);
        QVERIFY(reader);
        if (value) {
            QCOMPARE(reader->text(QAccessible::Name), qobject_cast<QLabel*>(target)->text());
            if (auto* captionLabel = qobject_cast<CaptionLabel*>(target))
                captionLabel->setCaption(name);
            else
                qobject_cast<QLabel*>(target)->setText(name);
        }
        QCOMPARE(reader->text(QAccessible::Name), name);
        // The level bar lies in its picture box, out of its caption's reach;
        // its name carries the caption.
        if (target->parentWidget() != label->parentWidget())
            return;
        bool labelled = false;
        for (const auto& [related, relation] : reader->relations(QAccessible::Label))
            labelled = labelled || (related->object() == label && relation == QAccessible::Label);
        QVERIFY(labelled);
    }

    // Tab follows the design order and skips what is hidden or disabled;
    // neither the slider outside the window nor the always hidden level
    // button may take the focus out of view.
    void tabSkipsHiddenDisabledAndInvisibleControls()
    {
        QCOMPARE(ui().Slider1->focusPolicy(), Qt::NoFocus);
        QCOMPARE(ui().chkGetVolume->focusPolicy(), Qt::NoFocus);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->activateWindow();
        ui().txtElementName->setFocus(Qt::TabFocusReason);
        if (QApplication::focusWidget() != ui().txtElementName)
            QSKIP("this platform gives no keyboard focus to the window");
        const QWidget* expected[] = {ui().txtElementIP,    ui().txtElementGW,   ui().txtElementMask,
                                     ui().cmbAudioType,    ui().cmbAudioInput,  ui().cmbAudioTX,
                                     ui().txtRemoteIP,     ui().cmbEncoders,    ui().cmbSilDetMode,
                                     ui().scrlSilDetLevel, ui().scrlSilDetTime, ui().lblPing};
        for (const QWidget* next : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), next->objectName());
        }
    }

    // The labels that change their caption hold their widest value uncut
    // (the attenuation readout from "Mute" to "-120.5 dB").
    void changingCaptionsFitTheirWidestValue()
    {
        const std::pair<const char*, const char*> rows[] = {
            {"lblElementType", "UNKNOWN"},   {"lblElementMAC", "DD:DD:DD:DD:DD:DD"},
            {"lblVersion", "4294967295.00"}, {"lblSerialNumber", "-2147483648"},
            {"Label9", "Audio source:"},     {"Label9", "Audio atten:"},
            {"lblLatency", "17.5mS"},        {"lblSilDetLevel", "-49.8dBu"},
            {"lblSilDetTime", "100.1Sec"},   {"lblVolume", "-138.5dBFS"},
            {"lblAttenDB", "-120.5 dB"},     {"lblAttenDB", "Mute"},
        };
        for (const auto& [name, widest] : rows) {
            auto* label = qobject_cast<QLabel*>(control(QString::fromLatin1(name)));
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
        int shortBy = std::numeric_limits<int>::max();
        QTimer::singleShot(0, m_window.get(), [&shortBy, &lines] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            const auto* text = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            shortBy =
                text->fontMetrics().horizontalAdvance(lines.first()) - text->contentsRect().width();
            box->done(QMessageBox::No);
        });
        QCOMPARE(dialogs.question(QStringLiteral("Auto Discovery"), lines), BoxAnswer::No);
        QVERIFY2(shortBy <= 0, qPrintable(QString::number(shortBy)));
    }

    void longPingResultIsShownInASmallerFontInsteadOfCut()
    {
        CaptionLabel* ping = ui().lblPing;
        const QString longest = QStringLiteral("Destination Protocol Unreachable");
        ping->setCaption(longest);
        QVERIFY(ping->fontMetrics().horizontalAdvance(longest) <= ping->contentsRect().width());
        QVERIFY(ping->font().bold());
        ping->setCaption(QStringLiteral("<Click to test>"));
        QCOMPARE(ping->font().pointSizeF(), 8.25);
        QSignalSpy clicks(ping, &CaptionLabel::clicked);
        QTest::keyClick(ping, Qt::Key_Space);
        QCOMPARE(clicks.count(), 1);
        const QImage shape = ui().shpPing->grab().toImage();
        QCOMPARE(shape.pixelColor(shape.width() / 2, shape.height() / 2), QColor(255, 255, 192));
    }

    // Labels, shapes and lines lie beneath the fields that share their place
    // (later children are drawn on top); "N/A" shows only where its field is
    // hidden.
    void paintedControlsLieBeneathTheirFields()
    {
        const std::tuple<const char*, const char*, bool> rows[] = {
            {"Label15", "cmbAudioTX", true},
            {"Label16", "txtRemoteIP", true},
            {"lblAttenDB", "cmbAudioInput", false},
            {"shpPing", "lblPing", false},
            {"Line1", "cmbSilDetMode", false}};
        for (const auto& [below, above, standIn] : rows) {
            QWidget* lower = control(QString::fromLatin1(below));
            QWidget* upper = control(QString::fromLatin1(above));
            const QObjectList stack = upper->parentWidget()->children();
            QVERIFY2(stack.indexOf(lower) >= 0 && stack.indexOf(lower) < stack.indexOf(upper),
                     below);
            if (!standIn)
                continue;
            auto shown = [&] { return ui().frmProperties->grab(upper->geometry()).toImage(); };
            const QImage fieldOverLabel = shown();
            lower->hide();
            QCOMPARE(shown(), fieldOverLabel);
            upper->hide();
            const QImage neither = shown();
            lower->show();
            QVERIFY2(shown() != neither, "the stand-in label does not show");
        }
    }

    // The level bar shows the ramp from blue to orange, cut off at its width.
    void levelBarIsCutOffAtItsWidth_data()
    {
        QTest::addColumn<int>("twips");
        QTest::addColumn<int>("pixels");
        QTest::newRow("empty") << 0 << 0;
        QTest::newRow("half") << 1050 << 70;
        QTest::newRow("part of a pixel") << 1064 << 70;
        QTest::newRow("full") << 2100 << 140;
        QTest::newRow("below") << -15 << 0;
        QTest::newRow("beyond") << 3000 << 140;
    }
    void levelBarIsCutOffAtItsWidth()
    {
        QFETCH(int, twips);
        QFETCH(int, pixels);
        VuMeterImage* meter = ui().VUMeter;
        const QImage& ramp = meter->ramp();
        QCOMPARE(ramp.size(), QSize(140, 16));
        const std::tuple<int, QColor, int> stops[] = {{0, QColor(0, 0, 255), 0},
                                                      {35, QColor(0, 255, 255), 4},
                                                      {70, QColor(0, 255, 0), 4},
                                                      {104, QColor(255, 255, 0), 4},
                                                      {139, QColor(255, 128, 0), 0}};
        for (const auto& [column, colour, tolerance] : stops) {
            for (int y : {0, 15})
                QVERIFY2(sameRgb(ramp.pixelColor(column, y), colour, tolerance),
                         qPrintable(ramp.pixelColor(column, y).name()));
        }
        meter->setWidthTwips(twips);
        QCOMPARE(meter->width(), pixels);
        QCOMPARE(meter->widthTwips(), qBound(0, twips, 2100));
        if (pixels == 0)
            return;
        const QImage shown = meter->grab().toImage();
        QCOMPARE(shown.size(), QSize(pixels, 16));
        for (int x : {0, pixels / 2, pixels - 1})
            QCOMPARE(shown.pixelColor(x, 8), ramp.pixelColor(x, 8));
    }
};

QTEST_MAIN(FrmMainCatalogueTest)
#include "tst_FrmMainCatalogue.moc"
