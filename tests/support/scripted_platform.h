#pragma once
// A Platform that answers from a script and records what the window asked of it. Used by
// the GUI tests, so that no real dialog, message box or settings file is ever touched.

#include <QDialog>
#include <QMap>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "viewer/platform.h"

namespace rovena {

class ScriptedPlatform : public Platform {
 public:
  struct Message {
    QString text;
    MessageIcon icon;
  };
  struct DialogCall {
    QString presetName;
    QString filter;
  };
  struct StartedProgram {
    QString program;
    QStringList arguments;
  };

  // Answers handed out in order; an empty queue answers "cancelled" and "No".
  std::deque<std::optional<QString>> dialogAnswers;
  std::deque<bool> yesNoAnswers;
  std::deque<bool> actionAnswers;  // whether OfferAction's second button is pressed
  // Fills in and closes a dialog of the window's; without one, the dialog is accepted as it
  // opens.
  std::function<void(QDialog&)> answerDialog;
  QMap<QString, QString> settings;
  QMap<QString, QString> programsOnPath;
  QMap<QString, QString> environment;
  bool startSucceeds = true;

  std::vector<DialogCall> openDialogs;
  std::vector<DialogCall> saveDialogs;
  std::vector<Message> messages;
  std::vector<Message> questions;
  std::vector<StartedProgram> started;
  std::vector<Message> offers;
  QStringList openedFolders;
  int beeps = 0;
  int dialogsRun = 0;

  std::optional<QString> ChooseFileToOpen(const QString& presetName, const QString& filter) override {
    openDialogs.push_back({presetName, filter});
    return NextDialogAnswer();
  }
  std::optional<QString> ChooseFileToSave(const QString& presetName, const QString& filter) override {
    saveDialogs.push_back({presetName, filter});
    return NextDialogAnswer();
  }
  void ShowMessage(const QString& text, MessageIcon icon) override { messages.push_back({text, icon}); }
  bool AskYesNo(const QString& text, MessageIcon icon) override {
    questions.push_back({text, icon});
    if (yesNoAnswers.empty()) return false;
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
  }
  bool RunDialog(QDialog& dialog) override {
    ++dialogsRun;
    if (answerDialog) answerDialog(dialog);
    else dialog.accept();
    return dialog.result() == QDialog::Accepted;
  }
  bool OfferAction(const QString& text, MessageIcon icon, const QString&) override {
    offers.push_back({text, icon});
    if (actionAnswers.empty()) return false;
    const bool answer = actionAnswers.front();
    actionAnswers.pop_front();
    return answer;
  }
  bool OpenFolder(const QString& path) override {
    openedFolders.push_back(path);
    return true;
  }
  QString ReadSetting(const QString& key) override { return settings.value(key); }
  void WriteSetting(const QString& key, const QString& value) override { settings[key] = value; }
  void Beep() override { ++beeps; }
  bool StartDetached(const QString& program, const QStringList& arguments) override {
    started.push_back({program, arguments});
    return startSucceeds;
  }
  QString FindProgram(const QString& name) override { return programsOnPath.value(name); }
  QString Environment(const QString& name) override { return environment.value(name); }

 private:
  std::optional<QString> NextDialogAnswer() {
    if (dialogAnswers.empty()) return std::nullopt;
    const bool cancelled = !dialogAnswers.front().has_value();
    const QString name = cancelled ? QString() : *dialogAnswers.front();
    dialogAnswers.pop_front();
    if (cancelled) return std::nullopt;
    return name;
  }
};

}  // namespace rovena
