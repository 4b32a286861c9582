#include "core/servertime/webdateprobe.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimer>

namespace hy {

namespace {

// Requests of a round after the first: with 20 in all, two rounds of 8 and,
// should a busy machine have sent some of them late, 3 for a third.
constexpr int PerRound = 8;
// Known to within this beyond the round trip, the check is done.
constexpr qint64 GoodEnoughUs = 16000;
// Planned requests leave at least this long from now.
constexpr qint64 LeadUs = 3000;

int monthNumber(const QString& name)
{
    static const QStringList months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return int(months.indexOf(name)) + 1;
}

} // namespace

std::variant<qint64, QString> parseHttpDate(const QByteArray& raw)
{
    const QString value = QString::fromLatin1(raw).simplified();
    if (value.isEmpty())
        return QStringLiteral("服务器的回答里没有时间（Date）");
    // IMF-fixdate, RFC 850 and asctime; the seconds are optional here only so
    // that a date without them gets its own message.
    static const QRegularExpression forms[] = {
        QRegularExpression(R"(^[A-Za-z]{3}, (?<d>\d{1,2}) (?<mon>[A-Za-z]{3}) (?<y>\d{4}) )"
                           R"((?<h>\d{2}):(?<m>\d{2})(:(?<s>\d{2}))? GMT$)"),
        QRegularExpression(R"(^[A-Za-z]+, (?<d>\d{2})-(?<mon>[A-Za-z]{3})-(?<y>\d{2}) )"
                           R"((?<h>\d{2}):(?<m>\d{2})(:(?<s>\d{2}))? GMT$)"),
        QRegularExpression(R"(^[A-Za-z]{3} (?<mon>[A-Za-z]{3}) (?<d>\d{1,2}) )"
                           R"((?<h>\d{2}):(?<m>\d{2})(:(?<s>\d{2}))? (?<y>\d{4})$)"),
    };
    for (const QRegularExpression& form : forms) {
        const bool twoDigitYear = &form == &forms[1];
        const QRegularExpressionMatch m = form.match(value);
        if (!m.hasMatch())
            continue;
        if (!m.hasCaptured(QStringLiteral("s")))
            return QStringLiteral("服务器给的时间没有秒（%1），无法对时").arg(value);
        int year = m.captured(QStringLiteral("y")).toInt();
        if (twoDigitYear) // RFC 850: the century that puts it nearest to now
            year += year < 70 ? 2000 : 1900;
        const QDate date(year, monthNumber(m.captured(QStringLiteral("mon"))),
                         m.captured(QStringLiteral("d")).toInt());
        const QTime time(m.captured(QStringLiteral("h")).toInt(),
                         m.captured(QStringLiteral("m")).toInt(),
                         m.captured(QStringLiteral("s")).toInt());
        if (!date.isValid() || !time.isValid())
            break;
        return QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
    }
    return QStringLiteral("服务器给的时间看不懂：%1").arg(value.left(60));
}

WebDateProbe::WebDateProbe(QUrl url, ProbeSetup setup)
    : TimeProbe(std::move(setup))
    , m_client(std::move(url), m_timeoutMs)
{}

WebDateProbe::~WebDateProbe()
{
    // Requests still on their way report to nobody.
    m_finished = true;
}

void WebDateProbe::send()
{
    if (m_finished)
        return;
    ++m_sent;
    m_client.request([this](const WebHeadClient::Reply& reply) { answered(reply); });
}

void WebDateProbe::answered(const WebHeadClient::Reply& reply)
{
    --m_waiting;
    if (m_finished)
        return;
    if (reply.timedOut) {
        finish(timeoutText());
        return;
    }
    // Any answer with a status carries the server's Date, an error page too.
    if (!reply.error.isEmpty()) {
        finish(reply.error);
        return;
    }
    const auto second = parseHttpDate(reply.date);
    if (const auto* error = std::get_if<QString>(&second)) {
        finish(*error);
        return;
    }
    const qint64 serverSecond = std::get<qint64>(second);
    if (!plausibleServerTime(serverSecond * 1000000)) {
        finish(implausibleTimeText(serverSecond * 1000000));
        return;
    }
    const qint64 t1 = reply.sentUs;
    const qint64 t4 = reply.answeredUs;
    m_bounds.add(t1, t4, serverSecond);
    m_shortestTripUs = std::min(m_shortestTripUs, t4 - t1);
    if (!m_bounds.consistent()) {
        finish(QStringLiteral("服务器的时间前后不一致，无法对时"));
        return;
    }
    if (m_waiting <= 0)
        planRound();
}

void WebDateProbe::planRound()
{
    const int left = MaxRequests - m_sent;
    // Answers cannot pin the change of second closer than their round trip;
    // what is unknown beyond that is the excess.
    const qint64 width = m_bounds.widthUs();
    const qint64 excess = width - m_shortestTripUs;
    if (left <= 0 || excess <= GoodEnoughUs) {
        finish({});
        return;
    }
    int count = std::min(left, PerRound);
    qint64 spacing = width / (count + 1);
    // Not more than about five on their way at once.
    const qint64 closest = m_shortestTripUs / 5;
    if (spacing < closest) {
        spacing = closest;
        count = int(std::max<qint64>(1, width / spacing - 1));
    }
    // A round leaves about `spacing` of excess; one that would not halve it
    // (a long round trip) is not worth its second.
    if (2 * spacing > excess) {
        finish({});
        return;
    }
    // The server's second N begins at local time N - offset, somewhere in
    // [N - high, N - low]: the requests are spread over that stretch, each
    // aimed to reach the server halfway through its trip.
    const qint64 halfTrip = m_shortestTripUs / 2;
    const qint64 now = wallClockUs();
    const qint64 earliest = now + LeadUs + m_bounds.highUs - spacing + halfTrip;
    const qint64 second = (earliest + 999999) / 1000000;
    const qint64 firstSend = second * 1000000 - m_bounds.highUs + spacing - halfTrip;
    for (int i = 0; i < count; ++i) {
        const qint64 dueUs = firstSend + i * spacing;
        ++m_waiting;
        QTimer::singleShot(int(std::max<qint64>(0, (dueUs - wallClockUs()) / 1000)),
                           Qt::PreciseTimer, this, [this] { send(); });
    }
}

void WebDateProbe::finish(const QString& error)
{
    if (m_finished)
        return;
    if (error.isEmpty())
        reportOffset(m_bounds.lowUs + m_bounds.widthUs() / 2, (m_bounds.widthUs() + 1) / 2);
    else
        reportError(error);
}

} // namespace hy
