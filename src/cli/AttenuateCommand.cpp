#include "cli/AttenuateCommand.h"

#include <cmath>

#include <QLocale>
#include <QRegularExpression>

#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/ElementDatabase.h"
#include "cli/ElementLink.h"
#include "cli/HeadlessPanel.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "db/RecordValues.h"
#include "protocol/LevelMonitor.h"

namespace nms::cli {

namespace {
constexpr double kLowestDb = -120.0;
// "-27.5" would read as options: a negative number is moved behind "--",
// which makes it an argument wherever it stood.
QStringList withNegativeValue(const QStringList& arguments)
{
    static const QRegularExpression negative(QStringLiteral("^-[0-9.]+$"));
    if (arguments.contains(QStringLiteral("--")))
        return arguments;
    QStringList options;
    QStringList values;
    for (const QString& argument : arguments)
        (negative.match(argument).hasMatch() ? values : options).append(argument);
    if (values.isEmpty())
        return arguments;
    return options + QStringList{QStringLiteral("--")} + values;
}

} // namespace

AttenuateCommand::AttenuateCommand(QString defaultDatabase, Dialogs& dialogs)
    : m_defaultDatabase(std::move(defaultDatabase))
    , m_dialogs(dialogs)
{
}

std::optional<int> AttenuateCommand::codeFor(const QString& decibels)
{
    if (decibels.compare(QLatin1String("mute"), Qt::CaseInsensitive) == 0)
        return record::kAttenuationMute;
    bool ok = false;
    const double value = QLocale::c().toDouble(decibels, &ok);
    if (!ok || !std::isfinite(value) || value < kLowestDb || value > 0.0)
        return std::nullopt;
    const double halfSteps = value * 2.0;
    if (halfSteps != std::floor(halfSteps))
        return std::nullopt;
    return record::kAttenuationMax + int(halfSteps);
}

int AttenuateCommand::run(const QStringList& arguments)
{
    CommandLine line(
        QStringLiteral("attenuate"),
        QStringLiteral("Sets a decoder's output attenuation as the window's scroll bar does: "
                       "sends the two-byte command to port 2977 and stores the code under ATT. "
                       "Needs UDP port 2976, so it cannot run while the window does."),
        m_defaultDatabase, kExitUsage);
    line.addPositional(QStringLiteral("element"),
                       QStringLiteral("MAC (with or without colons), stored name or IP address."));
    line.addPositional(QStringLiteral("decibels"),
                       QStringLiteral("\"mute\", or -120 to 0 dB in 0.5 dB steps."),
                       QStringLiteral("DB"));
    line.parse(withNegativeValue(arguments));
    const QStringList values = line.positional(2);
    const std::optional<int> code = codeFor(values.at(1));
    if (!code)
        line.refuse(QStringLiteral("'%1' is neither \"mute\" nor -120 to 0 dB in 0.5 dB steps")
                        .arg(values.at(1)));
    const QString path = line.databasePath();
    const ElementDatabase database = ElementDatabase::load(path, kExitUsage);
    const HeadlessPanel element =
        database.selectOrRefuse(database.resolve(values.at(0), kExitUsage), kExitUsage);
    const QString name = element.text(ElementPanelView::Text::Name);
    if (!element.isDecoder())
        line.refuse(QStringLiteral("%1 is an %2; only a decoder has an output attenuation")
                        .arg(name, element.caption(ElementPanelView::Caption::ElementType)));

    ElementLink link(m_dialogs);
    link.open(kExitFailure);
    QByteArray command(2, '\0');
    command[0] = static_cast<char>(*code);
    link.send(UdpClient::kElementControlPort, element.text(ElementPanelView::Text::IP), command);

    PrivateProfileStore store;
    IniRoutines ini(store);
    if (!ini.WriteToINI(element.selectedSection(), QStringLiteral("att"), QString::number(*code),
                        path))
        throw CliError{kExitFailure,
                       QStringLiteral("An error occured while saving this element info to the "
                                      "local database. Cannot save this element info. (%1)")
                           .arg(ini.lastError())};
    Console::outLine(QStringLiteral("%1: %2").arg(
        name, LevelMonitor::attenuationCaption(*code, record::kAttenuationMute)));
    return kExitOk;
}

} // namespace nms::cli
