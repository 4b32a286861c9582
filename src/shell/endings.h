#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

// The ways a run can end without the window being closed, each turned into
// what a close does, so that no choice made during the run is lost:
// - SIGTERM (a desktop logout, systemd), SIGINT (Ctrl+C in a terminal) and
//   SIGHUP (the terminal gone) close the window, as the user would;
// - the session manager ending the session saves, as a close would;
// - an end the program cannot stop, such as the display going away (Qt ends
//   the program from inside the event loop), saves on the way out.
// A crash or SIGKILL saves nothing.
class Endings final : public QObject
{
    Q_OBJECT
public:
    Endings(std::function<void()> close, std::function<void()> save);
    ~Endings() override;

    Endings(const Endings&) = delete;
    Endings& operator=(const Endings&) = delete;

private:
    void onSignal();
    static void atExit();

    std::function<void()> m_close;
    std::function<void()> m_save;
    QSocketNotifier* m_notifier = nullptr;
};
