// The smallest Qt 6 widgets program that shows a window: the baseline that
// the program's start-up time, memory and idle load are compared with. Built
// a second time as textwindow, with one line of Chinese text in the window:
// what drawing any text costs (the font configuration, a CJK face), which
// the empty window never pays.

#include <QApplication>
#include <QWidget>
#ifdef HYBENCH_TEXT
#include <QLabel>
#endif

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
#ifdef HYBENCH_TEXT
    QLabel window(QStringLiteral("倒计时 00:10:30"));
    window.setWindowTitle(QStringLiteral("hybench text window"));
#else
    QWidget window;
    window.setWindowTitle(QStringLiteral("hybench empty window"));
#endif
    window.resize(400, 300);
    window.show();
    return app.exec();
}
