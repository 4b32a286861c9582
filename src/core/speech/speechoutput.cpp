#include "core/speech/speechoutput.h"

#include "core/log.h"
#include "core/mythread.h"
#include "core/speech/speaker.h"

namespace hy {

// Declared in the order the pieces are needed, so they go in the reverse
// order: the announcer thread stops before the speaker, the player, the user
// sound and the clips that it reads.
struct SpeechOutput::State
{
    ClipTable clips;
    SharedSound userSound;
    SharedVoice voice;
    std::unique_ptr<ISoundPlayer> player;
    std::unique_ptr<Speaker> speaker;
    std::unique_ptr<TMyThread> announcer;
};

SpeechOutput::SpeechOutput()
    : m_state(std::make_shared<State>())
{}

SpeechOutput::~SpeechOutput()
{
    stop();
}

ClipTable& SpeechOutput::clips()
{
    return m_state->clips;
}

const ClipTable& SpeechOutput::clips() const
{
    return m_state->clips;
}

SharedSound& SpeechOutput::userSound()
{
    return m_state->userSound;
}

const SharedSound& SpeechOutput::userSound() const
{
    return m_state->userSound;
}

SharedVoice& SpeechOutput::voice()
{
    return m_state->voice;
}

void SpeechOutput::setVolume(int percent)
{
    m_volume = percent;
    if (m_state->player)
        m_state->player->setVolume(percent);
}

void SpeechOutput::setOutput(const QString& device)
{
    m_output = device;
    if (m_state->player)
        m_state->player->setOutput(device);
}

void SpeechOutput::setVolumeListener(std::function<void(int percent)> listener)
{
    m_volumeListener = std::move(listener);
}

void SpeechOutput::start(std::unique_ptr<ISoundPlayer> player)
{
    State& s = *m_state;
    if (s.announcer || !player)
        return;
    s.player = std::move(player);
    s.player->setVolume(m_volume);
    s.player->setOutput(m_output);
    s.player->setVolumeListener(m_volumeListener);
    s.speaker = std::make_unique<Speaker>(s.clips, s.userSound, *s.player, &s.voice);
    ISoundPlayer* p = s.player.get();
    s.announcer = std::make_unique<TMyThread>(
        [speaker = s.speaker.get()](int kind, int arg) { speaker->speak(kind, arg); },
        [p] { p->abort(); });
    s.announcer->Resume(m_state);
}

bool SpeechOutput::isStarted() const
{
    return m_state->announcer != nullptr;
}

void SpeechOutput::post(int kind, int argument)
{
    if (m_state->announcer)
        m_state->announcer->post(kind, argument);
}

void SpeechOutput::stop()
{
    if (m_state->announcer && !m_state->announcer->stop(kStopPatience)) {
        qCWarning(lcSound, "the sound server does not answer; the phrase in progress "
                           "is abandoned");
        // The thread keeps what it reads; this output starts afresh, silent.
        m_state = std::make_shared<State>();
        return;
    }
    m_state->clips.release();
}

} // namespace hy
