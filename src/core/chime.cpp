#include "core/chime.h"

namespace hy {

int msToNextChime(const QTime& now, bool orNow)
{
    const int intoMinute = now.second() * 1000 + now.msec();
    if (intoMinute == 0 && orNow)
        return 0;
    return 60000 - intoMinute;
}

std::optional<int> chimeDue(const ChimeChoice& choice, const QTime& now)
{
    const int h = now.hour();
    const int m = now.minute();
    bool due = false;
    if (choice.onHour && m == 0)
        due = true;
    if (choice.onHalfHour && m == 30)
        due = true;
    if (choice.atFixedTime) {
        bool hourOk = false;
        bool minuteOk = false;
        const int fixedHour = choice.fixedHour.trimmed().toInt(&hourOk, 10);
        const int fixedMinute = choice.fixedMinute.trimmed().toInt(&minuteOk, 10);
        if (hourOk && minuteOk && h == fixedHour && m == fixedMinute)
            due = true;
    }
    if (!due)
        return std::nullopt;
    return h * 1000 + m;
}

} // namespace hy
