#include "SimOptions.h"

#include "SimCodec.h"

#include <QCommandLineParser>
#include <QFile>
#include <QNetworkInterface>
#include <QProcess>

#include <cstdio>

namespace nms::sim {

namespace {

const char* const kDescription =
    "Plays one network element (encoder or decoder) for tests and the lab.\n"
    "\n"
    "Listens on UDP 1901 (paging request), 2976 (configuration, 35 or 40 bytes)\n"
    "and 2977 (attenuation command, 2 bytes; level request \"VOL\"). Answers a\n"
    "paging request and every configuration with its feedback, and \"VOL\" with\n"
    "a 1440-byte level packet, always to the sender's address and port. Only\n"
    "senders on loopback or in 198.18.0.0/15 are answered.\n"
    "\n"
    "One line per event goes to stdout (flushed) and, with --record, is\n"
    "appended to the record file:\n"
    "  READY role=R ip=A ports=P,C,L\n"
    "  RX port=N from=A:P len=L hex=HEX\n"
    "  TX port=N to=A:P len=L hex=HEX\n"
    "  APPLIED ip=A mask=M gw=G remote=R input=I type=T tx=X name=HEX sfn=S buf=B\n"
    "          sdm=D sdl=E sdt=F\n"
    "  INTERFACE dev=IF addr=A/PREFIX gw=G   (or INTERFACE-REFUSED / INTERFACE-FAILED)\n"
    "  ATTENUATION code=N\n"
    "  SILENT port=N reason=R   (an answer left out on purpose)\n"
    "  IGNORED port=N from=A:P reason=R\n"
    "  ERROR text\n"
    "  STOP signal=N\n"
    "\n"
    "FIELD names for --corrupt and --disagree: ip mask gw remote input type tx\n"
    "name role serial version sfn buf att sdm sdl sdt. A bare --corrupt FIELD\n"
    "takes a value the station must reject: addresses 0.0.0.0, input/type/tx 2,\n"
    "role 7, serial 0, version 255.255, name with CR, LF, '[', NUL and other\n"
    "non-printable bytes, other bytes 255. Names accept \\r \\n \\t \\\\ and \\xHH.\n"
    "\n"
    "With --identities FILE one process plays one element per line of FILE;\n"
    "each line holds that element's options (typically --device, --ip, --mask,\n"
    "--role, --name, --serial), which follow those of the command line. A\n"
    "READY line is written per element.";

struct OptionSet {
    QCommandLineOption role{QStringLiteral("role"),
                            QStringLiteral("encoder or decoder (default encoder)."),
                            QStringLiteral("role"), QStringLiteral("encoder")};
    QCommandLineOption name{QStringLiteral("name"),
                            QStringLiteral("Element name, cut or blank-filled to 16 bytes."),
                            QStringLiteral("text")};
    QCommandLineOption serial{QStringLiteral("serial"),
                              QStringLiteral("Serial number, 0..4294967295 (default 1)."),
                              QStringLiteral("n"), QStringLiteral("1")};
    QCommandLineOption version{QStringLiteral("version"),
                               QStringLiteral("Firmware version A.B, two bytes (default 3.4)."),
                               QStringLiteral("A.B"), QStringLiteral("3.4")};
    QCommandLineOption ip{QStringLiteral("ip"),
                          QStringLiteral("Reported address (default: the interface's own)."),
                          QStringLiteral("addr")};
    QCommandLineOption mask{QStringLiteral("mask"),
                            QStringLiteral("Reported mask (default: the interface's own)."),
                            QStringLiteral("addr")};
    QCommandLineOption gw{QStringLiteral("gw"),
                          QStringLiteral("Reported gateway (default 0.0.0.0)."),
                          QStringLiteral("addr"), QStringLiteral("0.0.0.0")};
    QCommandLineOption remote{QStringLiteral("remote"),
                              QStringLiteral("Reported remote address (default 0.0.0.0)."),
                              QStringLiteral("addr"), QStringLiteral("0.0.0.0")};
    QCommandLineOption input{QStringLiteral("input"),
                             QStringLiteral("Audio input byte (default 0)."), QStringLiteral("n"),
                             QStringLiteral("0")};
    QCommandLineOption type{QStringLiteral("type"), QStringLiteral("Audio type byte (default 0)."),
                            QStringLiteral("n"), QStringLiteral("0")};
    QCommandLineOption tx{QStringLiteral("tx"), QStringLiteral("TX type byte (default 0)."),
                          QStringLiteral("n"), QStringLiteral("0")};
    QCommandLineOption sfn{QStringLiteral("sfn"), QStringLiteral("SFN option byte (default 0)."),
                           QStringLiteral("n"), QStringLiteral("0")};
    QCommandLineOption buf{QStringLiteral("buf"), QStringLiteral("Buffer size byte (default 2)."),
                           QStringLiteral("n"), QStringLiteral("2")};
    QCommandLineOption att{QStringLiteral("att"), QStringLiteral("Attenuation byte (default 255)."),
                           QStringLiteral("n"), QStringLiteral("255")};
    QCommandLineOption sdm{QStringLiteral("sdm"),
                           QStringLiteral("Silence-detection mode byte (default 0)."),
                           QStringLiteral("n"), QStringLiteral("0")};
    QCommandLineOption sdl{QStringLiteral("sdl"),
                           QStringLiteral("Silence-detection level byte (default 50)."),
                           QStringLiteral("n"), QStringLiteral("50")};
    QCommandLineOption sdt{QStringLiteral("sdt"),
                           QStringLiteral("Silence-detection time byte (default 30)."),
                           QStringLiteral("n"), QStringLiteral("30")};
    QCommandLineOption length{QStringLiteral("length"),
                              QStringLiteral("Feedback length in bytes (default 44 or 48)."),
                              QStringLiteral("n")};
    QCommandLineOption delay{QStringLiteral("delay-ms"),
                             QStringLiteral("Delay before every answer (default 0)."),
                             QStringLiteral("ms"), QStringLiteral("0")};
    QCommandLineOption noAnswer{QStringLiteral("no-answer"),
                                QStringLiteral("Receive and record, but never answer.")};
    QCommandLineOption noAnswerTo{
        QStringLiteral("no-answer-to"),
        QStringLiteral("Leave out answers of these kinds: paging,config,level."),
        QStringLiteral("kinds")};
    QCommandLineOption corrupt{
        QStringLiteral("corrupt"),
        QStringLiteral("Put FIELD[=VALUE] over every feedback (repeatable)."),
        QStringLiteral("FIELD[=VALUE]")};
    QCommandLineOption disagree{
        QStringLiteral("disagree"),
        QStringLiteral("Report FIELD=VALUE in answers to configurations (repeatable)."),
        QStringLiteral("FIELD=VALUE")};
    QCommandLineOption levelDbfs{QStringLiteral("level-dbfs"),
                                 QStringLiteral("Tone peak level of level packets (default -6)."),
                                 QStringLiteral("dBFS"), QStringLiteral("-6")};
    QCommandLineOption silence{QStringLiteral("silence"),
                               QStringLiteral("Level packets carry silence.")};
    QCommandLineOption applyInterface{
        QStringLiteral("apply-interface"),
        QStringLiteral(
            "Move this interface to a configured address, mask and gateway (needs root)."),
        QStringLiteral("ifname")};
    QCommandLineOption record{QStringLiteral("record"),
                              QStringLiteral("Append every event line to this file."),
                              QStringLiteral("file")};
    QCommandLineOption bind{QStringLiteral("bind"),
                            QStringLiteral("Local address to listen on (default 0.0.0.0)."),
                            QStringLiteral("addr"), QStringLiteral("0.0.0.0")};
    QCommandLineOption pagingPort{QStringLiteral("paging-port"),
                                  QStringLiteral("Paging port (default 1901)."),
                                  QStringLiteral("port"), QStringLiteral("1901")};
    QCommandLineOption configPort{QStringLiteral("config-port"),
                                  QStringLiteral("Configuration port (default 2976)."),
                                  QStringLiteral("port"), QStringLiteral("2976")};
    QCommandLineOption levelPort{QStringLiteral("level-port"),
                                 QStringLiteral("Attenuation and level port (default 2977)."),
                                 QStringLiteral("port"), QStringLiteral("2977")};
    QCommandLineOption device{
        QStringLiteral("device"),
        QStringLiteral("Listen and answer on this interface only (needs root)."),
        QStringLiteral("ifname")};
    QCommandLineOption identities{QStringLiteral("identities"),
                                  QStringLiteral("Play one element per line of this file."),
                                  QStringLiteral("file")};

