#include "viewer/picture_area.h"

#include <QPainter>

#include "core/map_position.h"

namespace rovena {

MarkerShape::MarkerShape(QWidget* parent) : QWidget(parent) {
  setFixedSize(kMarkerSize, kMarkerSize);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void MarkerShape::SetFillColour(const QColor& colour) {
  colour_ = colour;
  update();
}

void MarkerShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(colour_);
  painter.drawEllipse(QRectF(0.5, 0.5, kMarkerSize - 1, kMarkerSize - 1));
}

PictureArea::PictureArea(QWidget* parent) : QWidget(parent), shPoint(new MarkerShape(this)) {
  // The border and the image cover every pixel, so nothing needs to be painted beneath.
  setAttribute(Qt::WA_OpaquePaintEvent);
  SetImageHeight(240);
  shPoint->hide();
}

void PictureArea::SetImageHeight(int imageHeight) {
  if (image_.height() != imageHeight) {
    QImage resized(kImageWidth, imageHeight, QImage::Format_RGB32);
    resized.fill(Qt::black);
    if (!image_.isNull()) {
      QPainter painter(&resized);
      painter.drawImage(0, 0, image_);
    }
    image_ = resized;
  }
  setFixedSize(kImageWidth + 2 * kBorder, imageHeight + 2 * kBorder);
  update();
}

void PictureArea::Clear() {
  image_.fill(Qt::black);
  update();
}

void PictureArea::PlaceMarker(int left, int top) { shPoint->move(kBorder + left, kBorder + top); }

void PictureArea::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(QColor(64, 64, 64));
  painter.drawRect(0, 0, width() - 1, height() - 1);
  painter.drawImage(kBorder, kBorder, image_);
}

}  // namespace rovena
