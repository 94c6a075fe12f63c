#pragma once

#include <QString>
#include <QStringList>

namespace nms {
class Clock;
class Dialogs;
class IcmpSocket;
} // namespace nms

namespace nms::cli {

class InterruptSignals;

// `serve`: the Prometheus exporter. Polls the elements every interval and
// serves the last finished round's figures over HTTP until SIGTERM or
// Ctrl-C, then exits 0.
class ServeCommand {
public:
    static constexpr quint16 kDefaultPort = 9798;

    ServeCommand(QString defaultDatabase, Dialogs& dialogs, IcmpSocket& socket, Clock& clock,
                 InterruptSignals& interrupts);
    int run(const QStringList& arguments);

    // "ADDR:PORT", "[IPV6]:PORT" or ":PORT" (every address); false for
    // anything else. An empty host comes back as a null address.
    static bool parseListen(const QString& text, QString& host, quint16& port);

private:
    QString m_defaultDatabase;
    Dialogs& m_dialogs;
    IcmpSocket& m_socket;
    Clock& m_clock;
    InterruptSignals& m_interrupts;
};

} // namespace nms::cli
