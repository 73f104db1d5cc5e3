#include "core/play_counter.h"

#include <gtest/gtest.h>

namespace rovena {
namespace {

const BarGeometry kBar;  // the window's layout: track at 120, 360, 9375 x 255

TEST(PlayCounter, LastByteReadsNinetyNinePercentAndFullWidth) {
  EXPECT_EQ(PlayCounterText(1000, 1000), "99%");
  EXPECT_EQ(PlayBarWidth(1000, 1000, kBar.trackWidth), 9375.0f);
  EXPECT_EQ(PlayCounterText(0, 1000), "0%");
  EXPECT_EQ(PlayCounterText(370, 1000), "36%");  // 36.98: floor, not nearest
  EXPECT_EQ(PlayCounterText(5, 10), "47%");
}

TEST(PlayCounter, LargeFilesKeepFloatSteps) {
  // 3 GiB: positions beyond 32 bits; float rounding of the divisor drops the 0.5.
  const std::int64_t len = 3LL << 30;
  EXPECT_EQ(PlayCounterText(len, len), "100%");
  EXPECT_EQ(PlayCounterText(len / 2, len), "50%");
  EXPECT_FLOAT_EQ(PlayBarWidth(len / 4, len, kBar.trackWidth), 9375.0f / 4);
  EXPECT_EQ(PlayBarWidth(5, 0, kBar.trackWidth), 0.0f);
}

TEST(PlayCounter, CounterCentredOnBarEnd) {
  EXPECT_EQ(PlayCounterLeft(kBar, 0), 120.0f - 187.5f);
  EXPECT_EQ(PlayCounterLeft(kBar, 9375), 120.0f + 9375 - 187.5f);
}

TEST(PlayCounter, DragTextAndSeekTarget) {
  EXPECT_EQ(DragCounterText(4687.5f, 9375), "50%");
  EXPECT_EQ(DragCounterText(9374, 9375), "99%");
  EXPECT_EQ(SeekTarget(4687.5f, 9375, 2000), 1000);
  // 0.5 * 1001 = 500.5 goes to the even 500; 0.5 * 1003 = 501.5 to 502.
  EXPECT_EQ(SeekTarget(4687.5f, 9375, 1001), 500);
  EXPECT_EQ(SeekTarget(4687.5f, 9375, 1003), 502);
  // A bar narrower than one byte's share would read position 0: clamped to 1.
  EXPECT_EQ(SeekTarget(0.001f, 9375, 1000), 1);
  EXPECT_EQ(SeekTarget(0, 9375, 1000), 1);
  EXPECT_EQ(SeekTarget(9375, 9375, 1000), 1000);
}

TEST(PlayCounter, ZonesAreStrict) {
  const float bar = 1000;  // end at 1120
  EXPECT_TRUE(OnBarEnd(kBar, bar, 1061, 361));
  EXPECT_FALSE(OnBarEnd(kBar, bar, 1060, 400));
  EXPECT_TRUE(OnBarEnd(kBar, bar, 1179, 400));
  EXPECT_FALSE(OnBarEnd(kBar, bar, 1180, 400));
  EXPECT_FALSE(OnBarEnd(kBar, bar, 1120, 360));
  EXPECT_FALSE(OnBarEnd(kBar, bar, 1120, 615));
  EXPECT_TRUE(OnBarEnd(kBar, bar, 1120, 614.5f));
  EXPECT_FALSE(OnTrack(kBar, 120, 400));
  EXPECT_TRUE(OnTrack(kBar, 120.5f, 400));
  EXPECT_FALSE(OnTrack(kBar, 9495, 400));
}

TEST(PlayCounter, PressMeaning) {
  const float bar = 1000;
  EXPECT_EQ(ClassifyBarPress(kBar, bar, true, 1, 1150, 400), BarPress::StartDrag);
  EXPECT_EQ(ClassifyBarPress(kBar, bar, true, 1, 1180, 400), BarPress::StepForward);
  EXPECT_EQ(ClassifyBarPress(kBar, bar, true, 1, 1060, 400), BarPress::StepBack);
  EXPECT_EQ(ClassifyBarPress(kBar, bar, true, 1, 1180, 700), BarPress::DefaultPointer);
  EXPECT_EQ(ClassifyBarPress(kBar, bar, true, 2, 1150, 400), BarPress::Ignore);
  EXPECT_EQ(ClassifyBarPress(kBar, bar, true, 3, 1150, 400), BarPress::Ignore);
  EXPECT_EQ(ClassifyBarPress(kBar, bar, false, 1, 1150, 400), BarPress::Ignore);
  // An empty bar: its end zone reaches left of the track and wins over a step.
  EXPECT_EQ(ClassifyBarPress(kBar, 0, true, 1, 125, 400), BarPress::StartDrag);
}

TEST(PlayCounter, CutLines) {
  EXPECT_EQ(CutLineX(kBar, 0, 1000), 120.0f);
  EXPECT_EQ(CutLineX(kBar, 500, 1000), 120.0f + 4687.5f);
  EXPECT_EQ(CutLineX(kBar, 7, 0), 120.0f);
}

}  // namespace
}  // namespace rovena
