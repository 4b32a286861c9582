#include "core/countdown/length.h"

#include <QStringList>
#include <algorithm>
#include <array>

namespace hy {
namespace {

struct Part
{
    const char16_t* name;
    int max;
};
constexpr std::array<Part, 3> kParts{{{u"小时", 23}, {u"分钟", 59}, {u"秒", 59}}};

// Decimal ASCII digits only: QString::toInt would also take a sign, and
// QChar::isDigit other scripts' digits. Any number of leading zeros; a value
// above every range stops growing at kTooBig.
constexpr int kTooBig = 1000;
std::optional<int> digitsValue(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    int value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = std::min(value * 10 + (c.unicode() - u'0'), kTooBig);
    }
    return value;
}

std::optional<CountdownLength> refuse(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return std::nullopt;
}

} // namespace

QString CountdownLength::toString() const
{
    return QStringLiteral("%1:%2:%3").arg(hours).arg(minutes).arg(seconds);
}

std::optional<CountdownLength> parseLength(const QString& text, QString* error)
{
    const QStringList parts = text.split(u':');
    if (parts.size() != 3)
        return refuse(error, QStringLiteral("倒计时长度“%1”应写成 时:分:秒，例如 0:5:0").arg(text));
    std::array<int, 3> values{};
    for (size_t i = 0; i < kParts.size(); ++i) {
        const QString part = parts.at(static_cast<qsizetype>(i)).trimmed();
        const std::optional<int> value = digitsValue(part);
        if (!value || *value > kParts[i].max)
            return refuse(error, QStringLiteral("倒计时长度“%1”中的%2应为 0 到 %3 的整数")
                                     .arg(text, QString::fromUtf16(kParts[i].name))
                                     .arg(kParts[i].max));
        values[i] = *value;
    }
    const CountdownLength length{values[0], values[1], values[2]};
    if (length.totalSeconds() == 0)
        return refuse(error, QStringLiteral("倒计时长度“%1”为零，不能是 0:0:0").arg(text));
    return length;
}

} // namespace hy
