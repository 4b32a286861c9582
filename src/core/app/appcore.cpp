#include "core/app/appcore.h"

#include "core/chimeschedule.h"
#include "core/countdown/tickevent.h"
#include "core/countdown/ticksource.h"
#include "core/inputerror.h"
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
    , m_notifier(m_services.makeNotifier ? m_services.makeNotifier() : nullptr)
{
    if (m_notifier)
        connect(m_notifier.get(), &INotifier::actionInvoked, this, &AppCore::noticeAction);
}

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
    // What a notice says of an earlier run is out of date now.
    if (m_notifier)
        m_notifier->withdraw();
    m_countdown.start();
}

void AppCore::stopCountdown()
{
    if (m_notifier)
        m_notifier->withdraw();
    m_countdown.stop();
}

void AppCore::pauseCountdown()
{
    m_countdown.pause();
}

void AppCore::resumeCountdown()
{
    m_countdown.resume();
}

void AppCore::setLength(const CountdownLength& length)
{
    m_settings.set(QStringLiteral("HourCounter"), QString::number(length.hours));
    m_settings.set(QStringLiteral("MinuteCounter"), QString::number(length.minutes));
    m_settings.set(QStringLiteral("SecondCounter"), QString::number(length.seconds));
}

void AppCore::showEnded(const CountdownEnd& end)
{
    m_lastLength = end.length;
    if (m_notifier && m_settings.flag(QStringLiteral("NotifyAtEnd")))
        m_notifier->notify(countdownEndNotice(end));
}

void AppCore::noticeAction(NoticeAction action)
{
    if (action == NoticeAction::Stop) {
        stopCountdown();
        return;
    }
    // 再来一次: the length of the run that ended, from its start.
    setLength(m_lastLength);
    if (m_countdown.isActive())
        m_countdown.stop();
    try {
        startCountdown();
    } catch (const InputError&) {
        // A count box the user left with no number: the window's Start says it.
    }
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

void AppCore::showPaused(bool paused)
{
    show([&](CountdownDisplay& d) { d.paused = paused; });
}

void AppCore::refuseStart()
{
    emit startRefused();
}

} // namespace hy
