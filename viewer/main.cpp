#include <QApplication>
#include <QStyleFactory>
#include <QTranslator>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>

#include "viewer/local_path.h"
#include "viewer/main_window.h"
#include "viewer/platform.h"

namespace {

// The whole argument text is one recording path: arguments that the shell split at blanks
// are joined again with one blank. Taken from argv's bytes, since a name need not be UTF-8.
QString CommandLineText(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) text += (i > 1 ? " " : "") + std::string(argv[i]);
  return rovena::PathFromBytes(text);
}

struct PictureAddress {
  std::string file;
  std::int64_t picture = 0;
};

// "--at FILE:PICTURE", as rovena-cli find prints it; the number follows the last colon.
std::optional<PictureAddress> AtArgument(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "--at") != 0) return std::nullopt;
  const std::string address = argv[2];
  const std::size_t colon = address.rfind(':');
  PictureAddress at;
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  const char* digits = address.data() + colon + 1;
  const auto [end, error] = std::from_chars(digits, address.data() + address.size(), at.picture);
  if (error != std::errc() || end != address.data() + address.size() || at.picture < 1) return std::nullopt;
  at.file = address.substr(0, colon);
  return at;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Rovena"));
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  const std::unique_ptr<QTranslator> qtTexts = rovena::PolishQtTexts();
  if (qtTexts) {
    QCoreApplication::installTranslator(qtTexts.get());
  } else {
    std::fputs("Rovena: qtbase_pl.qm not found; Qt's own dialog texts stay in English\n", stderr);
  }
  const std::optional<PictureAddress> at = AtArgument(argc, argv);
  rovena::QtPlatform platform;
  rovena::Form1 form(platform, QCoreApplication::applicationDirPath(),
                     at ? rovena::PathFromBytes(at->file) : CommandLineText(argc, argv));
  platform.SetDialogParent(&form);
  form.Form_Load();
  if (at) form.ShowPictureNumber(at->picture);
  form.show();
  return app.exec();
}
