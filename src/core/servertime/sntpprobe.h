#pragma once

#include "core/servertime/servertime.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>
#include <vector>

namespace hy {

// NTP's 64-bit timestamps (seconds since 1900 and a binary fraction) to and
// from microseconds since 1970. Timestamps of the era that starts in 2036 are
// read as such.
quint64 toNtpTimestamp(qint64 unixUs);
qint64 fromNtpTimestamp(quint64 ntp);

// One SNTP exchange read from its packets: the client's request `sentUs` and
// the time the answer arrived, `receivedUs`, both on the local clock.
struct SntpSample
{
    qint64 offsetUs = 0; // server minus local
    qint64 delayUs = 0;  // the round trip less the server's own time
};
// The sample of `reply` to a request whose transmit timestamp was `sent`; the
// reason in words for the user when the packet is no proper server answer.
std::variant<SntpSample, QString> readSntpReply(const QByteArray& reply, quint64 sent,
                                                qint64 sentUs, qint64 receivedUs);

// Asks an SNTP server a few times, one request after the other, and takes the
// exchange with the shortest round trip. Each request may take
// RequestTimeoutMs; one that gets no answer ends the check with the samples
// already in, or fails it when there are none. An answer to an earlier
// request (late, or sent twice) is passed over. A closed port is told at once.
class SntpProbe final : public TimeProbe
{
public:
    static constexpr int Samples = 4;

    SntpProbe(NtpAddress server, ProbeSetup setup);
    ~SntpProbe() override;
    void start() override;

private:
    void sendRequest();
    void readReplies();
    void timedOut();
    void socketError();
    bool portRefused();
    bool staleReply(const QByteArray& reply) const;
    QString refusedText() const;
    void finish(const QString& error);

    NtpAddress m_server;
    QUdpSocket m_socket;
    QTimer m_timeout;
    quint64 m_sentStamp = 0;
    std::vector<quint64> m_stamps; // of every request sent
    qint64 m_sentUs = 0;
    std::optional<SntpSample> m_best;
    int m_answers = 0;
};

} // namespace hy
