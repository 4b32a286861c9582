#pragma once

#include "platform/hotkey/globalhotkey.h"

#include <QList>
#include <QString>

// A desktop-wide hotkey that exists only in memory. It records what it was
// asked to do; press() stands for the user pressing the held key, and
// setStatus() for what a real desktop might answer.
class FakeHotkey final : public hy::GlobalHotkey
{
    Q_OBJECT
public:
    using hy::GlobalHotkey::GlobalHotkey;

    // One line per call, in order: "register F3", "unregister".
    QStringList calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }
    // The function key held now (1..12), 0 when none.
    int heldKey() const { return m_key; }

    // What the next registerKey() ends in (Registered unless told otherwise);
    // problem is the text that goes with Taken or Unavailable.
    void setRegisterOutcome(Status status, const QString& problem = {})
    {
        m_outcome = status;
        m_outcomeProblem = problem;
    }

    // Changes the status now, as a desktop answering late would; boundKey is
    // the key the desktop says it bound.
    void setStatus(Status status, const QString& problem = {}, const QString& boundKey = {},
                   int suggested = 0)
    {
        setState(status, problem, boundKey, suggested);
    }

    // As GNOME's: the key can be a shortcut of the desktop's own settings,
    // which the program may add (`offers`) or has; what binding it is asked
    // for is recorded in calls().
    bool offers = false;
    bool offersDesktopShortcut() const override { return offers; }
    void bindDesktopShortcut(Done done) override
    {
        m_calls.append(QStringLiteral("bind desktop shortcut F%1").arg(m_key));
        offers = false;
        setStatus(Status::Registered, {}, QStringLiteral("Ctrl+F%1").arg(m_key));
        done({});
    }

    // The user presses Ctrl + the held key. Only a Registered key reaches the
    // program; returns whether pressed() was emitted.
    bool press()
    {
        if (status() != Status::Registered || m_key == 0)
            return false;
        emit pressed();
        return true;
    }

    void registerKey(int functionKey) override
    {
        m_calls.append(QStringLiteral("register F%1").arg(functionKey));
        if (functionKey < 1 || functionKey > 12)
            return; // as the real ones: a bad key changes nothing
        m_key = functionKey;
        setStatus(m_outcome, m_outcomeProblem);
    }
    void unregisterKey() override
    {
        m_calls.append(QStringLiteral("unregister"));
        m_key = 0;
        setStatus(Status::Idle);
    }

private:
    QStringList m_calls;
    int m_key = 0;
    Status m_outcome = Status::Registered;
    QString m_outcomeProblem;
};
