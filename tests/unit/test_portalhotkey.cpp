// The portal hotkey against a stand-in desktop portal on a private D-Bus
// daemon that the test starts itself.
#include "platform/hotkey/globalhotkey.h"
#include "platform/hotkey/portalhotkey.h"
#include "support/privatebus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <array>

using hy::GlobalHotkey;
using hy::PortalHotkey;
using Status = GlobalHotkey::Status;

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

struct Entry // (sa{sv})
{
    QString id;
    QVariantMap props;
};

// One action of KDE's shortcut daemon, D-Bus type (ssssssaiai).
struct KdeAction
{
    std::array<QString, 6> names;
    QList<int> keys, defaults;
};

} // namespace

Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(KdeAction)

namespace {

QDBusArgument& operator<<(QDBusArgument& arg, const Entry& e)
{
    arg.beginStructure();
    arg << e.id << e.props;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, Entry& e)
{
    arg.beginStructure();
    arg >> e.id >> e.props;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const KdeAction& a)
{
    arg.beginStructure();
    for (const QString& n : a.names)
        arg << n;
    arg << a.keys << a.defaults;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, KdeAction&)
{
    return arg; // only ever sent
}

// Stands in for kglobalaccel: the component named after the portal session's
// token holds our action with `keys`.
class FakeKGlobalAccel : public QDBusVirtualObject
{
public:
    QList<int> keys;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override
    {
        const QString token = m.path().section('/', 2);
        if (m.member() != QLatin1String("allShortcutInfos") || token.isEmpty())
            return false;
        const QList<KdeAction> actions{
            {{QStringLiteral("start-stop"), QStringLiteral("启动/停止倒计时"), token, token,
              QStringLiteral("default"), QStringLiteral("Default Context")},
             keys,
             {0x05000035}}};
        bus.send(m.createReply(QVariant::fromValue(actions)));
        return true;
    }
};

bool isPathElement(const QString& s)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_]+$"));
    return re.match(s).hasMatch();
}

// Stands in for xdg-desktop-portal: answers CreateSession and BindShortcuts
// the way the real one does (a request object path now, a Response signal on
// it later) and can be told to refuse, to be slow or to behave like an old
// portal that ignores handle_token.
class FakePortal : public QDBusVirtualObject
{
public:
    struct Bind
    {
        QString session;
        QList<Entry> shortcuts;
        QString parentWindow;
        QVariantMap options;
        QString signature;
    };

    // Behaviour.
    bool offersShortcuts = true;
    uint createResponse = 0;
    uint bindResponse = 0;
    bool confirmShortcut = true;  // the Response lists the shortcut
    bool responseFirst = false;   // Response signal before the method reply
    bool ownRequestPaths = false; // ignore handle_token
    int delayMs = 0;
    // The key the desktop says it bound; "as asked": the preferred trigger.
    QString trigger = QStringLiteral("as asked");
    // Where the desktop takes the shortcuts to bind from: "bind" (the
    // BindShortcuts list, as documented) or "create" (the CreateSession
    // options only, as KDE Plasma 5.27 does).
    QString bindsFrom = QStringLiteral("bind");

    // What happened.
    QList<QVariantMap> creates;
    QList<Bind> binds;
    QStringList sessions; // created, in order
    QStringList closed;   // closed by the client

    explicit FakePortal(const QDBusConnection& bus)
        : m_bus(bus)
    {}

    QStringList openSessions() const
    {
        QStringList open;
        for (const QString& s : sessions) {
            if (!closed.contains(s))
                open.append(s);
        }
        return open;
    }

