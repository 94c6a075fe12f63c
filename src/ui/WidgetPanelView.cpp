#include "ui/WidgetPanelView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>

#include "ui/CaptionLabel.h"
#include "ui/FrmMainControls.h"
#include "ui/PropertiesPanel.h"

namespace nms {

WidgetPanelView::WidgetPanelView(FrmMainControls& ui, PropertiesPanel* panel)
    : m_ui(ui)
    , m_panel(panel)
{
}

QLineEdit* WidgetPanelView::field(Text field) const
{
    switch (field) {
    case Text::Name: return m_ui.txtElementName;
    case Text::IP: return m_ui.txtElementIP;
    case Text::Mask: return m_ui.txtElementMask;
    case Text::Gateway: return m_ui.txtElementGW;
    case Text::Remote: return m_ui.txtRemoteIP;
    }
    return nullptr;
}

QComboBox* WidgetPanelView::list(List list) const
{
    switch (list) {
    case List::AudioInput: return m_ui.cmbAudioInput;
    case List::AudioType: return m_ui.cmbAudioType;
    case List::AudioTX: return m_ui.cmbAudioTX;
    case List::Encoders: return m_ui.cmbEncoders;
    case List::SilenceMode: return m_ui.cmbSilDetMode;
    }
    return nullptr;
}

QScrollBar* WidgetPanelView::bar(Scroll bar) const
{
    switch (bar) {
    case Scroll::Attenuation: return m_ui.scrlAtten;
    case Scroll::Buffer: return m_ui.scrlBuffer;
    case Scroll::SilenceLevel: return m_ui.scrlSilDetLevel;
    case Scroll::SilenceTime: return m_ui.scrlSilDetTime;
    }
    return nullptr;
}

CaptionLabel* WidgetPanelView::label(Caption field) const
{
    switch (field) {
    case Caption::ElementType: return m_ui.lblElementType;
    case Caption::Mac: return m_ui.lblElementMAC;
    case Caption::SerialNumber: return m_ui.lblSerialNumber;
    case Caption::Version: return m_ui.lblVersion;
    }
    return nullptr;
}

QString WidgetPanelView::text(Text which) const
{
    return field(which)->text();
}

void WidgetPanelView::setText(Text which, const QString& value)
{
    field(which)->setText(value);
}

int WidgetPanelView::listIndex(List which) const
{
    return list(which)->currentIndex();
}

int WidgetPanelView::listCount(List which) const
{
    return list(which)->count();
}

void WidgetPanelView::setListIndex(List which, int index)
{
    if (m_panel != nullptr)
        m_panel->SetListIndex(list(which), index);
    else
        list(which)->setCurrentIndex(index);
}

int WidgetPanelView::scrollValue(Scroll which) const
{
    return bar(which)->value();
}

int WidgetPanelView::scrollMinimum(Scroll which) const
{
    return bar(which)->minimum();
}

int WidgetPanelView::scrollMaximum(Scroll which) const
{
    return bar(which)->maximum();
}

void WidgetPanelView::setScrollValue(Scroll which, int value)
{
    if (m_panel != nullptr)
        m_panel->SetScrollValue(bar(which), value);
    else
        bar(which)->setValue(value);
}

QString WidgetPanelView::caption(Caption which) const
{
    return label(which)->caption();
}

// Setting lblElementType's caption runs the panel's layout switch.
void WidgetPanelView::setCaption(Caption which, const QString& value)
{
    label(which)->setCaption(value);
}

int WidgetPanelView::sfnOption() const
{
    switch (m_ui.chkSFNEnabled->checkState()) {
    case Qt::Unchecked: return 0;
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    }
    return 0;
}

void WidgetPanelView::setSfnOption(int option)
{
    switch (option) {
    case 1: m_ui.chkSFNEnabled->setCheckState(Qt::Checked); return;
    case 2: m_ui.chkSFNEnabled->setCheckState(Qt::PartiallyChecked); return;
    default: m_ui.chkSFNEnabled->setCheckState(Qt::Unchecked); return;
    }
}

void WidgetPanelView::clear()
{
    if (m_panel != nullptr)
        m_panel->ClearPropertiesPanel();
}

} // namespace nms
