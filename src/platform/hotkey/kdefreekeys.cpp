#include "platform/hotkey/kdefreekeys.h"

#include "core/hotkeyname.h"
#include "core/log.h"
#include "platform/hotkey/kdeshortcutkeys.h"
#include "platform/hotkey/portalhotkey.h"

#include <QDBusPendingCallWatcher>
#include <QKeyCombination>

#include <memory>

namespace hy {
namespace {

QString heldList(const KdeHeldKeys& keys)
{
    if (!keys.known)
        return QStringLiteral("unknown (no shortcut daemon)");
    QStringList held;
    for (auto k = keys.held.begin(); k != keys.held.end(); ++k)
        held << QStringLiteral("F%1 (%2)").arg(k.key()).arg(k.value());
    return held.isEmpty() ? QStringLiteral("none") : held.join(QLatin1String(", "));
}

} // namespace

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
            callKdeShortcutDaemon(bus, QStringLiteral("/kglobalaccel"),
                                  QStringLiteral("org.kde.KGlobalAccel"),
                                  QStringLiteral("getGlobalShortcutsByKey"), {key}),
            context);
        QObject::connect(
            watcher, &QDBusPendingCallWatcher::finished, context, [watcher, n, asking] {
                watcher->deleteLater();
                const bool answered =
                    readKdeShortcutInfos(watcher->reply(), [&](const KdeShortcutInfo& i) {
                        // The program's own portal sessions leave the key free for it.
                        if (!i.component.startsWith(
                                QLatin1String(PortalHotkey::kSessionTokenPrefix)))
                            asking->answer.held.insert(n, i.actionName);
                    });
                if (!answered)
                    asking->answer.known = false;
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
