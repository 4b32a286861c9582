#pragma once

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

namespace hy {

// Whether KDE's shortcut daemon (kglobalaccel) really gave a key to a
// shortcut that the desktop portal bound. KDE's portal names the key asked
// for even when KWin holds it itself (Ctrl+F1..F4, F7, F9, F10 switch
// desktops); the daemon then stores no key for the shortcut, and a press
// never arrives. The daemon keeps the portal's shortcuts in a component named
// after the session's handle token.
enum class KdeKeyAnswer
{
    HasKey,
    NoKey,
    Unknown, // no such daemon or component: not a KDE desktop, or another version
};

// Asks asynchronously; `done` runs on the GUI thread unless `context` is gone.
void askKdeShortcutKeys(const QDBusConnection& bus, const QString& sessionToken,
                        const QString& shortcutId, QObject* context,
                        std::function<void(KdeKeyAnswer)> done);

// KGlobalShortcutInfo, as the daemon sends it (ssssssaiai): an action's
// unique and friendly names, its component's and its context's, then its
// keys and its default keys (Qt's key codes).
struct KdeShortcutInfo
{
    QString action, actionName, component, componentName, context, contextName;
    QList<int> keys, defaults;
};

// Hands each info of a reply a(ssssssaiai) to `take`; false for an error
// or a reply of another type.
bool readKdeShortcutInfos(const QDBusMessage& reply,
                          const std::function<void(const KdeShortcutInfo&)>& take);

// Calls the daemon only if it runs already: asking must not start KDE's on
// another desktop. 2 s at most.
QDBusPendingCall callKdeShortcutDaemon(const QDBusConnection& bus, const QString& path,
                                       const QString& interface, const QString& method,
                                       const QVariantList& args);

} // namespace hy
