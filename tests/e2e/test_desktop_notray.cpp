// The main window on a desktop without a notification area: a private X
// display of its own (Xvfb + openbox, started here, so that the shared session
// keeps its tray host), where a tray host is started only at the end, while the
// window is up.
#include "fakes/formrig.h"
#include "support/xwidgets.h"

#include "shell/application.h"
#include "shell/trayicon.h"

#include <QMessageBox>
#include <QScreen>
#include <QWindow>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using xdesk::Wid;
using xdesk::widOf;

namespace {

TTrayIcon* trayOf(const TForm1& form)
{
    return form.findChild<TTrayIcon*>(QStringLiteral("trycn1"));
}

// An X display with a window manager, for this process alone. Started before
// the application object exists, so plain fork and exec. Its screen has an
// unusual size, so that a connection that reaches some other X server (one
// going away under the same display number) is told apart.
class PrivateDesktop
{
public:
    static constexpr int kWidth = 1000;
    static constexpr int kHeight = 700;

    ~PrivateDesktop() { stop(); }

    bool start()
    {
        // A display number far above the ones that servers picking the
        // lowest free number take, so that no other session comes and goes
        // under it.
        std::random_device random;
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (tryStart(200 + int(random() % 600)))
                return true;
            stop();
        }
        return false;
    }

    void stop()
    {
        for (pid_t* pid : {&m_openbox, &m_xvfb}) {
            if (*pid > 0) {
                kill(*pid, SIGTERM);
                waitpid(*pid, nullptr, 0);
                *pid = -1;
            }
        }
    }

private:
    bool tryStart(int number)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        const QByteArray screen =
            QByteArray::number(kWidth) + 'x' + QByteArray::number(kHeight) + "x24";
        const QByteArray wanted = ':' + QByteArray::number(number);
        // -noreset: without it the server resets whenever its last client
        // leaves, and a client connecting just then is turned away.
        m_xvfb = spawn({"Xvfb", wanted.constData(), "-displayfd", "3", "-screen", "0",
                        screen.constData(), "-nolisten", "tcp", "-noreset"},
                       fds[1]);
        close(fds[1]);
        // The server writes its display number once it is ready; the pipe
        // closes if it dies (the number is taken).
        // The whole line is read before the pipe is closed: the server
        // writes the number and the line end separately and dies if the
        // second write finds the pipe closed.
        QByteArray line;
        pollfd ready{fds[0], POLLIN, 0};
        while (!line.contains('\n') && poll(&ready, 1, 15000) == 1) {
            char buffer[32];
            const ssize_t got = read(fds[0], buffer, sizeof buffer);
            if (got <= 0)
                break;
            line.append(buffer, got);
        }
        close(fds[0]);
        if (!line.contains('\n')) {
            std::fprintf(stderr, "Xvfb did not start on %s\n", wanted.constData());
            return false;
        }
        const QByteArray display = ':' + line.trimmed();
        qputenv("DISPLAY", display);
        if (!waitFor([] { return state() != State::Unreachable; }, 5000) ||
            state() == State::Foreign) {
            std::fprintf(stderr, "display %s is not the one started here (%d)\n",
                         display.constData(), int(state()));
            return false;
        }

