#pragma once

#include "core/servertime/servertime.h"
#include "core/servertime/webhead.h"

#include <QByteArray>
#include <QObject>
#include <variant>

namespace hy {

// A web server's Date header (RFC 9110: IMF-fixdate, and the obsolete RFC 850
// and asctime forms) in seconds since 1970; the reason in words for the user
// when it is missing, has no seconds, or is no date.
std::variant<qint64, QString> parseHttpDate(const QByteArray& value);

// What the answers so far say of server time minus local time: every answer
// whose Date reads S, to a request sent at t1 and answered at t4 (local
// microseconds), was stamped at some moment in [t1, t4] while the server's
// clock read at least S and less than S + 1 s.
struct OffsetBounds
{
    qint64 lowUs = std::numeric_limits<qint64>::min();
    qint64 highUs = std::numeric_limits<qint64>::max();

    void add(qint64 t1, qint64 t4, qint64 serverSecond)
    {
        lowUs = std::max(lowUs, serverSecond * 1000000 - t4);
        highUs = std::min(highUs, (serverSecond + 1) * 1000000 - t1);
    }
    bool consistent() const { return lowUs <= highUs; }
    qint64 widthUs() const { return highUs - lowUs; }
};

// Finds a web server's clock from the Date of its answers, to about half a
// round trip although the Date has whole seconds: a first request tells the
// offset to a second; then requests are timed to fall just around the moments
// the server's second changes, spread over what is still unknown, so that
// each round cuts it down about ninefold, until what is left is little more
// than the round trip. At most MaxRequests requests, each given
// RequestTimeoutMs; one to two seconds on the whole, a round a second.
class WebDateProbe final : public TimeProbe
{
public:
    static constexpr int MaxRequests = 20;

    WebDateProbe(QUrl url, ProbeSetup setup);
    ~WebDateProbe() override;
    void start() override
    {
        m_waiting = 1;
        send();
    }

private:
    void send();
    void answered(const WebHeadClient::Reply& reply);
    void planRound();
    void finish(const QString& error);

    WebHeadClient m_client;
    OffsetBounds m_bounds;
    qint64 m_shortestTripUs = std::numeric_limits<qint64>::max();
    int m_sent = 0;
    int m_waiting = 0; // requests planned or on their way
};

} // namespace hy
