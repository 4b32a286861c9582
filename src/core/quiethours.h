#pragma once

#include <QTime>

namespace hy {

// 免打扰: a span of the day in which the clock chimes stay silent. The span
// starts at `from` (included) and ends at `to` (excluded), so with the
// defaults a chime at 22:00 is silent and one at 7:00 is heard. A span whose
// end comes before its start runs over midnight. Equal times make an empty
// span: nothing is kept silent.
struct QuietHours
{
    bool enabled = false;
    QTime from{22, 0};
    QTime to{7, 0};
    bool operator==(const QuietHours&) const = default;
};

// Whether the clock chimes are silent at `now`.
bool isQuiet(const QuietHours& quiet, const QTime& now);

} // namespace hy
