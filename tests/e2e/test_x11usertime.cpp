// The time of the user's latest input against a real X server: clicks and keys
// come from xdotool (XTEST), and a window of the test notes the time stamp
// of each event it gets, which is the server's time of that event.
#include "platform/x11/x11usertime.h"
#include "support/xdesktop.h"

#include <QGuiApplication>
#include <QInputEvent>
#include <QRasterWindow>
#include <QtTest>

namespace {

using xdesk::xdotool;

// Notes, for each key and button event it is handed, the event's time and
// the watch's at that moment.
class Recorder final : public QRasterWindow
{
public:
    explicit Recorder(const hy::x11::UserTime& watch)
        : m_watch(watch)
    {}
    QList<std::pair<quint64, quint64>> seen;

protected:
    void paintEvent(QPaintEvent*) override {}
    bool event(QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            seen.append({static_cast<QInputEvent*>(e)->timestamp(), m_watch.latest()});
            break;
        default:
            break;
        }
        return QRasterWindow::event(e);
    }

private:
    const hy::x11::UserTime& m_watch;
};

} // namespace

class TestX11UserTime : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void followsInput_data();
    void followsInput();
};

void TestX11UserTime::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
}

void TestX11UserTime::followsInput_data()
{
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<int>("events");
    QTest::newRow("click") << QStringList{"click", "1"} << 2;
    QTest::newRow("two clicks") << QStringList{"click", "--repeat", "2", "3"} << 4;
    QTest::newRow("key") << QStringList{"key", "a"} << 2;
}

void TestX11UserTime::followsInput()
{
    QFETCH(QStringList, input);
    QFETCH(int, events);
    hy::x11::UserTime watch;
    QCOMPARE(watch.latest(), 0u);

    Recorder window(watch);
    window.setGeometry(100, 100, 200, 150);
    window.show();
    window.requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const QPoint centre = window.geometry().center();
    QVERIFY(xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y())}));
    QVERIFY(xdotool(input));
    QTRY_COMPARE(window.seen.size(), events);
    // Known by the time the event is handled (Qt may have read the next ones
    // already), and in the end the time of the last one.
    for (const auto& [eventTime, latest] : window.seen)
        QVERIFY2(latest >= eventTime,
                 qPrintable(QStringLiteral("%1 < %2").arg(latest).arg(eventTime)));
    QCOMPARE(quint64(watch.latest()), window.seen.last().first);
}

QTEST_MAIN(TestX11UserTime)
#include "test_x11usertime.moc"
