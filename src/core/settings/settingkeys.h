#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <span>

namespace hy {

// How a stored value is read: what a value from the file, a control or the
// program becomes, and what cannot be read at all.
enum class SettingKind
{
    ListEntry,  // one of the key's entries, matched in any letter case; anything else: none ("")
    Text,       // kept as it stands
    Flag,       // "1" for a non-zero integer (parseProfileInt), else "0"
    Time,       // a time of day h:m:s (parseStartTime), kept as "5:05:05"; unreadable: no change
    HourMinute, // a time of day, hours and minutes, kept as "7:00"; unreadable: no change
    Percent,    // a whole number brought into 0..100; anything else: 100
    Path,       // a file or folder, control characters around it dropped
};

// The entries of a list-only key: prefix + from..to ("0".."23", "F1".."F12").
struct EntryRange
{
    int from = 0;
    int to = -1;
    const char* prefix = "";
};

struct SettingKey
{
    const char* name;
    SettingKind kind;
    const char* defaultValue; // what a missing key reads as
    EntryRange entries = {};  // ListEntry only
};

// A section of the settings file and its keys, in the order they are read and
// added to the file.
struct SettingsSection
{
    const char* name;
    std::span<const SettingKey> keys;
    // Added to a file that lacks it only once a value differs from its
    // default, so that a user who never uses it finds the file as it was.
    bool addedWhenUsed = false;
};

// Common (the main window's keys), Sound and ServerTime, in that order. Key names
// are unique across the sections.
std::span<const SettingsSection> settingsSections();
// The section that must hold a key for a file to be read or written at all.
inline constexpr char kCommonSection[] = "Common";
// The keys of Common.
std::span<const SettingKey> settingKeys();
// The key of that name (any letter case) in any section, or null; `section`
// is set to its section when given.
const SettingKey* findSettingKey(const QString& name, const SettingsSection** section = nullptr);
// The entries of a list-only key.
QStringList entriesOf(const SettingKey& key);
// `value` as the key's kind reads it; nullopt when it cannot be read (and
// the value held stays).
std::optional<QString> normalizedValue(const SettingKey& key, const QString& value);

} // namespace hy
