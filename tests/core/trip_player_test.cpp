// The trip player without a window: what each step and play mode moves to, where play ends,
// crossing into the neighbouring recordings of a trip (and what the window hears, in which
// order), pictures asked for, and the cut marks as pictures that survive a re-open.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/trip_player.h"
#include "scratch_dir.h"
#include "tools/recording_writer.h"

namespace rovena {
namespace {

// A recording's pictures as found in its bytes: where each start code ends and where each
// picture's data end (the B7 of its sequence end code), 1-based.
struct Written {
  std::string path;
  std::vector<std::uint8_t> bytes;
  std::vector<std::int64_t> starts, ends;
};

std::vector<std::int64_t> CodesEndingAt(const std::vector<std::uint8_t>& bytes, std::uint8_t value) {
  std::vector<std::int64_t> found;
  for (std::size_t i = 3; i < bytes.size(); ++i)
    if (bytes[i - 3] == 0 && bytes[i - 2] == 0 && bytes[i - 1] == 1 && bytes[i] == value)
      found.push_back(static_cast<std::int64_t>(i) + 1);
  return found;
}

// Records what the window would hear, in order.
struct Heard : PlayerListener {
  void SetPlayCounter(bool init) override { events.push_back(init ? "counter reset" : "counter"); }
  void ShowNmea() override { events.push_back("sentence"); }
  void RecordingOpened(const OpenEvent& event) override {
    events.push_back("opened " + std::filesystem::path(event.path).filename().string());
  }
  std::vector<std::string> events;
};

class Player : public ::testing::Test {
 protected:
  // Pictures of `sliceBytes` coded bytes (never decoded here), one a second from `firstSecond`
  // (seconds after the writer's first fix).
  Written Write(const std::string& name, int firstSecond, int pictures, std::size_t sliceBytes = 2000) {
    const std::vector<std::uint8_t> slice(sliceBytes, 0x55);
    RecordingWriter writer(320, 240);
    for (int i = 0; i < pictures; ++i) writer.AddCodedPicture(slice, MakeGprmcSentence(firstSecond + i));
    Written w{scratch_.File(name), writer.Bytes(), CodesEndingAt(writer.Bytes(), 0x00),
              CodesEndingAt(writer.Bytes(), 0xB7)};
    EXPECT_TRUE(writer.WriteFile(w.path));
    return w;
  }
  // A, then B straight after it, then C after a stop of 4 minutes 13 seconds.
  void WriteTrip() {
    a_ = Write("a.m1v", 0, 4);
    b_ = Write("b.m1v", 4, 4);
    c_ = Write("c.m1v", 260, 4);
  }
  void OpenInTrip(const Written& w) {
    ASSERT_EQ(player_.Open(w.path), OpenStatus::Opened);
    player_.ListTrip();
  }
  std::int64_t At() { return player_.CurrentRecording().PicPos; }
  bool Shown(const PlayerReport& r) const { return r.outcome == PlayerReport::Outcome::Shown; }

