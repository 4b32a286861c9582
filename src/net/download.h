#pragma once

#include "core/network.h"

#include <QObject>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace hy {

// One GET, as INetwork::download() describes it.
class Download final : public QObject
{
public:
    Download(const QUrl& url, const QByteArray& userAgent, const DownloadLimits& limits,
             std::function<void(const QByteArray&)> done);
    ~Download() override;

private:
    void takeBody();
    void complete();

    DownloadLimits m_limits;
    std::function<void(const QByteArray&)> m_done;
    QNetworkAccessManager* m_network = nullptr;
    QNetworkReply* m_reply = nullptr;
    QTimer* m_deadline = nullptr;
    QByteArray m_body;
};

} // namespace hy
