#pragma once

#include "platform/IcmpSocket.h"

namespace nms {

// How this process pings: through the unprivileged datagram socket where
// net.ipv4.ping_group_range allows it, else through the ICMP helper. The
// choice is made at every open(), so that a range widened while the program
// runs is used from the next echo on. With neither, open() fails.
class IcmpRoute : public IcmpSocket {
    Q_OBJECT
public:
    IcmpRoute(IcmpSocket& datagram, IcmpSocket& helper, QObject* parent = nullptr);

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_active && m_active->isOpen(); }
    bool sendEcho(quint32 ipv4Address) override;
    bool isEchoPending() const override { return m_active && m_active->isEchoPending(); }
    // Another socket of the route the last open() chose.
    std::unique_ptr<IcmpSocket> sibling() override
    {
        return m_active ? m_active->sibling() : nullptr;
    }

    // The socket the last open() chose, or none.
    const IcmpSocket* active() const { return m_active; }

private:
    void forward(IcmpSocket& from);

    IcmpSocket& m_datagram;
    IcmpSocket& m_helper;
    IcmpSocket* m_active = nullptr;
};

} // namespace nms
