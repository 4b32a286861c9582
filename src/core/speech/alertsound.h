#pragma once

#include <QObject>
#include <QString>

namespace hy {

class SettingsStore;
class SharedSound;

// The user's last-second alert sound: the file in LastWaveFile, read whole
// into the speech output's user sound. A stored file that is gone or cannot
// be played counts as no choice, and the built-in alert plays.
class AlertSound final : public QObject
{
    Q_OBJECT
public:
    AlertSound(SettingsStore& settings, SharedSound& sound, QObject* parent = nullptr);

    // The user chose `path`: throws InputError, keeping the sound in use,
    // when it cannot be played.
    void choose(const QString& path);
    // The file that plays; empty for the built-in alert.
    const QString& path() const { return m_path; }

signals:
    void changed();

private:
    void take(const QString& path, const QByteArray& data);

    SettingsStore& m_settings;
    SharedSound& m_sound;
    QString m_path;
};

} // namespace hy