    QList<QCommandLineOption> all() const
    {
        return {role,       name,
                serial,     version,
                ip,         mask,
                gw,         remote,
                input,      type,
                tx,         sfn,
                buf,        att,
                sdm,        sdl,
                sdt,        length,
                delay,      noAnswer,
                noAnswerTo, corrupt,
                disagree,   levelDbfs,
                silence,    applyInterface,
                record,     bind,
                pagingPort, configPort,
                levelPort,  device,
                identities};
    }
};

class Reader {
public:
    Reader(const QCommandLineParser& parser, QString* error)
        : m_parser(parser)
        , m_error(error)
    {
    }

    bool ok() const { return m_ok; }

    void fail(const QString& message)
    {
        if (m_ok && m_error)
            *m_error = message;
        m_ok = false;
    }

    long long number(const QCommandLineOption& option, long long low, long long high)
    {
        bool converted = false;
        const QString text = m_parser.value(option);
        const long long value = text.toLongLong(&converted, 0);
        if (!converted || value < low || value > high) {
            fail(QStringLiteral("--%1: '%2' is not a number from %3 to %4")
                     .arg(option.names().first(), text)
                     .arg(low)
                     .arg(high));
            return low;
        }
        return value;
    }

    std::uint8_t byte(const QCommandLineOption& option)
    {
        return std::uint8_t(number(option, 0, 255));
    }

