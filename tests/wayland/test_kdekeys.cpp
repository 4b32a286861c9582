// On the real KDE Plasma desktop (session.sh start-wayland): which Ctrl+F
// keys KDE's shortcut daemon gives to others, and the free key nearest to
// the one chosen, as the daemon's keys change; and that KDE's portal, which
// has GlobalShortcuts, is not taken for a GNOME without them.
#include "platform/hotkey/gnomeshortcuts.h"
#include "platform/hotkey/kdefreekeys.h"
#include "support/xdesktop.h"

#include <QtTest>

namespace {

// A call to the daemon through gdbus: the method, then its arguments.
bool accel(const QStringList& call)
{
    bool ok = false;
    xdesk::tool(QStringLiteral("gdbus"),
                QStringList{QStringLiteral("call"), QStringLiteral("--session"),
                            QStringLiteral("--dest"), QStringLiteral("org.kde.kglobalaccel"),
                            QStringLiteral("--object-path"), QStringLiteral("/kglobalaccel"),
                            QStringLiteral("--method"),
                            QStringLiteral("org.kde.KGlobalAccel.") + call.first()} +
                    call.mid(1),
                &ok);
    return ok;
}

// Qt's key codes: Ctrl+F1 is 0x05000030.
QString ctrlF(int n)
{
    return QStringLiteral("[%1]").arg(0x05000030 + n - 1);
}

const QString kDesktop1 =
    QStringLiteral("['kwin', 'Switch to Desktop 1', 'KWin', 'Switch to Desktop 1']");

QStringList actionOf(const QString& component)
{
    return {QStringLiteral("[%1, 'probe', 'test', 'Probe']").arg("'" + component + "'")};
}

} // namespace

class TestKdeKeys : public QObject
{
    Q_OBJECT
private slots:
    void heldKeys_data();
    void heldKeys();
    void portalOfAnotherDesktop();
};

void TestKdeKeys::heldKeys_data()
{
    QTest::addColumn<QList<QStringList>>("change");
    QTest::addColumn<QList<QStringList>>("undo");
    QTest::addColumn<QString>("held");
    QTest::addColumn<QString>("holderOfF11");
    QTest::addColumn<int>("wanted");
    QTest::addColumn<int>("nearest");
    // Ctrl+F11: no other test's; Ctrl+F5 may be left with the program's own
    // session by the Wayland tests.
    const auto take = [](const QString& component) {
        return QList<QStringList>{QStringList{"doRegister"} + actionOf(component),
                                  QStringList{"setShortcut"} + actionOf(component) +
                                      QStringList{ctrlF(11), "6"}};
    };
    const auto untake = [](const QString& component) {
        return QList<QStringList>{{"unregister", component, "probe"}};
    };
    const QList<QStringList> none;
    QTest::newRow("KWin's defaults") << none << none << "1 2 3 4 7 9 10" << QString() << 1 << 5;
    QTest::newRow("Ctrl+F1 freed")
        << QList<QStringList>{{"setForeignShortcut", kDesktop1, "[0]"}}
        << QList<QStringList>{{"setForeignShortcut", kDesktop1, ctrlF(1)}} << "2 3 4 7 9 10"
        << QString() << 1 << 1;
    // F10 is KWin's: F11 is nearest; once taken, F8 and F12 are as near.
    QTest::newRow("free above") << none << none << "1 2 3 4 7 9 10" << QString() << 10 << 11;
    QTest::newRow("Ctrl+F11 taken")
        << take("hytunetest") << untake("hytunetest") << "1 2 3 4 7 9 10 11"
        << "Probe" << 10 << 12;
    // The program's own portal session holds it: free for the program.
    QTest::newRow("Ctrl+F11 ours") << take("hytune_session_f11") << untake("hytune_session_f11")
                                   << "1 2 3 4 7 9 10" << QString() << 10 << 11;
}

void TestKdeKeys::heldKeys()
{
    QFETCH(QList<QStringList>, change);
    QFETCH(QList<QStringList>, undo);
    QFETCH(QString, held);
    QFETCH(QString, holderOfF11);
    QFETCH(int, wanted);
    QFETCH(int, nearest);
    for (const QStringList& call : change)
        QVERIFY2(accel(call), qPrintable(call.join(' ')));
    std::optional<hy::KdeHeldKeys> got;
    hy::askKdeHeldCtrlFunctionKeys(QDBusConnection::sessionBus(), this,
                                   [&](const hy::KdeHeldKeys& keys) { got = keys; });
    const bool answered = QTest::qWaitFor([&] { return got.has_value(); }, 10000);
    for (const QStringList& call : undo)
        QVERIFY2(accel(call), qPrintable(call.join(' ')));
    QVERIFY(answered && got->known);
    QStringList keys;
    for (int k : got->held.keys())
        keys << QString::number(k);
    QCOMPARE(keys.join(' '), held);
    QCOMPARE(got->held.value(11), holderOfF11);
    QCOMPARE(got->held.value(9), QStringLiteral("Toggle Present Windows (Current desktop)"));
    QCOMPARE(got->nearestFree(wanted), nearest);
}

// A desktop that calls itself GNOME but whose portal has GlobalShortcuts
// (here KDE's, and no GNOME Shell to say otherwise) uses the portal.
void TestKdeKeys::portalOfAnotherDesktop()
{
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    std::optional<bool> without;
    hy::askGnomeWithoutShortcutPortal(QDBusConnection::sessionBus(), this,
                                      [&](bool answer) { without = answer; });
    const bool answered = QTest::qWaitFor([&] { return without.has_value(); }, 10000);
    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    QVERIFY(answered);
    QVERIFY(!*without);
}

QTEST_GUILESS_MAIN(TestKdeKeys)
#include "test_kdekeys.moc"
