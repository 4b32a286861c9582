// The X11 hotkey against a real X server: keys are typed with xdotool (XTEST),
// and a second X client competes for the same grabs.
#include "platform/hotkey/globalhotkey.h"
#include "platform/x11/x11hotkey.h"
#include "support/otherclient.h"
#include "support/xevents.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QWindow>
#include <QtTest>

#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <memory>

using hy::GlobalHotkey;
using hy::X11Hotkey;
using Status = GlobalHotkey::Status;

namespace {

// All four lock variants of a modifier set (NumLock given by its mask).
QList<quint16> withLocks(quint16 mods, quint16 numLock)
{
    return {mods, quint16(mods | XCB_MOD_MASK_LOCK), quint16(mods | numLock),
            quint16(mods | XCB_MOD_MASK_LOCK | numLock)};
}

} // namespace

class TestX11Hotkey : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void keyCombinations_data();
    void keyCombinations();
    void heldKeyFiresOnce();
    void firesWhileOwnWindowHasFocus();
    void switchingKeyReleasesOld();
    void unregisterReleasesAll();
    void destructionReleases();
    void badKeyKeepsGrab_data();
    void badKeyKeepsGrab();
    void takenByOtherClient_data();
    void takenByOtherClient();
    void keyCodeComesFromMapping();
    void followsMappingChange();
    void factoryPicksBackend();

private:
    OtherClient m_other;
    OtherClient::Mapping m_originalMapping;
};

void TestX11Hotkey::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY(m_other.ok());
    QVERIFY2(xdesk::xdotool({QStringLiteral("version")}), "xdotool is needed");
    m_originalMapping = m_other.mapping();
    QVERIFY(m_originalMapping.count() > 0);
    QCOMPARE(m_other.modifierState() & (XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2), 0);
}

void TestX11Hotkey::cleanup()
{
    // Whatever a test left behind: no locks on, no foreign grabs, old mapping.
    m_other.releaseGrabsAndLocks();
    if (m_other.mapping().syms != m_originalMapping.syms)
        m_other.setMapping(m_originalMapping);
}

void TestX11Hotkey::keyCombinations_data()
{
    QTest::addColumn<QStringList>("locks");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<int>("presses");

    const QStringList none;
    const QString num = QStringLiteral("Num_Lock");
    const QString caps = QStringLiteral("Caps_Lock");
    QTest::newRow("ctrl+F1") << none << QStringList{"ctrl+F1"} << 1;
    QTest::newRow("ctrl+F1 twice") << none << QStringList{"ctrl+F1", "ctrl+F1"} << 2;
    QTest::newRow("right ctrl+F1") << none << QStringList{"Control_R+F1"} << 1;
    QTest::newRow("ctrl+F1, NumLock on") << QStringList{num} << QStringList{"ctrl+F1"} << 1;
    QTest::newRow("ctrl+F1, CapsLock on") << QStringList{caps} << QStringList{"ctrl+F1"} << 1;
    QTest::newRow("ctrl+F1, both locks on")
        << QStringList{num, caps} << QStringList{"ctrl+F1"} << 1;
    QTest::newRow("F1") << none << QStringList{"F1"} << 0;
    QTest::newRow("F1, NumLock on") << QStringList{num} << QStringList{"F1"} << 0;
    QTest::newRow("shift+F1") << none << QStringList{"shift+F1"} << 0;
    QTest::newRow("ctrl+shift+F1") << none << QStringList{"ctrl+shift+F1"} << 0;
    QTest::newRow("ctrl+shift+F1, both locks on")
        << QStringList{num, caps} << QStringList{"ctrl+shift+F1"} << 0;
    QTest::newRow("ctrl+alt+F1") << none << QStringList{"ctrl+alt+F1"} << 0;
    QTest::newRow("ctrl+super+F1") << none << QStringList{"ctrl+super+F1"} << 0;
    QTest::newRow("ctrl+F2") << none << QStringList{"ctrl+F2"} << 0;
    QTest::newRow("ctrl+F11") << none << QStringList{"ctrl+F11"} << 0;
    QTest::newRow("mixed") << QStringList{caps}
                           << QStringList{"F1", "ctrl+F1", "ctrl+shift+F1", "ctrl+F1", "alt+F1"}
                           << 2;
}

