#include "core/servertime/servertime.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace hy {

qint64 wallClockUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

qint64 earliestServerTimeUs()
{
    return qint64(HYTUNE_BUILD_EPOCH) * 1000000;
}

QString implausibleTimeText(qint64 unixUs)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(unixUs / 1000, Qt::UTC);
    return QStringLiteral("服务器给的时间（%1）不可信：早于本程序制作的时间或晚于 2100 年")
        .arg(when.isValid() ? when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss 'UTC'"))
                            : QStringLiteral("无效日期"));
}

ServerOffset boundedOffset(const ServerOffset& o)
{
    return {std::clamp(o.offsetUs, -MaxOffsetUs, MaxOffsetUs),
            std::clamp<qint64>(o.uncertaintyUs, 0, MaxUncertaintyUs), o.measuredAtMs};
}

void TimeProbe::reportOffset(qint64 offsetUs, qint64 uncertaintyUs)
{
    m_finished = true;
    m_done({ServerOffset{offsetUs, uncertaintyUs, QDateTime::currentMSecsSinceEpoch()}, {}});
}

void TimeProbe::reportError(const QString& error)
{
    m_finished = true;
    m_done({std::nullopt, error});
}

QString TimeProbe::timeoutText() const
{
    return QStringLiteral("服务器 %1 秒内没有回答").arg(m_timeoutMs / 1000.0);
}

ParsedAddress parseServerAddress(const QString& typed)
{
    const QString text = typed.trimmed();
    // What was typed, as a message quotes it: a long address cut short, so
    // that the message fits the page.
    constexpr qsizetype kQuoted = 40;
    const QString quoted =
        text.size() > kQuoted ? text.left(kQuoted - 1) + QStringLiteral("…") : text;
    if (text.isEmpty())
        return {std::nullopt, QStringLiteral("请先填写服务器地址，例如 ntp://ntp.example.com 或 "
                                             "https://www.example.com")};
    const bool hasScheme = text.contains(QLatin1String("://"));
    const QUrl url = QUrl::fromUserInput(hasScheme ? text : QStringLiteral("https://") + text);
    const QString scheme = hasScheme ? text.section(QLatin1String("://"), 0, 0).toLower() : "https";
    const QString bad = QStringLiteral("看不懂这个地址：%1").arg(quoted);
    if (scheme != QLatin1String("ntp") && scheme != QLatin1String("http") &&
        scheme != QLatin1String("https"))
        return {std::nullopt,
                QStringLiteral("地址应以 ntp://、http:// 或 https:// 开头：%1").arg(quoted)};
    if (!url.isValid() || url.host().isEmpty() || text.contains(QLatin1Char(' ')))
        return {std::nullopt, bad};
    if (scheme == QLatin1String("ntp")) {
        if (!url.path().isEmpty() && url.path() != QLatin1String("/"))
            return {std::nullopt, bad};
        const int port = url.port(123);
        if (port <= 0)
            return {std::nullopt, bad};
        return {NtpAddress{url.host(), quint16(port)}, {}};
    }
    return {url, {}};
}

QString offsetText(const ServerOffset& o)
{
    const qint64 hundredths = (std::llabs(o.offsetUs) + 5000) / 10000;
    const qint64 plusMinus = (o.uncertaintyUs + 9999) / 10000; // never claim more than we know
    const auto seconds = [](qint64 h) {
        return QStringLiteral("%1.%2").arg(h / 100).arg(h % 100, 2, 10, QLatin1Char('0'));
    };
    if (hundredths == 0)
        return QStringLiteral("本机时间与服务器相差不到 0.01 秒（±%1）").arg(seconds(plusMinus));
    // Server time minus local time: below zero, the local clock is ahead.
    return QStringLiteral("本机时间比服务器%1 %2 秒（±%3）")
        .arg(o.offsetUs < 0 ? QStringLiteral("快") : QStringLiteral("慢"), seconds(hundredths),
             seconds(plusMinus));
}

QString ageText(qint64 ageMs)
{
    const qint64 minutes = ageMs / 60000;
    if (minutes < 1)
        return QStringLiteral("刚刚对时");
    if (minutes < 60)
        return QStringLiteral("%1 分钟前对时").arg(minutes);
    return QStringLiteral("%1 小时前对时").arg(minutes / 60);
}

} // namespace hy
