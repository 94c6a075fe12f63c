#pragma once

#include <QString>
#include <QStringList>

namespace nms {

// The element tree and what is built with it: the frame caption with the
// node count, the list of bound encoders and the scratch list of section
// names the rebuild works through. The element list fills it; the window
// implements it with its tree widget, a headless program with nothing.
class ElementTreeView {
public:
    virtual ~ElementTreeView() = default;

    virtual void clearTree() = 0;
    // One node per element; the key (the colon-form MAC) identifies it.
    virtual void addNode(const QString& text, const QString& key, bool encoder) = 0;
    virtual int nodeCount() const = 0;
    virtual void setFrameCaption(const QString& caption) = 0;

    // Empties the encoder list down to its "<None>" item, with no item
    // chosen.
    virtual void resetEncoderList() = 0;
    virtual void addEncoder(const QString& text) = 0;

    virtual void clearSectionList() = 0;
    virtual void addSections(const QStringList& sections) = 0;
    virtual QStringList sections() const = 0;
};

} // namespace nms
