#include "core/speech/speechoutput.h"

namespace hy {

SpeechOutput::~SpeechOutput()
{
    stop();
}

void SpeechOutput::start(std::unique_ptr<ISoundPlayer> player)
{
    if (m_announcer || !player)
        return;
    m_player = std::move(player);
    m_speaker = std::make_unique<Speaker>(m_clips, m_userSound, *m_player);
    ISoundPlayer* p = m_player.get();
    m_announcer = std::make_unique<TMyThread>(
        [speaker = m_speaker.get()](int kind, int arg) { speaker->speak(kind, arg); },
        [p] { p->abort(); });
    m_announcer->Resume();
}

void SpeechOutput::post(int kind, int argument)
{
    if (m_announcer)
        m_announcer->post(kind, argument);
}

void SpeechOutput::stop()
{
    if (m_announcer)
        m_announcer->stop();
    m_clips.release();
}

} // namespace hy
