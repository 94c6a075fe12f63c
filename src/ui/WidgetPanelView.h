#pragma once

#include "db/ElementPanelView.h"

class QComboBox;
class QLineEdit;
class QScrollBar;

namespace nms {

class CaptionLabel;
class PropertiesPanel;
struct FrmMainControls;

// The properties panel of the main window as the workflows see it. Values
// set from code go through the panel's own behaviour (PropertiesPanel), so
// that its rules run as for the operator's changes; without it (a test of
// one workflow) the controls are set plainly.
class WidgetPanelView : public ElementPanelView {
public:
    explicit WidgetPanelView(FrmMainControls& ui, PropertiesPanel* panel = nullptr);

    void setPropertiesPanel(PropertiesPanel* panel) { m_panel = panel; }

    QString text(Text field) const override;
    void setText(Text field, const QString& value) override;
    int listIndex(List list) const override;
    int listCount(List list) const override;
    void setListIndex(List list, int index) override;
    int scrollValue(Scroll bar) const override;
    int scrollMinimum(Scroll bar) const override;
    int scrollMaximum(Scroll bar) const override;
    void setScrollValue(Scroll bar, int value) override;
    QString caption(Caption field) const override;
    void setCaption(Caption field, const QString& value) override;
    int sfnOption() const override;
    void setSfnOption(int option) override;
    void clear() override;

private:
    QLineEdit* field(Text field) const;
    QComboBox* list(List list) const;
    QScrollBar* bar(Scroll bar) const;
    CaptionLabel* label(Caption field) const;

    FrmMainControls& m_ui;
    PropertiesPanel* m_panel;
};

} // namespace nms
