// The main window on a real X desktop (Xvfb + openbox + trayer): where it is
// placed, stay-on-top as the window manager sees it, and the tray icon:
// minimizing to it, clicks on it, and its end with the window. Everything is
// checked from outside the program with the standard X tools.
#include "fakes/formrig.h"
#include "support/xwidgets.h"

#include "shell/application.h"
#include "shell/trayicon.h"

#include <QCheckBox>
#include <QMenu>
#include <QScopeGuard>
#include <QScreen>
#include <QStyleHints>
#include <QToolTip>
#include <QWindow>
#include <QtTest>

using xdesk::Wid;
using xdesk::widOf;

namespace {

const QString kTip = QStringLiteral("禾音语音定时器");
const QString kAbove = QStringLiteral("_NET_WM_STATE_ABOVE");

TTrayIcon* trayOf(const TForm1& form)
{
    return form.findChild<TTrayIcon*>(QStringLiteral("trycn1"));
}

QPoint iconCentre(const TForm1& form)
{
    return trayOf(form)->icon()->geometry().center();
}

// Moves the mouse onto the tray icon and waits for its tooltip. Two steps,
// each seen by the program: a move that ends where the last one it saw ended
// counts as no move at all.
bool hoverShowsTip(const TForm1& form)
{
    const QPoint centre = iconCentre(form);
    for (const QPoint p : {centre - QPoint(3, 3), centre + QPoint(1, 1)}) {
        if (!xdesk::xdotool(
                {QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())}))
            return false;
        xdesk::settle();
    }
    return QTest::qWaitFor([] { return QToolTip::isVisible() && QToolTip::text() == kTip; }, 3000);
}

bool moveAway()
{
    return xdesk::xdotool(
        {QStringLiteral("mousemove"), QStringLiteral("500"), QStringLiteral("5")});
}

bool clickWidget(const QWidget* w)
{
    return xdesk::clickAt(w->mapToGlobal(w->rect().center()));
}

// An ordinary window of another program (xev, which only watches).
class OtherProgram
{
public:
    OtherProgram()
    {
        m_process.start(QStringLiteral("xev"),
                        {QStringLiteral("-geometry"), QStringLiteral("180x120+20+20"),
                         QStringLiteral("-name"), QStringLiteral("hytune-other")});
        m_process.waitForStarted();
    }
    ~OtherProgram()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    // Its managed window, once the window manager has it.
    Wid window()
    {
        if (!m_wid && !QTest::qWaitFor([&] { return (m_wid = xdesk::windowNamed(kName)) != 0; }))
            qWarning("the other program's window did not appear");
        return m_wid;
    }

private:
    static inline const QString kName = QStringLiteral("hytune-other");
    QProcess m_process;
    Wid m_wid = 0;
};

} // namespace

class TestDesktopWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void placedInCentreWithFixedSize();
    void stayOnTopFollowsCheckBox();
    void stayOnTopFromSettings();
    void trayIconWithTooltip();
    void minimizeHidesToTray_data();
    void minimizeHidesToTray();
    void otherButtonsDoNothing_data();
    void otherButtonsDoNothing();
    void clickWhileShownActivates();
    void clickSoonAfterClickRestores_data();
    void clickSoonAfterClickRestores();
    void quickMinimizeRestore_data();
    void quickMinimizeRestore();
    void closingRemovesIcon();

private:
    // The window of one test, shown and waited for.
    TForm1& showForm(const QByteArray& settings = {});
    // Minimizes the window and waits until it is in the tray.
    bool minimizeToTray();

    std::unique_ptr<FormRig> m_rig;
    QString m_class; // our WM_CLASS, to find our windows among others
};

void TestDesktopWindow::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY2(xdesk::windowManagerRuns(), "the session has no window manager");
    QVERIFY2(xdesk::xdotool({QStringLiteral("version")}), "xdotool is needed");
    hy::installFontSubstitutes();
    QTRY_VERIFY2(QSystemTrayIcon::isSystemTrayAvailable(), "the session has no tray host");
}

void TestDesktopWindow::init()
{
    m_rig = std::make_unique<FormRig>();
}

void TestDesktopWindow::cleanup()
{
    m_rig.reset();
    // The next test starts with the pointer away from everything.
    moveAway();
}

