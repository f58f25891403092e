// A bare Qt main window with a menu bar and nothing else: what any Qt program costs at rest.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char* argv[]) {
    const QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle("Bare Qt window");
    window.menuBar()->addMenu("&File")->addAction("E&xit", &window, &QMainWindow::close);
    window.menuBar()->addMenu("&Help");
    window.resize(640, 360);
    window.show();
    return QApplication::exec();
}