    void activate(const QString& session, const QString& id, const char* what = "Activated")
    {
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kShortcuts, what);
        signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(1234)
               << QVariantMap();
        m_bus.send(signal);
    }
    // The user set another key in the desktop's settings.
    void changeShortcut(const QString& session, const QString& trigger)
    {
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kShortcuts, "ShortcutsChanged");
        const QList<Entry> list{{"start-stop", {{"trigger_description", trigger}}}};
        signal << QVariant::fromValue(QDBusObjectPath(session)) << QVariant::fromValue(list);
        m_bus.send(signal);
    }
    void closeFromPortal(const QString& session)
    {
        QDBusMessage signal =
            QDBusMessage::createSignal(session, "org.freedesktop.portal.Session", "Closed");
        signal << QVariantMap();
        m_bus.send(signal);
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override
    {
        if (m.interface() == QLatin1String("org.freedesktop.portal.Session") &&
            m.member() == QLatin1String("Close")) {
            closed.append(m.path());
            bus.send(m.createReply());
            return true;
        }
        if (m.path() != kPath || m.interface() != kShortcuts || !offersShortcuts) {
            bus.send(m.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                        QStringLiteral("No such interface")));
            return true;
        }
        if (m.member() == QLatin1String("CreateSession") && m.signature() == "a{sv}") {
            const auto options = qdbus_cast<QVariantMap>(m.arguments().at(0));
            creates.append(options);
            QVariantMap results;
            if (createResponse == 0) {
                const QString session =
                    objectPath("session", m.service(), options.value("session_handle_token"));
                sessions.append(session);
                m_created.insert(session, qdbus_cast<QList<Entry>>(options.value("shortcuts")));
                results.insert("session_handle", session);
            }
            answer(m, bus, options, createResponse, results);
            return true;
        }
        if (m.member() == QLatin1String("BindShortcuts")) {
            Bind b;
            b.signature = m.signature();
            const QVariantList args = m.arguments();
            if (args.size() == 4) {
                b.session = args.at(0).value<QDBusObjectPath>().path();
                b.shortcuts = qdbus_cast<QList<Entry>>(args.at(1));
                b.parentWindow = args.at(2).toString();
                b.options = qdbus_cast<QVariantMap>(args.at(3));
            }
            binds.append(b);
            QList<Entry> bound;
            if (confirmShortcut) {
                for (const Entry& e : bindsFrom == QLatin1String("create")
                                          ? m_created.value(b.session)
                                          : b.shortcuts) {
                    QString said = trigger;
                    if (trigger == QLatin1String("as asked"))
                        said =
                            e.props.value("preferred_trigger").toString().replace("CTRL", "Ctrl");
                    bound.append({e.id,
                                  {{"description", e.props.value("description")},
                                   {"trigger_description", said}}});
                }
            }
            answer(m, bus, b.options, bindResponse, {{"shortcuts", QVariant::fromValue(bound)}});
            return true;
        }
        bus.send(m.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                    QStringLiteral("unexpected call ") + m.member() + ' ' +
                                        m.signature()));
        return true;
    }

private:
    static QString objectPath(const char* kind, QString sender, const QVariant& token)
    {
        sender.remove(0, 1).replace('.', '_');
        return QStringLiteral("%1/%2/%3/%4").arg(kPath, kind, sender, token.toString());
    }

    void answer(const QDBusMessage& m, const QDBusConnection& bus, const QVariantMap& options,
                uint response, const QVariantMap& results)
    {
        const QString request =
            ownRequestPaths
                ? objectPath("request", m.service(), QStringLiteral("own%1").arg(++m_own))
                : objectPath("request", m.service(), options.value("handle_token"));
        QDBusMessage signal = QDBusMessage::createTargetedSignal(
            m.service(), request, "org.freedesktop.portal.Request", "Response");
        signal << response << results;
        const QDBusMessage reply = m.createReply(QVariant::fromValue(QDBusObjectPath(request)));
        if (responseFirst) {
            bus.send(signal);
            bus.send(reply);
        } else {
            bus.send(reply);
            QDBusConnection b = bus;
            QTimer::singleShot(delayMs, [b, signal] { b.send(signal); });
        }
    }

    QDBusConnection m_bus;
    int m_own = 0;
    QHash<QString, QList<Entry>> m_created; // the shortcuts each session was created with
};

} // namespace

class TestPortalHotkey : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void bindsAndFires_data();
    void bindsAndFires();
    void onlyOurActivationCounts_data();
    void onlyOurActivationCounts();
    void refusalIsUnavailable_data();
    void refusalIsUnavailable();
    void missingPortalIsUnavailable_data();
    void missingPortalIsUnavailable();
    void noBusIsUnavailable();
    void newKeyRebindsInNewSession();
    void unregisterClosesSession();
    void changesWhilePendingLeaveOneSession_data();
    void changesWhilePendingLeaveOneSession();
    void portalClosingSessionIsUnavailable();
    void badKeyChangesNothing();
    void boundKeyIsWhatTheDesktopSays_data();
    void boundKeyIsWhatTheDesktopSays();
    void desktopChangesTheKey_data();
    void desktopChangesTheKey();
    void onePressPerPress_data();
    void onePressPerPress();
    void bindsAtEveryStart();
    void desktopsOwnKeyIsTaken_data();
    void desktopsOwnKeyIsTaken();
    void destructionClosesSession();
    void factoryUsesPortalOffX11();