    Address address(const QCommandLineOption& option)
    {
        const auto parsed = SimCodec::parseAddress(m_parser.value(option));
        if (!parsed)
            fail(QStringLiteral("--%1: '%2' is not a dotted IPv4 address")
                     .arg(option.names().first(), m_parser.value(option)));
        return parsed.value_or(Address{0, 0, 0, 0});
    }

    void applyOverride(const QString& setting, bool allowDefault, QList<FieldOverride>& list)
    {
        QString problem;
        const auto parsed = FieldOverride::parse(setting, allowDefault, &problem);
        if (!parsed)
            fail(problem);
        else
            list.append(*parsed);
    }

private:
    const QCommandLineParser& m_parser;
    QString* m_error;
    bool m_ok = true;
};

Address toAddress(const QHostAddress& host)
{
    const quint32 value = host.toIPv4Address();
    return {std::uint8_t(value >> 24), std::uint8_t(value >> 16), std::uint8_t(value >> 8),
            std::uint8_t(value)};
}

// The named interface's first IPv4 address, or else the first IPv4 address of
// any interface that is not loopback.
std::optional<QNetworkAddressEntry> ownAddressEntry(const QString& interfaceName)
{
    for (const QNetworkInterface& netif : QNetworkInterface::allInterfaces()) {
        if (netif.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        if (!interfaceName.isEmpty() && netif.name() != interfaceName)
            continue;
        for (const QNetworkAddressEntry& entry : netif.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                return entry;
        }
    }
    if (!interfaceName.isEmpty())
        return ownAddressEntry(QString());
    return std::nullopt;
}

void readAddresses(const QCommandLineParser& parser, const OptionSet& o, Reader& reader,
                   ElementState& state)
{
    // Looking the interfaces up is slow with a thousand of them: only when
    // the command line leaves the address or mask to them.
    const bool needOwn = !parser.isSet(o.ip) || !parser.isSet(o.mask);
    const auto own = needOwn ? ownAddressEntry(parser.value(o.applyInterface))
                             : std::optional<QNetworkAddressEntry>();
    if (parser.isSet(o.ip))
        state.ip = reader.address(o.ip);
    else if (own)
        state.ip = toAddress(own->ip());
    if (parser.isSet(o.mask))
        state.mask = reader.address(o.mask);
    else if (own)
        state.mask = toAddress(own->netmask());
    state.gw = reader.address(o.gw);
    state.remote = reader.address(o.remote);
}

void readRole(const QCommandLineParser& parser, const OptionSet& o, Reader& reader,
              ElementState& state)
{
    const QString role = parser.value(o.role).toLower();
    if (role == QStringLiteral("encoder"))
        state.role = ElementState::kEncoder;
    else if (role == QStringLiteral("decoder"))
        state.role = ElementState::kDecoder;
    else
        reader.fail(QStringLiteral("--role: '%1' is neither encoder nor decoder").arg(role));
}

void readIdentity(const QCommandLineParser& parser, const OptionSet& o, Reader& reader,
                  ElementState& state)
{
    readRole(parser, o, reader, state);
    const QString defaultName =
        state.isDecoder() ? QStringLiteral("SIM DECODER") : QStringLiteral("SIM ENCODER");
    const auto name =
        FieldOverride::parseName(parser.isSet(o.name) ? parser.value(o.name) : defaultName);
    if (!name)
        reader.fail(QStringLiteral("--name: not Latin-1 text or a bad escape"));
    else
        state.name = *name;
    state.serial = std::uint32_t(reader.number(o.serial, 0, 0xFFFFFFFFll));
    QString problem;
    const auto version =
        FieldOverride::parse(QStringLiteral("version=") + parser.value(o.version), false, &problem);
    if (!version)
        reader.fail(QStringLiteral("--version: ") + problem);
    else
        version->apply(state);
}

void readSettings(const OptionSet& o, Reader& reader, ElementState& state)
{
    state.input = reader.byte(o.input);
    state.type = reader.byte(o.type);
    state.tx = reader.byte(o.tx);
    state.sfn = reader.byte(o.sfn);
    state.buf = reader.byte(o.buf);
    state.att = reader.byte(o.att);
    state.sdm = reader.byte(o.sdm);
    state.sdl = reader.byte(o.sdl);
    state.sdt = reader.byte(o.sdt);
}

void readAnswers(const QCommandLineParser& parser, const OptionSet& o, Reader& reader,
                 SimConfig& config)
{
    if (parser.isSet(o.length))
        config.feedbackLength = int(reader.number(o.length, 0, 1472));
    config.delayMs = int(reader.number(o.delay, 0, 60000));
    const bool none = parser.isSet(o.noAnswer);
    const QStringList kinds =
        parser.value(o.noAnswerTo).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& kind : kinds) {
        if (kind != QStringLiteral("paging") && kind != QStringLiteral("config") &&
            kind != QStringLiteral("level"))
            reader.fail(QStringLiteral("--no-answer-to: unknown kind '%1'").arg(kind));
    }
    config.answerPaging = !none && !kinds.contains(QLatin1String("paging"));
    config.answerConfiguration = !none && !kinds.contains(QLatin1String("config"));
    config.answerLevel = !none && !kinds.contains(QLatin1String("level"));
    for (const QString& setting : parser.values(o.corrupt))
        reader.applyOverride(setting, true, config.corruptions);
    for (const QString& setting : parser.values(o.disagree))
        reader.applyOverride(setting, false, config.disagreements);
    bool converted = false;
    const double dbfs = parser.value(o.levelDbfs).toDouble(&converted);
    if (!converted || dbfs > 0.0)
        reader.fail(QStringLiteral("--level-dbfs: a number of 0 or less is needed"));
    config.levelPeak = parser.isSet(o.silence) ? 0 : SimCodec::peakForDbfs(dbfs);
}

void readEndpoints(const QCommandLineParser& parser, const OptionSet& o, Reader& reader,
                   SimConfig& config)
{
    config.applyInterface = parser.value(o.applyInterface);
    config.recordPath = parser.value(o.record);
    config.device = parser.value(o.device);
    config.bindAddress = QHostAddress(parser.value(o.bind));
    if (config.bindAddress.protocol() != QAbstractSocket::IPv4Protocol)
        reader.fail(QStringLiteral("--bind: an IPv4 address is needed"));
    config.pagingPort = quint16(reader.number(o.pagingPort, 1, 65535));
    config.configurationPort = quint16(reader.number(o.configPort, 1, 65535));
    config.levelPort = quint16(reader.number(o.levelPort, 1, 65535));
}

} // namespace

std::optional<SimConfig> SimOptions::parse(const QStringList& arguments, QString* error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    const OptionSet options;
    parser.addOptions(options.all());
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        std::exit(0);
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument: ") + parser.positionalArguments().first();
        return std::nullopt;
    }
    SimConfig config;
    Reader reader(parser, error);
    readIdentity(parser, options, reader, config.state);
    readAddresses(parser, options, reader, config.state);
    readSettings(options, reader, config.state);
    readAnswers(parser, options, reader, config);
    readEndpoints(parser, options, reader, config);
    if (!reader.ok())
        return std::nullopt;
    return config;
}

