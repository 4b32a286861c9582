// The pieces of a desktop shell that the Wayland tests need beside KWin and
// the portal, on the session bus: a StatusNotifierWatcher (the tray host's
// registry), a notification server, and a sink for what KWin scripts report.
// Each event is one line in the log file given as the only argument:
//   item <service> <path>
//   notify <summary>|<body>
//   report <text>
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
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int)
    {
        record(QStringLiteral("notify %1|%2").arg(summary, body).replace('\n', ' '));
        return ++m_id;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }
    QString GetServerInformation(QString& vendor, QString& version, QString& spec)
    {
        vendor = QStringLiteral("hytune tests");
        version = QStringLiteral("1");
        spec = QStringLiteral("1.2");
        return QStringLiteral("desktophelper");
    }
    void CloseNotification(uint) {}

private:
    uint m_id = 0;
};

class Reports final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "example.heyinsoft.hytune.TestDesktop")
public:
    explicit Reports(QObject* parent)
        : QDBusAbstractAdaptor(parent)
    {}

public slots:
    void Report(const QString& text) { record(QStringLiteral("report ") + text); }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    QFile log(QString::fromLocal8Bit(argv[1]));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        return 1;
    g_log = &log;
    QDBusConnection bus = QDBusConnection::sessionBus();
    QObject watcher, notifications, reports;
    new Watcher(&watcher);
    new Notifications(&notifications);
    new Reports(&reports);
    const bool ok =
        bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                           QDBusConnection::ExportAdaptors) &&
        bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")) &&
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
