#pragma once

#include "core/speech/phrases.h"

namespace hy {

class ClipTable;
class ISoundPlayer;
class SharedSound;

// The phrase operations. They run on the announcer thread only and return
// when the phrase has been played.
class Speaker
{
public:
    Speaker(const ClipTable& clips, const SharedSound& userSound, ISoundPlayer& player);

    void SpeakTime(int hour, int minute);
    void SpeakSeconds(int n);
    void SpeakMinutes(int n);
    void PlayAlert(int n);

    // Plays the phrase of one announce request.
    void speak(int kind, int argument);

private:
    void play(const ClipSequence& sequence);

    const ClipTable& m_clips;
    const SharedSound& m_userSound;
    ISoundPlayer& m_player;
};

} // namespace hy
