#include "core/settings/settingsstore.h"

namespace hy {

SettingsStore::SettingsStore(QObject* parent)
    : QObject(parent)
{
    for (const SettingsSection& section : settingsSections()) {
        for (const SettingKey& key : section.keys) {
            const QString def = QString::fromLatin1(key.defaultValue);
            m_values.insert(QString::fromLatin1(key.name), normalizedValue(key, def).value_or(def));
        }
    }
}

QString SettingsStore::value(const QString& key) const
{
    if (const auto it = m_values.constFind(key); it != m_values.constEnd())
        return *it;
    const SettingKey* k = findSettingKey(key);
    return k ? m_values.value(QString::fromLatin1(k->name)) : QString();
}

bool SettingsStore::flag(const QString& key) const
{
    return value(key) == QLatin1String("1");
}

int SettingsStore::number(const QString& key) const
{
    return value(key).toInt();
}

QTime SettingsStore::time(const QString& key) const
{
    const QString text = value(key);
    const QTime withSeconds = QTime::fromString(text, QStringLiteral("H:mm:ss"));
    return withSeconds.isValid() ? withSeconds : QTime::fromString(text, QStringLiteral("H:mm"));
}

bool SettingsStore::set(const QString& key, const QString& value)
{
    const SettingKey* k = findSettingKey(key);
    if (!k)
        return false;
    const auto normal = normalizedValue(*k, value);
    if (!normal)
        return false;
    const QString name = QString::fromLatin1(k->name);
    QString& held = m_values[name];
    if (held != *normal) {
        held = *normal;
        emit changed(name);
    }
    return true;
}

void SettingsStore::setFlag(const QString& key, bool on)
{
    set(key, on ? QStringLiteral("1") : QStringLiteral("0"));
}

void SettingsStore::watch(const QString& key, const QObject* context,
                          std::function<void()> react) const
{
    const SettingKey* k = findSettingKey(key);
    Q_ASSERT(k);
    const QString name = k ? QString::fromLatin1(k->name) : key;
    connect(this, &SettingsStore::changed, context,
            [name, react = std::move(react)](const QString& changed) {
                if (changed == name)
                    react();
            });
}

} // namespace hy
