// The smallest Qt 6 widgets program that shows a window: the baseline that
// the program's start-up time, memory and idle load are compared with.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("hybench empty window"));
    window.resize(400, 300);
    window.show();
    return app.exec();
}
