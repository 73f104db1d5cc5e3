#include "viewer/picture_window.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

namespace rovena {
namespace {

constexpr int kSettleMs = 150;  // a picture shown this long is drawn smoothly

}  // namespace

PictureWindow::PictureWindow(std::function<const QImage&()> source, QWidget* parent)
    : QWidget(parent, Qt::Window), source_(std::move(source)) {
  setWindowTitle(QStringLiteral("Rovena – obraz"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(960, 720);
  settled_.setSingleShot(true);
  settled_.setInterval(kSettleMs);
  connect(&settled_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void PictureWindow::PictureChanged(bool fixInvalid) {
  fixInvalid_ = fixInvalid;
  settled_.start();
  update();
}

QRect PictureWindow::PictureRect() const {
  const QSize image = source_().size();
  if (image.isEmpty()) return {};
  const QSize fitted = image.scaled(size(), Qt::KeepAspectRatio);
  return QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

void PictureWindow::paintEvent(QPaintEvent*) {
  QElapsedTimer clock;
  clock.start();
  const bool quick = settled_.isActive();
  QPainter painter(this);
  const QImage& image = source_();
  const QRect shown = PictureRect();
  // Only the bars beside the picture are filled: filling under it too would double the
  // pixels written per paint, which during play is most of what this window costs.
  for (const QRect& bar : QRegion(rect()).subtracted(shown)) painter.fillRect(bar, Qt::black);
  if (shown.isEmpty()) return;
  painter.setRenderHint(QPainter::SmoothPixmapTransform, !quick);
  painter.drawImage(shown, image);
  if (fixInvalid_) PaintInvalidFixMark(painter, shown);
  if (lensAt_) PaintLens(painter, image, shown);
  if (quick) quickPaintMs_ = static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// A round lens centred on the pointer showing the source pixels under it 3x larger than the
// source itself (not than the scaled picture), drawn smoothly so plate letters stay legible.
void PictureWindow::PaintLens(QPainter& painter, const QImage& image, const QRect& shown) const {
  const double toSource = static_cast<double>(image.width()) / shown.width();
  const QPointF centre = QPointF(*lensAt_ - shown.topLeft()) * toSource;
  const double half = kLensSize / 2.0 / kMagnification;
  const QRectF from(centre.x() - half, centre.y() - half, 2 * half, 2 * half);
  const QRectF lens(*lensAt_ - QPointF(kLensSize / 2.0, kLensSize / 2.0), QSizeF(kLensSize, kLensSize));
  QPainterPath circle;
  circle.addEllipse(lens);
  painter.save();
  painter.setClipPath(circle);
  painter.fillRect(lens, Qt::black);
  painter.drawImage(lens, image, from);
  painter.restore();
  painter.setPen(QPen(Qt::white, 2));
  painter.drawEllipse(lens);
}

// A badge in the picture's top-left corner: the speed and place shown for this picture come
// from a sentence whose fix is not valid.
void PictureWindow::PaintInvalidFixMark(QPainter& painter, const QRect& shown) const {
  const QString text = QStringLiteral("GPS: pozycja nieważna");
  const QRect box = painter.fontMetrics().boundingRect(text).adjusted(-6, -3, 6, 3);
  const QRect placed(shown.topLeft() + QPoint(8, 8), box.size());
  painter.fillRect(placed, QColor(0, 0, 0, 180));
  painter.setPen(QColor(255, 170, 0));
  painter.drawText(placed, Qt::AlignCenter, text);
}

void PictureWindow::ToggleFullScreen() { isFullScreen() ? showNormal() : showFullScreen(); }

void PictureWindow::LeaveFullScreenOrClose() { isFullScreen() ? showNormal() : hide(); }

void PictureWindow::mouseDoubleClickEvent(QMouseEvent*) { ToggleFullScreen(); }

void PictureWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  lensAt_ = event->position().toPoint();
  update();
}

void PictureWindow::mouseMoveEvent(QMouseEvent* event) {
  if (!lensAt_) return;
  lensAt_ = event->position().toPoint();
  update();
}

void PictureWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  lensAt_.reset();
  update();
}

}  // namespace rovena
