// The position bar's arithmetic, in twips in the command frame's coordinates: the filled
// part's width and the percentage for a file position, the drag, the seek target and the
// mouse zones. Sums are rounded to float before comparing and every comparison is strict,
// so the window's behaviour at the zone borders is pinned down here and tested.
#pragma once

#include <cstdint>
#include <string>

namespace rovena {

struct BarGeometry {
  float trackLeft = 120;   // shFile
  float trackTop = 360;
  float trackWidth = 9375;
  float trackHeight = 255;
  float counterWidth = 375;  // lblPlay
};

// Half-width of the zone around the bar's end where a press starts a drag.
constexpr float kBarEndZone = 60;

// Width of the filled part for last position p of a file of fileLen bytes (double, then float).
float PlayBarWidth(std::int64_t lastPosition, std::int64_t fileLen, float trackWidth);

// The play counter's caption for a file position, e.g. "99%" for byte 1000 of 1000.
std::string PlayCounterText(std::int64_t lastPosition, std::int64_t fileLen);

// Left of lblPlay so that it is centred on the end of the filled part.
float PlayCounterLeft(const BarGeometry& geometry, float barWidth);

// The counter's caption while dragging, from the dragged width.
std::string DragCounterText(float barWidth, float trackWidth);

// The byte to read when a drag is released: barWidth / trackWidth of the file, rounded to
// nearest (halves to even), kept within 1..fileLen so that nothing before the file is read.
std::int64_t SeekTarget(float barWidth, float trackWidth, std::int64_t fileLen);

// Strictly between the track's top and bottom edges.
bool InTrackBand(const BarGeometry& geometry, float y);
// Strictly inside the track horizontally and in its band.
bool OnTrack(const BarGeometry& geometry, float x, float y);
// Within 60 twips (exclusive) of the filled part's end, and in the band.
bool OnBarEnd(const BarGeometry& geometry, float barWidth, float x, float y);

// What a mouse press on the frame means for the bar.
enum class BarPress { Ignore, StartDrag, StepForward, StepBack, DefaultPointer };
BarPress ClassifyBarPress(const BarGeometry& geometry, float barWidth, bool barEnabled,
                          int buttons, float x, float y);

// X position of a cut-mark line for file position p: track left + track width * p / fileLen.
float CutLineX(const BarGeometry& geometry, std::int64_t position, std::int64_t fileLen);

}  // namespace rovena
