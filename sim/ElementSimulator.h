#pragma once

#include "EventLog.h"
#include "InterfaceMover.h"
#include "SimConfig.h"

#include <QHostAddress>
#include <QObject>

class QUdpSocket;

namespace nms::sim {

// The simulated element: three UDP ports, its state, and the answers it
// gives. Every datagram and every answer is written to the event log.
class ElementSimulator : public QObject {
    Q_OBJECT
public:
    ElementSimulator(SimConfig config, EventLog& log, QObject* parent = nullptr);

    // Binds the three ports; false with a message when one is taken.
    bool start(QString* error);

private:
    QUdpSocket* bindPort(quint16 port, QString* error);
    bool bindOnDevice(QUdpSocket* socket, quint16 port, QString* error);
    void drain(QUdpSocket* socket);
    void dispatch(QUdpSocket* socket, const QByteArray& datagram, const QHostAddress& sender,
                  quint16 senderPort);
    void handlePaging(QUdpSocket* socket, const QByteArray& datagram, const QHostAddress& sender,
                      quint16 senderPort);
    void handleConfiguration(QUdpSocket* socket, const QByteArray& datagram,
                             const QHostAddress& sender, quint16 senderPort);
    void handleLevelPort(QUdpSocket* socket, const QByteArray& datagram, const QHostAddress& sender,
                         quint16 senderPort);
    void applyConfiguration(const ElementState& configured);
    QByteArray feedback(const QList<FieldOverride>& extra) const;
    void answer(QUdpSocket* socket, const QByteArray& bytes, const QHostAddress& to,
                quint16 toPort);
    void send(QUdpSocket* socket, const QByteArray& bytes, const QHostAddress& to, quint16 toPort);
    void ignore(QUdpSocket* socket, const QHostAddress& sender, quint16 senderPort,
                const QString& reason);
    void silent(QUdpSocket* socket, const QString& reason);
    static bool isAllowedPeer(const QHostAddress& address);

    SimConfig m_config;
    ElementState m_state;
    EventLog& m_log;
    InterfaceMover m_mover;
    QUdpSocket* m_paging = nullptr;
    QUdpSocket* m_configuration = nullptr;
    QUdpSocket* m_level = nullptr;
};

} // namespace nms::sim
