#pragma once

#include <optional>

#include <QString>
#include <QStringList>

namespace nms {

// Small text helpers shared by the database, the panel and the protocol.
namespace text {

// "001A2B3C4D5E" -> "00:1A:2B:3C:4D:5E"; any other length gives "".
QString FormatMAC(const QString& sectionName);
// "00:1a:2b:3c:4d:5e" -> "001A2B3C4D5E"; any other length gives "".
QString NormalizeMAC(const QString& colonForm);
QStringList SplitIP(const QString& text);
// Four dot-separated parts, each 0..255 (blanks around the digits allowed).
bool IsValidIP(const QString& text);
// The one reading of a stored address, for every part of the program: the
// text IsValidIP accepts, each part a decimal number ("010" is 10, never
// octal), as a 32-bit address in host order. Nothing for any other text.
std::optional<quint32> ReadIP(const QString& text);
// The same address in plain dotted form ("198.018.0.011" -> "198.18.0.11"),
// as a socket takes it; "" for a text ReadIP does not accept.
QString CanonicalIP(const QString& text);
// Upper case that never changes the text's length and stays within
// Latin-1: a character whose upper case is not exactly one Latin-1
// character ("\u00df", "\u00ff", "\u00b5") is kept as it is, since the file
// and the elements take one Latin-1 byte per character and a name has a
// fixed length.
QString UpperCaseLatin1(const QString& text);
// True when every character fits the one Latin-1 byte the file and the
// elements keep it in.
bool IsLatin1(const QString& text);
// Filled with blanks or cut to exactly 16 characters, upper-cased.
QString PadName16(const QString& name);
double Log10(double x);
// Shortest decimal form of a number, with the locale's decimal separator.
QString ShortestNumber(double value);
// Rounded to one decimal, ties to the even digit.
double RoundToTenthHalfEven(double value);

} // namespace text
} // namespace nms