void TestX11Hotkey::keyCombinations()
{
    QFETCH(QStringList, locks);
    QFETCH(QStringList, keys);
    QFETCH(int, presses);

    X11Hotkey hotkey;
    hotkey.registerKey(1);
    QCOMPARE(hotkey.status(), Status::Registered);
    QVERIFY(hotkey.problem().isEmpty());
    QCOMPARE(hotkey.functionKey(), 1);

    quint16 expectedLocks = 0;
    for (const QString& lock : locks) {
        QVERIFY(xdesk::xdotool({QStringLiteral("key"), lock}));
        expectedLocks |=
            lock == QLatin1String("Num_Lock") ? hotkey.numLockMask() : quint16(XCB_MOD_MASK_LOCK);
    }
    // The lock really is on, so the case tests what it says.
    QCOMPARE(m_other.modifierState() & (XCB_MOD_MASK_LOCK | hotkey.numLockMask()), expectedLocks);

    QSignalSpy spy(&hotkey, &GlobalHotkey::pressed);
    QVERIFY(xdesk::typeKeys(keys));
    QCOMPARE(spy.count(), presses);
}

void TestX11Hotkey::heldKeyFiresOnce()
{
    X11Hotkey hotkey;
    hotkey.registerKey(1);
    QCOMPARE(hotkey.status(), Status::Registered);
    QSignalSpy spy(&hotkey, &GlobalHotkey::pressed);

    // Held well past the server's auto-repeat delay.
    QVERIFY(xdesk::xdotool({QStringLiteral("keydown"), QStringLiteral("ctrl+F1")}));
    QTest::qWait(1500);
    QVERIFY(xdesk::xdotool({QStringLiteral("keyup"), QStringLiteral("F1")}));
    QVERIFY(xdesk::xdotool({QStringLiteral("keyup"), QStringLiteral("ctrl")}));
    xdesk::settle(150);
    QCOMPARE(spy.count(), 1);

    // And the next real press counts again.
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F1")}));
    QCOMPARE(spy.count(), 2);
}

void TestX11Hotkey::firesWhileOwnWindowHasFocus()
{
    X11Hotkey hotkey;
    hotkey.registerKey(1);
    QWindow window;
    window.resize(200, 100);
    window.show();
    window.requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    QSignalSpy spy(&hotkey, &GlobalHotkey::pressed);
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F1")}));
    QCOMPARE(spy.count(), 1);
}

void TestX11Hotkey::switchingKeyReleasesOld()
{
    X11Hotkey hotkey;
    hotkey.registerKey(1);
    const QList<quint8> f1 = hotkey.keyCodes();
    QCOMPARE(f1.size(), 1);

    hotkey.registerKey(12);
    QCOMPARE(hotkey.status(), Status::Registered);
    QCOMPARE(hotkey.functionKey(), 12);
    QCOMPARE(hotkey.keyCodes().size(), 1);
    QVERIFY(hotkey.keyCodes() != f1);

    QSignalSpy spy(&hotkey, &GlobalHotkey::pressed);
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F1")}));
    QCOMPARE(spy.count(), 0);
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F12")}));
    QCOMPARE(spy.count(), 1);

    // Ctrl+F1 is free again in all four lock variants.
    for (quint16 mods : withLocks(XCB_MOD_MASK_CONTROL, hotkey.numLockMask()))
        QCOMPARE(m_other.grab(f1.first(), mods), 0);
}

void TestX11Hotkey::unregisterReleasesAll()
{
    X11Hotkey hotkey;
    QSignalSpy changes(&hotkey, &GlobalHotkey::statusChanged);
    hotkey.registerKey(12);
    const QList<quint8> f12 = hotkey.keyCodes();
    QCOMPARE(f12.size(), 1);
    hotkey.unregisterKey();
    QCOMPARE(hotkey.status(), Status::Idle);
    QVERIFY(hotkey.problem().isEmpty());
    QVERIFY(hotkey.keyCodes().isEmpty());
    QCOMPARE(hotkey.functionKey(), 0);
    QCOMPARE(changes.count(), 2);
    QCOMPARE(changes.at(0).at(0).value<Status>(), Status::Registered);
    QCOMPARE(changes.at(1).at(0).value<Status>(), Status::Idle);

    QSignalSpy spy(&hotkey, &GlobalHotkey::pressed);
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F12"), QStringLiteral("ctrl+F1")}));
    QCOMPARE(spy.count(), 0);
    for (quint16 mods : withLocks(XCB_MOD_MASK_CONTROL, hotkey.numLockMask()))
        QCOMPARE(m_other.grab(f12.first(), mods), 0);

    // Registering again after a release works.
    m_other.ungrabAll();
    hotkey.registerKey(12);
    QCOMPARE(hotkey.status(), Status::Registered);
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F12")}));
    QCOMPARE(spy.count(), 1);
}

