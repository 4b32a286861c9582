#include "core/chimeschedule.h"

#include "core/announce.h"
#include "core/chime.h"
#include "core/clock.h"
#include "core/settings/settingsstore.h"

namespace hy {

ChimeSchedule::ChimeSchedule(const SettingsStore& settings, const IClock& clock,
                             IAnnounceSink& speech, std::function<bool(const QTime&)> quietAt,
                             const TimerFactory& makeTimer, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_clock(clock)
    , m_speech(speech)
    , m_quietAt(std::move(quietAt))
    , tmrHour(makeTimer(this, QStringLiteral("tmrHour")))
{
    tmrHour->onTimeout = [this] { tmrHourTimer(); };
}

ChimeSchedule::~ChimeSchedule() = default;

bool ChimeSchedule::isRunning() const
{
    return tmrHour->isActive();
}

void ChimeSchedule::applyChimeRule()
{
    const bool want = chimeTimerWanted({m_settings.flag(QStringLiteral("IsHour")),
                                        m_settings.flag(QStringLiteral("IsHalf")),
                                        m_settings.flag(QStringLiteral("IsFixTimer")),
                                        {},
                                        {}});
    if (want && !tmrHour->isActive())
        tmrHour->start(msToNextChime(m_clock.timeOfDay(), true), true);
    else if (!want && tmrHour->isActive())
        tmrHour->stop();
}

void ChimeSchedule::reaim()
{
    if (tmrHour->isActive())
        tmrHour->start(msToNextChime(m_clock.timeOfDay(), false), true);
}

void ChimeSchedule::tmrHourTimer()
{
    const ChimeChoice choice{
        m_settings.flag(QStringLiteral("IsHour")), m_settings.flag(QStringLiteral("IsHalf")),
        m_settings.flag(QStringLiteral("IsFixTimer")), m_settings.value(QStringLiteral("FixHour")),
        m_settings.value(QStringLiteral("FixMinute"))};
    const QTime now = m_clock.timeOfDay();
    // Each firing falls on second 0 of a minute; the next one is aimed anew.
    tmrHour->start(msToNextChime(now, false), true);
    // Quiet hours silence the chimes only; the countdown speaks on.
    const auto due = chimeDue(choice, now);
    if (due && !(m_quietAt && m_quietAt(now)))
        m_speech.post(ClockTime, *due);
}

} // namespace hy