TForm1& TestDesktopWindow::showForm(const QByteArray& settings)
{
    if (!settings.isEmpty())
        m_rig->writeSettings(settings);
    TForm1& form = m_rig->make();
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        qWarning("the window was not exposed");
    if (m_class.isEmpty())
        m_class = xdesk::wmClass(widOf(form));
    return form;
}

bool TestDesktopWindow::minimizeToTray()
{
    TForm1& form = *m_rig->form;
    const Wid wid = widOf(form);
    form.showMinimized();
    return QTest::qWaitFor([&] { return xdesk::isInTray(form, wid); }, 5000);
}

void TestDesktopWindow::placedInCentreWithFixedSize()
{
    TForm1& form = showForm();
    const Wid wid = widOf(form);
    QTRY_VERIFY(!xdesk::frameExtents(wid).isNull());
    const QRect client = xdesk::clientRect(wid);
    QCOMPARE(client.size(), QSize(544, 362));

    // The whole window, frame included, sits in the middle of the screen.
    const QRect screen = form.screen()->geometry();
    const auto frameCentre = [&] {
        const QRect c = xdesk::clientRect(wid);
        return c.marginsAdded(xdesk::frameExtents(wid)).center();
    };
    QTRY_VERIFY2((frameCentre() - screen.center()).manhattanLength() <= 3,
                 qPrintable(QStringLiteral("frame centre %1,%2, screen centre %3,%4")
                                .arg(frameCentre().x())
                                .arg(frameCentre().y())
                                .arg(screen.center().x())
                                .arg(screen.center().y())));

    // The window manager is told that the size is fixed, and offers no way to
    // change it.
    const QString hints = xdesk::xprop(wid, QStringLiteral("WM_NORMAL_HINTS"));
    QVERIFY2(hints.contains(QLatin1String("minimum size: 544 by 362")), qPrintable(hints));
    QVERIFY2(hints.contains(QLatin1String("maximum size: 544 by 362")), qPrintable(hints));
    const QString actions = xdesk::xprop(wid, QStringLiteral("_NET_WM_ALLOWED_ACTIONS"));
    QVERIFY2(actions.contains(QLatin1String("_NET_WM_ACTION_MINIMIZE")), qPrintable(actions));
    QVERIFY2(!actions.contains(QLatin1String("_NET_WM_ACTION_RESIZE")), qPrintable(actions));
    QVERIFY2(!actions.contains(QLatin1String("_NET_WM_ACTION_MAXIMIZE")), qPrintable(actions));

    // A resize asked of the window manager changes nothing.
    QVERIFY(xdesk::xdotool({QStringLiteral("windowsize"), QString::number(wid),
                            QStringLiteral("800"), QStringLiteral("600")}));
    xdesk::settle();
    QVERIFY(xdesk::holdsFor(300, [&] { return xdesk::clientRect(wid).size() == QSize(544, 362); }));
    QCOMPARE(form.size(), QSize(544, 362));
}

