#pragma once

#include "core/remote/remotecommand.h"

#include <QString>

namespace hy {

// What handing a command to the running copy came to.
struct Forwarded
{
    bool reached = false; // a copy runs and took the command
    QString output;       // for stdout (the status line)
    QString problem;      // for stderr: why it was not carried out, or no answer
};

// Hands `command` (None: show the window) to the copy that runs, on the
// session bus or, with none, on the local socket.
Forwarded forwardCommand(RemoteCommand command);

// The local socket, and its lock file with ".lock" added, in the runtime
// directory ($XDG_RUNTIME_DIR, else a folder of the user's in /tmp).
QString localSocketPath();

} // namespace hy
