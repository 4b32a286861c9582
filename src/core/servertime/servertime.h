#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>
#include <variant>

namespace hy {

// Microseconds since 1970-01-01 UTC on this computer's clock.
qint64 wallClockUs();

// What a server's clock says against this computer's: `offsetUs` is server
// time minus local time (so a local clock that runs ahead gives a negative
// offset), good to +/- `uncertaintyUs`, measured at `measuredAtMs` (ms since
// 1970 on the local clock).
struct ServerOffset
{
    qint64 offsetUs = 0;
    qint64 uncertaintyUs = 0;
    qint64 measuredAtMs = 0;
    bool operator==(const ServerOffset&) const = default;
};

// A measured offset is used for an hour; after that the local time counts
// again until a check succeeds.
inline constexpr qint64 OffsetLifetimeMs = 60 * 60 * 1000;
inline bool offsetFresh(const ServerOffset& o, qint64 nowMs)
{
    return nowMs >= o.measuredAtMs && nowMs - o.measuredAtMs <= OffsetLifetimeMs;
}

// What the user chose and the last good offset, as the settings keep them.
struct ServerTimeChoice
{
    QString address;
    bool follow = false;
    std::optional<ServerOffset> last;
    bool operator==(const ServerTimeChoice&) const = default;
};

// The result of one check: an offset, or the reason in words for the user.
struct CheckResult
{
    std::optional<ServerOffset> offset;
    QString error;
};
using CheckDone = std::function<void(const CheckResult&)>;

// How long one request may take.
inline constexpr int RequestTimeoutMs = 5000;

// The span of server times a check believes, in microseconds since 1970: from
// the moment this program was built (a clock before it is surely wrong) to
// the start of 2100. A server outside it answers nonsense.
qint64 earliestServerTimeUs();
inline constexpr qint64 LatestServerTimeUs = 4102444800LL * 1000000; // 2100-01-01 00:00 UTC
inline bool plausibleServerTime(qint64 unixUs)
{
    return unixUs >= earliestServerTimeUs() && unixUs < LatestServerTimeUs;
}
// Why a server time outside that span is not taken, in words for the user.
QString implausibleTimeText(qint64 unixUs);

// The most +/- a check reports: a request's time and the Date's whole second.
inline constexpr qint64 MaxUncertaintyUs = (RequestTimeoutMs + 1000) * 1000LL;
// No two clocks between 1970 and 2100 are further apart.
inline constexpr qint64 MaxOffsetUs = LatestServerTimeUs;
// `o` brought within those limits, for an offset that comes from elsewhere
// than a check (a hand-edited settings file), so that nothing computed from
// it can overflow.
ServerOffset boundedOffset(const ServerOffset& o);

// One check against one server, each of its requests given `timeoutMs`. It
// reports once, through `done`.
// What every probe is given beside its server: where its one report goes,
// its parent, and the time each request may take.
struct ProbeSetup
{
    CheckDone done;
    QObject* parent = nullptr;
    int timeoutMs = RequestTimeoutMs;
};

class TimeProbe : public QObject
{
public:
    explicit TimeProbe(ProbeSetup setup)
        : QObject(setup.parent)
        , m_timeoutMs(setup.timeoutMs)
        , m_done(std::move(setup.done))
    {}
    virtual void start() = 0;

protected:
    // The one report: the offset found (server minus local, and its +/-),
    // measured now, or why there is none.
    void reportOffset(qint64 offsetUs, qint64 uncertaintyUs);
    void reportError(const QString& error);
    QString timeoutText() const;

    const int m_timeoutMs;
    // Set once it has reported or is going away: nothing more is done.
    bool m_finished = false;

private:
    CheckDone m_done;
};

// An SNTP server (ntp://host[:port]) or a web server whose Date header is read
// (http:// or https://).
struct NtpAddress
{
    QString host;
    quint16 port = 123;
};
using ServerAddress = std::variant<NtpAddress, QUrl>;

// The address as the user typed it; a text without a scheme is a web address
// (https://). The error, in words for the user, when it is none of these.
struct ParsedAddress
{
    std::optional<ServerAddress> address;
    QString error;
};
ParsedAddress parseServerAddress(const QString& text);

// "本机时间比服务器快 0.42 秒（±0.03）", or "慢", in hundredths of a second.
QString offsetText(const ServerOffset& o);
// How long ago a check succeeded: "刚刚对时", "12 分钟前对时", "2 小时前对时".
QString ageText(qint64 ageMs);

} // namespace hy
