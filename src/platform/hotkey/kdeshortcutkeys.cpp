#include "platform/hotkey/kdeshortcutkeys.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

namespace hy {
namespace {

// allShortcutInfos: a(ssssssaiai), per action its unique and friendly names,
// its component's and its context's, then its keys and its default keys.
KdeKeyAnswer keysOf(const QDBusMessage& reply, const QString& shortcutId)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return KdeKeyAnswer::Unknown;
    const auto arg = reply.arguments().first().value<QDBusArgument>();
    if (arg.currentType() != QDBusArgument::ArrayType)
        return KdeKeyAnswer::Unknown;
    KdeKeyAnswer answer = KdeKeyAnswer::Unknown;
    arg.beginArray();
    while (!arg.atEnd()) {
        QString names[6];
        QList<int> keys, defaults;
        arg.beginStructure();
        for (QString& n : names)
            arg >> n;
        arg >> keys >> defaults;
        arg.endStructure();
        if (names[0] == shortcutId) {
            const bool any = std::any_of(keys.begin(), keys.end(), [](int k) { return k != 0; });
            answer = any ? KdeKeyAnswer::HasKey : KdeKeyAnswer::NoKey;
        }
    }
    arg.endArray();
    return answer;
}

} // namespace

void askKdeShortcutKeys(const QDBusConnection& bus, const QString& sessionToken,
                        const QString& shortcutId, QObject* context,
                        std::function<void(KdeKeyAnswer)> done)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/component/") + sessionToken,
        QStringLiteral("org.kde.kglobalaccel.Component"), QStringLiteral("allShortcutInfos"));
    // Only a daemon that runs already: asking must not start KDE's on another desktop.
    call.setAutoStartService(false);
    QDBusConnection connection = bus;
    auto* watcher = new QDBusPendingCallWatcher(connection.asyncCall(call, 2000), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, shortcutId, done = std::move(done)] {
                         watcher->deleteLater();
                         done(keysOf(watcher->reply(), shortcutId));
                     });
}

} // namespace hy
