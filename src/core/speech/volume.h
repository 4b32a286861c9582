#pragma once

#include <QString>

namespace hy {

// The speech volume as the page's slider holds it, in percent of the clips'
// own level. 100 plays the samples as they are; 50 at half their amplitude.
inline constexpr int kMinVolume = 0;
inline constexpr int kMaxVolume = 100;

// A percentage brought into 0..100.
int clampVolume(int percent);

// The factor the samples' amplitude is multiplied by.
double volumeGain(int percent);

// A stored volume: a whole number, brought into 0..100; anything else reads
// as full volume.
int parseVolume(const QString& text);

} // namespace hy
