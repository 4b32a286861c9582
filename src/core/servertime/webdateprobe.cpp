#include "core/servertime/webdateprobe.h"

#include <QDateTime>
#include <QNetworkReply>
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

QString reasonOf(QNetworkReply& reply)
{
    switch (reply.error()) {
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("找不到服务器 %1").arg(reply.url().host());
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("服务器 %1 拒绝连接").arg(reply.url().host());
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("与服务器 %1 建立安全连接失败").arg(reply.url().host());
    case QNetworkReply::RemoteHostClosedError: // Qt closes on an answer it cannot read
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::ProtocolUnknownError:
        return QStringLiteral("服务器的回答不是网页回答");
    default:
        return QStringLiteral("无法连接服务器：%1").arg(reply.errorString());
    }
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
        const QRegularExpressionMatch m = form.match(value);
        if (!m.hasMatch())
            continue;
        if (!m.hasCaptured(QStringLiteral("s")))
            return QStringLiteral("服务器给的时间没有秒（%1），无法对时").arg(value);
        int year = m.captured(QStringLiteral("y")).toInt();
        if (year < 100) // RFC 850: the century that puts it nearest to now
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

WebDateProbe::WebDateProbe(QUrl url, CheckDone done, QObject* parent, int timeoutMs)
    : TimeProbe(std::move(done), timeoutMs, parent)
    , m_url(std::move(url))
{
    m_nam.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

WebDateProbe::~WebDateProbe()
{
    // Requests still on their way report to nobody.
    m_finished = true;
    for (QNetworkReply* reply : m_nam.findChildren<QNetworkReply*>())
        reply->disconnect(this);
}

void WebDateProbe::send()
{
    if (m_finished)
        return;
    QNetworkRequest request(m_url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setRawHeader("Cache-Control", "no-cache");
    ++m_sent;
    const qint64 t1 = wallClockUs();
    QNetworkReply* reply = m_nam.head(request);
    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, reply, [this, reply, t1] {
        answered(reply, t1, true);
        reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, t1, timer] {
        if (timer->isActive())
            answered(reply, t1, false);
    });
    timer->start(m_timeoutMs);
}

void WebDateProbe::answered(QNetworkReply* reply, qint64 t1, bool timedOut)
{
    const qint64 t4 = wallClockUs();
    reply->deleteLater();
    --m_waiting;
    if (m_finished)
        return;
    if (timedOut) {
        finish(timeoutText());
        return;
    }
    // Any answer with a status carries the server's Date, an error page too.
    if (!reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        finish(reasonOf(*reply));
        return;
    }
    const auto second = parseHttpDate(reply->rawHeader("Date"));
    if (const auto* error = std::get_if<QString>(&second)) {
        finish(*error);
        return;
    }
    m_bounds.add(t1, t4, std::get<qint64>(second));
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
