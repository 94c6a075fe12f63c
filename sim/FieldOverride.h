#pragma once

#include "ElementState.h"
#include "SimCodec.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace nms::sim {

// One "FIELD=VALUE" from the command line, put over the state before a
// feedback is encoded: the faults (--corrupt) and the disagreeing answers
// (--disagree). Fields: ip mask gw remote input type tx name role serial
// version sfn buf att sdm sdl sdt. A name may carry \r \n \t \\ and \xHH.
class FieldOverride {
public:
    static QStringList fieldNames()
    {
        return {QStringLiteral("ip"),     QStringLiteral("mask"),    QStringLiteral("gw"),
                QStringLiteral("remote"), QStringLiteral("input"),   QStringLiteral("type"),
                QStringLiteral("tx"),     QStringLiteral("name"),    QStringLiteral("role"),
                QStringLiteral("serial"), QStringLiteral("version"), QStringLiteral("sfn"),
                QStringLiteral("buf"),    QStringLiteral("att"),     QStringLiteral("sdm"),
                QStringLiteral("sdl"),    QStringLiteral("sdt")};
    }

    // With allowDefault a bare FIELD takes a value that the station's checks
    // must reject (see defaultFault).
    static std::optional<FieldOverride> parse(const QString& setting, bool allowDefault,
                                              QString* error)
    {
        const int equals = setting.indexOf(QLatin1Char('='));
        const QString field = canonicalField(setting.left(equals < 0 ? setting.size() : equals));
        if (!fieldNames().contains(field))
            return fail(error, QStringLiteral("unknown field '%1'").arg(setting.left(equals)));
        if (equals < 0 && !allowDefault)
            return fail(error, QStringLiteral("'%1' needs a value (FIELD=VALUE)").arg(setting));
        const QString value = equals < 0 ? defaultFault(field) : setting.mid(equals + 1);
        FieldOverride result(field, value);
        ElementState probe;
        if (!result.apply(probe))
            return fail(error, QStringLiteral("bad value '%1' for %2").arg(value, field));
        return result;
    }

    static QString defaultFault(const QString& field)
    {
        if (field == QStringLiteral("ip") || field == QStringLiteral("mask") ||
            field == QStringLiteral("gw") || field == QStringLiteral("remote"))
            return QStringLiteral("0.0.0.0");
        if (field == QStringLiteral("input") || field == QStringLiteral("type") ||
            field == QStringLiteral("tx"))
            return QStringLiteral("2");
        if (field == QStringLiteral("role"))
            return QStringLiteral("7");
        if (field == QStringLiteral("serial"))
            return QStringLiteral("0");
        if (field == QStringLiteral("version"))
            return QStringLiteral("255.255");
        if (field == QStringLiteral("name"))
            return QStringLiteral("BAD\\r\\n[EVIL]\\x01\\x00\\x7f\\xff");
        return QStringLiteral("255");
    }

    const QString& field() const { return m_field; }
    const QString& value() const { return m_value; }

    // False when the value does not suit the field; the state is then unchanged.
    bool apply(ElementState& state) const
    {
        if (isAddressField())
            return applyAddress(state);
        if (m_field == QStringLiteral("name"))
            return applyName(state);
        if (m_field == QStringLiteral("serial"))
            return applySerial(state);
        if (m_field == QStringLiteral("version"))
            return applyVersion(state);
        return applyByte(state);
    }

