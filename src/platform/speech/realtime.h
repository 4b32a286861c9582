#pragma once

#include <initializer_list>
#include <sys/types.h>

namespace hy {

// Asks for real-time scheduling of one thread of this process (round robin
// at a low priority, under the sound server's own threads), as sound
// programs do so that a busy machine does not keep their sound waiting:
// from the kernel where the process may set it itself, else from the
// desktop's RealtimeKit (rtkit, on the system bus). Quietly nothing where
// neither grants it; the answer goes to the log (hytune.sound, debug).
//
// Through rtkit it comes with the limit rtkit asks for (RLIMIT_RTTIME): a
// real-time thread that runs that long without once waiting is ended, so
// only threads that wait often may ask.
//
// Blocks for the round trip to rtkit: not for a thread that must be quick.
bool makeThreadRealtime(pid_t tid);

// makeThreadRealtime() for each of `tids` (0s skipped), on a thread of Qt's
// global pool: the caller does not wait.
void makeThreadsRealtimeLater(std::initializer_list<pid_t> tids);

} // namespace hy
