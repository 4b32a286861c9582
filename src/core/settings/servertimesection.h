#pragma once

#include "core/servertime/servertime.h"
#include "core/settings/settings.h"

#include <functional>

namespace hy {

// Section ServerTime of the settings file:
//   Address=https://www.example.com   the server of 对时, as typed
//   FollowServer=1                    按服务器时间 (an integer, non-zero is on)
//   OffsetUs=-420000                  the last good offset, server minus local, in µs
//   UncertaintyUs=30000               and its +/-
//   MeasuredAt=2026-12-09T05:40:00.123Z  when it was measured (UTC)
// The offset counts only with all three of its keys readable. A file without
// the section gets one only once the choice is not the design's (an address,
// the option, an offset), so a user who never uses 对时 finds the file as it
// was.
class ServerTimeSettings final : public ISettingsSection
{
public:
    using Restore = std::function<void(const ServerTimeChoice&)>;
    using Current = std::function<ServerTimeChoice()>;

    // `restore` is called only when the file has the section.
    ServerTimeSettings(Restore restore, Current current);

    QString sectionName() const override;
    void restore(const Lookup& stored) override;
    Values values() const override;

private:
    Restore m_restore;
    Current m_current;
    mutable bool m_inFile = false; // the file has the section, or will after a save
};

} // namespace hy
