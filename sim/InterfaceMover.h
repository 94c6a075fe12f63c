#pragma once

#include "ElementState.h"

#include <QString>
#include <QStringList>

namespace nms::sim {

// Moves the element's own interface to a configured address, mask and
// gateway, as a real element does before it answers from its new address.
// Runs `ip` (root inside the element's namespace). Refuses anything outside
// 198.18.0.0/15, so a configuration can never point the lab at a real network.
class InterfaceMover {
public:
    explicit InterfaceMover(QString interfaceName);

    // Returns the event line that tells what happened.
    QString move(const Address& ip, const Address& mask, const Address& gw);

    static bool isTestRange(const Address& address);
    // -1 for a mask whose one bits are not contiguous from the top.
    static int prefixLength(const Address& mask);
    static bool sameSubnet(const Address& a, const Address& b, const Address& mask);

private:
    bool runIp(const QStringList& arguments, QString* problem) const;
    QString refuse(const QString& reason) const;
    QString applyRoute(const Address& gw, const Address& ip, const Address& mask);

    QString m_interface;
    QString m_ipProgram;
};

} // namespace nms::sim
