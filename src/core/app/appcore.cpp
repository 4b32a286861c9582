#include "core/app/appcore.h"

#include "core/chimeschedule.h"
#include "core/countdown/tickevent.h"
#include "core/countdown/ticksource.h"
#include "core/servertime/servertimekeeper.h"
#include "core/settings/servertimesection.h"
#include "core/speech/alertsound.h"
#include "core/speech/soundsetup.h"

#include <QCoreApplication>

namespace hy {

namespace {

// In the order of CountdownBox.
const char* const kBoxKeys[] = {"IsMinuteCounter", "IsSecondCounter", "IsLastOne", "IsCircle",
                                "IsStart"};
// In the order of CountdownField.
const char* const kFieldKeys[] = {"HourCounter", "MinuteCounter", "SecondCounter", "LastMinute",
                                  "PerMinute",   "LastSecond",    "PerSecond"};

} // namespace

AppCore::AppCore(CoreServices services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_ticks(m_services.makeTickSource(
          [this](quint64 run) { QCoreApplication::postEvent(this, new TickEvent(run)); }))
    , m_clock(*m_services.clock)
    , m_keeper(new ServerTimeKeeper(m_clock, m_services.makeTimer, this))
    , m_sound(new SoundSetup(m_settings, m_speech, m_services.makeOutputs, this))
    , m_alert(new AlertSound(m_settings, m_speech.userSound(), this))
    , m_chimes(new ChimeSchedule(
          m_settings, m_clock, m_speech, [this](const QTime& now) { return m_sound->quietAt(now); },
          m_services.makeTimer, this))
    , m_countdown(*this, *m_ticks, m_clock, m_speech)
{}

AppCore::~AppCore()
{
    // Nothing may reach the clips or the view once they are gone.
    m_ticks->stop();
    m_speech.stop();
    m_speech.userSound().clear();
}

void AppCore::start()
{
    m_services.loadSettings(m_settings);
    m_sound->restore();
    bindServerTime(m_settings, *m_keeper);
    m_services.loadClips(m_speech.clips());
    // The announcer starts only once every clip is in the table.
    m_speech.start(m_services.makePlayer());
    // The chimes from here on, each box switching them as it changes.
    for (const char* key : {"IsHour", "IsHalf", "IsFixTimer"})
        m_settings.watch(QLatin1String(key), this, [this] { m_chimes->applyChimeRule(); });
    // They fall on second 0 of the time they read; when that time moves, the
    // next firing is aimed anew.
    connect(m_keeper, &ServerTimeKeeper::changed, m_chimes, &ChimeSchedule::reaim);
    m_chimes->applyChimeRule();
}

bool AppCore::save()
{
    return m_services.saveSettings(m_settings);
}

void AppCore::close()
{
    if (std::exchange(m_closed, true))
        return;
    // A countdown still running stops here, so that no tick outlives the window.
    m_ticks->stop();
    m_speech.stop(); // cuts off the phrase in progress, waits for the thread, drops the clips
    save();
}

bool AppCore::event(QEvent* e)
{
    if (e->type() == TickEvent::kType) {
        m_countdown.tick(static_cast<TickEvent*>(e)->run);
        return true;
    }
    return QObject::event(e);
}

// ---- countdown ---------------------------------------------------------------

void AppCore::startCountdown()
{
    m_countdown.start();
}

void AppCore::stopCountdown()
{
    m_countdown.stop();
}

void AppCore::toggleCountdown()
{
    // Decided by the countdown's real state, so that a press always does what
    // the buttons show.
    if (m_countdown.isActive())
        stopCountdown();
    else
        startCountdown();
}

bool AppCore::countChosen() const
{
    return isChecked(CountdownBox::MinuteCount) || isChecked(CountdownBox::SecondCount) ||
           isChecked(CountdownBox::LastOne);
}

bool AppCore::isChecked(CountdownBox box) const
{
    return m_settings.flag(QLatin1String(kBoxKeys[int(box)]));
}

QString AppCore::fieldText(CountdownField field) const
{
    return m_settings.value(QLatin1String(kFieldKeys[int(field)]));
}

QTime AppCore::startTime() const
{
    return m_settings.time(QStringLiteral("StartTime"));
}

bool AppCore::hasUserSound() const
{
    return !m_alert->path().isEmpty();
}

void AppCore::show(const std::function<void(CountdownDisplay&)>& change)
{
    CountdownDisplay next = m_display;
    change(next);
    if (next == m_display)
        return;
    m_display = next;
    emit displayChanged();
}

void AppCore::showRemaining(const QString& text)
{
    show([&](CountdownDisplay& d) { d.remaining = text; });
}

void AppCore::showCycleCount(int count)
{
    show([&](CountdownDisplay& d) { d.cycleCount = count; });
}

void AppCore::showRunning(bool running)
{
    show([&](CountdownDisplay& d) { d.running = running; });
}

void AppCore::showWaiting(const QTime& until)
{
    show([&](CountdownDisplay& d) { d.waitingUntil = until; });
}

void AppCore::refuseStart()
{
    emit startRefused();
}

} // namespace hy