private:
    QDBusConnection connect(const QString& name);

    PrivateBus m_bus;
    QString m_address;
    int m_connections = 0;
    QStringList m_names;
    std::unique_ptr<FakePortal> m_portal;
    QString m_portalName;
};

QDBusConnection TestPortalHotkey::connect(const QString& name)
{
    const QString unique = QStringLiteral("%1-%2").arg(name).arg(++m_connections);
    m_names.append(unique);
    return QDBusConnection::connectToBus(m_address, unique);
}

void TestPortalHotkey::initTestCase()
{
    qDBusRegisterMetaType<Entry>();
    qDBusRegisterMetaType<QList<Entry>>();
    qDBusRegisterMetaType<KdeAction>();
    qDBusRegisterMetaType<QList<KdeAction>>();

    QCOMPARE(m_bus.start(), QString());
    m_address = m_bus.address();
}

void TestPortalHotkey::init()
{
    m_portalName = QStringLiteral("portal-%1").arg(++m_connections);
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_portalName);
    QVERIFY(bus.isConnected());
    m_portal = std::make_unique<FakePortal>(bus);
}

void TestPortalHotkey::cleanup()
{
    QDBusConnection bus(m_portalName);
    bus.unregisterObject(kPath, QDBusConnection::UnregisterTree);
    bus.unregisterService(kService);
    QDBusConnection::disconnectFromBus(m_portalName);
    m_portal.reset();
    for (const QString& name : std::as_const(m_names))
        QDBusConnection::disconnectFromBus(name);
    m_names.clear();
}

void TestPortalHotkey::cleanupTestCase()
{
    m_bus.stop();
}

namespace {
bool serve(FakePortal& portal, const QString& connection)
{
    QDBusConnection bus(connection);
    return bus.registerVirtualObject(kPath, &portal, QDBusConnection::SubPath) &&
           bus.registerService(kService);
}
} // namespace

void TestPortalHotkey::bindsAndFires_data()
{
    QTest::addColumn<bool>("responseFirst");
    QTest::addColumn<bool>("ownRequestPaths");
    QTest::newRow("reply, then response") << false << false;
    QTest::newRow("response before reply") << true << false;
    QTest::newRow("portal ignoring handle_token") << false << true;
}

void TestPortalHotkey::bindsAndFires()
{
    QFETCH(bool, responseFirst);
    QFETCH(bool, ownRequestPaths);
    m_portal->responseFirst = responseFirst;
    m_portal->ownRequestPaths = ownRequestPaths;
    m_portal->delayMs = 30;
    QVERIFY(serve(*m_portal, m_portalName));

    PortalHotkey hotkey(connect("client"));
    QSignalSpy changes(&hotkey, &GlobalHotkey::statusChanged);
    QSignalSpy presses(&hotkey, &GlobalHotkey::pressed);
    hotkey.registerKey(1);
    QCOMPARE(hotkey.status(), Status::Pending); // returns before the portal answered
    QTRY_COMPARE(hotkey.status(), Status::Registered);
    QVERIFY(hotkey.problem().isEmpty());
    QCOMPARE(changes.count(), 2);
    QCOMPARE(changes.at(0).at(0).value<Status>(), Status::Pending);
    QCOMPARE(changes.at(1).at(0).value<Status>(), Status::Registered);

    QCOMPARE(m_portal->creates.size(), 1);
    const QVariantMap create = m_portal->creates.first();
    QVERIFY(isPathElement(create.value("handle_token").toString()));
    QVERIFY(isPathElement(create.value("session_handle_token").toString()));
    // The shortcut goes in CreateSession as well, for desktops that read only that.
    const auto created = qdbus_cast<QList<Entry>>(create.value("shortcuts"));
    QCOMPARE(created.size(), 1);
    QCOMPARE(created.first().id, QStringLiteral("start-stop"));
    QCOMPARE(created.first().props.value("preferred_trigger").toString(),
             QStringLiteral("CTRL+F1"));

    QCOMPARE(m_portal->binds.size(), 1);
    const FakePortal::Bind bind = m_portal->binds.first();
    QCOMPARE(bind.signature, QStringLiteral("oa(sa{sv})sa{sv}"));
    QCOMPARE(bind.session, m_portal->sessions.first());
    QCOMPARE(hotkey.sessionHandle(), bind.session);
    QCOMPARE(bind.parentWindow, QString());
    QVERIFY(isPathElement(bind.options.value("handle_token").toString()));
    QVERIFY(bind.options.value("handle_token") != create.value("handle_token"));
    QCOMPARE(bind.shortcuts.size(), 1);
    QCOMPARE(bind.shortcuts.first().id, QStringLiteral("start-stop"));
    QCOMPARE(bind.shortcuts.first().props.value("description").toString(),
             QStringLiteral("启动/停止倒计时"));
    QCOMPARE(bind.shortcuts.first().props.value("preferred_trigger").toString(),
             QStringLiteral("CTRL+F1"));
    QCOMPARE(hotkey.boundKey(), QStringLiteral("Ctrl+F1"));

    m_portal->activate(bind.session, "start-stop");
    QTRY_COMPARE(presses.count(), 1);
    m_portal->activate(bind.session, "start-stop");
    QTRY_COMPARE(presses.count(), 2);
    QTest::qWait(50);
    QCOMPARE(presses.count(), 2);
    QVERIFY(m_portal->closed.isEmpty());
}

