#pragma once

#include <QString>
#include <QtGlobal>

namespace nms {

// The values of one element feedback, kept by each decoding call for itself.
struct FeedbackRecord {
    QString mac; // colon form, from the ARP lookup; not part of the datagram
    QString ip;
    QString mask;
    QString gw;
    QString remote;
    quint8 input = 0;
    quint8 type = 0;
    quint8 tx = 0;
    QString name; // the 16 characters as they stand
    quint8 role = 0;
    // The serial as the element sends it: four bytes, most significant first.
    quint32 sn = 0;
    double ver = 2.0; // single-precision value, widened
    quint8 sfn = 0;
    quint8 buf = 0;
    // Decoders only.
    quint8 att = 255;
    quint8 sdm = 0;
    quint8 sdl = 37;
    quint8 sdt = 43;
    // Which of these fields the datagram itself carried; a short answer
    // leaves the rest at their defaults, which a new record takes but which
    // must not replace a stored value.
    bool hasSfn = false;
    bool hasBuf = false;
    bool hasAtt = false;
    bool hasSdm = false;
    bool hasSdl = false;
    bool hasSdt = false;
    int length = 0;
};

} // namespace nms
