#include "core/settings/servertimesection.h"

#include "core/settings/settingsformat.h"

#include <QDateTime>

namespace hy {

namespace {

const QStringList Keys{QStringLiteral("Address"), QStringLiteral("FollowServer"),
                       QStringLiteral("OffsetUs"), QStringLiteral("UncertaintyUs"),
                       QStringLiteral("MeasuredAt")};

std::optional<qint64> strictInteger(const std::optional<QString>& text)
{
    bool ok = false;
    const qint64 v = text ? text->trimmed().toLongLong(&ok, 10) : 0;
    return ok ? std::optional<qint64>(v) : std::nullopt;
}

} // namespace

ServerTimeSettings::ServerTimeSettings(Restore restore, Current current)
    : m_restore(std::move(restore))
    , m_current(std::move(current))
{}

QString ServerTimeSettings::sectionName() const
{
    return QStringLiteral("ServerTime");
}

void ServerTimeSettings::restore(const Lookup& stored)
{
    m_inFile = std::any_of(Keys.begin(), Keys.end(), [&](const QString& k) { return stored(k); });
    if (!m_inFile)
        return;
    const auto text = [&](const QString& key) { return stored(key).value_or(QString()).trimmed(); };
    ServerTimeChoice c;
    c.address = text(QStringLiteral("Address"));
    c.follow = parseProfileInt(text(QStringLiteral("FollowServer"))) != 0;
    const auto offset = strictInteger(stored(QStringLiteral("OffsetUs")));
    const auto plusMinus = strictInteger(stored(QStringLiteral("UncertaintyUs")));
    const QDateTime at =
        QDateTime::fromString(text(QStringLiteral("MeasuredAt")), Qt::ISODateWithMs);
    if (offset && plusMinus && *plusMinus >= 0 && at.isValid())
        c.last = ServerOffset{*offset, *plusMinus, at.toMSecsSinceEpoch()};
    m_restore(c);
}

ISettingsSection::Values ServerTimeSettings::values() const
{
    const ServerTimeChoice c = m_current();
    if (!m_inFile && c == ServerTimeChoice{})
        return {};
    QString offset, plusMinus, at;
    if (c.last) {
        offset = QString::number(c.last->offsetUs);
        plusMinus = QString::number(c.last->uncertaintyUs);
        at = QDateTime::fromMSecsSinceEpoch(c.last->measuredAtMs, Qt::UTC)
                 .toString(Qt::ISODateWithMs);
    }
    const QStringList texts{c.address, c.follow ? QStringLiteral("1") : QStringLiteral("0"), offset,
                            plusMinus, at};
    m_inFile = true;
    Values out;
    for (int i = 0; i < Keys.size(); ++i)
        out.emplace_back(Keys[i], texts[i]);
    return out;
}

} // namespace hy
