// Pictures of the three pages of the main window as the X server shows them,
// kept as PNG files in the build tree (Testing/screenshots) for people to look
// at after a run.
#include "fakes/formrig.h"
#include "support/xevents.h"

#include "shell/application.h"

#include <QDir>
#include <QScreen>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QWindow>
#include <QtTest>

#ifndef HY_SCREENSHOT_DIR
#error "HY_SCREENSHOT_DIR must name the directory for the pictures"
#endif

namespace {

int colourCount(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    }
    return int(colours.size());
}

// The share of pixels in which two pictures of the same size differ.
double differingShare(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return 1.0;
    qint64 differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            differing += a.pixel(x, y) != b.pixel(x, y);
    }
    return double(differing) / (double(a.width()) * a.height());
}

// Pixels of `image` inside `area` that are clearly red.
int redPixels(const QImage& image, const QRect& area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.red() > 180 && c.green() < 80 && c.blue() < 80;
        }
    }
    return n;
}

} // namespace

class TestScreenshots : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void pages_data();
    void pages();
    void pagesDiffer();

private:
    QStringList m_saved;
};

void TestScreenshots::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY2(xdesk::windowManagerRuns(), "the session has no window manager");
    hy::installFontSubstitutes();
    QVERIFY(QDir().mkpath(QStringLiteral(HY_SCREENSHOT_DIR)));
}

void TestScreenshots::pages_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("minColours");
    QTest::newRow("定时设置") << 0 << "定时设置"
                              << "page1.png" << 40;
    QTest::newRow("声音与对时") << 1 << "声音与对时"
                                << "page3.png" << 20;
    QTest::newRow("关于帮助") << 2 << "关于帮助"
                              << "page2.png" << 500;
}

void TestScreenshots::pages()
{
    QFETCH(int, index);
    QFETCH(QString, title);
    QFETCH(QString, file);
    QFETCH(int, minColours);

    FormRig rig;
    TForm1& form = rig.make();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const xdesk::Wid wid = form.windowHandle()->winId();
    QTRY_COMPARE(xdesk::activeWindow(), wid);

    // The page is chosen on the tab, with the mouse; then the pointer goes
    // out of the way.
    auto* tabs = rig.find<QTabWidget>("pgc1");
    QCOMPARE(tabs->tabText(index), title);
    QTabBar* bar = tabs->tabBar();
    QVERIFY(xdesk::clickAt(bar->mapToGlobal(bar->tabRect(index).center())));
    QTRY_COMPARE(tabs->currentIndex(), index);
    QVERIFY(
        xdesk::xdotool({QStringLiteral("mousemove"), QStringLiteral("5"), QStringLiteral("5")}));
    xdesk::settle();

    // What the X server holds for the window, once it shows what the window
    // has drawn.
    QImage shot;
    const auto shown = [&] {
        shot = form.screen()->grabWindow(wid).toImage().convertToFormat(QImage::Format_RGB32);
        const QImage drawn = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
        return differingShare(shot, drawn) < 0.001;
    };
    QTRY_VERIFY2(shown(), "the screen does not show what the window drew");

    const QString path = QDir(QStringLiteral(HY_SCREENSHOT_DIR)).filePath(file);
    QFile::remove(path);
    QVERIFY(shot.save(path, "PNG"));
    m_saved << path;
    qInfo("saved %s", qPrintable(path));

    // The file is a real picture of the window, not an empty or blank one.
    const QImage saved(path);
    QCOMPARE(saved.size(), QSize(544, 362));
    QVERIFY2(colourCount(saved) >= minColours, qPrintable(QString::number(colourCount(saved))));
    if (index == 0) {
        // The countdown display, in red.
        const QWidget* tick = rig.find<QWidget>("lblMinTick");
        const QRect area(tick->mapTo(&form, QPoint(0, 0)), tick->size());
        QVERIFY(redPixels(saved, area) > 50);
    }
    if (index == 1) {
        // The 对时 group is drawn where the page's lower part is.
        const QWidget* group = rig.find<QWidget>("grpServerTime");
        const QRect area(group->mapTo(&form, QPoint(0, 0)), group->size());
        QVERIFY(colourCount(saved.copy(area)) >= minColours);
    }
}

void TestScreenshots::pagesDiffer()
{
    QCOMPARE(m_saved.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const double share = differingShare(QImage(m_saved[i]), QImage(m_saved[(i + 1) % 3]));
        QVERIFY2(share > 0.05, qPrintable(QString::number(share)));
    }
}

QTEST_MAIN(TestScreenshots)
#include "test_screenshots.moc"
