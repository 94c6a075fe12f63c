#pragma once

#include <optional>

#include <QObject>
#include <QString>

namespace nms::cli {

class ElementLink;
class InterruptSignals;

// One "VOL" request to an element's control port, and the level datagram
// that answers it, as the meter polls: the answer must come from the
// element's address within the bound.
class LevelPoller : public QObject {
    Q_OBJECT
public:
    static constexpr int kAnswerBoundMs = 1000;

    LevelPoller(ElementLink& link, InterruptSignals& interrupts, QObject* parent = nullptr);

    // The answer's peak, or nothing when none came (or an interruption).
    std::optional<qint32> poll(const QString& storedAddress);

private:
    ElementLink& m_link;
    InterruptSignals& m_interrupts;
};

} // namespace nms::cli
