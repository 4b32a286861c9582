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
// Samples within this of zero are silence: digital silence, and the last-bit
// noise that a converter leaves in it.
inline constexpr int kSilenceLevel = 1;

// Why a sound image would play nothing anyone hears, as a sentence for the
// user about `name`; empty when it will be heard. It must decode, read the
// way the player reads it, in a channel count and rate that the sound output
// takes, to at least one sample beyond kSilenceLevel. The one rule for the
// alert sound and the clips of a voice pack.
QString unheardReason(QByteArrayView image, const QString& name);
inline bool isAudible(QByteArrayView image)
{
    return unheardReason(image, QString()).isEmpty();
}

// What a sound file may be beyond the rule above.
struct SoundFileRules
{
    qint64 maxBytes = kMaxSoundFileBytes;
    // Longer sound is refused, known from the file's header without reading
    // the rest; 0: any length.
    int maxMs = 0;
    // The sentence for a file over maxMs: %1 the file, %2 its seconds.
    QString tooLong;
    // The sentence for a file over maxBytes: %1 the file, %2 its MiB.
    QString tooLarge = QStringLiteral("声音文件“%1”太大（%2 MiB），提示声音最大 64 MiB。");
};

// Reads a sound file, by default for the last-second alert. It must be a
// regular, readable file of at most rules.maxBytes holding sound that will be
// heard.
LoadedSound readSoundFile(const QString& path, const SoundFileRules& rules = {});

// A stored path without the blanks and control characters around it.
QString trimControlChars(const QString& path);

} // namespace hy
