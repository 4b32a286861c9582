#include "core/speech/alertsound.h"

#include "core/inputerror.h"
#include "core/settings/settingsstore.h"
#include "core/speech/sharedsound.h"
#include "core/speech/soundfile.h"

namespace hy {

AlertSound::AlertSound(SettingsStore& settings, SharedSound& sound, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_sound(sound)
{
    settings.watch(QStringLiteral("LastWaveFile"), this, [this] {
        const QString stored = m_settings.value(QStringLiteral("LastWaveFile"));
        if (stored == m_path)
            return;
        LoadedSound sound;
        if (!stored.isEmpty())
            sound = readSoundFile(stored);
        take(sound.ok() ? stored : QString(), sound.data);
    });
}

void AlertSound::choose(const QString& path)
{
    const LoadedSound sound = readSoundFile(path);
    if (!sound.ok())
        throw InputError(sound.error); // the previous sound stays
    take(path, sound.data);
}

void AlertSound::take(const QString& path, const QByteArray& data)
{
    m_path = path;
    m_sound.replace(path.isEmpty() ? QByteArray() : data);
    m_settings.set(QStringLiteral("LastWaveFile"), path);
    emit changed();
}

} // namespace hy
