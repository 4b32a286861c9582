#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>

namespace hy::x11 {

// The X server time of the latest key or mouse-button event that reached the
// application: the moment of the user's own latest action. A request that the
// program makes for the user (bringing its window to the front after a click
// on its tray icon) carries it, so that the window manager can tell it from a
// program that steals the focus.
//
// Qt reads events from the server in batches and hands them to the program
// afterwards, so while the program handles a click this is the time of that
// click or of an input event just after it (its release), never earlier.
// Watches the application's X connection from construction on; on other
// platforms, and before the first such event, the time is 0 (the X protocol's
// CurrentTime).
class UserTime final : private QAbstractNativeEventFilter
{
public:
    UserTime();
    ~UserTime() override;
    UserTime(const UserTime&) = delete;
    UserTime& operator=(const UserTime&) = delete;

    uint32_t latest() const { return m_latest; }

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    bool m_watching = false;
    uint8_t m_xinputOpcode = 0; // 0: no XInput extension
    uint32_t m_latest = 0;
};

} // namespace hy::x11
