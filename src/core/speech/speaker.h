#pragma once

#include "core/speech/phrases.h"

namespace hy {

class ClipTable;
class ISoundPlayer;
class SharedSound;

// Plays the phrase of an announce request. Runs on the announcer thread only
// and returns when the phrase has been played.
class Speaker
{
public:
    Speaker(const ClipTable& clips, const SharedSound& userSound, ISoundPlayer& player);

    // Plays the phrase of one announce request.
    void speak(int kind, int argument);

private:
    void play(const ClipSequence& sequence);

    const ClipTable& m_clips;
    const SharedSound& m_userSound;
    ISoundPlayer& m_player;
};

} // namespace hy
