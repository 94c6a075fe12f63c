#pragma once

#include "ElementState.h"
#include "FieldOverride.h"

#include <QHostAddress>
#include <QList>
#include <QString>

#include <cstdint>

namespace nms::sim {

// What the command line asked the simulator to be and to do.
struct SimConfig {
    ElementState state;
    int feedbackLength = -1; // -1: the role's complete length
    int delayMs = 0;
    bool answerPaging = true;
    bool answerConfiguration = true;
    bool answerLevel = true;
    QList<FieldOverride> corruptions;   // over every feedback
    QList<FieldOverride> disagreements; // over answers to configurations only
    std::int32_t levelPeak = 0;         // 0 sends silence
    QString applyInterface;
    QString recordPath;
    QHostAddress bindAddress = QHostAddress(QHostAddress::AnyIPv4);
    // When set, the ports listen and answer on this interface only, so that
    // one process can play many elements, one interface each.
    QString device;
    quint16 pagingPort = 1901;
    quint16 configurationPort = 2976;
    quint16 levelPort = 2977;
};

} // namespace nms::sim
