#pragma once

#include <optional>

#include <QString>

namespace nms::record {

// The ranges of the panel's scroll bars, and so of the values a record
// holds and a configuration sends. The attenuation's minimum means mute.
inline constexpr int kAttenuationMute = 14;
inline constexpr int kAttenuationMax = 255;
inline constexpr int kBufferMin = 0;
inline constexpr int kBufferMax = 8;
inline constexpr int kSilenceLevelMin = 1;
inline constexpr int kSilenceLevelMax = 154;
inline constexpr int kSilenceTimeMin = 1;
inline constexpr int kSilenceTimeMax = 220;

// The panel's text fields hold at most this many characters, and its lists
// this many items (the bound encoders' list grows with the database).
inline constexpr int kNameLength = 16;
inline constexpr int kAddressLength = 15;
inline constexpr int kAudioChoices = 2;
inline constexpr int kSilenceModes = 3;

// A stored value read as a whole number the way the element record keeps
// them: an optional sign and decimal digits (blanks around them are already
// gone), within the 16-bit range the panel's lists and scroll bars take.
// Anything else (empty, "1.5", "abc", "99999") has no value.
std::optional<int> WholeNumber(const QString& stored);

// The SFN option as stored: 0 off, 1 on, 2 undetermined. The key holds the
// byte the element reported, so it may hold anything; every value but 1 and
// 2 (3 and more, a missing key, a text that is no number) reads as 0.
int SfnOption(const QString& stored);

// The firmware version caption: the stored number with exactly two decimals
// and a point as separator, whether it was written with a point or a comma.
// A value that is not a number is shown as stored, commas made points.
QString VersionCaption(const QString& stored);

} // namespace nms::record
