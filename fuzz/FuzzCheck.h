#pragma once

#include <cstdio>
#include <cstdlib>
#include <iterator>

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

// Big-endian reading and writing as the datagrams carry it; a byte past the
// end reads as zero.
inline quint8 at(const QByteArray& d, qsizetype offset)
{
    return offset < d.size() ? quint8(d[offset]) : 0;
}

inline quint16 be16(const QByteArray& d, qsizetype offset)
{
    return quint16((at(d, offset) << 8) | at(d, offset + 1));
}

inline quint32 be32(const QByteArray& d, qsizetype offset)
{
    return (quint32(be16(d, offset)) << 16) | be16(d, offset + 2);
}

// Whether the bytes from offset on are these, as the datagram carries them.
template <typename Bytes> bool bytesAre(const QByteArray& d, qsizetype offset, const Bytes& bytes)
{
    for (qsizetype i = 0; i < qsizetype(std::size(bytes)); ++i)
        if (at(d, offset + i) != bytes[i])
            return false;
    return true;
}

inline void put16(QByteArray& d, qsizetype offset, quint16 value)
{
    d[offset] = char(value >> 8);
    d[offset + 1] = char(value & 0xFF);
}

} // namespace nms::fuzz

// The libFuzzer entry point, given the input as bytes:
//   NMS_FUZZ_TARGET(input) { ...checks on input... }
#define NMS_FUZZ_TARGET(input)                                                                     \
    static void fuzzOne(const QByteArray& input);                                                  \
    extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)                  \
    {                                                                                              \
        fuzzOne(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));    \
        return 0;                                                                                  \
    }                                                                                              \
    static void fuzzOne(const QByteArray& input)
