// The yardstick for start-up: a bare Qt Widgets window of the given size, titled like the app.
//
// usage: bare_window TITLE WIDTH HEIGHT
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 4)
        return 2;
    QWidget window;
    window.setWindowTitle(QString::fromLocal8Bit(argv[1]));
    window.resize(QString::fromLocal8Bit(argv[2]).toInt(), QString::fromLocal8Bit(argv[3]).toInt());
    window.show();
    return QApplication::exec();
}
