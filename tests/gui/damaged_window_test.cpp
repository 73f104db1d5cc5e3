// What the user sees of damaged and unusual recordings: the label under the picture, the
// button pictures, the picture area and the GPS labels. Also a sparse recording of 3 GiB
// whose pictures lie beyond 2^31 bytes: the jump to the end, very fast play both ways, the
// bar's seek and percentage, and a cut taken there.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QTemporaryDir>
#include <algorithm>
#include <random>

#include "gui_test_support.h"
#include "core/nmea.h"
#include "core/picture_decoder.h"
#include "recording_fixture.h"
#include "tools/recording_writer.h"

namespace rovena::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

const QStringList kUpEnded = {"DownE", "DownFFF", "DownFF", "DownF", "Down", "StopU",
                              "UpU",   "UpFU",    "UpFFU", "UpFFFU", "UpEU"};
const QStringList kDownEnded = {"DownEU", "DownFFFU", "DownFFU", "DownFU", "DownU", "StopU",
                                "Up",     "UpF",      "UpFF",    "UpFFF",  "UpE"};
const QStringList kNothingOpen = {"DownEU", "DownFFFU", "DownFFU", "DownFU", "DownU", "StopU",
                                  "UpU",    "UpFU",     "UpFFU",   "UpFFFU", "UpEU"};

std::vector<std::int64_t> PicturePositions(const Bytes& bytes) {
  std::vector<std::int64_t> positions;
  for (size_t i = 3; i < bytes.size(); ++i)
    if (bytes[i - 3] == 0 && bytes[i - 2] == 0 && bytes[i - 1] == 1 && bytes[i] == 0)
      positions.push_back(static_cast<std::int64_t>(i) + 1);
  return positions;
}

// CIF pictures with sentences firstIndex, firstIndex + 1, ...; detailed ones are large enough
// that very fast play's 200000-byte jumps land on several pictures of a run.
RecordingWriter CifWriter(int pictures, int firstIndex = 0, bool detailed = false) {
  RecordingWriter writer(320, 240);
  for (int i = firstIndex; i < firstIndex + pictures; ++i)
    writer.AddPicture(detailed ? MakeDetailedPattern(320, 240, i) : MakeTestPattern(320, 240, i), MakeGprmcSentence(i));
  return writer;
}

std::string WriteRecording(const std::string& name, const Bytes& bytes) {
  const std::string path = FolderOfItsOwn("damaged_window_" + name) + "/damaged_window_" + name + ".m1v";
  WriteFileAtomically(path, bytes);
  return path;
}

QString TimeOf(int index) { return QString::fromStdString(*ParseNmea(MakeGprmcSentence(index)).timeText); }

bool AllBlack(const QImage& image) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if ((image.pixel(x, y) & 0xFFFFFF) != 0) return false;
  return true;
}

TEST(DamagedWindow, CutRecordingShowsItsWholePicturesThenStops) {
  const RecordingWriter writer = CifWriter(4);
  const std::vector<std::int64_t> positions = PicturePositions(writer.Bytes());
  const Bytes cut(writer.Bytes().begin(), writer.Bytes().begin() + (positions[2] + positions[3]) / 2);
  Viewer v;
  v.Open(WriteRecording("cut", cut));
  v.form->cmdUpF_Click();  // plays to the end
  EXPECT_FALSE(v.form->Playing);
  EXPECT_EQ(Keys(*v.form), kUpEnded);
  EXPECT_EQ(v.form->lblTime->text(), TimeOf(2)) << "the cut picture's sentence was still read";
  const QImage shown = v.form->Pic1->Image().copy();
  EXPECT_FALSE(AllBlack(shown));
  // The jump to the end meets the cut picture, cannot read it whole, and goes back to the last
  // whole picture: the second is shown again and the viewer stands at the end.
  v.form->cmdUpE_Click();
  EXPECT_EQ(v.form->Pic1->Image(), shown);
  EXPECT_EQ(v.form->lblTime->text(), TimeOf(1));
  EXPECT_EQ(v.form->player.CurrentRecording().PicPos, positions[1]);
  EXPECT_EQ(Keys(*v.form), kUpEnded);
  v.form->cmdDown_Click();
  EXPECT_EQ(v.form->lblTime->text(), TimeOf(0));
}

