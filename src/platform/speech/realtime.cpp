#include "platform/speech/realtime.h"

#include "core/log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QThreadPool>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/resource.h>
#include <vector>

namespace hy {

namespace {

// Below PulseAudio's own (5) and PipeWire's.
constexpr int kPriority = 3;
constexpr int kBusTimeoutMs = 1000;

const char* const kService = "org.freedesktop.RealtimeKit1";
const char* const kPath = "/org/freedesktop/RealtimeKit1";

bool setItself(pid_t tid, int priority)
{
    sched_param param{};
    param.sched_priority = priority;
    return ::sched_setscheduler(tid, SCHED_RR | SCHED_RESET_ON_FORK, &param) == 0;
}

// A property of rtkit, or `fallback`.
qlonglong rtkitProperty(QDBusConnection& bus, const char* name, qlonglong fallback)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QString::fromLatin1(kService) << QString::fromLatin1(name);
    const QDBusMessage reply = bus.call(get, QDBus::Block, kBusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return fallback;
    bool ok = false;
    const qlonglong value =
        reply.arguments().first().value<QDBusVariant>().variant().toLongLong(&ok);
    return ok ? value : fallback;
}

bool askRtkit(pid_t tid)
{
    const QString name = QStringLiteral("hytune-rtkit");
    bool granted = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
        if (bus.isConnected()) {
            // rtkit grants only a thread whose process may not run real-time
            // without a pause for longer than rtkit allows.
            const qlonglong rttime = rtkitProperty(bus, "RTTimeUSecMax", 200000);
            rlimit limit{};
            if (::getrlimit(RLIMIT_RTTIME, &limit) == 0 && limit.rlim_max > rlim_t(rttime)) {
                limit.rlim_cur = limit.rlim_max = rlim_t(rttime);
                ::setrlimit(RLIMIT_RTTIME, &limit);
            }
            const int priority = int(std::min<qlonglong>(
                kPriority, rtkitProperty(bus, "MaxRealtimePriority", kPriority)));
            QDBusMessage call =
                QDBusMessage::createMethodCall(kService, kPath, QString::fromLatin1(kService),
                                               QStringLiteral("MakeThreadRealtime"));
            call << quint64(tid) << quint32(priority);
            const QDBusMessage reply = bus.call(call, QDBus::Block, kBusTimeoutMs);
            granted = reply.type() == QDBusMessage::ReplyMessage;
            if (!granted)
                qCDebug(lcSound, "rtkit gives no real-time scheduling: %s",
                        qPrintable(reply.errorMessage()));
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return granted;
}

} // namespace

bool makeThreadRealtime(pid_t tid)
{
    if (tid <= 0)
        return false;
    if (setItself(tid, kPriority)) {
        qCDebug(lcSound, "thread %d runs real-time (round robin, priority %d)", int(tid),
                kPriority);
        return true;
    }
    const int error = errno;
    const bool granted = askRtkit(tid);
    if (granted)
        qCDebug(lcSound, "thread %d runs real-time, granted by rtkit", int(tid));
    else
        qCDebug(lcSound, "thread %d keeps normal scheduling (%s)", int(tid), std::strerror(error));
    return granted;
}

void makeThreadsRealtimeLater(std::initializer_list<pid_t> tids)
{
    QThreadPool::globalInstance()->start([threads = std::vector<pid_t>(tids)] {
        for (const pid_t tid : threads) {
            if (tid > 0)
                makeThreadRealtime(tid);
        }
    });
}

} // namespace hy
