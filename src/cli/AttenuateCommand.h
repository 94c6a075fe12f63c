#pragma once

#include <optional>

#include <QString>
#include <QStringList>

namespace nms {
class Dialogs;
}

namespace nms::cli {

// `attenuate ELEMENT DB`: a decoder's output attenuation, sent and stored as
// the window's scroll bar does.
class AttenuateCommand {
public:
    AttenuateCommand(QString defaultDatabase, Dialogs& dialogs);
    int run(const QStringList& arguments);

    // The scroll bar's code for "mute" or -120..0 dB in 0.5 dB steps:
    // mute is the bar's minimum, otherwise 255 + 2 x dB. Nothing for any
    // other text.
    static std::optional<int> codeFor(const QString& decibels);

private:
    QString m_defaultDatabase;
    Dialogs& m_dialogs;
};

} // namespace nms::cli
