#pragma once

#include <QObject>
#include <QString>

namespace nms {

class IcmpSocket;

// The ICMP routines of the ping test: start and release the socket layer,
// send one echo, and name its status. An echo never blocks: SendEcho starts
// it and echoFinished reports its status (and round-trip time) later, never
// from within the call.
class IcmpModule : public QObject {
    Q_OBJECT
public:
    explicit IcmpModule(IcmpSocket& socket, QObject* parent = nullptr);

    // Opens the ICMP socket; false when the system allows none.
    bool OpenSocketLayer();
    // Closes it; an echo still outstanding is abandoned without a report.
    void CloseSocketLayer();

    // One echo to a dotted IPv4 address. Text that is no address, or that
    // reads as 0.0.0.0 or 255.255.255.255, is not sent and finishes with -1,
    // as does a socket layer that is not open. Returns false, starting
    // nothing, while an echo is outstanding.
    bool SendEcho(const QString& address);
    bool isEchoPending() const { return m_pending; }

    static QString EchoStatusText(qint32 status);
    // Dotted text to an address in host order: four decimal numbers 0..255,
    // blanks around each allowed; all ones for anything else.
    static quint32 ConvertAddress(const QString& address);

signals:
    void echoFinished(qint32 status, quint32 roundTripMs);

private:
    void socketFinished(qint32 status, quint32 roundTripMs);
    void finishWithoutSending();
    void report(qint32 status, quint32 roundTripMs);

    IcmpSocket& m_socket;
    bool m_pending = false;
    // Numbers each echo so that a report queued for an abandoned one is
    // dropped.
    quint64 m_echoNumber = 0;
};

} // namespace nms
