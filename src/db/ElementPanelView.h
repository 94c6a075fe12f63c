#pragma once

#include <QString>

namespace nms {

// What the properties panel shows of the selected element and what the
// operator has typed into it: the text fields, the list positions, the
// scroll values with their ranges, the read-only captions and the SFN
// option. Selection, sending, confirmation, level monitoring and ping read
// and write the panel only through this; the window implements it with its
// widgets, a headless program with a plain record.
class ElementPanelView {
public:
    enum class Text { Name, IP, Mask, Gateway, Remote };
    enum class List { AudioInput, AudioType, AudioTX, Encoders, SilenceMode };
    enum class Scroll { Attenuation, Buffer, SilenceLevel, SilenceTime };
    // Setting ElementType lays the panel out for that type at once.
    enum class Caption { ElementType, Mac, SerialNumber, Version };

    virtual ~ElementPanelView() = default;

    virtual QString text(Text field) const = 0;
    virtual void setText(Text field, const QString& value) = 0;

    // -1 when no position is chosen.
    virtual int listIndex(List list) const = 0;
    virtual int listCount(List list) const = 0;
    // Also when the position does not change, the panel's rule for the list
    // runs, so that a reused position cannot leave a stale state behind.
    virtual void setListIndex(List list, int index) = 0;

    virtual int scrollValue(Scroll bar) const = 0;
    virtual int scrollMinimum(Scroll bar) const = 0;
    virtual int scrollMaximum(Scroll bar) const = 0;
    // As setListIndex: the readout follows even an unchanged value.
    virtual void setScrollValue(Scroll bar, int value) = 0;

    virtual QString caption(Caption field) const = 0;
    virtual void setCaption(Caption field, const QString& value) = 0;

    // The SFN option as the element reports it: 0 off, 1 on, 2 undetermined.
    virtual int sfnOption() const = 0;
    virtual void setSfnOption(int option) = 0;

    // Back to the state of no element selected.
    virtual void clear() = 0;

    // The database section of the element the panel shows (its MAC without
    // separators), empty when none is shown.
    QString selectedSection() const;
};

} // namespace nms
