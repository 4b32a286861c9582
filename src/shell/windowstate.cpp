#include "shell/windowstate.h"

#include "platform/x11/x11window.h"

#include <QGuiApplication>
#include <QStringList>
#include <QWidget>
#include <QWindow>

namespace hy {

void bringToFront(QWidget* widget, uint32_t userTime)
{
    widget->showNormal();
    widget->raise();
    // On X11 the one request is ours, not QWidget::activateWindow() as well:
    // Qt's carries the time of the last event it saw, whatever that was, and
    // for a window not mapped yet (on its way back from the tray) Qt holds it
    // back until the window is mapped, when it may take the focus from a
    // program that the user has gone on to in the meantime.
    QWindow* window = widget->windowHandle();
    if (xcb_connection_t* c = x11::appConnection(); c && window && window->handle()) {
        if (x11::requestActivation(c, uint32_t(window->winId()), userTime))
            return;
    }
    widget->activateWindow();
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

QString staysOnTopLimit()
{
    if (QGuiApplication::platformName() != QLatin1String("wayland"))
        return {};
    return QStringLiteral("这个 Wayland 桌面不让程序把窗口保持在最前面；"
                          "可以用桌面的窗口菜单（例如“保持在其他窗口之上”）");
}

void preferXWayland(const QStringList& arguments)
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        arguments.contains(QStringLiteral("-platform")) ||
        arguments.contains(QStringLiteral("--platform")))
        return;
    // Natively on Wayland when XWayland cannot be reached (no X authority,
    // a display that is gone): Qt tries the platforms in this order.
    qputenv("QT_QPA_PLATFORM", "xcb;wayland");
}

} // namespace hy
