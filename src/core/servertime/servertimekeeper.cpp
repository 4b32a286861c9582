#include "core/servertime/servertimekeeper.h"

#include "core/network.h"

namespace hy {

ServerTimeKeeper::ServerTimeKeeper(ServerClock& clock, const TimerFactory& makeTimer,
                                   QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_recheck(makeTimer(this, QStringLiteral("tmrServerTime")))
    , m_expiry(makeTimer(this, QStringLiteral("tmrServerTimeExpiry")))
{
    // The moment the offset stops counting moves the clock too.
    m_expiry->onTimeout = [this] { emit changed(); };
    m_recheck->onTimeout = [this] {
        if (!checking())
            check();
    };
}

ServerTimeKeeper::~ServerTimeKeeper()
{
    // A check still on its way reports to nobody.
    delete m_probe.data();
}

bool ServerTimeKeeper::check()
{
    if (checking())
        return true;
    const ParsedAddress parsed = parseServerAddress(m_address);
    if (!parsed.address) {
        m_error = parsed.error;
        emit changed();
        return false;
    }
    INetwork* net = network();
    if (!net) {
        m_error = QStringLiteral("无法对时：程序的网络模块（libhytune-net.so）装不上，请重新安装");
        emit changed();
        return false;
    }
    m_error.clear();
    const auto done = [this](const CheckResult& r) { finished(r); };
    TimeProbe* probe = nullptr;
    if (const auto* ntp = std::get_if<NtpAddress>(&*parsed.address))
        probe = net->sntpProbe(*ntp, {done, this, m_timeoutMs});
    else
        probe = net->webDateProbe(std::get<QUrl>(*parsed.address), {done, this, m_timeoutMs});
    m_probe = probe;
    probe->start();
    emit changed();
    return true;
}

void ServerTimeKeeper::finished(const CheckResult& result)
{
    // The probe is still on the stack that reports.
    if (m_probe)
        m_probe->deleteLater();
    m_probe = nullptr;
    if (result.offset)
        takeOffset(result.offset);
    m_error = result.error;
    emit changed();
}

void ServerTimeKeeper::setFollow(bool on)
{
    if (on == follows())
        return;
    m_clock.setFollow(on);
    applyRecheckRule();
    if (on && !m_clock.freshOffset())
        check(); // with no address, says that one is needed
    emit changed();
}

void ServerTimeKeeper::restore(const ServerTimeChoice& choice)
{
    m_address = choice.address.trimmed();
    takeOffset(choice.last);
    m_clock.setFollow(choice.follow);
    applyRecheckRule();
    // Following with no offset to use: the first re-check is not waited for.
    if (follows() && !m_clock.freshOffset() && !m_address.isEmpty())
        check();
    emit changed();
}

void ServerTimeKeeper::takeOffset(const std::optional<ServerOffset>& offset)
{
    m_clock.setOffset(offset);
    m_expiry->stop();
    if (offset && m_clock.freshOffset())
        m_expiry->start(int(offset->measuredAtMs + OffsetLifetimeMs + 1 - m_clock.nowMs()), true);
}

void ServerTimeKeeper::applyRecheckRule()
{
    if (follows() && !m_recheck->isActive())
        m_recheck->start(RecheckMs);
    else if (!follows())
        m_recheck->stop();
}

QString ServerTimeKeeper::resultText() const
{
    QString text;
    if (const auto& last = m_clock.lastOffset()) {
        const qint64 age = m_clock.nowMs() - last->measuredAtMs;
        if (const auto fresh = m_clock.freshOffset())
            text = offsetText(*fresh) + QStringLiteral("，") + ageText(age);
        else
            text = QStringLiteral("上次对时已超过一小时，现按本机时间");
    } else {
        text = QStringLiteral("还没有对时");
    }
    if (checking())
        text += QStringLiteral("\n正在对时……");
    else if (!m_error.isEmpty())
        text += QStringLiteral("\n对时失败：") + m_error;
    return text;
}

} // namespace hy
