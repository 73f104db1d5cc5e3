#include "tools/demo_map.h"

#include <gif_lib.h>

#include <algorithm>
#include <cmath>

#include "core/atomic_file.h"
#include "tools/demo_drive.h"

namespace rovena {
namespace {

// Drawing primitives on the indexed map; everything outside the picture is clipped.
class MapPainter {
 public:
  explicit MapPainter(IndexedImage& image) : image_(image) {}

  void Disc(double cx, double cy, double radius, std::uint8_t colour) {
    const int x0 = std::max(0, static_cast<int>(cx - radius)), x1 = std::min(image_.width - 1, static_cast<int>(cx + radius));
    const int y0 = std::max(0, static_cast<int>(cy - radius)), y1 = std::min(image_.height - 1, static_cast<int>(cy + radius));
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius) Put(x, y, colour);
  }
  // A thick line as a trail of discs, one per pixel of length.
  void Line(const MapPoint& a, const MapPoint& b, double radius, std::uint8_t colour) {
    const int steps = std::max(1, static_cast<int>(std::hypot(b.x - a.x, b.y - a.y)));
    for (int i = 0; i <= steps; ++i) {
      const double t = static_cast<double>(i) / steps;
      Disc(a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), radius, colour);
    }
  }
  void Path(const std::vector<MapPoint>& points, double radius, std::uint8_t colour) {
    for (std::size_t i = 1; i < points.size(); ++i) Line(points[i - 1], points[i], radius, colour);
  }
  void Rect(int x0, int y0, int x1, int y1, std::uint8_t colour) {
    for (int y = std::max(0, y0); y < std::min(image_.height, y1); ++y)
      for (int x = std::max(0, x0); x < std::min(image_.width, x1); ++x) Put(x, y, colour);
  }

 private:
  void Put(int x, int y, std::uint8_t colour) { image_.pixels[static_cast<std::size_t>(y) * image_.width + x] = colour; }
  IndexedImage& image_;
};

// A small deterministic generator, so the map is the same on every machine.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed) {}
  double Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return (state_ >> 8) / 16777216.0;
  }
  double Between(double low, double high) { return low + (high - low) * Next(); }

 private:
  std::uint32_t state_;
};

void DrawGrid(IndexedImage& map) {
  // Thin lines every 256 pixels make scrolling of the map view easy to see.
  for (int y = 0; y < map.height; ++y)
    for (int x = 0; x < map.width; ++x)
      if (x % 256 == 0 || y % 256 == 0) map.pixels[static_cast<std::size_t>(y) * map.width + x] = kMapGrid;
}

void DrawCountryside(MapPainter& paint, Random& random) {
  for (int i = 0; i < 260; ++i) {  // fields
    const int x = static_cast<int>(random.Between(0, kDemoMapSize)), y = static_cast<int>(random.Between(0, kDemoMapSize));
    paint.Rect(x, y, x + static_cast<int>(random.Between(60, 220)), y + static_cast<int>(random.Between(40, 160)), kMapField);
  }
  for (int wood = 0; wood < 45; ++wood) {  // woods: clusters of overlapping discs
    const double cx = random.Between(0, kDemoMapSize), cy = random.Between(0, kDemoMapSize);
    for (int i = 0; i < 14; ++i)
      paint.Disc(cx + random.Between(-140, 140), cy + random.Between(-140, 140), random.Between(30, 90), kMapForest);
  }
  // A river winding from the north-west to the south-east, crossing the route.
  std::vector<MapPoint> river;
  for (int i = 0; i <= 64; ++i) {
    const double t = i / 64.0;
    river.push_back({t * kDemoMapSize, 300 + t * 3600 + 180 * std::sin(t * 19)});
  }
  paint.Path(river, 14, kMapWater);
  paint.Disc(2900, 2900, 160, kMapWater);  // a lake
}

void DrawVillagesAndSideRoads(MapPainter& paint, Random& random) {
  const std::vector<MapPoint>& route = DemoRoute();
  for (std::size_t i = 1; i + 1 < route.size(); i += 2) {
    const MapPoint& at = route[i];
    for (int house = 0; house < 30; ++house) {
      const int x = static_cast<int>(at.x + random.Between(-120, 120)), y = static_cast<int>(at.y + random.Between(-120, 120));
      paint.Rect(x, y, x + 14, y + 12, kMapTown);
    }
    const MapPoint away{at.x + random.Between(-900, 900), at.y + random.Between(-900, 900)};
    paint.Line(at, away, 6, kMapRoadEdge);
    paint.Line(at, away, 4, kMapSideRoad);
  }
}

void DrawMainRoad(MapPainter& paint) {
  paint.Path(DemoRoute(), 10, kMapRoadEdge);
  paint.Path(DemoRoute(), 7, kMapMainRoad);
}

int WriteToVector(GifFileType* gif, const GifByteType* data, int size) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + size);
  return size;
}

}  // namespace

IndexedImage DrawDemoMap() {
  IndexedImage map;
  map.width = map.height = kDemoMapSize;
  map.pixels.assign(static_cast<std::size_t>(kDemoMapSize) * kDemoMapSize, kMapLand);
  map.paletteRgb = {
      240, 234, 214,  // land
      214, 206, 186,  // grid
      228, 238, 196,  // fields
      160, 204, 146,  // woods
      150, 192, 232,  // water
      222, 190, 186,  // villages
      110, 110, 110,  // road edges
      250, 190, 60,   // main road
      255, 255, 255,  // side roads
  };
  MapPainter paint(map);
  Random random(20070614);
  DrawCountryside(paint, random);
  DrawGrid(map);
  DrawVillagesAndSideRoads(paint, random);
  DrawMainRoad(paint);
  return map;
}

std::vector<std::uint8_t> EncodeGif(const IndexedImage& image) {
  int colours = 2;
  while (colours * 3 < static_cast<int>(image.paletteRgb.size())) colours *= 2;
  std::vector<GifColorType> palette(colours, GifColorType{0, 0, 0});
  for (std::size_t i = 0; i * 3 < image.paletteRgb.size(); ++i)
    palette[i] = {image.paletteRgb[i * 3], image.paletteRgb[i * 3 + 1], image.paletteRgb[i * 3 + 2]};

  std::vector<std::uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToVector, &error);
  if (!gif) return {};
  ColorMapObject* map = GifMakeMapObject(colours, palette.data());
  bool ok = map && EGifPutScreenDesc(gif, image.width, image.height, 8, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, image.width, image.height, false, nullptr) == GIF_OK;
  std::vector<GifPixelType> row(static_cast<std::size_t>(image.width));
  for (int y = 0; ok && y < image.height; ++y) {
    std::copy_n(image.pixels.begin() + static_cast<std::ptrdiff_t>(y) * image.width, image.width, row.begin());
    ok = EGifPutLine(gif, row.data(), image.width) == GIF_OK;
  }
  GifFreeMapObject(map);
  ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
  return ok ? out : std::vector<std::uint8_t>();
}

std::string WriteDemoMap(const std::string& path, IfExists ifExists) {
  const std::vector<std::uint8_t> gif = EncodeGif(DrawDemoMap());
  if (gif.empty()) return "cannot encode the map as GIF";
  return WriteFileAtomically(path, gif, ifExists);
}

}  // namespace rovena
