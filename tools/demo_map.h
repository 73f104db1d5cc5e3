// The demo map: a 4096 x 4096 picture drawn to match the viewer's built-in map calibration,
// with the demo route as a main road among fields, woods, a river, villages and side roads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/atomic_file.h"

namespace rovena {

constexpr int kDemoMapSize = 4096;

struct IndexedImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;         // one palette index per pixel, rows top-down
  std::vector<std::uint8_t> paletteRgb;     // 3 bytes per entry
};

// Draws the map (deterministic: the same picture every time).
IndexedImage DrawDemoMap();

// Palette indices of the demo map, for tests that look at it.
enum DemoMapColour : std::uint8_t {
  kMapLand, kMapGrid, kMapField, kMapForest, kMapWater, kMapTown, kMapRoadEdge, kMapMainRoad,
  kMapSideRoad, kMapColourCount
};

// Encodes an indexed image as GIF (palette padded to a power of two). Empty on failure.
std::vector<std::uint8_t> EncodeGif(const IndexedImage& image);

// Draws the map and writes it as GIF atomically. Returns an error text, empty on success.
std::string WriteDemoMap(const std::string& path, IfExists ifExists);

}  // namespace rovena
