#pragma once
// The command frame fraCmd: the two dark bands, the position bar (track shFile, filled part
// shPlay), the two cut-mark lines, and the frame's mouse events. The bar's geometry is kept
// in twips, the unit its rules are stated in, and converted to pixels only for painting and
// for incoming mouse positions.

#include <QWidget>
#include <functional>

#include "core/play_counter.h"

namespace rovena {

constexpr float kTwipsPerPixel = 15;
inline int TwipsToPixels(float twips) { return static_cast<int>(twips / kTwipsPerPixel + 0.5f); }

// A vertical mark over the track, two pixels wide.
struct CutLine {
  bool visible = false;
  float x = 0;  // twips
  QColor colour;
};

class CommandFrame : public QWidget {
 public:
  // Mouse buttons as the handlers see them: 1 left, 2 right, 4 middle; X and Y in twips.
  using MouseHandler = std::function<void(int buttons, int shift, float x, float y)>;

  explicit CommandFrame(QWidget* parent);

  BarGeometry shFile;          // the track
  float shPlayWidth = 1455;    // the filled part, twips
  CutLine linCut1;
  CutLine linCut2;

  // Repaints the track alone, for a new filled part: the whole frame would repaint every
  // playback button on each picture.
  void UpdateTrack() { update(TrackRect()); }

  MouseHandler onMouseDown;
  MouseHandler onMouseMove;
  MouseHandler onMouseUp;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QRect TrackRect() const;
  void Forward(const MouseHandler& handler, QMouseEvent* event, int buttons);
};

}  // namespace rovena
