// The desktop-wide hotkey through the main window, with the real X11 key grab:
// keys are typed with xdotool (XTEST) as from any program, the key is chosen
// in cbbKey with the keyboard, and another X client competes for the grab.
#include "fakes/formrig.h"
#include "support/otherclient.h"
#include "support/xwidgets.h"

#include "platform/hotkey/globalhotkey.h"
#include "platform/x11/x11hotkey.h"
#include "shell/application.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QWindow>
#include <QtTest>

#include <X11/keysym.h>

using Status = hy::GlobalHotkey::Status;
using xdesk::widOf;

class TestDesktopHotkey : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void togglesCountdown_data();
    void togglesCountdown();
    void otherKeysDoNothing_data();
    void otherKeysDoNothing();
    void userChoosesAnotherKey();
    void keyTakenByAnotherProgram();

private:
    // The window with the real desktop-wide hotkey and the second count ticked,
    // shown and active.
    TForm1& showForm();
    bool isRunning() const { return m_rig->form->countdown().isActive(); }
    int starts() const { return m_rig->ticks->starts; }
    // Chooses an entry of cbbKey as the user does: keyboard on the focused box.
    bool chooseKey(const QString& key);

    std::unique_ptr<FormRig> m_rig;
    OtherClient m_other;
};

void TestDesktopHotkey::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY2(xdesk::windowManagerRuns(), "the session has no window manager");
    QVERIFY(m_other.ok());
    QVERIFY2(xdesk::xdotool({QStringLiteral("version")}), "xdotool is needed");
    hy::installFontSubstitutes();
    QCOMPARE(m_other.modifierState() & (XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2), 0);
}

void TestDesktopHotkey::cleanup()
{
    m_rig.reset();
    // Whatever a test left behind: no locks on, no foreign grabs.
    m_other.releaseGrabsAndLocks();
}

TForm1& TestDesktopHotkey::showForm()
{
    m_rig = std::make_unique<FormRig>();
    hy::FormServices services = m_rig->services();
    services.makeHotkey = [] { return hy::createGlobalHotkey(); };
    m_rig->make(std::move(services));
    TForm1& form = *m_rig->form;
    m_rig->find<QCheckBox>("chkSec")->setChecked(true);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form) ||
        !QTest::qWaitFor([&] { return xdesk::activeWindow() == widOf(form); }))
        qWarning("the window did not become active");
    return form;
}

bool TestDesktopHotkey::chooseKey(const QString& key)
{
    auto* box = m_rig->find<QComboBox>("cbbKey");
    box->setFocus();
    if (!QTest::qWaitFor([&] { return box->hasFocus(); }))
        return false;
    // Home goes to F1, then Down to the key wanted.
    const int steps = box->findText(key);
    if (!xdesk::xdotool({QStringLiteral("key"), QStringLiteral("Home")}))
        return false;
    for (int i = 0; i < steps; ++i) {
        if (!xdesk::xdotool({QStringLiteral("key"), QStringLiteral("Down")}))
            return false;
    }
    return QTest::qWaitFor([&] { return box->currentText() == key; });
}

void TestDesktopHotkey::togglesCountdown_data()
{
    QTest::addColumn<QStringList>("locks");
    QTest::newRow("no lock") << QStringList{};
    QTest::newRow("NumLock on") << QStringList{"Num_Lock"};
    QTest::newRow("CapsLock on") << QStringList{"Caps_Lock"};
    QTest::newRow("both locks on") << QStringList{"Num_Lock", "Caps_Lock"};
}

void TestDesktopHotkey::togglesCountdown()
{
    QFETCH(QStringList, locks);
    TForm1& form = showForm();
    QCOMPARE(form.hotkey()->status(), Status::Registered);
    const auto* x11 = dynamic_cast<const hy::X11Hotkey*>(form.hotkey());
    QVERIFY(x11);

    quint16 expected = 0;
    for (const QString& lock : locks) {
        QVERIFY(xdesk::xdotool({QStringLiteral("key"), lock}));
        expected |= lock == "Num_Lock" ? x11->numLockMask() : quint16(XCB_MOD_MASK_LOCK);
    }
    // The locks really are on, so the row tests what it says.
    QCOMPARE(m_other.modifierState() & (XCB_MOD_MASK_LOCK | x11->numLockMask()), expected);

    QVERIFY(!isRunning());
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F1")}));
    QTRY_VERIFY(isRunning());
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F1")}));
    QTRY_VERIFY(!isRunning());
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F1")}));
    QTRY_VERIFY(isRunning());
    QCOMPARE(starts(), 2);
}

