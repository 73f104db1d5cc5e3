#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Rovena  2.0"));
  window.resize(642, 563);
  window.show();
  return app.exec();
}
