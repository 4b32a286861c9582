#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QVariantList>

// Stands in for the desktop's notification server and writes down each call.
class FakeNotificationServer final : public QDBusVirtualObject
{
public:
    QStringList capabilities{"actions"};
    QStringList log;         // "notify <summary> replacing <id>", "close <id>"
    QVariantList lastNotify; // its arguments

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override
    {
        QVariantList args = m.arguments();
        QDBusMessage reply = m.createReply();
        if (m.member() == QLatin1String("GetCapabilities")) {
            reply << capabilities;
        } else if (m.member() == QLatin1String("Notify") && m.signature() == "susssasa{sv}i") {
            args[6] = qdbus_cast<QVariantMap>(args.at(6));
            lastNotify = args;
            const uint replaces = args.at(1).toUInt();
            log << QStringLiteral("notify %1 replacing %2")
                       .arg(args.at(3).toString())
                       .arg(replaces);
            reply << (replaces ? replaces : m_nextId++); // ids other than 1, 2, ...
        } else if (m.member() == QLatin1String("CloseNotification")) {
            log << QStringLiteral("close %1").arg(args.value(0).toUInt());
        }
        bus.send(reply);
        return true;
    }

    // The id of the notice shown last.
    uint lastId() const { return m_nextId - 1; }

private:
    uint m_nextId = 41;
};
