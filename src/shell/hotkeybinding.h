#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QComboBox;
class QPlainTextEdit;
class TTrayIcon;

namespace hy {
class GlobalHotkey;
class INotifier;
struct Notice;
} // namespace hy

// The desktop-wide start/stop key: Ctrl + the function key that the key box
// shows. The key that works is the one the desktop says it bound: the help
// page's hotkey line names it, or says what the user can do. What goes wrong
// with it is said without a box in the way, in the key box's hint and once
// by a notice: with a button that sets the key in one step where that can be
// done (a free key where the desktop keeps the chosen one for itself, a
// custom shortcut of GNOME's own where programs may bind none), else by the
// tray icon.
class HotkeyBinding final : public QObject
{
    Q_OBJECT
public:
    struct Hooks
    {
        std::function<void()> pressed;
        // Selects F<n> in the key box as the user's choice (it is kept).
        std::function<void(int n)> chooseKey;
        // Notices with a button; may give null where there are none.
        std::function<std::unique_ptr<hy::INotifier>()> makeNotifier;
    };

    HotkeyBinding(std::unique_ptr<hy::GlobalHotkey> hotkey, QComboBox& keyBox, QPlainTextEdit& help,
                  TTrayIcon& tray, Hooks hooks);
    ~HotkeyBinding() override;

    hy::GlobalHotkey* hotkey() const { return m_hotkey.get(); }

    // Registers the key the box shows now.
    void bind();
    // The user chose another key: the old one goes, then the new one is
    // bound (and the desktop's shortcut of the program moves with it).
    void rebind();
    void release();

    // Adds the program's shortcut to the desktop's own settings for the key
    // of the box, or takes it away; `done` gets why not, or nothing.
    using Done = std::function<void(const QString& problem)>;
    void bindDesktopShortcut(Done done);
    void unbindDesktopShortcut(Done done);

    // The command that starts and stops the countdown from a shortcut of the
    // desktop's own: this program's full path and --toggle.
    static QString toggleCommand();

private:
    void report();
    void offer();
    void offerTaken();
    void notice(const hy::Notice& notice, std::function<void()> setKey);
    QString keyLine() const;

    std::unique_ptr<hy::GlobalHotkey> m_hotkey;
    QComboBox& m_keyBox;
    QPlainTextEdit& m_help;
    TTrayIcon& m_tray;
    Hooks m_hooks;
    std::unique_ptr<hy::INotifier> m_notifier;
    QString m_reportedProblem;
    bool m_offeredShortcut = false; // the desktop shortcut offered this run
    int m_offeredKey = 0;           // the free key offered
};
