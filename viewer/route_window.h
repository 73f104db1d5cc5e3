// The route window: the trip's route on the map (or on a plain grid where there is no map),
// the current position with its heading, and a speed strip over trip time in local time, both
// with the route's driving events marked. A click on the route or the strip, an event chosen
// from the context menu, or N and Shift+N (next and previous event) ask the main window to
// show that picture. The map follows the vehicle until the user pans it (F or the button
// follows again). Pictures whose fix is not valid show the last known place hollow and grey,
// and a band on the strip. All geometry and the events come from the core; these widgets
// paint and forward intents. Updates only schedule a repaint, so the main window's play loops
// never wait for drawing.
#pragma once

#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "core/driving_events.h"
#include "core/route.h"

class QToolButton;

namespace rovena {

class RouteMapView;
class SpeedStrip;

// A fix's time as the route window shows it: local date and time.
QString LocalTimeText(double utcSeconds);
// What the pointer over a point reads: time, speed, and the recording it belongs to.
QString PointText(const Route& route, int index);

class RouteWindow : public QWidget {
 public:
  using JumpRequest = std::function<void(const RoutePoint&)>;
  // Right-click on the map: what else passed here, added to the context menu.
  using PlaceRequest = std::function<void(double lat, double lon, QMenu& menu)>;

  // `map` (may be null) and `calibration` are the main window's; `jump` shows a picture there.
  RouteWindow(const QImage* map, const MapCalibration& calibration, JumpRequest jump, PlaceRequest place = {},
              QWidget* parent = nullptr);

  void SetRoute(Route route);
  const Route& CurrentRoute() const { return route_; }
  // The main window shows picture `position` of trip recording `recording` now.
  void SetCurrent(int recording, std::int64_t position);
  std::optional<int> CurrentPoint() const { return current_; }
  // F and the map's button: the map keeps the vehicle in view again. C: the whole route.
  void FollowVehicle();
  void ShowWholeRoute();

  // The route's driving events, in driving order.
  const std::vector<DrivingEvent>& Events() const { return events_; }
  // Shows the first picture of the next (or previous) event after (before) the picture shown.
  void GoToEvent(bool next);
  // The events as a submenu of `menu`, each showing its first picture when chosen.
  void AddEventMenu(QMenu& menu);

  RouteMapView* Map() const { return map_; }
  SpeedStrip* Strip() const { return strip_; }

 private:
  // The route point that shows `event`: its first picture, or the first one after it that
  // has a sentence.
  std::optional<int> PointOf(const DrivingEvent& event) const;
  void Show(const DrivingEvent& event);

  Route route_;
  std::vector<DrivingEvent> events_;
  std::optional<int> current_;
  int shownRecording_ = -1;       // the picture the main window shows now
  std::int64_t shownPosition_ = 0;
  JumpRequest jump_;
  RouteMapView* map_;
  SpeedStrip* strip_;
};

class RouteMapView : public QWidget {
 public:
  RouteMapView(const QImage* map, const MapCalibration& calibration, RouteWindow::JumpRequest jump,
               RouteWindow::PlaceRequest place, std::function<void(QMenu&)> eventMenu, QWidget* parent);
  void SetRoute(const Route* route, const std::vector<DrivingEvent>* events);
  void SetCurrent(std::optional<int> point);
  // The view's transform, fitted on first show and after each new route.
  const ViewTransform& View() const { return view_; }
  // Screen position of route point `index`.
  QPointF ScreenOf(int index) const;
  // Following: each new position outside the middle of the view centres the view on it. On
  // at first; a pan turns it off.
  bool Following() const { return follow_; }
  void SetFollowing(bool on);
  void Fit();

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // Drops the cached layer after the view or the route changed.
  void Invalidate();
  void PaintLayer();
  double FitScale() const;
  void KeepMarkerInView();
  void PlaceButtons();
  // Where the marker stands: the current point, or the last valid one before it.
  std::optional<int> MarkerPoint() const;
  bool CurrentFixValid() const;
  void PaintGrid(QPainter& painter) const;
  void PaintRoute(QPainter& painter) const;
  void PaintMarker(QPainter& painter) const;
  void PaintEvents(QPainter& painter) const;
  void PaintScaleBar(QPainter& painter) const;

  const QImage* mapImage_;
  QPixmap mapPixmap_;  // converted once from the indexed map
  RouteProjection projection_;
  RouteWindow::JumpRequest jump_;
  RouteWindow::PlaceRequest place_;
  std::function<void(QMenu&)> eventMenu_;
  const Route* route_ = nullptr;
  const std::vector<DrivingEvent>* events_ = nullptr;
  std::vector<PlanePoint> plane_;
  std::optional<int> current_;
  ViewTransform view_;
  std::optional<QPointF> dragFrom_;
  bool dragged_ = false;
  bool follow_ = true;
  QToolButton* followButton_;
  QToolButton* wholeButton_;
  QPixmap layer_;  // everything but the marker
};

class SpeedStrip : public QWidget {
 public:
  SpeedStrip(RouteWindow::JumpRequest jump, QWidget* parent);
  void SetRoute(const Route* route, const std::vector<DrivingEvent>* events);
  void SetCurrent(std::optional<int> point);
  // The strip's x for a trip time, and back.
  double XOf(double utcSeconds) const { return geometry_.XOf(utcSeconds); }
  double TimeAt(double x) const { return geometry_.TimeAt(x); }
  // The point the pointer rests over, whose read-out the strip shows.
  std::optional<int> HoveredPoint() const { return hovered_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent*) override;
  void resizeEvent(QResizeEvent*) override;

 private:
  void JumpToX(double x);
  void Measure();
  void PaintLayer();
  void PaintEvents(QPainter& painter) const;
  void PaintSpeedScale(QPainter& painter) const;
  void PaintTimeAxis(QPainter& painter) const;
  void PaintRecordingChanges(QPainter& painter) const;
  void PaintInvalidFixes(QPainter& painter) const;
  void PaintSpeedLine(QPainter& painter) const;
  void PaintReadOut(QPainter& painter) const;

  RouteWindow::JumpRequest jump_;
  const Route* route_ = nullptr;
  const std::vector<DrivingEvent>* events_ = nullptr;
  std::optional<int> current_;
  std::optional<int> hovered_;
  StripGeometry geometry_;
  QPixmap layer_;  // everything but the cursor and the read-out
};

}  // namespace rovena
