#pragma once

#include <QMargins>
#include <QObject>
#include <functional>

class QWidget;

// Places a top-level window in the middle of its screen, the window manager's
// frame included, and keeps it above other windows while `staysOnTop` says so,
// also across the window manager's new mappings of it (a trip to the tray).
class WindowPlacer final : public QObject
{
public:
    WindowPlacer(QWidget& window, std::function<bool()> staysOnTop);

    // Applies the stay-on-top choice now.
    void applyStaysOnTop();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void centreOnScreen();
    // The window manager's frame around the window, once it is known.
    QMargins frame() const;

    QWidget& m_window;
    std::function<bool()> m_staysOnTop;
    bool m_centred = false;
    bool m_justShown = false; // shown, not yet on the screen
};
