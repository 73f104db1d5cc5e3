// Recordings as real recorders and file systems leave them: cut short, bit-flipped, oversized,
// without end codes or user data, with garbage in front, not files at all, changed while open.
// Each case checks what the searches, the frame read and the decoder make of it: the pictures
// that are whole still come out exactly, the damaged one ends the way in that direction, and
// nothing reads or writes outside its buffers.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/picture_decoder.h"
#include "core/recording.h"
#include "recording_fixture.h"
#include "tools/recording_writer.h"

namespace rovena {
namespace {

using Bytes = std::vector<uint8_t>;

std::vector<int64_t> PicturePositions(const Bytes& bytes) {
  std::vector<int64_t> positions;
  for (size_t i = 3; i < bytes.size(); ++i)
    if (bytes[i - 3] == 0 && bytes[i - 2] == 0 && bytes[i - 1] == 1 && bytes[i] == 0)
      positions.push_back(static_cast<int64_t>(i) + 1);
  return positions;
}

size_t CountStartCodePrefixes(const Bytes& bytes) {
  size_t n = 0;
  for (size_t i = 2; i < bytes.size(); ++i) n += bytes[i - 2] == 0 && bytes[i - 1] == 0 && bytes[i] == 1;
  return n;
}

RecordingWriter MakeWriter(int pictures, int width = 320, int height = 240, bool withSentences = true) {
  RecordingWriter writer(width, height);
  for (int i = 0; i < pictures; ++i)
    writer.AddPicture(MakeTestPattern(width, height, i), withSentences ? MakeGprmcSentence(i) : "");
  return writer;
}

// One recording on disk, walked as the window walks it, with the decoder behind it.
class Walk {
 public:
  explicit Walk(const Bytes& bytes, const std::string& name) : path_(test::TestDataDir() + "/damaged_" + name + ".mpg") {
    test::WriteFileAtomically(path_, bytes);
    std::string error;
    opened_ = recording.Open(path_, error);
    EXPECT_TRUE(opened_) << error;
    if (opened_) headerAccepted = decoder.CheckSize(recording.File());
  }
  ~Walk() { ::unlink(path_.c_str()); }

  bool StepUp() { return recording.StepUp(decoder.PicBuf()); }
  bool StepDown() { return recording.StepDown(decoder.PicBuf()); }
  bool Read() { return recording.ReadFrame(decoder.PicBuf()); }
  PictureDecoder::PictureResult Decode() { return decoder.ShowPic(); }
  const std::string& Path() const { return path_; }

  Recording recording;
  PictureDecoder decoder;
  bool headerAccepted = false;

