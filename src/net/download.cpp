#include "net/download.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace hy {

Download::Download(const QUrl& url, const QByteArray& userAgent, const DownloadLimits& limits,
                   std::function<void(const QByteArray&)> done)
    : m_limits(limits)
    , m_done(std::move(done))
    , m_network(new QNetworkAccessManager(this))
    , m_deadline(new QTimer(this))
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);

    m_reply = m_network->get(request);
    // Qt's own buffer stays small; what is kept is bounded by maxBodyBytes.
    m_reply->setReadBufferSize(256 * 1024);
    connect(m_reply, &QNetworkReply::readyRead, this, &Download::takeBody);
    connect(m_reply, &QNetworkReply::finished, this, &Download::complete);

    // A server that accepts and then says nothing must not keep the caller
    // waiting for ever.
    m_deadline->setSingleShot(true);
    m_deadline->setTimerType(Qt::PreciseTimer);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        if (m_reply)
            m_reply->abort();
    });
    m_deadline->start(m_limits.timeoutMs);
}

Download::~Download()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void Download::takeBody()
{
    if (!m_reply)
        return;
    const qint64 room = m_limits.maxBodyBytes - m_body.size();
    if (room > 0)
        m_body.append(m_reply->read(std::min(room, m_reply->bytesAvailable())));
    if (m_body.size() >= m_limits.maxBodyBytes)
        m_reply->abort(); // the rest is not wanted; finished() follows
}

void Download::complete()
{
    if (!m_reply)
        return;
    QNetworkReply* reply = std::exchange(m_reply, nullptr);
    m_deadline->stop();
    const qint64 room = m_limits.maxBodyBytes - m_body.size();
    if (room > 0 && reply->isOpen())
        m_body.append(reply->read(std::min(room, reply->bytesAvailable())));
    reply->disconnect(this);
    reply->deleteLater();
    // The caller may delete this download from here.
    std::exchange(m_done, nullptr)(std::exchange(m_body, {}));
}

} // namespace hy
