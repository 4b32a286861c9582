#include "core/countdown/countdown.h"

#include "core/announce.h"
#include "core/clock.h"
#include "core/countdown/ticksource.h"
#include "core/inputerror.h"

#include <optional>

namespace hy {
namespace {

// Milliseconds and dates do not count.
int secondOfDay(const QTime& t)
{
    return (t.hour() * 60 + t.minute()) * 60 + t.second();
}

} // namespace

CountdownEngine::CountdownEngine(ICountdownView& view, ITickSource& ticks, const IClock& clock,
                                 IAnnounceSink& announcer)
    : m_view(view)
    , m_ticks(ticks)
    , m_clock(clock)
    , m_announcer(announcer)
{}

QString CountdownEngine::formatHms(int hours, int minutes, int seconds)
{
    return QStringLiteral("%1:%2:%3").arg(hours).arg(minutes).arg(seconds);
}

QString CountdownEngine::formatRemaining(int seconds)
{
    return formatHms(seconds / 3600, seconds / 60 % 60, seconds % 60);
}

void CountdownEngine::start()
{
    if (!m_view.isChecked(CountdownBox::MinuteCount) &&
        !m_view.isChecked(CountdownBox::SecondCount) && !m_view.isChecked(CountdownBox::LastOne)) {
        m_view.refuseStart();
        return;
    }
    CycleCount = 0;
    m_view.showCycleCount(0);

    // Read in this order; a bad text stops here with the earlier fields set.
    CountHour = toInteger(m_view.fieldText(CountdownField::Hour));
    CountMinute = toInteger(m_view.fieldText(CountdownField::Minute));
    CountSecond = toInteger(m_view.fieldText(CountdownField::Second));
    LastMinute = toInteger(m_view.fieldText(CountdownField::LastMinute));
    PerMinute = toInteger(m_view.fieldText(CountdownField::PerMinute));
    LastSecond = toInteger(m_view.fieldText(CountdownField::LastSecond));
    PerSecond = toInteger(m_view.fieldText(CountdownField::PerSecond));

    if (PerMinute <= 0)
        PerMinute = 1;
    if (PerSecond <= 0)
        PerSecond = 1;
    MinutePhase = LastMinute % PerMinute;
    SecondPhase = LastSecond % PerSecond;
    TotalSeconds = (CountHour * 60 + CountMinute) * 60 + CountSecond;
    m_view.showRemaining(formatHms(CountHour, CountMinute, CountSecond));
    RemainSeconds = TotalSeconds;

    m_active = true;
    m_gatePassed = false;
    setPaused(false);
    startTicks();
    m_view.showRunning(true);
    setWaiting(m_view.isChecked(CountdownBox::StartTime) &&
               secondOfDay(m_clock.timeOfDay()) < secondOfDay(m_view.startTime()));
}

void CountdownEngine::startTicks()
{
    // A new run number makes any tick still queued from before count for nothing.
    ++m_run;
    m_ticks.start(m_run);
}

void CountdownEngine::stop()
{
    m_ticks.stop();
    m_active = false;
    m_view.showRunning(false);
    setWaiting(false);
    setPaused(false);
}

void CountdownEngine::pause()
{
    if (!m_active || m_paused)
        return;
    m_ticks.stop(); // a tick still queued meets m_paused, and resume() takes a new run number
    setPaused(true);
}

void CountdownEngine::resume()
{
    if (!m_paused)
        return;
    startTicks();
    setPaused(false);
}

void CountdownEngine::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    m_view.showPaused(paused);
}

void CountdownEngine::setWaiting(bool waiting)
{
    if (waiting == m_waiting)
        return;
    m_waiting = waiting;
    m_view.showWaiting(waiting ? m_view.startTime() : QTime());
}

bool CountdownEngine::gateClosed()
{
    if (!m_view.isChecked(CountdownBox::StartTime) || m_gatePassed)
        return false;
    if (secondOfDay(m_clock.timeOfDay()) < secondOfDay(m_view.startTime()))
        return true;
    // Once open, the gate stays open for the rest of the run and its cycles,
    // so a run that passes midnight goes on.
    m_gatePassed = true;
    return false;
}

void CountdownEngine::tick(quint64 run)
{
    if (!m_active || m_paused || run != m_run)
        return;
    const bool held = gateClosed();
    setWaiting(held);
    if (held)
        return;

    int& r = RemainSeconds;
    std::optional<CountdownEnd> ended;
    if (r <= 0) {
        if (m_view.isChecked(CountdownBox::Circle)) {
            r = TotalSeconds;
            ++CycleCount;
            m_view.showCycleCount(CycleCount);
            if (TotalSeconds > 0)
                ended = CountdownEnd{{CountHour, CountMinute, CountSecond}, CycleCount};
        } else {
            stop(); // the run ends as Stop ends it; the rest of this tick still runs
            ended = CountdownEnd{{CountHour, CountMinute, CountSecond}, 0};
        }
    }

    if (m_view.isChecked(CountdownBox::LastOne) && r == 1) {
        m_announcer.post(Alert, m_view.hasUserSound() ? UserAlertSound : kBuiltinAlertClip);
    } else if (m_view.isChecked(CountdownBox::SecondCount) && r <= LastSecond &&
               r % PerSecond == SecondPhase) {
        m_announcer.post(SecondCount, r);
    }

    const int minutes = r / 60;
    if (m_view.isChecked(CountdownBox::MinuteCount) && minutes <= LastMinute &&
        minutes % PerMinute == MinutePhase && r % 60 == 0) {
        m_announcer.post(MinuteCount, minutes);
    }

    --r;
    if (ended)
        m_view.showEnded(*ended);
    if (r < 0)
        return;
    m_view.showRemaining(formatRemaining(r));
}

} // namespace hy
