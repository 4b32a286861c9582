#pragma once

#include "core/countdown/countdown.h"
#include "core/servertime/serverclock.h"
#include "core/speech/speechoutput.h"
#include "core/timer.h"
#include "shell/services.h"
#include "shell/settingsbinder.h"

#include <QWidget>
#include <memory>

class HotkeyBinding;
class ServerTimePanel;
class TipsTicker;
class TTrayIcon;
class WindowPlacer;

namespace Ui {
class TForm1;
}

namespace hy {
class GlobalHotkey;
class SoundPage;
} // namespace hy

// The main window: the controls of the layout file, their handlers and the
// countdown's view. The work is done by the pieces it holds: the countdown
// engine, the speech output, the settings binder, the tips ticker, the hotkey
// binding, the tray icon and the 对时 panel.
class TForm1 final : public QWidget, private hy::ICountdownView
{
    Q_OBJECT
public:
    explicit TForm1(hy::FormServices services, QWidget* parent = nullptr);
    ~TForm1() override;

    const hy::CountdownEngine& countdown() const { return m_countdown; }
    hy::SpeechOutput& speech() { return m_speech; }
    hy::GlobalHotkey* hotkey() const;
    const TipsTicker& tips() const { return *m_tips; }
    const hy::SoundPage& soundPage() const { return *m_soundPage; }
    // Writes the choices to the settings file now, as a close does.
    bool saveSettings() { return SaveSettings(); }
    // The user's alert sound file; empty when the built-in alert plays.
    const QString& lastWaveFile() const { return LastWaveFile; }

    // Start, Stop and the hotkey's toggle asked for from outside the window
    // (the command line, D-Bus), exactly as the buttons and the key do them.
    void startCountdown();
    void stopCountdown();
    void toggleCountdown();
    // Shows the window, back from the tray too, at the front.
    void showFromOutside();

signals:
    // The countdown's state or what its display shows changed.
    void countdownChanged();

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void FormCreate();
    void FormClose();
    void LoadSettings();
    bool SaveSettings();
    void wireHandlers();

    void btnMinStartClick();
    void btnStopClick();
    void tmrSecTimer(quint64 run);
    void chkCircleClick();
    void btnLastOneClick();
    void restoreWaveFile(const QString& storedPath);
    void chkHourClick();
    void chkHalfClick();
    void chkFixClick();
    void applyChimeRule();
    void tmrHourTimer();
    void reaimChimes();
    void chkDispTopClick();
    void cbbKeyChange();
    void hotKeyToggle();
    void lbl8Click();

    // hy::ICountdownView
    bool isChecked(hy::CountdownBox box) const override;
    QString fieldText(hy::CountdownField field) const override;
    QTime startTime() const override;
    bool hasUserSound() const override;
    void showRemaining(const QString& text) override;
    void showCycleCount(int count) override;
    void showRunning(bool running) override;
    void refuseStart() override;
    void showWaiting(const QTime& until) override;

    std::unique_ptr<Ui::TForm1> ui;
    hy::FormServices m_services;
    hy::SpeechOutput m_speech;
    std::unique_ptr<hy::ITickSource> m_ticks;
    // The time the start-time gate and the chimes read.
    hy::ServerClock m_clock;
    hy::CountdownEngine m_countdown;
    SettingsBinder m_settings;
    std::unique_ptr<hy::ITimer> tmrHour;
    TTrayIcon* trycn1 = nullptr;
    WindowPlacer* m_placer = nullptr;
    ServerTimePanel* m_serverTime = nullptr;
    std::unique_ptr<TipsTicker> m_tips;
    std::unique_ptr<HotkeyBinding> m_hotkey;
    std::unique_ptr<hy::SoundPage> m_soundPage;
    QString LastWaveFile;
    bool m_closed = false;
};
