#include "platform/hotkey/kdeshortcutkeys.h"

#include "core/hotkeyname.h"
#include "core/log.h"
#include "platform/hotkey/portalhotkey.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QKeyCombination>

#include <memory>
#include <optional>

namespace hy {
namespace {

// KGlobalShortcutInfo, as the daemon sends it (ssssssaiai): an action's
// unique and friendly names, its component's and its context's, then its
// keys and its default keys.
struct ShortcutInfo
{
    QString action, actionName, component, componentName, context, contextName;
    QList<int> keys, defaults;
};

// The infos of a reply a(ssssssaiai); nullopt for an error or another type.
std::optional<QList<ShortcutInfo>> shortcutInfos(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    const auto arg = reply.arguments().first().value<QDBusArgument>();
    if (arg.currentType() != QDBusArgument::ArrayType)
        return std::nullopt;
    QList<ShortcutInfo> infos;
    arg.beginArray();
    while (!arg.atEnd()) {
        ShortcutInfo i;
        arg.beginStructure();
        arg >> i.action >> i.actionName >> i.component >> i.componentName >> i.context >>
            i.contextName >> i.keys >> i.defaults;
        arg.endStructure();
        infos << i;
    }
    arg.endArray();
    return infos;
}

KdeKeyAnswer keysOf(const QDBusMessage& reply, const QString& shortcutId)
{
    const auto infos = shortcutInfos(reply);
    if (!infos)
        return KdeKeyAnswer::Unknown;
    KdeKeyAnswer answer = KdeKeyAnswer::Unknown;
    for (const ShortcutInfo& i : *infos) {
        if (i.action == shortcutId) {
            const bool any =
                std::any_of(i.keys.begin(), i.keys.end(), [](int k) { return k != 0; });
            answer = any ? KdeKeyAnswer::HasKey : KdeKeyAnswer::NoKey;
        }
    }
    return answer;
}

QString heldList(const KdeHeldKeys& keys)
{
    if (!keys.known)
        return QStringLiteral("unknown (no shortcut daemon)");
    QStringList held;
    for (auto k = keys.held.begin(); k != keys.held.end(); ++k)
        held << QStringLiteral("F%1 (%2)").arg(k.key()).arg(k.value());
    return held.isEmpty() ? QStringLiteral("none") : held.join(QLatin1String(", "));
}

QDBusPendingCall ask(const QDBusConnection& bus, const QString& path, const QString& interface,
                     const QString& method, const QVariantList& args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.kde.kglobalaccel"), path,
                                                       interface, method);
    call.setArguments(args);
    // Only a daemon that runs already: asking must not start KDE's on another desktop.
    call.setAutoStartService(false);
    QDBusConnection connection = bus;
    return connection.asyncCall(call, 2000);
}

} // namespace

void askKdeShortcutKeys(const QDBusConnection& bus, const QString& sessionToken,
                        const QString& shortcutId, QObject* context,
                        std::function<void(KdeKeyAnswer)> done)
{
    auto* watcher =
        new QDBusPendingCallWatcher(ask(bus, QStringLiteral("/component/") + sessionToken,
                                        QStringLiteral("org.kde.kglobalaccel.Component"),
                                        QStringLiteral("allShortcutInfos"), {}),
                                    context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, shortcutId, done = std::move(done)] {
                         watcher->deleteLater();
                         done(keysOf(watcher->reply(), shortcutId));
                     });
}

int KdeHeldKeys::nearestFree(int wanted) const
{
    return nearestFreeFunctionKey(wanted, held.keys());
}

void askKdeHeldCtrlFunctionKeys(const QDBusConnection& bus, QObject* context,
                                std::function<void(const KdeHeldKeys&)> done)
{
    // One question per key, all at once; the answer goes out with the last.
    struct Asking
    {
        KdeHeldKeys answer{true, {}};
        int pending = 12;
        std::function<void(const KdeHeldKeys&)> done;
    };
    auto asking = std::make_shared<Asking>();
    asking->done = std::move(done);
    for (int n = 1; n <= 12; ++n) {
        const int key =
            QKeyCombination(Qt::ControlModifier, Qt::Key(Qt::Key_F1 + n - 1)).toCombined();
        auto* watcher = new QDBusPendingCallWatcher(
            ask(bus, QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel"),
                QStringLiteral("getGlobalShortcutsByKey"), {key}),
            context);
        QObject::connect(
            watcher, &QDBusPendingCallWatcher::finished, context, [watcher, n, asking] {
                watcher->deleteLater();
                const auto infos = shortcutInfos(watcher->reply());
                if (!infos)
                    asking->answer.known = false;
                for (const ShortcutInfo& i : infos.value_or(QList<ShortcutInfo>())) {
                    // The program's own portal sessions leave the key free for it.
                    if (!i.component.startsWith(QLatin1String(PortalHotkey::kSessionTokenPrefix)))
                        asking->answer.held.insert(n, i.actionName);
                }
                if (--asking->pending > 0)
                    return;
                if (!asking->answer.known)
                    asking->answer.held.clear();
                qCInfo(lcHotkey, "KDE: Ctrl+F keys held by others: %s",
                       qPrintable(heldList(asking->answer)));
                asking->done(asking->answer);
            });
    }
}

} // namespace hy
