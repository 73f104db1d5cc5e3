#include <QApplication>
#include <QStyleFactory>

#include "main_window.h"
#include "platform.h"

// The whole argument text is one recording path: arguments that the shell split at blanks
// are joined again with one blank.
static QString CommandLineText(const QStringList& arguments) { return arguments.mid(1).join(u' '); }

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Rovena"));
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  rovena::QtPlatform platform;
  rovena::Form1 form(platform, QCoreApplication::applicationDirPath(), CommandLineText(app.arguments()));
  platform.SetDialogParent(&form);
  form.Form_Load();
  form.show();
  return app.exec();
}