void TestPortalHotkey::onlyOurActivationCounts_data()
{
    QTest::addColumn<QString>("session"); // "" for ours
    QTest::addColumn<QString>("id");
    QTest::newRow("other shortcut") << QString() << QStringLiteral("start");
    QTest::newRow("other session") << QStringLiteral("/org/freedesktop/portal/desktop/session/x/y")
                                   << QStringLiteral("start-stop");
}

void TestPortalHotkey::onlyOurActivationCounts()
{
    QFETCH(QString, session);
    QFETCH(QString, id);
    QVERIFY(serve(*m_portal, m_portalName));
    PortalHotkey hotkey(connect("client"));
    hotkey.registerKey(3);
    QTRY_COMPARE(hotkey.status(), Status::Registered);
    QSignalSpy presses(&hotkey, &GlobalHotkey::pressed);

    m_portal->activate(session.isEmpty() ? hotkey.sessionHandle() : session, id);
    // Signals arrive in order: once ours has come, the other one was seen.
    m_portal->activate(hotkey.sessionHandle(), "start-stop");
    QTRY_COMPARE(presses.count(), 1);
    QTest::qWait(50);
    QCOMPARE(presses.count(), 1);
}

void TestPortalHotkey::refusalIsUnavailable_data()
{
    QTest::addColumn<uint>("createResponse");
    QTest::addColumn<uint>("bindResponse");
    QTest::addColumn<bool>("confirm");
    QTest::newRow("session cancelled") << 1u << 0u << true;
    QTest::newRow("session refused") << 2u << 0u << true;
    QTest::newRow("binding cancelled") << 0u << 1u << true;
    QTest::newRow("binding refused") << 0u << 2u << true;
    QTest::newRow("shortcut not bound") << 0u << 0u << false;
}

void TestPortalHotkey::refusalIsUnavailable()
{
    QFETCH(uint, createResponse);
    QFETCH(uint, bindResponse);
    QFETCH(bool, confirm);
    m_portal->createResponse = createResponse;
    m_portal->bindResponse = bindResponse;
    m_portal->confirmShortcut = confirm;
    QVERIFY(serve(*m_portal, m_portalName));

    PortalHotkey hotkey(connect("client"));
    QSignalSpy presses(&hotkey, &GlobalHotkey::pressed);
    hotkey.registerKey(2);
    QTRY_COMPARE(hotkey.status(), Status::Unavailable);
    QVERIFY(hotkey.problem().contains(QLatin1String("Ctrl+F2")));
    QVERIFY(hotkey.sessionHandle().isEmpty());
    // A session that was opened for nothing is given back.
    QTRY_COMPARE(m_portal->openSessions(), QStringList());

    for (const QString& s : std::as_const(m_portal->sessions))
        m_portal->activate(s, "start-stop");
    QTest::qWait(100);
    QCOMPARE(presses.count(), 0);

    // A later try with a willing portal succeeds.
    m_portal->createResponse = 0;
    m_portal->bindResponse = 0;
    m_portal->confirmShortcut = true;
    hotkey.registerKey(2);
    QTRY_COMPARE(hotkey.status(), Status::Registered);
    QVERIFY(hotkey.problem().isEmpty());
}

