#pragma once

#include "core/announce.h"
#include "core/speech/cliptable.h"
#include "core/speech/sharedsound.h"
#include "core/speech/soundplayer.h"
#include "core/speech/voicepack.h"

#include <chrono>
#include <functional>
#include <memory>

namespace hy {

// Everything that speaks: the clip table, the user's alert sound, the player,
// the phrase operations and the announcer thread that runs them. Requests
// posted before start() or after stop() are dropped.
class SpeechOutput final : public IAnnounceSink
{
public:
    // How long stop() waits for the announcer thread: closing the window must
    // not hang on a sound server that has stopped answering.
    static constexpr std::chrono::milliseconds kStopPatience{500};

    SpeechOutput();
    ~SpeechOutput() override;

    SpeechOutput(const SpeechOutput&) = delete;
    SpeechOutput& operator=(const SpeechOutput&) = delete;

    // Filled before start(); read by the announcer thread from then on.
    ClipTable& clips();
    const ClipTable& clips() const;
    // The user's alert sound (UserAlertSound); may be replaced at any time.
    SharedSound& userSound();
    const SharedSound& userSound() const;

    // The user's voice pack; may be replaced at any time.
    SharedVoice& voice();
    // The volume and output device of the speech, kept across start() and
    // handed to the player; may be changed at any time.
    void setVolume(int percent);
    // A level the player was given from outside (the desktop's mixer, told
    // through the listener below): kept for a player started later, not sent
    // to this one, which has it.
    void keepVolume(int percent) { m_volume = percent; }
    void setOutput(const QString& device);
    // Set before start(): told on the announcer thread of a level set from
    // outside the program (the desktop's mixer).
    void setVolumeListener(std::function<void(int percent)> listener);

    // Starts the announcer thread, which plays through `player`.
    void start(std::unique_ptr<ISoundPlayer> player);
    bool isStarted() const;

    void post(int kind, int argument) override;

    // Cuts off the phrase in progress, ends the announcer thread and waits for
    // it, then empties the clip table. Nothing is spoken afterwards. A thread
    // stuck in the sound library past kStopPatience is let go with all it
    // reads, which stays alive until it ends.
    void stop();

private:
    struct State;
    // Shared with the announcer thread, which keeps it alive while it runs.
    std::shared_ptr<State> m_state;
    // Touched by the GUI thread only.
    int m_volume = 100;
    QString m_output;
    std::function<void(int)> m_volumeListener;
};

} // namespace hy
