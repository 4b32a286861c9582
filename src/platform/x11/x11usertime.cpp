#include "platform/x11/x11usertime.h"

#include "platform/x11/x11window.h"
#include "platform/x11/xcbreply.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstring>

namespace hy::x11 {
namespace {

// The first fields of an XInput 2 device event (key, button, motion) as it
// comes over the wire; Qt takes its mouse input this way when the server
// offers XInput 2, and the core button events then never come.
struct XiDeviceEventHead
{
    uint8_t responseType;
    uint8_t extension;
    uint16_t sequence;
    uint32_t length;
    uint16_t eventType;
    uint16_t deviceId;
    uint32_t time;
};
static_assert(sizeof(XiDeviceEventHead) == 16);

// XI_KeyPress, XI_KeyRelease, XI_ButtonPress, XI_ButtonRelease.
constexpr uint16_t kXiKeyPress = 2;
constexpr uint16_t kXiButtonRelease = 5;

} // namespace

UserTime::UserTime()
{
    xcb_connection_t* c = appConnection();
    if (!c)
        return;
    static const char kXInput[] = "XInputExtension";
    XcbReply<xcb_query_extension_reply_t> ext(xcb_query_extension_reply(
        c, xcb_query_extension(c, uint16_t(std::strlen(kXInput)), kXInput), nullptr));
    if (ext && ext->present)
        m_xinputOpcode = ext->major_opcode;
    qGuiApp->installNativeEventFilter(this);
    m_watching = true;
}

UserTime::~UserTime()
{
    if (m_watching && qGuiApp)
        qGuiApp->removeNativeEventFilter(this);
}

bool UserTime::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    // Events sent by other programs (the top bit) carry whatever time they
    // chose; only the server's own count.
    if (event->response_type & 0x80)
        return false;
    uint32_t time = 0;
    switch (event->response_type) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE:
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE:
        // The four share one layout.
        time = reinterpret_cast<const xcb_button_press_event_t*>(event)->time;
        break;
    case XCB_GE_GENERIC: {
        XiDeviceEventHead head;
        std::memcpy(&head, message, sizeof head);
        if (m_xinputOpcode == 0 || head.extension != m_xinputOpcode ||
            head.eventType < kXiKeyPress || head.eventType > kXiButtonRelease)
            return false;
        time = head.time;
        break;
    }
    default:
        return false;
    }
    // Only later times (the server's clock wraps after 49 days): a press can
    // come twice, for the pointer and for the device behind it.
    if (m_latest == 0 || int32_t(time - m_latest) > 0)
        m_latest = time;
    return false;
}

} // namespace hy::x11
