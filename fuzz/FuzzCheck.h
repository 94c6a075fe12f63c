#pragma once

#include <cstdio>
#include <cstdlib>

#include <QByteArray>
#include <QString>

namespace nms::fuzz {

// A broken promise ends the run: libFuzzer keeps the input as the reproducer.
[[noreturn]] inline void fail(const char* what, const QString& detail = QString())
{
    std::fprintf(stderr, "FUZZ FINDING: %s\n", what);
    if (!detail.isEmpty())
        std::fprintf(stderr, "  %s\n", detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

inline void require(bool condition, const char* what, const QString& detail = QString())
{
    if (!condition)
        fail(what, detail);
}

// Text with every character outside printable ASCII escaped, for messages.
inline QString shown(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F && u != '"' && u != '\\')
            out += c;
        else
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
    }
    return out + QLatin1Char('"');
}

inline QByteArray bytesOf(const unsigned char* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

} // namespace nms::fuzz