 private:
  std::string path_;
  bool opened_ = false;
};

// The colour frames of every picture of an undamaged recording, in order.
std::vector<Bytes> DecodeAll(const Bytes& bytes, const std::string& name) {
  Walk walk(bytes, name);
  std::vector<Bytes> frames;
  while (walk.StepUp()) {
    EXPECT_EQ(walk.Decode(), PictureDecoder::PictureResult::Decoded);
    frames.push_back(walk.decoder.FrameBuf);
  }
  return frames;
}

TEST(DamagedRecording, CutInsideAPictureEndsThereAndTheWholePicturesStayExact) {
  const RecordingWriter writer = MakeWriter(4);
  const std::vector<Bytes> original = DecodeAll(writer.Bytes(), "cut_reference");
  const std::vector<int64_t> positions = PicturePositions(writer.Bytes());
  // Cut halfway into the third picture's slice data.
  const Bytes cut(writer.Bytes().begin(), writer.Bytes().begin() + (positions[2] + positions[3]) / 2);
  Walk walk(cut, "cut");
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(walk.StepUp());
    ASSERT_EQ(walk.Decode(), PictureDecoder::PictureResult::Decoded);
    EXPECT_EQ(walk.decoder.FrameBuf, original[i]);
  }
  EXPECT_TRUE(walk.recording.FindStartUp());
  EXPECT_EQ(walk.recording.PicPos, positions[2]);
  EXPECT_TRUE(walk.recording.FindPicStart());
  EXPECT_FALSE(walk.Read()) << "a picture without its end code is the end of the recording";
  EXPECT_FALSE(walk.StepUp());
  // Back from the cut picture: the second picture, exactly.
  walk.recording.PicPos = positions[2];
  ASSERT_TRUE(walk.StepDown());
  EXPECT_EQ(walk.recording.PicPos, positions[1]);
  ASSERT_EQ(walk.Decode(), PictureDecoder::PictureResult::Decoded);
  EXPECT_EQ(walk.decoder.FrameBuf, original[1]);
}

TEST(DamagedRecording, FlippedBitsSpoilOnlyTheirPicture) {
  const RecordingWriter writer = MakeWriter(3);
  const std::vector<Bytes> original = DecodeAll(writer.Bytes(), "flip_reference");
  const std::vector<int64_t> positions = PicturePositions(writer.Bytes());
  std::mt19937 random(20061230);
  int tried = 0;
  for (int round = 0; round < 40; ++round) {
    Bytes flipped = writer.Bytes();
    // Slice data of the middle picture: from well past its headers to before its end code.
    std::uniform_int_distribution<int64_t> at(positions[1] + 120, positions[2] - 40);
    for (int bit = 0; bit < 1 + round % 8; ++bit) flipped[static_cast<size_t>(at(random))] ^= static_cast<uint8_t>(1u << (random() % 8));
    // A flip that forms a new start code changes the file's structure, not only its picture.
    if (CountStartCodePrefixes(flipped) != CountStartCodePrefixes(writer.Bytes())) continue;
    ++tried;
    Walk walk(flipped, "flip");
    ASSERT_TRUE(walk.StepUp());
    ASSERT_EQ(walk.Decode(), PictureDecoder::PictureResult::Decoded);
    ASSERT_TRUE(walk.StepUp());
    const PictureDecoder::PictureResult damaged = walk.Decode();
    EXPECT_TRUE(damaged == PictureDecoder::PictureResult::Decoded || damaged == PictureDecoder::PictureResult::Failed);
    ASSERT_TRUE(walk.StepUp()) << "the next picture is still found";
    ASSERT_EQ(walk.Decode(), PictureDecoder::PictureResult::Decoded);
    EXPECT_EQ(walk.decoder.FrameBuf, original[2]);
  }
  EXPECT_GT(tried, 20);
}

// Slice data of `length` bytes: a real CIF picture padded with bytes that hold no start code.
Bytes PaddedSlice(size_t length) {
  Bytes slice = EncodeSliceData(MakeTestPattern(320, 240, 7));
  slice.resize(length, 0xFF);
  return slice;
}

TEST(DamagedRecording, PictureDataFillPicBufExactlyOrOverflowIt) {
  // ReadFrame stores the slice data and the 4-byte end code from index 0; 299996 data bytes
  // put the B7 at index 299999, the last one PicBuf has.
  for (const size_t length : {size_t{299996}, size_t{299997}, size_t{400000}}) {
    RecordingWriter writer(320, 240);
    writer.AddCodedPicture(PaddedSlice(length), MakeGprmcSentence(0));
    writer.AddPicture(MakeTestPattern(320, 240, 1), MakeGprmcSentence(1));
    Walk walk(writer.Bytes(), "oversized");
    const bool fits = length <= 299996;
    EXPECT_EQ(walk.StepUp(), fits) << length;
    const uint8_t* padding = walk.decoder.PicBuf() + kPicBufSize;
    EXPECT_TRUE(std::all_of(padding, padding + PicBufPadding, [](uint8_t b) { return b == 0; }))
        << "nothing is stored past PicBuf";
    if (fits) {
      EXPECT_EQ(walk.Decode(), PictureDecoder::PictureResult::Decoded);
    }
    // The search goes on from where the read stopped and still finds the next picture.
    ASSERT_TRUE(walk.StepUp()) << length;
    EXPECT_EQ(walk.recording.NmeaLine, MakeGprmcSentence(1));
  }
}

const Bytes kEndCode = {0, 0, 1, 0xB7};

// The recording without the first sequence end code at or after index `from`.
Bytes WithoutEndCode(const Bytes& bytes, int64_t from) {
  Bytes out = bytes;
  const auto end = std::search(out.begin() + from, out.end(), kEndCode.begin(), kEndCode.end());
  out.erase(end, end + 4);
  return out;
}

TEST(DamagedRecording, MissingEndCodeJoinsAPictureWithTheNext) {
  const RecordingWriter writer = MakeWriter(4);
  const std::vector<Bytes> original = DecodeAll(writer.Bytes(), "noend_reference");
  const std::vector<int64_t> positions = PicturePositions(writer.Bytes());
  Walk walk(WithoutEndCode(writer.Bytes(), positions[1]), "noend");
  // The second picture's read runs on to the third one's end code; the third is passed over.
  for (const int expected : {0, 1, 3}) {
    ASSERT_TRUE(walk.StepUp()) << expected;
    EXPECT_EQ(walk.recording.NmeaLine, MakeGprmcSentence(expected));
    ASSERT_EQ(walk.Decode(), PictureDecoder::PictureResult::Decoded);
    EXPECT_EQ(walk.decoder.FrameBuf, original[static_cast<size_t>(expected)]);
  }
  EXPECT_FALSE(walk.StepUp());

  Bytes none = writer.Bytes();
  for (int i = 0; i < 4; ++i) none = WithoutEndCode(none, 0);
  ASSERT_EQ(none.size() + 16, writer.Bytes().size());
  Walk noEnds(none, "noends");
  EXPECT_FALSE(noEnds.StepUp()) << "without any end code no picture is ever complete";
}

TEST(DamagedRecording, PicturesWithoutUserDataShowNoSentence) {
  const RecordingWriter writer = MakeWriter(3, 320, 240, false);
  Walk walk(writer.Bytes(), "nouserdata");
  walk.recording.NmeaLine = "left over";
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(walk.StepUp());
    EXPECT_EQ(walk.recording.NmeaLine, "");
    EXPECT_EQ(walk.Decode(), PictureDecoder::PictureResult::Decoded);
  }
}