  test::ScratchDir scratch_{"rovena_player"};
  Heard heard_;
  TripPlayer player_{&heard_};
  Written a_, b_, c_;
};

const std::function<void()> kNoYield = [] {};

TEST_F(Player, EachPlayModeMovesByItsRuleAndPlayEndsAtEitherEnd) {
  const Written w = Write("one.m1v", 0, 12, 60000);  // 60 kB pictures: a jump passes over three
  ASSERT_EQ(player_.Open(w.path), OpenStatus::Opened);
  EXPECT_EQ(player_.Step(Direction::Down).endMet, Direction::Down) << "nothing before the first picture";
  EXPECT_TRUE(Shown(player_.Step(Direction::Up)));
  EXPECT_EQ(At(), w.starts[0]);
  EXPECT_TRUE(Shown(player_.Advance(PlayMode::Normal, Direction::Up, kNoYield)));
  EXPECT_EQ(At(), w.starts[1]);

  int yields = 0;
  EXPECT_TRUE(Shown(player_.Advance(PlayMode::Fast, Direction::Up, [&] { ++yields; })));
  EXPECT_EQ(At(), w.starts[6]) << "five picture starts passed, the fifth shown";
  EXPECT_EQ(yields, 5);

  // Very fast: the first picture whose start code lies wholly beyond the 200000-byte jump.
  const std::int64_t target = w.ends[6] + kVeryFastJump;
  const auto after = std::find_if(w.starts.begin(), w.starts.end(), [&](std::int64_t p) { return p - 3 > target; });
  ASSERT_NE(after, w.starts.end());
  EXPECT_TRUE(Shown(player_.Advance(PlayMode::VeryFast, Direction::Up, kNoYield)));
  EXPECT_EQ(At(), *after);
  // Down: the last picture whose start code ends at least 2 bytes below the jump's origin.
  const std::int64_t origin = At() - kVeryFastJump;
  const auto before = std::find_if(w.starts.rbegin(), w.starts.rend(), [&](std::int64_t p) { return p <= origin - 2; });
  EXPECT_TRUE(Shown(player_.Advance(PlayMode::VeryFast, Direction::Down, kNoYield)));
  EXPECT_EQ(At(), *before);

  // Fast play that finds fewer than five starts ends the play; so does a jump at either end.
  player_.JumpToEnd(Direction::Up);
  player_.Step(Direction::Down);
  player_.Step(Direction::Down);
  const PlayerReport last = player_.Advance(PlayMode::Fast, Direction::Up, kNoYield);
  EXPECT_EQ(last.endMet, Direction::Up);
  EXPECT_FALSE(Shown(last));
  EXPECT_FALSE(last.crossedJoin);
  const PlayerReport first = player_.JumpToEnd(Direction::Down);
  EXPECT_TRUE(Shown(first));
  EXPECT_EQ(first.endMet, Direction::Down);
  EXPECT_EQ(At(), w.starts[0]);
}

TEST_F(Player, CrossesIntoTheNeighboursBothWaysAndTheWindowHearsTheOpeningFirst) {
  WriteTrip();
  OpenInTrip(a_);
  player_.JumpToEnd(Direction::Up);
  heard_.events.clear();
  const PlayerReport intoB = player_.Advance(PlayMode::Fast, Direction::Up, kNoYield);
  EXPECT_EQ(intoB.crossedJoin, 0u);
  EXPECT_TRUE(Shown(intoB));
  EXPECT_EQ(player_.TripIndex(), 1u);
  EXPECT_EQ(At(), b_.starts[0]) << "the neighbour's first picture, not its fifth";
  EXPECT_EQ(heard_.events, (std::vector<std::string>{"opened b.m1v", "counter", "counter", "sentence"}));

  player_.JumpToEnd(Direction::Up);
  EXPECT_EQ(player_.Step(Direction::Up).crossedJoin, 1u) << "B into C";

  // Back over the gap: B's last picture.
  const PlayerReport backToB = player_.Step(Direction::Down);
  EXPECT_TRUE(Shown(backToB));
  EXPECT_EQ(player_.TripIndex(), 1u);
  EXPECT_EQ(At(), b_.starts[3]);
  EXPECT_EQ(backToB.crossedJoin, 1u) << "the same join, crossed back";

  // At the trip's ends, and with continuous trip off, an end is an end.
  player_.JumpToEnd(Direction::Up);
  player_.SetContinuousTrip(false);
  EXPECT_EQ(player_.Step(Direction::Up).endMet, Direction::Up);
  EXPECT_EQ(player_.TripIndex(), 1u);
  player_.SetContinuousTrip(true);
  OpenInTrip(a_);
  player_.Step(Direction::Up);
  const PlayerReport start = player_.Step(Direction::Down);
  EXPECT_EQ(start.endMet, Direction::Down);
  EXPECT_FALSE(start.crossedJoin);
}

TEST_F(Player, ARecordingGoneSinceTheListingIsPassedOver) {
  WriteTrip();
  OpenInTrip(a_);
  player_.JumpToEnd(Direction::Up);
  std::filesystem::remove(b_.path);
  const PlayerReport step = player_.Step(Direction::Up);
  EXPECT_EQ(step.skipped, std::vector<std::string>{b_.path});
  EXPECT_EQ(player_.TripIndex(), 2u);
  EXPECT_EQ(At(), c_.starts[0]);
}

TEST_F(Player, PageKeysAndPicturesAskedFor) {
  WriteTrip();
  OpenInTrip(b_);
  // The previous recording stands behind its last picture: the next step down shows it.
  const PlayerReport previous = player_.OpenNeighbour(Direction::Down);
  EXPECT_EQ(previous.outcome, PlayerReport::Outcome::Placed);
  EXPECT_EQ(previous.endMet, Direction::Up);
  EXPECT_TRUE(Shown(player_.Step(Direction::Down)));
  EXPECT_EQ(At(), a_.starts[3]);

  // A picture of another recording opens it afresh and is shown as a step would show it.
  heard_.events.clear();
  const PlayerReport chosen = player_.ShowPicture(2, c_.starts[2]);
  EXPECT_TRUE(Shown(chosen));
  EXPECT_EQ(At(), c_.starts[2]);
  EXPECT_EQ(heard_.events.front(), "opened c.m1v");
  EXPECT_TRUE(Shown(player_.Step(Direction::Up)));
  EXPECT_EQ(At(), c_.starts[3]);

  // Asked for during fast play: the turn ends on that picture instead of moving on.
  OpenInTrip(a_);
  player_.Step(Direction::Up);
  const PlayerReport turn = player_.Advance(PlayMode::Fast, Direction::Up, [&] { player_.AskForPicture(1, b_.starts[1]); });
  EXPECT_EQ(turn.move, PlayerReport::Move::Place);
  EXPECT_TRUE(Shown(turn));
  EXPECT_EQ(player_.TripIndex(), 1u);
  EXPECT_EQ(At(), b_.starts[1]);
  EXPECT_TRUE(Shown(player_.Advance(PlayMode::Normal, Direction::Up, kNoYield))) << "asked for once only";
  EXPECT_EQ(At(), b_.starts[2]);

  // Standing before a picture shows nothing yet; the next step does.
  OpenInTrip(c_);
  EXPECT_FALSE(player_.StandBefore(6)) << "only four pictures to pass over";
  OpenInTrip(c_);
  EXPECT_EQ(player_.StandBefore(3)->outcome, PlayerReport::Outcome::Placed);
  player_.Step(Direction::Up);
  EXPECT_EQ(At(), c_.starts[2]);
}

TEST_F(Player, CutMarksArePicturesShownAndSurviveOnlyAReopenOfTheSameRecording) {
  const Written w = Write("marks.m1v", 0, 6);
  const Written other = Write("other.m1v", 100, 2);
  ASSERT_EQ(player_.Open(w.path), OpenStatus::Opened);
  EXPECT_EQ(player_.Mark(), TripPlayer::MarkResult::Refused) << "no picture shown yet";
  player_.Step(Direction::Up);
  player_.Step(Direction::Up);
  EXPECT_EQ(player_.Mark(), TripPlayer::MarkResult::StartSet);
  player_.Step(Direction::Down);
  EXPECT_EQ(player_.Mark(), TripPlayer::MarkResult::Refused) << "the end before the start";
  player_.Step(Direction::Up);
  EXPECT_EQ(player_.Mark(), TripPlayer::MarkResult::EndSet) << "start and end on one picture";
  EXPECT_EQ(player_.Marks().CutStart(), w.starts[1]);
  EXPECT_EQ(player_.Marks().CutEnd(), w.ends[1]);
  EXPECT_EQ(player_.Mark(), TripPlayer::MarkResult::Cleared);

  // During fast play a mark takes the picture on screen, not the start just passed over.
  player_.Mark();
  player_.Advance(PlayMode::Fast, Direction::Up, [&] {
    if (!player_.Marks().end) player_.Mark();
  });
  EXPECT_EQ(player_.Marks().CutEnd(), w.ends[1]);

  // Opened again under another spelling: the marks stay, and save the same bytes.
  player_.Close();
  ASSERT_EQ(player_.Open(scratch_.File("./marks.m1v")), OpenStatus::Opened);
  ASSERT_EQ(player_.Marks().CutStart(), w.starts[1]);
  const std::string out = scratch_.File("part.MPEG");
  ASSERT_TRUE(player_.SaveMarked(out, IfExists::Refuse).ok());
  std::vector<std::uint8_t> expected(w.bytes.begin(), w.bytes.begin() + kFragmentHeaderBytes);
  expected.insert(expected.end(), w.bytes.begin() + (w.starts[1] - kFragmentLeadIn - 1), w.bytes.begin() + w.ends[1]);
  std::ifstream in(out, std::ios::binary);
  EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}), expected);

  ASSERT_EQ(player_.Open(other.path), OpenStatus::Opened);
  EXPECT_FALSE(player_.Marks().start);
}

}  // namespace
}  // namespace rovena
