#include "core/settings/settings.h"

#include "core/settings/atomicfile.h"
#include "core/settings/inifile.h"
#include "core/settings/settingsformat.h"

#include "core/paths.h"

#include <exception>

namespace hy {

namespace {

const std::array<SettingKey, 21> Keys = {{
    {"HourCounter", SettingKind::ListEntry, "0"},
    {"MinuteCounter", SettingKind::ListEntry, "10"},
    {"SecondCounter", SettingKind::ListEntry, "30"},
    {"IsMinuteCounter", SettingKind::Flag, "0"},
    {"LastMinute", SettingKind::Text, "10"},
    {"PerMinute", SettingKind::Text, "1"},
    {"IsSecondCounter", SettingKind::Flag, "0"},
    {"LastSecond", SettingKind::Text, "30"},
    {"PerSecond", SettingKind::Text, "1"},
    {"IsLastOne", SettingKind::Flag, "0"},
    {"IsCircle", SettingKind::Flag, "0"},
    {"IsDispTop", SettingKind::Flag, "0"},
    {"IsHour", SettingKind::Flag, "0"},
    {"IsHalf", SettingKind::Flag, "0"},
    {"IsFixTimer", SettingKind::Flag, "0"},
    {"FixHour", SettingKind::ListEntry, "9"},
    {"FixMinute", SettingKind::ListEntry, "25"},
    {"IsStart", SettingKind::Flag, "0"},
    {"StartTime", SettingKind::Time, "5:5:5"},
    {"HotKey", SettingKind::ListEntry, "F1"},
    {"LastWaveFile", SettingKind::WaveFile, ""},
}};

const QString Section = QString::fromLatin1(SettingsSection);

// The file, when it holds the section with at least one key.
std::optional<IniFile> openSettings(const QString& path)
{
    IniFile ini;
    if (!ini.loadFile(path) || ini.keys(Section).isEmpty())
        return std::nullopt;
    return ini;
}

void applyKey(const SettingKey& key, const QString& value, ISettingsTarget& target)
{
    const QString name = QString::fromLatin1(key.name);
    switch (key.kind) {
    case SettingKind::ListEntry: {
        const QStringList entries = target.entries(name);
        int index = -1;
        for (int i = 0; i < entries.size() && index < 0; ++i) {
            if (entries[i].compare(value, Qt::CaseInsensitive) == 0)
                index = i;
        }
        target.selectEntry(name, index);
        break;
    }
    case SettingKind::Text:
        target.setText(name, value);
        break;
    case SettingKind::Flag:
        target.setChecked(name, parseProfileInt(value) != 0);
        if (name == QLatin1String("IsCircle"))
            target.applyCycleCounterRule();
        break;
    case SettingKind::Time:
        if (const auto time = parseStartTime(value))
            target.setStartTime(*time);
        break;
    case SettingKind::WaveFile:
        target.restoreWaveFile(value);
        break;
    }
}

QString currentValue(const SettingKey& key, const ISettingsTarget& target)
{
    const QString name = QString::fromLatin1(key.name);
    switch (key.kind) {
    case SettingKind::ListEntry:
    case SettingKind::Text:
        return target.text(name);
    case SettingKind::Flag:
        return target.isChecked(name) ? QStringLiteral("1") : QStringLiteral("0");
    case SettingKind::Time:
        return formatStartTime(target.startTime());
    case SettingKind::WaveFile:
        return target.waveFile();
    }
    return {};
}

} // namespace

const std::array<SettingKey, 21>& settingKeys()
{
    return Keys;
}

bool loadSettings(const QString& path, ISettingsTarget& target)
{
    const auto ini = openSettings(path);
    if (!ini)
        return false;
    for (const SettingKey& key : Keys) {
        const QString value = ini->value(Section, QString::fromLatin1(key.name),
                                         QString::fromLatin1(key.defaultValue));
        try {
            applyKey(key, value, target);
        } catch (const std::exception&) {
            // A control that refuses its value keeps what it had; the other
            // settings still count.
        }
    }
    return true;
}

bool saveSettings(const QString& path, const ISettingsTarget& target)
{
    auto ini = openSettings(path);
    if (!ini)
        return false;
    const QByteArray before = ini->serialize();
    for (const SettingKey& key : Keys) {
        const QString name = QString::fromLatin1(key.name);
        QString value = currentValue(key, target);
        if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
            value.clear();
        if (!ini->set(Section, name, value))
            return false;
    }
    const QByteArray after = ini->serialize();
    if (after == before)
        return true;
    return writeFileAtomically(path, after);
}

} // namespace hy
