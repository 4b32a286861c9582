// The pieces of a desktop shell that the Wayland tests need beside KWin and
// the portal, on the session bus: a StatusNotifierWatcher (the tray host's
// registry), a notification server that shows buttons, and a sink for what
// KWin scripts report; with --notifications-only (beside GNOME Shell, whose
// own tray stays) the notification server and the sink alone. Each event is
// one line in the log file given as the first argument:
//   item <service> <path>
//   notify <id> <summary>|<body>|<action keys, comma-separated>
//   report <text>
// A test plays the user choosing a notice's button through the sink's
// Invoke(id, key).
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QStringList>
#include <QVariantMap>

namespace {

QFile* g_log = nullptr;

void record(const QString& line)
{
    g_log->write(line.toUtf8() + '\n');
    g_log->flush();
}

} // namespace

class Watcher final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    // Qt looks for this one through introspection before it uses the watcher.
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    explicit Watcher(QObject* parent)
        : QDBusAbstractAdaptor(parent)
    {}
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return m_items; }

public slots:
    void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message)
    {
        // Either a bus name (the path is the standard one) or a path.
        const bool isPath = serviceOrPath.startsWith(QLatin1Char('/'));
        const QString service = isPath ? message.service() : serviceOrPath;
        const QString path = isPath ? serviceOrPath : QStringLiteral("/StatusNotifierItem");
        m_items << service + path;
        record(QStringLiteral("item %1 %2").arg(service, path));
        emit StatusNotifierItemRegistered(service + path);
    }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierItemUnregistered(const QString& item);
    void StatusNotifierHostRegistered();

private:
    QStringList m_items;
};

class Notifications final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit Notifications(QObject* parent)
        : QDBusAbstractAdaptor(parent)
    {}

public slots:
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int)
    {
        const uint id = replaces ? replaces : ++m_id;
        QStringList keys;
        for (qsizetype i = 0; i + 1 < actions.size(); i += 2)
            keys << actions.at(i);
        record(QStringLiteral("notify %1 %2|%3|%4")
                   .arg(id)
                   .arg(summary, body, keys.join(QLatin1Char(',')))
                   .replace('\n', ' '));
        return id;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("actions")}; }
    QString GetServerInformation(QString& vendor, QString& version, QString& spec)
    {
        vendor = QStringLiteral("hytune tests");
        version = QStringLiteral("1");
        spec = QStringLiteral("1.2");
        return QStringLiteral("desktophelper");
    }
    void CloseNotification(uint) {}

signals:
    void ActionInvoked(uint id, const QString& key);
    void NotificationClosed(uint id, uint reason);

private:
    uint m_id = 0;
};

class Reports final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "example.heyinsoft.hytune.TestDesktop")
public:
    Reports(QObject* parent, Notifications& notifications)
        : QDBusAbstractAdaptor(parent)
        , m_notifications(notifications)
    {}

public slots:
    void Report(const QString& text) { record(QStringLiteral("report ") + text); }
    void Invoke(uint id, const QString& key) { emit m_notifications.ActionInvoked(id, key); }

private:
    Notifications& m_notifications;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const bool all = !(argc > 2 && qstrcmp(argv[2], "--notifications-only") == 0);
    QFile log(QString::fromLocal8Bit(argv[1]));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        return 1;
    g_log = &log;
    QDBusConnection bus = QDBusConnection::sessionBus();
    QObject watcher, notifications, reports;
    new Watcher(&watcher);
    new Reports(&reports, *new Notifications(&notifications));
    const bool ok =
        (!all || (bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                     QDBusConnection::ExportAdaptors) &&
                  bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")))) &&
        bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                           QDBusConnection::ExportAdaptors) &&
        bus.registerService(QStringLiteral("org.freedesktop.Notifications")) &&
        bus.registerObject(QStringLiteral("/"), &reports, QDBusConnection::ExportAdaptors) &&
        bus.registerService(QStringLiteral("example.heyinsoft.hytune.TestDesktop"));
    if (!ok)
        return 1;
    record(QStringLiteral("ready"));
    return app.exec();
}

#include "desktophelper.moc"
