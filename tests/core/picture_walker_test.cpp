// Picture N as the walker counts it, held against the byte-by-byte model of the searches and
// against stepping forward from the start, over whole, joined, cut-short and damaged files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "byte_search_model.h"
#include "core/picture_walker.h"
#include "recording_fixture.h"
#include "tools/recording_writer.h"

namespace rovena {
namespace {

using Bytes = std::vector<uint8_t>;
using Model = test::ByteSearchModel<test::MemoryBytes>;

struct Walked {
  int64_t number, position, end;
  std::string sentence;
  bool operator==(const Walked&) const = default;
};

struct Walk {
  std::vector<Walked> pictures;
  WalkEnd end = WalkEnd::kNotYet;
  int64_t at = 0;
  bool operator==(const Walk&) const = default;
};

template <class Searches>
Walk WalkAll(Searches& searches, bool copying) {
  Bytes frame(kPicBufSize);
  BasicPictureWalker<Searches> walker(searches);
  Walk walk;
  while (copying ? walker.Next(frame.data()) : walker.Next())
    walk.pictures.push_back({walker.Number(), walker.Position(), walker.EndPosition(), walker.Sentence()});
  walk.end = walker.Outcome().end;
  walk.at = walker.Outcome().at;
  return walk;
}

std::string WriteStream(const Bytes& bytes) {
  static int serial = 0;
  const std::string path =
      test::TestDataDir() + "/walker_" + std::to_string(::getpid()) + "_" + std::to_string(serial++) + ".m1v";
  test::WriteFileAtomically(path, bytes);
  return path;
}

// The walk over `bytes`, after checking that the block-scanning Recording and the model agree
// with and without copying, and that the model's steps forward from the start show the same
// pictures one by one.
Walk WalkEveryWay(const Bytes& bytes) {
  const std::string path = WriteStream(bytes);
  Walk walks[4];
  for (int way = 0; way < 4; ++way) {
    if (way < 2) {
      Recording recording;
      std::string error;
      EXPECT_TRUE(recording.Open(path, error)) << error;
      walks[way] = WalkAll(recording, way == 1);
    } else {
      test::MemoryBytes memory(bytes);
      Model model(memory);
      walks[way] = WalkAll(model, way == 3);
    }
    EXPECT_EQ(walks[way], walks[0]) << "way " << way;
  }
  ::unlink(path.c_str());

  test::MemoryBytes memory(bytes);
  Model stepping(memory);
  Bytes frame(kPicBufSize);
  std::vector<int64_t> shown;
  for (bool ok = stepping.JumpToStart(frame.data()); ok; ok = stepping.StepUp(frame.data()))
    shown.push_back(stepping.PicPos);
  std::vector<int64_t> walked;
  for (const Walked& w : walks[0].pictures) walked.push_back(w.position);
  EXPECT_EQ(walked, shown);
  return walks[0];
}

const Bytes kEndCode = {0, 0, 1, 0xB7};

// Small pictures of made-up coded data: the walk never decodes.
RecordingWriter Pictures(int count, std::size_t codedBytes = 300) {
  RecordingWriter writer(320, 240);
  for (int i = 0; i < count; ++i) writer.AddCodedPicture(Bytes(codedBytes, static_cast<uint8_t>(0x40 + i)), MakeGprmcSentence(i));
  return writer;
}

std::vector<int64_t> StartCodePositions(const Bytes& bytes) {
  std::vector<int64_t> positions;
  for (std::size_t i = 3; i < bytes.size(); ++i)
    if (bytes[i - 3] == 0 && bytes[i - 2] == 0 && bytes[i - 1] == 1 && bytes[i] == 0) positions.push_back(static_cast<int64_t>(i) + 1);
  return positions;
}

Bytes WithoutEndCodeOfPicture(Bytes bytes, std::size_t picture) {
  const int64_t from = StartCodePositions(bytes)[picture];
  const auto end = std::search(bytes.begin() + from, bytes.end(), kEndCode.begin(), kEndCode.end());
  bytes.erase(end, end + 4);
  return bytes;
}

std::vector<std::string> Sentences(const Walk& walk) {
  std::vector<std::string> sentences;
  for (const Walked& w : walk.pictures) sentences.push_back(w.sentence);
  return sentences;
}

std::vector<std::string> SentencesOf(std::initializer_list<int> indices) {
  std::vector<std::string> sentences;
  for (int i : indices) sentences.push_back(MakeGprmcSentence(i));
  return sentences;
}

TEST(PictureWalker, CountsWholePicturesAndPassesOverOneJoinedToTheOneBefore) {
  const Bytes whole = Pictures(5).Bytes();
  const std::vector<int64_t> starts = StartCodePositions(whole);
  const Walk all = WalkEveryWay(whole);
  EXPECT_EQ(Sentences(all), SentencesOf({0, 1, 2, 3, 4}));
  EXPECT_EQ(all.end, WalkEnd::kEndOfFile);
  EXPECT_EQ(all.pictures[4].number, 5);
  EXPECT_EQ(all.pictures[4].position, starts[4]);
  EXPECT_EQ(all.pictures[4].end, static_cast<int64_t>(whole.size()));

  // Picture 2 without its end code runs on through picture 3, which gets no number.
  const Bytes joined = WithoutEndCodeOfPicture(whole, 1);
  const Walk walk = WalkEveryWay(joined);
  EXPECT_EQ(Sentences(walk), SentencesOf({0, 1, 3, 4}));
  EXPECT_EQ(walk.pictures[2].number, 3);
  EXPECT_EQ(walk.pictures[2].position, StartCodePositions(joined)[3]);
  EXPECT_EQ(walk.end, WalkEnd::kEndOfFile);
}

TEST(PictureWalker, APictureThatCannotBeReadWholeEndsTheWalkAndSaysWhy) {
  const Bytes whole = Pictures(5).Bytes();
  const std::vector<int64_t> starts = StartCodePositions(whole);

  const Walk cut = WalkEveryWay(Bytes(whole.begin(), whole.end() - 10));
  EXPECT_EQ(Sentences(cut), SentencesOf({0, 1, 2, 3}));
  EXPECT_EQ(cut.end, WalkEnd::kCutShort);
  EXPECT_EQ(cut.at, starts[4]);

  Bytes noEnds = whole;
  for (int i = 0; i < 5; ++i) noEnds = WithoutEndCodeOfPicture(noEnds, 0);
  const Walk none = WalkEveryWay(noEnds);
  EXPECT_TRUE(none.pictures.empty());
  EXPECT_EQ(none.end, WalkEnd::kCutShort);

  // A picture longer than the picture buffer, and a stretch longer than a search examines.
  RecordingWriter oversized = Pictures(2);
  oversized.AddCodedPicture(Bytes(kPicBufSize, 0x5A), MakeGprmcSentence(2));
  oversized.AddCodedPicture(Bytes(300, 0x5A), MakeGprmcSentence(3));
  const Walk incomplete = WalkEveryWay(oversized.Bytes());
  EXPECT_EQ(Sentences(incomplete), SentencesOf({0, 1}));
  EXPECT_EQ(incomplete.end, WalkEnd::kIncompletePicture);
  EXPECT_EQ(incomplete.at, StartCodePositions(oversized.Bytes())[2]);

  RecordingWriter gap = Pictures(2);
  gap.AddBytes(Bytes(kStartSearchLimit, 0xFF));
  gap.AddCodedPicture(Bytes(300, 0x5A), MakeGprmcSentence(2));
  const Walk lost = WalkEveryWay(gap.Bytes());
  EXPECT_EQ(lost.pictures.size(), 2u);
  EXPECT_EQ(lost.end, WalkEnd::kNoPictureStart);
}

// Random damage to the codes: codes broken, codes put where they do not belong, files cut.
TEST(PictureWalker, AgreesWithTheModelOnRandomlyDamagedRecordings) {
  std::mt19937 rng(20070614);
  const Bytes whole = Pictures(6, 40).Bytes();
  static const uint8_t kValues[] = {0x00, 0x01, 0xB2, 0xB7};
  for (int round = 0; round < 200 && !HasFailure(); ++round) {
    Bytes bytes = whole;
    for (int edit = 1 + static_cast<int>(rng() % 3); edit > 0 && !bytes.empty(); --edit) {
      const auto at = bytes.begin() + static_cast<std::ptrdiff_t>(rng() % bytes.size());
      const auto code = std::search(at, bytes.end(), kEndCode.begin(), kEndCode.begin() + 3);
      switch (rng() % 3) {
        case 0: if (code != bytes.end()) bytes.erase(code, code + 1 + static_cast<std::ptrdiff_t>(rng() % 3)); break;
        case 1: bytes.insert(at, {0, 0, 1, kValues[rng() % sizeof kValues]}); break;
        default: bytes.erase(at, bytes.end());
      }
    }
    if (!bytes.empty()) WalkEveryWay(bytes);
  }
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
  EXPECT_EQ(check(WithoutEndCodeOfPicture(Bytes(whole.begin(), whole.end() - 4), 0)), RecordingCheck::kNoWholePicture);
}

}  // namespace
}  // namespace rovena
