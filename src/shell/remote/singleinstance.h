#pragma once

#include "core/remote/remotecommand.h"

#include <QObject>
#include <QString>
#include <future>
#include <memory>
#include <optional>

class QLocalServer;
class QLockFile;

namespace hy {

class RemoteControl;

// One running copy per desktop session. The copy that runs owns the
// program's name on the session bus and serves its interface there; with no
// session bus it holds a lock file and a local socket in the runtime
// directory ($XDG_RUNTIME_DIR) instead. A later start hands its command to
// it (forwardCommand) and ends, before it reads or writes any settings.
class SingleInstance final : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(RemoteControl& remote, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Sets up the connection to the session bus on a thread of its own, so
    // that it goes on while the window is built; claim() waits for it.
    void prepare();
    // Becomes the running copy; false when another copy already is. The
    // interface is in place before the name is taken, so a command sent the
    // moment the name appears is not lost. Asks once; later calls give the
    // same answer.
    bool claim();

private:
    bool claimBus();
    bool claimSocket();
    void serveConnection();

    RemoteControl& m_remote;
    std::future<bool> m_connecting;
    std::optional<bool> m_claimed;
    bool m_onBus = false;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

// What handing a command to the running copy came to.
struct Forwarded
{
    bool reached = false; // a copy runs and took the command
    QString output;       // for stdout (the status line)
    QString problem;      // for stderr, when it did not answer
};

// Hands `command` (None: show the window) to the copy that runs.
Forwarded forwardCommand(RemoteCommand command);

// The local socket and lock file, in the runtime directory.
QString localSocketPath();

} // namespace hy
