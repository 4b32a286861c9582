#pragma once

#include <QString>
#include <QTime>
#include <optional>

namespace hy {

// The three clock chimes as the window's boxes hold them.
struct ChimeChoice
{
    bool onHour = false;
    bool onHalfHour = false;
    bool atFixedTime = false;
    QString fixedHour;   // text of the fixed-time hour box
    QString fixedMinute; // text of the fixed-time minute box
};

// The chime timer runs while any chime is switched on.
inline bool chimeTimerWanted(const ChimeChoice& c)
{
    return c.onHour || c.onHalfHour || c.atFixedTime;
}

// How long from `now` until the chime timer's next firing: second 0 of the
// next minute of the local clock, or now itself when `now` is exactly on a
// minute and `orNow` is set (the timer is being switched on). Taken afresh at
// every firing, so the firings cannot wander off the minute, and a changed
// clock or a resume from suspend is put right by the next one.
int msToNextChime(const QTime& now, bool orNow);

// What one firing of the chime timer at `now` asks to speak: the clock-time
// argument (hour * 1000 + minute), or nothing when no chime is due. However
// many chimes are due, one request. A fixed time whose text is not a whole
// number is never due.
std::optional<int> chimeDue(const ChimeChoice& choice, const QTime& now);

} // namespace hy