namespace {

// The command line without its --identities option, to be followed by one
// line of the file.
QStringList withoutIdentities(const QStringList& arguments)
{
    QStringList kept;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QStringLiteral("--identities")) {
            ++i;
            continue;
        }
        if (!argument.startsWith(QStringLiteral("--identities=")))
            kept << argument;
    }
    return kept;
}

std::optional<QString> identitiesFile(const QStringList& arguments)
{
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) == QStringLiteral("--identities") && i + 1 < arguments.size())
            return arguments.at(i + 1);
        if (arguments.at(i).startsWith(QStringLiteral("--identities=")))
            return arguments.at(i).mid(int(sizeof "--identities=") - 1);
    }
    return std::nullopt;
}

} // namespace

std::optional<QList<SimConfig>> SimOptions::parseAll(const QStringList& arguments, QString* error)
{
    const auto path = identitiesFile(arguments);
    if (!path) {
        const auto single = parse(arguments, error);
        if (!single)
            return std::nullopt;
        return QList<SimConfig>{*single};
    }
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("--identities: cannot read %1: %2").arg(*path, file.errorString());
        return std::nullopt;
    }
    const QStringList base = withoutIdentities(arguments);
    QList<SimConfig> configs;
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const auto config = parse(base + QProcess::splitCommand(line), error);
        if (!config) {
            *error = QStringLiteral("%1 line %2: %3").arg(*path).arg(lineNumber).arg(*error);
            return std::nullopt;
        }
        configs << *config;
    }
    if (configs.isEmpty()) {
        *error = QStringLiteral("--identities: %1 names no element").arg(*path);
        return std::nullopt;
    }
    return configs;
}

} // namespace nms::sim
