// The searches on recordings made by ffmpeg's encoder and rewritten into the recorder's form.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/nmea.h"
#include "core/recording.h"
#include "recording_fixture.h"

namespace rovena {
namespace {

struct CountingListener : SearchListener {
  int counterCalls = 0;
  std::vector<std::string> shown;
  Recording* recording = nullptr;
  void SetPlayCounter(bool init) override {
    EXPECT_FALSE(init);
    ++counterCalls;
  }
  void ShowNmea() override { shown.push_back(recording->NmeaLine); }
};

class RealRecording : public ::testing::TestWithParam<std::pair<int, int>> {
 protected:
  void SetUp() override {
    const auto [width, height] = GetParam();
    fixture = test::MakeFfmpegRecording("search", width, height, 40);
    listener.recording = &recording;
    recording.SetListener(&listener);
    std::string error;
    ASSERT_TRUE(recording.Open(fixture.path, error)) << error;
  }
  bool StepUp() { return recording.StepUp(frame.data()); }
  bool StepDown() { return recording.StepDown(frame.data()); }

  test::FixtureRecording fixture;
  Recording recording;
  CountingListener listener;
  std::vector<uint8_t> frame = std::vector<uint8_t>(kPicBufSize);
};

TEST_P(RealRecording, HeaderAnnouncesTheFrameFormat) {
  uint8_t header[7];
  for (uint8_t& b : header) b = recording.File().ReadNext();
  EXPECT_EQ(FrameFormatFromHeader(header), GetParam().first == 640 ? kFormatVga : kFormatCif);
  EXPECT_EQ(recording.FileLen, fixture.fileLength);
}

TEST_P(RealRecording, StepsForwardThroughEveryPictureAndItsSentence) {
  for (int i = 0; i < fixture.pictures; ++i) {
    ASSERT_TRUE(StepUp()) << "picture " << i;
    EXPECT_EQ(recording.PicPos, fixture.picturePositions[i]);
    EXPECT_EQ(recording.NmeaLine, fixture.sentences[i]);
    EXPECT_EQ(ParseNmea(recording.NmeaLine).gpsValid, test::FixtureFixIsValid(i));
    // The slice data starts with the slice's quantiser 8 and ends with the sequence end code.
    EXPECT_EQ(frame[0] >> 3, 8);
  }
  EXPECT_EQ(recording.File().CurrentPosition(), recording.FileLen + 1);
  EXPECT_FALSE(recording.FindStartUp());
  EXPECT_EQ(listener.counterCalls, 2 * fixture.pictures);
  EXPECT_EQ(listener.shown, fixture.sentences);
}

TEST_P(RealRecording, StepBackThenForwardReturnsToTheCurrentPicture) {
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(StepUp());
  const std::vector<uint8_t> tenth = frame;
  for (int i = 8; i >= 0; --i) {
    ASSERT_TRUE(StepDown());
    EXPECT_EQ(recording.PicPos, fixture.picturePositions[i]);
    EXPECT_EQ(recording.NmeaLine, fixture.sentences[i]);
  }
  for (int i = 1; i < 10; ++i) ASSERT_TRUE(StepUp());
  EXPECT_EQ(recording.PicPos, fixture.picturePositions[9]);
  EXPECT_EQ(frame, tenth);
  // A failed search back reads down to position 1, so the next step forward finds the first.
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(StepDown() || i == 9);
  EXPECT_FALSE(recording.FindStartDown());
  EXPECT_EQ(recording.File().CurrentPosition(), 2);
  ASSERT_TRUE(StepUp());
  EXPECT_EQ(recording.PicPos, fixture.picturePositions[0]);
  for (int i = 1; i < 10; ++i) ASSERT_TRUE(StepUp());
  EXPECT_EQ(recording.PicPos, fixture.picturePositions[9]);
  EXPECT_EQ(frame, tenth);
}

TEST_P(RealRecording, BackwardFromTheEndFindsTheLastPicture) {
  recording.PicPos = recording.FileLen - 1;  // what the jump to the end does
  ASSERT_TRUE(StepDown());
  EXPECT_EQ(recording.PicPos, fixture.picturePositions.back());
  EXPECT_EQ(recording.NmeaLine, fixture.sentences.back());
  EXPECT_FALSE(recording.FindStartUp());
}

INSTANTIATE_TEST_SUITE_P(BothFormats, RealRecording,
                         ::testing::Values(std::pair{640, 480}, std::pair{320, 240}),
                         [](const auto& info) { return std::to_string(info.param.first); });

}  // namespace
}  // namespace rovena