void TestPortalHotkey::missingPortalIsUnavailable_data()
{
    QTest::addColumn<bool>("service");
    QTest::newRow("no portal service") << false;
    QTest::newRow("portal without GlobalShortcuts") << true;
}

void TestPortalHotkey::missingPortalIsUnavailable()
{
    QFETCH(bool, service);
    if (service) {
        m_portal->offersShortcuts = false;
        QVERIFY(serve(*m_portal, m_portalName));
    }
    PortalHotkey hotkey(connect("client"));
    QSignalSpy changes(&hotkey, &GlobalHotkey::statusChanged);
    hotkey.registerKey(1);
    QTRY_COMPARE(hotkey.status(), Status::Unavailable);
    QVERIFY(hotkey.problem().contains(QStringLiteral("不支持全局快捷键")));
    QCOMPARE(changes.count(), 2);
    QCOMPARE(changes.last().at(0).value<Status>(), Status::Unavailable);
}

void TestPortalHotkey::noBusIsUnavailable()
{
    const QString name = QStringLiteral("nowhere");
    QDBusConnection bus =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/hytune-bus"), name);
    QVERIFY(!bus.isConnected());
    {
        PortalHotkey hotkey(bus);
        hotkey.registerKey(1);
        QCOMPARE(hotkey.status(), Status::Unavailable);
        QVERIFY(!hotkey.problem().isEmpty());
        hotkey.unregisterKey();
        QCOMPARE(hotkey.status(), Status::Idle);
    }
    QDBusConnection::disconnectFromBus(name);
}

void TestPortalHotkey::newKeyRebindsInNewSession()
{
    QVERIFY(serve(*m_portal, m_portalName));
    PortalHotkey hotkey(connect("client"));
    QSignalSpy presses(&hotkey, &GlobalHotkey::pressed);
    hotkey.registerKey(1);
    QTRY_COMPARE(hotkey.status(), Status::Registered);
    const QString first = hotkey.sessionHandle();

    hotkey.registerKey(7);
    QCOMPARE(hotkey.status(), Status::Pending);
    QTRY_COMPARE(hotkey.status(), Status::Registered);
    QCOMPARE(hotkey.functionKey(), 7);
    QCOMPARE(hotkey.boundKey(), QStringLiteral("Ctrl+F7"));
    QCOMPARE(m_portal->binds.size(), 2);
    QCOMPARE(m_portal->binds.last().shortcuts.first().props.value("preferred_trigger").toString(),
             QStringLiteral("CTRL+F7"));
    QVERIFY(hotkey.sessionHandle() != first);
    QCOMPARE(m_portal->closed, QStringList{first});
    QCOMPARE(m_portal->openSessions(), QStringList{hotkey.sessionHandle()});

    m_portal->activate(first, "start-stop");
    m_portal->activate(hotkey.sessionHandle(), "start-stop");
    QTRY_COMPARE(presses.count(), 1);
    QTest::qWait(50);
    QCOMPARE(presses.count(), 1);
}

void TestPortalHotkey::unregisterClosesSession()
{
    QVERIFY(serve(*m_portal, m_portalName));
    PortalHotkey hotkey(connect("client"));
    QSignalSpy presses(&hotkey, &GlobalHotkey::pressed);
    hotkey.registerKey(4);
    QTRY_COMPARE(hotkey.status(), Status::Registered);
    const QString session = hotkey.sessionHandle();

    hotkey.unregisterKey();
    QCOMPARE(hotkey.status(), Status::Idle);
    QVERIFY(hotkey.problem().isEmpty());
    QCOMPARE(hotkey.functionKey(), 0);
    QVERIFY(hotkey.sessionHandle().isEmpty());
    QTRY_COMPARE(m_portal->closed, QStringList{session});

    m_portal->activate(session, "start-stop");
    QTest::qWait(100);
    QCOMPARE(presses.count(), 0);
}

