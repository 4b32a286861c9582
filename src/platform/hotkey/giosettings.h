#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace hy {

// GNOME's settings (GSettings, stored by dconf) through libgio, which is
// loaded the first time they are needed: linked, it would be loaded at every
// start on every desktop. Synchronous; one thread at a time may use an
// object (the program keeps it on a thread of its own). A schema that is not
// installed has no keys and no values.
//
// Values are QString for keys of type s and QStringList for type as; keys
// of other types read as an invalid QVariant and cannot be set.
class GioSettings
{
public:
    GioSettings();
    ~GioSettings();
    GioSettings(const GioSettings&) = delete;
    GioSettings& operator=(const GioSettings&) = delete;

    // Whether libgio could be loaded; if not, error() says why.
    bool isLoaded() const { return m_api != nullptr; }
    QString error() const { return m_error; }

    bool hasSchema(const QString& schema) const;
    // `path`: where a relocatable schema's keys are (ends in '/').
    QVariant value(const QString& schema, const QString& key, const QString& path = {}) const;
    QVariant defaultValue(const QString& schema, const QString& key,
                          const QString& path = {}) const;
    // Every key of type s or as with its value, read through one settings
    // object (each one made costs dconf a watch).
    QVariantMap values(const QString& schema, const QString& path = {}) const;
    // False when the key cannot take such a value or is locked.
    bool setValue(const QString& schema, const QString& key, const QVariant& value,
                  const QString& path = {});
    // Back to the default: dconf then holds nothing for the key.
    void reset(const QString& schema, const QString& key, const QString& path = {});
    // The schema's summary of the key, untranslated; empty if it has none.
    QString summary(const QString& schema, const QString& key) const;
    // Returns once every change made has reached the store.
    void sync();

private:
    struct Api;
    struct Opened;
    enum class Read
    {
        Value,
        Default
    };
    // `key` empty: any key of the schema.
    Opened open(const QString& schema, const QString& key, const QString& path) const;
    QVariant read(const QString& schema, const QString& key, const QString& path, Read which) const;

    std::unique_ptr<Api> m_api;
    QString m_error;
};

} // namespace hy
