#include "cli/DiscoverCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkInterface>
#include <QTemporaryDir>

#include "cli/BoundedWait.h"
#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/ElementDatabase.h"
#include "cli/ElementLink.h"
#include "cli/InterruptSignals.h"
#include "cli/ListCommand.h"
#include "cli/MacResolver.h"
#include "db/AtomicFileWriter.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "db/TextHelpers.h"
#include "diag/MacLookup.h"
#include "platform/Dialogs.h"
#include "protocol/AutoDiscovery.h"
#include "protocol/FeedbackCodec.h"
#include "protocol/FeedbackProcessor.h"
#include "protocol/PagingRequest.h"

namespace nms::cli {

namespace {

const QString kWindow = QStringLiteral("window");
const QString kInterface = QStringLiteral("interface");
const QString kSave = QStringLiteral("save");
const QString kCorrupted = QStringLiteral("Feedback is corrupted.");
constexpr int kMinWindowMs = 100;
constexpr int kMaxWindowMs = 60000;

QList<std::pair<QString, QString>> keysOf(const FeedbackRecord& answer)
{
    QList<std::pair<QString, QString>> keys;
    for (const FeedbackProcessor::KeyValue& entry : FeedbackProcessor::discoveryKeys(answer))
        keys.append({entry.key, entry.value});
    return keys;
}

} // namespace

DiscoverCommand::DiscoverCommand(QString defaultDatabase, Dialogs& dialogs, Clock& clock,
                                 InterruptSignals& interrupts)
    : m_defaultDatabase(std::move(defaultDatabase))
    , m_dialogs(dialogs)
    , m_clock(clock)
    , m_interrupts(interrupts)
{
}

// The window writes each answer as its MAC is found, into a file it has just
// emptied; the same writes into an empty scratch file give the same bytes,
// which then replace the database at once.
QByteArray DiscoverCommand::databaseFor(const QList<FeedbackRecord>& answers)
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        throw CliError{
            kExitFailure,
            QStringLiteral("cannot make a scratch folder: %1").arg(scratch.errorString())};
    const QString path = scratch.filePath(QStringLiteral("nms.ini"));
    PrivateProfileStore store;
    IniRoutines ini(store);
    for (const FeedbackRecord& answer : answers) {
        if (!ini.WriteKeysToINI(text::NormalizeMAC(answer.mac), keysOf(answer), path))
            throw CliError{
                kExitFailure,
                QStringLiteral("cannot build the new database: %1").arg(ini.lastError())};
    }
    QFile file(path);
    if (!file.exists())
        return QByteArray();
    if (!file.open(QIODevice::ReadOnly))
        throw CliError{kExitFailure,
                       QStringLiteral("cannot read the new database: %1").arg(file.errorString())};
    return file.readAll();
}

