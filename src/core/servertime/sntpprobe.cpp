#include "core/servertime/sntpprobe.h"

#include <QNetworkDatagram>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>

namespace hy {

namespace {

constexpr qint64 NtpToUnixSeconds = 2208988800LL; // 1900-01-01 to 1970-01-01
constexpr int PacketSize = 48;
// A timestamp in the first day of an era (1900, or February 2036) is the
// counter of a server whose clock was never set, not a time: a server that
// has just booted counts up from zero. (The one real day this gives up is
// 2036-02-07.)
constexpr quint64 UnsetSeconds = 86400;

quint64 stampAt(const QByteArray& packet, int offset)
{
    return qFromBigEndian<quint64>(packet.constData() + offset);
}

} // namespace

quint64 toNtpTimestamp(qint64 unixUs)
{
    const qint64 seconds = unixUs / 1000000 + NtpToUnixSeconds;
    const qint64 micros = unixUs % 1000000;
    const quint64 fraction = (quint64(micros) << 32) / 1000000;
    return (quint64(quint32(seconds)) << 32) | fraction;
}

qint64 fromNtpTimestamp(quint64 ntp)
{
    qint64 seconds = qint64(ntp >> 32);
    // Era 0 ends in February 2036; small values after that belong to era 1.
    if (seconds < 0x80000000LL)
        seconds += 0x100000000LL;
    const qint64 micros = qint64(((ntp & 0xffffffffULL) * 1000000) >> 32);
    return (seconds - NtpToUnixSeconds) * 1000000 + micros;
}

std::variant<SntpSample, QString> readSntpReply(const QByteArray& reply, quint64 sent,
                                                qint64 sentUs, qint64 receivedUs)
{
    const QString nonsense = QStringLiteral("服务器的回答不是对时信息");
    if (reply.size() < PacketSize)
        return nonsense;
    const auto first = quint8(reply[0]);
    const int leap = first >> 6;
    const int version = (first >> 3) & 7;
    const int mode = first & 7;
    const int stratum = quint8(reply[1]);
    if (mode != 4 || version < 1 || version > 4 || stampAt(reply, 24) != sent)
        return nonsense;
    if (stratum == 0)
        return QStringLiteral("服务器拒绝对时（%1）")
            .arg(QString::fromLatin1(reply.mid(12, 4)).trimmed());
    if (leap == 3 || stratum > 15)
        return QStringLiteral("服务器自己的时钟没有同步，不能用来对时");
    const quint64 receive = stampAt(reply, 32);
    const quint64 transmit = stampAt(reply, 40);
    if ((receive >> 32) < UnsetSeconds || (transmit >> 32) < UnsetSeconds)
        return QStringLiteral("服务器的时钟还没有设置（时间戳为零），不能用来对时");
    const qint64 t2 = fromNtpTimestamp(receive);
    const qint64 t3 = fromNtpTimestamp(transmit);
    for (const qint64 t : {t2, t3}) {
        if (!plausibleServerTime(t))
            return implausibleTimeText(t);
    }
    if (t3 < t2 || t3 - t2 > qint64(RequestTimeoutMs) * 1000)
        return nonsense;
    SntpSample s;
    s.offsetUs = ((t2 - sentUs) + (t3 - receivedUs)) / 2;
    s.delayUs = std::max<qint64>(0, (receivedUs - sentUs) - (t3 - t2));
    return s;
}

SntpProbe::SntpProbe(NtpAddress server, ProbeSetup setup)
    : TimeProbe(std::move(setup))
    , m_server(std::move(server))
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(m_timeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, &SntpProbe::timedOut);
    connect(&m_socket, &QUdpSocket::connected, this, &SntpProbe::sendRequest);
    connect(&m_socket, &QUdpSocket::readyRead, this, &SntpProbe::readReplies);
    connect(&m_socket, &QUdpSocket::errorOccurred, this, &SntpProbe::socketError);
}

SntpProbe::~SntpProbe()
{
    // Nothing the socket says while it goes reaches the caller.
    m_finished = true;
    m_socket.disconnect(this);
}

void SntpProbe::start()
{
    // The first timeout covers the name look-up too.
    m_timeout.start();
    m_socket.connectToHost(m_server.host, m_server.port);
}

void SntpProbe::sendRequest()
{
    QByteArray packet(PacketSize, '\0');
    packet[0] = char((4 << 3) | 3); // no leap warning, version 4, client
    m_sentUs = wallClockUs();
    // The transmit timestamp comes back as the answer's originate timestamp,
    // which ties the answer to this request.
    m_sentStamp = toNtpTimestamp(m_sentUs);
    m_stamps.push_back(m_sentStamp);
    qToBigEndian(m_sentStamp, packet.data() + 40);
    m_timeout.start();
    if (m_socket.write(packet) != PacketSize)
        finish(QStringLiteral("无法向服务器发出对时请求：%1").arg(m_socket.errorString()));
}

bool SntpProbe::portRefused()
{
    // A connected UDP socket learns of a closed port (ICMP "port
    // unreachable") as the error of its next read. Qt's own look for a
    // datagram would swallow it, so it is looked for here first.
    char byte;
    const auto n = ::recv(int(m_socket.socketDescriptor()), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n < 0 && errno == ECONNREFUSED;
}

bool SntpProbe::staleReply(const QByteArray& reply) const
{
    // The answer to an earlier request of this check, come late or twice.
    if (reply.size() < PacketSize)
        return false;
    const quint64 originate = stampAt(reply, 24);
    return originate != m_sentStamp &&
           std::find(m_stamps.begin(), m_stamps.end(), originate) != m_stamps.end();
}

void SntpProbe::readReplies()
{
    if (!m_finished && portRefused()) {
        finish(m_best ? QString() : refusedText());
        return;
    }
    while (!m_finished && m_socket.hasPendingDatagrams()) {
        const QByteArray reply = m_socket.receiveDatagram().data();
        const qint64 receivedUs = wallClockUs();
        if (staleReply(reply))
            continue;
        const auto read = readSntpReply(reply, m_sentStamp, m_sentUs, receivedUs);
        if (const auto* error = std::get_if<QString>(&read)) {
            finish(*error);
            return;
        }
        const SntpSample s = std::get<SntpSample>(read);
        if (!m_best || s.delayUs < m_best->delayUs)
            m_best = s;
        if (++m_answers == Samples)
            finish({});
        else
            sendRequest();
    }
}

void SntpProbe::timedOut()
{
    finish(m_best ? QString() : timeoutText());
}

void SntpProbe::socketError()
{
    if (m_socket.error() == QAbstractSocket::HostNotFoundError)
        finish(QStringLiteral("找不到服务器 %1").arg(m_server.host));
    else if (m_socket.error() == QAbstractSocket::ConnectionRefusedError)
        finish(refusedText());
    else
        finish(QStringLiteral("无法连接服务器：%1").arg(m_socket.errorString()));
}

QString SntpProbe::refusedText() const
{
    return QStringLiteral("服务器 %1 的对时端口没有开").arg(m_server.host);
}

void SntpProbe::finish(const QString& error)
{
    if (m_finished)
        return;
    m_finished = true;
    m_timeout.stop();
    m_socket.abort();
    if (error.isEmpty() && m_best)
        reportOffset(m_best->offsetUs, m_best->delayUs / 2);
    else
        reportError(error);
}

} // namespace hy
