#pragma once

#include "core/servertime/servertime.h"

namespace hy {

class ServerTimeKeeper;
class SettingsStore;

// The section ServerTime of the settings:
//   Address=https://www.example.com   the server of 对时, as typed
//   FollowServer=1                    按服务器时间
//   OffsetUs=-420000                  the last good offset, server minus local, in µs
//   UncertaintyUs=30000               and its +/-
//   MeasuredAt=2026-12-09T05:40:00.123Z  when it was measured (UTC)
// The offset counts only with all three of its keys readable.
ServerTimeChoice storedServerTime(const SettingsStore& settings);
void storeServerTime(SettingsStore& settings, const ServerTimeChoice& choice);

// The keeper takes the stored choice now, and from then on the address and
// 按服务器时间 as they change in the settings; every offset it measures goes
// into them.
void bindServerTime(SettingsStore& settings, ServerTimeKeeper& keeper);

} // namespace hy