void TestX11Hotkey::destructionReleases()
{
    QList<quint8> codes;
    quint16 numLock = 0;
    {
        X11Hotkey hotkey;
        hotkey.registerKey(3);
        QCOMPARE(hotkey.status(), Status::Registered);
        codes = hotkey.keyCodes();
        numLock = hotkey.numLockMask();
    }
    QCOMPARE(codes.size(), 1);
    for (quint16 mods : withLocks(XCB_MOD_MASK_CONTROL, numLock))
        QCOMPARE(m_other.grab(codes.first(), mods), 0);
}

void TestX11Hotkey::badKeyKeepsGrab_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("0") << 0;
    QTest::newRow("13") << 13;
    QTest::newRow("-1") << -1;
}

void TestX11Hotkey::badKeyKeepsGrab()
{
    QFETCH(int, key);
    X11Hotkey hotkey;
    hotkey.registerKey(2);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("F%1").arg(key)));
    hotkey.registerKey(key);
    QCOMPARE(hotkey.status(), Status::Registered);
    QCOMPARE(hotkey.functionKey(), 2);
    QSignalSpy spy(&hotkey, &GlobalHotkey::pressed);
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F2")}));
    QCOMPARE(spy.count(), 1);
}

void TestX11Hotkey::takenByOtherClient_data()
{
    // Which of the four variants the other program holds.
    QTest::addColumn<bool>("capsLock");
    QTest::addColumn<bool>("numLock");
    QTest::newRow("plain") << false << false;
    QTest::newRow("with CapsLock") << true << false;
    QTest::newRow("with NumLock") << false << true;
    QTest::newRow("with both") << true << true;
}

void TestX11Hotkey::takenByOtherClient()
{
    QFETCH(bool, capsLock);
    QFETCH(bool, numLock);

    // Where F1 is and which bit NumLock uses, from a hotkey that held it.
    QList<quint8> codes;
    quint16 numLockMask = 0;
    {
        X11Hotkey probe;
        probe.registerKey(1);
        codes = probe.keyCodes();
        numLockMask = probe.numLockMask();
    }
    QCOMPARE(codes.size(), 1);
    const quint16 held =
        XCB_MOD_MASK_CONTROL | (capsLock ? XCB_MOD_MASK_LOCK : 0) | (numLock ? numLockMask : 0);
    QCOMPARE(m_other.grab(codes.first(), held), 0);

    X11Hotkey hotkey;
    QSignalSpy changes(&hotkey, &GlobalHotkey::statusChanged);
    hotkey.registerKey(1);
    QCOMPARE(hotkey.status(), Status::Taken);
    QVERIFY(hotkey.problem().contains(QLatin1String("Ctrl+F1")));
    QCOMPARE(changes.count(), 1);
    QVERIFY(hotkey.keyCodes().isEmpty());

    // The variants that did succeed were given back.
    for (quint16 mods : withLocks(XCB_MOD_MASK_CONTROL, numLockMask)) {
        if (mods != held)
            QCOMPARE(m_other.grab(codes.first(), mods), 0);
    }
    m_other.ungrabAll();

    // Another key works meanwhile; once F1 is free, it can be had again.
    hotkey.registerKey(4);
    QCOMPARE(hotkey.status(), Status::Registered);
    QVERIFY(hotkey.problem().isEmpty());
    hotkey.registerKey(1);
    QCOMPARE(hotkey.status(), Status::Registered);
    QSignalSpy spy(&hotkey, &GlobalHotkey::pressed);
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F1")}));
    QCOMPARE(spy.count(), 1);
}