void TestDesktopWindow::stayOnTopFollowsCheckBox()
{
    TForm1& form = showForm();
    const Wid wid = widOf(form);
    auto* box = m_rig->find<QCheckBox>("chkDispTop");
    QVERIFY(xdesk::iconInPlace(*trayOf(form)->icon(), m_class));
    OtherProgram other;
    const Wid otherWid = other.window();
    QVERIFY(otherWid != 0);
    QVERIFY(!xdesk::netWmState(wid).contains(kAbove));

    // Activating the other window puts it above ours ...
    const auto activate = [](Wid w) {
        return xdesk::xdotool({QStringLiteral("windowactivate"), QString::number(w)});
    };
    const auto onTop = [](Wid w, Wid under) {
        const QList<Wid> order = xdesk::stackingOrder();
        return order.indexOf(w) > order.indexOf(under) && order.indexOf(under) >= 0;
    };
    QVERIFY(activate(otherWid));
    QTRY_VERIFY(onTop(otherWid, wid));

    // ... until the box is ticked: then ours stays above, even when the other
    // one is activated again.
    QVERIFY(clickWidget(box));
    QTRY_VERIFY(box->isChecked());
    QTRY_VERIFY(xdesk::netWmState(wid).contains(kAbove));
    QVERIFY(activate(otherWid));
    QTRY_COMPARE(xdesk::activeWindow(), otherWid);
    QTRY_VERIFY(onTop(wid, otherWid));
    QCOMPARE(widOf(form), wid);

    // Unticked: an ordinary window again.
    QVERIFY(clickWidget(box));
    QTRY_VERIFY(!box->isChecked());
    QTRY_VERIFY(!xdesk::netWmState(wid).contains(kAbove));
    QVERIFY(activate(otherWid));
    QTRY_VERIFY(onTop(otherWid, wid));
    QCOMPARE(widOf(form), wid);

    // Ticked once more, then to the tray and back: still above, and still the
    // same X window.
    QVERIFY(activate(wid));
    QTRY_COMPARE(xdesk::activeWindow(), wid);
    QVERIFY(clickWidget(box));
    QTRY_VERIFY(xdesk::netWmState(wid).contains(kAbove));
    QVERIFY(minimizeToTray());
    QVERIFY(xdesk::clickAt(iconCentre(form)));
    QTRY_VERIFY2(xdesk::isBack(form, wid), qPrintable(xdesk::describe(form, wid)));
    QCOMPARE(widOf(form), wid);
    QTRY_VERIFY(xdesk::netWmState(wid).contains(kAbove));
    QVERIFY(activate(otherWid));
    QTRY_COMPARE(xdesk::activeWindow(), otherWid);
    QTRY_VERIFY(onTop(wid, otherWid));

    // And unticked after the trip: the next trip does not bring it back above.
    QVERIFY(activate(wid));
    QTRY_COMPARE(xdesk::activeWindow(), wid);
    QVERIFY(clickWidget(box));
    QTRY_VERIFY(!box->isChecked());
    QTRY_VERIFY2(!xdesk::netWmState(wid).contains(kAbove),
                 qPrintable(xdesk::netWmState(wid).join(' ') + " / " + xdesk::wmState(wid)));
    QVERIFY(minimizeToTray());
    QVERIFY(xdesk::clickAt(iconCentre(form)));
    QTRY_VERIFY2(xdesk::isBack(form, wid), qPrintable(xdesk::describe(form, wid)));
    QCOMPARE(widOf(form), wid);
    xdesk::settle(200);
    QVERIFY(!xdesk::netWmState(wid).contains(kAbove));
}

void TestDesktopWindow::stayOnTopFromSettings()
{
    TForm1& form = showForm("[Common]\nIsDispTop=1\n");
    QVERIFY(m_rig->find<QCheckBox>("chkDispTop")->isChecked());
    // Above from the moment it is first on the screen.
    QVERIFY(xdesk::netWmState(widOf(form)).contains(kAbove));
}

void TestDesktopWindow::trayIconWithTooltip()
{
    TForm1& form = showForm();
    QSystemTrayIcon* icon = trayOf(form)->icon();
    QVERIFY(icon->isVisible());
    QCOMPARE(icon->toolTip(), kTip);
    // The tray host holds one icon of ours, where Qt says it is.
    QVERIFY(xdesk::iconInPlace(*icon, m_class));
    QCOMPARE(xdesk::clientRect(xdesk::iconsInTray(m_class).first()), icon->geometry());
    QVERIFY(form.screen()->geometry().contains(icon->geometry()));

    // The mouse resting on it shows the tooltip, also after a click on it.
    QVERIFY(hoverShowsTip(form));
    QToolTip::hideText();
    QVERIFY(xdesk::clickAt(iconCentre(form)));
    QVERIFY(moveAway());
    QTRY_VERIFY(!QToolTip::isVisible());
    QVERIFY(hoverShowsTip(form));
}

void TestDesktopWindow::minimizeHidesToTray_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("by the program") << "program";
    QTest::newRow("by the window manager") << "wm";
}

