#pragma once

#include <QList>
#include <QStringList>

#include "db/ElementTreeView.h"
#include "db/MeterView.h"

namespace nms::cli {

// The element list's tree without a screen: keeps the nodes' keys in the
// order the list adds them. The list also resets a meter; there is none.
class CatalogTree : public ElementTreeView, public MeterView {
public:
    QStringList keys() const { return m_keys; }

    void clearTree() override { m_keys.clear(); }
    void addNode(const QString& /*text*/, const QString& key, bool /*encoder*/) override
    {
        m_keys.append(key);
    }
    int nodeCount() const override { return int(m_keys.size()); }
    void setFrameCaption(const QString& /*caption*/) override {}
    void resetEncoderList() override {}
    void addEncoder(const QString& /*text*/) override {}
    void clearSectionList() override { m_sections.clear(); }
    void addSections(const QStringList& sections) override { m_sections += sections; }
    QStringList sections() const override { return m_sections; }

    void setMeterWidthTwips(int /*twips*/) override {}
    void setLevelCaption(const QString& /*caption*/) override {}

private:
    QStringList m_keys;
    QStringList m_sections;
};

} // namespace nms::cli