void TestPortalHotkey::changesWhilePendingLeaveOneSession_data()
{
    QTest::addColumn<QList<int>>("keys"); // 0: unregisterKey()
    QTest::addColumn<Status>("final");
    QTest::addColumn<QString>("trigger");
    QTest::newRow("F1 then F2") << QList<int>{1, 2} << Status::Registered << "CTRL+F2";
    QTest::newRow("F1, F2, F3") << QList<int>{1, 2, 3} << Status::Registered << "CTRL+F3";
    QTest::newRow("F1 then release") << QList<int>{1, 0} << Status::Idle << "";
    QTest::newRow("F1, release, F5") << QList<int>{1, 0, 5} << Status::Registered << "CTRL+F5";
}

void TestPortalHotkey::changesWhilePendingLeaveOneSession()
{
    QFETCH(QList<int>, keys);
    QFETCH(Status, final);
    QFETCH(QString, trigger);
    m_portal->delayMs = 80; // every answer is slow
    QVERIFY(serve(*m_portal, m_portalName));

    PortalHotkey hotkey(connect("client"));
    QSignalSpy presses(&hotkey, &GlobalHotkey::pressed);
    for (int key : keys) {
        if (key == 0)
            hotkey.unregisterKey();
        else
            hotkey.registerKey(key);
        QTest::qWait(10);
    }
    QTRY_COMPARE(hotkey.status(), final);
    // Wait until every session the portal opened is either ours or closed.
    QTRY_COMPARE(m_portal->sessions.size(), int(keys.size() - keys.count(0)));
    QTRY_COMPARE(m_portal->openSessions(),
                 final == Status::Registered ? QStringList{hotkey.sessionHandle()} : QStringList{});
    QCOMPARE(hotkey.status(), final);

    if (final == Status::Registered) {
        QCOMPARE(m_portal->binds.last().session, hotkey.sessionHandle());
        QCOMPARE(m_portal->binds.last().shortcuts.first().props.value("preferred_trigger"),
                 QVariant(trigger));
        for (const QString& s : std::as_const(m_portal->sessions))
            m_portal->activate(s, "start-stop");
        QTRY_COMPARE(presses.count(), 1);
    }
    QTest::qWait(100);
    QCOMPARE(presses.count(), final == Status::Registered ? 1 : 0);
}

void TestPortalHotkey::portalClosingSessionIsUnavailable()
{
    QVERIFY(serve(*m_portal, m_portalName));
    PortalHotkey hotkey(connect("client"));
    QSignalSpy presses(&hotkey, &GlobalHotkey::pressed);
    hotkey.registerKey(9);
    QTRY_COMPARE(hotkey.status(), Status::Registered);
    const QString session = hotkey.sessionHandle();

    m_portal->closeFromPortal(session);
    QTRY_COMPARE(hotkey.status(), Status::Unavailable);
    QVERIFY(hotkey.problem().contains(QLatin1String("Ctrl+F9")));
    m_portal->activate(session, "start-stop");
    QTest::qWait(100);
    QCOMPARE(presses.count(), 0);
}

void TestPortalHotkey::badKeyChangesNothing()
{
    QVERIFY(serve(*m_portal, m_portalName));
    PortalHotkey hotkey(connect("client"));
    hotkey.registerKey(8);
    QTRY_COMPARE(hotkey.status(), Status::Registered);
    const QString session = hotkey.sessionHandle();
    for (int bad : {0, 13, -4}) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("F%1").arg(bad)));
        hotkey.registerKey(bad);
    }
    QCOMPARE(hotkey.status(), Status::Registered);
    QCOMPARE(hotkey.functionKey(), 8);
    QCOMPARE(hotkey.sessionHandle(), session);
    QTest::qWait(50);
    QCOMPARE(m_portal->creates.size(), 1);
    QVERIFY(m_portal->closed.isEmpty());
}

void TestPortalHotkey::destructionClosesSession()
{
    QVERIFY(serve(*m_portal, m_portalName));
    QString session;
    {
        PortalHotkey hotkey(connect("client"));
        hotkey.registerKey(10);
        QTRY_COMPARE(hotkey.status(), Status::Registered);
        session = hotkey.sessionHandle();
    }
    QTRY_COMPARE(m_portal->closed, QStringList{session});
}