// Bytes FindPicStart reads for the first picture: from behind its start code to the 01 of the
// slice start code.
int64_t SliceSearchLength(const Bytes& bytes) {
  const int64_t picture = PicturePositions(bytes)[0];
  const Bytes slice = {0, 0, 1, 1};
  const auto at = std::search(bytes.begin() + picture, bytes.end(), slice.begin(), slice.end());
  return (at - bytes.begin()) + 4 - picture;
}

TEST(DamagedRecording, UserDataLongerThanTheSliceSearchEndsTheRecording) {
  // Find the sentence length whose picture needs exactly the 8192 bytes the search may read.
  const auto recordingWith = [](size_t textLength) {
    RecordingWriter writer(320, 240);
    std::string text = MakeGprmcSentence(0);
    text.resize(textLength, 'x');
    writer.AddPicture(MakeTestPattern(320, 240, 0), text);
    writer.AddPicture(MakeTestPattern(320, 240, 1), MakeGprmcSentence(1));
    return writer;
  };
  const size_t overhead = static_cast<size_t>(SliceSearchLength(recordingWith(100).Bytes())) - 100;
  const size_t longest = kPicStartLimit - overhead;
  {
    Walk walk(recordingWith(longest).Bytes(), "userdata_fits");
    ASSERT_TRUE(walk.StepUp());
    EXPECT_EQ(walk.recording.NmeaLine.size(), longest);
    EXPECT_EQ(walk.Decode(), PictureDecoder::PictureResult::Decoded);
  }
  for (const size_t length : {longest + 1, size_t{8192}, size_t{20000}}) {
    Walk walk(recordingWith(length).Bytes(), "userdata_long");
    EXPECT_TRUE(walk.recording.FindStartUp());
    EXPECT_FALSE(walk.recording.FindPicStart()) << length;
    EXPECT_EQ(walk.recording.File().CurrentPosition(), walk.recording.PicPos + 1 + kPicStartLimit);
  }
}

TEST(DamagedRecording, GarbageInFrontHidesTheHeaderButNotThePictures) {
  const RecordingWriter writer = MakeWriter(2);
  std::mt19937 random(7);
  Bytes garbage(5000);
  for (uint8_t& b : garbage) b = static_cast<uint8_t>(2 + random() % 254);  // no 00 or 01: no start code
  Bytes bytes = garbage;
  bytes.insert(bytes.end(), writer.Bytes().begin(), writer.Bytes().end());
  Walk walk(bytes, "garbage");
  EXPECT_FALSE(walk.headerAccepted);
  EXPECT_EQ(walk.decoder.PicFormat, 0);
  ASSERT_TRUE(walk.StepUp());
  EXPECT_EQ(walk.recording.PicPos, 5000 + PicturePositions(writer.Bytes())[0]);
  EXPECT_EQ(walk.Decode(), PictureDecoder::PictureResult::NoFormat);

  // A VGA header in front of CIF pictures: they are decoded as VGA, which fails or gives a
  // wrong picture, but reads nothing outside PicBuf and writes nothing outside FrameBuf.
  Bytes fake = {0, 0, 1, 0xB3, 0x28, 0x01, 0xE0, 0x13};
  fake.insert(fake.end(), writer.Bytes().begin() + 8, writer.Bytes().end());
  Walk mismatched(fake, "fakeheader");
  EXPECT_TRUE(mismatched.headerAccepted);
  while (mismatched.StepUp()) {
    const auto result = mismatched.Decode();
    EXPECT_TRUE(result == PictureDecoder::PictureResult::Decoded || result == PictureDecoder::PictureResult::Failed);
  }
}

