#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "db/ElementTreeView.h"

namespace nms::cli {

// The element tree without widgets: the nodes the window's element list
// adds, in its order, and the number of bound encoders it lists.
class HeadlessTree : public ElementTreeView {
public:
    struct Node {
        QString key;  // the colon-form MAC
        QString name; // the node's text without its " [MAC]"
    };

    const QList<Node>& nodes() const { return m_nodes; }
    int encoderCount() const { return m_encoderCount; }

    void clearTree() override { m_nodes.clear(); }
    void addNode(const QString& text, const QString& key, bool encoder) override;
    int nodeCount() const override { return int(m_nodes.size()); }
    void setFrameCaption(const QString&) override {}
    void resetEncoderList() override { m_encoderCount = 0; }
    void addEncoder(const QString&) override { ++m_encoderCount; }
    void clearSectionList() override { m_sections.clear(); }
    void addSections(const QStringList& sections) override { m_sections += sections; }
    QStringList sections() const override { return m_sections; }

private:
    QList<Node> m_nodes;
    QStringList m_sections;
    int m_encoderCount = 0;
};

} // namespace nms::cli
