#include "core/settings/settingkeys.h"

#include "core/settings/settingsformat.h"
#include "core/speech/soundfile.h"
#include "core/speech/volume.h"

namespace hy {
namespace {

using K = SettingKind;
constexpr EntryRange Hours{0, 23};
constexpr EntryRange Minutes{0, 59};

// The keys of the main window, in the order of its file.
const SettingKey CommonKeys[] = {
    {"HourCounter", K::ListEntry, "0", Hours},
    {"MinuteCounter", K::ListEntry, "10", Minutes},
    {"SecondCounter", K::ListEntry, "30", Minutes},
    {"IsMinuteCounter", K::Flag, "0"},
    {"LastMinute", K::Text, "10"},
    {"PerMinute", K::Text, "1"},
    {"IsSecondCounter", K::Flag, "0"},
    {"LastSecond", K::Text, "30"},
    {"PerSecond", K::Text, "1"},
    {"IsLastOne", K::Flag, "0"},
    {"IsCircle", K::Flag, "0"},
    {"IsDispTop", K::Flag, "0"},
    {"IsHour", K::Flag, "0"},
    {"IsHalf", K::Flag, "0"},
    {"IsFixTimer", K::Flag, "0"},
    {"FixHour", K::ListEntry, "9", Hours},
    {"FixMinute", K::ListEntry, "25", Minutes},
    {"IsStart", K::Flag, "0"},
    {"StartTime", K::Time, "5:5:5"},
    {"HotKey", K::ListEntry, "F1", {1, 12, "F"}},
    {"LastWaveFile", K::Path, ""},
};

// The sound half of the page 声音与对时.
const SettingKey SoundKeys[] = {
    {"Volume", K::Percent, "100"},      {"Output", K::Text, ""},
    {"IsQuiet", K::Flag, "0"},          {"QuietFrom", K::HourMinute, "22:00"},
    {"QuietTo", K::HourMinute, "7:00"}, {"VoiceFolder", K::Path, ""},
    {"NotifyAtEnd", K::Flag, "1"},
};

// 对时: the server, following it, and the last good offset (server minus
// local, in µs, its ±, and when it was measured, UTC).
const SettingKey ServerTimeKeys[] = {
    {"Address", K::Text, ""},       {"FollowServer", K::Flag, "0"}, {"OffsetUs", K::Text, ""},
    {"UncertaintyUs", K::Text, ""}, {"MeasuredAt", K::Text, ""},
};

const SettingsSection Sections[] = {
    {kCommonSection, CommonKeys},
    {"Sound", SoundKeys, true},
    {"ServerTime", ServerTimeKeys, true},
};

} // namespace

std::span<const SettingsSection> settingsSections()
{
    return Sections;
}

std::span<const SettingKey> settingKeys()
{
    return CommonKeys;
}

const SettingKey* findSettingKey(const QString& name, const SettingsSection** section)
{
    for (const SettingsSection& s : Sections) {
        for (const SettingKey& key : s.keys) {
            if (name.compare(QLatin1String(key.name), Qt::CaseInsensitive) == 0) {
                if (section)
                    *section = &s;
                return &key;
            }
        }
    }
    return nullptr;
}

QStringList entriesOf(const SettingKey& key)
{
    QStringList entries;
    for (int i = key.entries.from; i <= key.entries.to; ++i)
        entries << QLatin1String(key.entries.prefix) + QString::number(i);
    return entries;
}

std::optional<QString> normalizedValue(const SettingKey& key, const QString& value)
{
    switch (key.kind) {
    case K::ListEntry:
        for (const QString& entry : entriesOf(key)) {
            if (entry.compare(value, Qt::CaseInsensitive) == 0)
                return entry;
        }
        return QString();
    case K::Text:
        return value;
    case K::Flag:
        return parseProfileInt(value) != 0 ? QStringLiteral("1") : QStringLiteral("0");
    case K::Time:
    case K::HourMinute: {
        const auto time = parseStartTime(value);
        if (!time)
            return std::nullopt;
        return key.kind == K::Time ? formatStartTime(*time)
                                   : time->toString(QStringLiteral("H:mm"));
    }
    case K::Percent:
        return QString::number(parseVolume(value));
    case K::Path:
        return trimControlChars(value);
    }
    return std::nullopt;
}

} // namespace hy
