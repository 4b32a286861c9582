#pragma once

#include "core/clock.h"
#include "core/servertime/servertime.h"

#include <QDateTime>
#include <chrono>
#include <functional>
#include <optional>

namespace hy {

// The clock that the start-time gate and the chimes read: the local time, or,
// while it follows the server and the last good offset is fresh, the local
// time plus that offset. The countdown's ticks do not come from here and keep
// their pace.
//
// When the computer's clock is set (by hand, or by a time service) after the
// offset was measured, the offset is corrected by the step, so that local
// time plus offset still reads the server's time: the step is how far the
// local clock moved beyond the time that passed (steady clock). Steps under
// StepMs count as the clocks' own jitter.
class ServerClock final : public IClock
{
public:
    using ClockMs = std::function<qint64()>;
    static constexpr qint64 StepMs = 50;

    explicit ServerClock(
        const IClock& local, ClockMs wallMs = [] { return QDateTime::currentMSecsSinceEpoch(); },
        ClockMs steadyMs =
            [] {
                using namespace std::chrono;
                return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
            })
        : m_local(local)
        , m_wallMs(std::move(wallMs))
        , m_steadyMs(std::move(steadyMs))
    {}

    // The offset may be days or years; only its part within a day moves the
    // time of day (QTime takes an int of milliseconds, which holds 24 days).
    QTime timeOfDay() const override
    {
        constexpr qint64 DayMs = 24 * 60 * 60 * 1000;
        return m_local.timeOfDay().addMSecs(int((appliedOffsetUs() / 1000) % DayMs));
    }

    // What timeOfDay() adds to the local time now.
    qint64 appliedOffsetUs() const
    {
        const auto o = m_follow ? freshOffset() : std::nullopt;
        return o ? o->offsetUs : 0;
    }
    // The last good offset, corrected for a step of the local clock since,
    // while it is at most an hour old.
    std::optional<ServerOffset> freshOffset() const
    {
        if (!m_offset || !offsetFresh(*m_offset, m_wallMs()))
            return std::nullopt;
        ServerOffset o = *m_offset;
        const qint64 step = (m_wallMs() - m_wallAtSet) - (m_steadyMs() - m_steadyAtSet);
        if (step >= StepMs || step <= -StepMs)
            o.offsetUs -= step * 1000;
        return o;
    }
    const std::optional<ServerOffset>& lastOffset() const { return m_offset; }
    qint64 nowMs() const { return m_wallMs(); }

    void setOffset(std::optional<ServerOffset> o)
    {
        m_offset = o;
        m_wallAtSet = m_wallMs();
        m_steadyAtSet = m_steadyMs();
    }
    void setFollow(bool on) { m_follow = on; }
    bool follows() const { return m_follow; }

private:
    const IClock& m_local;
    ClockMs m_wallMs;
    ClockMs m_steadyMs;
    std::optional<ServerOffset> m_offset;
    qint64 m_wallAtSet = 0;
    qint64 m_steadyAtSet = 0;
    bool m_follow = false;
};

} // namespace hy
