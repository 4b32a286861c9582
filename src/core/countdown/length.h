#pragma once

#include <QString>
#include <optional>

namespace hy {

// The h:m:s length of a countdown, as the window's three boxes hold it.
struct CountdownLength
{
    int hours = 0;
    int minutes = 0;
    int seconds = 0;

    int totalSeconds() const { return (hours * 60 + minutes) * 60 + seconds; }
    // "0:5:0", as the display shows a time left.
    QString toString() const;
    bool operator==(const CountdownLength&) const = default;
};

// A length as given on the command line (--length 0:5:0): hours 0..23,
// minutes 0..59 and seconds 0..59, the ranges of the window's boxes, each
// given in ASCII digits, with blanks around the parts and leading zeros
// allowed ("00:05:00", " 1 : 0 : 0 "). Refused, with a Chinese reason in
// `error` that can stand on an error line as it is: fewer or more than three
// parts, an empty part, a sign, letters or other digits, a value out of its
// range, and 0:0:0 (a countdown of nothing, which the window only runs as the
// boxes happen to say).
std::optional<CountdownLength> parseLength(const QString& text, QString* error = nullptr);

} // namespace hy
