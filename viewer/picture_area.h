#pragma once
// The picture area Pic1: a persistent 640-pixel-wide image (480 or 240 rows) inside a thin
// border. Decoded pictures and map regions are drawn into the image; a repaint shows it and
// the snapshot saves it. The map marker shPoint is a child widget laid over it, so it is
// never part of the image.

#include <QImage>
#include <QWidget>

namespace rovena {

// The marker: an 11-pixel filled circle.
class MarkerShape : public QWidget {
 public:
  explicit MarkerShape(QWidget* parent);
  void SetFillColour(const QColor& colour);
  QColor FillColour() const { return colour_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QColor colour_{255, 0, 0};
};

class PictureArea : public QWidget {
 public:
  static constexpr int kBorder = 1;
  static constexpr int kImageWidth = 640;

  explicit PictureArea(QWidget* parent);

  // Gives the area room for `imageHeight` rows; the image keeps its content where it fits.
  void SetImageHeight(int imageHeight);
  QImage& Image() { return image_; }
  const QImage& Image() const { return image_; }
  // Clears the image to the area's background colour (black).
  void Clear();
  // Places the marker with its top-left corner at image pixel (left, top).
  void PlaceMarker(int left, int top);

  MarkerShape* shPoint;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QImage image_;
};

}  // namespace rovena
