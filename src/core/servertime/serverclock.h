#pragma once

#include "core/clock.h"
#include "core/servertime/servertime.h"

#include <QDateTime>
#include <functional>
#include <optional>

namespace hy {

// The clock that the start-time gate and the chimes read: the local time, or,
// while it follows the server and the last good offset is fresh, the local
// time plus that offset. The countdown's ticks do not come from here and keep
// their pace.
class ServerClock final : public IClock
{
public:
    using WallClockMs = std::function<qint64()>;

    explicit ServerClock(
        const IClock& local, WallClockMs nowMs = [] { return QDateTime::currentMSecsSinceEpoch(); })
        : m_local(local)
        , m_nowMs(std::move(nowMs))
    {}

    QTime timeOfDay() const override
    {
        return m_local.timeOfDay().addMSecs(int(appliedOffsetUs() / 1000));
    }

    // What timeOfDay() adds to the local time now.
    qint64 appliedOffsetUs() const { return m_follow && freshOffset() ? m_offset->offsetUs : 0; }
    // The last good offset while it is at most an hour old.
    std::optional<ServerOffset> freshOffset() const
    {
        if (m_offset && offsetFresh(*m_offset, m_nowMs()))
            return m_offset;
        return std::nullopt;
    }
    const std::optional<ServerOffset>& lastOffset() const { return m_offset; }
    qint64 nowMs() const { return m_nowMs(); }

    void setOffset(std::optional<ServerOffset> o) { m_offset = o; }
    void setFollow(bool on) { m_follow = on; }
    bool follows() const { return m_follow; }

private:
    const IClock& m_local;
    WallClockMs m_nowMs;
    std::optional<ServerOffset> m_offset;
    bool m_follow = false;
};

} // namespace hy
