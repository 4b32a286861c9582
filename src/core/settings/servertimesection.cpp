#include "core/settings/servertimesection.h"

#include "core/servertime/servertimekeeper.h"
#include "core/settings/settingsstore.h"

#include <QDateTime>

namespace hy {

namespace {

std::optional<qint64> strictInteger(const QString& text)
{
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(v) : std::nullopt;
}

} // namespace

ServerTimeChoice storedServerTime(const SettingsStore& s)
{
    ServerTimeChoice c;
    c.address = s.value(QStringLiteral("Address")).trimmed();
    c.follow = s.flag(QStringLiteral("FollowServer"));
    const auto offset = strictInteger(s.value(QStringLiteral("OffsetUs")));
    const auto plusMinus = strictInteger(s.value(QStringLiteral("UncertaintyUs")));
    const QDateTime at =
        QDateTime::fromString(s.value(QStringLiteral("MeasuredAt")).trimmed(), Qt::ISODateWithMs);
    if (offset && plusMinus && *plusMinus >= 0 && at.isValid())
        c.last = boundedOffset({*offset, *plusMinus, at.toMSecsSinceEpoch()});
    return c;
}

void storeServerTime(SettingsStore& s, const ServerTimeChoice& c)
{
    QString offset, plusMinus, at;
    if (c.last) {
        offset = QString::number(c.last->offsetUs);
        plusMinus = QString::number(c.last->uncertaintyUs);
        at = QDateTime::fromMSecsSinceEpoch(c.last->measuredAtMs, Qt::UTC)
                 .toString(Qt::ISODateWithMs);
    }
    // What was typed stays as it was typed, blanks and all.
    if (s.value(QStringLiteral("Address")).trimmed() != c.address)
        s.set(QStringLiteral("Address"), c.address);
    s.setFlag(QStringLiteral("FollowServer"), c.follow);
    s.set(QStringLiteral("OffsetUs"), offset);
    s.set(QStringLiteral("UncertaintyUs"), plusMinus);
    s.set(QStringLiteral("MeasuredAt"), at);
}

void bindServerTime(SettingsStore& settings, ServerTimeKeeper& keeper)
{
    keeper.restore(storedServerTime(settings));
    storeServerTime(settings, keeper.choice());
    settings.watch(QStringLiteral("Address"), &keeper, [&settings, &keeper] {
        keeper.setAddress(settings.value(QStringLiteral("Address")));
    });
    settings.watch(QStringLiteral("FollowServer"), &keeper, [&settings, &keeper] {
        keeper.setFollow(settings.flag(QStringLiteral("FollowServer")));
    });
    QObject::connect(&keeper, &ServerTimeKeeper::changed, &settings,
                     [&settings, &keeper] { storeServerTime(settings, keeper.choice()); });
}

} // namespace hy