TEST(DamagedWindow, AnUndecodablePictureLeavesThePreviousOneAndPlayGoesOn) {
  const RecordingWriter writer = CifWriter(3);
  const std::vector<std::int64_t> positions = PicturePositions(writer.Bytes());
  // Flip bits in the middle picture until the core cannot decode it.
  std::mt19937 random(11);
  Bytes damaged;
  for (int attempt = 0; attempt < 200 && damaged.empty(); ++attempt) {
    Bytes candidate = writer.Bytes();
    const auto at = positions[1] + 200 + static_cast<std::int64_t>(random() % 400);
    candidate[static_cast<size_t>(at)] ^= 0xFF;
    if (PicturePositions(candidate).size() != 3) continue;
    Recording recording;
    PictureDecoder decoder;
    std::string error;
    const std::string probe = WriteRecording("flip_probe", candidate);
    if (!recording.Open(probe, error) || !decoder.CheckSize(recording.File())) continue;
    for (int i = 0; i < 2; ++i) recording.StepUp(decoder.PicBuf());
    if (decoder.ShowPic() == PictureDecoder::PictureResult::Failed) damaged = candidate;
  }
  ASSERT_FALSE(damaged.empty());

  Viewer v;
  v.Open(WriteRecording("flip", damaged));
  v.form->cmdUp_Click();
  const QImage first = v.form->Pic1->Image().copy();
  v.form->cmdUp_Click();
  EXPECT_EQ(v.form->player.CurrentRecording().PicPos, positions[1]);
  EXPECT_EQ(v.form->Pic1->Image(), first);
  EXPECT_EQ(v.form->lblTime->text(), TimeOf(1)) << "its sentence is shown all the same";
  EXPECT_EQ(v.form->cmdDown->PictureKey(), "Down");
  v.form->cmdUp_Click();
  EXPECT_EQ(v.form->player.CurrentRecording().PicPos, positions[2]);
  EXPECT_NE(v.form->Pic1->Image(), first);
}

TEST(DamagedWindow, OversizedPictureOrOverlongUserDataIsAnEnd) {
  RecordingWriter big(320, 240);
  big.AddPicture(MakeTestPattern(320, 240, 0), MakeGprmcSentence(0));
  Bytes slice = EncodeSliceData(MakeTestPattern(320, 240, 1));
  slice.resize(310000, 0xFF);
  big.AddCodedPicture(slice, MakeGprmcSentence(1));

  RecordingWriter chatty(320, 240);
  chatty.AddPicture(MakeTestPattern(320, 240, 0), MakeGprmcSentence(0));
  chatty.AddPicture(MakeTestPattern(320, 240, 1), MakeGprmcSentence(1) + std::string(9000, 'x'));

  for (const auto& [name, bytes] : {std::pair{"oversized", big.Bytes()}, std::pair{"chatty", chatty.Bytes()}}) {
    Viewer v;
    v.Open(WriteRecording(name, bytes));
    v.form->cmdUp_Click();
    const QImage first = v.form->Pic1->Image().copy();
    v.form->cmdUp_Click();
    EXPECT_EQ(Keys(*v.form), kUpEnded) << name;
    EXPECT_EQ(v.form->Pic1->Image(), first) << name;
    EXPECT_EQ(v.form->lblTime->text(), TimeOf(name == std::string("oversized") ? 1 : 0)) << name;
  }
}

