#pragma once

#include "platform/hotkey/globalhotkey.h"

#include <QAbstractNativeEventFilter>
#include <QList>
#include <cstdint>

struct xcb_connection_t;

namespace hy {

// Ctrl + F1..F12 grabbed on the X root window of the application's own X
// connection. The grab is taken four times, so that the key also works while
// CapsLock and/or NumLock is on. The key code comes from the current keyboard
// mapping and follows it when the mapping changes. Presses with any further
// modifier (Shift, Alt, Super, ...) are not ours; a held key fires once.
class X11Hotkey final : public GlobalHotkey, private QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    // Needs a QGuiApplication on the "xcb" platform; elsewhere every
    // registerKey() ends in Unavailable.
    explicit X11Hotkey(QObject* parent = nullptr);
    ~X11Hotkey() override;

    void registerKey(int functionKey) override;
    void unregisterKey() override;

    // The function key asked for by the last registerKey() (1..12), 0 after
    // unregisterKey() or before any registration.
    int functionKey() const { return m_functionKey; }
    // The key codes grabbed now (empty unless Registered).
    QList<quint8> keyCodes() const { return m_keyCodes; }
    // The modifier bit of NumLock in the current mapping (Mod2 on most systems).
    quint16 numLockMask() const { return m_numLockMask; }

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    struct Keymap
    {
        QList<quint8> keyCodes;
        quint16 numLockMask = 0;
    };
    Keymap readKeymap(int functionKey) const;
    void grab();
    void releaseGrabs();
    void refreshAfterMappingChange();

    xcb_connection_t* m_connection = nullptr;
    quint32 m_root = 0;
    quint8 m_xkbFirstEvent = 0; // 0: no XKEYBOARD extension

    int m_functionKey = 0;
    QList<quint8> m_keyCodes;
    quint16 m_numLockMask = 0;

    // Auto-repeat: a press while the key is already down, or a press with the
    // same time stamp as the release just before it, is a repeat.
    quint8 m_downCode = 0;
    quint8 m_releaseCode = 0;
    quint32 m_releaseTime = 0;

    bool m_refreshQueued = false;
};

} // namespace hy
