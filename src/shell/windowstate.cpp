#include "shell/windowstate.h"

#include "platform/x11/x11window.h"

#include <QWidget>
#include <QWindow>

namespace hy {

void bringToFront(QWidget* widget)
{
    widget->showNormal();
    widget->raise();
    widget->activateWindow();
    QWindow* window = widget->windowHandle();
    if (xcb_connection_t* c = x11::appConnection(); c && window && window->handle())
        x11::requestActivation(c, uint32_t(window->winId()));
}

void setStaysOnTop(QWidget* widget, bool on)
{
    QWindow* window = widget->windowHandle();
    if (xcb_connection_t* c = x11::appConnection()) {
        // Qt's own flag is left alone on X11: a change of it makes Qt build a
        // new X window at the next show, so the window would come back from
        // the tray as a different window.
        if (window && window->handle())
            x11::setAbove(c, uint32_t(window->winId()), on);
        return;
    }
    if (!window) {
        widget->setWindowFlag(Qt::WindowStaysOnTopHint, on);
        return;
    }
    // On the live window, so that it is not re-created; the widget's own flags
    // follow.
    if (window->flags().testFlag(Qt::WindowStaysOnTopHint) != on) {
        window->setFlag(Qt::WindowStaysOnTopHint, on);
        widget->overrideWindowFlags(window->flags());
    }
}

} // namespace hy
