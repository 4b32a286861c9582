#include "core/settings/servertimesection.h"

#include "core/settings/inifile.h"
#include "core/settings/settingsformat.h"

#include <QDateTime>

namespace hy {

namespace {

const QString Section = QString::fromLatin1(ServerTimeSection);

std::optional<qint64> strictInteger(const std::optional<QString>& text)
{
    bool ok = false;
    const qint64 v = text ? text->trimmed().toLongLong(&ok, 10) : 0;
    return ok ? std::optional<qint64>(v) : std::nullopt;
}

} // namespace

std::optional<ServerTimeChoice> readServerTime(const IniFile& ini)
{
    if (ini.keys(Section).isEmpty())
        return std::nullopt;
    ServerTimeChoice c;
    c.address = ini.value(Section, QStringLiteral("Address"), {}).trimmed();
    c.follow = parseProfileInt(ini.value(Section, QStringLiteral("FollowServer"), {})) != 0;
    const auto offset = strictInteger(ini.value(Section, QStringLiteral("OffsetUs")));
    const auto plusMinus = strictInteger(ini.value(Section, QStringLiteral("UncertaintyUs")));
    const QDateTime at = QDateTime::fromString(
        ini.value(Section, QStringLiteral("MeasuredAt"), {}).trimmed(), Qt::ISODateWithMs);
    if (offset && plusMinus && *plusMinus >= 0 && at.isValid())
        c.last = ServerOffset{*offset, *plusMinus, at.toMSecsSinceEpoch()};
    return c;
}

bool writeServerTime(IniFile& ini, const ServerTimeChoice& c)
{
    if (ini.keys(Section).isEmpty() && c == ServerTimeChoice{})
        return true;
    QString offset, plusMinus, at;
    if (c.last) {
        offset = QString::number(c.last->offsetUs);
        plusMinus = QString::number(c.last->uncertaintyUs);
        at = QDateTime::fromMSecsSinceEpoch(c.last->measuredAtMs, Qt::UTC)
                 .toString(Qt::ISODateWithMs);
    }
    QString address = c.address;
    if (address.contains(QLatin1Char('\n')) || address.contains(QLatin1Char('\r')))
        address.clear();
    return ini.set(Section, QStringLiteral("Address"), address) &&
           ini.set(Section, QStringLiteral("FollowServer"),
                   c.follow ? QStringLiteral("1") : QStringLiteral("0")) &&
           ini.set(Section, QStringLiteral("OffsetUs"), offset) &&
           ini.set(Section, QStringLiteral("UncertaintyUs"), plusMinus) &&
           ini.set(Section, QStringLiteral("MeasuredAt"), at);
}

} // namespace hy