int DiscoverCommand::run(const QStringList& arguments)
{
    CommandLine line(
        QStringLiteral("discover"),
        QStringLiteral(
            "Broadcasts the paging request as the window's auto discovery does, collects the "
            "answers for the collection window, finds each element's MAC and prints one row per "
            "element. With --save the answers replace the database exactly as the window's "
            "discovery leaves it (same keys, order and values), in one atomic replacement; "
            "without it the database is not touched. Needs UDP port 2976, so it cannot run "
            "while the window does (exit status 1)."),
        m_defaultDatabase, kExitUsage);
    line.addOption(QCommandLineOption(
        kWindow,
        QStringLiteral("Collection window in ms, 100 to 60000 (default %1, the window's).")
            .arg(AutoDiscovery::kCollectionMs),
        QStringLiteral("ms"), QString::number(AutoDiscovery::kCollectionMs)));
    line.addOption(QCommandLineOption(
        kInterface, QStringLiteral("Broadcast on this interface only (default: every one)."),
        QStringLiteral("if")));
    line.addOption(
        QCommandLineOption(kSave, QStringLiteral("Replace the database with the answers.")));
    line.addFormatOption();
    line.parse(arguments);
    line.positional(0);
    const int windowMs = line.intValue(kWindow, kMinWindowMs, kMaxWindowMs);
    const OutputTable::Format format = line.format();
    const QString interfaceName = line.value(kInterface);
    if (line.isSet(kInterface) && !QNetworkInterface::interfaceFromName(interfaceName).isValid())
        line.refuse(QStringLiteral("no interface '%1'").arg(interfaceName));
    const QString path = line.databasePath();
    if (line.isSet(kSave) && !QFileInfo(QFileInfo(path).absolutePath()).isDir())
        line.refuse(QStringLiteral("no folder for the database %1").arg(path));

    const QList<FeedbackRecord> answers = collect(windowMs, interfaceName);
    if (m_interrupts.raised())
        return kExitInterrupted;

    // The rows are what `list` prints of the database the answers make.
    const QByteArray bytes = databaseFor(answers);
    QTemporaryDir scratch;
    const QString scratchPath = scratch.filePath(QStringLiteral("nms.ini"));
    QFile scratchFile(scratchPath);
    if (!scratch.isValid() || !scratchFile.open(QIODevice::WriteOnly) ||
        scratchFile.write(bytes) != bytes.size() || !scratchFile.flush())
        throw CliError{
            kExitFailure,
            QStringLiteral("cannot write a scratch database: %1").arg(scratchFile.errorString())};
    scratchFile.close();
    const QString rows =
        ListCommand::render(ElementDatabase::load(scratchPath, kExitFailure), format);
    if (line.isSet(kSave)) {
        if (m_interrupts.raised())
            return kExitInterrupted;
        AtomicFileWriter writer;
        if (!writer.replace(path, bytes))
            throw CliError{
                kExitFailure,
                QStringLiteral("cannot replace the database %1: %2").arg(path, writer.errorText())};
    }
    Console::out(rows);
    return kExitOk;
}

QList<FeedbackRecord> DiscoverCommand::collect(int windowMs, const QString& interfaceName)
{
    ElementLink link(m_dialogs);
    link.open(kExitFailure);
    link.endpoint().restrictBroadcastTo(interfaceName);
    MacResolver resolver(m_dialogs, m_clock);
    QList<FeedbackRecord> answers;
    bool windowOpen = true;
    BoundedWait lookupsDone(m_interrupts);
    QObject::connect(
        &link.client(), &UdpClient::feedbackArrived, &link, [&](const QByteArray& datagram) {
            if (!windowOpen)
                return;
            const auto decoded = FeedbackCodec::decode(datagram);
            if (!decoded)
                return;
            const QString failed = FeedbackProcessor::failedCheckLine(*decoded);
            if (!failed.isEmpty()) {
                m_dialogs.critical(kApplicationTitle, {failed, kCorrupted});
                return;
            }
            resolver.lookup(decoded->ip, [&, answer = *decoded](const QString& mac) mutable {
                if (mac.isEmpty() || text::NormalizeMAC(mac).isEmpty()) {
                    m_dialogs.critical(
                        kApplicationTitle,
                        {QStringLiteral("An error occured while retrieving 'Element MAC':"),
                         kCorrupted});
                } else {
                    answer.mac = mac;
                    answers.append(answer);
                }
                if (!windowOpen && resolver.waitingCount() == 0)
                    lookupsDone.finish();
            });
        });
    if (!link.client().broadcast(kPagingRequest, UdpClient::kPagingPort))
        throw CliError{kExitFailure,
                       QStringLiteral("Unable to send the discovery request on any network "
                                      "interface. No Network Element can answer.")};
    BoundedWait collection(m_interrupts);
    if (collection.run(windowMs) == BoundedWait::End::Interrupted)
        return {};
    // Answers that came in the window still count while their MAC is found.
    windowOpen = false;
    if (resolver.waitingCount() > 0)
        lookupsDone.run(MacLookup::kBoundMs + 1000);
    return answers;
}

} // namespace nms::cli
