#pragma once

#include "core/settings/settingkeys.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QTime>
#include <functional>

namespace hy {

// Every choice the program keeps in its settings file, of all sections, as
// the key table reads them. The window's controls show and edit these values;
// the program's pieces read them here and hear of every change.
class SettingsStore final : public QObject
{
    Q_OBJECT
public:
    explicit SettingsStore(QObject* parent = nullptr);

    // The value of a key of any section (its default until set); empty for a
    // name that is no key.
    QString value(const QString& key) const;
    bool flag(const QString& key) const;
    int number(const QString& key) const; // Percent keys
    QTime time(const QString& key) const; // Time and HourMinute keys

    // Takes `value` as the key's kind reads it. False, and nothing changes,
    // for a name that is no key or a value its kind cannot read. changed() is
    // emitted when the value really changes, before this returns.
    bool set(const QString& key, const QString& value);
    void setFlag(const QString& key, bool on);

    // Runs `react` whenever `key` changes, for as long as `context` lives.
    void watch(const QString& key, const QObject* context, std::function<void()> react) const;

    // Whether the settings file holds the section, or will after the next save.
    bool sectionInFile(const QString& section) const { return m_inFile.contains(section); }
    void setSectionInFile(const QString& section) { m_inFile.insert(section); }

signals:
    void changed(const QString& key);

private:
    QHash<QString, QString> m_values; // by the key's name as the table spells it
    QSet<QString> m_inFile;
};

} // namespace hy
