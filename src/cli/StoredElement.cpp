#include "cli/StoredElement.h"

#include "db/RecordValues.h"
#include "db/TextHelpers.h"

namespace nms::cli {

namespace {
constexpr int kEncoderRole = 1;
constexpr int kDecoderRole = 2;
} // namespace

StoredElement::StoredElement(QString section, QList<std::pair<QString, QString>> keys)
    : m_section(std::move(section))
    , m_keys(std::move(keys))
{
}

QString StoredElement::mac() const
{
    return text::FormatMAC(m_section);
}

QString StoredElement::value(const QString& key) const
{
    for (const auto& [name, value] : m_keys) {
        if (name == key)
            return value;
    }
    return QString();
}

bool StoredElement::has(const QString& key) const
{
    for (const auto& entry : m_keys) {
        if (entry.first == key)
            return true;
    }
    return false;
}

QString StoredElement::name() const
{
    return value(QStringLiteral("name")).trimmed();
}

std::optional<int> StoredElement::role() const
{
    return record::WholeNumber(value(QStringLiteral("role")));
}

QString StoredElement::roleCaption() const
{
    switch (role().value_or(0)) {
    case kEncoderRole: return QStringLiteral("ENCODER");
    case kDecoderRole: return QStringLiteral("DECODER");
    default: return QStringLiteral("UNKNOWN");
    }
}

bool StoredElement::isDecoder() const
{
    return role() == kDecoderRole;
}

} // namespace nms::cli
