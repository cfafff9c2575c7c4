// The desktop program. (The main window arrives with the user interface; until then this opens an
// empty frame with the program's title so that the build and the run command can be tried.)
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("K-72 Image Converter"));
    window.setFixedSize(300, 380);
    window.show();
    return application.exec();
}