void TestDesktopWindow::minimizeHidesToTray()
{
    QFETCH(QString, how);
    TForm1& form = showForm();
    const Wid wid = widOf(form);
    QVERIFY(xdesk::iconInPlace(*trayOf(form)->icon(), m_class));
    QTRY_COMPARE(xdesk::activeWindow(), wid);

    if (how == "program")
        form.showMinimized();
    else
        QVERIFY(xdesk::xdotool({QStringLiteral("windowminimize"), QString::number(wid)}));
    // Gone from the screen and from the task bar; the icon stays.
    QTRY_VERIFY(xdesk::isInTray(form, wid));
    QVERIFY(xdesk::holdsFor(300, [&] { return xdesk::isInTray(form, wid); }));
    QCOMPARE(xdesk::iconsInTray(m_class).size(), 1);
    QVERIFY(trayOf(form)->icon()->isVisible());

    // A left click on the icon brings it back, in front.
    QVERIFY(xdesk::clickAt(iconCentre(form)));
    QTRY_VERIFY2(xdesk::isBack(form, wid), qPrintable(xdesk::describe(form, wid)));
    QCOMPARE(xdesk::wmState(wid), QStringLiteral("Normal"));
    QTRY_VERIFY(form.isActiveWindow());
    QCOMPARE(widOf(form), wid);
    QCOMPARE(xdesk::clientRect(wid).size(), QSize(544, 362));
}

void TestDesktopWindow::otherButtonsDoNothing_data()
{
    QTest::addColumn<int>("button");
    QTest::newRow("right: the menu") << 3;
    QTest::newRow("middle: nothing") << 2;
}