TEST(DamagedWindow, MissingEndCodeSkipsOnePictureAndMissingUserDataHidesTheGps) {
  const RecordingWriter writer = CifWriter(4);
  Bytes joined = writer.Bytes();
  const Bytes endCode = {0, 0, 1, 0xB7};
  const auto second = std::search(joined.begin() + PicturePositions(joined)[1], joined.end(), endCode.begin(), endCode.end());
  joined.erase(second, second + 4);
  Viewer v;
  v.Open(WriteRecording("joined", joined));
  for (const int expected : {0, 1, 3}) {
    v.form->cmdUp_Click();
    EXPECT_EQ(v.form->lblTime->text(), TimeOf(expected));
  }

  RecordingWriter silent(320, 240);
  for (int i = 0; i < 2; ++i) silent.AddPicture(MakeTestPattern(320, 240, i), "");
  Viewer quiet;
  quiet.Open(WriteRecording("silent", silent.Bytes()));
  quiet.form->cmdUp_Click();
  quiet.form->cmdUp_Click();
  EXPECT_FALSE(AllBlack(quiet.form->Pic1->Image()));
  EXPECT_TRUE(quiet.form->lblTime->isHidden());
  EXPECT_TRUE(quiet.form->lblSpeed->isHidden());
  EXPECT_TRUE(quiet.form->chkGps->isHidden());
}

// Files that open but do not begin with an accepted sequence header: "Bad  file !", no
// picture drawn, the Up buttons usable, the GPS labels still following the pictures found.
TEST(DamagedWindow, FilesWithoutAnAcceptedHeaderAreBadButOpen) {
  const RecordingWriter writer = CifWriter(2);
  Bytes garbage(3000);
  std::mt19937 random(3);
  for (std::uint8_t& b : garbage) b = static_cast<std::uint8_t>(2 + random() % 254);
  Bytes garbageFirst = garbage;
  garbageFirst.insert(garbageFirst.end(), writer.Bytes().begin(), writer.Bytes().end());
  const Bytes headless(writer.Bytes().begin() + 12, writer.Bytes().end());
  for (const auto& [name, bytes] : {std::pair{"garbage", garbageFirst}, std::pair{"headless", headless}, std::pair{"empty", Bytes{}}}) {
    Viewer v;
    v.Open(WriteRecording(name, bytes));
    EXPECT_EQ(v.form->lblFile->text(), "Bad  file !") << name;
    EXPECT_EQ(v.form->cmdUp->PictureKey(), "Up") << name;
    v.form->cmdUp_Click();
    EXPECT_TRUE(AllBlack(v.form->Pic1->Image())) << name;
    if (bytes.empty()) {
      EXPECT_EQ(Keys(*v.form), kUpEnded);
    } else {
      EXPECT_EQ(v.form->lblTime->text(), TimeOf(0)) << name;
      EXPECT_FALSE(v.form->lblTime->isHidden()) << name;
    }
  }
}

TEST(DamagedWindow, ThingsThatAreNotFilesLeaveNothingOpen) {
  const TestRecording rec = MakeTestRecording("damaged_before", 320, 240, 3);
  QTemporaryDir folder;
  const QString fifo = folder.filePath("pipe.m1v");
  ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0644), 0);
  for (const QString& path : {folder.path(), fifo}) {
    Viewer v;
    v.Open(rec.path);
    v.form->cmdUp_Click();
    v.Open(path.toStdString());  // a FIFO without a writer must not block the window
    EXPECT_NE(v.form->lblFile->text(), path) << "an error text replaces the name";
    EXPECT_FALSE(v.form->lblFile->text().isEmpty());
    EXPECT_EQ(Keys(*v.form), kNothingOpen);
    EXPECT_EQ(v.form->lblPlay->text(), "0%");
    for (auto click : {&Form1::cmdUp_Click, &Form1::cmdDown_Click, &Form1::cmdUpE_Click, &Form1::cmdDownE_Click,
                       &Form1::cmdUpFF_Click, &Form1::cmdDownFFF_Click})
      (v.form.get()->*click)();
    EXPECT_FALSE(v.form->Playing);
  }
}

