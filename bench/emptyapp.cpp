// The floor for the PDF export benchmark: a Qt widgets program that starts,
// runs its event loop once and exits.

#include <QApplication>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return QApplication::exec();
}
