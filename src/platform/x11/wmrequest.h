#pragma once

#include <array>
#include <cstdint>

struct xcb_connection_t;

namespace hy::x11 {

// The atom of `name`, or XCB_ATOM_NONE (0) when the server cannot say.
uint32_t internAtom(xcb_connection_t* c, const char* name);

// Asks the window manager for something about `window`: a 32-bit client
// message of `type` sent to the root window, as the EWMH requests are.
// False when the window is gone.
bool sendWmRequest(xcb_connection_t* c, uint32_t window, uint32_t type,
                   const std::array<uint32_t, 5>& data);

} // namespace hy::x11
