// Notices of the end of a countdown: their texts, and the notifier against a
// notification server of the test's own on a private D-Bus daemon.
#include "core/countdown/countdown.h"
#include "fakes/fakenotifier.h" // compiled here against the interface; the window's tests use it
#include "platform/notify/desktopnotifier.h"
#include "support/privatebus.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QSignalSpy>
#include <QtTest>

using hy::DesktopNotifier;
using hy::NoticeAction;
using Actions = QList<NoticeAction>;

namespace {

constexpr NoticeAction Again = NoticeAction::Again, Stop = NoticeAction::Stop;

// Stands in for the desktop's notification server and writes down each call.
class FakeServer final : public QDBusVirtualObject
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

private:
    uint m_nextId = 41;
};

} // namespace

class TestDesktopNotifier : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void endTexts_data();
    void endTexts();
    void notifyArguments_data();
    void notifyArguments();
    void replacing_data();
    void replacing();
    void actionReported_data();
    void actionReported();
    void nothingShown_data();
    void nothingShown();

private:
    // A notifier on a connection of its own to `address`, which it asks for
    // at its first notice (counted in m_asked).
    std::unique_ptr<DesktopNotifier> notifier(const QString& address);
    void signal(const char* name, const QVariantList& args);

    PrivateBus m_bus;
    QString m_server = QStringLiteral("server");
    std::unique_ptr<FakeServer> m_fake;
    QStringList m_clients;
    int m_asked = 0;
};

void TestDesktopNotifier::initTestCase()
{
    QCOMPARE(m_bus.start(), QString());
    QVERIFY(QDBusConnection::connectToBus(m_bus.address(), m_server).isConnected());
}

void TestDesktopNotifier::init()
{
    m_fake = std::make_unique<FakeServer>();
    QDBusConnection bus(m_server);
    QVERIFY(bus.registerVirtualObject(DesktopNotifier::kPath, m_fake.get()));
    QVERIFY(bus.registerService(DesktopNotifier::kService));
    m_asked = 0;
}

void TestDesktopNotifier::cleanup()
{
    QDBusConnection bus(m_server);
    bus.unregisterService(DesktopNotifier::kService);
    bus.unregisterObject(DesktopNotifier::kPath);
    for (const QString& name : std::as_const(m_clients))
        QDBusConnection::disconnectFromBus(name);
    m_clients.clear();
}

std::unique_ptr<DesktopNotifier> TestDesktopNotifier::notifier(const QString& address)
{
    const QString name = QStringLiteral("client-%1").arg(m_clients.size());
    m_clients << name;
    return std::make_unique<DesktopNotifier>([this, address, name] {
        ++m_asked;
        return QDBusConnection::connectToBus(address, name);
    });
}

void TestDesktopNotifier::signal(const char* name, const QVariantList& args)
{
    QDBusMessage s =
        QDBusMessage::createSignal(DesktopNotifier::kPath, DesktopNotifier::kInterface, name);
    s.setArguments(args);
    QVERIFY(QDBusConnection(m_server).send(s));
}

void TestDesktopNotifier::endTexts_data()
{
    QTest::addColumn<hy::CountdownEnd>("end");
    QTest::addColumn<hy::Notice>("notice");
    QTest::newRow("ended") << hy::CountdownEnd{{0, 5, 0}, 0}
                           << hy::Notice{"倒计时 0:5:0 结束", "", {Again}};
    QTest::newRow("ended, with hours")
        << hy::CountdownEnd{{12, 0, 9}, 0} << hy::Notice{"倒计时 12:0:9 结束", "", {Again}};
    QTest::newRow("a cycle") << hy::CountdownEnd{{0, 0, 30}, 3}
                             << hy::Notice{"第 3 次循环结束",
                                           "倒计时 0:0:30 已开始下一次循环",
                                           {Again, Stop}};
}

void TestDesktopNotifier::endTexts()
{
    QFETCH(hy::CountdownEnd, end);
    QFETCH(hy::Notice, notice);
    QCOMPARE(hy::countdownEndNotice(end), notice);
}

void TestDesktopNotifier::notifyArguments_data()
{
    QTest::addColumn<QStringList>("capabilities");
    QTest::addColumn<Actions>("actions");
    QTest::addColumn<QStringList>("offered");
    QTest::newRow("actions shown") << QStringList{"body", "actions"} << Actions{Again, Stop}
                                   << QStringList{"again", "再来一次", "stop", "停止"};
    QTest::newRow("one action") << QStringList{"actions"} << Actions{Again}
                                << QStringList{"again", "再来一次"};
    QTest::newRow("a server without actions")
        << QStringList{"body"} << Actions{Again, Stop} << QStringList{};
}

