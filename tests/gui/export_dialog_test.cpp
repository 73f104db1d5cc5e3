// Ctrl+E: the options asked and remembered, the marked stretch exported to MP4 from the
// window, the clip named when done with its folder a click away, sidecars replaced only when
// asked, and Cancel in its progress dialog leaving nothing behind.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "gui_test_support.h"

namespace rovena::test {
namespace {

class ExportFromWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    v_.Open(MakeTestRecording("export_window", 320, 240, 40).path);
    Form1& f = *v_.form;
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  }
  // Marks pictures first..last as the cut buttons do.
  void Mark(int first, int last) {
    Form1& f = *v_.form;
    for (int i = 0; i < first; ++i) f.cmdUp_Click();
    f.cmdCut_Click();
    for (int i = first; i < last; ++i) f.cmdUp_Click();
    f.cmdCut_Click();
  }
  void PressCtrlE(const QString& answer) {
    v_.platform.dialogAnswers.push_back(answer);
    QTest::keyClick(v_.form.get(), Qt::Key_E, Qt::ControlModifier);
  }

  QByteArray Record(const QString& name) {
    QFile record(out_.filePath(name));
    return record.open(QIODevice::ReadOnly) ? record.readAll() : QByteArray();
  }

  Viewer v_;
  QTemporaryDir out_;
};

template <typename T>
T& Field(QDialog& dialog, const char* name) {
  T* field = dialog.findChild<T*>(QString::fromLatin1(name));
  if (!field) throw std::runtime_error(name);
  return *field;
}

TEST_F(ExportFromWindow, CtrlEWritesTheMarkedPicturesAndTheirRecord) {
  QTest::keyClick(v_.form.get(), Qt::Key_E, Qt::ControlModifier);
  EXPECT_TRUE(v_.platform.saveDialogs.empty()) << "no marks, no export";
  Mark(2, 4);
  PressCtrlE(out_.filePath("clip.mp4"));
  ASSERT_EQ(v_.platform.saveDialogs.size(), 1u);
  EXPECT_EQ(v_.platform.saveDialogs[0].filter, "Wideo MP4 (*.mp4)|*.mp4");
  EXPECT_TRUE(v_.platform.messages.empty());
  EXPECT_EQ(QDir(out_.path()).entryList(QDir::Files).join(","), "clip.gpx,clip.json,clip.mp4,clip.srt");
  QFile record(out_.filePath("clip.json"));
  ASSERT_TRUE(record.open(QIODevice::ReadOnly));
  const QByteArray json = record.readAll();
  EXPECT_TRUE(json.contains("\"first_picture\": 2") && json.contains("\"last_picture\": 4")) << json.toStdString();
  EXPECT_TRUE(json.contains("\"name\": \"Rovena\"")) << "the window wrote it, not rovena-cli";
  // Done: the clip is named, and its folder opens only when asked.
  ASSERT_EQ(v_.platform.offers.size(), 1u);
  EXPECT_TRUE(v_.platform.offers[0].text.contains(out_.filePath("clip.mp4"))) << v_.platform.offers[0].text.toStdString();
  EXPECT_TRUE(v_.platform.openedFolders.isEmpty());
}

