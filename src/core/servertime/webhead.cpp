#include "core/servertime/webhead.h"

#include "core/servertime/servertime.h"

#include <QSslSocket>
#include <QTimer>

#include <algorithm>

namespace hy {

namespace {

// Where the header block ends (the index just past its empty line), or -1
// while it is not all in. Lines end with CR LF, or LF alone.
qsizetype headerEnd(QByteArrayView bytes)
{
    const qsizetype crlf = bytes.indexOf("\r\n\r\n");
    const qsizetype lf = bytes.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf + 2 <= lf))
        return crlf + 4;
    return lf >= 0 ? lf + 2 : -1;
}

QByteArrayView trimmed(QByteArrayView v)
{
    while (!v.isEmpty() && (v.front() == ' ' || v.front() == '\t' || v.front() == '\r'))
        v = v.sliced(1);
    while (!v.isEmpty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r'))
        v.chop(1);
    return v;
}

bool isNamed(QByteArrayView name, const char* wanted)
{
    return name.compare(QByteArrayView(wanted), Qt::CaseInsensitive) == 0;
}

} // namespace

HeadAnswer parseHeadAnswer(QByteArrayView block)
{
    HeadAnswer answer;
    bool first = true;
    bool dateSeen = false;
    while (!block.isEmpty()) {
        const qsizetype nl = block.indexOf('\n');
        const QByteArrayView line = trimmed(nl < 0 ? block : block.first(nl));
        block = nl < 0 ? QByteArrayView() : block.sliced(nl + 1);
        if (first) {
            // "HTTP/1.1 200 OK": the version, a blank and three digits.
            first = false;
            const bool versioned = line.startsWith("HTTP/1.0 ") || line.startsWith("HTTP/1.1 ");
            if (!versioned || line.size() < 12 ||
                !std::all_of(line.begin() + 9, line.begin() + 12,
                             [](char c) { return c >= '0' && c <= '9'; }))
                return answer;
            answer.http = true;
            answer.keepAlive = line.startsWith("HTTP/1.1");
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArrayView name = trimmed(line.first(colon));
        const QByteArrayView value = trimmed(line.sliced(colon + 1));
        if (isNamed(name, "date") && !dateSeen) {
            answer.date = value.toByteArray();
            dateSeen = true;
        } else if (isNamed(name, "connection")) {
            const QByteArray lower = value.toByteArray().toLower();
            if (lower.contains("close"))
                answer.keepAlive = false;
            else if (lower.contains("keep-alive"))
                answer.keepAlive = true;
        }
    }
    return answer;
}

struct WebHeadClient::Link
{
    QTcpSocket* socket = nullptr; // deleted later, as it may be the one reporting
    QTimer* timer = nullptr;
    QByteArray buffer;
    Done done; // empty while the connection waits for a next request
    qint64 sentUs = 0;
    bool connected = false;
    bool reused = false; // the request went out on the connection of an earlier one
};

WebHeadClient::WebHeadClient(QUrl url, int timeoutMs, QObject* parent)
    : QObject(parent)
    , m_url(std::move(url))
    , m_timeoutMs(timeoutMs)
{}

WebHeadClient::~WebHeadClient()
{
    for (const auto& link : m_links) {
        link->socket->disconnect();
        link->timer->disconnect();
        link->socket->abort();
        delete link->timer;
        delete link->socket;
    }
}

void WebHeadClient::request(Done done)
{
    Link* link = nullptr;
    for (const auto& l : m_links) {
        if (!l->done && l->connected && l->socket->state() == QAbstractSocket::ConnectedState) {
            link = l.get();
            break;
        }
    }
    if (!link) {
        m_links.push_back(std::make_unique<Link>());
        link = m_links.back().get();
        link->timer = new QTimer;
        link->timer->setSingleShot(true);
        connect(link->timer, &QTimer::timeout, this, [this, link] {
            Reply reply;
            reply.timedOut = true;
            complete(*link, reply, false);
        });
    }
    link->done = std::move(done);
    link->buffer.clear();
    link->timer->start(m_timeoutMs);
    link->reused = link->connected;
    if (link->connected)
        send(*link);
    else
        open(*link);
}

void WebHeadClient::open(Link& link)
{
    const bool tls = m_url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    link.socket = tls ? new QSslSocket : new QTcpSocket;
    link.connected = false;
    // Qt buffers no more than one over the bound; the rest stays unread.
    link.socket->setReadBufferSize(MaxHeaderBytes + 1);
    Link* l = &link;
    if (tls)
        connect(static_cast<QSslSocket*>(link.socket), &QSslSocket::encrypted, this, [this, l] {
            l->connected = true;
            send(*l);
        });
    else
        connect(link.socket, &QTcpSocket::connected, this, [this, l] {
            l->connected = true;
            send(*l);
        });
    connect(link.socket, &QTcpSocket::readyRead, this, [this, l] { readAnswer(*l); });
    connect(link.socket, &QTcpSocket::errorOccurred, this, [this, l] { failed(*l); });
    const QString host = m_url.host();
    if (tls)
        static_cast<QSslSocket*>(link.socket)
            ->connectToHostEncrypted(host, quint16(m_url.port(443)));
    else
        link.socket->connectToHost(host, quint16(m_url.port(80)));
}

void WebHeadClient::send(Link& link)
{
    if (!link.done)
        return;
    QByteArray target =
        m_url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (!target.startsWith('/'))
        target.prepend('/');
    const QByteArray request =
        "HEAD " + target + " HTTP/1.1\r\nHost: " +
        m_url.adjusted(QUrl::RemoveUserInfo).authority(QUrl::FullyEncoded).toUtf8() +
        "\r\nUser-Agent: hytune/" HYTUNE_VERSION
        "\r\nAccept: */*\r\nCache-Control: no-cache\r\nConnection: keep-alive\r\n\r\n";
    link.sentUs = wallClockUs();
    link.socket->write(request);
}

void WebHeadClient::readAnswer(Link& link)
{
    const qint64 now = wallClockUs();
    if (!link.done) {
        // Bytes on a connection that answered already: not one to use again.
        drop(link);
        return;
    }
    link.buffer += link.socket->read(MaxHeaderBytes + 1 - link.buffer.size());
    const qsizetype end = headerEnd(link.buffer);
    if (end < 0 || end > MaxHeaderBytes) {
        if (link.buffer.size() > MaxHeaderBytes) {
            Reply reply;
            reply.error = QStringLiteral("服务器的回答头部超过 %1 KiB，不是正常的网页回答")
                              .arg(MaxHeaderBytes / 1024);
            complete(link, reply, false);
        }
        return;
    }
    const HeadAnswer answer = parseHeadAnswer(QByteArrayView(link.buffer).first(end));
    Reply reply;
    reply.sentUs = link.sentUs;
    reply.answeredUs = now;
    if (!answer.http)
        reply.error = QStringLiteral("服务器的回答不是网页回答");
    reply.date = answer.date;
    // An answer to HEAD has no body; anything after the headers means the
    // connection is out of step.
    const bool keep = answer.http && answer.keepAlive && end == link.buffer.size() &&
                      link.socket->bytesAvailable() == 0;
    complete(link, reply, keep);
}

void WebHeadClient::failed(Link& link)
{
    if (!link.done) {
        drop(link); // a connection kept open was closed meanwhile
        return;
    }
    const QAbstractSocket::SocketError error = link.socket->error();
    if (link.reused && link.buffer.isEmpty() && error == QAbstractSocket::RemoteHostClosedError) {
        // The server closed the connection it had kept open just as the
        // request went out: once more on a new one.
        link.socket->disconnect();
        link.socket->deleteLater();
        link.reused = false;
        open(link);
        return;
    }
    const QString host = m_url.host();
    Reply reply;
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        reply.error = QStringLiteral("找不到服务器 %1").arg(host);
        break;
    case QAbstractSocket::ConnectionRefusedError:
        reply.error = QStringLiteral("服务器 %1 拒绝连接").arg(host);
        break;
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        reply.error = QStringLiteral("与服务器 %1 建立安全连接失败").arg(host);
        break;
    case QAbstractSocket::RemoteHostClosedError:
        reply.error = link.buffer.isEmpty()
                          ? QStringLiteral("服务器 %1 没有回答就断开了连接").arg(host)
                          : QStringLiteral("服务器的回答不是网页回答");
        break;
    default:
        reply.error = QStringLiteral("无法连接服务器：%1").arg(link.socket->errorString());
        break;
    }
    complete(link, reply, false);
}

void WebHeadClient::complete(Link& link, Reply reply, bool keep)
{
    const Done done = std::move(link.done);
    link.done = {};
    link.timer->stop();
    link.buffer.clear();
    if (!keep)
        drop(link);
    // The last thing done here: `done` may send the next request, or end the
    // check and with it this client.
    if (done)
        done(reply);
}

void WebHeadClient::drop(Link& link)
{
    link.timer->disconnect();
    link.timer->deleteLater();
    if (link.socket) {
        link.socket->disconnect();
        link.socket->abort();
        link.socket->deleteLater();
    }
    const auto at = std::find_if(m_links.begin(), m_links.end(),
                                 [&](const auto& l) { return l.get() == &link; });
    if (at != m_links.end())
        m_links.erase(at);
}

} // namespace hy
