// The floor for the start-up benchmark: a Qt program that shows one empty
// window of the main window's size and runs until it is closed.

#include <QApplication>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Empty"));
    window.resize(536, 641);
    window.show();
    return app.exec();
}