TEST(DamagedRecording, EmptyFileAndFileWithoutSequenceHeader) {
  Walk empty(Bytes{}, "empty");
  EXPECT_EQ(empty.recording.FileLen, 0);
  EXPECT_FALSE(empty.headerAccepted);
  EXPECT_FALSE(empty.recording.FindStartUp());
  empty.recording.PicPos = empty.recording.FileLen - 1;
  EXPECT_FALSE(empty.recording.FindStartDown());
  EXPECT_FALSE(empty.recording.FindPicStart());
  EXPECT_FALSE(empty.Read());

  // Starting at the group header: refused as a format, yet the pictures are found.
  const RecordingWriter writer = MakeWriter(2);
  const Bytes headless(writer.Bytes().begin() + 12, writer.Bytes().end());
  Walk walk(headless, "headless");
  EXPECT_FALSE(walk.headerAccepted);
  ASSERT_TRUE(walk.StepUp());
  EXPECT_EQ(walk.recording.PicPos, PicturePositions(writer.Bytes())[0] - 12);
  EXPECT_EQ(walk.recording.NmeaLine, MakeGprmcSentence(0));
}

TEST(DamagedRecording, ThingsThatAreNotReadableFilesAreRefusedWithoutBlocking) {
  const std::string folder = test::TestDataDir() + "/damaged_not_files";
  ::mkdir(folder.c_str(), 0755);
  const std::string fifo = folder + "/fifo.mpg";
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  for (const std::string& path : {folder, fifo, folder + "/missing.mpg"}) {
    RecordingFile file;
    std::string error;
    EXPECT_FALSE(file.Open(path, error)) << path;  // a FIFO without a writer must not block here
    EXPECT_FALSE(error.empty()) << path;
    EXPECT_FALSE(file.IsOpen());
  }
  // Choosing one of them after a recording leaves nothing of that recording behind.
  Walk walk(MakeWriter(2).Bytes(), "before_not_file");
  ASSERT_TRUE(walk.StepUp());
  std::string error;
  EXPECT_FALSE(walk.recording.Open(fifo, error));
  EXPECT_EQ(walk.recording.FileLen, 0);
  EXPECT_EQ(walk.recording.PicPos, 0);
  EXPECT_FALSE(walk.recording.FindStartDown());
  ::unlink(fifo.c_str());
}

TEST(DamagedRecording, FileWithoutReadPermissionIsRefused) {
  const std::string path = test::TestDataDir() + "/damaged_unreadable.mpg";
  test::WriteFileAtomically(path, MakeWriter(1).Bytes());
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  // Root reads anything, so the check runs as an unprivileged user in a child process.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && ::setuid(65534) != 0) ::_exit(3);
    RecordingFile file;
    std::string error;
    const bool opened = file.Open(path, error);
    ::_exit(!opened && !error.empty() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::unlink(path.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "an unreadable file was opened";
}

TEST(DamagedRecording, DeletedWhileOpenStillPlaysToTheEnd) {
  const RecordingWriter writer = MakeWriter(3);
  Walk walk(writer.Bytes(), "deleted");
  ASSERT_TRUE(walk.StepUp());
  ASSERT_EQ(::unlink(walk.Path().c_str()), 0);
  for (int i = 1; i < 3; ++i) {
    ASSERT_TRUE(walk.StepUp());
    EXPECT_EQ(walk.recording.NmeaLine, MakeGprmcSentence(i));
  }
  EXPECT_FALSE(walk.StepUp());
}

TEST(DamagedRecording, ShortenedWhileOpenEndsAtTheCutAndReadsZerosBeyond) {
  // VGA pictures of fine detail, so that the cut lies beyond the file's read buffer.
  RecordingWriter writer(640, 480);
  for (int i = 0; i < 5; ++i) writer.AddPicture(MakeDetailedPattern(640, 480, i), MakeGprmcSentence(i));
  const std::vector<int64_t> positions = PicturePositions(writer.Bytes());
  Walk walk(writer.Bytes(), "shortened");
  ASSERT_TRUE(walk.StepUp());
  const int64_t cutAt = positions[4] + 100000;  // the last picture loses its end
  ASSERT_EQ(::truncate(walk.Path().c_str(), cutAt), 0);
  int shown = 1;
  while (walk.StepUp()) {
    ASSERT_LT(walk.recording.PicPos, cutAt);
    ASSERT_LT(++shown, 5);
  }
  EXPECT_EQ(shown, 4);
  // The length taken at opening stays; the missing tail reads as zeros, so the jump to the
  // end searches back through them to the last picture before the cut.
  EXPECT_EQ(walk.recording.FileLen, static_cast<int64_t>(writer.Bytes().size()));
  walk.recording.PicPos = walk.recording.FileLen - 1;
  ASSERT_TRUE(walk.recording.FindStartDown());
  EXPECT_EQ(walk.recording.PicPos, positions[4]);
  EXPECT_TRUE(walk.recording.FindPicStart());
  EXPECT_FALSE(walk.Read()) << "the picture cut in two is not shown";
}

}  // namespace
}  // namespace rovena
