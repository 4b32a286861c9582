#pragma once

#include "core/servertime/serverclock.h"
#include "core/timer.h"

#include <QObject>
#include <QPointer>

namespace hy {

// Checks the local clock against a server (a 对时) when asked, and every ten
// minutes while the clock follows the server; keeps the last good offset in
// the clock. A failed check changes nothing but the message. All network work
// is asynchronous.
class ServerTimeKeeper final : public QObject
{
    Q_OBJECT
public:
    static constexpr int RecheckMs = 10 * 60 * 1000;

    // `makeTimer` gives the re-check timer, named "tmrServerTime", and the
    // one that fires when the offset turns an hour old, "tmrServerTimeExpiry".
    ServerTimeKeeper(ServerClock& clock, const TimerFactory& makeTimer, QObject* parent = nullptr);
    ~ServerTimeKeeper() override;

    // The server as the user typed it; checks and re-checks go there.
    void setAddress(const QString& address) { m_address = address.trimmed(); }
    const QString& address() const { return m_address; }
    // Starts a check unless one runs. False, with the reason as the message,
    // when the address is no server address.
    bool check();
    bool checking() const { return m_probe != nullptr; }

    // Following the server; switched on with no fresh offset, it checks at
    // once.
    void setFollow(bool on);
    bool follows() const { return m_clock.follows(); }

    ServerTimeChoice choice() const { return {m_address, follows(), m_clock.lastOffset()}; }
    // Takes the stored choice (the settings at start); the re-check timer runs
    // from here when it follows, and a check starts at once when it follows
    // with no fresh offset.
    void restore(const ServerTimeChoice& choice);

    // What the page shows: the offset and its age, or why there is none, and
    // the outcome of the last check.
    QString resultText() const;
    const QString& lastError() const { return m_error; }
    // Per-request timeout, shorter in tests.
    void setRequestTimeout(int ms) { m_timeoutMs = ms; }

signals:
    // A check began or ended, or what the clock adds changed (an offset was
    // found, following was switched, the offset turned an hour old).
    void changed();

private:
    void finished(const CheckResult& result);
    void takeOffset(const std::optional<ServerOffset>& offset);
    void applyRecheckRule();

    ServerClock& m_clock;
    std::unique_ptr<ITimer> m_recheck;
    std::unique_ptr<ITimer> m_expiry; // when the offset turns an hour old
    QPointer<QObject> m_probe;
    QString m_address;
    QString m_error;
    int m_timeoutMs = RequestTimeoutMs;
};

} // namespace hy