TEST(DamagedWindow, RecordingShortenedWhileOpenPlaysToTheCut) {
  // Large pictures, so that the cut lies beyond what the file had buffered before it.
  const RecordingWriter writer = CifWriter(12, 0, true);
  const std::vector<std::int64_t> positions = PicturePositions(writer.Bytes());
  ASSERT_GT(positions[6], 200000);
  const std::string path = WriteRecording("shrinking", writer.Bytes());
  Viewer v;
  v.Open(path);
  v.form->cmdUp_Click();
  ASSERT_EQ(::truncate(path.c_str(), positions[6] + 100), 0);
  v.form->cmdUpF_Click();
  EXPECT_FALSE(v.form->Playing);
  EXPECT_EQ(Keys(*v.form), kUpEnded);
  EXPECT_EQ(v.form->player.CurrentRecording().PicPos, positions[6]) << "the cut picture is found but not shown";
  EXPECT_EQ(v.form->lblTime->text(), TimeOf(6));
  // Deleted while open: the open file still reads to its (shortened) end.
  ASSERT_EQ(::unlink(path.c_str()), 0);
  v.form->cmdDownE_Click();
  EXPECT_EQ(v.form->player.CurrentRecording().PicPos, positions[0]);
  EXPECT_EQ(v.form->lblTime->text(), TimeOf(0));
}

// ---------------------------------------------------------------- 3 GiB

constexpr std::int64_t kHugeLength = std::int64_t{3} << 30;
constexpr std::int64_t k2GiB = std::int64_t{1} << 31;

// A sparse recording: three pictures at the start, a run of pictures one of whose start
// codes straddles byte 2^31, and a run that ends the file; zeros in between.
class HugeRecording {
 public:
  HugeRecording() : head_(CifWriter(3)), middle_(CifWriter(40, 100, true)), tail_(CifWriter(40, 200, true)) {
    path = folder_.filePath("huge.m1v").toStdString();
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::ftruncate(fd, kHugeLength), 0);
    // Picture 20 of the middle run: its start code's 00 00 | 01 00 straddle offset 2^31.
    const std::int64_t straddler = PicturePositions(middle_.Bytes())[20];
    middleOffset = k2GiB + 2 - straddler;
    tailOffset = kHugeLength - static_cast<std::int64_t>(tail_.Bytes().size());
    Put(fd, 0, head_.Bytes());
    Put(fd, middleOffset, middle_.Bytes());
    Put(fd, tailOffset, tail_.Bytes());
    ::close(fd);
  }
  ~HugeRecording() { ::unlink(path.c_str()); }

  std::vector<std::int64_t> MiddlePositions() const { return Shifted(middle_, middleOffset); }
  std::vector<std::int64_t> TailPositions() const { return Shifted(tail_, tailOffset); }
  Bytes Read(std::int64_t first, std::int64_t last) const {  // 1-based, inclusive
    Bytes bytes(static_cast<size_t>(last - first + 1));
    const int fd = ::open(path.c_str(), O_RDONLY);
    EXPECT_EQ(::pread(fd, bytes.data(), bytes.size(), first - 1), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
    return bytes;
  }

  std::string path;
  std::int64_t middleOffset = 0;
  std::int64_t tailOffset = 0;

 private:
  static void Put(int fd, std::int64_t offset, const Bytes& bytes) {
    EXPECT_EQ(::pwrite(fd, bytes.data(), bytes.size(), offset), static_cast<ssize_t>(bytes.size()));
  }
  static std::vector<std::int64_t> Shifted(const RecordingWriter& w, std::int64_t offset) {
    std::vector<std::int64_t> positions = PicturePositions(w.Bytes());
    for (std::int64_t& p : positions) p += offset;
    return positions;
  }

  QTemporaryDir folder_;
  RecordingWriter head_, middle_, tail_;
};

