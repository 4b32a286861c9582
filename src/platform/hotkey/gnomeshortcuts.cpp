#include "platform/hotkey/gnomeshortcuts.h"

#include "core/log.h"
#include "platform/hotkey/gnomekeybindings.h"
#include "platform/hotkey/portalhotkey.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QThread>

#include <memory>

namespace hy {
namespace {

// Owns the settings on the thread that uses them; made by the first call.
class Worker : public QObject
{
public:
    GnomeKeybindings& keybindings()
    {
        if (!m_keybindings)
            m_keybindings = std::make_unique<GnomeKeybindings>();
        return *m_keybindings;
    }

private:
    std::unique_ptr<GnomeKeybindings> m_keybindings;
};

// Asks `service` on the bus for a property; `done` gets the reply.
void askProperty(const QDBusConnection& bus, const QString& service, const QString& path,
                 const QString& interface, const QString& property, int timeoutMs, QObject* context,
                 std::function<void(const QDBusMessage&)> done)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << interface << property;
    QDBusConnection connection = bus;
    auto* watcher = new QDBusPendingCallWatcher(connection.asyncCall(call, timeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, done = std::move(done)] {
                         watcher->deleteLater();
                         done(watcher->reply());
                     });
}

} // namespace

bool isGnomeDesktop()
{
    const QStringList names = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'));
    return std::any_of(names.begin(), names.end(), [](const QString& name) {
        return name.compare(QLatin1String("GNOME"), Qt::CaseInsensitive) == 0;
    });
}

void askGnomeWithoutShortcutPortal(const QDBusConnection& bus, QObject* context,
                                   std::function<void(bool)> done)
{
    if (!isGnomeDesktop()) {
        QMetaObject::invokeMethod(
            context, [done = std::move(done)] { done(false); }, Qt::QueuedConnection);
        return;
    }
    // GNOME Shell before 48 has no portal backend for GlobalShortcuts: where
    // the portal lists them there, it took another desktop's backend as a
    // last resort (xdg-desktop-portal 1.16 takes KDE's when it is installed),
    // and no key bound through it ever arrives. From 48 on, the portal says.
    const auto askPortal = [bus, context, done](const QString& shell) {
        askProperty(bus, QLatin1String(PortalHotkey::kService), QLatin1String(PortalHotkey::kPath),
                    QLatin1String(PortalHotkey::kInterface), QStringLiteral("version"), 5000,
                    context, [shell, done](const QDBusMessage& reply) {
                        const bool portal = reply.type() == QDBusMessage::ReplyMessage;
                        qCInfo(lcHotkey, "GNOME Shell %s: the desktop portal %s GlobalShortcuts",
                               qPrintable(shell), portal ? "offers" : "has no");
                        done(!portal);
                    });
    };
    askProperty(bus, QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                QStringLiteral("org.gnome.Shell"), QStringLiteral("ShellVersion"), 2000, context,
                [askPortal, done](const QDBusMessage& reply) {
                    const QString shell =
                        reply.arguments().value(0).value<QDBusVariant>().variant().toString();
                    const int major = shell.section(QLatin1Char('.'), 0, 0).toInt();
                    if (major > 0 && major < 48) {
                        qCInfo(lcHotkey, "GNOME Shell %s: no desktop-wide keys through the portal",
                               qPrintable(shell));
                        done(true);
                    } else {
                        askPortal(shell.isEmpty() ? QStringLiteral("(version unknown)") : shell);
                    }
                });
}

GnomeShortcuts::GnomeShortcuts(QObject* parent)
    : DesktopShortcuts(parent)
{}

GnomeShortcuts::~GnomeShortcuts()
{
    if (m_thread) {
        m_thread->quit();
        m_thread->wait();
    }
}

void GnomeShortcuts::run(Job job, Done done)
{
    if (!m_thread) {
        m_thread = new QThread(this);
        m_thread->setObjectName(QStringLiteral("gnome-shortcuts"));
        m_worker = new Worker;
        m_worker->moveToThread(m_thread);
        connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread->start();
    }
    // The answer goes back as an event to this object: the destructor waits
    // for the thread, so this object is there to take it, and an answer not
    // yet delivered goes with the object.
    auto* worker = static_cast<Worker*>(m_worker);
    QMetaObject::invokeMethod(
        worker,
        [this, worker, job = std::move(job), done = std::move(done)] {
            const ShortcutAnswer answer = job(worker->keybindings());
            QMetaObject::invokeMethod(
                this, [done, answer] { done(answer); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void GnomeShortcuts::findOurs(Done done)
{
    run([](GnomeKeybindings& k) { return k.findOurs(); }, std::move(done));
}

void GnomeShortcuts::checkKey(int functionKey, Done done)
{
    run([functionKey](GnomeKeybindings& k) { return k.checkKey(functionKey); }, std::move(done));
}

void GnomeShortcuts::bind(int functionKey, const QString& program, Done done)
{
    run([functionKey, program](GnomeKeybindings& k) { return k.bind(functionKey, program); },
        std::move(done));
}

void GnomeShortcuts::remove(Done done)
{
    run([](GnomeKeybindings& k) { return k.remove(); }, std::move(done));
}

} // namespace hy
