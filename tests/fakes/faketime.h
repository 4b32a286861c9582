#pragma once

#include "fakes/countdownfakes.h"

#include "core/timer.h"

#include <QString>
#include <algorithm>
#include <vector>

class FakeTime;

// A timer that fires only when the test moves FakeTime on.
class FakeTimer final : public hy::ITimer
{
public:
    FakeTimer(FakeTime& time, QString name);
    ~FakeTimer() override;

    void start(int intervalMs, bool singleShot) override;
    void stop() override { active = false; }
    bool isActive() const override { return active; }
    // Milliseconds until the next firing; -1 when stopped.
    qint64 remainingMs() const;

    const QString name;
    int interval = 0;
    bool singleShot = false;
    bool active = false;
    qint64 dueAt = 0; // on FakeTime's running count of milliseconds
    int starts = 0;

private:
    FakeTime& m_time;
};

// The clock of the program as tests set it (`now`), and the timers that fire
// as it is moved on with advance().
class FakeTime : public FakeClock
{
public:
    hy::TimerFactory factory()
    {
        return [this](QObject*, const QString& name) -> std::unique_ptr<hy::ITimer> {
            return std::make_unique<FakeTimer>(*this, name);
        };
    }
    FakeTimer* timer(const QString& name) const
    {
        for (FakeTimer* t : m_timers) {
            if (t->name == name)
                return t;
        }
        return nullptr;
    }
    qint64 elapsedMs() const { return m_elapsed; }

    // Moves time on by `ms`, firing every timer that falls due on the way, in
    // the order they fall due.
    void advance(qint64 ms)
    {
        const qint64 target = m_elapsed + ms;
        for (;;) {
            FakeTimer* next = nullptr;
            for (FakeTimer* t : m_timers) {
                if (t->active && t->dueAt <= target && (!next || t->dueAt < next->dueAt))
                    next = t;
            }
            if (!next)
                break;
            moveTo(next->dueAt);
            if (next->singleShot)
                next->active = false;
            else
                next->dueAt += std::max(1, next->interval);
            if (next->onTimeout)
                next->onTimeout();
        }
        moveTo(target);
    }

private:
    friend class FakeTimer;
    void moveTo(qint64 at)
    {
        now = now.addMSecs(int(at - m_elapsed));
        m_elapsed = at;
    }

    std::vector<FakeTimer*> m_timers;
    qint64 m_elapsed = 0;
};

inline FakeTimer::FakeTimer(FakeTime& time, QString name)
    : name(std::move(name))
    , m_time(time)
{
    m_time.m_timers.push_back(this);
}

inline FakeTimer::~FakeTimer()
{
    std::erase(m_time.m_timers, this);
}

inline void FakeTimer::start(int intervalMs, bool single)
{
    interval = intervalMs;
    singleShot = single;
    active = true;
    dueAt = m_time.elapsedMs() + intervalMs;
    ++starts;
}

inline qint64 FakeTimer::remainingMs() const
{
    return active ? dueAt - m_time.elapsedMs() : -1;
}