namespace {
// Moves the keysym of F<n> from wherever it is to the first unused key code.
// Returns that key code, or 0.
quint8 moveFunctionKey(OtherClient::Mapping& m, int n)
{
    const xcb_keysym_t sym = XK_F1 + n - 1;
    int spare = 0;
    for (int code = m.first + m.count() - 1; code >= m.first + 8 && spare == 0; --code) {
        bool empty = true;
        for (int col = 0; col < m.perCode; ++col)
            empty = empty && m.at(code, col) == 0;
        if (empty)
            spare = code;
    }
    if (spare == 0)
        return 0;
    for (int code = m.first; code < m.first + m.count(); ++code) {
        for (int col = 0; col < m.perCode; ++col) {
            if (m.at(code, col) == sym)
                m.syms[(code - m.first) * m.perCode + col] = 0;
        }
    }
    m.syms[(spare - m.first) * m.perCode] = sym;
    m.syms[(spare - m.first) * m.perCode + 1] = sym;
    return quint8(spare);
}
} // namespace

void TestX11Hotkey::keyCodeComesFromMapping()
{
    X11Hotkey before;
    before.registerKey(5);
    const QList<quint8> usual = before.keyCodes();
    QCOMPARE(usual.size(), 1);
    before.unregisterKey();

    OtherClient::Mapping moved = m_originalMapping;
    const quint8 spare = moveFunctionKey(moved, 5);
    QVERIFY(spare != 0);
    QVERIFY(!usual.contains(spare));
    m_other.setMapping(moved);

    X11Hotkey hotkey;
    hotkey.registerKey(5);
    QCOMPARE(hotkey.status(), Status::Registered);
    QCOMPARE(hotkey.keyCodes(), QList<quint8>{spare});
    QSignalSpy spy(&hotkey, &GlobalHotkey::pressed);
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F5")}));
    QCOMPARE(spy.count(), 1);
    // The key code F5 had before is no longer F5 and is not held.
    QCOMPARE(m_other.grab(usual.first(), XCB_MOD_MASK_CONTROL), 0);
}

void TestX11Hotkey::followsMappingChange()
{
    X11Hotkey hotkey;
    hotkey.registerKey(6);
    const QList<quint8> usual = hotkey.keyCodes();
    QCOMPARE(usual.size(), 1);

    OtherClient::Mapping moved = m_originalMapping;
    const quint8 spare = moveFunctionKey(moved, 6);
    QVERIFY(spare != 0);
    m_other.setMapping(moved);
    QTRY_COMPARE(hotkey.keyCodes(), QList<quint8>{spare});
    QCOMPARE(hotkey.status(), Status::Registered);
    QCOMPARE(m_other.grab(usual.first(), XCB_MOD_MASK_CONTROL), 0);

    QSignalSpy spy(&hotkey, &GlobalHotkey::pressed);
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F6")}));
    QCOMPARE(spy.count(), 1);

    m_other.ungrabAll();
    m_other.setMapping(m_originalMapping);
    QTRY_COMPARE(hotkey.keyCodes(), usual);
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F6")}));
    QCOMPARE(spy.count(), 2);
}

void TestX11Hotkey::factoryPicksBackend()
{
    {
        auto hotkey = hy::createGlobalHotkey();
        QVERIFY(dynamic_cast<X11Hotkey*>(hotkey.get()));
    }
    // An X server reached from a Wayland session does not count: the portal
    // is asked instead (or, with no session bus, nothing is). This session
    // has no portal with global shortcuts, so either way the answer is a
    // clear "no" with a reason, and the program keeps running.
    qputenv("WAYLAND_DISPLAY", "wayland-test");
    auto hotkey = hy::createGlobalHotkey();
    qunsetenv("WAYLAND_DISPLAY");
    QVERIFY(!dynamic_cast<X11Hotkey*>(hotkey.get()));
    hotkey->registerKey(1);
    QTRY_COMPARE_WITH_TIMEOUT(hotkey->status(), Status::Unavailable, 30000);
    QVERIFY(!hotkey->problem().isEmpty());
}

QTEST_MAIN(TestX11Hotkey)
#include "test_x11hotkey.moc"
