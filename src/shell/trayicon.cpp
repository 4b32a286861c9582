#include "shell/trayicon.h"

#include "shell/windowstate.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {
// A state change to "minimized" can still be on its way when the window has
// already been restored; hiding waits this long and looks again.
constexpr int kHideDelayMs = 150;
} // namespace

TTrayIcon::TTrayIcon(QWidget* window)
    : QObject(window)
    , m_window(window)
    , m_icon(new QSystemTrayIcon(window->windowIcon(), this))
{
    setObjectName(QStringLiteral("trycn1"));
    m_icon->setToolTip(QStringLiteral("禾音语音定时器"));
    connect(m_icon, &QSystemTrayIcon::activated, this, &TTrayIcon::onActivated);
    // Shown as soon as the event loop runs: asking the desktop for its
    // notification area takes a few milliseconds that the window's first
    // appearance need not wait for.
    QTimer::singleShot(0, m_icon, &QSystemTrayIcon::show);
    m_window->installEventFilter(this);
}

TTrayIcon::~TTrayIcon()
{
    m_window->removeEventFilter(this);
    m_icon->hide();
}

void TTrayIcon::notify(const QString& message)
{
    if (QSystemTrayIcon::isSystemTrayAvailable() && m_icon->isVisible())
        m_icon->showMessage(QStringLiteral("禾音语音报时器"), message, QSystemTrayIcon::Warning,
                            8000);
}

bool TTrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::WindowStateChange &&
        m_window->isMinimized()) {
        QTimer::singleShot(kHideDelayMs, this, [this] {
            if (m_window->isMinimized())
                Minimize();
        });
    }
    return QObject::eventFilter(watched, event);
}

void TTrayIcon::Minimize()
{
    // Only with somewhere to click to come back.
    if (!QSystemTrayIcon::isSystemTrayAvailable() || !m_icon->isVisible())
        return;
    m_window->hide();
}

void TTrayIcon::Restore()
{
    hy::bringToFront(m_window, m_userTime.latest());
}

void TTrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    // Left click only; the right and middle buttons have nothing to offer.
    // Qt reports a left press soon after another one at the same place as a
    // double click, and then no single click: the first may have restored the
    // window before it went back to the tray, or have been on an icon of an
    // earlier window. It is a left click all the same.
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
        Restore();
}
