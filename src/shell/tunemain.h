#pragma once

#include "shell/services.h"

#include <QWidget>
#include <memory>

class HotkeyBinding;
class QAction;
class QMessageBox;
class ServerTimePanel;
class SettingsBinder;
class TipsTicker;
class TTrayIcon;
class WindowPlacer;

namespace Ui {
class TForm1;
}

namespace hy {
class AppCore;
class CountdownEngine;
class GlobalHotkey;
class SoundPage;
class SpeechOutput;
} // namespace hy

// The main window: the controls of the layout file, their handlers, and what
// the countdown's display shows. The program's state is the core's; the
// window shows and edits it, and holds the pieces of the desktop: the tips
// line, the hotkey binding, the tray icon and the pages' own views.
class TForm1 final : public QWidget
{
    Q_OBJECT
public:
    TForm1(hy::AppCore& core, hy::FormServices services, QWidget* parent = nullptr);
    ~TForm1() override;

    hy::AppCore& core() { return m_core; }
    const hy::CountdownEngine& countdown() const;
    hy::SpeechOutput& speech();
    hy::GlobalHotkey* hotkey() const;
    HotkeyBinding* hotkeyBinding() const { return m_hotkey.get(); }
    const TipsTicker& tips() const { return *m_tips; }
    TTrayIcon& tray() const { return *trycn1; }
    // Writes the choices to the settings file now, as a close does.
    bool saveSettings();
    // The user's alert sound file; empty when the built-in alert plays.
    const QString& lastWaveFile() const;

    // Shows the window, back from the tray too, at the front.
    void showFromOutside();
    // The start at login: the tray icon only, the window when it is clicked.
    void startInTray();
    // Says why something asked for cannot be done, in the one box kept for
    // it: a box already up shows the latest reason instead of another box.
    void tell(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void FormCreate();
    void FormClose();
    void wireHandlers();

    void btnMinStartClick();
    void btnStopClick();
    void chkCircleClick();
    void btnLastOneClick();
    void chkFixClick();
    void chkDispTopClick();
    void cbbKeyChange();
    void hotKeyToggle();
    void lbl8Click();
    void showCountdown();
    void refuseStart();
    void buildTrayMenu();

    hy::AppCore& m_core;
    std::unique_ptr<Ui::TForm1> ui;
    hy::FormServices m_services;
    SettingsBinder* m_binder = nullptr;
    TTrayIcon* trycn1 = nullptr;
    WindowPlacer* m_placer = nullptr;
    ServerTimePanel* m_serverTime = nullptr;
    QMessageBox* m_told = nullptr;
    QAction* m_trayStartStop = nullptr;
    QAction* m_trayPause = nullptr;
    std::unique_ptr<TipsTicker> m_tips;
    std::unique_ptr<HotkeyBinding> m_hotkey;
    std::unique_ptr<hy::SoundPage> m_soundPage;
    bool m_closed = false;
};
