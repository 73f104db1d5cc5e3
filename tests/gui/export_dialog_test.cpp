// Ctrl+E: the marked stretch exported to MP4 from the window, and Cancel in its progress
// dialog leaving nothing behind.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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

  Viewer v_;
  QTemporaryDir out_;
};

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

}  // namespace
}  // namespace rovena::test
