// The network module: what goes over the network, loaded when first wanted
// (core/network.h).

#include "core/network.h"
#include "core/servertime/sntpprobe.h"
#include "core/servertime/webdateprobe.h"
#include "net/download.h"
#include "net/localsocket.h"

namespace hy {
namespace {

class Network final : public INetwork
{
public:
    std::unique_ptr<QObject> download(const QUrl& url, const QByteArray& userAgent,
                                      const DownloadLimits& limits,
                                      std::function<void(const QByteArray&)> done) override
    {
        return std::make_unique<Download>(url, userAgent, limits, std::move(done));
    }
    TimeProbe* sntpProbe(const NtpAddress& server, ProbeSetup setup) override
    {
        return new SntpProbe(server, std::move(setup));
    }
    TimeProbe* webDateProbe(const QUrl& url, ProbeSetup setup) override
    {
        return new WebDateProbe(url, std::move(setup));
    }
    LocalClaim serveLocal(const QString& path, const LocalSocketLimits& limits,
                          LocalLineHandler handler) override
    {
        return serveLocalSocket(path, limits, std::move(handler));
    }
    std::optional<QString> askLocal(const QString& path, const QString& line, bool wait,
                                    int timeoutMs, QString* error) override
    {
        return askLocalSocket(path, line, wait, timeoutMs, error);
    }
};

} // namespace
} // namespace hy

extern "C" Q_DECL_EXPORT hy::INetwork* hytune_network()
{
    static hy::Network network;
    return &network;
}
