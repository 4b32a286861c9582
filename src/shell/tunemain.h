#pragma once

#include "core/countdown/countdown.h"
#include "shell/services.h"
#include "core/settings/settings.h"
#include "core/speech/cliptable.h"
#include "core/speech/sharedsound.h"

#include <QWidget>
#include <memory>

class QTimer;
class TTrayIcon;

namespace Ui {
class TForm1;
}

namespace hy {
class GlobalHotkey;
class hyWebTips;
class Speaker;
class TMyThread;
} // namespace hy

// The main window. It owns all state of a run; its handlers hand the work to
// the core (countdown, chimes, settings, speech) and only move values between
// the controls and it.
class TForm1 final : public QWidget, private hy::ICountdownView, private hy::ISettingsTarget
{
    Q_OBJECT
public:
    explicit TForm1(hy::FormServices services, QWidget* parent = nullptr);
    ~TForm1() override;

    const hy::CountdownEngine& countdown() const { return m_countdown; }
    hy::GlobalHotkey* hotkey() const { return m_hotkey.get(); }

    // Window state shared with the announcer thread.
    hy::ClipTable Clips;
    hy::SharedSound LastWaveData;
    QString LastWaveFile;
    std::unique_ptr<hy::TMyThread> Announcer;
    bool TipsLoaded = false;
    QString TipLink;
    std::unique_ptr<hy::hyWebTips> WebTips;

public slots:
    void btnMinStartClick();
    void btnStopClick();
    void tmrSecTimer(quint64 run);
    void chkCircleClick();
    void btnLastOneClick();
    void chkHourClick();
    void chkHalfClick();
    void chkFixClick();
    void tmrHourTimer();
    void chkDispTopClick();
    void cbbKeyChange();
    void hotKeyToggle();
    void lbl8Click();
    void tmr1Timer();
    void lblTipsClick();

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    class AnnouncerSink;

    void FormCreate();
    void FormClose();
    void LoadSettings();
    bool SaveSettings();
    void applyDesignLook();
    void showAboutPicture();
    void wireHandlers();
    void applyChimeRule();
    void registerHotkey();
    void reportHotkeyState();
    void centreOnScreen();
    void restoreWaveFile(const QString& storedPath) override;
    // Runs a handler; an error it raises is shown in the error box and the
    // program goes on.
    template <typename F>
    void guarded(F&& handler);

    // hy::ICountdownView
    bool isChecked(hy::CountdownBox box) const override;
    QString fieldText(hy::CountdownField field) const override;
    QTime startTime() const override;
    bool hasUserSound() const override;
    void showRemaining(const QString& text) override;
    void showCycleCount(int count) override;
    void showRunning(bool running) override;
    void refuseStart() override;

    // hy::ISettingsTarget
    QStringList entries(const QString& key) const override;
    void selectEntry(const QString& key, int index) override;
    void setText(const QString& key, const QString& text) override;
    void setChecked(const QString& key, bool on) override;
    void applyCycleCounterRule() override;
    void setStartTime(const QTime& time) override;
    QString text(const QString& key) const override;
    bool isChecked(const QString& key) const override;
    QString waveFile() const override;

    std::unique_ptr<Ui::TForm1> ui;
    hy::FormServices m_services;
    std::unique_ptr<AnnouncerSink> m_sink;
    std::unique_ptr<hy::ITickSource> m_ticks;
    hy::CountdownEngine m_countdown;
    std::unique_ptr<hy::ISoundPlayer> m_player;
    std::unique_ptr<hy::Speaker> m_speaker;
    std::unique_ptr<hy::GlobalHotkey> m_hotkey;
    TTrayIcon* trycn1 = nullptr;
    QString m_reportedHotkeyProblem;
    QTimer* tmrHour = nullptr;
    QTimer* tmr1 = nullptr;
    bool m_centred = false;
    bool m_justShown = false; // shown, not yet on the screen
    bool m_closed = false;
};
