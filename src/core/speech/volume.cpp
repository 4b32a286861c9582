#include "core/speech/volume.h"

#include <algorithm>

namespace hy {

int clampVolume(int percent)
{
    return std::clamp(percent, kMinVolume, kMaxVolume);
}

double volumeGain(int percent)
{
    return clampVolume(percent) / double(kMaxVolume);
}

int parseVolume(const QString& text)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok)
        return kMaxVolume;
    return int(std::clamp<qlonglong>(value, kMinVolume, kMaxVolume));
}

} // namespace hy
