// The smallest Qt 6 widgets program that shows a window: the baseline that
// the program's start-up time, memory and idle load are compared with. Built
// a second time as textwindow, with one line of Chinese text in the window,
// laid out before it is shown: what text costs (the font configuration, a
// CJK face, the shaping), which the empty window never pays.

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
#ifdef HYBENCH_TEXT
    // Laid out around its text before it is shown, as a real window is.
    window.resize(window.sizeHint().expandedTo(QSize(400, 300)));
#else
    window.resize(400, 300);
#endif
    window.show();
    return app.exec();
}
