#include "platform/x11/x11hotkey.h"

#include "core/log.h"
#include "platform/x11/x11window.h"
#include "platform/x11/xcbreply.h"

#include <QGuiApplication>
#include <QTimer>

#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace hy {

namespace {

// XKB event codes (XKBproto.h), so that no xkb library is needed.
constexpr quint8 kXkbNewKeyboardNotify = 0;
constexpr quint8 kXkbMapNotify = 1;

constexpr quint16 kCtrl = XCB_MOD_MASK_CONTROL;

QList<quint16> lockCombinations(quint16 numLockMask)
{
    QList<quint16> locks{0, XCB_MOD_MASK_LOCK};
    if (numLockMask != 0 && numLockMask != XCB_MOD_MASK_LOCK) {
        locks.append(numLockMask);
        locks.append(quint16(numLockMask | XCB_MOD_MASK_LOCK));
    }
    return locks;
}

} // namespace

X11Hotkey::X11Hotkey(QObject* parent)
    : GlobalHotkey(parent)
{
    m_connection = x11::appConnection();
    if (!m_connection)
        return;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;

    static const char kXkb[] = "XKEYBOARD";
    XcbReply<xcb_query_extension_reply_t> xkb(xcb_query_extension_reply(
        m_connection, xcb_query_extension(m_connection, sizeof kXkb - 1, kXkb), nullptr));
    if (xkb && xkb->present)
        m_xkbFirstEvent = xkb->first_event;

    qGuiApp->installNativeEventFilter(this);
}

X11Hotkey::~X11Hotkey()
{
    // The X connection dies with the application object.
    if (qGuiApp)
        releaseGrabs();
    else
        m_connection = nullptr;
}

void X11Hotkey::registerKey(int functionKey)
{
    if (functionKey < 1 || functionKey > 12) {
        qCWarning(lcHotkey, "function key F%d is not one of F1 to F12; the hotkey stays as it was",
                  functionKey);
        return;
    }
    releaseGrabs();
    m_functionKey = functionKey;
    grab();
}

void X11Hotkey::unregisterKey()
{
    releaseGrabs();
    m_functionKey = 0;
    setState(Status::Idle, {});
}

X11Hotkey::Keymap X11Hotkey::readKeymap(int functionKey) const
{
    Keymap map;
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    const int first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    XcbReply<xcb_get_keyboard_mapping_reply_t> keys(xcb_get_keyboard_mapping_reply(
        m_connection, xcb_get_keyboard_mapping(m_connection, first, count), nullptr));
    XcbReply<xcb_get_modifier_mapping_reply_t> mods(xcb_get_modifier_mapping_reply(
        m_connection, xcb_get_modifier_mapping(m_connection), nullptr));
    if (!keys)
        return map;

    const int perCode = keys->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(keys.get());
    const int length = xcb_get_keyboard_mapping_keysyms_length(keys.get());
    const xcb_keysym_t wanted = XK_F1 + xcb_keysym_t(functionKey - 1);

    // Key codes that give the key without Shift; failing those, any that
    // carry it at all (as XKeysymToKeycode would find it).
    QList<quint8> plain, other, numLock;
    for (int i = 0; perCode > 0 && (i + 1) * perCode <= length; ++i) {
        const auto code = quint8(first + i);
        const xcb_keysym_t* row = syms + i * perCode;
        for (int col = 0; col < perCode; ++col) {
            if (row[col] == wanted && !(col == 0 ? plain : other).contains(code))
                (col == 0 ? plain : other).append(code);
            if (row[col] == XK_Num_Lock && !numLock.contains(code))
                numLock.append(code);
        }
    }
    map.keyCodes = plain.isEmpty() ? other : plain;

    if (mods) {
        const int perMod = mods->keycodes_per_modifier;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mods.get());
        for (int mod = 0; mod < 8 && map.numLockMask == 0; ++mod) {
            for (int k = 0; k < perMod; ++k) {
                if (codes[mod * perMod + k] != 0 && numLock.contains(codes[mod * perMod + k])) {
                    map.numLockMask = quint16(1u << mod);
                    break;
                }
            }
        }
    }
    if (map.numLockMask == 0)
        map.numLockMask = XCB_MOD_MASK_2;
    return map;
}

