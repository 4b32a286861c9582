#pragma once

#include "core/speech/phrases.h"

namespace hy {

class ClipTable;
class ISoundPlayer;
class SharedSound;
class SharedVoice;

// Plays the phrase of an announce request. Runs on the announcer thread only
// and returns when the phrase has been played.
class Speaker
{
public:
    // A clip of `voice` (the user's voice pack), where it holds one, plays
    // instead of the built-in clip.
    Speaker(const ClipTable& clips, const SharedSound& userSound, ISoundPlayer& player,
            const SharedVoice* voice = nullptr);

    // Plays the phrase of one announce request.
    void speak(int kind, int argument);

private:
    void play(const ClipSequence& sequence);

    const ClipTable& m_clips;
    const SharedSound& m_userSound;
    ISoundPlayer& m_player;
    const SharedVoice* m_voice;
};

} // namespace hy
