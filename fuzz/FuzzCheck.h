#pragma once

#include <QByteArray>
#include <QString>

namespace nms::fuzz {

// A broken promise ends the run: libFuzzer keeps the input as the reproducer.
inline void require(bool condition, const char* what, const QString& detail = QString())
{
    if (!condition)
        qFatal("FUZZ FINDING: %s\n  %s", what, qPrintable(detail));
}

// The big-endian number in these bytes, as the datagrams carry it; a byte
// past the end reads as zero.
inline quint32 at(const QByteArray& d, qsizetype offset, int bytes = 1)
{
    quint32 value = 0;
    for (qsizetype i = offset; i < offset + bytes; ++i)
        value = value << 8 | (i < d.size() ? quint8(d[i]) : 0);
    return value;
}

} // namespace nms::fuzz

// The libFuzzer entry point, given the input as bytes:
//   NMS_FUZZ_TARGET(input) { ...checks on input... }
#define NMS_FUZZ_TARGET(input)                                                                     \
    static void fuzzOne(const QByteArray& input);                                                  \
    extern "C" int LLVMFuzzerTestOneInput(const char* data, size_t size)                           \
    {                                                                                              \
        return fuzzOne(QByteArray(data, qsizetype(size))), 0;                                      \
    }                                                                                              \
    static void fuzzOne(const QByteArray& input)