// The right button opens the icon's menu, the middle one nothing; neither
// brings the window back.
void TestDesktopWindow::otherButtonsDoNothing()
{
    QFETCH(int, button);
    TForm1& form = showForm();
    const Wid wid = widOf(form);
    QVERIFY(xdesk::iconInPlace(*trayOf(form)->icon(), m_class));
    QVERIFY(minimizeToTray());

    QVERIFY(xdesk::clickAt(iconCentre(form), button));
    if (button == 3) {
        QTRY_COMPARE(QApplication::activePopupWidget(), trayOf(form)->icon()->contextMenu());
        QStringList entries;
        for (const QAction* a : trayOf(form)->icon()->contextMenu()->actions())
            entries << a->text();
        QCOMPARE(entries, (QStringList{"启动倒计时", "暂停", "显示窗口", "", "退出"}));
        QVERIFY(xdesk::xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
    } else {
        QVERIFY(xdesk::clickAt(iconCentre(form), button));
    }
    xdesk::settle();
    QVERIFY(xdesk::holdsFor(400, [&] {
        return xdesk::isInTray(form, wid) && QApplication::activePopupWidget() == nullptr;
    }));

    // The icon does answer clicks there: the left button restores.
    QVERIFY(xdesk::clickAt(iconCentre(form)));
    QTRY_VERIFY2(xdesk::isBack(form, wid), qPrintable(xdesk::describe(form, wid)));
}

void TestDesktopWindow::clickWhileShownActivates()
{
    TForm1& form = showForm();
    const Wid wid = widOf(form);
    QVERIFY(xdesk::iconInPlace(*trayOf(form)->icon(), m_class));
    // Another program, active.
    OtherProgram other;
    const Wid otherWid = other.window();
    QVERIFY(otherWid != 0);
    QVERIFY(xdesk::xdotool({QStringLiteral("windowactivate"), QString::number(otherWid)}));
    QTRY_COMPARE(xdesk::activeWindow(), otherWid);

    QVERIFY(xdesk::clickAt(iconCentre(form)));
    QTRY_VERIFY2(xdesk::isBack(form, wid), qPrintable(xdesk::describe(form, wid)));
    const QList<Wid> order = xdesk::stackingOrder();
    QVERIFY(order.indexOf(wid) > order.indexOf(otherWid));
}

void TestDesktopWindow::clickSoonAfterClickRestores_data()
{
    QTest::addColumn<bool>("toTray");
    QTest::newRow("from the tray") << true;
    QTest::newRow("from behind another program") << false;
}

// A left click soon after another one on the icon, which Qt takes for the
// second half of a double click, brings the window back all the same.
void TestDesktopWindow::clickSoonAfterClickRestores()
{
    QFETCH(bool, toTray);
    TForm1& form = showForm();
    const Wid wid = widOf(form);
    QVERIFY(xdesk::iconInPlace(*trayOf(form)->icon(), m_class));
    OtherProgram other;
    QVERIFY(other.window() != 0);
    const auto activateOther = [&] {
        return xdesk::xdotool(
                   {QStringLiteral("windowactivate"), QString::number(other.window())}) &&
               QTest::qWaitFor([&] { return xdesk::activeWindow() == other.window(); });
    };
    QStyleHints* hints = QGuiApplication::styleHints();
    const auto restoreInterval = qScopeGuard([hints, ms = hints->mouseDoubleClickInterval()] {
        hints->setMouseDoubleClickInterval(ms);
    });
    // "Soon" reaches over the whole test; the middle click makes the first
    // left one a single click.
    hints->setMouseDoubleClickInterval(60000);
    QVERIFY(xdesk::clickAt(iconCentre(form), 2));
    QVERIFY(activateOther());
    QVERIFY(xdesk::clickAt(iconCentre(form)));
    QTRY_VERIFY2(xdesk::isBack(form, wid), qPrintable(xdesk::describe(form, wid)));

    QVERIFY(toTray ? minimizeToTray() : activateOther());
    QVERIFY(xdesk::clickAt(iconCentre(form)));
    QTRY_VERIFY2(xdesk::isBack(form, wid), qPrintable(xdesk::describe(form, wid)));
}

void TestDesktopWindow::quickMinimizeRestore_data()
{
    // Who minimizes, and how long after that the icon is clicked: before,
    // around and after the moment the window goes to the tray.
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("delayMs");
    for (const char* how : {"program", "wm"}) {
        for (int ms : {0, 150, 300})
            QTest::addRow("%s, %d ms", how, ms) << QString::fromLatin1(how) << ms;
    }
}

void TestDesktopWindow::quickMinimizeRestore()
{
    QFETCH(QString, how);
    QFETCH(int, delayMs);
    TForm1& form = showForm();
    const Wid wid = widOf(form);
    QVERIFY(xdesk::iconInPlace(*trayOf(form)->icon(), m_class));
    const QPoint icon = iconCentre(form);

    for (int round = 0; round < 2; ++round) {
        const QString where = QStringLiteral("round %1: ").arg(round);
        QTRY_VERIFY2(xdesk::isBack(form, wid), qPrintable(where + xdesk::describe(form, wid)));
        if (how == "program")
            form.showMinimized();
        else
            QVERIFY(xdesk::xdotool({QStringLiteral("windowminimize"), QString::number(wid)}));
        QTest::qWait(delayMs);
        QVERIFY(xdesk::clickAt(icon));
        QTRY_VERIFY2(xdesk::isBack(form, wid), qPrintable(where + xdesk::describe(form, wid)));
        // And it stays: no late minimize or hide takes it away again.
        QVERIFY2(xdesk::holdsFor(300, [&] { return form.isVisible() && !form.isMinimized(); }),
                 qPrintable(where));
        QCOMPARE(xdesk::mapState(wid), QStringLiteral("IsViewable"));
        QVERIFY(xdesk::clientList().contains(wid));
    }
}

void TestDesktopWindow::closingRemovesIcon()
{
    TForm1& form = showForm();
    QVERIFY(xdesk::iconInPlace(*trayOf(form)->icon(), m_class));
    const Wid iconWid = xdesk::iconsInTray(m_class).first();
    QTRY_COMPARE(xdesk::activeWindow(), widOf(form));

    // Alt+F4: the window manager asks the window to close. As in the program,
    // the event loop runs until the window is closed; the icon must not keep it
    // going.
    QTimer::singleShot(0, [] {
        xdesk::xdotool({QStringLiteral("key"), QStringLiteral("alt+F4")});
    });
    QTimer::singleShot(5000, [] { qApp->exit(1); });
    QCOMPARE(qApp->exec(), 0);
    QVERIFY(!form.isVisible());
    // With the window destroyed, the icon is gone from the tray.
    m_rig->form.reset();
    QTRY_VERIFY(xdesk::iconsInTray(m_class).isEmpty());
    QTRY_VERIFY(xdesk::mapState(iconWid).isEmpty());
    QVERIFY(!xdesk::windowTree(xdesk::trayHost()).contains(iconWid));
}

QTEST_MAIN(TestDesktopWindow)
#include "test_desktop_window.moc"