        m_openbox = spawn({"openbox", "--sm-disable"}, -1);
        if (!waitFor([] { return state() == State::Managed; }, 10000)) {
            std::fprintf(stderr, "openbox did not start on %s\n", display.constData());
            return false;
        }
        if (!managesAWindow(30000)) {
            std::fprintf(stderr, "openbox on %s manages no window\n", display.constData());
            return false;
        }
        return true;
    }

    // Openbox announces itself before it has finished starting, and a window
    // mapped in that time may never be managed: its map request is lost and
    // the window never appears. A window of our own is mapped (again every
    // 2 s) until it shows in the client list: from then on openbox manages
    // what the tests show.
    static bool managesAWindow(int ms)
    {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        bool managed = false;
        if (!xcb_connection_has_error(c)) {
            const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
            const xcb_window_t probe = xcb_generate_id(c);
            xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, screen->root, 0, 0, 10, 10, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
            const char name[] = "_NET_CLIENT_LIST";
            auto* atom =
                xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
            for (int waited = 0; atom && !managed && waited < ms; waited += 50) {
                if (waited % 2000 == 0) {
                    xcb_unmap_window(c, probe);
                    xcb_map_window(c, probe);
                    xcb_flush(c);
                }
                usleep(50000);
                managed = listsWindow(c, screen->root, atom->atom, probe);
            }
            std::free(atom);
            xcb_destroy_window(c, probe);
            xcb_flush(c);
        }
        xcb_disconnect(c);
        return managed;
    }

    static bool listsWindow(xcb_connection_t* c, xcb_window_t root, xcb_atom_t list,
                            xcb_window_t window)
    {
        auto* prop = xcb_get_property_reply(
            c, xcb_get_property(c, 0, root, list, XCB_ATOM_WINDOW, 0, 1024), nullptr);
        if (!prop)
            return false;
        const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(prop));
        const int n = xcb_get_property_value_length(prop) / 4;
        const bool found = std::find(ids, ids + n, window) != ids + n;
        std::free(prop);
        return found;
    }

    template <typename F>
    static bool waitFor(F&& done, int ms)
    {
        for (int waited = 0; waited < ms; waited += 50) {
            if (done())
                return true;
            usleep(50000);
        }
        return done();
    }

    // Runs a program with this process's environment; `fd3` becomes its fd 3.
    static pid_t spawn(std::initializer_list<const char*> argv, int fd3)
    {
        std::vector<char*> args;
        for (const char* a : argv)
            args.push_back(const_cast<char*>(a));
        args.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            if (fd3 >= 0)
                dup2(fd3, 3);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execvp(args[0], args.data());
            _exit(127);
        }
        return pid;
    }

    enum class State
    {
        Unreachable, // nothing answers on $DISPLAY
        Foreign,     // some other X server answers
        Bare,        // ours, no window manager yet
        Managed,     // ours, with a window manager
    };

    static State state()
    {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        State result = State::Unreachable;
        if (!xcb_connection_has_error(c)) {
            const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
            result = screen->width_in_pixels == kWidth && screen->height_in_pixels == kHeight
                         ? State::Bare
                         : State::Foreign;
            const char name[] = "_NET_SUPPORTING_WM_CHECK";
            auto* atom =
                xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof name - 1, name), nullptr);
            if (result == State::Bare && atom && atom->atom != XCB_ATOM_NONE) {
                auto* prop = xcb_get_property_reply(
                    c, xcb_get_property(c, 0, screen->root, atom->atom, XCB_ATOM_WINDOW, 0, 1),
                    nullptr);
                if (prop && xcb_get_property_value_length(prop) == 4)
                    result = State::Managed;
                std::free(prop);
            }
            std::free(atom);
        }
        xcb_disconnect(c);
        return result;
    }

    pid_t m_xvfb = -1;
    pid_t m_openbox = -1;
};

} // namespace

class TestDesktopNoTray : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void startsWithoutTrayHost();
    void minimizeKeepsWindowReachable_data();
    void minimizeKeepsWindowReachable();
    void trayHostStartedLater();

private:
    TForm1& showForm();

    std::unique_ptr<FormRig> m_rig;
    QProcess m_trayer;
};

void TestDesktopNoTray::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    // On the display started here, not the shared one.
    QCOMPARE(QGuiApplication::primaryScreen()->size(),
             QSize(PrivateDesktop::kWidth, PrivateDesktop::kHeight));
    hy::installFontSubstitutes();
    // Nothing here offers a notification area.
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    QCOMPARE(xdesk::trayHost(), Wid(0));
}

void TestDesktopNoTray::cleanupTestCase()
{
    if (m_trayer.state() != QProcess::NotRunning) {
        m_trayer.terminate();
        m_trayer.waitForFinished(5000);
    }
}

void TestDesktopNoTray::init()
{
    m_rig = std::make_unique<FormRig>();
}

void TestDesktopNoTray::cleanup()
{
    m_rig.reset();
}

TForm1& TestDesktopNoTray::showForm()
{
    TForm1& form = m_rig->make();
    form.show();
    if (!QTest::qWaitForWindowExposed(&form, 15000))
        qWarning("the window was not exposed");
    return form;
}

