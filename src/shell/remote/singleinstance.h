#pragma once

#include <QObject>
#include <functional>
#include <future>
#include <memory>
#include <optional>

class QLockFile;

namespace hy {

class RemoteControl;

// One running copy per desktop session: the serving side. The copy that runs
// owns the program's name on the session bus and serves its interface there;
// with no session bus it holds a lock file and a local socket in the runtime
// directory instead. A later start hands its command to it (remoteclient.h)
// and ends, before it reads or writes any settings.
class SingleInstance final : public QObject
{
    Q_OBJECT
public:
    // The most a command line may hold on the local socket.
    static constexpr qint64 kMaxLineBytes = 256;
    // A connection that has sent no whole line in this time is dropped; one
    // whose command was given gets kAnswerMs for its answer.
    static constexpr int kIdleMs = 2000;
    static constexpr int kAnswerMs = 30000;
    // Connections served at once; any more are closed as they come.
    static constexpr int kMaxConnections = 8;

    explicit SingleInstance(RemoteControl& remote, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Sets up the connection to the session bus on a thread of its own, so
    // that it goes on while the windows' fonts and texts are set up; claim()
    // waits for it.
    void prepare();
    // Becomes the running copy; false when another copy already is, or may
    // be (a socket that cannot be tried is never taken over). The interface
    // is in place before the name is taken, so a command sent the moment the
    // name appears is not lost. Asks once; later calls give the same answer.
    bool claim();

private:
    bool claimBus();
    bool claimSocket();
    // Carries out a command line from the local socket and answers it.
    void serveLine(const QString& line, std::function<void(const QByteArray&)> reply);

    RemoteControl& m_remote;
    std::future<bool> m_connecting;
    std::optional<bool> m_claimed;
    bool m_onBus = false;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QObject> m_server;
};

} // namespace hy
