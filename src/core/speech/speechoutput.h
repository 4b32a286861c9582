#pragma once

#include "core/announce.h"
#include "core/mythread.h"
#include "core/speech/cliptable.h"
#include "core/speech/sharedsound.h"
#include "core/speech/soundplayer.h"
#include "core/speech/speaker.h"

#include <memory>

namespace hy {

// Everything that speaks: the clip table, the user's alert sound, the player,
// the phrase operations and the announcer thread that runs them. Requests
// posted before start() or after stop() are dropped.
//
// The members are declared in the order they are needed, so they go in the
// reverse order: the announcer thread stops and joins before the speaker,
// the player, the user sound and the clips that it reads.
class SpeechOutput final : public IAnnounceSink
{
public:
    SpeechOutput() = default;
    ~SpeechOutput() override;

    SpeechOutput(const SpeechOutput&) = delete;
    SpeechOutput& operator=(const SpeechOutput&) = delete;

    // Filled before start(); read by the announcer thread from then on.
    ClipTable& clips() { return m_clips; }
    const ClipTable& clips() const { return m_clips; }
    // The user's alert sound (UserAlertSound); may be replaced at any time.
    SharedSound& userSound() { return m_userSound; }
    const SharedSound& userSound() const { return m_userSound; }

    // Starts the announcer thread, which plays through `player`.
    void start(std::unique_ptr<ISoundPlayer> player);
    bool isStarted() const { return m_announcer != nullptr; }

    void post(int kind, int argument) override;

    // Cuts off the phrase in progress, ends the announcer thread and waits for
    // it, then empties the clip table. Nothing is spoken afterwards.
    void stop();

private:
    ClipTable m_clips;
    SharedSound m_userSound;
    std::unique_ptr<ISoundPlayer> m_player;
    std::unique_ptr<Speaker> m_speaker;
    std::unique_ptr<TMyThread> m_announcer;
};

} // namespace hy