void TestPortalHotkey::factoryUsesPortalOffX11()
{
    // This runs on the offscreen platform: no X server to grab keys on, so
    // the factory turns to the session bus, here the private one.
    QVERIFY(QGuiApplication::platformName() != QLatin1String("xcb"));
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    QVERIFY(serve(*m_portal, m_portalName));

    auto hotkey = hy::createGlobalHotkey();
    QVERIFY(dynamic_cast<PortalHotkey*>(hotkey.get()));
    QSignalSpy presses(hotkey.get(), &GlobalHotkey::pressed);
    hotkey->registerKey(11);
    QTRY_COMPARE(hotkey->status(), Status::Registered);
    QCOMPARE(m_portal->binds.size(), 1);
    QCOMPARE(m_portal->binds.first().shortcuts.first().props.value("preferred_trigger"),
             QVariant(QStringLiteral("CTRL+F11")));
    m_portal->activate(m_portal->sessions.first(), "start-stop");
    QTRY_COMPARE(presses.count(), 1);
}

void TestPortalHotkey::boundKeyIsWhatTheDesktopSays_data()
{
    QTest::addColumn<QString>("bindsFrom");
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QString>("boundKey");
    QTest::addColumn<QString>("problemHas"); // "" for no problem
    QTest::newRow("list from CreateSession (KDE 5.27)")
        << "create"
        << "as asked" << true << Status::Registered << "Ctrl+F6"
        << "";
    QTest::newRow("list from BindShortcuts")
        << "bind"
        << "as asked" << true << Status::Registered << "Ctrl+F6"
        << "";
    QTest::newRow("same key, other spelling")
        << "bind"
        << "<Control>F6" << true << Status::Registered << "<Control>F6"
        << "";
    QTest::newRow("the desktop chose another key")
        << "bind"
        << "Alt+K" << true << Status::Registered << "Alt+K"
        << "请按 Alt+K";
    QTest::newRow("Ctrl+F16 is not Ctrl+F6")
        << "bind"
        << "Ctrl+F16" << true << Status::Registered << "Ctrl+F16"
        << "Ctrl+F16";
    QTest::newRow("no key named") << "bind"
                                  << "" << true << Status::Registered << ""
                                  << "没有说用的是哪个键";
    QTest::newRow("nothing bound") << "bind"
                                   << "as asked" << false << Status::Unavailable << ""
                                   << "没有绑定";
}

void TestPortalHotkey::boundKeyIsWhatTheDesktopSays()
{
    QFETCH(QString, bindsFrom);
    QFETCH(QString, trigger);
    QFETCH(bool, confirm);
    QFETCH(Status, status);
    QFETCH(QString, boundKey);
    QFETCH(QString, problemHas);
    m_portal->bindsFrom = bindsFrom;
    m_portal->trigger = trigger;
    m_portal->confirmShortcut = confirm;
    QVERIFY(serve(*m_portal, m_portalName));
    PortalHotkey hotkey(connect("client"));
    hotkey.registerKey(6);
    QTRY_VERIFY(hotkey.status() != Status::Pending);
    QCOMPARE(hotkey.status(), status);
    QCOMPARE(hotkey.boundKey(), boundKey);
    if (problemHas.isEmpty())
        QCOMPARE(hotkey.problem(), QString());
    else
        QVERIFY2(hotkey.problem().contains(problemHas), qPrintable(hotkey.problem()));
}

void TestPortalHotkey::desktopChangesTheKey_data()
{
    QTest::addColumn<bool>("ours"); // the change is for our session
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("boundKey");
    QTest::addColumn<bool>("problem");
    QTest::newRow("to another key") << true << "Alt+K"
                                    << "Alt+K" << true;
    QTest::newRow("to the same key") << true << "CTRL+F3"
                                     << "CTRL+F3" << false;
    QTest::newRow("in another session") << false << "Alt+K"
                                        << "Ctrl+F3" << false;
}

void TestPortalHotkey::desktopChangesTheKey()
{
    QFETCH(bool, ours);
    QFETCH(QString, trigger);
    QFETCH(QString, boundKey);
    QFETCH(bool, problem);
    QVERIFY(serve(*m_portal, m_portalName));
    PortalHotkey hotkey(connect("client"));
    hotkey.registerKey(3);
    QTRY_COMPARE(hotkey.status(), Status::Registered);
    m_portal->changeShortcut(ours ? hotkey.sessionHandle() : QStringLiteral("/x/y"), trigger);
    // Signals arrive in order: an activation sent after the change comes after it.
    QSignalSpy presses(&hotkey, &GlobalHotkey::pressed);
    m_portal->activate(hotkey.sessionHandle(), "start-stop");
    QTRY_COMPARE(presses.count(), 1);
    QTRY_COMPARE(hotkey.boundKey(), boundKey);
    QCOMPARE(!hotkey.problem().isEmpty(), problem);
    QCOMPARE(hotkey.status(), Status::Registered);
}

