#pragma once

#include "platform/speech/pulseapi.h"

struct pa_context;
struct pa_threaded_mainloop;

namespace hy {

// Locks a threaded main loop for the scope.
class LoopLock
{
public:
    explicit LoopLock(pa_threaded_mainloop* loop);
    ~LoopLock();
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

// A callback's user data that is the loop: wakes whoever waits for it.
void signalLoop(void* loop);

// A new connection of the loop that tells the sound server, and so the
// desktop's mixer, the program's name, id and icon. Its state changes wake
// whoever waits for the loop. Not connected yet.
pa_context* newProgramContext(pa_threaded_mainloop* loop);

// The sound server's volume for a level of the page (0..100 %), and back.
pa_volume_t programVolume(int percent);
int volumePercent(pa_volume_t volume);

// Ends a connection made by newProgramContext() and sets the pointer to null.
void dropContext(pa_context*& context);

} // namespace hy
