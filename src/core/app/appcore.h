#pragma once

#include "core/countdown/countdown.h"
#include "core/servertime/serverclock.h"
#include "core/settings/settingsstore.h"
#include "core/speech/speechoutput.h"
#include "core/timer.h"

#include <QObject>
#include <QTime>
#include <functional>
#include <memory>

namespace hy {

class AlertSound;
class ChimeSchedule;
class IOutputDevices;
class ITickSource;
class ServerTimeKeeper;
class SoundSetup;

// What the program's state is built from. The program uses the real pieces;
// tests put fakes in their place.
struct CoreServices
{
    std::function<bool(SettingsStore&)> loadSettings;
    std::function<bool(SettingsStore&)> saveSettings;
    std::function<void(ClipTable&)> loadClips;
    std::function<std::unique_ptr<ISoundPlayer>()> makePlayer;
    // The tick source calls its callback on its own thread.
    std::function<std::unique_ptr<ITickSource>(std::function<void(quint64 run)>)> makeTickSource;
    // The chime and 对时 timers.
    TimerFactory makeTimer;
    // The sound server's outputs; may be empty.
    std::function<std::unique_ptr<IOutputDevices>()> makeOutputs;
    std::shared_ptr<const IClock> clock;
};

// What the countdown's display shows.
struct CountdownDisplay
{
    QString remaining; // the time left as h:m:s; empty until the first run
    int cycleCount = 0;
    bool running = false;
    QTime waitingUntil; // valid while the start-time gate holds the run back
    bool operator==(const CountdownDisplay&) const = default;
};

// The program's state and what runs on it, without a widget: the settings of
// every section, the speech output, the countdown, the clock chimes, the
// sound setup and the user's alert sound, the server's clock and its keeper.
// The window shows and edits it.
class AppCore final : public QObject, private ICountdownView
{
    Q_OBJECT
public:
    explicit AppCore(CoreServices services, QObject* parent = nullptr);
    ~AppCore() override;

    // Reads the settings, loads the clips and starts the announcer; the
    // chimes and the pieces that follow the settings take the stored choices.
    void start();
    // Writes the choices to the settings file now.
    bool save();
    // The end of the run: the countdown stops, the phrase in progress is cut
    // off and the announcer ends, and the choices are saved.
    void close();

    SettingsStore& settings() { return m_settings; }
    SpeechOutput& speech() { return m_speech; }
    const CountdownEngine& countdown() const { return m_countdown; }
    ServerClock& clock() { return m_clock; }
    ServerTimeKeeper& serverTime() { return *m_keeper; }
    SoundSetup& sound() { return *m_sound; }
    AlertSound& alertSound() { return *m_alert; }
    const ChimeSchedule& chimes() const { return *m_chimes; }

    // Start and Stop as the buttons do them; the toggle as the hotkey does,
    // by the countdown's real state. Start throws InputError for a length or
    // count that is no number.
    void startCountdown();
    void stopCountdown();
    void toggleCountdown();
    // Whether Start would begin a run: a spoken count or the alert is chosen.
    bool countChosen() const;

    const CountdownDisplay& display() const { return m_display; }

signals:
    // What the countdown's display shows changed.
    void displayChanged();
    // Start was asked for with no count chosen.
    void startRefused();

protected:
    bool event(QEvent* e) override;

private:
    // ICountdownView
    bool isChecked(CountdownBox box) const override;
    QString fieldText(CountdownField field) const override;
    QTime startTime() const override;
    bool hasUserSound() const override;
    void showRemaining(const QString& text) override;
    void showCycleCount(int count) override;
    void showRunning(bool running) override;
    void refuseStart() override;
    void showWaiting(const QTime& until) override;
    void show(const std::function<void(CountdownDisplay&)>& change);

    CoreServices m_services;
    SettingsStore m_settings;
    SpeechOutput m_speech;
    std::unique_ptr<ITickSource> m_ticks;
    // The time the start-time gate and the chimes read.
    ServerClock m_clock;
    ServerTimeKeeper* m_keeper;
    SoundSetup* m_sound;
    AlertSound* m_alert;
    ChimeSchedule* m_chimes;
    CountdownEngine m_countdown;
    CountdownDisplay m_display;
    bool m_closed = false;
};

} // namespace hy