void TestPortalHotkey::onePressPerPress_data()
{
    QTest::addColumn<QString>("sequence"); // A: Activated, D: Deactivated
    QTest::addColumn<int>("presses");
    QTest::newRow("press, release, press") << "ADA" << 2;
    QTest::newRow("repeats while held") << "ADAAAD" << 2;
    QTest::newRow("a desktop that never tells of releases") << "AAA" << 3;
}

void TestPortalHotkey::onePressPerPress()
{
    QFETCH(QString, sequence);
    QFETCH(int, presses);
    QVERIFY(serve(*m_portal, m_portalName));
    PortalHotkey hotkey(connect("client"));
    hotkey.registerKey(5);
    QTRY_COMPARE(hotkey.status(), Status::Registered);
    QSignalSpy spy(&hotkey, &GlobalHotkey::pressed);
    for (QChar c : sequence)
        m_portal->activate(hotkey.sessionHandle(), "start-stop",
                           c == 'A' ? "Activated" : "Deactivated");
    // A last press after a release always counts: once it is seen, all were.
    m_portal->activate(hotkey.sessionHandle(), "start-stop", "Deactivated");
    m_portal->activate(hotkey.sessionHandle(), "start-stop");
    QTRY_COMPARE(spy.count(), presses + 1);
    QTest::qWait(50);
    QCOMPARE(spy.count(), presses + 1);
}

void TestPortalHotkey::bindsAtEveryStart()
{
    // The desktop keeps a shortcut across runs, but it fires only for a
    // session that bound it: every start binds anew.
    QVERIFY(serve(*m_portal, m_portalName));
    for (int run = 1; run <= 2; ++run) {
        PortalHotkey hotkey(connect("client"));
        hotkey.registerKey(6);
        QTRY_COMPARE(hotkey.status(), Status::Registered);
        QCOMPARE(m_portal->binds.size(), run);
        QCOMPARE(m_portal->binds.last().session, hotkey.sessionHandle());
    }
}

void TestPortalHotkey::desktopsOwnKeyIsTaken_data()
{
    QTest::addColumn<bool>("kde"); // a shortcut daemon on the bus
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<Status>("status");
    QTest::newRow("KWin holds the key") << true << QList<int>{0} << Status::Taken;
    QTest::newRow("the daemon gave the key")
        << true << QList<int>{0x05000035} << Status::Registered;
    QTest::newRow("no shortcut daemon") << false << QList<int>{} << Status::Registered;
}

// KDE's portal names the key asked for even when KWin keeps it for itself:
// the shortcut daemon says whether the shortcut really got it.
void TestPortalHotkey::desktopsOwnKeyIsTaken()
{
    QFETCH(bool, kde);
    QFETCH(QList<int>, keys);
    QFETCH(Status, status);
    QVERIFY(serve(*m_portal, m_portalName));
    FakeKGlobalAccel daemon;
    daemon.keys = keys;
    const QString daemonName = QStringLiteral("kglobalaccel-%1").arg(++m_connections);
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, daemonName);
    m_names.append(daemonName);
    if (kde) {
        QVERIFY(bus.registerVirtualObject("/component", &daemon, QDBusConnection::SubPath));
        QVERIFY(bus.registerService("org.kde.kglobalaccel"));
    }
    PortalHotkey hotkey(connect("client"));
    hotkey.registerKey(6);
    QTRY_VERIFY(hotkey.status() != Status::Pending);
    QCOMPARE(hotkey.status(), status);
    if (status == Status::Taken) {
        QVERIFY2(hotkey.problem().contains(QStringLiteral("Ctrl+F6 是桌面自己的快捷键")),
                 qPrintable(hotkey.problem()));
        QCOMPARE(hotkey.boundKey(), QString());
    }
    bus.unregisterObject("/component", QDBusConnection::UnregisterTree);
}

QTEST_MAIN(TestPortalHotkey)
#include "test_portalhotkey.moc"
