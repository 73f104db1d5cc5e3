// The window's trip texts: the place in the trip and the gap, rounded to whole seconds.
#include <gtest/gtest.h>

#include "core/trip_labels.h"

namespace rovena {
namespace {

TEST(TripLabels, PositionAndGapTexts) {
  EXPECT_EQ(TripPositionText(0, 1), "") << "a recording alone keeps its plain name";
  EXPECT_EQ(TripPositionText(2, 12), "  (3/12)");
  EXPECT_EQ(DurationText(252.4), "00:04:12");
  EXPECT_EQ(DurationText(360059.6), "100:01:00");
  EXPECT_EQ(DurationText(std::nullopt), "--:--:--");
  EXPECT_EQ(DurationText(-3.0), "--:--:--");
}

}  // namespace
}  // namespace rovena