TEST_F(ExportFromWindow, OptionsReachTheClipAreRememberedAndTheFolderOpens) {
  Mark(2, 4);
  v_.platform.answerDialog = [](QDialog& d) {
    EXPECT_EQ(Field<QComboBox>(d, "band").currentText(), "pod obrazem") << "below the picture unless asked";
    Field<QCheckBox>(d, "overlaySpeed").setChecked(false);
    Field<QCheckBox>(d, "overlayPosition").setChecked(true);
    Field<QComboBox>(d, "band").setCurrentIndex(1);
    Field<QComboBox>(d, "scale").setCurrentIndex(1);
    Field<QSpinBox>(d, "quality").setValue(23);
    Field<QComboBox>(d, "timeZone").setCurrentText("Europe/Warsaw");
    d.accept();
  };
  v_.platform.actionAnswers.push_back(true);
  PressCtrlE(out_.filePath("clip.mp4"));
  const QByteArray json = Record("clip.json");
  for (const char* option : {"\"overlay\": \"time,position\"", "\"band\": \"over\"", "\"scale\": \"2\"",
                             "\"crf\": \"23\"", "\"time_zone\": \"Europe/Warsaw\""})
    EXPECT_TRUE(json.contains(option)) << option << "\n" << json.toStdString();
  EXPECT_EQ(v_.platform.openedFolders, QStringList{QFileInfo(out_.filePath("clip.mp4")).absolutePath()});

  // The next export starts from the same choices.
  v_.platform.answerDialog = [](QDialog& d) {
    EXPECT_FALSE(Field<QCheckBox>(d, "overlaySpeed").isChecked());
    EXPECT_TRUE(Field<QCheckBox>(d, "overlayPosition").isChecked());
    EXPECT_EQ(Field<QComboBox>(d, "band").currentIndex(), 1);
    EXPECT_EQ(Field<QComboBox>(d, "scale").currentIndex(), 1);
    EXPECT_EQ(Field<QSpinBox>(d, "quality").value(), 23);
    EXPECT_EQ(Field<QComboBox>(d, "timeZone").currentText(), "Europe/Warsaw");
    d.reject();
  };
  PressCtrlE(out_.filePath("second.mp4"));
  EXPECT_EQ(v_.platform.saveDialogs.size(), 1u) << "cancelled at the options: no file asked for";
}

TEST_F(ExportFromWindow, AnUnknownZoneIsNamedAndTheOptionsStayOpen) {
  Mark(2, 4);
  bool stayedOpen = false;
  v_.platform.answerDialog = [&](QDialog& d) {
    Field<QComboBox>(d, "timeZone").setCurrentText("Europe/Atlantis");
    d.accept();
    stayedOpen = d.result() != QDialog::Accepted;
    d.reject();
  };
  PressCtrlE(out_.filePath("clip.mp4"));
  EXPECT_TRUE(stayedOpen);
  ASSERT_EQ(v_.platform.messages.size(), 1u);
  EXPECT_TRUE(v_.platform.messages[0].text.contains("Europe/Atlantis"));
  EXPECT_TRUE(v_.platform.saveDialogs.empty());
  EXPECT_FALSE(v_.platform.settings.contains("ExportTimeZone")) << "nothing remembered from a refused choice";
}

TEST_F(ExportFromWindow, CancelInTheProgressDialogLeavesNoFile) {
  Mark(1, 40);
  QTimer::singleShot(0, v_.form.get(), [this] {
    auto* dialog = v_.form->findChild<QProgressDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Eksport do MP4…"));
    QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
  });
  PressCtrlE(out_.filePath("clip.mp4"));
  EXPECT_EQ(QDir(out_.path()).entryList(QDir::Files | QDir::Hidden).join(","), "");
  EXPECT_TRUE(v_.platform.messages.empty());
}

// The save dialog asks about the clip only: sidecars already beside it are asked about too,
// and No leaves them and writes nothing.
TEST_F(ExportFromWindow, ExistingSidecarsAreReplacedOnlyWhenTheUserAgrees) {
  Mark(1, 3);
  QFile old(out_.filePath("clip.srt"));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("keep") == 4);
  old.close();
  v_.platform.yesNoAnswers = {false};
  PressCtrlE(out_.filePath("clip.mp4"));
  ASSERT_EQ(v_.platform.questions.size(), 1u);
  EXPECT_TRUE(v_.platform.questions[0].text.contains(out_.filePath("clip.srt")));
  EXPECT_EQ(QDir(out_.path()).entryList(QDir::Files | QDir::Hidden).join(","), "clip.srt");
  v_.platform.yesNoAnswers = {true};
  PressCtrlE(out_.filePath("clip.mp4"));
  EXPECT_EQ(QDir(out_.path()).entryList(QDir::Files).join(","), "clip.gpx,clip.json,clip.mp4,clip.srt");
  EXPECT_NE(QFileInfo(out_.filePath("clip.srt")).size(), 4);
}

}  // namespace
}  // namespace rovena::test
