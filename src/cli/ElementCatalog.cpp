#include "cli/ElementCatalog.h"

#include <algorithm>

#include <sys/stat.h>

#include <QFile>

#include "cli/CatalogTree.h"
#include "cli/HeadlessPanel.h"
#include "db/ElementList.h"
#include "db/ElementRole.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "db/RecordValues.h"
#include "db/TextHelpers.h"
#include "platform/Dialogs.h"

namespace nms::cli {

namespace {

// The element list's boxes, kept instead of shown: an unreadable file is a
// critical box, a missing or empty one an information box.
class ListingDialogs : public Dialogs {
public:
    bool sawCritical = false;

protected:
    BoxAnswer present(const MessageBoxRequest& box) override
    {
        sawCritical = sawCritical || box.icon == BoxIcon::Critical;
        return box.defaultButton;
    }
};

QString roleCaption(const QString& stored)
{
    const std::optional<int> role = record::WholeNumber(stored);
    if (role == kEncoderRole)
        return QStringLiteral("ENCODER");
    if (role == kDecoderRole)
        return QStringLiteral("DECODER");
    return QStringLiteral("UNKNOWN");
}

std::optional<FileSignature> signatureOf(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileSignature::of(status);
}

} // namespace

ElementCatalog::ElementCatalog(QString path, QStringList wanted)
    : m_path(std::move(path))
    , m_wanted(std::move(wanted))
{
}

void ElementCatalog::refresh()
{
    const std::optional<FileSignature> now = signatureOf(m_path);
    if (now && m_readSignature && *now == *m_readSignature)
        return;
    std::optional<QList<ListedElement>> listed = now ? read() : std::nullopt;
    if (!listed) {
        // Counted once per state of the file, not once per round.
        if (!m_readSignature || now != m_readSignature)
            ++m_readErrors;
        m_readSignature = now;
        return;
    }
    m_readSignature = now;
    m_elements = std::move(*listed);
}

std::optional<QList<ListedElement>> ElementCatalog::read() const
{
    PrivateProfileStore store;
    IniRoutines ini(store);
    ListingDialogs dialogs;
    CatalogTree tree;
    HeadlessPanel unusedPanel;
    ElementList list(dialogs, ini, m_path, tree, tree, unusedPanel);
    list.Load_Config();
    if (dialogs.sawCritical)
        return std::nullopt;
    QList<ListedElement> elements;
    for (const QString& key : tree.keys()) {
        const QString section = text::NormalizeMAC(key);
        auto read = [&](const char* key, const QString& defaultValue = QString()) {
            return ini.ReadFromINI(section, QLatin1String(key), m_path, defaultValue);
        };
        ListedElement element{key,
                              read("name").trimmed(),
                              roleCaption(read("role")),
                              read("ip").trimmed(),
                              record::VersionCaption(read("ver", QStringLiteral("2"))),
                              read("sn").trimmed()};
        if (isWanted(element))
            elements.append(element);
    }
    return elements;
}

bool ElementCatalog::isWanted(const ListedElement& element) const
{
    if (m_wanted.isEmpty())
        return true;
    const QString bareMac = text::NormalizeMAC(element.mac);
    return std::any_of(m_wanted.begin(), m_wanted.end(), [&](const QString& wanted) {
        const QString bare = QString(wanted).remove(QLatin1Char(':')).toUpper();
        return bare == bareMac ||
               wanted.trimmed().compare(element.name, Qt::CaseInsensitive) == 0 ||
               wanted.trimmed() == element.ip;
    });
}

} // namespace nms::cli