TEST(HugeRecording, EndJumpVeryFastPlaySeekAndCutBeyondTwoGiB) {
  HugeRecording huge;
  const std::vector<std::int64_t> middle = huge.MiddlePositions();
  const std::vector<std::int64_t> tail = huge.TailPositions();
  ASSERT_EQ(middle[20], k2GiB + 2);
  ASSERT_GT(tail[39] - tail[30], 400000) << "runs too short for very fast play";
  Viewer v;
  v.Open(huge.path);
  Form1& f = *v.form;
  EXPECT_EQ(f.player.CurrentRecording().FileLen, kHugeLength);
  EXPECT_EQ(f.player.Decoder().PicFormat, kFormatCif);

  // The jump to the end: the last picture, shown, with its sentence and 99%.
  f.cmdUpE_Click();
  EXPECT_EQ(f.player.CurrentRecording().PicPos, tail.back());
  EXPECT_EQ(f.lblTime->text(), TimeOf(239));
  EXPECT_EQ(f.lblPlay->text(), "99%");
  EXPECT_FALSE(AllBlack(f.Pic1->Image()));
  EXPECT_GT(f.fraCmd->shPlayWidth, f.fraCmd->shFile.trackWidth * 0.99f);

  // Very fast play down jumps 200000 bytes a picture and stops in the zeros before the run.
  f.cmdDownFFF_Click();
  EXPECT_EQ(Keys(f), kDownEnded);
  // PicPos keeps the failed jump's origin: 200000 below the last picture shown.
  const std::int64_t lastShown = f.player.CurrentRecording().PicPos + 200000;
  ASSERT_TRUE(std::count(tail.begin(), tail.end(), lastShown));
  EXPECT_LT(lastShown, tail[tail.size() - 3]);
  const auto shownIndex = std::find(tail.begin(), tail.end(), lastShown) - tail.begin();
  EXPECT_EQ(f.lblTime->text(), TimeOf(200 + static_cast<int>(shownIndex)));

  // A drag of the bar to just before the middle run: the seek finds its first picture.
  const BarGeometry& track = f.fraCmd->shFile;
  const float y = track.trackTop + track.trackHeight / 2;
  const float target = track.trackWidth * static_cast<float>(static_cast<double>(huge.middleOffset - 100000) / kHugeLength);
  f.fraCmd_MouseDown(1, 0, track.trackLeft + f.fraCmd->shPlayWidth, y);
  ASSERT_TRUE(f.BarDragging);
  f.fraCmd_MouseMove(1, 0, track.trackLeft + target, y);
  f.fraCmd_MouseUp(1, 0, track.trackLeft + target, y);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, middle[0]);
  EXPECT_EQ(f.lblTime->text(), TimeOf(100));

  // Steps across 2^31, with the percentage of a 64-bit position.
  while (f.player.CurrentRecording().PicPos < middle[20]) f.cmdUp_Click();
  EXPECT_EQ(f.player.CurrentRecording().PicPos, k2GiB + 2);
  EXPECT_EQ(f.lblTime->text(), TimeOf(120));
  EXPECT_EQ(f.lblPlay->text(), "66%");

  // A cut of three pictures there.
  f.cmdCut_Click();
  f.cmdUp_Click();
  f.cmdUp_Click();
  f.cmdCut_Click();
  ASSERT_EQ(f.player.Marks().CutStart(), middle[20]);
  const std::int64_t cutEnd = f.player.Marks().CutEnd();
  EXPECT_EQ(cutEnd, middle[23] - 24) << "the end mark is the third picture's last byte";
  QTemporaryDir out;
  const QString fragment = out.filePath("fragment.m1v");
  v.platform.dialogAnswers.push_back(fragment);
  f.cmdSaveCut_Click();
  Bytes expected = huge.Read(1, 20);
  const Bytes body = huge.Read(middle[20] - 11, cutEnd);
  expected.insert(expected.end(), body.begin(), body.end());
  EXPECT_EQ(ReadWholeFile(fragment.toStdString()), expected);

  // Very fast play up from there ends in the zeros after the middle run.
  f.cmdUpFFF_Click();
  EXPECT_EQ(Keys(f), kUpEnded);
  EXPECT_TRUE(std::count(middle.begin(), middle.end(), f.player.CurrentRecording().PicPos));
  EXPECT_GT(f.player.CurrentRecording().PicPos, middle[23]);
}

}  // namespace
}  // namespace rovena::test
