#include "viewer/platform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTranslator>
#include <QUrl>

namespace rovena {

namespace {

const char kApplication[] = "Rovena";
const char kSection[] = "Setup";

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Critical: return QMessageBox::Critical;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Exclamation: return QMessageBox::Warning;
  }
  return QMessageBox::NoIcon;
}

QString ApplicationTitle() { return QString::fromLatin1(kApplication); }

}  // namespace

std::unique_ptr<QTranslator> PolishQtTexts() {
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral("qtbase_pl"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) return nullptr;
  return translator;
}

namespace {

// Qt's own dialog, not the desktop's: it matches the pattern whatever the case of the name
// (a card copied elsewhere holds "*.m1v" as often as "*.M1V", and the desktops' dialogs match
// case by case), and it speaks Polish with PolishQtTexts.
void UseQtsOwnDialog(QFileDialog& dialog) {
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
}

}  // namespace

QString QtDialogFilter(const QString& filter) {
  const qsizetype bar = filter.indexOf(u'|');
  if (bar < 0) return filter;
  return filter.left(bar) + QStringLiteral(" (") + filter.mid(bar + 1) + u')';
}

std::optional<QString> QtPlatform::ChooseFileToOpen(const QString& presetName, const QString& filter) {
  QFileDialog dialog(dialogParent_, QString(), presetName, QtDialogFilter(filter));
  UseQtsOwnDialog(dialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (!presetName.isEmpty()) dialog.selectFile(presetName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

std::optional<QString> QtPlatform::ChooseFileToSave(const QString& presetName, const QString& filter) {
  QFileDialog dialog(dialogParent_, QString(), presetName, QtDialogFilter(filter));
  UseQtsOwnDialog(dialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (!presetName.isEmpty()) dialog.selectFile(presetName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

bool QtPlatform::RunDialog(QDialog& dialog) { return dialog.exec() == QDialog::Accepted; }

void QtPlatform::ShowMessage(const QString& text, MessageIcon icon) {
  QMessageBox box(ToQtIcon(icon), ApplicationTitle(), text, QMessageBox::Ok, dialogParent_);
  box.exec();
}

bool QtPlatform::AskYesNo(const QString& text, MessageIcon icon) {
  QMessageBox box(ToQtIcon(icon), ApplicationTitle(), text, QMessageBox::Yes | QMessageBox::No,
                  dialogParent_);
  return box.exec() == QMessageBox::Yes;
}

QString QtPlatform::ReadSetting(const QString& key) {
  QSettings settings(QString::fromLatin1(kApplication), QString::fromLatin1(kApplication));
  settings.beginGroup(QString::fromLatin1(kSection));
  return settings.value(key).toString();
}

void QtPlatform::WriteSetting(const QString& key, const QString& value) {
  QSettings settings(QString::fromLatin1(kApplication), QString::fromLatin1(kApplication));
  settings.beginGroup(QString::fromLatin1(kSection));
  settings.setValue(key, value);
}

bool QtPlatform::OfferAction(const QString& text, MessageIcon icon, const QString& action) {
  QMessageBox box(ToQtIcon(icon), ApplicationTitle(), text, QMessageBox::Ok, dialogParent_);
  const QPushButton* chosen = box.addButton(action, QMessageBox::ActionRole);
  box.exec();
  return box.clickedButton() == chosen;
}

void QtPlatform::Beep() { QApplication::beep(); }

bool QtPlatform::OpenFolder(const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

bool QtPlatform::StartDetached(const QString& program, const QStringList& arguments) {
  return QProcess::startDetached(program, arguments);
}

QString QtPlatform::FindProgram(const QString& name) { return QStandardPaths::findExecutable(name); }

QString QtPlatform::Environment(const QString& name) {
  return QProcessEnvironment::systemEnvironment().value(name);
}

}  // namespace rovena
