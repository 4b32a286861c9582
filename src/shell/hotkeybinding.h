#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QComboBox;
class TTrayIcon;

namespace hy {
class GlobalHotkey;
}

// The desktop-wide start/stop key: Ctrl + the function key that the key box
// shows. What goes wrong with it is said without a box in the way: in the key
// box's hint, and once by the tray icon.
class HotkeyBinding final : public QObject
{
    Q_OBJECT
public:
    HotkeyBinding(std::unique_ptr<hy::GlobalHotkey> hotkey, QComboBox& keyBox, TTrayIcon& tray,
                  std::function<void()> onPress);
    ~HotkeyBinding() override;

    hy::GlobalHotkey* hotkey() const { return m_hotkey.get(); }

    // Registers the key the box shows now.
    void bind();
    // The user chose another key: the old one goes, then the new one is bound.
    void rebind();
    void release();

private:
    void report();

    std::unique_ptr<hy::GlobalHotkey> m_hotkey;
    QComboBox& m_keyBox;
    TTrayIcon& m_tray;
    QString m_reportedProblem;
};
