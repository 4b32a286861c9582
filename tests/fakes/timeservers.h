#pragma once

// Time servers of the tests' own on the loopback, whose clocks run a known
// offset from this computer's: an SNTP server and a web server that puts its
// time in the Date header. Each can wait half of `delayMs` before it reads
// its clock and the other half before it answers (a round trip that long),
// or misbehave as a broken server does.

#include "core/servertime/servertime.h"

#include <QDateTime>
#include <QLocale>
#include <QNetworkDatagram>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <QtEndian>
#include <optional>

enum class Answer
{
    Proper,
    Silent,      // never answers
    Garbage,     // bytes of no protocol
    NoSeconds,   // web: a Date of hours and minutes only
    NoDate,      // web: no Date header
    Twice,       // ntp: every answer goes out twice
    Closed,      // ntp: nothing listens on the port (the system refuses)
    HugeHeaders, // web: 9 MB of headers before the Date
};

struct TimeServerSetup
{
    qint64 offsetUs = 0;
    int delayMs = 0;
    Answer answer = Answer::Proper;
    // ntp: the answer's receive and transmit timestamps as they go on the
    // wire, instead of the server's clock.
    std::optional<quint64> ntpStamps = std::nullopt;
    // web: the Date header as it stands, instead of the server's clock.
    QByteArray date = {};
};

inline qint64 serverClockUs(const TimeServerSetup& s)
{
    return hy::wallClockUs() + s.offsetUs;
}

// After `ms` (0: at once) on the current thread's event loop.
template <typename F>
void later(QObject* context, int ms, F f)
{
    if (ms <= 0)
        f();
    else
        QTimer::singleShot(ms, Qt::PreciseTimer, context, f);
}

class FakeSntpServer : public QObject
{
public:
    explicit FakeSntpServer(TimeServerSetup setup)
        : m_setup(setup)
    {
        m_socket.bind(QHostAddress::LocalHost, 0);
        m_port = m_socket.localPort();
        if (setup.answer == Answer::Closed)
            m_socket.close(); // a port just free: nobody will take it meanwhile
        connect(&m_socket, &QUdpSocket::readyRead, this, [this] {
            while (m_socket.hasPendingDatagrams())
                answer(m_socket.receiveDatagram());
        });
    }
    QString address() const { return QStringLiteral("ntp://127.0.0.1:%1").arg(m_port); }
    int requests = 0;

private:
    static quint64 ntpStamp(qint64 us)
    {
        const quint64 seconds = quint64(us / 1000000 + 2208988800LL);
        return (seconds << 32) | ((quint64(us % 1000000) << 32) / 1000000);
    }
    void answer(const QNetworkDatagram& request)
    {
        ++requests;
        if (m_setup.answer == Answer::Silent)
            return;
        const QByteArray query = request.data();
        const int half = m_setup.delayMs / 2;
        later(this, half, [this, request, query, half] {
            QByteArray reply(48, '\0');
            if (m_setup.answer == Answer::Garbage) {
                reply = QByteArray("HTTP/1.1 400 what?\r\n\r\n").leftJustified(48, 'x');
            } else {
                reply[0] = char((4 << 3) | 4); // version 4, server
                reply[1] = 2;                  // stratum
                reply.replace(24, 8, query.mid(40, 8));
                const quint64 received =
                    m_setup.ntpStamps.value_or(ntpStamp(serverClockUs(m_setup)));
                qToBigEndian(received, reply.data() + 32);
            }
            later(this, half, [this, request, reply] {
                QByteArray out = reply;
                if (m_setup.answer != Answer::Garbage)
                    qToBigEndian(m_setup.ntpStamps.value_or(ntpStamp(serverClockUs(m_setup))),
                                 out.data() + 40);
                for (int i = m_setup.answer == Answer::Twice ? 2 : 1; i > 0; --i)
                    m_socket.writeDatagram(request.makeReply(out));
            });
        });
    }

    TimeServerSetup m_setup;
    QUdpSocket m_socket;
    quint16 m_port = 0;
};

// HTTP/1.1 with keep-alive; every request gets an empty 200 answer.
class FakeWebServer : public QObject
{
public:
    explicit FakeWebServer(TimeServerSetup setup)
        : m_setup(setup)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, s, [this, s] { read(s); });
        });
    }
    QString address() const
    {
        return QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort());
    }
    int requests = 0;

private:
    void read(QTcpSocket* s)
    {
        QByteArray& buffer = m_buffers[s];
        buffer += s->readAll();
        for (qsizetype end; (end = buffer.indexOf("\r\n\r\n")) >= 0;) {
            buffer.remove(0, end + 4);
            ++requests;
            answer(s);
        }
    }
    void answer(QTcpSocket* socket)
    {
        if (m_setup.answer == Answer::Silent)
            return;
        QPointer<QTcpSocket> s(socket);
        const int half = m_setup.delayMs / 2;
        later(this, half, [this, s, half] {
            const QDateTime now =
                QDateTime::fromMSecsSinceEpoch(serverClockUs(m_setup) / 1000, Qt::UTC);
            const QString format = m_setup.answer == Answer::NoSeconds
                                       ? QStringLiteral("ddd, dd MMM yyyy hh:mm 'GMT'")
                                       : QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'");
            QByteArray reply = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n";
            if (m_setup.answer == Answer::HugeHeaders) {
                const QByteArray filler = "X-Filler: " + QByteArray(80, 'x') + "\r\n";
                reply += filler.repeated(9 * 1000 * 1000 / filler.size());
            }
            if (!m_setup.date.isEmpty())
                reply += "Date: " + m_setup.date + "\r\n";
            else if (m_setup.answer != Answer::NoDate)
                reply += "Date: " + QLocale::c().toString(now, format).toLatin1() + "\r\n";
            reply += "\r\n";
            if (m_setup.answer == Answer::Garbage)
                reply = "\x01\x02 no protocol at all\r\n\r\n";
            later(this, half, [s, reply, this] {
                if (!s)
                    return;
                s->write(reply);
            });
        });
    }

    TimeServerSetup m_setup;
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};
