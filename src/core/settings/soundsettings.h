#pragma once

#include "core/quiethours.h"
#include "core/settings/settings.h"

#include <QString>

namespace hy {

// The section of the page 声音与对时's sound settings.
inline constexpr char SoundSettingsSection[] = "Sound";

// The page's sound settings, as stored:
//   Volume=0..100, Output=<device name, empty for the default>,
//   IsQuiet=0|1, QuietFrom=H:mm, QuietTo=H:mm, VoiceFolder=<path, empty for the built-in voice>
// A missing key, or one that cannot be read, gives the default below.
struct SoundSettings
{
    int volume = 100;
    QString output;
    QuietHours quiet;
    QString voiceFolder;
    bool operator==(const SoundSettings&) const = default;
};

SoundSettings readSoundSettings(const ISettingsSection::Lookup& stored);
ISettingsSection::Values soundSettingsValues(const SoundSettings& settings);

} // namespace hy
