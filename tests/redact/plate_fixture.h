// Labelled pictures for measuring the plate detector, made here because no labelled footage
// can be had: European-style number plates (white, a blue band on the left, black characters
// in a narrow sans font from a Debian package) drawn on a car's rear on the demo drive's
// decoded road pictures, seen at an angle, slightly out of focus and with sensor noise, then
// stored and decoded as the recorder would. Everything is generated at run time.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "redact/boxes.h"

namespace rovena::test {

// The demo drive's pictures, decoded, in display colours (BGR, top row first).
std::vector<cv::Mat> DemoPictures(const std::string& folder, int count);

struct PlateScene {
  cv::Mat picture;                       // BGR, top row first
  std::vector<redact::Rect> plates;      // where each plate lies (the bounds of its corners)
  std::vector<int> widths;               // each plate's width in pixels as asked, widest first
};

// Draws one plate of about `width` pixels (40 to 160) for each width on `background`, each on
// a car's rear at a random place in the lower part of the picture, none overlapping. `seed`
// makes the scene repeatable.
PlateScene MakePlateScene(const cv::Mat& background, const std::vector<int>& widths, std::uint32_t seed);

// The pictures as the recorder stores them: encoded by the project's intra MPEG-1 writer and
// decoded again, so the detector sees block artefacts. `folder` holds the temporary recording.
std::vector<cv::Mat> ThroughRecorder(const std::vector<cv::Mat>& pictures, const std::string& folder);

// A detected box finds a plate when, enlarged as the covering enlarges it, it covers at least
// 90 % of the plate's bounds without being more than four times the plate's area: a box
// that would leave part of the plate readable, or that covers half the road, does not count.
bool Finds(const redact::Rect& detected, const redact::Rect& plate);
// A proposal is false when less than half of it lies on any plate.
bool OnSomePlate(const redact::Rect& detected, const std::vector<redact::Rect>& plates);

// Pearson's correlation of two grey areas of one size; 0 when either is flat, which then
// keeps nothing of the other.
double Correlation(const cv::Mat& a, const cv::Mat& b);

}  // namespace rovena::test
