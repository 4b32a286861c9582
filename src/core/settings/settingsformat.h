#pragma once

#include <QString>
#include <QTime>
#include <optional>

namespace hy {

// A stored integer: optional blanks around an optional sign followed by
// decimal digits, or by "0x"/"0X" and hexadecimal digits (up to 32 bits, taken
// as a two's-complement value). Anything else, an empty text included, and
// decimals outside the 32-bit range read as 0.
int parseProfileInt(const QString& text);

// A stored time of day: hours and minutes, optionally seconds (0 when left
// out), separated by ':', each one or two digits; hour below 24, minutes and
// seconds below 60. A morning/afternoon marker (AM, PM in any letter case,
// 上午, 下午) may stand before or after the time, with or without a blank;
// with a marker the hour is 0 to 12 (12 AM is midnight, 12 PM noon). Blanks
// around the whole text are ignored. nullopt when the text is none of this.
std::optional<QTime> parseStartTime(const QString& text);

// The stored form of a time of day: hours without a leading zero, two-digit
// minutes and seconds, e.g. "5:05:05". Empty for an invalid time.
QString formatStartTime(const QTime& time);

} // namespace hy
