#include <QtTest>

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QToolBar>
#include <QTreeWidget>

#include "ManualTimer.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMain.h"
#include "ui/ImageResources.h"
#include "ui/ShapeWidget.h"
#include "ui/UiFonts.h"
#include "ui/VuMeterImage.h"

using namespace nms;

namespace {

constexpr int kSized = -1; // a label that takes the size of its caption

int px(int twips)
{
    return qRound(twips / 15.0);
}

bool sameRgb(const QColor& a, const QColor& b, int tolerance = 0)
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

    QWidget* control(const QString& name)
    {
        if (name == QLatin1String("frmMain"))
            return m_window.get();
        return m_window->findChild<QWidget*>(name);
    }

private slots:
    void init() { m_window = std::make_unique<FrmMain>(m_timers); }
    void cleanup() { m_window.reset(); }

    void controlsAreNamedAndOfTheirKind_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        const std::pair<const char*, const char*> rows[] = {
            {"Toolbar1", "QToolBar"},
            {"frmTreeView", "QGroupBox"},
            {"TreeView1", "QTreeWidget"},
            {"frmProperties", "QGroupBox"},
            {"frmDiagnostics", "QGroupBox"},
            {"Label1", "QLabel"},
            {"Label2", "QLabel"},
            {"Label3", "QLabel"},
            {"Label4", "QLabel"},
            {"Label5", "QLabel"},
            {"Label6", "QLabel"},
            {"Label7", "QLabel"},
            {"Label8", "QLabel"},
            {"Label9", "QLabel"},
            {"Label10", "QLabel"},
            {"Label11", "QLabel"},
            {"Label12", "QLabel"},
            {"Label13", "QLabel"},
            {"Label14", "QLabel"},
            {"Label15", "QLabel"},
            {"Label16", "QLabel"},
            {"Label17", "QLabel"},
            {"Label18", "QLabel"},
            {"Label19", "QLabel"},
            {"Label20", "QLabel"},
            {"Label21", "QLabel"},
            {"Label22", "QLabel"},
            {"Label24", "QLabel"},
            {"Label26", "QLabel"},
            {"lblElementType", "nms::CaptionLabel"},
            {"lblElementMAC", "nms::CaptionLabel"},
            {"lblVersion", "nms::CaptionLabel"},
            {"lblSerialNumber", "nms::CaptionLabel"},
            {"lblPing", "nms::CaptionLabel"},
            {"txtElementName", "QLineEdit"},
            {"txtElementIP", "QLineEdit"},
            {"txtElementGW", "QLineEdit"},
            {"txtElementMask", "QLineEdit"},
            {"txtRemoteIP", "QLineEdit"},
            {"txtVLAN_OM", "QLineEdit"},
            {"txtVLAN_Audio", "QLineEdit"},
            {"cmbAudioType", "QComboBox"},
            {"cmbAudioInput", "QComboBox"},
            {"cmbAudioTX", "QComboBox"},
            {"cmbEncoders", "QComboBox"},
            {"cmbSilDetMode", "QComboBox"},
            {"scrlAtten", "QScrollBar"},
            {"scrlBuffer", "QScrollBar"},
            {"scrlSilDetLevel", "QScrollBar"},
            {"scrlSilDetTime", "QScrollBar"},
            {"lblAttenDB", "QLabel"},
            {"lblLatency", "QLabel"},
            {"lblSilDetLevel", "QLabel"},
            {"lblSilDetTime", "QLabel"},
            {"lblVolume", "QLabel"},
            {"chkSFNEnabled", "QCheckBox"},
            {"chkGetVolume", "QPushButton"},
            {"Line1", "QFrame"},
            {"Line2", "QFrame"},
            {"Line3", "QFrame"},
            {"Line4", "QFrame"},
            {"shpPing", "nms::ShapeWidget"},
            {"Picture2", "QFrame"},
            {"VUMeter", "nms::VuMeterImage"},
            {"lstHidden", "QListWidget"},
            {"Slider1", "QSlider"},
        };
        for (const auto& [name, kind] : rows)
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind);
    }

    void controlsAreNamedAndOfTheirKind()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        const QList<QWidget*> found = m_window->findChildren<QWidget*>(name);
        QCOMPARE(found.size(), 1);
        QVERIFY2(found.first()->inherits(kind.toLatin1()),
                 found.first()->metaObject()->className());
    }

    void everyPointerOfTheTableIsFilledWithItsNamedControl()
    {
        auto& c = ui();
        QCOMPARE(c.frmMain, m_window.get());
        const std::pair<QObject*, const char*> members[] = {
            {c.Toolbar1, "Toolbar1"},
            {c.frmTreeView, "frmTreeView"},
            {c.TreeView1, "TreeView1"},
            {c.frmProperties, "frmProperties"},
            {c.frmDiagnostics, "frmDiagnostics"},
            {c.Label1, "Label1"},
            {c.Label2, "Label2"},
            {c.Label3, "Label3"},
            {c.Label4, "Label4"},
            {c.Label5, "Label5"},
            {c.Label6, "Label6"},
            {c.Label7, "Label7"},
            {c.Label8, "Label8"},
            {c.Label9, "Label9"},
            {c.Label10, "Label10"},
            {c.Label13, "Label13"},
            {c.Label14, "Label14"},
            {c.Label15, "Label15"},
            {c.Label16, "Label16"},
            {c.Label17, "Label17"},
            {c.Label18, "Label18"},
            {c.Label19, "Label19"},
            {c.Label20, "Label20"},
            {c.Label21, "Label21"},
            {c.Label22, "Label22"},
            {c.Label24, "Label24"},
            {c.Label26, "Label26"},
            {c.lblElementType, "lblElementType"},
            {c.lblElementMAC, "lblElementMAC"},
            {c.lblVersion, "lblVersion"},
            {c.lblSerialNumber, "lblSerialNumber"},
            {c.txtElementName, "txtElementName"},
            {c.txtElementIP, "txtElementIP"},
            {c.txtElementGW, "txtElementGW"},
            {c.txtElementMask, "txtElementMask"},
            {c.txtRemoteIP, "txtRemoteIP"},
            {c.txtVLAN_OM, "txtVLAN_OM"},
            {c.txtVLAN_Audio, "txtVLAN_Audio"},
            {c.cmbAudioType, "cmbAudioType"},
            {c.cmbAudioInput, "cmbAudioInput"},
            {c.cmbAudioTX, "cmbAudioTX"},
            {c.cmbEncoders, "cmbEncoders"},
            {c.cmbSilDetMode, "cmbSilDetMode"},
            {c.scrlAtten, "scrlAtten"},
            {c.lblAttenDB, "lblAttenDB"},
            {c.scrlBuffer, "scrlBuffer"},
            {c.scrlSilDetLevel, "scrlSilDetLevel"},
            {c.scrlSilDetTime, "scrlSilDetTime"},
            {c.lblLatency, "lblLatency"},
            {c.lblSilDetLevel, "lblSilDetLevel"},
            {c.lblSilDetTime, "lblSilDetTime"},
            {c.chkSFNEnabled, "chkSFNEnabled"},
            {c.chkGetVolume, "chkGetVolume"},
            {c.Line1, "Line1"},
            {c.Line2, "Line2"},
            {c.Line3, "Line3"},
            {c.Line4, "Line4"},
            {c.Label11, "Label11"},
            {c.shpPing, "shpPing"},
            {c.lblPing, "lblPing"},
            {c.Label12, "Label12"},
            {c.Picture2, "Picture2"},
            {c.VUMeter, "VUMeter"},
            {c.lblVolume, "lblVolume"},
            {c.lstHidden, "lstHidden"},
            {c.Slider1, "Slider1"},
            {c.timerRemoteSent, "timerRemoteSent"},
            {c.timerGetMAC, "timerGetMAC"},
            {c.tmrRetryPing, "tmrRetryPing"},
            {c.tmrVolume, "tmrVolume"},
            {c.tmrSpectrum, "tmrSpectrum"},
        };
        for (const auto& [member, name] : members) {
            QVERIFY2(member != nullptr, name);
            QCOMPARE(member->objectName(), QString::fromLatin1(name));
        }
    }

    // Places in twips, relative to the container, as the catalogue gives them.
    void controlsStandAtTheirPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("twips");
        struct Row {
            const char* name;
            const char* container;
            int left, top, width, height;
        };
        const Row rows[] = {
            {"Toolbar1", "frmMainClient", 0, 0, 10800, 360},
            {"frmTreeView", "frmMainClient", 120, 480, 3975, 5295},
            {"TreeView1", "frmTreeView", 120, 240, 3735, 4935},
            {"frmProperties", "frmMainClient", 4200, 480, 6495, 3975},
            {"frmDiagnostics", "frmMainClient", 4200, 4560, 6495, 1215},
            {"Label2", "frmProperties", 240, 360, kSized, kSized},
            {"lblElementType", "frmProperties", 1320, 360, kSized, kSized},
            {"Label5", "frmProperties", 3600, 360, kSized, kSized},
            {"lblElementMAC", "frmProperties", 4680, 360, kSized, kSized},
            {"Label21", "frmProperties", 240, 720, kSized, kSized},
            {"lblVersion", "frmProperties", 1320, 720, kSized, kSized},
            {"Label13", "frmProperties", 3600, 720, kSized, kSized},
            {"lblSerialNumber", "frmProperties", 4680, 720, kSized, kSized},
            {"Label1", "frmProperties", 240, 1080, kSized, kSized},
            {"txtElementName", "frmProperties", 1320, 1080, 1575, 285},
            {"Label8", "frmProperties", 3600, 1080, kSized, kSized},
            {"cmbAudioType", "frmProperties", 4680, 1080, 1575, 315},
            {"Label3", "frmProperties", 240, 1440, kSized, kSized},
            {"txtElementIP", "frmProperties", 1320, 1440, 1575, 285},
            {"Label9", "frmProperties", 3600, 1440, kSized, kSized},
            {"cmbAudioInput", "frmProperties", 4680, 1440, 1575, 315},
            {"scrlAtten", "frmProperties", 4680, 1515, 1095, 160},
            {"lblAttenDB", "frmProperties", 5800, 1500, kSized, kSized},
            {"Label6", "frmProperties", 240, 1800, kSized, kSized},
            {"txtElementGW", "frmProperties", 1320, 1800, 1575, 285},
            {"Label10", "frmProperties", 3600, 1800, kSized, kSized},
            {"cmbAudioTX", "frmProperties", 4680, 1800, 1575, 315},
            {"Label15", "frmProperties", 4680, 1800, 1575, 315},
            {"Label4", "frmProperties", 240, 2160, kSized, kSized},
            {"txtElementMask", "frmProperties", 1320, 2160, 1575, 285},
            {"Label7", "frmProperties", 3600, 2160, kSized, kSized},
            {"txtRemoteIP", "frmProperties", 4680, 2160, 1575, 285},
            {"Label16", "frmProperties", 4680, 2160, 1575, 285},
            {"Label18", "frmProperties", 240, 2565, kSized, kSized},
            {"txtVLAN_OM", "frmProperties", 1320, 2520, 495, 285},
            {"Label19", "frmProperties", 1920, 2565, kSized, kSized},
            {"txtVLAN_Audio", "frmProperties", 2400, 2520, 495, 285},
            {"Label17", "frmProperties", 3600, 2520, kSized, kSized},
            {"cmbEncoders", "frmProperties", 4680, 2520, 1575, 315},
            {"Label14", "frmProperties", 240, 3000, kSized, kSized},
            {"chkSFNEnabled", "frmProperties", 1320, 3000, 1575, 255},
            {"Label20", "frmProperties", 3600, 3000, kSized, kSized},
            {"scrlBuffer", "frmProperties", 4680, 3000, 1095, 160},
            {"lblLatency", "frmProperties", 5880, 3000, kSized, kSized},
            {"Label24", "frmProperties", 3600, 3240, kSized, kSized},
            {"scrlSilDetLevel", "frmProperties", 4680, 3240, 1095, 160},
            {"lblSilDetLevel", "frmProperties", 5880, 3240, kSized, kSized},
            {"Label22", "frmProperties", 240, 3405, kSized, kSized},
            {"cmbSilDetMode", "frmProperties", 1320, 3360, 1575, 315},
            {"Label26", "frmProperties", 3600, 3480, kSized, kSized},
            {"scrlSilDetTime", "frmProperties", 4680, 3480, 1095, 160},
            {"lblSilDetTime", "frmProperties", 5880, 3480, kSized, kSized},
            {"chkGetVolume", "frmProperties", 3000, 2280, 255, 255},
            {"Label11", "frmDiagnostics", 240, 360, kSized, kSized},
            {"shpPing", "frmDiagnostics", 240, 600, 2535, 315},
            {"lblPing", "frmDiagnostics", 360, 645, 2370, 195},
            {"Label12", "frmDiagnostics", 3360, 360, kSized, kSized},
            {"Picture2", "frmDiagnostics", 3360, 640, 2175, 255},
            {"VUMeter", "Picture2", 0, 0, 2100, 240},
            {"lblVolume", "frmDiagnostics", 5640, 675, kSized, kSized},
            {"Slider1", "frmMainClient", 6960, 7680, 4095, 255},
        };
        for (const Row& row : rows)
            QTest::newRow(row.name)
                << QString::fromLatin1(row.name) << QString::fromLatin1(row.container)
                << QRect(row.left, row.top, row.width, row.height);
    }

    void controlsStandAtTheirPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QRect, twips);
        QWidget* widget = control(name);
        QVERIFY(widget);
        QVERIFY(widget->parentWidget());
        QCOMPARE(widget->parentWidget()->objectName(), container);
        QCOMPARE(widget->pos(), QPoint(px(twips.left()), px(twips.top())));
        if (twips.width() == kSized) {
            // Sized to the caption: never narrower or lower than the text.
            QVERIFY2(widget->width() >= widget->sizeHint().width(), qPrintable(name));
            QVERIFY2(widget->height() >= widget->sizeHint().height(), qPrintable(name));
        } else {
            QCOMPARE(widget->size(), QSize(px(twips.width()), px(twips.height())));
        }
    }

    void controlsLieWithinTheirContainers_data()
    {
        QTest::addColumn<QString>("container");
        for (const char* name : {"frmMainClient", "frmTreeView", "frmProperties", "frmDiagnostics"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    // Nothing of the visible window is cut off at its frame's edge.
    void controlsLieWithinTheirContainers()
    {
        QFETCH(QString, container);
        QWidget* frame = m_window->findChild<QWidget*>(container);
        QVERIFY(frame);
        for (QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->objectName() == QLatin1String("Slider1") || child->isHidden())
                continue;
            QVERIFY2(frame->rect().contains(child->geometry()), qPrintable(child->objectName()));
        }
    }

    void bracketLinesJoinTheDetectorModeToItsSettings_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QLine>("twips");
        QTest::newRow("Line1") << "Line1" << QLine(3000, 3480, 3360, 3480);
        QTest::newRow("Line2") << "Line2" << QLine(3360, 3360, 3360, 3600);
        QTest::newRow("Line3") << "Line3" << QLine(3360, 3360, 3480, 3360);
        QTest::newRow("Line4") << "Line4" << QLine(3360, 3600, 3480, 3600);
    }

    void bracketLinesJoinTheDetectorModeToItsSettings()
    {
        QFETCH(QString, name);
        QFETCH(QLine, twips);
        auto* line = qobject_cast<QFrame*>(control(name));
        QVERIFY(line);
        QCOMPARE(line->parentWidget(), ui().frmProperties);
        const QRect expected(QPoint(px(twips.x1()), px(twips.y1())),
                             QPoint(px(twips.x2()), px(twips.y2())));
        QCOMPARE(line->geometry(), expected);
        QCOMPARE(line->frameShape(), twips.dy() == 0 ? QFrame::HLine : QFrame::VLine);
    }

    void captionsAndTextsAreTheDesignTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const std::pair<const char*, const char*> rows[] = {
            {"frmTreeView", "Elements"},
            {"frmProperties", "Element properties:"},
            {"frmDiagnostics", "Diagnostics:"},
            {"Label1", "System name:"},
            {"Label2", "System type:"},
            {"Label3", "System IP:"},
            {"Label4", "Network mask:"},
            {"Label5", "MAC address:"},
            {"Label6", "Gateway IP:"},
            {"Label7", "Remote IP:"},
            {"Label8", "Audio type:"},
            {"Label9", "Audio source:"},
            {"Label10", "TX type:"},
            {"Label11", "Ping response:"},
            {"Label12", "Audio level:"},
            {"Label13", "Serial number:"},
            {"Label14", "SFN option:"},
            {"Label15", "N/A"},
            {"Label16", "N/A"},
            {"Label17", "Bounded to:"},
            {"Label18", "VLAN O&&M:"},
            {"Label19", "Audio:"},
            {"Label20", "Buffer size:"},
            {"Label21", "DSP version:"},
            {"Label22", "Audio routing:"},
            {"Label24", "Threshold:"},
            {"Label26", "Timeout:"},
            {"lblElementType", "-"},
            {"lblElementMAC", "-"},
            {"lblVersion", "-"},
            {"lblSerialNumber", "-"},
            {"lblAttenDB", "dB"},
            {"lblLatency", "0mS"},
            {"lblSilDetLevel", "0dBu"},
            {"lblSilDetTime", "0Sec"},
            {"lblPing", "<Unknown>"},
            {"lblVolume", "-oodBFS"},
            {"chkSFNEnabled", "Enabled"},
            {"chkGetVolume", "?"},
            {"txtElementName", ""},
            {"txtElementIP", ""},
            {"txtElementGW", ""},
            {"txtElementMask", ""},
            {"txtRemoteIP", ""},
            {"txtVLAN_OM", "1"},
            {"txtVLAN_Audio", "1"},
        };
        for (const auto& [name, text] : rows)
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(text);
    }

    void captionsAndTextsAreTheDesignTexts()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QWidget* widget = control(name);
        QVERIFY(widget);
        if (auto* label = qobject_cast<QLabel*>(widget))
            QCOMPARE(label->text(), text);
        else if (auto* box = qobject_cast<QLineEdit*>(widget))
            QCOMPARE(box->text(), text);
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            QCOMPARE(button->text(), text);
        else if (auto* frame = qobject_cast<QGroupBox*>(widget))
            QCOMPARE(frame->title(), text);
        else
            QFAIL("no caption to compare");
    }

    // The doubled ampersand is drawn as one, and marks no access key.
    void vlanCaptionShowsASingleAmpersand()
    {
        QLabel plain(QStringLiteral("VLAN O&M:"));
        plain.setFont(ui().Label18->font());
        plain.resize(ui().Label18->size());
        const QImage expected = plain.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage shown = ui().Label18->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown, expected);
    }

    // A caption is shown as the text it is: a stored serial number or
    // version that looks like markup is not rendered as markup.
    void captionsAreShownAsPlainText_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name :
             {"lblElementType", "lblElementMAC", "lblVersion", "lblSerialNumber", "Label9",
              "lblAttenDB", "lblLatency", "lblSilDetLevel", "lblSilDetTime", "lblVolume", "lblPing",
              "Label15", "Label16", "Label2"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void captionsAreShownAsPlainText()
    {
        QFETCH(QString, name);
        auto* label = qobject_cast<QLabel*>(control(name));
        QVERIFY(label);
        label->setText(QStringLiteral("<b>3</b>"));
        QLabel plain;
        plain.setTextFormat(Qt::PlainText);
        plain.setText(label->text());
        plain.setFont(label->font());
        plain.setAlignment(label->alignment());
        plain.resize(label->size());
        QCOMPARE(label->grab().toImage().convertToFormat(QImage::Format_RGB32),
                 plain.grab().toImage().convertToFormat(QImage::Format_RGB32));
    }

    void toolTipsAreTheDesignTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("toolTip");
        QTest::newRow("txtElementName") << "txtElementName"
                                        << "Max 12 chars";
        QTest::newRow("txtVLAN_OM") << "txtVLAN_OM"
                                    << "Max 12 chars";
        QTest::newRow("txtVLAN_Audio") << "txtVLAN_Audio"
                                       << "Max 12 chars";
        QTest::newRow("chkGetVolume") << "chkGetVolume"
                                      << "Show audio level";
        QTest::newRow("Label24") << "Label24"
                                 << "Silence detector trigger level";
        QTest::newRow("Label26") << "Label26"
                                 << "Silence detector time countdown";
        QTest::newRow("lblPing") << "lblPing"
                                 << "Click to test ping";
        QTest::newRow("txtElementIP") << "txtElementIP"
                                      << "";
        QTest::newRow("cmbAudioTX") << "cmbAudioTX"
                                    << "";
    }

    void toolTipsAreTheDesignTexts()
    {
        QFETCH(QString, name);
        QFETCH(QString, toolTip);
        QWidget* widget = control(name);
        QVERIFY(widget);
        QCOMPARE(widget->toolTip(), toolTip);
    }

    void dropDownListsOfferOnlyTheirItems_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("cmbAudioType")
            << "cmbAudioType" << QStringList{QStringLiteral("Left/Right"), QStringLiteral("MPX")};
        QTest::newRow("cmbAudioInput")
            << "cmbAudioInput" << QStringList{QStringLiteral("Digital"), QStringLiteral("Analog")};
        QTest::newRow("cmbAudioTX")
            << "cmbAudioTX" << QStringList{QStringLiteral("Unicast"), QStringLiteral("Multicast")};
        QTest::newRow("cmbEncoders") << "cmbEncoders" << QStringList{};
        QTest::newRow("cmbSilDetMode")
            << "cmbSilDetMode"
            << QStringList{QStringLiteral("Auto detect"), QStringLiteral("Force internal"),
                           QStringLiteral("Force external")};
    }

    void dropDownListsOfferOnlyTheirItems()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, items);
        auto* list = qobject_cast<QComboBox*>(control(name));
        QVERIFY(list);
        QStringList shown;
        for (int i = 0; i < list->count(); ++i)
            shown << list->itemText(i);
        QCOMPARE(shown, items);
        QCOMPARE(list->currentIndex(), -1);
        QVERIFY(!list->isEditable());
        QVERIFY(list->currentText().isEmpty());
    }

    void scrollBarsHaveTheirRangesAndSteps_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        QTest::newRow("scrlAtten") << "scrlAtten" << 14 << 255 << 255;
        QTest::newRow("scrlBuffer") << "scrlBuffer" << 0 << 8 << 0;
        QTest::newRow("scrlSilDetLevel") << "scrlSilDetLevel" << 1 << 154 << 1;
        QTest::newRow("scrlSilDetTime") << "scrlSilDetTime" << 1 << 220 << 1;
    }

    void scrollBarsHaveTheirRangesAndSteps()
    {
        QFETCH(QString, name);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, value);
        auto* bar = qobject_cast<QScrollBar*>(control(name));
        QVERIFY(bar);
        QCOMPARE(bar->orientation(), Qt::Horizontal);
        QCOMPARE(bar->minimum(), minimum);
        QCOMPARE(bar->maximum(), maximum);
        QCOMPARE(bar->value(), value);
        QCOMPARE(bar->singleStep(), 1);
        QCOMPARE(bar->pageStep(), 10);
        QVERIFY(!bar->hasTracking());
    }

    // A dragged thumb reports its value once, when it is let go.
    void scrollBarReportsTheValueAtTheEndOfADrag()
    {
        QScrollBar* bar = ui().scrlSilDetLevel;
        QSignalSpy changes(bar, &QAbstractSlider::valueChanged);
        bar->setSliderDown(true);
        bar->setSliderPosition(40);
        bar->setSliderPosition(80);
        QCOMPARE(changes.count(), 0);
        bar->setSliderDown(false);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.first().first().toInt(), 80);
    }

    void controlsStartInTheirDesignState_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("enabled");
        const std::tuple<const char*, bool, bool> rows[] = {
            {"txtElementName", true, true}, {"txtElementIP", true, true},
            {"txtElementGW", true, true},   {"txtElementMask", true, true},
            {"txtRemoteIP", true, true},    {"txtVLAN_OM", true, false},
            {"txtVLAN_Audio", true, false}, {"cmbAudioType", true, true},
            {"cmbAudioInput", true, true},  {"cmbAudioTX", true, true},
            {"cmbEncoders", true, true},    {"cmbSilDetMode", true, true},
            {"scrlAtten", false, true},     {"lblAttenDB", true, true},
            {"scrlBuffer", true, false},    {"scrlSilDetLevel", true, true},
            {"scrlSilDetTime", true, true}, {"lblSilDetLevel", true, true},
            {"lblSilDetTime", true, true},  {"Label24", true, true},
            {"Label26", true, true},        {"chkSFNEnabled", true, false},
            {"chkGetVolume", false, true},  {"VUMeter", true, false},
            {"shpPing", true, true},        {"lblPing", true, true},
            {"lstHidden", false, true},     {"Slider1", true, true},
            {"Label15", true, true},        {"Label16", true, true},
            {"TreeView1", true, true},      {"Toolbar1", true, true},
        };
        for (const auto& [name, shown, enabled] : rows)
            QTest::newRow(name) << QString::fromLatin1(name) << shown << enabled;
    }

    void controlsStartInTheirDesignState()
    {
        QFETCH(QString, name);
        QFETCH(bool, shown);
        QFETCH(bool, enabled);
        QWidget* widget = control(name);
        QVERIFY(widget);
        QCOMPARE(!widget->isHidden(), shown);
        QCOMPARE(widget->isEnabled(), enabled);
    }

    void checkBoxesStartUnchecked()
    {
        QVERIFY(!ui().chkSFNEnabled->isChecked());
        QVERIFY(ui().chkGetVolume->isCheckable());
        QVERIFY(!ui().chkGetVolume->isChecked());
    }

    void textBoxesRefuseInputBeyondTheirLength_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("maxLength");
        QTest::newRow("txtElementName") << "txtElementName" << 16;
        QTest::newRow("txtElementIP") << "txtElementIP" << 15;
        QTest::newRow("txtElementGW") << "txtElementGW" << 15;
        QTest::newRow("txtElementMask") << "txtElementMask" << 15;
        QTest::newRow("txtRemoteIP") << "txtRemoteIP" << 15;
        QTest::newRow("txtVLAN_OM") << "txtVLAN_OM" << 16;
        QTest::newRow("txtVLAN_Audio") << "txtVLAN_Audio" << 16;
    }

    void textBoxesRefuseInputBeyondTheirLength()
    {
        QFETCH(QString, name);
        QFETCH(int, maxLength);
        auto* box = qobject_cast<QLineEdit*>(control(name));
        QVERIFY(box);
        QCOMPARE(box->maxLength(), maxLength);
    }

    void namedFontsAreTahomaOrItsStandIn_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qreal>("pointSize");
        QTest::addColumn<bool>("bold");
        QTest::newRow("lblLatency") << "lblLatency" << 6.75 << false;
        QTest::newRow("lblSilDetLevel") << "lblSilDetLevel" << 6.75 << false;
        QTest::newRow("lblSilDetTime") << "lblSilDetTime" << 6.75 << false;
        QTest::newRow("lblPing") << "lblPing" << 8.25 << true;
    }

    void namedFontsAreTahomaOrItsStandIn()
    {
        QFETCH(QString, name);
        QFETCH(qreal, pointSize);
        QFETCH(bool, bold);
        QWidget* widget = control(name);
        QVERIFY(widget);
        QCOMPARE(widget->font().family(), UiFonts::family());
        QCOMPARE(widget->font().pointSizeF(), pointSize);
        QCOMPARE(widget->font().bold(), bold);
    }

    // The labels that change their caption hold their widest value uncut.
    void changingCaptionsFitTheirWidestValue_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("widest");
        QTest::newRow("type") << "lblElementType"
                              << "UNKNOWN";
        QTest::newRow("MAC") << "lblElementMAC"
                             << "DD:DD:DD:DD:DD:DD";
        QTest::newRow("version") << "lblVersion"
                                 << "4294967295.00";
        QTest::newRow("serial") << "lblSerialNumber"
                                << "-2147483648";
        QTest::newRow("atten caption") << "Label9"
                                       << "Audio source:";
        QTest::newRow("decoder caption") << "Label9"
                                         << "Audio atten:";
        QTest::newRow("latency") << "lblLatency"
                                 << "17.5mS";
        QTest::newRow("level") << "lblSilDetLevel"
                               << "-49.8dBu";
        QTest::newRow("time") << "lblSilDetTime"
                              << "100.1Sec";
        QTest::newRow("volume") << "lblVolume"
                                << "-138.5dBFS";
    }

    void changingCaptionsFitTheirWidestValue()
    {
        QFETCH(QString, name);
        QFETCH(QString, widest);
        auto* label = qobject_cast<QLabel*>(control(name));
        QVERIFY(label);
        QVERIFY2(label->fontMetrics().horizontalAdvance(widest) <= label->contentsRect().width(),
                 qPrintable(QStringLiteral("%1 px wide").arg(label->width())));
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
    }

    void pingCaptionIsCentredAndReachableByKeyboard()
    {
        CaptionLabel* ping = ui().lblPing;
        QCOMPARE(ping->alignment(), Qt::AlignCenter);
        QVERIFY(ping->focusPolicy() & Qt::TabFocus);
        QSignalSpy clicks(ping, &CaptionLabel::clicked);
        QTest::keyClick(ping, Qt::Key_Space);
        QCOMPARE(clicks.count(), 1);
    }

    // A screen reader reads a field by its caption, and a label that shows a
    // value by the value it shows now; either way the caption is its label.
    // The value is set after the reader has asked once: the name follows it.
    void screenReaderReadsCaptionsAndValues_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("buddy");
        const std::tuple<const char*, const char*, const char*, const char*, bool> rows[] = {
            {"Label1", "txtElementName", nullptr, "System name", true},
            {"Label8", "cmbAudioType", nullptr, "Audio type", true},
            {"Label3", "txtElementIP", nullptr, "System IP", true},
            {"Label9", "cmbAudioInput", nullptr, "Audio source", true},
            {"Label6", "txtElementGW", nullptr, "Gateway IP", true},
            {"Label10", "cmbAudioTX", nullptr, "TX type", true},
            {"Label4", "txtElementMask", nullptr, "Network mask", true},
            {"Label7", "txtRemoteIP", nullptr, "Remote IP", true},
            {"Label18", "txtVLAN_OM", nullptr, "VLAN O&M", true},
            {"Label19", "txtVLAN_Audio", nullptr, "Audio", true},
            {"Label17", "cmbEncoders", nullptr, "Bounded to", true},
            {"Label14", "chkSFNEnabled", nullptr, "SFN option", true},
            {"Label20", "scrlBuffer", nullptr, "Buffer size", true},
            {"Label24", "scrlSilDetLevel", nullptr, "Threshold", true},
            {"Label22", "cmbSilDetMode", nullptr, "Audio routing", true},
            {"Label26", "scrlSilDetTime", nullptr, "Timeout", true},
            {"Label12", "VUMeter", nullptr, "Audio level", true},
            {"Label2", "lblElementType", "DECODER", "DECODER", true},
            {"Label5", "lblElementMAC", "00:1A:2B:3C:4D:5E", "00:1A:2B:3C:4D:5E", true},
            {"Label21", "lblVersion", "3.40", "3.40", true},
            {"Label13", "lblSerialNumber", "10&01", "10&01", true},
            {"Label11", "lblPing", "<Click to test>", "<Click to test>", true},
            {"Label9", "lblAttenDB", "-27.5 dB", "-27.5 dB", false},
            {"Label20", "lblLatency", "2.5mS", "2.5mS", false},
            {"Label24", "lblSilDetLevel", "-18.4dBu", "-18.4dBu", false},
            {"Label26", "lblSilDetTime", "19.6Sec", "19.6Sec", false},
            {"Label12", "lblVolume", "-20dBFS", "-20dBFS", false},
            {"Label10", "Label15", "N/A", "N/A", false},
        };
        for (const auto& [caption, field, value, name, buddy] : rows)
            QTest::newRow(field) << QString::fromLatin1(caption) << QString::fromLatin1(field)
                                 << QString::fromLatin1(value) << QString::fromLatin1(name)
                                 << buddy;
    }

    void screenReaderReadsCaptionsAndValues()
    {
        QFETCH(QString, caption);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, name);
        QFETCH(bool, buddy);
        auto* label = qobject_cast<QLabel*>(control(caption));
        QWidget* target = control(field);
        QVERIFY(label && target);
        QCOMPARE(label->buddy() == target, buddy);
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(target);
        QVERIFY(reader);
        if (!value.isNull()) {
            QCOMPARE(reader->text(QAccessible::Name), qobject_cast<QLabel*>(target)->text());
            if (auto* captionLabel = qobject_cast<CaptionLabel*>(target))
                captionLabel->setCaption(value);
            else
                qobject_cast<QLabel*>(target)->setText(value);
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

    void focusFollowsTheDesignOrder()
    {
        const QStringList expected{
            QStringLiteral("Toolbar1"),       QStringLiteral("TreeView1"),
            QStringLiteral("txtElementName"), QStringLiteral("txtElementIP"),
            QStringLiteral("txtElementGW"),   QStringLiteral("txtElementMask"),
            QStringLiteral("txtVLAN_OM"),     QStringLiteral("cmbAudioType"),
            QStringLiteral("cmbAudioInput"),  QStringLiteral("scrlAtten"),
            QStringLiteral("cmbAudioTX"),     QStringLiteral("txtRemoteIP"),
            QStringLiteral("txtVLAN_Audio"),  QStringLiteral("cmbEncoders"),
            QStringLiteral("chkSFNEnabled"),  QStringLiteral("scrlBuffer"),
            QStringLiteral("cmbSilDetMode"),  QStringLiteral("scrlSilDetLevel"),
            QStringLiteral("scrlSilDetTime"), QStringLiteral("lblPing")};
        QStringList chain;
        QWidget* widget = ui().Toolbar1;
        for (int steps = 0; steps < 2000 && chain.size() < expected.size(); ++steps) {
            if (expected.contains(widget->objectName()) && !chain.contains(widget->objectName()))
                chain << widget->objectName();
            widget = widget->nextInFocusChain();
            if (widget == ui().Toolbar1)
                break;
        }
        QCOMPARE(chain, expected);
    }

    // The slider lies outside the window and the level button is always
    // hidden: neither may take the focus out of view.
    void controlsOutOfSightTakeNoFocus_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("Slider1") << "Slider1";
        QTest::newRow("chkGetVolume") << "chkGetVolume";
    }
    void controlsOutOfSightTakeNoFocus()
    {
        QFETCH(QString, name);
        QCOMPARE(control(name)->focusPolicy(), Qt::NoFocus);
        QVERIFY(!m_window->centralWidget()->rect().intersects(ui().Slider1->geometry()));
    }

    // Tab skips what is hidden or disabled, and the slider lying outside the
    // window: the focus never disappears from view.
    void tabSkipsHiddenDisabledAndInvisibleControls()
    {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->activateWindow();
        ui().txtElementMask->setFocus(Qt::TabFocusReason);
        if (QApplication::focusWidget() != ui().txtElementMask)
            QSKIP("this platform gives no keyboard focus to the window");
        const QWidget* expected[] = {ui().cmbAudioType,    ui().cmbAudioInput,  ui().cmbAudioTX,
                                     ui().txtRemoteIP,     ui().cmbEncoders,    ui().cmbSilDetMode,
                                     ui().scrlSilDetLevel, ui().scrlSilDetTime, ui().lblPing};
        for (const QWidget* next : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), next->objectName());
        }
    }

    void timersAreMadeByTheFactoryAndStartDisabled_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("interval");
        QTest::newRow("timerRemoteSent") << "timerRemoteSent" << 3000;
        QTest::newRow("timerGetMAC") << "timerGetMAC" << 5000;
        QTest::newRow("tmrRetryPing") << "tmrRetryPing" << 1000;
        QTest::newRow("tmrVolume") << "tmrVolume" << 50;
        QTest::newRow("tmrSpectrum") << "tmrSpectrum" << 80;
    }

    void timersAreMadeByTheFactoryAndStartDisabled()
    {
        QFETCH(QString, name);
        QFETCH(int, interval);
        test::ManualTimer* timer = m_timers.timer(name);
        QVERIFY(timer);
        QCOMPARE(timer->interval(), interval);
        QVERIFY(!timer->isEnabled());
        const std::pair<const char*, Timer*> members[] = {
            {"timerRemoteSent", ui().timerRemoteSent}, {"timerGetMAC", ui().timerGetMAC},
            {"tmrRetryPing", ui().tmrRetryPing},       {"tmrVolume", ui().tmrVolume},
            {"tmrSpectrum", ui().tmrSpectrum},
        };
        for (const auto& [member, pointer] : members) {
            if (name == QLatin1String(member))
                QCOMPARE(pointer, static_cast<Timer*>(timer));
        }
    }

    void windowHasItsDesignFrame()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Veltrino NMS - Orbelund Broadcast"));
        QCOMPARE(m_window->objectName(), QStringLiteral("frmMain"));
        QCOMPARE(m_window->minimumSize(), QSize(720, 394));
        QCOMPARE(m_window->maximumSize(), QSize(720, 394));
        QCOMPARE(m_window->centralWidget()->size(), QSize(720, 394));
        const Qt::WindowFlags flags = m_window->windowFlags();
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!m_window->windowIcon().isNull());
        QVERIFY(m_window->windowIcon().availableSizes().contains(QSize(32, 32)));
    }

    void toolbarButtonsByIndex_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("toolTip");
        QTest::addColumn<int>("image");
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::newRow("1") << 1 << "Discover elements" << 1
                           << QKeySequence(QStringLiteral("Ctrl+D"));
        QTest::newRow("2") << 2 << "Refresh list" << 2 << QKeySequence(QStringLiteral("F5"));
        QTest::newRow("3") << 3 << "" << 0 << QKeySequence();
        QTest::newRow("4") << 4 << "Save changes" << 3 << QKeySequence(QStringLiteral("Ctrl+S"));
        QTest::newRow("5") << 5 << "" << 0 << QKeySequence();
        QTest::newRow("6") << 6 << "Start audio monitoring" << 4
                           << QKeySequence(QStringLiteral("Ctrl+M"));
        QTest::newRow("7") << 7 << "Stop audio monitoring" << 5
                           << QKeySequence(QStringLiteral("Ctrl+Shift+M"));
    }

    void toolbarButtonsByIndex()
    {
        QFETCH(int, index);
        QFETCH(QString, toolTip);
        QFETCH(int, image);
        QFETCH(QKeySequence, shortcut);
        QAction* action = ui().Toolbar1Buttons[index];
        QVERIFY(action);
        QCOMPARE(ui().Toolbar1->actions().indexOf(action), index - 1);
        QCOMPARE(action->isSeparator(), image == 0);
        QVERIFY(action->isEnabled());
        if (image == 0)
            return;
        QCOMPARE(action->toolTip(), toolTip);
        QCOMPARE(action->shortcut(), shortcut);
        QCOMPARE(action->icon().cacheKey(), ui().ImageList1[image].cacheKey());
    }

    void toolbarShowsImagesOnly()
    {
        QCOMPARE(ui().Toolbar1->actions().size(), 7);
        QCOMPARE(ui().Toolbar1->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QVERIFY(!ui().Toolbar1->isMovable());
        QVERIFY(ui().Toolbar1Buttons[0] == nullptr);
    }

    void treeIsAFlatListWithImages()
    {
        QTreeWidget* tree = ui().TreeView1;
        QVERIFY(!tree->rootIsDecorated());
        QVERIFY(tree->isHeaderHidden());
        QCOMPARE(tree->topLevelItemCount(), 0);
        QCOMPARE(tree->iconSize(), QSize(16, 16));
    }

    void imageListHoldsSevenSmallImagesWithTransparentBackground_data()
    {
        QTest::addColumn<int>("index");
        for (int index = 1; index <= 7; ++index)
            QTest::newRow(qPrintable(QString::number(index))) << index;
    }

    void imageListHoldsSevenSmallImagesWithTransparentBackground()
    {
        QFETCH(int, index);
        const QIcon& icon = ui().ImageList1[index];
        QVERIFY(!icon.isNull());
        QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
        const QImage image = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(16, 16));
        for (QPoint corner : {QPoint(0, 0), QPoint(15, 0), QPoint(0, 15), QPoint(15, 15)})
            QCOMPARE(qAlpha(image.pixel(corner)), 0);
        int opaque = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (qAlpha(pixel) == 0)
                    continue;
                ++opaque;
                QVERIFY2((pixel & RGB_MASK) != 0xffff00, "yellow left opaque");
            }
        }
        QVERIFY2(opaque >= 40, "the picture is almost empty");
    }

    void imageListFilesHaveTheYellowKeyBackground()
    {
        for (int index = 1; index <= 7; ++index) {
            const QImage file(ImageResources::imageListPath(index));
            QCOMPARE(file.size(), QSize(16, 16));
            QCOMPARE(QColor(file.pixel(0, 0)), QColor(255, 255, 0));
        }
        const QImage program(ImageResources::programIconPath());
        QCOMPARE(program.size(), QSize(32, 32));
        QVERIFY(!program.hasAlphaChannel());
        QCOMPARE(QColor(program.pixel(0, 31)), QColor(Qt::black));
    }

    void keyColourBecomesTransparentAndNothingElse()
    {
        QImage image(2, 1, QImage::Format_RGB32);
        image.setPixel(0, 0, qRgb(255, 255, 0));
        image.setPixel(1, 0, qRgb(255, 254, 0));
        const QImage keyed = ImageResources::withKeyTransparent(image, QColor(255, 255, 0));
        QCOMPARE(qAlpha(keyed.pixel(0, 0)), 0);
        QCOMPARE(keyed.pixel(1, 0), qRgba(255, 254, 0, 255));
    }

    // Every caption the attenuation readout can show (Mute, 0 dB ... -120 dB)
    // is shown whole and inside its frame.
    void attenuationCaptionsFitTheirPlace()
    {
        auto* label = control(QStringLiteral("lblAttenDB"));
        QVERIFY(label != nullptr);
        auto* caption = qobject_cast<QLabel*>(label);
        QVERIFY(caption != nullptr);
        const QWidget* frame = label->parentWidget();
        QVERIFY2(
            label->geometry().right() < frame->width() - 2,
            qPrintable(
                QStringLiteral("%1 of %2").arg(label->geometry().right()).arg(frame->width())));
        QStringList captions{QStringLiteral("Mute"), QStringLiteral("dB")};
        for (int value = 15; value <= 255; ++value)
            captions << QString::number((value - 255) * 0.5) + QStringLiteral(" dB");
        for (const QString& text : captions) {
            QVERIFY2(caption->fontMetrics().horizontalAdvance(text) <= label->width(),
                     qPrintable(text));
        }
    }

    void fieldsCoverTheirStandInLabels_data()
    {
        QTest::addColumn<QString>("below");
        QTest::addColumn<QString>("above");
        QTest::newRow("TX type") << "Label15"
                                 << "cmbAudioTX";
        QTest::newRow("remote IP") << "Label16"
                                   << "txtRemoteIP";
        QTest::newRow("dB") << "lblAttenDB"
                            << "cmbAudioInput";
        QTest::newRow("ping") << "shpPing"
                              << "lblPing";
        QTest::newRow("bracket") << "Line1"
                                 << "cmbSilDetMode";
    }

    // Later children are drawn on top of earlier ones.
    void fieldsCoverTheirStandInLabels()
    {
        QFETCH(QString, below);
        QFETCH(QString, above);
        QWidget* lower = control(below);
        QWidget* upper = control(above);
        QVERIFY(lower && upper);
        QCOMPARE(lower->parentWidget(), upper->parentWidget());
        const QObjectList stack = lower->parentWidget()->children();
        QVERIFY(stack.indexOf(lower) < stack.indexOf(upper));
    }

    void standInLabelShowsOnlyWhereItsFieldIsHidden_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("field");
        QTest::newRow("TX type") << "Label15"
                                 << "cmbAudioTX";
        QTest::newRow("remote IP") << "Label16"
                                   << "txtRemoteIP";
    }

    void standInLabelShowsOnlyWhereItsFieldIsHidden()
    {
        QFETCH(QString, label);
        QFETCH(QString, field);
        QWidget* standIn = control(label);
        QWidget* cover = control(field);
        QWidget* frame = ui().frmProperties;
        const QRect place = cover->geometry();
        auto shown = [&] { return frame->grab(place).toImage(); };

        const QImage fieldOverLabel = shown();
        standIn->hide();
        QCOMPARE(shown(), fieldOverLabel);
        cover->hide();
        const QImage neither = shown();
        standIn->show();
        QVERIFY2(shown() != neither, "the stand-in label does not show");
    }

    void levelBarIsTheColourRampInsideItsPictureBox()
    {
        VuMeterImage* meter = ui().VUMeter;
        QCOMPARE(meter->parentWidget(), ui().Picture2);
        QCOMPARE(meter->widthTwips(), 2100);
        QCOMPARE(meter->ramp().size(), QSize(140, 16));
    }

    void levelRampRunsFromBlueToOrange_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<int>("tolerance");
        QTest::newRow("blue") << 0 << QColor(0, 0, 255) << 0;
        QTest::newRow("cyan") << 35 << QColor(0, 255, 255) << 4;
        QTest::newRow("green") << 70 << QColor(0, 255, 0) << 4;
        QTest::newRow("yellow") << 104 << QColor(255, 255, 0) << 4;
        QTest::newRow("orange") << 139 << QColor(255, 128, 0) << 0;
    }

    void levelRampRunsFromBlueToOrange()
    {
        QFETCH(int, column);
        QFETCH(QColor, colour);
        QFETCH(int, tolerance);
        const QImage& ramp = ui().VUMeter->ramp();
        for (int y : {0, 8, 15})
            QVERIFY2(sameRgb(QColor(ramp.pixel(column, y)), colour, tolerance),
                     qPrintable(QColor(ramp.pixel(column, y)).name()));
    }

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
        meter->setWidthTwips(twips);
        QCOMPARE(meter->width(), pixels);
        QCOMPARE(meter->widthTwips(), qBound(0, twips, 2100));
        if (pixels == 0)
            return;
        const QImage shown = meter->grab().toImage();
        QCOMPARE(shown.size(), QSize(pixels, 16));
        for (int x : {0, pixels / 2, pixels - 1})
            QCOMPARE(QColor(shown.pixel(x, 8)), QColor(meter->ramp().pixel(x, 8)));
    }

    void pingShapeStartsLightYellow()
    {
        ShapeWidget* shape = ui().shpPing;
        QCOMPARE(shape->fillColor(), QColor(255, 255, 192));
        const QImage shown = shape->grab().toImage();
        QCOMPARE(QColor(shown.pixel(shown.width() / 2, shown.height() / 2)), QColor(255, 255, 192));
    }
};

QTEST_MAIN(FrmMainCatalogueTest)
#include "tst_FrmMainCatalogue.moc"
