#pragma once

#include "core/countdown/length.h"

#include <QString>
#include <QTime>

namespace hy {

class IAnnounceSink;
class IClock;
class ITickSource;

// Check boxes the countdown reads. (The window lists its boxes in this order.)
enum class CountdownBox
{
    MinuteCount,
    SecondCount,
    LastOne,
    Circle,
    StartTime
};
// Boxes whose text the countdown reads at Start. (The window lists its boxes
// in this order.)
enum class CountdownField
{
    Hour,
    Minute,
    Second,
    LastMinute,
    PerMinute,
    LastSecond,
    PerSecond
};

// A countdown that came to its end by itself (not by Stop).
struct CountdownEnd
{
    CountdownLength length; // as latched at Start
    // 0: the run is over. N >= 1: a cycling run has completed its N-th cycle
    // and the next one has begun (N is the cycle count shown from now on).
    int cycle = 0;
    bool operator==(const CountdownEnd&) const = default;
};

// What the countdown needs of the window.
class ICountdownView
{
public:
    virtual ~ICountdownView() = default;
    virtual bool isChecked(CountdownBox box) const = 0;
    virtual QString fieldText(CountdownField field) const = 0;
    virtual QTime startTime() const = 0;
    // Whether the user chose an alert sound of their own.
    virtual bool hasUserSound() const = 0;

    virtual void showRemaining(const QString& text) = 0;
    virtual void showCycleCount(int count) = 0;
    virtual void showRunning(bool running) = 0; // Start disabled and Stop enabled while running
    // Start was asked for with no count chosen.
    virtual void refuseStart() = 0;
    // The run is held back until the start time `until`; an invalid time when
    // it no longer is (or there is no run).
    virtual void showWaiting(const QTime& until) = 0;
    // The run was paused (true), or the pause is over (false): resumed, or
    // ended by Stop or a new Start. The display keeps the time left meanwhile.
    // Nothing by default: a view with no sign of a pause need not hear of it.
    virtual void showPaused(bool /*paused*/) {}
    // The run came to its end by itself, or a cycle of it did. A run of
    // 0:0:0 that cycles tells no cycles (it would do so every second).
    // Nothing by default, as above.
    virtual void showEnded(const CountdownEnd& /*end*/) {}
};

// The h:m:s countdown: Start, Stop, Pause and the one-second tick.
class CountdownEngine
{
public:
    CountdownEngine(ICountdownView& view, ITickSource& ticks, const IClock& clock,
                    IAnnounceSink& announcer);

    // Reads the choices and begins a run. Refuses through the view when no
    // count is chosen; throws InputError for a box whose text is no integer.
    //
    // Start while a run is active, paused or not, begins a new run from the
    // boxes, as it always has, and so also ends a pause. (The window offers
    // no Start then: its button is disabled while a run is active.)
    void start();
    // Ends the run, paused or not.
    void stop();
    // Holds a run where it is: the tick source stops, a tick still queued
    // counts for nothing, nothing is posted, and the display keeps the time
    // left. A run that the start-time gate holds back is paused the same
    // way: while paused it does not start counting, even when its start time
    // comes; it is checked again at the first tick after resume(). Nothing
    // without an active run, or when already paused.
    void pause();
    // Goes on from the same second on a fresh one-second schedule: the first
    // tick comes one second after the resume. Nothing when not paused.
    void resume();
    // One second of a run. A tick of an earlier run (queued before a Stop or a
    // newer Start) is ignored.
    void tick(quint64 run);

    bool isActive() const { return m_active; }
    // A run that the start-time gate holds back.
    bool isWaiting() const { return m_waiting; }
    // An active run held by pause().
    bool isPaused() const { return m_paused; }

    int TotalSeconds = 0;
    int RemainSeconds = 0;
    int CountHour = 0, CountMinute = 0, CountSecond = 0;
    int LastMinute = 0, PerMinute = 0, MinutePhase = 0;
    int LastSecond = 0, PerSecond = 0, SecondPhase = 0;
    int CycleCount = 0;

    static QString formatHms(int hours, int minutes, int seconds);
    // A number of seconds as the display shows the time left ("1:2:5").
    static QString formatRemaining(int seconds);

private:
    bool gateClosed();
    void setWaiting(bool waiting);
    void setPaused(bool paused);
    // Starts the tick source on a new run number, so that a tick queued for
    // the schedule before counts for nothing.
    void startTicks();

    ICountdownView& m_view;
    ITickSource& m_ticks;
    const IClock& m_clock;
    IAnnounceSink& m_announcer;
    quint64 m_run = 0;
    bool m_active = false;
    bool m_gatePassed = false;
    bool m_waiting = false;
    bool m_paused = false;
};

} // namespace hy
