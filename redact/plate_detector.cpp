// Number plates by their shape rather than by a trained cascade. The plate cascades in
// opencv-data were trained on one country's plates (different proportions, no blue band,
// another typeface) and need a plate at least 60 pixels wide; measured on European plates
// they miss most of them (bench_redact prints how many). What every European plate does share
// is used instead: a row of five to eight dark characters of one height on a light ground,
// about four and a half times as wide as it is high. Nothing here depends on the typeface,
// the country band or the colour of the ground, so yellow plates and other typefaces pass too.
//
// 1. Candidates: characters make dense vertical edges. The horizontal gradient is
//    thresholded and closed with a kernel as wide as the gap between two characters, so one
//    row of characters becomes one blob; blobs of a text row's proportions are kept. This
//    runs at full size and at half size, so that rows from about 6 to 40 pixels high fit the
//    kernels at one of the two scales.
// 2. Verification (TextLine): dark strokes on a light ground with light margins above and
//    below, side by side in one line, as characters on a plate are. Road edges, lamps,
//    windows and bumpers fail here.
// 3. The box: the line of characters grown by the plate's margins around it.
#include <algorithm>
#include <cstdio>
#include <optional>

#include <opencv2/imgproc.hpp>

#include "redact/detector.h"

namespace rovena::redact {
namespace {

// Edge strength that counts as a character's edge: a quarter of the contrast of dark ink on
// a white plate after the blur of a small, distant plate.
constexpr int kEdgeThreshold = 48;
// Text rows, at the scale being searched, from kLowestRow pixels high: the closing kernel
// spans the widest gap between characters of rows up to kHighestRow high, and blobs up to
// twice that pass, since a plate's border and band add edges above and below its characters.
constexpr int kLowestRow = 5, kHighestRow = 22;
constexpr double kLeastAspect = 2.0, kMostAspect = 10.0;  // row width / height, turned or not
// Otsu's two classes must differ this much: ink on a plate, not shades of one surface.
constexpr double kLeastContrast = 60;
// A row with less ink than this share (in the middle of the row, see MiddleInk), or than
// this part of the row's typical share, counts as margin; one with more than kSolidInk is
// solid (a border, the car), never text.
constexpr double kMarginInk = 0.1, kMarginShareOfBand = 0.35, kSolidInk = 0.9;
// Five characters give at least five dark runs across their middle.
constexpr int kLeastStrokes = 5;
// The space between a plate's two groups of characters is about half a character's height;
// a gap of one and a half heights means two separate things.
constexpr double kWidestGap = 1.5;
// The plate around its line of characters, in character heights: the line already reaches
// the band on the left (a dark run too); on the sides the border lies a fifth of a height
// out, above and below the margins of a European plate (520 x 110 mm around 75 mm
// characters) are a fifth of a height too, and a tenth more allows for a plate seen at an angle.
constexpr double kSideMargin = 0.2, kVerticalMargin = 0.3;

std::vector<cv::Rect> Candidates(const cv::Mat& gray) {
  cv::Mat gradient, edges;
  cv::Sobel(gray, gradient, CV_16S, 1, 0, 3);
  cv::convertScaleAbs(gradient, gradient, 0.25);  // a 3x3 Sobel weighs the step 4 times
  cv::threshold(gradient, edges, kEdgeThreshold, 255, cv::THRESH_BINARY);
  cv::morphologyEx(edges, edges, cv::MORPH_CLOSE, cv::getStructuringElement(cv::MORPH_RECT, {kHighestRow * 2 / 3, 3}));
  cv::morphologyEx(edges, edges, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_RECT, {3, 3}));
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(edges, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
  std::vector<cv::Rect> rows;
  for (const auto& contour : contours) {
    const cv::Rect r = cv::boundingRect(contour);
    const double aspect = static_cast<double>(r.width) / r.height;
    if (r.height >= kLowestRow && r.height <= kHighestRow * 2 && aspect >= kLeastAspect && aspect <= kMostAspect)
      rows.push_back(r);
  }
  return rows;
}

// The line of characters in row `y` of a binary picture: its dark runs grouped where the
// light gap between two is at most `widestGap`, and of those groups the one with the most
// runs (a character gives one to three).
struct Line {
  int strokes = 0;
  int left = 0, right = 0;  // columns, right one past the last
};
Line LineInRow(const cv::Mat& dark, int y, int widestGap) {
  Line best, current;
  const std::uint8_t* row = dark.ptr<std::uint8_t>(y);
  for (int x = 0; x < dark.cols;) {
    if (!row[x]) {
      ++x;
      continue;
    }
    const int start = x;
    while (x < dark.cols && row[x]) ++x;
    if (current.strokes > 0 && start - current.right <= widestGap)
      current = {current.strokes + 1, current.left, x};
    else
      current = {1, start, x};
    if (current.strokes > best.strokes) best = current;
  }
  return best;
}

// The share of ink in the middle three fifths of row `y`: the characters' part of a plate,
// clear of the band, the border and whatever is beside the plate.
double MiddleInk(const cv::Mat& dark, int y) {
  const cv::Mat middle = dark.row(y).colRange(dark.cols / 5, dark.cols - dark.cols / 5);
  return cv::countNonZero(middle) / static_cast<double>(middle.cols);
}

struct Band {
  int top = 0, bottom = 0;  // rows, both inside
};

// The rows of text around the middle of rows first..end-1 of an ink profile, between a margin
// row above and one below. A text row has ink but is never solid (that is a border or the
// car); a margin row has little ink, judged against the candidate's typical density too,
// because a plate turned a little puts some ink into its margin rows.
std::optional<Band> TextBand(const std::vector<double>& ink, int first, int end) {
  std::vector<double> typical(ink.begin() + first, ink.begin() + end);
  std::nth_element(typical.begin(), typical.begin() + typical.size() / 2, typical.end());
  const double margin = std::max(kMarginInk, typical[typical.size() / 2] * kMarginShareOfBand);
  const auto isText = [&](int y) { return ink[y] >= margin && ink[y] < kSolidInk; };
  // The text row nearest the middle: middle, one below, one above, two below...
  int row = (first + end) / 2;
  for (int step = 1; step < end - first && !isText(row); ++step) row += step % 2 ? step : -step;
  if (row < first || row >= end || !isText(row)) return std::nullopt;
  Band band{row, row};
  while (band.top > 0 && isText(band.top - 1)) --band.top;
  while (band.bottom + 1 < static_cast<int>(ink.size()) && isText(band.bottom + 1)) ++band.bottom;
  if (band.top == 0 || band.bottom + 1 == static_cast<int>(ink.size())) return std::nullopt;
  if (ink[band.top - 1] >= margin || ink[band.bottom + 1] >= margin) return std::nullopt;  // solid, not margin
  return band;
}

// The line of characters a candidate row shows on a light ground, in picture pixels, if it
// shows one. Characters of small plates run together once blurred, so they are not
// separated; what is asked instead holds for merged characters too:
//   - dark ink on a light ground, clearly apart (kLeastContrast);
//   - a band of text rows with margin rows above and below it (TextBand);
//   - across the band's middle, at least kLeastStrokes dark runs without a light gap wider
//     than kWidestGap band heights between them (LineInRow): one line of characters, not
//     things side by side such as a lamp beside the plate.
std::optional<cv::Rect> TextLine(const cv::Mat& gray, const cv::Rect& row) {
  // The row with room above and below, so that the margins are inside.
  const int room = std::max(2, row.height / 2);
  const cv::Rect area = cv::Rect(row.x, row.y - room, row.width, row.height + 2 * room) & cv::Rect({}, gray.size());
  cv::Mat region, dark, ignored;
  // Small rows are doubled first, so a one-pixel gap between strokes survives the threshold.
  const double zoom = area.height < 20 ? 2.0 : 1.0;
  cv::resize(gray(area), region, {}, zoom, zoom, cv::INTER_CUBIC);
  // Otsu's threshold from the row's middle only, where there is nothing but plate and ink: a
  // dark car around the plate would otherwise take the dark class and leave the ink light.
  const int first = static_cast<int>((row.y - area.y) * zoom);
  const int end = std::min(region.rows, first + static_cast<int>(row.height * zoom));
  const cv::Mat plateMiddle = region(cv::Range(first, end), cv::Range(region.cols / 5, region.cols - region.cols / 5));
  const double level = cv::threshold(plateMiddle, ignored, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
  cv::threshold(region, dark, level, 255, cv::THRESH_BINARY_INV);
  if (cv::mean(region, ~dark)[0] - cv::mean(region, dark)[0] < kLeastContrast) return std::nullopt;

  std::vector<double> ink(static_cast<std::size_t>(region.rows));
  for (int y = 0; y < region.rows; ++y) ink[y] = MiddleInk(dark, y);
  const std::optional<Band> band = TextBand(ink, first, end);
  if (!band) return std::nullopt;
  const int height = band->bottom - band->top + 1;
  std::vector<Line> middle;
  for (int y = band->top + height / 4; y <= band->bottom - height / 4; ++y)
    middle.push_back(LineInRow(dark, y, static_cast<int>(kWidestGap * height)));
  std::nth_element(middle.begin(), middle.begin() + middle.size() / 2, middle.end(),
                   [](const Line& a, const Line& b) { return a.strokes < b.strokes; });
  const Line typical = middle[middle.size() / 2];
  if (typical.strokes < kLeastStrokes) return std::nullopt;
  return cv::Rect(area.x + static_cast<int>(typical.left / zoom), area.y + static_cast<int>(band->top / zoom),
                  static_cast<int>((typical.right - typical.left) / zoom + 0.5), static_cast<int>(height / zoom + 0.5));
}

Rect PlateAround(const cv::Rect& line, const cv::Size& picture) {
  const int dx = static_cast<int>(kSideMargin * line.height + 0.5), dy = static_cast<int>(kVerticalMargin * line.height + 0.5);
  const cv::Rect plate = cv::Rect(line.x - dx, line.y - dy, line.width + 2 * dx, line.height + 2 * dy) & cv::Rect({}, picture);
  return {plate.x, plate.y, plate.width, plate.height};
}

class PlateDetector : public Detector {
 public:
  std::vector<Proposal> Find(const DetectorInput& picture) override {
    std::vector<Proposal> plates;
    const cv::Rect whole({}, picture.gray.size());
    cv::Mat half;
    cv::resize(picture.gray, half, {}, 0.5, 0.5, cv::INTER_AREA);
    for (const auto& [image, scale] : {std::pair<const cv::Mat&, int>(picture.gray, 1), {half, 2}})
      for (const cv::Rect& row : Candidates(image)) {
        const cv::Rect found(row.x * scale, row.y * scale, row.width * scale, row.height * scale);
        if (const auto line = TextLine(picture.gray, found)) plates.push_back({PlateAround(*line, whole.size()), BoxKind::Plate});
      }
    return MergeOverlapping(std::move(plates));
  }

  std::string Name() const override { return "plates: character rows on a light ground (edges, Otsu, components)"; }
  std::map<std::string, std::string> Parameters() const override {
    char rows[96];
    std::snprintf(rows, sizeof rows, "%d-%d px at full and half size, width/height %.1f-%.1f", kLowestRow, kHighestRow,
                  kLeastAspect, kMostAspect);
    return {{"edge threshold", std::to_string(kEdgeThreshold)},
            {"text rows", rows},
            {"least contrast", std::to_string(static_cast<int>(kLeastContrast))},
            {"least strokes", std::to_string(kLeastStrokes)}};
  }
};

}  // namespace

std::unique_ptr<Detector> MakePlateDetector(std::string&) { return std::make_unique<PlateDetector>(); }

}  // namespace rovena::redact
