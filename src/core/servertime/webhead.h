#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <vector>

class QTcpSocket;
class QTimer;

namespace hy {

// The status line and the Date header of a web server's answer, read from
// its header block (everything up to the empty line).
struct HeadAnswer
{
    bool http = false;      // the block starts with an HTTP/1.x status line
    bool keepAlive = false; // the connection may carry another request
    QByteArray date;        // empty when the answer has none
};
HeadAnswer parseHeadAnswer(QByteArrayView block);

// HEAD requests to one web server (http:// or https://), as many on their way
// at once as asked for, each on a connection of its own: one left open by an
// earlier answer, or a new one. Of an answer only the headers are read, and at
// most MaxHeaderBytes of them: no real server sends more, and one that does
// is cut off there instead of being read on. Everything runs on the caller's
// event loop without ever waiting in it.
class WebHeadClient final : public QObject
{
public:
    static constexpr qsizetype MaxHeaderBytes = 64 * 1024;

    struct Reply
    {
        qint64 sentUs = 0;     // the request went out (local wall clock)
        qint64 answeredUs = 0; // its answer's headers were all in
        QByteArray date;       // the Date header; empty when the answer has none
        bool timedOut = false;
        QString error; // in words for the user; empty for an answer
    };
    using Done = std::function<void(const Reply&)>;

    // Each request gets `timeoutMs` from request() to its answer.
    WebHeadClient(QUrl url, int timeoutMs, QObject* parent = nullptr);
    // Requests still on their way report to nobody.
    ~WebHeadClient() override;

    // Sends one request; `done` is called once, later, from the event loop.
    void request(Done done);

private:
    struct Link;
    void open(Link& link);
    void send(Link& link);
    void readAnswer(Link& link);
    void failed(Link& link);
    void complete(Link& link, Reply reply, bool keep);
    void drop(Link& link);

    QUrl m_url;
    int m_timeoutMs;
    std::vector<std::unique_ptr<Link>> m_links;
};

} // namespace hy
