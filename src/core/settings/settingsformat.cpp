#include "core/settings/settingsformat.h"

#include <QStringList>
#include <array>
#include <cstdint>

namespace hy {

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

int hexDigit(QChar c)
{
    if (isDigit(c))
        return c.unicode() - '0';
    if (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        return c.unicode() - 'a' + 10;
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
        return c.unicode() - 'A' + 10;
    return -1;
}

// One or two ASCII digits; -1 otherwise.
int smallField(QStringView field)
{
    if (field.isEmpty() || field.size() > 2)
        return -1;
    int value = 0;
    for (QChar c : field) {
        if (!isDigit(c))
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

enum class Meridiem
{
    None,
    Morning,
    Afternoon
};

} // namespace

int parseProfileInt(const QString& text)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    if (i + 1 < t.size() && t[i] == QLatin1Char('0') &&
        (t[i + 1] == QLatin1Char('x') || t[i + 1] == QLatin1Char('X'))) {
        i += 2;
        if (i == t.size())
            return 0;
        std::uint64_t value = 0;
        for (; i < t.size(); ++i) {
            const int d = hexDigit(t[i]);
            if (d < 0)
                return 0;
            value = value * 16 + static_cast<unsigned>(d);
            if (value > 0xFFFFFFFFu)
                return 0;
        }
        auto bits = static_cast<std::uint32_t>(value);
        if (negative)
            bits = 0u - bits;
        return static_cast<std::int32_t>(bits);
    }
    if (i == t.size())
        return 0;
    std::int64_t value = 0;
    for (; i < t.size(); ++i) {
        if (!isDigit(t[i]))
            return 0;
        value = value * 10 + (t[i].unicode() - '0');
        if (value > 2147483648LL)
            return 0;
    }
    if (negative)
        value = -value;
    if (value > 2147483647LL)
        return 0;
    return static_cast<int>(value);
}

std::optional<QTime> parseStartTime(const QString& text)
{
    struct Marker
    {
        QString text;
        Meridiem meridiem;
    };
    static const std::array<Marker, 4> markers = {{
        {QStringLiteral("AM"), Meridiem::Morning},
        {QStringLiteral("PM"), Meridiem::Afternoon},
        {QStringLiteral("上午"), Meridiem::Morning},
        {QStringLiteral("下午"), Meridiem::Afternoon},
    }};

    QString body = text.trimmed();
    Meridiem meridiem = Meridiem::None;
    for (const Marker& m : markers) {
        if (body.startsWith(m.text, Qt::CaseInsensitive)) {
            body = body.mid(m.text.size()).trimmed();
        } else if (body.endsWith(m.text, Qt::CaseInsensitive)) {
            body.chop(m.text.size());
            body = body.trimmed();
        } else {
            continue;
        }
        meridiem = m.meridiem;
        break;
    }

    const QStringList fields = body.split(QLatin1Char(':'));
    if (fields.size() < 2 || fields.size() > 3)
        return std::nullopt;
    int hour = smallField(fields[0]);
    const int minute = smallField(fields[1]);
    const int second = fields.size() == 3 ? smallField(fields[2]) : 0;
    if (hour < 0 || minute < 0 || second < 0 || minute > 59 || second > 59)
        return std::nullopt;
    if (meridiem == Meridiem::None) {
        if (hour > 23)
            return std::nullopt;
    } else {
        if (hour > 12)
            return std::nullopt;
        if (meridiem == Meridiem::Morning && hour == 12)
            hour = 0;
        else if (meridiem == Meridiem::Afternoon && hour < 12)
            hour += 12;
    }
    return QTime(hour, minute, second);
}

QString formatStartTime(const QTime& time)
{
    if (!time.isValid())
        return {};
    return QStringLiteral("%1:%2:%3")
        .arg(time.hour())
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.second(), 2, 10, QLatin1Char('0'));
}

} // namespace hy
