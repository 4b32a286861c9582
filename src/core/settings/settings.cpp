#include "core/settings/settings.h"

#include "core/settings/atomicfile.h"
#include "core/settings/inifile.h"
#include "core/settings/settingsformat.h"

#include "core/log.h"

#include <cerrno>
#include <cstring>
#include <exception>

namespace hy {

namespace {

const SettingKey Keys[] = {
    {"HourCounter", SettingKind::ListEntry, "0", "cbbHour"},
    {"MinuteCounter", SettingKind::ListEntry, "10", "cbbMin"},
    {"SecondCounter", SettingKind::ListEntry, "30", "cbbSec"},
    {"IsMinuteCounter", SettingKind::Flag, "0", "chkMin"},
    {"LastMinute", SettingKind::Text, "10", "cbbLastMin"},
    {"PerMinute", SettingKind::Text, "1", "cbbPerMin"},
    {"IsSecondCounter", SettingKind::Flag, "0", "chkSec"},
    {"LastSecond", SettingKind::Text, "30", "cbbLastSec"},
    {"PerSecond", SettingKind::Text, "1", "cbbPerSec"},
    {"IsLastOne", SettingKind::Flag, "0", "chkLastOne"},
    {"IsCircle", SettingKind::Flag, "0", "chkCircle"},
    {"IsDispTop", SettingKind::Flag, "0", "chkDispTop"},
    {"IsHour", SettingKind::Flag, "0", "chkHour"},
    {"IsHalf", SettingKind::Flag, "0", "chkHalf"},
    {"IsFixTimer", SettingKind::Flag, "0", "chkFix"},
    {"FixHour", SettingKind::ListEntry, "9", "cbbFixHour"},
    {"FixMinute", SettingKind::ListEntry, "25", "cbbFixMin"},
    {"IsStart", SettingKind::Flag, "0", "chkStart"},
    {"StartTime", SettingKind::Time, "5:5:5", "dtmpckrStart"},
    {"HotKey", SettingKind::ListEntry, "F1", "cbbKey"},
    {"LastWaveFile", SettingKind::WaveFile, "", ""},
};

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

std::span<const SettingKey> settingKeys()
{
    return Keys;
}

const SettingKey* findSettingKey(const QString& name)
{
    for (const SettingKey& key : Keys) {
        if (name.compare(QLatin1String(key.name), Qt::CaseInsensitive) == 0)
            return &key;
    }
    return nullptr;
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
    for (ISettingsSection* extra : target.extraSections()) {
        const QString section = extra->sectionName();
        try {
            extra->restore([&](const QString& key) { return ini->value(section, key); });
        } catch (const std::exception&) {
            // As for a key of Common: the rest still counts.
        }
    }
    return true;
}

namespace {

// Sets one value for a save; a value holding a line break is written empty.
bool storeValue(IniFile& ini, const QString& section, const QString& key, QString value,
                const QString& path)
{
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
        value.clear();
    if (ini.set(section, key, value))
        return true;
    qCWarning(lcSettings, "%s cannot hold the value of %s; nothing was saved", qPrintable(path),
              qPrintable(key));
    return false;
}

} // namespace

bool saveSettings(const QString& path, const ISettingsTarget& target)
{
    auto ini = openSettings(path);
    if (!ini)
        return false;
    const QByteArray before = ini->serialize();
    for (const SettingKey& key : Keys) {
        if (!storeValue(*ini, Section, QString::fromLatin1(key.name), currentValue(key, target),
                        path))
            return false;
    }
    for (const ISettingsSection* extra : target.extraSections()) {
        for (const auto& [key, value] : extra->values()) {
            if (!storeValue(*ini, extra->sectionName(), key, value, path))
                return false;
        }
    }
    const QByteArray after = ini->serialize();
    if (after == before)
        return true;
    if (writeFileAtomically(path, after))
        return true;
    qCWarning(lcSettings, "cannot write %s (%s); the choices of this run are not kept",
              qPrintable(path), std::strerror(errno));
    return false;
}

} // namespace hy