    static std::optional<NameBytes> parseName(const QString& text)
    {
        QByteArray bytes;
        for (int i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c != QLatin1Char('\\') || i + 1 >= text.size()) {
                if (c.unicode() > 0xFF)
                    return std::nullopt;
                bytes.append(char(c.unicode()));
                continue;
            }
            const QChar code = text[++i];
            if (code == QLatin1Char('r'))
                bytes.append('\r');
            else if (code == QLatin1Char('n'))
                bytes.append('\n');
            else if (code == QLatin1Char('t'))
                bytes.append('\t');
            else if (code == QLatin1Char('\\'))
                bytes.append('\\');
            else if (code == QLatin1Char('x')) {
                const QString hex = text.mid(i + 1, 2);
                bool ok = false;
                const uint value = hex.toUInt(&ok, 16);
                if (!ok || hex.size() != 2)
                    return std::nullopt;
                bytes.append(char(value));
                i += 2;
            } else
                return std::nullopt;
        }
        NameBytes name;
        name.fill(' ');
        for (int i = 0; i < 16 && i < bytes.size(); ++i)
            name[i] = std::uint8_t(bytes[i]);
        return name;
    }

private:
    FieldOverride(QString field, QString value)
        : m_field(std::move(field))
        , m_value(std::move(value))
    {
    }

    static std::optional<FieldOverride> fail(QString* error, const QString& message)
    {
        if (error)
            *error = message;
        return std::nullopt;
    }

    static QString canonicalField(const QString& text)
    {
        const QString field = text.trimmed().toLower();
        if (field == QStringLiteral("sn"))
            return QStringLiteral("serial");
        if (field == QStringLiteral("ver"))
            return QStringLiteral("version");
        return field;
    }

    bool isAddressField() const
    {
        return m_field == QStringLiteral("ip") || m_field == QStringLiteral("mask") ||
               m_field == QStringLiteral("gw") || m_field == QStringLiteral("remote");
    }

    bool applyAddress(ElementState& state) const
    {
        const auto address = SimCodec::parseAddress(m_value);
        if (!address)
            return false;
        Address& target = m_field == QStringLiteral("ip")     ? state.ip
                          : m_field == QStringLiteral("mask") ? state.mask
                          : m_field == QStringLiteral("gw")   ? state.gw
                                                              : state.remote;
        target = *address;
        return true;
    }

    bool applyName(ElementState& state) const
    {
        const auto name = parseName(m_value);
        if (!name)
            return false;
        state.name = *name;
        return true;
    }

    bool applySerial(ElementState& state) const
    {
        bool ok = false;
        const qulonglong serial = m_value.trimmed().toULongLong(&ok, 0);
        if (!ok || serial > 0xFFFFFFFFull)
            return false;
        state.serial = std::uint32_t(serial);
        return true;
    }

    bool applyVersion(ElementState& state) const
    {
        const QStringList parts = m_value.split(QLatin1Char('.'));
        if (parts.size() != 2)
            return false;
        bool majorOk = false;
        bool minorOk = false;
        const uint major = parts[0].toUInt(&majorOk);
        const uint minor = parts[1].toUInt(&minorOk);
        if (!majorOk || !minorOk || major > 255 || minor > 255)
            return false;
        state.versionMajor = std::uint8_t(major);
        state.versionMinor = std::uint8_t(minor);
        return true;
    }

    bool applyByte(ElementState& state) const
    {
        bool ok = false;
        const uint value = m_value.trimmed().toUInt(&ok, 0);
        if (!ok || value > 255)
            return false;
        byteField(state) = std::uint8_t(value);
        return true;
    }

    std::uint8_t& byteField(ElementState& state) const
    {
        if (m_field == QStringLiteral("input"))
            return state.input;
        if (m_field == QStringLiteral("type"))
            return state.type;
        if (m_field == QStringLiteral("tx"))
            return state.tx;
        if (m_field == QStringLiteral("role"))
            return state.role;
        if (m_field == QStringLiteral("sfn"))
            return state.sfn;
        if (m_field == QStringLiteral("buf"))
            return state.buf;
        if (m_field == QStringLiteral("att"))
            return state.att;
        if (m_field == QStringLiteral("sdm"))
            return state.sdm;
        if (m_field == QStringLiteral("sdl"))
            return state.sdl;
        return state.sdt;
    }

    QString m_field;
    QString m_value;
};

} // namespace nms::sim
