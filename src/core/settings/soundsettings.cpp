#include "core/settings/soundsettings.h"

#include "core/settings/settingsformat.h"
#include "core/speech/soundfile.h"
#include "core/speech/volume.h"

namespace hy {

namespace {

QTime storedTime(const std::optional<QString>& text, const QTime& fallback)
{
    if (!text)
        return fallback;
    const auto time = parseStartTime(*text);
    return time ? QTime(time->hour(), time->minute()) : fallback;
}

} // namespace

SoundSettings readSoundSettings(const ISettingsSection::Lookup& stored)
{
    SoundSettings s;
    if (const auto volume = stored(QStringLiteral("Volume")))
        s.volume = parseVolume(*volume);
    s.output = stored(QStringLiteral("Output")).value_or(QString()).trimmed();
    s.quiet.enabled = parseProfileInt(stored(QStringLiteral("IsQuiet")).value_or(QString())) != 0;
    s.quiet.from = storedTime(stored(QStringLiteral("QuietFrom")), s.quiet.from);
    s.quiet.to = storedTime(stored(QStringLiteral("QuietTo")), s.quiet.to);
    s.voiceFolder = trimControlChars(stored(QStringLiteral("VoiceFolder")).value_or(QString()));
    return s;
}

ISettingsSection::Values soundSettingsValues(const SoundSettings& s)
{
    const auto time = [](const QTime& t) { return t.toString(QStringLiteral("H:mm")); };
    return {
        {QStringLiteral("Volume"), QString::number(clampVolume(s.volume))},
        {QStringLiteral("Output"), s.output},
        {QStringLiteral("IsQuiet"), s.quiet.enabled ? QStringLiteral("1") : QStringLiteral("0")},
        {QStringLiteral("QuietFrom"), time(s.quiet.from)},
        {QStringLiteral("QuietTo"), time(s.quiet.to)},
        {QStringLiteral("VoiceFolder"), s.voiceFolder},
    };
}

} // namespace hy
