#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace hy {

// A desktop-wide Ctrl + function key (F1 to F12). Presses arrive as the
// pressed() signal on the GUI thread, whichever program is active.
class GlobalHotkey : public QObject
{
    Q_OBJECT
public:
    enum class Status
    {
        Idle,        // nothing registered
        Pending,     // asked for, not yet confirmed (the portal answers later)
        Registered,  // presses will arrive
        Taken,       // another program holds the combination
        Unavailable, // no way to grab a desktop-wide key on this desktop
    };
    Q_ENUM(Status)

    using QObject::QObject;

    // Releases any key held, then grabs Ctrl + F<functionKey> (1..12).
    virtual void registerKey(int functionKey) = 0;
    virtual void unregisterKey() = 0;
    Status status() const { return m_status; }
    // A short Chinese sentence for the user when the status is Taken or
    // Unavailable, or when the desktop bound another key than the one asked
    // for; empty otherwise.
    QString problem() const { return m_problem; }
    // The key that the desktop really bound, as it names it ("Ctrl+F6"):
    // the key that works. Empty when none does or the desktop did not say.
    QString boundKey() const { return m_boundKey; }
    // The key that starts and stops the countdown now, as the desktop names
    // it; empty while none does (or the desktop did not say which).
    QString workingKey() const { return m_status == Status::Registered ? m_boundKey : QString(); }

    // A free key the desktop would take instead of one it keeps for itself
    // (KDE), 1..12; 0 when there is none to suggest.
    int suggestedKey() const { return m_suggested; }

    // Where the key is a shortcut of the desktop's own settings that the
    // program adds only on the user's word (GNOME up to 47): whether the
    // program has none there yet and may offer to add one, whether it has
    // one, and adding it (or moving it) to the key asked for last, and
    // removing it. `done` gets an empty string, or why it did not happen in
    // a Chinese sentence; it runs later, never inside the call.
    using Done = std::function<void(const QString& problem)>;
    virtual bool offersDesktopShortcut() const { return false; }
    virtual bool holdsDesktopShortcut() const { return false; }
    virtual void bindDesktopShortcut(Done done);
    virtual void unbindDesktopShortcut(Done done);

signals:
    void pressed();
    void statusChanged(hy::GlobalHotkey::Status status);

protected:
    // Records the new state; statusChanged() is emitted when status, problem
    // text or bound key really change.
    void setState(Status status, const QString& problem = {}, const QString& boundKey = {},
                  int suggested = 0)
    {
        if (m_status == status && m_problem == problem && m_boundKey == boundKey &&
            m_suggested == suggested)
            return;
        m_status = status;
        m_problem = problem;
        m_boundKey = boundKey;
        m_suggested = suggested;
        emit statusChanged(status);
    }

private:
    int m_suggested = 0;
    Status m_status = Status::Idle;
    QString m_problem;
    QString m_boundKey;
};

// The backend for this session: X11 when the session is X11, the desktop
// portal's global shortcuts elsewhere, or one that reports Unavailable.
std::unique_ptr<GlobalHotkey> createGlobalHotkey(QObject* parent = nullptr);
// One that grabs nothing and stays Idle: for a start that turns out to hand
// its command to the copy that runs, and must not take that copy's key.
std::unique_ptr<GlobalHotkey> createIdleHotkey(QObject* parent = nullptr);

} // namespace hy
