// The block-scanning searches against the byte-at-a-time rules, and the limits hit exactly.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <unistd.h>
#include <vector>

#include "core/recording.h"
#include "recording_fixture.h"
#include "byte_search_model.h"

namespace rovena {
namespace {

using Bytes = std::vector<uint8_t>;

std::string WriteStream(const Bytes& bytes) {
  static int serial = 0;
  const std::string path = test::TestDataDir() + "/search_stream_" + std::to_string(::getpid()) +
                           "_" + std::to_string(serial++) + ".bin";
  test::WriteFileAtomically(path, bytes);
  return path;
}

struct Listener : SearchListener {
  int counterCalls = 0;
  int showCalls = 0;
  void SetPlayCounter(bool) override { ++counterCalls; }
  void ShowNmea() override { ++showCalls; }
};

// A recording over `bytes`, opened, with a listener that counts the calls.
struct Opened {
  explicit Opened(const Bytes& bytes) : path(WriteStream(bytes)) {
    std::string error;
    EXPECT_TRUE(recording.Open(path, error)) << error;
  }
  ~Opened() { ::unlink(path.c_str()); }
  void SeekTo(int64_t next) { recording.File().SetCurrentPosition(next); }
  int64_t Current() { return recording.File().CurrentPosition(); }

  std::string path;
  Listener listener;
  Recording recording{&listener};
};

void Put(Bytes& bytes, int64_t position, std::initializer_list<uint8_t> code) {
  std::copy(code.begin(), code.end(), bytes.begin() + (position - 1));
}

// ---- equivalence with the byte-at-a-time rules ----

class Twins {
 public:
  explicit Twins(const Bytes& bytes) : opened_(bytes), reference_(OpenReferenceFile()) {}

  void RunRandomOperations(std::mt19937& rng, int operations) {
    const int64_t length = static_cast<int64_t>(referenceFile_.Length());
    Recording& fast = opened_.recording;
    Bytes fastFrame(kPicBufSize, 0x5A), referenceFrame(kPicBufSize, 0x5A);
    for (int n = 0; n < operations; ++n) {
      const int op = static_cast<int>(rng() % 9);
      bool fastResult = false, referenceResult = false;
      switch (op) {
        case 0: case 1:
          fastResult = fast.FindStartUp();
          referenceResult = reference_.FindStartUp();
          break;
        case 2:
          fastResult = fast.FindStartDown();
          referenceResult = reference_.FindStartDown();
          break;
        case 3:
          fastResult = fast.FindPicStart();
          referenceResult = reference_.FindPicStart();
          break;
        case 4:
          fastResult = fast.ReadFrame(fastFrame.data());
          referenceResult = reference_.ReadFrame(referenceFrame.data());
          ASSERT_EQ(fastFrame, referenceFrame) << "operation " << n;
          break;
        case 8:
          fastResult = fast.SkipFrame();
          referenceResult = reference_.SkipFrame();
          break;
        case 5: {  // a seek, as the GPS check box and the position bar do
          const int64_t p = 1 + static_cast<int64_t>(rng() % static_cast<uint64_t>(length + 2));
          EXPECT_EQ(fast.File().ReadAt(p), referenceFile_.ReadAt(p));
          break;
        }
        default: {  // PicPos set directly, as the jumps and very fast play down do
          const int64_t p = static_cast<int64_t>(rng() % static_cast<uint64_t>(length + 12)) - 2;
          fast.PicPos = reference_.PicPos = p;
        }
      }
      ASSERT_EQ(fastResult, referenceResult) << "operation " << n << " kind " << op;
      ASSERT_EQ(fast.PicPos, reference_.PicPos) << "operation " << n << " kind " << op;
      ASSERT_EQ(fast.File().LastPosition(), referenceFile_.LastPosition()) << "operation " << n << " kind " << op;
      ASSERT_EQ(fast.NmeaLine, reference_.NmeaLine) << "operation " << n;
      ASSERT_EQ(opened_.listener.counterCalls, reference_.counterCalls);
      ASSERT_EQ(opened_.listener.showCalls, reference_.showCalls);
    }
  }

