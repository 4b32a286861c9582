#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

class QDBusArgument;
class QDBusError;

namespace hy {

// One entry of the GlobalShortcuts portal's shortcut lists, D-Bus type
// (sa{sv}): the id and its properties ("description", "preferred_trigger"
// when asked for, "trigger_description" when the desktop tells what it bound).
struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};
using PortalShortcuts = QList<PortalShortcut>;

QDBusArgument& operator<<(QDBusArgument& arg, const PortalShortcut& shortcut);
const QDBusArgument& operator>>(const QDBusArgument& arg, PortalShortcut& shortcut);
// Makes the types known to Qt's D-Bus marshalling (once is enough; more do
// no harm).
void registerPortalShortcutTypes();

// The program's one shortcut, `id`, asking for Ctrl + F<functionKey>.
PortalShortcuts shortcutRequest(const QString& id, int functionKey);

// What a list from the desktop says of shortcut `id`.
struct BoundShortcut
{
    bool listed = false; // the desktop bound the shortcut at all
    QString trigger;     // how it describes the key; may be empty
};
BoundShortcut findShortcut(const PortalShortcuts& list, const QString& id);
// What the user must be told of a shortcut the desktop bound when Ctrl +
// F<functionKey> was asked for: empty when it bound just that.
QString bindingProblem(const BoundShortcut& bound, int functionKey);

// What a failed call to the portal means for the user, in Chinese.
QString problemForError(const QDBusError& error);
// A session handle as the portal sends it (a string, or in some versions an
// object path).
QString sessionFrom(const QVariant& value);

} // namespace hy

Q_DECLARE_METATYPE(hy::PortalShortcut)
