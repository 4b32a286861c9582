#include "shell/endings.h"

#include "core/log.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The signal handler only writes a byte here; the event loop reads it.
int g_signalPipe[2] = {-1, -1};
// The watcher of this run, for the exit handler; null once it is gone.
Endings* g_endings = nullptr;

extern "C" void onEndSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

Endings::Endings(std::function<void()> close, std::function<void()> save)
    : m_close(std::move(close))
    , m_save(std::move(save))
{
    g_endings = this;
    static const bool exitHandler = std::atexit(&Endings::atExit) == 0;
    Q_UNUSED(exitHandler);
    if (g_signalPipe[0] < 0 &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        qCWarning(hy::lcApp, "cannot watch for the end of the session; choices are saved on close");
    } else {
        m_notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &Endings::onSignal);
        struct sigaction action = {};
        action.sa_handler = onEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int sig : {SIGTERM, SIGINT, SIGHUP})
            sigaction(sig, &action, nullptr);
    }
    if (qGuiApp) {
        connect(qGuiApp, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { m_save(); });
    }
}

Endings::~Endings()
{
    g_endings = nullptr;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        std::signal(sig, SIG_DFL);
}

void Endings::onSignal()
{
    char bytes[16];
    [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], bytes, sizeof bytes);
    m_close();
}

void Endings::atExit()
{
    // Reached only when the program is ended from inside the event loop
    // (the window still exists); after a close the watcher is gone.
    if (g_endings)
        g_endings->m_save();
}
