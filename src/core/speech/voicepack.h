#pragma once

#include "core/speech/cliptable.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <mutex>

namespace hy {

// 语音包: the user's own recordings of some of the 23 clips, found in a folder
// as WAV0.wav .. WAV22.wav (any letter case, any format the decoder reads).
// Each clip found and playable replaces the built-in one; each one missing or
// unplayable leaves the built-in one.
struct VoicePack
{
    using Clips = std::array<QByteArray, ClipTable::kClipCount>;

    Clips clips;          // empty where the built-in clip plays
    int taken = 0;        // clips that replace a built-in one
    QStringList problems; // one sentence per file that was there but is not used
    QString error;        // why the folder as a whole cannot be used; empty when it can
};

// Reads the clips of the folder. A missing or unreadable folder gives no clip
// and says why in `error`.
VoicePack loadVoicePack(const QString& folder);

// The clips of the chosen voice pack, which the GUI thread may replace while
// the announcer thread speaks. A reader's snapshot keeps the bytes it holds
// alive for as long as it needs them.
class SharedVoice
{
public:
    VoicePack::Clips snapshot() const
    {
        std::lock_guard lock(m_mutex);
        return m_clips;
    }
    void replace(VoicePack::Clips clips)
    {
        std::lock_guard lock(m_mutex);
        m_clips.swap(clips);
    }
    void clear() { replace({}); }

private:
    mutable std::mutex m_mutex;
    VoicePack::Clips m_clips;
};

} // namespace hy