void TestDesktopHotkey::otherKeysDoNothing_data()
{
    QTest::addColumn<QString>("keys");
    QTest::newRow("F1") << "F1";
    QTest::newRow("ctrl+shift+F1") << "ctrl+shift+F1";
    QTest::newRow("shift+F1") << "shift+F1";
    QTest::newRow("ctrl+alt+F1") << "ctrl+alt+F1";
    QTest::newRow("ctrl+F2") << "ctrl+F2";
    QTest::newRow("ctrl+F12") << "ctrl+F12";
}

void TestDesktopHotkey::otherKeysDoNothing()
{
    QFETCH(QString, keys);
    showForm();
    QVERIFY(xdesk::typeKeys({keys}));
    QVERIFY(!isRunning());
    QCOMPARE(starts(), 0);
    // The key after it is heard, so the one before really was ignored.
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F1")}));
    QTRY_VERIFY(isRunning());
    QCOMPARE(starts(), 1);
}

void TestDesktopHotkey::userChoosesAnotherKey()
{
    TForm1& form = showForm();
    auto* box = m_rig->find<QComboBox>("cbbKey");
    const quint8 f1 = m_other.keyCode(XK_F1);
    QVERIFY(f1 != 0);

    // A selection made by the program registers nothing: Ctrl+F1 still works.
    box->setCurrentIndex(box->findText(QStringLiteral("F12")));
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F12")}));
    QVERIFY(!isRunning());
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F1")}));
    QTRY_VERIFY(isRunning());
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F1")}));
    QTRY_VERIFY(!isRunning());
    box->setCurrentIndex(0);

    // The user's choice takes Ctrl+F12 and gives Ctrl+F1 back at once.
    QVERIFY(chooseKey(QStringLiteral("F12")));
    QCOMPARE(form.hotkey()->status(), Status::Registered);
    QCOMPARE(m_other.grab(f1, XCB_MOD_MASK_CONTROL), 0);
    m_other.ungrabAll();
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F1")}));
    QVERIFY(!isRunning());
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F12")}));
    QTRY_VERIFY(isRunning());
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F12")}));
    QTRY_VERIFY(!isRunning());
    QCOMPARE(starts(), 2);
}

void TestDesktopHotkey::keyTakenByAnotherProgram()
{
    // Another program holds Ctrl+F1 before the window starts.
    const quint8 f1 = m_other.keyCode(XK_F1);
    QVERIFY(f1 != 0);
    QCOMPARE(m_other.grab(f1, XCB_MOD_MASK_CONTROL), 0);

    TForm1& form = showForm();
    auto* box = m_rig->find<QComboBox>("cbbKey");
    QCOMPARE(form.hotkey()->status(), Status::Taken);
    // Said in the key box's hint, in a sentence for the user ...
    QVERIFY2(box->toolTip().contains(QLatin1String("Ctrl+F1")), qPrintable(box->toolTip()));
    QVERIFY2(box->toolTip().contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]"))),
             qPrintable(box->toolTip()));
    // ... and once by the tray icon, at start as after a change of key ...
    const auto trayMessageSays = [](const QString& text) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || QByteArray(w->metaObject()->className()) != "QBalloonTip")
                continue;
            for (const QLabel* label : w->findChildren<QLabel*>()) {
                if (label->text().contains(text))
                    return true;
            }
        }
        return false;
    };
    QTRY_VERIFY(trayMessageSays(QStringLiteral("Ctrl+F1")));
    // ... with no box in the way, and the window goes on working.
    QVERIFY(xdesk::holdsFor(300, [&] { return !anyBoxShown() && form.isVisible(); }));
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F1")}));
    QVERIFY(!isRunning());

    // Another key can be chosen and works; the hint is cleared.
    QVERIFY(chooseKey(QStringLiteral("F5")));
    QCOMPARE(form.hotkey()->status(), Status::Registered);
    QVERIFY(box->toolTip().isEmpty());
    QVERIFY(xdesk::typeKeys({QStringLiteral("ctrl+F5")}));
    QTRY_VERIFY(isRunning());
    QVERIFY(!anyBoxShown());
}

QTEST_MAIN(TestDesktopHotkey)
#include "test_desktop_hotkey.moc"
