#pragma once

#include "core/servertime/servertime.h"

#include <QString>
#include <QStringList>
#include <QTime>
#include <span>

namespace hy {

// How a stored value reaches its control.
enum class SettingKind
{
    ListEntry, // list-only box: selects the entry whose whole text equals the value, any case
    Text,      // editable box: the value becomes its text unchanged
    Flag,      // check box: ticked when the value is a non-zero integer (parseProfileInt)
    Time,      // the start-time picker (parseStartTime / formatStartTime)
    WaveFile   // the path of the user's alert sound
};

struct SettingKey
{
    const char* name;
    SettingKind kind;
    const char* defaultValue; // what a missing key reads as: the control's design value
    // Object name of the control that shows the value; empty for the alert
    // sound's path, which no control shows.
    const char* control;
};

// The section that holds every setting.
inline constexpr char SettingsSection[] = "Common";

// The keys in the order both the load and the save handle them; keys missing
// from the file are added to its section in this order.
std::span<const SettingKey> settingKeys();
// The key of that name (any letter case), or null.
const SettingKey* findSettingKey(const QString& name);

// What the settings need of the window. Keys are the names above.
class ISettingsTarget
{
public:
    virtual ~ISettingsTarget() = default;
    virtual QStringList entries(const QString& key) const = 0; // items of a list-only box
    virtual void selectEntry(const QString& key,
                             int index) = 0; // -1: no entry selected; runs no handler
    virtual void setText(const QString& key,
                         const QString& text) = 0; // editable box; runs no handler
    virtual void setChecked(const QString& key,
                            bool on) = 0;     // runs the box's handler on a change only
    virtual void applyCycleCounterRule() = 0; // after IsCircle, whatever its value
    virtual void setStartTime(const QTime& time) = 0;
    virtual void restoreWaveFile(const QString& storedPath) = 0; // LastWaveFile + its restore step
    virtual QString text(const QString& key) const = 0;          // the text the box shows
    virtual bool isChecked(const QString& key) const = 0;
    virtual QTime startTime() const = 0;
    virtual QString waveFile() const = 0;
    // The 对时 choices, section ServerTime (servertimesection.h). A target
    // without them keeps the section as it is.
    virtual void restoreServerTime(const ServerTimeChoice&) {}
    virtual std::optional<ServerTimeChoice> serverTime() const { return std::nullopt; }
};

// Applies the stored settings to the window, key by key in table order.
// Nothing is read, and false returned, when the file cannot be read or its
// section Common has no key; the controls then keep their design values.
// A missing key applies its default. A StartTime that is no time of day leaves
// the picker as it is and the load goes on with the next key. An exception
// thrown by the target while one key is applied is swallowed and the load goes
// on with the next key. Then the section ServerTime, when the file has it.
bool loadSettings(const QString& path, ISettingsTarget& target);

// Writes every value of the window into the file's section Common (and the
// 对时 choices into ServerTime, see servertimesection.h), leaving
// every other line of the file as it was. Only a file that already holds the
// section with at least one key is written; otherwise nothing is written or
// created and the result is false. The write is all or nothing: on any
// failure (read-only file, no room for the temporary, ...) the old file stays
// as it was, the result is false and one warning says why. A file whose
// content would not change is not rewritten. A value holding a line break cannot be stored and is
// written empty.
bool saveSettings(const QString& path, const ISettingsTarget& target);

} // namespace hy
