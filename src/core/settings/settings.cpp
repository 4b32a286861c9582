#include "core/settings/settings.h"

#include "core/settings/atomicfile.h"
#include "core/settings/inifile.h"
#include "core/settings/settingsstore.h"

#include "core/log.h"

#include <cerrno>
#include <cstring>
#include <exception>

namespace hy {

namespace {

// The file, when it holds the section Common with at least one key.
std::optional<IniFile> openSettings(const QString& path)
{
    IniFile ini;
    if (!ini.loadFile(path) || ini.keys(QString::fromLatin1(kCommonSection)).isEmpty())
        return std::nullopt;
    return ini;
}

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

bool holdsDefaults(const SettingsSection& section, const SettingsStore& store)
{
    for (const SettingKey& key : section.keys) {
        const QString def = QString::fromLatin1(key.defaultValue);
        if (store.value(QString::fromLatin1(key.name)) != normalizedValue(key, def).value_or(def))
            return false;
    }
    return true;
}

} // namespace

bool loadSettings(const QString& path, SettingsStore& store)
{
    const auto ini = openSettings(path);
    if (!ini)
        return false;
    for (const SettingsSection& section : settingsSections()) {
        const QString name = QString::fromLatin1(section.name);
        if (!ini->keys(name).isEmpty())
            store.setSectionInFile(name);
        for (const SettingKey& key : section.keys) {
            const QString keyName = QString::fromLatin1(key.name);
            try {
                store.set(keyName,
                          ini->value(name, keyName, QString::fromLatin1(key.defaultValue)));
            } catch (const std::exception&) {
                // What refused the value keeps what it had; the other
                // settings still count.
            }
        }
    }
    return true;
}

bool saveSettings(const QString& path, SettingsStore& store)
{
    auto ini = openSettings(path);
    if (!ini)
        return false;
    QStringList written;
    for (const SettingsSection& section : settingsSections()) {
        const QString name = QString::fromLatin1(section.name);
        if (section.addedWhenUsed && !store.sectionInFile(name) && holdsDefaults(section, store))
            continue;
        for (const SettingKey& key : section.keys) {
            const QString keyName = QString::fromLatin1(key.name);
            if (!storeValue(*ini, name, keyName, store.value(keyName), path))
                return false;
        }
        written << name;
    }
    // The text is changed in place, so that a large file is held once.
    if (!ini->changed() || writeFileAtomically(path, ini->serialize())) {
        for (const QString& name : written)
            store.setSectionInFile(name);
        return true;
    }
    const int reason = errno; // before anything else may set it
    qCWarning(lcSettings, "cannot write %s (%s); the choices of this run are not kept",
              qPrintable(path), std::strerror(reason));
    return false;
}

} // namespace hy
