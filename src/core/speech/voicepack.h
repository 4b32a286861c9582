#pragma once

#include "core/speech/cliptable.h"

#include <QByteArray>
#include <QFuture>
#include <QString>
#include <QStringList>
#include <array>
#include <mutex>

namespace hy {

// 语音包: the user's own recordings of some of the 23 clips, found in a folder
// as WAV0.wav .. WAV22.wav (any letter case, any format the decoder reads).
// Each clip found and playable replaces the built-in one; each one missing or
// unplayable leaves the built-in one.
//
// A clip is at most kMaxClipMs long (told by its header, so that a longer
// file is never read), and the clips of a pack together hold at most
// kMaxPackBytes, taken in the order of their names: whatever the folder
// holds, the pack costs little memory. A clip over either is not taken, and
// its sentence in `problems` says why.
struct VoicePack
{
    static constexpr int kMaxClipMs = 10000;
    static constexpr qint64 kMaxPackBytes = 6 * 1024 * 1024;
    using Clips = std::array<QByteArray, ClipTable::kClipCount>;

    Clips clips;          // empty where the built-in clip plays
    int taken = 0;        // clips that replace a built-in one
    QStringList problems; // one sentence per file that was there but is not used
    QString error;        // why the folder as a whole cannot be used; empty when it can
};

// Reads the clips of the folder. A missing or unreadable folder gives no clip
// and says why in `error`. Safe on any thread: it touches no GUI class and
// nothing shared.
VoicePack loadVoicePack(const QString& folder);

// loadVoicePack() on a thread of Qt's global pool, so that a folder on a slow
// disk never holds up the window. The future's continuation on the GUI thread
// takes the result, e.g.
//   loadVoicePackInBackground(folder).then(page, [page](VoicePack pack) { ... });
// (a continuation with a context object is dropped when that object is gone).
QFuture<VoicePack> loadVoicePackInBackground(const QString& folder);

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