void TestDesktopNoTray::startsWithoutTrayHost()
{
    TForm1& form = showForm();
    const Wid wid = widOf(form);
    QTRY_VERIFY_WITH_TIMEOUT(xdesk::clientList().contains(wid), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(xdesk::activeWindow(), wid, 15000);
    // No complaint in the way, and the run goes on.
    QVERIFY(xdesk::holdsFor(300, [&] { return !anyBoxShown() && form.isVisible(); }));
    QCOMPARE(xdesk::mapState(wid), QStringLiteral("IsViewable"));
}

void TestDesktopNoTray::minimizeKeepsWindowReachable_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("by the program") << "program";
    QTest::newRow("by the window manager") << "wm";
}

void TestDesktopNoTray::minimizeKeepsWindowReachable()
{
    QFETCH(QString, how);
    TForm1& form = showForm();
    const Wid wid = widOf(form);
    QTRY_COMPARE(xdesk::activeWindow(), wid);

    if (how == "program")
        form.showMinimized();
    else
        QVERIFY(xdesk::xdotool({QStringLiteral("windowminimize"), QString::number(wid)}));
    // Iconified and still on the task bar, not withdrawn: with no icon to
    // click, that is the way back.
    QTRY_COMPARE(xdesk::wmState(wid), QStringLiteral("Iconic"));
    QVERIFY(xdesk::holdsFor(500, [&] {
        return xdesk::wmState(wid) == QLatin1String("Iconic") && xdesk::clientList().contains(wid);
    }));
    QVERIFY(form.isMinimized());

    // The task bar's way of bringing it back.
    QVERIFY(xdesk::xdotool({QStringLiteral("windowactivate"), QString::number(wid)}));
    QTRY_VERIFY2(xdesk::isBack(form, wid), qPrintable(xdesk::describe(form, wid)));
    QCOMPARE(xdesk::wmState(wid), QStringLiteral("Normal"));
    QCOMPARE(widOf(form), wid);
}

void TestDesktopNoTray::trayHostStartedLater()
{
    TForm1& form = showForm();
    const Wid wid = widOf(form);
    const QString cls = xdesk::wmClass(wid);
    QTRY_COMPARE(xdesk::activeWindow(), wid);

    m_trayer.start(QStringLiteral("trayer"),
                   {QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--align"),
                    QStringLiteral("right"), QStringLiteral("--widthtype"),
                    QStringLiteral("request"), QStringLiteral("--height"), QStringLiteral("24"),
                    QStringLiteral("--transparent"), QStringLiteral("false")});
    QVERIFY(m_trayer.waitForStarted());

    // The icon finds its way into the new notification area by itself.
    QTRY_VERIFY(QSystemTrayIcon::isSystemTrayAvailable());
    QSystemTrayIcon* icon = trayOf(form)->icon();
    QVERIFY(xdesk::iconInPlace(*icon, cls));

    // And from now on minimizing goes to it.
    QVERIFY(xdesk::xdotool({QStringLiteral("windowactivate"), QString::number(wid)}));
    QTRY_COMPARE(xdesk::activeWindow(), wid);
    form.showMinimized();
    QTRY_VERIFY(xdesk::isInTray(form, wid));
    QVERIFY(xdesk::clickAt(icon->geometry().center()));
    QTRY_VERIFY2(xdesk::isBack(form, wid), qPrintable(xdesk::describe(form, wid)));

    m_rig.reset();
    QTRY_VERIFY(xdesk::iconsInTray(cls).isEmpty());
    m_trayer.terminate();
    QVERIFY(m_trayer.waitForFinished(5000));
}

int main(int argc, char** argv)
{
    PrivateDesktop desktop;
    if (!desktop.start()) {
        std::fprintf(stderr, "could not start a private X display with openbox\n");
        return 1;
    }
    int result = 0;
    {
        QApplication app(argc, argv);
        TestDesktopNoTray test;
        QTEST_SET_MAIN_SOURCE_PATH
        result = QTest::qExec(&test, argc, argv);
    }
    desktop.stop();
    return result;
}

#include "test_desktop_notray.moc"
