#include "core/speech/speaker.h"

#include "core/announce.h"
#include "core/speech/cliptable.h"
#include "core/speech/sharedsound.h"
#include "core/speech/soundplayer.h"
#include "core/speech/voicepack.h"

namespace hy {

Speaker::Speaker(const ClipTable& clips, const SharedSound& userSound, ISoundPlayer& player,
                 const SharedVoice* voice)
    : m_clips(clips)
    , m_userSound(userSound)
    , m_player(player)
    , m_voice(voice)
{}

void Speaker::speak(int kind, int argument)
{
    play(phrases::forRequest(kind, argument));
}

void Speaker::play(const ClipSequence& sequence)
{
    if (sequence.empty())
        return;
    // Holds the user sound and the voice pack for the length of the phrase,
    // so a new choice made meanwhile cannot free the bytes in play.
    QByteArray userSound;
    const VoicePack::Clips voice = m_voice ? m_voice->snapshot() : VoicePack::Clips{};
    std::vector<QByteArrayView> images;
    images.reserve(sequence.size());
    for (int index : sequence) {
        QByteArrayView image;
        if (index == UserAlertSound) {
            userSound = m_userSound.snapshot();
            image = userSound;
        } else if (index >= 0 && index < int(voice.size()) && !voice[size_t(index)].isEmpty()) {
            image = voice[size_t(index)];
        } else {
            image = m_clips.clip(index);
        }
        // A missing clip is a silent word; the phrase goes on.
        if (!image.isEmpty())
            images.push_back(image);
    }
    if (!images.empty())
        m_player.play(images);
}

} // namespace hy
