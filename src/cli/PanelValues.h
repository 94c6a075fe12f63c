#pragma once

#include <optional>

#include <QString>

#include "protocol/ConfigurationPacket.h"

namespace nms::cli {

class StoredElement;

// What the window's properties panel holds for one element once it has been
// selected: the stored record read by the selection's rules, then edited.
// A configuration is built from it and checked as the save command checks
// the panel.
class PanelValues {
public:
    QString section;
    QString name;
    QString ip;
    QString mask;
    QString gw;
    QString remote;
    int input = 0;
    int type = 0;
    int tx = 0;
    int bound = 0;
    int role = 0;
    // Decoder only.
    int sfn = 0;
    int buf = 1;
    int sdm = 0;
    int sdl = 37;
    int sdt = 43;

    bool isDecoder() const { return role == 2; }

    // The selection's reading of a record: a record of 18 or more keys, or
    // one whose audio choices, bound encoder or role are no whole numbers in
    // range, is refused (CliError) with the selection's text. A decoder
    // value that is missing or out of range takes its default.
    static PanelValues fromRecord(const StoredElement& element, int encoderCount,
                                  int refusalStatus);

    // The message of the first of the save command's checks that fails.
    std::optional<QString> firstFailedCheck(const QString& databasePath) const;
    ConfigurationPacket::Fields packetFields() const;
};

} // namespace nms::cli
