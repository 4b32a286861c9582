#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace hy {

// The user's alert sound read whole into memory, or why it could not be.
struct LoadedSound
{
    QByteArray data;
    QString error; // a sentence for the user; empty when the sound is usable
    bool ok() const { return error.isEmpty() && !data.isEmpty(); }
};

inline constexpr qint64 kMaxSoundFileBytes = 64 * 1024 * 1024;
// The most the sound output takes (PulseAudio's and PipeWire's limits).
inline constexpr int kMaxOutputChannels = 32;
inline constexpr int kMaxOutputRate = 384000;

// Whether a sound image will be heard: it decodes to samples, in a channel
// count and rate that the sound output takes.
bool isAudible(QByteArrayView image);

// Reads a sound file for the last-second alert. It must be a regular,
// readable file of at most 64 MiB holding sound that will be heard.
LoadedSound readSoundFile(const QString& path);

// A stored path without the blanks and control characters around it.
QString trimControlChars(const QString& path);

} // namespace hy
