#pragma once
// The seam between the window and the desktop: dialogs, message boxes, the per-user
// settings store, the warning sound and starting other programs. Form1 asks everything of
// the desktop through this interface, so the GUI tests can answer with a script instead
// of real dialogs.

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QDialog;
class QTranslator;
class QWidget;

namespace rovena {

enum class MessageIcon { Critical, Information, Exclamation };

class Platform {
 public:
  virtual ~Platform() = default;

  // Open and save dialogs. The filter has the form "description|pattern". The result is
  // std::nullopt when the user cancelled, otherwise the chosen name exactly as returned.
  virtual std::optional<QString> ChooseFileToOpen(const QString& presetName, const QString& filter) = 0;
  virtual std::optional<QString> ChooseFileToSave(const QString& presetName, const QString& filter) = 0;

  // Runs a dialog of the window's own modally; true when it was accepted.
  virtual bool RunDialog(QDialog& dialog) = 0;

  // Modal message boxes, captioned with the application's title.
  virtual void ShowMessage(const QString& text, MessageIcon icon) = 0;
  virtual bool AskYesNo(const QString& text, MessageIcon icon) = 0;
  // A message with a second button beside OK; true when the user pressed that one.
  virtual bool OfferAction(const QString& text, MessageIcon icon, const QString& action) = 0;

  // Per-user settings store, section "Setup"; an absent key reads as empty.
  virtual QString ReadSetting(const QString& key) = 0;
  virtual void WriteSetting(const QString& key, const QString& value) = 0;

  virtual void Beep() = 0;

  // Shows a folder in the desktop's file manager; false when nothing could show it.
  virtual bool OpenFolder(const QString& path) = 0;
  // Starts a program with an argument vector (no shell) and does not wait for it.
  virtual bool StartDetached(const QString& program, const QStringList& arguments) = 0;
  // Finds a program by name on the search path; empty when there is none.
  virtual QString FindProgram(const QString& name) = 0;
  // Reads an environment variable; empty when unset.
  virtual QString Environment(const QString& name) = 0;
};

// The real desktop: Qt dialogs and message boxes, QSettings (application "Rovena"),
// QApplication::beep, QDesktopServices and QProcess::startDetached.
class QtPlatform : public Platform {
 public:
  explicit QtPlatform(QWidget* dialogParent = nullptr) : dialogParent_(dialogParent) {}
  void SetDialogParent(QWidget* parent) { dialogParent_ = parent; }

  std::optional<QString> ChooseFileToOpen(const QString& presetName, const QString& filter) override;
  std::optional<QString> ChooseFileToSave(const QString& presetName, const QString& filter) override;
  bool RunDialog(QDialog& dialog) override;
  void ShowMessage(const QString& text, MessageIcon icon) override;
  bool AskYesNo(const QString& text, MessageIcon icon) override;
  bool OfferAction(const QString& text, MessageIcon icon, const QString& action) override;
  QString ReadSetting(const QString& key) override;
  void WriteSetting(const QString& key, const QString& value) override;
  void Beep() override;
  bool OpenFolder(const QString& path) override;
  bool StartDetached(const QString& program, const QStringList& arguments) override;
  QString FindProgram(const QString& name) override;
  QString Environment(const QString& name) override;

 private:
  QWidget* dialogParent_;
};

// Turns the dialog filter "description|pattern" into Qt's "description (pattern)".
QString QtDialogFilter(const QString& filter);

// Qt's own texts (the file dialogs, the message boxes' buttons) in Polish, as the window's own
// are: Debian ships them as qtbase_pl.qm in Qt's translations folder (qt6-translations-l10n).
// Null when that file is missing or unreadable.
std::unique_ptr<QTranslator> PolishQtTexts();

}  // namespace rovena
