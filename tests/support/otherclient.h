#pragma once

// Another program on the test display, with its own X connection: it grabs
// keys, reads the lock state and moves keys around in the keyboard mapping.
#include "support/xdesktop.h"

#include <QList>
#include <QtGlobal>

#include <xcb/xcb.h>

#include <cstdlib>

class OtherClient
{
public:
    OtherClient()
        : m_c(xcb_connect(nullptr, nullptr))
    {
        if (ok())
            m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
    }
    ~OtherClient() { xcb_disconnect(m_c); }
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;

    bool ok() const { return m_c && !xcb_connection_has_error(m_c); }

    // 0 on success, else the X error code (10 = BadAccess).
    int grab(quint8 code, quint16 mods)
    {
        auto cookie = xcb_grab_key_checked(m_c, 0, m_root, mods, code, XCB_GRAB_MODE_ASYNC,
                                           XCB_GRAB_MODE_ASYNC);
        xcb_generic_error_t* error = xcb_request_check(m_c, cookie);
        const int result = error ? error->error_code : 0;
        std::free(error);
        return result;
    }
    void ungrabAll()
    {
        xcb_ungrab_key(m_c, XCB_GRAB_ANY, m_root, XCB_MOD_MASK_ANY);
        sync();
    }
    // What a test may have left behind: this client's grabs, and Caps Lock and
    // Num Lock when they are on (pressed again with xdotool, as a user would).
    void releaseGrabsAndLocks()
    {
        ungrabAll();
        const quint16 state = modifierState();
        if (state & XCB_MOD_MASK_LOCK)
            xdesk::xdotool({QStringLiteral("key"), QStringLiteral("Caps_Lock")});
        if (state & XCB_MOD_MASK_2)
            xdesk::xdotool({QStringLiteral("key"), QStringLiteral("Num_Lock")});
    }
    // Modifier and lock state of the core keyboard.
    quint16 modifierState()
    {
        auto* reply = xcb_query_pointer_reply(m_c, xcb_query_pointer(m_c, m_root), nullptr);
        const quint16 mask = reply ? reply->mask & 0xff : 0;
        std::free(reply);
        return mask;
    }

    // The core keyboard mapping.
    struct Mapping
    {
        quint8 first = 0;
        quint8 perCode = 0;
        QList<xcb_keysym_t> syms;
        xcb_keysym_t at(int code, int col) const { return syms[(code - first) * perCode + col]; }
        int count() const { return perCode ? int(syms.size()) / perCode : 0; }
    };
    Mapping mapping()
    {
        const xcb_setup_t* setup = xcb_get_setup(m_c);
        Mapping m;
        m.first = setup->min_keycode;
        auto* reply = xcb_get_keyboard_mapping_reply(
            m_c,
            xcb_get_keyboard_mapping(m_c, setup->min_keycode,
                                     setup->max_keycode - setup->min_keycode + 1),
            nullptr);
        if (!reply)
            return m;
        m.perCode = reply->keysyms_per_keycode;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
        const int n = xcb_get_keyboard_mapping_keysyms_length(reply);
        m.syms = QList<xcb_keysym_t>(syms, syms + n);
        std::free(reply);
        return m;
    }
    void setMapping(const Mapping& m)
    {
        xcb_change_keyboard_mapping(m_c, m.count(), m.first, m.perCode, m.syms.constData());
        sync();
    }
    // The first key code that produces `sym`, 0 when none does.
    quint8 keyCode(xcb_keysym_t sym)
    {
        const Mapping m = mapping();
        for (int i = 0; i < m.syms.size(); ++i) {
            if (m.syms[i] == sym)
                return quint8(m.first + i / m.perCode);
        }
        return 0;
    }

private:
    // A round trip: everything asked before has been done.
    void sync() { std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); }

    xcb_connection_t* m_c;
    xcb_window_t m_root = 0;
};
