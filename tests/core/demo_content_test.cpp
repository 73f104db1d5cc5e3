// The demo must show what it promises: the car on the map's road, a fix lost in the tunnel,
// one picture without GPS, and a map that GIF readers load back unchanged.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "tools/demo_drive.h"
#include "tools/demo_map.h"
#include "core/gps_track.h"
#include "core/ini_config.h"
#include "core/map_position.h"
#include "core/nmea.h"
#include "core/recording.h"
#include "scratch_dir.h"

namespace rovena {
namespace {

namespace fs = std::filesystem;

const IndexedImage& Map() {
  static const IndexedImage map = DrawDemoMap();
  return map;
}

TEST(DemoDrive, EveryFixLiesOnTheMainRoadAsTheViewerPlacesIt) {
  const IniSettings defaults = DefaultIniSettings();
  int tunnel = 0, withoutGps = 0;
  for (int i = 0; i < 360; ++i) {
    const std::string sentence = DemoSentence(i);
    if (sentence.empty()) {
      ++withoutGps;
      continue;
    }
    ASSERT_TRUE(ParseGprmc(sentence)) << sentence;  // the checksum is right
    const NmeaDisplay shown = ParseNmea(sentence);
    ASSERT_TRUE(shown.isGprmc && shown.latText && shown.lonText);
    tunnel += !shown.gpsValid;
    MapPositionInput in;
    in.LatText = *shown.latText;
    in.LonText = *shown.lonText;
    in.mapLoaded = true;
    in.calibration = {defaults.MapLat1, defaults.MapLon1, defaults.ScaleLat, defaults.ScaleLon};
    const MapPositionResult at = ComputeShowPos(in);
    ASSERT_TRUE(at.onMap) << i;
    const int x = at.markerLeft + at.MapX + 6, y = at.markerTop + at.MapY + 6;
    EXPECT_EQ(Map().pixels[static_cast<std::size_t>(y) * kDemoMapSize + x], kMapMainRoad) << i << ": " << x << "," << y;
  }
  EXPECT_EQ(tunnel, 20);
  EXPECT_EQ(withoutGps, 1);
}

TEST(DemoDrive, TimeAdvancesOneSecondPerPictureAndTheCarMoves) {
  const auto first = ParseGprmc(DemoSentence(0)), next = ParseGprmc(DemoSentence(1));
  EXPECT_EQ(first->utc, "2007-06-14T14:05:00.000Z");
  EXPECT_DOUBLE_EQ(next->utcSeconds - first->utcSeconds, 1);
  EXPECT_GT(*next->longitude, *first->longitude);
  EXPECT_NEAR(*first->speedKmh, 75, 0.2);
  // The pictures change from one to the next (the road's dashes move).
  EXPECT_NE(RenderDemoPicture(320, 240, 0), RenderDemoPicture(320, 240, 1));
}

TEST(DemoMap, GifReadsBackAsTheDrawnMap) {
  const std::vector<std::uint8_t> gif = EncodeGif(Map());
  ASSERT_FALSE(gif.empty());
  std::string pattern = (fs::temp_directory_path() / "rovena_demo_map_XXXXXX").string();
  const int fd = mkstemp(pattern.data());
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, gif.data(), gif.size()), static_cast<ssize_t>(gif.size()));
  close(fd);
  int error = 0;
  GifFileType* read = DGifOpenFileName(pattern.c_str(), &error);
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(DGifSlurp(read), GIF_OK);
  ASSERT_EQ(read->ImageCount, 1);
  EXPECT_EQ(read->SWidth, kDemoMapSize);
  EXPECT_EQ(read->SHeight, kDemoMapSize);
  const SavedImage& image = read->SavedImages[0];
  EXPECT_TRUE(std::equal(Map().pixels.begin(), Map().pixels.end(), image.RasterBits));
  const GifColorType road = read->SColorMap->Colors[kMapMainRoad];
  EXPECT_EQ(road.Red, Map().paletteRgb[kMapMainRoad * 3]);
  DGifCloseFile(read, &error);
  fs::remove(pattern);
}

TEST(DemoRecording, WalksWithTheViewersSearches) {
  const test::ScratchDir dir("rovena_demo");
  const std::string path = dir.File("demo_cif.m1v");
  ASSERT_EQ(WriteDemoRecording(path, 320, 240, 140, IfExists::Refuse), "");
  Recording recording;
  std::string error;
  ASSERT_TRUE(recording.Open(path, error)) << error;
  const TrackWalk walk = CollectTrack(recording);
  EXPECT_EQ(walk.outcome.end, WalkEnd::kEndOfFile);
  EXPECT_EQ(walk.pictures, 140);
  EXPECT_EQ(walk.fixes.size(), 139u);
}

}  // namespace
}  // namespace rovena
