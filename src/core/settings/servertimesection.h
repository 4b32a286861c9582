#pragma once

#include "core/servertime/servertime.h"

#include <optional>

namespace hy {

class IniFile;

// Section ServerTime of the settings file:
//   Address=https://www.example.com   the server of 对时, as typed
//   FollowServer=1                    按服务器时间 (an integer, non-zero is on)
//   OffsetUs=-420000                  the last good offset, server minus local, in µs
//   UncertaintyUs=30000               and its +/-
//   MeasuredAt=2026-12-09T05:40:00.123Z  when it was measured (UTC)
// The offset counts only with all three of its keys readable.
inline constexpr char ServerTimeSection[] = "ServerTime";

// The choices of the section; nullopt when the file has no such section.
std::optional<ServerTimeChoice> readServerTime(const IniFile& ini);

// Writes `choice` into the section. A file without the section gets one only
// when the choice is not the design's (an address, the option, an offset), so
// a user who never uses 对时 finds the file as it was. False, with `ini` partly
// changed, when a value cannot be stored: the caller then writes nothing.
bool writeServerTime(IniFile& ini, const ServerTimeChoice& choice);

} // namespace hy
