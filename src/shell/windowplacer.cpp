#include "shell/windowplacer.h"

#include "shell/windowstate.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

WindowPlacer::WindowPlacer(QWidget& window, std::function<bool()> staysOnTop)
    : QObject(&window)
    , m_window(window)
    , m_staysOnTop(std::move(staysOnTop))
{
    m_window.installEventFilter(this);
}

void WindowPlacer::applyStaysOnTop()
{
    hy::setStaysOnTop(&m_window, m_staysOnTop());
}

bool WindowPlacer::eventFilter(QObject* watched, QEvent* event)
{
    QWindow* handle = m_window.windowHandle();
    if (watched == &m_window && event->type() == QEvent::Show && !event->spontaneous()) {
        // Before the window is mapped, so that the window manager takes it
        // with the window.
        applyStaysOnTop();
        if (!m_centred)
            centreOnScreen();
        m_justShown = true;
        if (handle)
            handle->installEventFilter(this);
    } else if (handle && watched == handle && handle->isExposed()) {
        const QEvent::Type type = event->type();
        // On the screen now. A window that went to the tray and came back
        // straight away may have lost its stay-on-top state to the window
        // manager's clean-up of the old mapping: it is asked for once more.
        if (type == QEvent::Expose && m_justShown) {
            m_justShown = false;
            applyStaysOnTop();
        }
        // The first centring could not count the frame the window manager
        // puts around the window; once the frame is there, it is done again
        // with it.
        if (!m_centred &&
            (type == QEvent::Expose || type == QEvent::Move || type == QEvent::Resize) &&
            !frame().isNull()) {
            m_centred = true;
            centreOnScreen();
        }
    }
    return QObject::eventFilter(watched, event);
}

QMargins WindowPlacer::frame() const
{
    const QWindow* handle = m_window.windowHandle();
    const QMargins m = handle ? handle->frameMargins() : QMargins();
    // Before the window manager has framed the window, a frame can be
    // reported that is none (under XWayland: hundreds of pixels less than
    // nothing); it counts as none until a real one comes.
    const bool real = m.left() >= 0 && m.top() >= 0 && m.right() >= 0 && m.bottom() >= 0 &&
                      m.left() + m.right() < m_window.width() &&
                      m.top() + m.bottom() < m_window.height();
    return real ? m : QMargins();
}

void WindowPlacer::centreOnScreen()
{
    const QScreen* screen = m_window.screen();
    if (!screen)
        return;
    const QMargins frame = this->frame();
    const QRect area = screen->availableGeometry();
    const QSize outer = m_window.size().grownBy(frame);
    const QPoint outerTopLeft(area.x() + (area.width() - outer.width()) / 2,
                              area.y() + (area.height() - outer.height()) / 2);
    m_window.setGeometry(QRect(outerTopLeft + QPoint(frame.left(), frame.top()), m_window.size()));
}
