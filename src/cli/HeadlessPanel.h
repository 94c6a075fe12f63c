#pragma once

#include <array>
#include <utility>

#include <QList>
#include <QString>

#include "db/ElementPanelView.h"

namespace nms::cli {

// The properties panel without widgets: what the window's panel holds once
// the window's selection has loaded a record into it, then edited. It starts
// as a panel no record was ever loaded into, and it remembers which of the
// decoder's controls the selection set, so that a control the record could
// not fill is shown empty instead of with a value nobody stored.
class HeadlessPanel : public ElementPanelView {
public:
    // The bound encoders' list holds "<None>" and this many encoders.
    explicit HeadlessPanel(int encoderCount = 0);

    bool isDecoder() const;
    bool isSet(List list) const { return m_listSet.at(std::size_t(list)); }
    bool isSet(Scroll bar) const { return m_scrollSet.at(std::size_t(bar)); }

    // What the window's panel shows of the element, as (name, value) pairs
    // in the panel's order: the list's columns, and show's rows.
    QList<std::pair<QString, QString>> shownFields() const;
    static QStringList shownNames();

    QString text(Text field) const override { return m_texts.at(std::size_t(field)); }
    void setText(Text field, const QString& value) override;
    int listIndex(List list) const override { return m_lists.at(std::size_t(list)); }
    int listCount(List list) const override;
    void setListIndex(List list, int index) override;
    int scrollValue(Scroll bar) const override { return m_scrolls.at(std::size_t(bar)); }
    int scrollMinimum(Scroll bar) const override;
    int scrollMaximum(Scroll bar) const override;
    void setScrollValue(Scroll bar, int value) override;
    QString caption(Caption field) const override { return m_captions.at(std::size_t(field)); }
    void setCaption(Caption field, const QString& value) override;
    int sfnOption() const override { return m_sfn; }
    void setSfnOption(int option) override { m_sfn = option; }
    void clear() override;

private:
    int m_encoderCount;
    std::array<QString, 5> m_texts;
    std::array<int, 5> m_lists{};
    std::array<bool, 5> m_listSet{};
    std::array<int, 4> m_scrolls{};
    std::array<bool, 4> m_scrollSet{};
    std::array<QString, 4> m_captions;
    int m_sfn = 0;
};

} // namespace nms::cli
