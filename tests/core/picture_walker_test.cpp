// Picture N as the walker counts it, held against the byte-by-byte model of the searches and
// against stepping forward from the start, over whole, joined, cut-short and damaged files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <tuple>

#include "byte_search_model.h"
#include "core/picture_walker.h"
#include "recording_fixture.h"
#include "tools/recording_writer.h"

namespace rovena {
namespace {

using Bytes = std::vector<uint8_t>;
using Model = test::ByteSearchModel<test::MemoryBytes>;
using Walked = std::tuple<int64_t, int64_t, int64_t, std::string>;  // number, position, end, sentence

struct Walk {
  std::vector<Walked> pictures;
  WalkOutcome outcome;
  bool operator==(const Walk&) const = default;
};

template <class Searches>
Walk WalkAll(Searches& searches, bool copying) {
  Bytes frame(kPicBufSize);
  BasicPictureWalker<Searches> walker(searches);
  Walk walk;
  while (copying ? walker.Next(frame.data()) : walker.Next())
    walk.pictures.emplace_back(walker.Number(), walker.Position(), walker.EndPosition(), walker.Sentence());
  walk.outcome = walker.Outcome();
  return walk;
}

std::string WriteStream(const Bytes& bytes) {
  static int serial = 0;
  const std::string path = test::TestDataDir() + "/walker_" + std::to_string(::getpid()) + "_" + std::to_string(serial++);
  test::WriteFileAtomically(path, bytes);
  return path;
}

// The walk over `bytes`, once the block-scanning Recording and the model have been seen to
// agree with and without copying, and the model's steps forward from the start to show the
// same pictures.
Walk WalkEveryWay(const Bytes& bytes) {
  const std::string path = WriteStream(bytes);
  Recording recording;
  std::string error;
  EXPECT_TRUE(recording.Open(path, error)) << error;
  const Walk walk = WalkAll(recording, false);
  ::unlink(path.c_str());
  for (bool copying : {false, true}) {
    test::MemoryBytes memory(bytes);
    Model model(memory);
    EXPECT_EQ(WalkAll(model, copying), walk);
  }
  test::MemoryBytes memory(bytes);
  Model stepping(memory);
  Bytes frame(kPicBufSize);
  std::vector<int64_t> shown, walked;
  for (bool ok = stepping.JumpToStart(frame.data()); ok; ok = stepping.StepUp(frame.data())) shown.push_back(stepping.PicPos);
  for (const Walked& w : walk.pictures) walked.push_back(std::get<1>(w));
  EXPECT_EQ(walked, shown);
  return walk;
}

// Pictures of made-up coded data: the walk never decodes.
RecordingWriter Pictures(int count, std::size_t codedBytes = 300) {
  RecordingWriter writer(320, 240);
  for (int i = 0; i < count; ++i) writer.AddCodedPicture(Bytes(codedBytes, 0x5A), MakeGprmcSentence(i));
  return writer;
}

std::vector<int64_t> StartCodePositions(const Bytes& bytes) {
  std::vector<int64_t> positions;
  for (std::size_t i = 3; i < bytes.size(); ++i)
    if (bytes[i - 3] == 0 && bytes[i - 2] == 0 && bytes[i - 1] == 1 && bytes[i] == 0) positions.push_back(static_cast<int64_t>(i) + 1);
  return positions;
}

TEST(PictureWalker, NumbersWholePicturesAndEndsWhereSteppingForwardEnds) {
  const Bytes whole = Pictures(5).Bytes();
  Bytes noEnds = whole;
  for (int i = 0; i < 5; ++i) noEnds = test::WithoutEndCode(noEnds, 1);
  RecordingWriter oversized = Pictures(2), gap = Pictures(2);
  oversized.AddCodedPicture(Bytes(kPicBufSize, 0x5A), MakeGprmcSentence(2));  // no end code within reach
  gap.AddBytes(Bytes(kStartSearchLimit, 0xFF));  // more than a search examines
  for (RecordingWriter* w : {&oversized, &gap}) w->AddCodedPicture(Bytes(300, 0x5A), MakeGprmcSentence(3));
  const struct {
    const char* what;
    Bytes bytes;
    std::vector<int> pictures;  // which start codes of `bytes` are numbered pictures
    WalkEnd end;
    int endedAt;  // the start code the walk ended on, -1 when it ended elsewhere
  } cases[] = {
      {"whole", whole, {0, 1, 2, 3, 4}, WalkEnd::kEndOfFile, -1},
      {"picture 2 joined to 3", test::WithoutEndCode(whole, 2), {0, 1, 3, 4}, WalkEnd::kEndOfFile, -1},
      {"last cut short", Bytes(whole.begin(), whole.end() - 10), {0, 1, 2, 3}, WalkEnd::kCutShort, 4},
      {"no end codes", noEnds, {}, WalkEnd::kCutShort, 0},
      {"picture longer than the buffer", oversized.Bytes(), {0, 1}, WalkEnd::kIncompletePicture, 2},
      {"no picture start in reach", gap.Bytes(), {0, 1}, WalkEnd::kNoPictureStart, -1},
  };
  for (const auto& c : cases) {
    const std::vector<int64_t> starts = StartCodePositions(c.bytes);
    const Walk walk = WalkEveryWay(c.bytes);
    ASSERT_EQ(walk.pictures.size(), c.pictures.size()) << c.what;
    for (std::size_t n = 0; n < c.pictures.size(); ++n) {
      EXPECT_EQ(std::get<0>(walk.pictures[n]), static_cast<int64_t>(n + 1)) << c.what;
      EXPECT_EQ(std::get<1>(walk.pictures[n]), starts[static_cast<std::size_t>(c.pictures[n])]) << c.what;
    }
    EXPECT_EQ(walk.outcome.end, c.end) << c.what;
    if (c.endedAt >= 0) {
      EXPECT_EQ(walk.outcome.at, starts[static_cast<std::size_t>(c.endedAt)]) << c.what;
    }
  }
  const Walk all = WalkEveryWay(whole);
  EXPECT_EQ(std::get<2>(all.pictures.back()), static_cast<int64_t>(whole.size())) << "a picture ends on its B7";
  EXPECT_EQ(std::get<3>(all.pictures.back()), MakeGprmcSentence(4));
}

TEST(CheckRecording, OneRuleForWhatIsARecording) {
  const auto check = [](const Bytes& bytes, FrameFormat* format = nullptr) {
    const std::string path = WriteStream(bytes);
    Recording recording;
    std::string error;
    EXPECT_TRUE(recording.Open(path, error)) << error;
    const RecordingCheck verdict = CheckRecording(recording, format);
    EXPECT_EQ(recording.File().CurrentPosition(), 1) << "the walk that follows starts at the first byte";
    EXPECT_EQ(recording.PicPos, 0);
    ::unlink(path.c_str());
    return verdict;
  };
  const Bytes whole = Pictures(2).Bytes();
  FrameFormat format = kFormatNone;
  EXPECT_EQ(check(whole, &format), RecordingCheck::kRecording);
  EXPECT_EQ(format, kFormatCif);
  EXPECT_EQ(check(Bytes{'n', 'o', 't', 'e', 's', '\n', '.', '.'}), RecordingCheck::kNoSequenceHeader);
  EXPECT_EQ(check(Bytes(whole.begin(), whole.begin() + 4)), RecordingCheck::kNoSequenceHeader);
  Bytes otherSize = whole;
  otherSize[6] = 0x20;  // 320 x 288
  EXPECT_EQ(check(otherSize), RecordingCheck::kOtherFrameSize);
  // A stream whose pictures share one end code at its very end, as encoders write them.
  EXPECT_EQ(check(test::WithoutEndCode(Bytes(whole.begin(), whole.end() - 4), 1)), RecordingCheck::kNoWholePicture);
}

}  // namespace
}  // namespace rovena
