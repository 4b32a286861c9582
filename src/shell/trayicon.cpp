#include "shell/trayicon.h"

#include "shell/windowstate.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

// A restore asked by the user wins over a minimize asked before it, which can
// still be on its way when the click comes. The program's showMinimized() and
// the window manager's own minimize both end in the window manager iconifying
// the window, and Qt reports that (WM_STATE Iconic) as a state change to
// minimized whenever it arrives: before the click, or after the click's
// showNormal(), where it would put the window back into the tray. So:
// - hiding into the tray waits kHideDelayMs after a minimize, and is dropped
//   if a restore came since;
// - for kSettleMs after a restore, a minimize reported by the window system
//   is taken to be one asked before the restore, and the window is restored
//   again (showNormal() maps an iconified window, which the window manager
//   answers by showing it). A minimize the program asks for itself in that
//   time is a new one and counts.
// Whichever comes first, the click or the iconify, and whenever Qt reports
// it, the last word is the restore's. The settling time is far shorter than a
// user needs to go from the tray to the window's minimize button, and far
// longer than the window manager needs for a request already on its way.
namespace {
constexpr int kHideDelayMs = 150;
constexpr int kSettleMs = 500;
constexpr int kTrayWaitMs = 10000;
const QString kHint = QStringLiteral("禾音语音定时器");
} // namespace

TTrayIcon::TTrayIcon(QWidget* window)
    : QObject(window)
    , m_window(window)
    , m_icon(new QSystemTrayIcon(window->windowIcon(), this))
{
    setObjectName(QStringLiteral("trycn1"));
    m_icon->setToolTip(kHint);
    connect(m_icon, &QSystemTrayIcon::activated, this, &TTrayIcon::onActivated);
    // Shown as soon as the event loop runs: asking the desktop for its
    // notification area takes a few milliseconds that the window's first
    // appearance need not wait for.
    QTimer::singleShot(0, this, &TTrayIcon::showIcon);
    m_window->installEventFilter(this);
}

TTrayIcon::~TTrayIcon()
{
    m_window->removeEventFilter(this);
    m_icon->hide();
}

void TTrayIcon::notify(const QString& message)
{
    // Before the icon is up (at start), the message waits for it.
    if (!m_shown) {
        m_pending = message;
        return;
    }
    if (QSystemTrayIcon::isSystemTrayAvailable() && m_icon->isVisible())
        m_icon->showMessage(QStringLiteral("禾音语音报时器"), message, QSystemTrayIcon::Warning,
                            8000);
}

void TTrayIcon::showIcon()
{
    m_icon->show();
    m_shown = true;
    if (!m_pending.isEmpty())
        notify(std::exchange(m_pending, QString()));
}

bool TTrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    // The program's own minimize comes as a direct event; the window system's
    // report of one as a spontaneous event.
    if (watched == m_window && event->type() == QEvent::WindowStateChange &&
        m_window->isMinimized())
        onMinimized(event->spontaneous());
    return QObject::eventFilter(watched, event);
}

void TTrayIcon::onMinimized(bool reported)
{
    if (reported && !m_settling.hasExpired()) {
        // Asked before the last restore; undone once this event is through.
        QTimer::singleShot(0, this, [this] {
            if (m_window->isMinimized())
                hy::bringToFront(m_window, m_restoreTime);
        });
        return;
    }
    m_settling = QDeadlineTimer();
    QTimer::singleShot(kHideDelayMs, this, [this, restores = m_restores] {
        if (m_window->isMinimized() && m_restores == restores)
            Minimize();
    });
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
    ++m_restores;
    m_restoreTime = m_userTime.latest();
    m_settling.setRemainingTime(kSettleMs);
    hy::bringToFront(m_window, m_restoreTime);
}

void TTrayIcon::showState(const QString& state)
{
    const QString hint = state.isEmpty() ? kHint : kHint + QLatin1Char('\n') + state;
    if (m_icon->toolTip() != hint)
        m_icon->setToolTip(hint);
}

void TTrayIcon::startHidden()
{
    m_hiddenStart.setRemainingTime(kTrayWaitMs);
    auto* wait = new QTimer(this);
    connect(wait, &QTimer::timeout, this, [this, wait] {
        const bool tray = m_shown && QSystemTrayIcon::isSystemTrayAvailable();
        if (!tray && !m_hiddenStart.hasExpired())
            return;
        wait->deleteLater();
        if (!tray)
            Restore();
    });
    wait->start(250);
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
