#include "platform/hotkey/kdeshortcutkeys.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

namespace hy {
namespace {

KdeKeyAnswer keysOf(const QDBusMessage& reply, const QString& shortcutId)
{
    KdeKeyAnswer answer = KdeKeyAnswer::Unknown;
    readKdeShortcutInfos(reply, [&](const KdeShortcutInfo& i) {
        if (i.action == shortcutId) {
            const bool any =
                std::any_of(i.keys.begin(), i.keys.end(), [](int k) { return k != 0; });
            answer = any ? KdeKeyAnswer::HasKey : KdeKeyAnswer::NoKey;
        }
    });
    return answer;
}

} // namespace

bool readKdeShortcutInfos(const QDBusMessage& reply,
                          const std::function<void(const KdeShortcutInfo&)>& take)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    const auto arg = reply.arguments().first().value<QDBusArgument>();
    if (arg.currentType() != QDBusArgument::ArrayType)
        return false;
    arg.beginArray();
    while (!arg.atEnd()) {
        KdeShortcutInfo i;
        arg.beginStructure();
        arg >> i.action >> i.actionName >> i.component >> i.componentName >> i.context >>
            i.contextName >> i.keys >> i.defaults;
        arg.endStructure();
        take(i);
    }
    arg.endArray();
    return true;
}

QDBusPendingCall callKdeShortcutDaemon(const QDBusConnection& bus, const QString& path,
                                       const QString& interface, const QString& method,
                                       const QVariantList& args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.kde.kglobalaccel"), path,
                                                       interface, method);
    call.setArguments(args);
    // Only a daemon that runs already: asking must not start KDE's on another desktop.
    call.setAutoStartService(false);
    QDBusConnection connection = bus;
    return connection.asyncCall(call, 2000);
}

void askKdeShortcutKeys(const QDBusConnection& bus, const QString& sessionToken,
                        const QString& shortcutId, QObject* context,
                        std::function<void(KdeKeyAnswer)> done)
{
    auto* watcher = new QDBusPendingCallWatcher(
        callKdeShortcutDaemon(bus, QStringLiteral("/component/") + sessionToken,
                              QStringLiteral("org.kde.kglobalaccel.Component"),
                              QStringLiteral("allShortcutInfos"), {}),
        context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, shortcutId, done = std::move(done)] {
                         watcher->deleteLater();
                         done(keysOf(watcher->reply(), shortcutId));
                     });
}

} // namespace hy
