#include "ui/FrmMain.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QToolBar>
#include <QTreeWidget>

#include "db/RecordValues.h"
#include "platform/Timer.h"
#include "platform/TimerFactory.h"
#include "ui/CaptionLabel.h"
#include "ui/ImageResources.h"
#include "ui/ShapeWidget.h"
#include "ui/UiFonts.h"
#include "ui/ValueLabelAccessible.h"
#include "ui/VuMeterImage.h"

namespace nms {

namespace {

// Columns of the properties panel, in twips.
constexpr int kLeftCaption = 240;
constexpr int kLeftField = 1320;
constexpr int kRightCaption = 3600;
constexpr int kRightField = 4680;
constexpr int kReadout = 5880;

// Design sizes of the panel's fields, in twips.
constexpr int kFieldWidth = 1575;
constexpr int kTextBoxHeight = 285;
constexpr int kDropDownHeight = 315;
constexpr int kVlanWidth = 495;
constexpr int kScrollWidth = 1095;
constexpr int kScrollHeight = 160;

constexpr int kNameMaxLength = record::kNameLength;
constexpr int kAddressMaxLength = record::kAddressLength;
constexpr int kPageStep = 10;

// Labels whose caption changes at run time keep a fixed width that holds
// their longest value, so a longer caption is never cut off.
constexpr int kLeftValueWidth = 145;
constexpr int kRightValueWidth = 115;
constexpr int kReadoutWidth = 39;
constexpr int kAttenReadoutWidth = 44;
constexpr int kVolumeWidth = 54;

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(FrmMain::twipsToPixels(left), FrmMain::twipsToPixels(top),
                 FrmMain::twipsToPixels(width), FrmMain::twipsToPixels(height));
}

QPoint twipsPoint(int left, int top)
{
    return QPoint(FrmMain::twipsToPixels(left), FrmMain::twipsToPixels(top));
}

template <typename Widget> Widget* named(Widget* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// A caption is display text: a stored value that looks like markup (a
// hand-edited serial number, say) is shown as it is, never rendered.
template <typename Label> Label* addLabel(QWidget* parent, const char* name, const QString& caption)
{
    auto* label = named(new Label(caption, parent), name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A label that sizes itself to its caption.
QLabel* addCaption(QWidget* parent, const char* name, const QString& caption, int left, int top)
{
    auto* label = addLabel<QLabel>(parent, name, caption);
    label->adjustSize();
    label->move(twipsPoint(left, top));
    return label;
}

// A label whose caption the program changes: as high as its caption, as wide
// as the longest value it shows.
template <typename Label>
Label* addValueLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                     int widthPixels)
{
    auto* label = addLabel<Label>(parent, name, caption);
    label->adjustSize();
    label->setGeometry(QRect(twipsPoint(left, top), QSize(widthPixels, label->height())));
    return label;
}

QLineEdit* addTextBox(QWidget* parent, const char* name, int left, int top, int width,
                      int maxLength)
{
    auto* box = named(new QLineEdit(parent), name);
    box->setGeometry(twipsRect(left, top, width, kTextBoxHeight));
    box->setMaxLength(maxLength);
    return box;
}

QComboBox* addDropDown(QWidget* parent, const char* name, int left, int top,
                       const QStringList& items)
{
    auto* list = named(new QComboBox(parent), name);
    list->setEditable(false);
    list->addItems(items);
    list->setCurrentIndex(-1);
    list->setGeometry(twipsRect(left, top, kFieldWidth, kDropDownHeight));
    return list;
}

QScrollBar* addScrollBar(QWidget* parent, const char* name, int left, int top, int minimum,
                         int maximum, int value)
{
    auto* bar = named(new QScrollBar(Qt::Horizontal, parent), name);
    bar->setRange(minimum, maximum);
    bar->setValue(value);
    bar->setSingleStep(1);
    bar->setPageStep(kPageStep);
    // A value change is reported when the operator lets go, not while dragging.
    bar->setTracking(false);
    // Reachable by the keyboard like every other field of the panel.
    bar->setFocusPolicy(Qt::StrongFocus);
    bar->setGeometry(twipsRect(left, top, kScrollWidth, kScrollHeight));
    return bar;
}

// A one-pixel line from (x1, y1) to (x2, y2), horizontal or vertical.
QFrame* addLine(QWidget* parent, const char* name, int x1, int y1, int x2, int y2)
{
    auto* line = named(new QFrame(parent), name);
    const bool horizontal = (y1 == y2);
    line->setFrameShape(horizontal ? QFrame::HLine : QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    const QPoint from = twipsPoint(qMin(x1, x2), qMin(y1, y2));
    const QPoint to = twipsPoint(qMax(x1, x2), qMax(y1, y2));
    line->setGeometry(from.x(), from.y(), horizontal ? to.x() - from.x() + 1 : 1,
                      horizontal ? 1 : to.y() - from.y() + 1);
    return line;
}

QGroupBox* addFrame(QWidget* parent, const char* name, const QString& caption, int left, int top,
                    int width, int height)
{
    auto* frame = named(new QGroupBox(caption, parent), name);
    frame->setGeometry(twipsRect(left, top, width, height));
    return frame;
}

// The caption as a screen reader reads it: no trailing colon, "&&" shown as "&".
QString accessibleCaption(const QString& caption)
{
    QString text = caption;
    text.replace(QStringLiteral("&&"), QStringLiteral("&"));
    if (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text;
}

// Labels, shapes and lines are painted on their frame, beneath every field:
// "N/A" shows only where its field is hidden, "dB" only where the drop-down
// that shares its place is hidden.
bool isPaintedOnFrame(QObject* child)
{
    if (qobject_cast<QLabel*>(child) || qobject_cast<ShapeWidget*>(child))
        return true;
    auto* frame = qobject_cast<QFrame*>(child);
    return frame && (frame->frameShape() == QFrame::HLine || frame->frameShape() == QFrame::VLine);
}

void lowerPaintedControls(QWidget* frame)
{
    QList<QWidget*> painted;
    for (QObject* child : frame->children()) {
        if (child->isWidgetType() && isPaintedOnFrame(child))
            painted.append(static_cast<QWidget*>(child));
    }
    // Lowering from the last to the first keeps their order among themselves.
    for (auto it = painted.rbegin(); it != painted.rend(); ++it)
        (*it)->lower();
}

// The longest ping results do not fit the label in the design font; they are
// shown in a smaller one rather than cut off at both ends.
void fitPingCaption(QLabel* label)
{
    constexpr qreal kSmallestPointSize = 6.0;
    constexpr qreal kStep = 0.75;
    QFont font = UiFonts::pingFont();
    while (font.pointSizeF() - kStep >= kSmallestPointSize &&
           QFontMetrics(font).horizontalAdvance(label->text()) > label->contentsRect().width())
        font.setPointSizeF(font.pointSizeF() - kStep);
    label->setFont(font);
}

void linkCaption(QLabel* caption, QWidget* field)
{
    caption->setBuddy(field);
    field->setAccessibleName(accessibleCaption(caption->text()));
}

} // namespace

int FrmMain::twipsToPixels(int twips)
{
    return qRound(twips / 15.0);
}

FrmMain::FrmMain(TimerFactory& timers, QWidget* parent)
    : QMainWindow(parent)
{
    setUpWindow();
    loadImages();

    auto* client = named(new QWidget(this), "frmMainClient");
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    buildToolbar(client);
    buildTreeFrame(client);
    buildPropertiesFrame(client);
    buildDiagnosticsFrame(client);
    buildHiddenControls(client);
    buildTimers(timers);
    linkCaptionsToFields();
    setFocusOrder();
}

FrmMain::~FrmMain() = default;

void FrmMain::setUpWindow()
{
    m_controls.frmMain = this;
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(kDesignCaption));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(UiFonts::windowFont());
    setWindowIcon(ImageResources::programIcon());
}

void FrmMain::loadImages()
{
    for (int index = 1; index <= ImageResources::kImageListCount; ++index)
        m_controls.ImageList1[index] = ImageResources::imageListIcon(index);
}

void FrmMain::buildToolbar(QWidget* client)
{
    auto* toolbar = named(new QToolBar(client), "Toolbar1");
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(16, 16));
    toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolbar->setGeometry(twipsRect(0, 0, 10800, 360));
    m_controls.Toolbar1 = toolbar;

    struct ButtonDesign {
        int index;
        const char* toolTip;
        int image;
        QKeySequence shortcut;
    };
    const ButtonDesign buttons[] = {
        {1, "Discover elements", 1, QKeySequence(Qt::CTRL | Qt::Key_D)},
        {2, "Refresh list", 2, QKeySequence(Qt::Key_F5)},
        {4, "Save changes", 3, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {6, "Start audio monitoring", 4, QKeySequence(Qt::CTRL | Qt::Key_M)},
        {7, "Stop audio monitoring", 5, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M)},
    };
    int next = 1;
    for (const ButtonDesign& design : buttons) {
        for (; next < design.index; ++next) {
            QAction* separator = toolbar->addSeparator();
            separator->setObjectName(QStringLiteral("Toolbar1Button%1").arg(next));
            m_controls.Toolbar1Buttons[next] = separator;
        }
        auto* action = new QAction(m_controls.ImageList1[design.image],
                                   QString::fromLatin1(design.toolTip), toolbar);
        action->setObjectName(QStringLiteral("Toolbar1Button%1").arg(design.index));
        action->setToolTip(QString::fromLatin1(design.toolTip));
        action->setShortcut(design.shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        toolbar->addAction(action);
        m_controls.Toolbar1Buttons[design.index] = action;
        next = design.index + 1;
    }
}

void FrmMain::buildTreeFrame(QWidget* client)
{
    auto* frame = addFrame(client, "frmTreeView", QStringLiteral("Elements"), 120, 480, 3975, 5295);
    m_controls.frmTreeView = frame;

    auto* tree = named(new QTreeWidget(frame), "TreeView1");
    tree->setGeometry(twipsRect(120, 240, 3735, 4935));
    tree->setColumnCount(1);
    tree->setHeaderHidden(true);
    tree->setRootIsDecorated(false);
    tree->setIconSize(QSize(16, 16));
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_controls.TreeView1 = tree;
}

void FrmMain::buildPropertiesFrame(QWidget* client)
{
    auto* frame = addFrame(client, "frmProperties", QStringLiteral("Element properties:"), 4200,
                           480, 6495, 3975);
    m_controls.frmProperties = frame;
    buildIdentityRows(frame);
    buildNetworkRows(frame);
    buildAudioRows(frame);
    buildSilenceDetectorRows(frame);
    buildBracketLines(frame);
    lowerPaintedControls(frame);
}

void FrmMain::buildIdentityRows(QWidget* frame)
{
    auto& c = m_controls;
    c.Label2 = addCaption(frame, "Label2", QStringLiteral("System type:"), kLeftCaption, 360);
    c.lblElementType = addValueLabel<CaptionLabel>(frame, "lblElementType", QStringLiteral("-"),
                                                   kLeftField, 360, kLeftValueWidth);
    c.Label5 = addCaption(frame, "Label5", QStringLiteral("MAC address:"), kRightCaption, 360);
    c.lblElementMAC = addValueLabel<CaptionLabel>(frame, "lblElementMAC", QStringLiteral("-"),
                                                  kRightField, 360, kRightValueWidth);

    c.Label21 = addCaption(frame, "Label21", QStringLiteral("DSP version:"), kLeftCaption, 720);
    c.lblVersion = addValueLabel<CaptionLabel>(frame, "lblVersion", QStringLiteral("-"), kLeftField,
                                               720, kLeftValueWidth);
    c.Label13 = addCaption(frame, "Label13", QStringLiteral("Serial number:"), kRightCaption, 720);
    c.lblSerialNumber = addValueLabel<CaptionLabel>(frame, "lblSerialNumber", QStringLiteral("-"),
                                                    kRightField, 720, kRightValueWidth);
}

void FrmMain::buildNetworkRows(QWidget* frame)
{
    auto& c = m_controls;
    c.Label1 = addCaption(frame, "Label1", QStringLiteral("System name:"), kLeftCaption, 1080);
    c.txtElementName =
        addTextBox(frame, "txtElementName", kLeftField, 1080, kFieldWidth, kNameMaxLength);
    c.txtElementName->setToolTip(QStringLiteral("Max 12 chars"));

    c.Label3 = addCaption(frame, "Label3", QStringLiteral("System IP:"), kLeftCaption, 1440);
    c.txtElementIP =
        addTextBox(frame, "txtElementIP", kLeftField, 1440, kFieldWidth, kAddressMaxLength);
    c.Label6 = addCaption(frame, "Label6", QStringLiteral("Gateway IP:"), kLeftCaption, 1800);
    c.txtElementGW =
        addTextBox(frame, "txtElementGW", kLeftField, 1800, kFieldWidth, kAddressMaxLength);
    c.Label4 = addCaption(frame, "Label4", QStringLiteral("Network mask:"), kLeftCaption, 2160);
    c.txtElementMask =
        addTextBox(frame, "txtElementMask", kLeftField, 2160, kFieldWidth, kAddressMaxLength);

    c.Label18 = addCaption(frame, "Label18", QStringLiteral("VLAN O&&M:"), kLeftCaption, 2565);
    c.txtVLAN_OM = addTextBox(frame, "txtVLAN_OM", kLeftField, 2520, kVlanWidth, kNameMaxLength);
    c.Label19 = addCaption(frame, "Label19", QStringLiteral("Audio:"), 1920, 2565);
    c.txtVLAN_Audio = addTextBox(frame, "txtVLAN_Audio", 2400, 2520, kVlanWidth, kNameMaxLength);
    for (QLineEdit* vlan : {c.txtVLAN_OM, c.txtVLAN_Audio}) {
        vlan->setText(QStringLiteral("1"));
        vlan->setToolTip(QStringLiteral("Max 12 chars"));
        vlan->setEnabled(false);
    }

    c.Label14 = addCaption(frame, "Label14", QStringLiteral("SFN option:"), kLeftCaption, 3000);
    c.chkSFNEnabled = named(new QCheckBox(QStringLiteral("Enabled"), frame), "chkSFNEnabled");
    c.chkSFNEnabled->setGeometry(twipsRect(kLeftField, 3000, kFieldWidth, 255));
    c.chkSFNEnabled->setChecked(false);
    c.chkSFNEnabled->setEnabled(false);

    c.chkGetVolume = named(new QPushButton(QStringLiteral("?"), frame), "chkGetVolume");
    c.chkGetVolume->setCheckable(true);
    c.chkGetVolume->setChecked(false);
    c.chkGetVolume->setToolTip(QStringLiteral("Show audio level"));
    c.chkGetVolume->setGeometry(twipsRect(3000, 2280, 255, 255));
    c.chkGetVolume->hide();
    // Always hidden; the toolbar's monitoring buttons work it. It takes no
    // place in the focus order.
    c.chkGetVolume->setFocusPolicy(Qt::NoFocus);
}

void FrmMain::buildAudioRows(QWidget* frame)
{
    auto& c = m_controls;
    c.Label8 = addCaption(frame, "Label8", QStringLiteral("Audio type:"), kRightCaption, 1080);
    c.cmbAudioType = addDropDown(frame, "cmbAudioType", kRightField, 1080,
                                 {QStringLiteral("Left/Right"), QStringLiteral("MPX")});

    // Label9 reads "Audio source:" or "Audio atten:" by element type.
    c.Label9 = addCaption(frame, "Label9", QStringLiteral("Audio atten:"), kRightCaption, 1440);
    const int label9Width = c.Label9->width();
    c.Label9->setText(QStringLiteral("Audio source:"));
    c.Label9->adjustSize();
    c.Label9->resize(qMax(label9Width, c.Label9->width()), c.Label9->height());
    c.cmbAudioInput = addDropDown(frame, "cmbAudioInput", kRightField, 1440,
                                  {QStringLiteral("Digital"), QStringLiteral("Analog")});
    c.scrlAtten = addScrollBar(frame, "scrlAtten", kRightField, 1515, record::kAttenuationMute,
                               record::kAttenuationMax, record::kAttenuationMax);
    c.scrlAtten->hide();
    // The attenuation readout runs up to "-120.5 dB" in the space between
    // the bar and the frame's edge: it takes the small readout font of the
    // other bars' readouts and a fixed width that holds its longest caption.
    c.lblAttenDB = addValueLabel<QLabel>(frame, "lblAttenDB", QStringLiteral("dB"), 5800, 1500,
                                         kAttenReadoutWidth);
    c.lblAttenDB->setFont(UiFonts::readoutFont());
    c.lblAttenDB->resize(kAttenReadoutWidth, c.lblAttenDB->sizeHint().height());

    c.Label10 = addCaption(frame, "Label10", QStringLiteral("TX type:"), kRightCaption, 1800);
    // The "N/A" labels come first so that the field they stand for covers them.
    c.Label15 = addLabel<QLabel>(frame, "Label15", QStringLiteral("N/A"));
    c.Label15->setGeometry(twipsRect(kRightField, 1800, kFieldWidth, kDropDownHeight));
    c.cmbAudioTX = addDropDown(frame, "cmbAudioTX", kRightField, 1800,
                               {QStringLiteral("Unicast"), QStringLiteral("Multicast")});

    c.Label7 = addCaption(frame, "Label7", QStringLiteral("Remote IP:"), kRightCaption, 2160);
    c.Label16 = addLabel<QLabel>(frame, "Label16", QStringLiteral("N/A"));
    c.Label16->setGeometry(twipsRect(kRightField, 2160, kFieldWidth, kTextBoxHeight));
    c.txtRemoteIP =
        addTextBox(frame, "txtRemoteIP", kRightField, 2160, kFieldWidth, kAddressMaxLength);

    c.Label17 = addCaption(frame, "Label17", QStringLiteral("Bounded to:"), kRightCaption, 2520);
    c.cmbEncoders = addDropDown(frame, "cmbEncoders", kRightField, 2520, {});
}

void FrmMain::buildSilenceDetectorRows(QWidget* frame)
{
    auto& c = m_controls;
    c.Label20 = addCaption(frame, "Label20", QStringLiteral("Buffer size:"), kRightCaption, 3000);
    c.scrlBuffer = addScrollBar(frame, "scrlBuffer", kRightField, 3000, record::kBufferMin,
                                record::kBufferMax, record::kBufferMin);
    c.scrlBuffer->setEnabled(false);
    c.lblLatency = addValueLabel<QLabel>(frame, "lblLatency", QStringLiteral("0mS"), kReadout, 3000,
                                         kReadoutWidth);

    c.Label24 = addCaption(frame, "Label24", QStringLiteral("Threshold:"), kRightCaption, 3240);
    c.Label24->setToolTip(QStringLiteral("Silence detector trigger level"));
    c.scrlSilDetLevel =
        addScrollBar(frame, "scrlSilDetLevel", kRightField, 3240, record::kSilenceLevelMin,
                     record::kSilenceLevelMax, record::kSilenceLevelMin);
    c.lblSilDetLevel = addValueLabel<QLabel>(frame, "lblSilDetLevel", QStringLiteral("0dBu"),
                                             kReadout, 3240, kReadoutWidth);

    c.Label22 = addCaption(frame, "Label22", QStringLiteral("Audio routing:"), kLeftCaption, 3405);
    c.cmbSilDetMode = addDropDown(frame, "cmbSilDetMode", kLeftField, 3360,
                                  {QStringLiteral("Auto detect"), QStringLiteral("Force internal"),
                                   QStringLiteral("Force external")});

    c.Label26 = addCaption(frame, "Label26", QStringLiteral("Timeout:"), kRightCaption, 3480);
    c.Label26->setToolTip(QStringLiteral("Silence detector time countdown"));
    c.scrlSilDetTime =
        addScrollBar(frame, "scrlSilDetTime", kRightField, 3480, record::kSilenceTimeMin,
                     record::kSilenceTimeMax, record::kSilenceTimeMin);
    c.lblSilDetTime = addValueLabel<QLabel>(frame, "lblSilDetTime", QStringLiteral("0Sec"),
                                            kReadout, 3480, kReadoutWidth);

    for (QLabel* readout : {c.lblLatency, c.lblSilDetLevel, c.lblSilDetTime}) {
        readout->setFont(UiFonts::readoutFont());
        readout->resize(kReadoutWidth, readout->sizeHint().height());
    }
}

// The bracket that joins the silence detector's mode to its two settings.
void FrmMain::buildBracketLines(QWidget* frame)
{
    auto& c = m_controls;
    c.Line1 = addLine(frame, "Line1", 3000, 3480, 3360, 3480);
    c.Line2 = addLine(frame, "Line2", 3360, 3360, 3360, 3600);
    c.Line3 = addLine(frame, "Line3", 3360, 3360, 3480, 3360);
    c.Line4 = addLine(frame, "Line4", 3360, 3600, 3480, 3600);
}

void FrmMain::buildDiagnosticsFrame(QWidget* client)
{
    auto& c = m_controls;
    auto* frame =
        addFrame(client, "frmDiagnostics", QStringLiteral("Diagnostics:"), 4200, 4560, 6495, 1215);
    c.frmDiagnostics = frame;

    c.Label11 = addCaption(frame, "Label11", QStringLiteral("Ping response:"), 240, 360);
    c.shpPing = named(new ShapeWidget(frame), "shpPing");
    c.shpPing->setGeometry(twipsRect(240, 600, 2535, 315));
    c.lblPing = addLabel<CaptionLabel>(frame, "lblPing", QStringLiteral("<Unknown>"));
    c.lblPing->setGeometry(twipsRect(360, 645, 2370, 195));
    c.lblPing->setAlignment(Qt::AlignCenter);
    c.lblPing->setFont(UiFonts::pingFont());
    c.lblPing->setToolTip(QStringLiteral("Click to test ping"));
    c.lblPing->setFocusPolicy(Qt::StrongFocus);
    c.lblPing->setCursor(Qt::PointingHandCursor);
    c.lblPing->setStyleSheet(QStringLiteral("QLabel:focus { border: 1px dotted black; }"));
    QObject::connect(c.lblPing, &CaptionLabel::captionSet, c.lblPing,
                     [label = c.lblPing] { fitPingCaption(label); });

    c.Label12 = addCaption(frame, "Label12", QStringLiteral("Audio level:"), 3360, 360);
    c.Picture2 = named(new QFrame(frame), "Picture2");
    c.Picture2->setGeometry(twipsRect(3360, 640, 2175, 255));
    c.Picture2->setFrameShape(QFrame::NoFrame);
    c.Picture2->setAutoFillBackground(true);
    QPalette meterBackground = c.Picture2->palette();
    meterBackground.setColor(QPalette::Window, Qt::black);
    c.Picture2->setPalette(meterBackground);
    c.VUMeter = named(new VuMeterImage(c.Picture2), "VUMeter");
    c.VUMeter->move(0, 0);
    c.VUMeter->setEnabled(false);

    c.lblVolume = addValueLabel<QLabel>(frame, "lblVolume", QStringLiteral("-oodBFS"), 5640, 675,
                                        kVolumeWidth);
    lowerPaintedControls(frame);
}

void FrmMain::buildHiddenControls(QWidget* client)
{
    auto& c = m_controls;
    c.lstHidden = named(new QListWidget(client), "lstHidden");
    c.lstHidden->hide();

    // Below the client area, so never seen; its value is the level polling
    // interval in milliseconds and therefore never below 10.
    c.Slider1 = named(new QSlider(Qt::Horizontal, client), "Slider1");
    c.Slider1->setGeometry(twipsRect(6960, 7680, 4095, 255));
    c.Slider1->setRange(10, 1000);
    c.Slider1->setSingleStep(10);
    c.Slider1->setPageStep(100);
    c.Slider1->setValue(50);
    // An invisible control must not take the keyboard focus: the focus would
    // vanish from view and arrow keys would silently change the interval.
    c.Slider1->setFocusPolicy(Qt::NoFocus);
}

void FrmMain::buildTimers(TimerFactory& timers)
{
    struct TimerDesign {
        const char* name;
        int interval;
        Timer** slot;
    };
    auto& c = m_controls;
    const TimerDesign designs[] = {
        {"timerRemoteSent", 3000, &c.timerRemoteSent}, {"timerGetMAC", 5000, &c.timerGetMAC},
        {"tmrRetryPing", 1000, &c.tmrRetryPing},       {"tmrVolume", 50, &c.tmrVolume},
        {"tmrSpectrum", 80, &c.tmrSpectrum},
    };
    std::size_t slot = 0;
    for (const TimerDesign& design : designs) {
        m_timers[slot] = timers.create(QString::fromLatin1(design.name), design.interval);
        m_timers[slot]->setObjectName(QString::fromLatin1(design.name));
        m_timers[slot]->setEnabled(false);
        *design.slot = m_timers[slot].get();
        ++slot;
    }
}

void FrmMain::linkCaptionsToFields()
{
    auto& c = m_controls;
    const std::pair<QLabel*, QWidget*> fields[] = {
        {c.Label1, c.txtElementName},  {c.Label8, c.cmbAudioType},     {c.Label3, c.txtElementIP},
        {c.Label9, c.cmbAudioInput},   {c.Label6, c.txtElementGW},     {c.Label10, c.cmbAudioTX},
        {c.Label4, c.txtElementMask},  {c.Label7, c.txtRemoteIP},      {c.Label18, c.txtVLAN_OM},
        {c.Label19, c.txtVLAN_Audio},  {c.Label17, c.cmbEncoders},     {c.Label14, c.chkSFNEnabled},
        {c.Label20, c.scrlBuffer},     {c.Label24, c.scrlSilDetLevel}, {c.Label22, c.cmbSilDetMode},
        {c.Label26, c.scrlSilDetTime}, {c.Label12, c.VUMeter},
    };
    for (const auto& [caption, field] : fields)
        linkCaption(caption, field);
    // Shares its place and its caption with cmbAudioInput on a decoder.
    c.scrlAtten->setAccessibleName(QStringLiteral("Audio atten"));
    linkValueLabels();
}

// A label that shows a value is read by the value it shows, with its caption
// as its label. Where the caption stands for the value alone, the caption's
// buddy is the value too; a readout shares its caption with its bar, and a
// stand-in "N/A" with the field it stands for.
void FrmMain::linkValueLabels()
{
    auto& c = m_controls;
    const std::pair<QLabel*, QLabel*> ownCaptions[] = {
        {c.Label2, c.lblElementType},   {c.Label5, c.lblElementMAC}, {c.Label21, c.lblVersion},
        {c.Label13, c.lblSerialNumber}, {c.Label11, c.lblPing},
    };
    for (const auto& [caption, value] : ownCaptions) {
        caption->setBuddy(value);
        ValueLabelAccessible::link(value, caption);
    }
    const std::pair<QLabel*, QLabel*> sharedCaptions[] = {
        {c.Label9, c.lblAttenDB},     {c.Label20, c.lblLatency}, {c.Label24, c.lblSilDetLevel},
        {c.Label26, c.lblSilDetTime}, {c.Label12, c.lblVolume},  {c.Label10, c.Label15},
        {c.Label7, c.Label16},
    };
    for (const auto& [caption, value] : sharedCaptions)
        ValueLabelAccessible::link(value, caption);
}

void FrmMain::setFocusOrder()
{
    auto& c = m_controls;
    QWidget* const order[] = {
        c.Toolbar1,       c.TreeView1,   c.txtElementName, c.txtElementIP,    c.txtElementGW,
        c.txtElementMask, c.txtVLAN_OM,  c.cmbAudioType,   c.cmbAudioInput,   c.scrlAtten,
        c.cmbAudioTX,     c.txtRemoteIP, c.txtVLAN_Audio,  c.cmbEncoders,     c.Slider1,
        c.chkSFNEnabled,  c.scrlBuffer,  c.cmbSilDetMode,  c.scrlSilDetLevel, c.scrlSilDetTime,
        c.lblPing,
    };
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

} // namespace nms
