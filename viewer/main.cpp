#include <QApplication>
#include <QStyleFactory>

#include "local_path.h"
#include "main_window.h"
#include "platform.h"

// The whole argument text is one recording path: arguments that the shell split at blanks
// are joined again with one blank. Taken from argv's bytes, since a name need not be UTF-8.
static QString CommandLineText(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) text += (i > 1 ? " " : "") + std::string(argv[i]);
  return rovena::PathFromBytes(text);
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Rovena"));
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  rovena::QtPlatform platform;
  rovena::Form1 form(platform, QCoreApplication::applicationDirPath(), CommandLineText(argc, argv));
  platform.SetDialogParent(&form);
  form.Form_Load();
  form.show();
  return app.exec();
}