void X11Hotkey::grab()
{
    const int key = m_functionKey;
    if (!m_connection) {
        setState(Status::Unavailable,
                 QStringLiteral("没有连接到 X 显示服务，无法设置全局快捷键 Ctrl+F%1").arg(key));
        return;
    }
    const Keymap map = readKeymap(key);
    if (map.keyCodes.isEmpty()) {
        setState(Status::Unavailable,
                 QStringLiteral("当前键盘布局里没有 F%1 键，无法设置快捷键 Ctrl+F%1").arg(key));
        return;
    }

    struct Attempt
    {
        quint8 code;
        quint16 modifiers;
        xcb_void_cookie_t cookie;
    };
    QList<Attempt> attempts;
    for (quint8 code : map.keyCodes) {
        for (quint16 lock : lockCombinations(map.numLockMask)) {
            const quint16 modifiers = kCtrl | lock;
            // owner_events false: the press goes to the root window even when
            // one of our own windows has the focus.
            attempts.append({code, modifiers,
                             xcb_grab_key_checked(m_connection, 0, m_root, modifiers, code,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)});
        }
    }

    bool taken = false;
    int otherError = 0;
    QList<Attempt> held;
    for (const Attempt& a : attempts) {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(m_connection, a.cookie));
        if (!error)
            held.append(a);
        else if (error->error_code == XCB_ACCESS)
            taken = true;
        else
            otherError = error->error_code;
    }

    if (taken || otherError != 0) {
        for (const Attempt& a : held)
            xcb_ungrab_key(m_connection, a.code, m_root, a.modifiers);
        xcb_flush(m_connection);
        if (taken)
            setState(Status::Taken, QStringLiteral("快捷键 Ctrl+F%1 已被其他程序占用").arg(key));
        else
            setState(Status::Unavailable,
                     QStringLiteral("X 显示服务拒绝了快捷键 Ctrl+F%1（错误 %2）")
                         .arg(key)
                         .arg(otherError));
        return;
    }

    m_keyCodes = map.keyCodes;
    m_numLockMask = map.numLockMask;
    m_downCode = 0;
    m_releaseCode = 0;
    setState(Status::Registered, {}, QStringLiteral("Ctrl+F%1").arg(key));
}

void X11Hotkey::releaseGrabs()
{
    if (m_connection && !m_keyCodes.isEmpty()) {
        for (quint8 code : m_keyCodes) {
            for (quint16 lock : lockCombinations(m_numLockMask))
                xcb_ungrab_key(m_connection, code, m_root, kCtrl | lock);
        }
        xcb_flush(m_connection);
    }
    m_keyCodes.clear();
    m_downCode = 0;
    m_releaseCode = 0;
}

void X11Hotkey::refreshAfterMappingChange()
{
    m_refreshQueued = false;
    if (status() != Status::Registered || !m_connection)
        return;
    const Keymap map = readKeymap(m_functionKey);
    if (map.keyCodes == m_keyCodes && map.numLockMask == m_numLockMask)
        return;
    releaseGrabs();
    grab();
}

bool X11Hotkey::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (!m_connection || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const quint8 type = event->response_type & 0x7f;
    const bool synthetic = event->response_type & 0x80;

    // A changed keyboard mapping may move the function key to another code.
    // Qt needs these events as well, so they are never swallowed.
    const bool mappingChanged =
        (type == XCB_MAPPING_NOTIFY &&
         reinterpret_cast<const xcb_mapping_notify_event_t*>(event)->request !=
             XCB_MAPPING_POINTER) ||
        (m_xkbFirstEvent != 0 && type == m_xkbFirstEvent &&
         (event->pad0 == kXkbNewKeyboardNotify || event->pad0 == kXkbMapNotify));
    if (mappingChanged && !m_refreshQueued && status() == Status::Registered) {
        m_refreshQueued = true;
        QTimer::singleShot(0, this, &X11Hotkey::refreshAfterMappingChange);
        return false;
    }

    if (synthetic || (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE))
        return false;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (key->event != m_root || !m_keyCodes.contains(key->detail))
        return false;

    if (type == XCB_KEY_RELEASE) {
        if (key->detail == m_downCode)
            m_downCode = 0;
        m_releaseCode = key->detail;
        m_releaseTime = key->time;
        return true;
    }

    const bool repeat =
        key->detail == m_downCode || (key->detail == m_releaseCode && key->time == m_releaseTime);
    m_downCode = key->detail;
    const quint16 locks = XCB_MOD_MASK_LOCK | m_numLockMask;
    const bool onlyCtrl = (key->state & 0xff & ~locks) == kCtrl;
    if (!repeat && onlyCtrl)
        emit pressed();
    return true;
}

} // namespace hy
