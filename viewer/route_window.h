// The route window: the trip's route on the map (or on a plain grid where there is no map),
// the current position with its heading, and a speed strip over trip time. A click on the
// route or the strip asks the main window to show that picture. All geometry comes from
// route.h; these widgets paint and forward intents. Updates only schedule a repaint, so the
// main window's play loops never wait for drawing.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <optional>

#include "core/route.h"

namespace rovena {

class RouteMapView;
class SpeedStrip;

class RouteWindow : public QWidget {
 public:
  using JumpRequest = std::function<void(const RoutePoint&)>;
  // Right-click on the map: the user asks what else passed here (global position for a menu).
  using PlaceRequest = std::function<void(double lat, double lon, QPoint globalPosition)>;

  // `map` (may be null) and `calibration` are the main window's; `jump` shows a picture there.
  RouteWindow(const QImage* map, const MapCalibration& calibration, JumpRequest jump, PlaceRequest place = {},
              QWidget* parent = nullptr);

  void SetRoute(Route route);
  const Route& CurrentRoute() const { return route_; }
  // The main window shows picture `position` of trip recording `recording` now.
  void SetCurrent(int recording, std::int64_t position);
  std::optional<int> CurrentPoint() const { return current_; }

  RouteMapView* Map() const { return map_; }
  SpeedStrip* Strip() const { return strip_; }

 private:
  Route route_;
  std::optional<int> current_;
  RouteMapView* map_;
  SpeedStrip* strip_;
};

class RouteMapView : public QWidget {
 public:
  RouteMapView(const QImage* map, const MapCalibration& calibration, RouteWindow::JumpRequest jump,
               RouteWindow::PlaceRequest place, QWidget* parent);
  void SetRoute(const Route* route);
  void SetCurrent(std::optional<int> point);
  // The view's transform, fitted on first show and after each new route.
  const ViewTransform& View() const { return view_; }
  // Screen position of route point `index`.
  QPointF ScreenOf(int index) const;

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void Fit();
  // Drops the cached layer after the view or the route changed.
  void Invalidate();
  void PaintLayer();
  double FitScale() const;
  void PaintGrid(QPainter& painter) const;
  void PaintRoute(QPainter& painter) const;
  void PaintMarker(QPainter& painter) const;
  void PaintScaleBar(QPainter& painter) const;

  const QImage* mapImage_;
  QPixmap mapPixmap_;  // converted once from the indexed map
  RouteProjection projection_;
  RouteWindow::JumpRequest jump_;
  RouteWindow::PlaceRequest place_;
  const Route* route_ = nullptr;
  std::vector<PlanePoint> plane_;
  std::optional<int> current_;
  ViewTransform view_;
  std::optional<QPointF> dragFrom_;
  bool dragged_ = false;
  QPixmap layer_;  // everything but the marker
};

class SpeedStrip : public QWidget {
 public:
  SpeedStrip(RouteWindow::JumpRequest jump, QWidget* parent);
  void SetRoute(const Route* route);
  void SetCurrent(std::optional<int> point);
  // The strip's x for a trip time, and back.
  double XOf(double utcSeconds) const;
  double TimeAt(double x) const;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent*) override;

 private:
  void JumpToX(double x);
  void PaintLayer();

  RouteWindow::JumpRequest jump_;
  const Route* route_ = nullptr;
  std::optional<int> current_;
  double firstTime_ = 0, lastTime_ = 0, topSpeed_ = 1;
  QPixmap layer_;  // everything but the cursor
};

}  // namespace rovena
