// Inputs the fuzz targets turned up, kept as plain tests so the faults stay fixed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ini_config.h"
#include "core/map_position.h"
#include "core/recording.h"
#include "recording_fixture.h"

namespace rovena {
namespace {

// A backward search starting three bytes above the first byte of the block the file holds
// in its buffer gets a view of exactly four bytes. Stepping back by "view size minus four"
// made no progress there and the search never returned; it must move on and find the code
// far below.
TEST(FuzzRegression, BackwardSearchFromAFourByteViewMovesOn) {
  std::vector<uint8_t> bytes(200000, 0xAA);
  const int64_t code = 1001;  // 1-based position of the code's first byte
  bytes[code - 1] = 0, bytes[code] = 0, bytes[code + 1] = 1, bytes[code + 2] = 0;
  const std::string path = test::TestDataDir() + "/fuzz_regression_four_byte_view.bin";
  test::WriteFileAtomically(path, bytes);

  Recording recording;
  std::string error;
  ASSERT_TRUE(recording.Open(path, error)) << error;
  const int64_t blockStart = 100000;
  recording.File().ReadAt(blockStart);  // the buffer now begins at blockStart
  recording.PicPos = blockStart + 3 + 5;  // the search starts at blockStart + 3
  ASSERT_TRUE(recording.FindStartDown());
  EXPECT_EQ(recording.PicPos, code + 3);
  EXPECT_EQ(recording.File().CurrentPosition(), code + 4);
}

// A calibration value beyond float range reads as infinity: the file counts as complete, the
// latitude scale comes out 0, and the map arithmetic must still give a plain answer (every
// latitude on the map's top row) rather than work with infinities.
TEST(FuzzRegression, CalibrationBeyondFloatRangeGivesAFiniteMapPosition) {
  const IniLoadResult loaded = LoadIniText("PLAYSPEED1=0.04\nMAPLAT1=52.44\nMAPLAT2=5" + std::string(80, '7') +
                                           "\nMAPLON1=20.79139\nMAPLON2=20.2325\n");
  ASSERT_TRUE(loaded.complete);
  EXPECT_EQ(loaded.settings.ScaleLat, 0.0f);
  MapPositionInput in;
  in.LatText = "5214.1234";
  in.LonText = "02100.0000";
  in.mapLoaded = true;
  in.calibration = {loaded.settings.MapLat1, loaded.settings.MapLon1, loaded.settings.ScaleLat, loaded.settings.ScaleLon};
  const MapPositionResult r = ComputeShowPos(in);
  ASSERT_TRUE(r.onMap);
  EXPECT_EQ(r.markerTop, 0 - r.MapY - 6);
}

}  // namespace
}  // namespace rovena
