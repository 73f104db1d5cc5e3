// One person's review in the picture window, driven by keys and the mouse through the scripted
// platform: a detector's boxes file opened, a box drawn, one removed, boxes copied, pictures
// marked reviewed, a snapshot covered, the file saved and read back by python3; a new review
// refused a recording as its file.
#include <gtest/gtest.h>

#include <QTest>

#include "gui_test_support.h"
#include "recording_fixture.h"
#include "redact/boxes.h"
#include "scratch_dir.h"
#include "viewer/picture_window.h"

namespace rovena::test {
namespace {

TEST(ReviewSession, AStretchReviewedByKeysAndMouseAndSaved) {
  const TestRecording made = MakeTestRecording("review", 320, 240, 4);
  ScratchDir dir("rovena_review");
  const std::string recording = dir.File("140500.m1v");
  WriteFileAtomically(recording, made.bytes);
  const std::string boxesPath = dir.File("140500.boxes.json");
  redact::BoxFile proposals;
  proposals.boxes = {{{"140500.m1v", 1}, {20, 20, 60, 30}, redact::BoxKind::Plate, redact::BoxOrigin::Detected, false},
                     {{"140500.m1v", 3}, {100, 100, 30, 30}, redact::BoxKind::Face, redact::BoxOrigin::Detected, false}};
  ASSERT_EQ(redact::WriteBoxesFile(boxesPath, proposals, IfExists::Refuse), "");

  Viewer v;
  Form1& f = *v.form;
  v.Open(recording);
  f.cmdUp_Click();
  f.TogglePictureWindow();
  PictureWindow* window = f.Companions().Picture();
  window->resize(640, 480);
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  const auto key = [&](Qt::Key k, Qt::KeyboardModifiers modifiers = {}) { QTest::keyClick(window, k, modifiers); };
  // Window pixels of picture pixel (x, y): the window shows the picture area 1:1 here.
  const QPoint origin = window->PictureRect().topLeft() + QPoint(f.player.Decoder().DrawX(), 0);
  const auto at = [&](int x, int y) { return origin + QPoint(x, y); };

  v.platform.dialogAnswers.push_back(QString::fromStdString(boxesPath));
  key(Qt::Key_R);
  const redact::ReviewSession* review = f.Review();
  ASSERT_NE(review, nullptr);
  EXPECT_EQ(review->PictureCount(), 4);
  EXPECT_EQ(review->CurrentBoxes().size(), 1u);
  // The proposal is drawn where it lies, in the plates' colour.
  EXPECT_EQ(window->grab().toImage().pixelColor(at(20, 20 + 15)), QColor(0, 200, 255));

  // A drag draws a box; 1 makes it a face; a click selects the proposal and Delete removes it.
  QTest::mousePress(window, Qt::LeftButton, {}, at(150, 60));
  QTest::mouseMove(window, at(170, 75));
  QTest::mouseRelease(window, Qt::LeftButton, {}, at(190, 90));
  key(Qt::Key_1);
  EXPECT_EQ(review->File().boxes.back(), (redact::Box{{"140500.m1v", 1}, {150, 60, 40, 30}, redact::BoxKind::Face,
                                                      redact::BoxOrigin::Drawn, true}));
  QTest::mouseClick(window, Qt::LeftButton, {}, at(30, 30));
  key(Qt::Key_Delete);
  ASSERT_EQ(review->CurrentBoxes().size(), 1u);

  // A snapshot in review mode is covered where the boxes are (grown by a fifth), and only there.
  const QString png = QString::fromStdString(dir.File("shot.png"));
  v.platform.dialogAnswers.push_back(png);
  key(Qt::Key_S);
  QImage shot;
  ASSERT_TRUE(shot.load(png, "PNG"));
  const QPoint inArea(f.player.Decoder().DrawX(), 0);
  for (const QPoint p : {QPoint(150, 60), QPoint(189, 89), QPoint(147, 57)})
    EXPECT_EQ(shot.pixelColor(inArea + p), QColor(Qt::black)) << p.x() << "," << p.y();
  for (const QPoint p : {QPoint(30, 30), QPoint(10, 200), QPoint(300, 10)})
    EXPECT_EQ(shot.pixelColor(inArea + p), f.Pic1->Image().pixelColor(inArea + p)) << p.x() << "," << p.y();

  // Enter: reviewed and on to picture 2; P brings picture 1's face along.
  key(Qt::Key_Return);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, made.picturePositions[1]);
  EXPECT_EQ(review->ReviewedCount(), 1);
  key(Qt::Key_P);
  EXPECT_EQ(review->CurrentBoxes().size(), 1u);
  for (int i = 0; i < 4; ++i) key(Qt::Key_Return);
  EXPECT_EQ(review->ReviewedCount(), 4);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, made.picturePositions[3]) << "the stretch's last picture stays";

  // Saved over the file opened, with no dialog; someone else's reader sees the review.
  key(Qt::Key_S, Qt::ShiftModifier);
  EXPECT_FALSE(review->Unsaved());
  EXPECT_TRUE(v.platform.messages.empty()) << v.platform.messages[0].text.toStdString();
  const std::string check =
      "python3 -c \"import json,sys; d=json.load(open(sys.argv[1])); b=d['boxes']; "
      "assert len(d['reviewed'])==4, d; assert all(x['confirmed'] for x in b), b; "
      "assert sorted((x['picture'],x['kind'],x['origin']) for x in b)==[(1,'face','drawn'),(2,'face','drawn'),"
      "(3,'face','detected')], b\" " + boxesPath;
  EXPECT_EQ(std::system(check.c_str()), 0);

  // R leaves review without a question when all is saved; Shift+R starts an empty one, whose
  // first save asks for a name, and a recording of the trip is refused as that name.
  key(Qt::Key_R);
  EXPECT_EQ(f.Review(), nullptr);
  EXPECT_TRUE(v.platform.questions.empty());
  key(Qt::Key_R, Qt::ShiftModifier);
  ASSERT_NE(f.Review(), nullptr);
  QTest::mousePress(window, Qt::LeftButton, {}, at(10, 10));
  QTest::mouseRelease(window, Qt::LeftButton, {}, at(40, 40));
  v.platform.dialogAnswers.push_back(QString::fromStdString(recording));
  key(Qt::Key_S, Qt::ShiftModifier);
  EXPECT_EQ(v.platform.saveDialogs.back().presetName, QString::fromStdString(recording + ".boxes.json"));
  ASSERT_EQ(v.platform.messages.size(), 1u);
  EXPECT_TRUE(v.platform.messages[0].text.startsWith("Nie można zapisać ramek do oglądanego pliku"))
      << v.platform.messages[0].text.toStdString();
  EXPECT_EQ(ReadWholeFile(recording), made.bytes);
  EXPECT_TRUE(f.Review()->Unsaved());
  // Leaving with unsaved boxes asks; "No" lets them go.
  key(Qt::Key_R);
  EXPECT_EQ(v.platform.questions.size(), 1u);
  EXPECT_EQ(f.Review(), nullptr);

  f.ShowKeyHelp();
  for (const char* listed : {"Przegląd ramek", "Delete", "Enter", "Shift+S", "Ramki poprzedniego obrazu"})
    EXPECT_TRUE(v.platform.messages.back().text.contains(QString::fromUtf8(listed))) << listed;
}

}  // namespace
}  // namespace rovena::test
