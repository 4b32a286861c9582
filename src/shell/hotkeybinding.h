#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QComboBox;
class QPlainTextEdit;
class TTrayIcon;

namespace hy {
class GlobalHotkey;
}

// The desktop-wide start/stop key: Ctrl + the function key that the key box
// shows. The key that works is the one the desktop says it bound: the help
// page's hotkey line names it. What goes wrong with it is said without a box
// in the way, with what works instead: in the key box's hint, and once by the
// tray icon.
class HotkeyBinding final : public QObject
{
    Q_OBJECT
public:
    HotkeyBinding(std::unique_ptr<hy::GlobalHotkey> hotkey, QComboBox& keyBox, QPlainTextEdit& help,
                  TTrayIcon& tray, std::function<void()> onPress);
    ~HotkeyBinding() override;

    hy::GlobalHotkey* hotkey() const { return m_hotkey.get(); }

    // Registers the key the box shows now.
    void bind();
    // The user chose another key: the old one goes, then the new one is bound.
    void rebind();
    void release();

    // The command that starts and stops the countdown from a shortcut of the
    // desktop's own: this program's full path and --toggle.
    static QString toggleCommand();

private:
    void report();
    QString keyLine() const;

    std::unique_ptr<hy::GlobalHotkey> m_hotkey;
    QComboBox& m_keyBox;
    QPlainTextEdit& m_help;
    TTrayIcon& m_tray;
    QString m_reportedProblem;
};
