#include "cli/Console.h"

#include <cstdio>

namespace nms::cli {

namespace {

void write(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void Console::out(const QString& text)
{
    write(stdout, text);
}

void Console::outLine(const QString& line)
{
    write(stdout, line + QLatin1Char('\n'));
}

void Console::errLine(const QString& line)
{
    write(stderr, line + QLatin1Char('\n'));
}

} // namespace nms::cli