 private:
  RecordingFile& OpenReferenceFile() {
    std::string error;
    EXPECT_TRUE(referenceFile_.Open(opened_.path, error));
    return referenceFile_;
  }

  Opened opened_;
  RecordingFile referenceFile_;
  test::ByteSearchModel<RecordingFile> reference_;
};

// Bytes drawn mostly from those that make up start codes, so codes and near-codes abound.
Bytes DenseStream(std::mt19937& rng, size_t length) {
  static const uint8_t kAlphabet[] = {0, 0, 0, 0, 0, 1, 1, 1, 0xB2, 0xB7, 0xB3, 0x41, 0x2C};
  Bytes bytes(length);
  for (uint8_t& b : bytes) b = rng() % 4 ? kAlphabet[rng() % sizeof kAlphabet] : static_cast<uint8_t>(rng());
  return bytes;
}

// Long stretches of filler with codes far apart, so the 299999- and 300000-byte limits bite.
Bytes SparseStream(std::mt19937& rng, size_t length) {
  Bytes bytes(length);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(2 + rng() % 254);
  for (int i = 0; i < 14; ++i) {
    const int64_t at = 1 + static_cast<int64_t>(rng() % (length - 8));
    static const uint8_t kValues[] = {0x00, 0x00, 0x01, 0xB2, 0xB7};
    Put(bytes, at, {0, 0, 1, kValues[rng() % sizeof kValues]});
  }
  return bytes;
}

TEST(SearchEquivalence, DenseRandomStreams) {
  std::mt19937 rng(20070614);
  for (int stream = 0; stream < 60; ++stream) {
    Twins twins(DenseStream(rng, rng() % 3000));
    twins.RunRandomOperations(rng, 300);
    if (HasFatalFailure()) return;
  }
}

TEST(SearchEquivalence, SparseStreamsAcrossTheLimits) {
  std::mt19937 rng(52);
  for (int stream = 0; stream < 3; ++stream) {
    Twins twins(SparseStream(rng, 400000 + rng() % 500000));
    twins.RunRandomOperations(rng, 120);
    if (HasFatalFailure()) return;
  }
}

// Codes placed at every offset around the places where a block reader refills its buffer.
TEST(SearchEquivalence, CodesStraddlingBlockBoundaries) {
  constexpr int64_t kLength = 300000;
  for (int64_t boundary : {int64_t{4096}, int64_t{32768}, int64_t{65536}, int64_t{131072}}) {
    for (int64_t d = -6; d <= 6; ++d) {
      Bytes bytes(kLength, 0xFF);
      const int64_t forward = boundary + d, backward = kLength - boundary + d;
      Put(bytes, forward, {0, 0, 1, 0});
      Put(bytes, backward, {0, 0, 1, 0});
      Put(bytes, forward + 10, {0, 0, 1, 0xB7});
      Opened file(bytes);
      EXPECT_TRUE(file.recording.FindStartUp());
      EXPECT_EQ(file.recording.PicPos, forward + 3) << boundary << " " << d;
      file.SeekTo(1);
      Bytes frame(kPicBufSize);
      EXPECT_TRUE(file.recording.ReadFrame(frame.data()));
      EXPECT_EQ(file.Current(), forward + 14) << boundary << " " << d;
      file.recording.PicPos = kLength + 5;
      EXPECT_TRUE(file.recording.FindStartDown());
      EXPECT_EQ(file.recording.PicPos, backward + 3) << boundary << " " << d;
    }
  }
}

// ---- start codes must be read whole within one call ----

TEST(FindStartUp, IgnoresACodeWhoseLeadingBytesWereReadBefore) {
  Bytes bytes(40, 0xFF);
  Put(bytes, 5, {0, 0, 1, 0});
  Opened file(bytes);
  file.SeekTo(7);  // the bytes left to read begin 01 00
  EXPECT_FALSE(file.recording.FindStartUp());
  EXPECT_EQ(file.Current(), 41);
  file.SeekTo(5);
  EXPECT_TRUE(file.recording.FindStartUp());
  EXPECT_EQ(file.recording.PicPos, 8);
  EXPECT_EQ(file.Current(), 9);
  EXPECT_EQ(file.listener.counterCalls, 1);
}

TEST(FindStartUp, ExaminesAtMost299999Bytes) {
  Bytes bytes(700000, 0xFF);
  Put(bytes, 299999 - 3, {0, 0, 1, 0});   // last byte is the 299999th read: found
  Put(bytes, 600000 - 3, {0, 0, 1, 0});   // from 300000 on, its last byte is the 300001st
  Opened file(bytes);
  EXPECT_TRUE(file.recording.FindStartUp());
  EXPECT_EQ(file.recording.PicPos, 299999);
  EXPECT_FALSE(file.recording.FindStartUp());
  EXPECT_EQ(file.Current(), 300000 + 299999);
  // The code now straddles the calls: its first three bytes were read by the failed one.
  EXPECT_FALSE(file.recording.FindStartUp());
  EXPECT_EQ(file.Current(), 700001);
  EXPECT_FALSE(file.recording.FindStartUp()) << "at the end nothing is read";
  EXPECT_EQ(file.Current(), 700001);
}

// ---- backward search ----

TEST(FindStartDown, NeedsRoomBeforeTheCurrentPicture) {
  Bytes bytes(30, 0xFF);
  Put(bytes, 1, {0, 0, 1, 0});
  Opened file(bytes);
  file.SeekTo(20);
  for (int64_t picPos : {-3, 0, 5}) {
    file.recording.PicPos = picPos;
    EXPECT_FALSE(file.recording.FindStartDown());
    EXPECT_EQ(file.Current(), 20) << "nothing read for PicPos " << picPos;
  }
  file.recording.PicPos = 8;  // reads positions 3, 2, 1: the code's 01 00 lie above
  EXPECT_FALSE(file.recording.FindStartDown());
  EXPECT_EQ(file.Current(), 2);
  file.recording.PicPos = 9;  // reads 4 down to 1: the whole code
  EXPECT_TRUE(file.recording.FindStartDown());
  EXPECT_EQ(file.recording.PicPos, 4);
  EXPECT_EQ(file.Current(), 5);
}

TEST(FindStartDown, IgnoresACodeWhoseValueByteLiesAboveTheStart) {
  Bytes bytes(40, 0xFF);
  Put(bytes, 10, {0, 0, 1, 0});
  Opened file(bytes);
  file.recording.PicPos = 17;  // starts at 12, the 01
  EXPECT_FALSE(file.recording.FindStartDown());
  file.recording.PicPos = 18;
  EXPECT_TRUE(file.recording.FindStartDown());
  EXPECT_EQ(file.recording.PicPos, 13);
}

TEST(FindStartDown, ExaminesAtMost299999Bytes) {
  Bytes bytes(400000, 0xFF);
  const int64_t top = 350000;
  Put(bytes, top - 299998, {0, 0, 1, 0});  // begins at the 299999th byte read
  Opened file(bytes);
  file.recording.PicPos = top + 5;
  EXPECT_TRUE(file.recording.FindStartDown());
  EXPECT_EQ(file.recording.PicPos, top - 299998 + 3);
  Put(bytes, top - 299998, {0xFF, 0xFF, 0xFF, 0xFF});
  Put(bytes, top - 299999, {0, 0, 1, 0});  // one byte lower: out of reach
  Opened lower(bytes);
  lower.recording.PicPos = top + 5;
  EXPECT_FALSE(lower.recording.FindStartDown());
  EXPECT_EQ(lower.Current(), top - 299998 + 1);
}

TEST(FindStartDown, NeverReadsBeyondTheEnd) {
  Bytes bytes(20, 0xFF);
  Put(bytes, 18, {0, 0, 1});  // a zero read past the end would complete this
  Opened file(bytes);
  file.recording.PicPos = 100;
  EXPECT_FALSE(file.recording.FindStartDown());
}

// ---- picture start, user data and frame ----

Bytes PictureHeaderThen(std::initializer_list<uint8_t> rest) {
  Bytes bytes;
  bytes.reserve(4 + rest.size());
  for (uint8_t b : {0x00, 0x0F, 0xFF, 0xF8}) bytes.push_back(b);
  bytes.insert(bytes.end(), rest);
  return bytes;
}

TEST(FindPicStart, TrimsTheCaptureOnlyWhenLongerThanFiveCharacters) {
  Opened five(PictureHeaderThen({0, 0, 1, 0xB2, 'A', 0, 0, 1, 0x01}));
  EXPECT_TRUE(five.recording.FindPicStart());
  EXPECT_EQ(five.recording.NmeaLine, std::string("\xB2" "A\0\0\x01", 5));
  Opened six(PictureHeaderThen({0, 0, 1, 0xB2, 'A', 'B', 0, 0, 1, 0x01}));
  EXPECT_TRUE(six.recording.FindPicStart());
  EXPECT_EQ(six.recording.NmeaLine, "A");
  EXPECT_EQ(six.Current(), 15);
  EXPECT_EQ(six.listener.showCalls, 1);
}

TEST(FindPicStart, PictureWithoutUserDataHasNoSentence) {
  Opened file(PictureHeaderThen({0, 0, 1, 0x01}));
  file.recording.NmeaLine = "$GPRMC,223416.000,A,5214.1234,N";
  EXPECT_TRUE(file.recording.FindPicStart());
  EXPECT_EQ(file.recording.NmeaLine, "");
  EXPECT_EQ(file.listener.showCalls, 1);
}

TEST(FindPicStart, OtherStartCodesEndTheCaptureAndFailureKeepsIt) {
  Opened ended(PictureHeaderThen({0, 0, 1, 0xB2, 'x', 'y', 'z', 0, 0, 1, 0xB5, 'q', 'q', 0, 0, 1, 0x01}));
  EXPECT_TRUE(ended.recording.FindPicStart());
  EXPECT_EQ(ended.recording.NmeaLine, "xy");
  Opened cut(PictureHeaderThen({0, 0, 1, 0xB2, 'x', 'y'}));
  EXPECT_FALSE(cut.recording.FindPicStart());
  EXPECT_EQ(cut.recording.NmeaLine, "\xB2xy");
  EXPECT_EQ(cut.listener.showCalls, 0);
}

TEST(FindPicStart, ReadsAtMost8192Bytes) {
  for (int64_t sliceAt : {8192, 8193}) {
    Bytes bytes(9000, 0xFF);
    Put(bytes, sliceAt - 3, {0, 0, 1, 0x01});
    Opened file(bytes);
    EXPECT_EQ(file.recording.FindPicStart(), sliceAt == 8192);
    EXPECT_EQ(file.Current(), 8193);
  }
}

TEST(ReadFrame, StoresUpToTheEndCodeWithin300000Bytes) {
  for (int64_t endAt : {299999, 300000}) {  // index of the B7 in the frame
    Bytes bytes(310000, 0x55);
    Put(bytes, endAt - 2, {0, 0, 1, 0xB7});
    Opened file(bytes);
    Bytes frame(kPicBufSize, 0xEE);
    EXPECT_EQ(file.recording.ReadFrame(frame.data()), endAt == 299999);
    EXPECT_EQ(file.Current(), 300001);
    EXPECT_EQ(frame[299996], endAt == 299999 ? 0 : 0x55);
  }
}

TEST(ReadFrame, NeverTestsTheFirstFourBytesAndLeavesTheRestAlone) {
  Opened file({0, 0, 1, 0xB7, 0xB7, 0x11, 0, 0, 1, 0xB7});
  Bytes frame(kPicBufSize, 0xEE);
  EXPECT_TRUE(file.recording.ReadFrame(frame.data()));
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 11),
            (Bytes{0, 0, 1, 0xB7, 0xB7, 0x11, 0, 0, 1, 0xB7, 0xEE}));
  EXPECT_TRUE(file.recording.File().AtEnd());
  EXPECT_FALSE(file.recording.FindStartUp());
}

TEST(ReadFrame, FailsAtTheEndOfTheFile) {
  Opened four({1, 2, 3, 4});
  Bytes frame(kPicBufSize, 0xEE);
  EXPECT_FALSE(four.recording.ReadFrame(frame.data()));
  Opened unterminated({1, 2, 3, 4, 0, 0, 1});
  EXPECT_FALSE(unterminated.recording.ReadFrame(frame.data()));
  EXPECT_EQ(unterminated.Current(), 8);
}

}  // namespace
}  // namespace rovena