void TestDesktopNotifier::notifyArguments()
{
    QFETCH(QStringList, capabilities);
    QFETCH(Actions, actions);
    QFETCH(QStringList, offered);
    m_fake->capabilities = capabilities;
    auto n = notifier(m_bus.address());
    n->withdraw();        // nothing to take back
    QCOMPARE(m_asked, 0); // no connection before the first notice
    n->notify({"倒计时 0:5:0 结束", "正文", actions});
    QVERIFY(m_fake->log.isEmpty()); // returned before the server saw it
    QTRY_COMPARE(n->shownId(), 41u);
    const QVariantList want{"禾音语音报时器",
                            0u,
                            "example.heyinsoft.hytune",
                            "倒计时 0:5:0 结束",
                            "正文",
                            offered,
                            QVariantMap{{"desktop-entry", "example.heyinsoft.hytune"}},
                            -1};
    QCOMPARE(m_fake->lastNotify, want);
    QCOMPARE(m_asked, 1);
}

void TestDesktopNotifier::replacing_data()
{
    // "A": a notice with the summary A, "A+B": two given at once (B while A is
    // on its way); "closed": the server closes the one shown; "withdraw": the
    // program takes it back.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("log");
    const auto row = [](const char* name, const char* steps, const char* log) {
        QTest::newRow(name) << steps << log;
    };
    row("the second replaces the first", "A, B", "notify A replacing 0, notify B replacing 41");
    row("after the server closed it, a new one", "A, closed, B",
        "notify A replacing 0, notify B replacing 0");
    row("given while one is on its way: the latest waits", "A+B+C",
        "notify A replacing 0, notify C replacing 41");
    row("withdrawn", "A, withdraw, B", "notify A replacing 0, close 41, notify B replacing 0");
    row("withdrawn on its way", "A+withdraw", "notify A replacing 0, close 41");
}

void TestDesktopNotifier::replacing()
{
    QFETCH(QString, steps);
    QFETCH(QString, log);
    auto n = notifier(m_bus.address());
    for (const QString& step : steps.split(", ")) {
        for (const QString& part : step.split('+')) {
            if (part == QLatin1String("closed"))
                signal("NotificationClosed", {n->shownId(), 2u});
            else if (part == QLatin1String("withdraw"))
                n->withdraw();
            else
                n->notify({part, {}, {}});
        }
        QTRY_VERIFY(!n->isBusy() && (step != QLatin1String("closed") || n->shownId() == 0));
    }
    QTRY_COMPARE(m_fake->log, log.split(", "));
    QTest::qWait(50); // and nothing more comes
    QCOMPARE(m_fake->log, log.split(", "));
}

void TestDesktopNotifier::actionReported_data()
{
    QTest::addColumn<bool>("ours"); // the id of our notice
    QTest::addColumn<QString>("key");
    QTest::addColumn<Actions>("reported");
    QTest::newRow("again") << true << "again" << Actions{Again};
    QTest::newRow("stop") << true << "stop" << Actions{Stop};
    QTest::newRow("another program's notice") << false << "again" << Actions{};
}

void TestDesktopNotifier::actionReported()
{
    QFETCH(bool, ours);
    QFETCH(QString, key);
    QFETCH(Actions, reported);
    auto n = notifier(m_bus.address());
    QSignalSpy spy(n.get(), &hy::INotifier::actionInvoked);
    n->notify({"A", {}, {Again, Stop}});
    QTRY_VERIFY(n->shownId() != 0);
    signal("ActionInvoked", {n->shownId() + (ours ? 0 : 7), key});
    // Signals come in order: once this one is seen, the one before was.
    signal("ActionInvoked", {n->shownId(), "again"});
    QTRY_COMPARE(spy.size(), reported.size() + 1);
    Actions seen;
    for (const QList<QVariant>& args : std::as_const(spy))
        seen << args.at(0).value<NoticeAction>();
    QCOMPARE(seen, reported + Actions{Again});
}

void TestDesktopNotifier::nothingShown_data()
{
    QTest::addColumn<QString>("address"); // "": the private bus, with no server on it
    QTest::newRow("no notification server") << "";
    QTest::newRow("no session bus") << "unix:path=/nonexistent/hytune-bus";
}

void TestDesktopNotifier::nothingShown()
{
    QFETCH(QString, address);
    cleanup(); // no server
    auto n = notifier(address.isEmpty() ? m_bus.address() : address);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Desktop notifications are not shown"));
    QTest::failOnWarning(QRegularExpression("notifications"));
    for (int i = 0; i < 3; ++i) {
        n->notify({"A", {}, {Again}});
        QTRY_VERIFY(!n->isBusy());
    }
    QCOMPARE(n->shownId(), 0u);
    QCOMPARE(m_asked, 1);
}

QTEST_GUILESS_MAIN(TestDesktopNotifier)
#include "test_desktopnotifier.moc"
