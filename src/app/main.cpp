#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrin"));
    QApplication::setOrganizationName(QStringLiteral("Veltrin"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Veltrin"));
    window.setMinimumSize(900, 600);
    window.show();
    return QApplication::exec();
}
