#include "viewer/route_window.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "viewer/local_path.h"

namespace rovena {
namespace {

constexpr double kWheelStep = 1.25;     // zoom factor per wheel notch
constexpr double kDragThreshold = 4;    // pixels a press may move and still count as a click
constexpr double kSpeedBreakSeconds = 5;  // a longer silence in the speed line is a gap
constexpr int kStripHeight = 110;
constexpr double kMarkerReach = 20;  // the marker and its heading lie within this of the fix
constexpr double kFitMargin = 0.08;     // of the route's extent, around it when fitted
// Following re-centres once the marker comes this share of the view's smaller side near an
// edge: less than a fitted view leaves (kFitMargin of the extent, 0.069 of the side).
constexpr double kFollowMargin = 0.06;
constexpr double kTickSpacing = 70;  // least pixels between time ticks: room for "HH:mm:ss"
const QColor kRouteColour(30, 90, 220);
const QColor kCurrentRecordingColour(200, 0, 160);  // apart from map roads (often orange)
const QColor kInvalidFixColour(230, 150, 0);
const QColor kLabelBacking(255, 255, 255, 200);

// Map labels on a light backing, so they read over any map colour and over the grid.
void DrawBackedText(QPainter& painter, QPointF baselineLeft, const QString& text) {
  const QRectF box = painter.fontMetrics().boundingRect(text).translated(baselineLeft.toPoint()).adjusted(-2, -1, 2, 1);
  painter.fillRect(box, kLabelBacking);
  painter.setPen(Qt::black);
  painter.drawText(baselineLeft, text);
}

PlanePoint ToPlanePoint(QPointF p) { return {p.x(), p.y()}; }

// One look per kind of event, the same on the map, on the strip and in the menu.
enum class MarkShape { PointingDown, PointingUp, Diamond, Square, Circle, Cross, Ring };
struct EventStyle {
  QColor colour;
  MarkShape shape;
  const char* name;  // UTF-8
};
const EventStyle& StyleOf(EventKind kind) {
  static const EventStyle kStyles[] = {
      {QColor(220, 30, 30), MarkShape::PointingDown, "Gwałtowne hamowanie"},
      {QColor(20, 160, 60), MarkShape::PointingUp, "Gwałtowne przyspieszenie"},
      {QColor(240, 140, 0), MarkShape::Diamond, "Ostry zakręt"},
      {QColor(170, 0, 200), MarkShape::Square, "Przekroczenie prędkości"},
      {QColor(30, 100, 230), MarkShape::Circle, "Postój"},
      {QColor(90, 90, 90), MarkShape::Cross, "Utrata sygnału GPS"},
      {QColor(200, 180, 0), MarkShape::Ring, "Nie do oceny (pozycje zbyt rzadkie)"},
  };
  return kStyles[static_cast<std::size_t>(kind)];
}

void PaintEventMark(QPainter& painter, EventKind kind, QPointF at, double r) {
  const EventStyle& style = StyleOf(kind);
  painter.setPen(QPen(Qt::white, 1.5));
  painter.setBrush(style.colour);
  switch (style.shape) {
    case MarkShape::PointingDown:
      painter.drawPolygon(QPolygonF({at + QPointF(-r, -r), at + QPointF(r, -r), at + QPointF(0, r)}));
      break;
    case MarkShape::PointingUp:
      painter.drawPolygon(QPolygonF({at + QPointF(-r, r), at + QPointF(r, r), at + QPointF(0, -r)}));
      break;
    case MarkShape::Diamond:
      painter.drawPolygon(QPolygonF({at + QPointF(0, -r), at + QPointF(r, 0), at + QPointF(0, r), at + QPointF(-r, 0)}));
      break;
    case MarkShape::Square: painter.drawRect(QRectF(at - QPointF(r, r), QSizeF(2 * r, 2 * r))); break;
    case MarkShape::Circle: painter.drawEllipse(at, r, r); break;
    case MarkShape::Cross:
      painter.setPen(QPen(style.colour, 3));
      painter.drawLine(at + QPointF(-r, -r), at + QPointF(r, r));
      painter.drawLine(at + QPointF(-r, r), at + QPointF(r, -r));
      break;
    case MarkShape::Ring:
      painter.setPen(QPen(style.colour, 2.5));
      painter.setBrush(Qt::NoBrush);
      painter.drawEllipse(at, r, r);
      break;
  }
}

// "16:06:23   Gwałtowne hamowanie   3.3 m/s²", in local time as the strip's axis
QString EventText(const DrivingEvent& event) {
  const QString time = event.time ? QDateTime::fromSecsSinceEpoch(static_cast<qint64>(*event.time))
                                        .toString(QStringLiteral("HH:mm:ss"))
                                  : QStringLiteral("--:--:--");
  const QString value = event.value ? QString::number(*event.value, 'f', 1) + QChar(' ') +
                                          QString::fromUtf8(EventUnit(event.kind).data(), EventUnit(event.kind).size())
                                    : QString();
  return QStringLiteral("%1   %2   %3").arg(time, QString::fromUtf8(StyleOf(event.kind).name), value);
}

// "UTC+2", "UTC-3:30": the local time the strip's axis is in.
QString UtcOffsetText(int seconds) {
  const int minutes = std::abs(seconds) / 60;
  QString text = QStringLiteral("UTC%1%2").arg(QLatin1Char(seconds < 0 ? '-' : '+')).arg(minutes / 60);
  if (minutes % 60 != 0) text += QStringLiteral(":%1").arg(minutes % 60, 2, 10, QLatin1Char('0'));
  return text;
}

}  // namespace

QString LocalTimeText(double utcSeconds) {
  if (utcSeconds <= 0) return QStringLiteral("--");
  return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(utcSeconds)).toString(QStringLiteral("dd.MM.yyyy  HH:mm:ss"));
}

QString PointText(const Route& route, int index) {
  const RoutePoint& point = route.points[static_cast<std::size_t>(index)];
  QString text = QStringLiteral("%1   %2 km/h").arg(LocalTimeText(point.utcSeconds)).arg(std::lround(point.speedKmh));
  if (point.recording < static_cast<int>(route.recordings.size())) {
    const std::string& path = route.recordings[static_cast<std::size_t>(point.recording)];
    text += QStringLiteral("   %1/%2 %3")
                .arg(point.recording + 1)
                .arg(route.recordings.size())
                .arg(PathFromBytes(std::filesystem::path(path).filename().string()));
  }
  if (!point.valid) text += QStringLiteral("   (pozycja GPS nieważna)");
  return text;
}

RouteWindow::RouteWindow(const QImage* map, const MapCalibration& calibration, JumpRequest jump, PlaceRequest place,
                         QWidget* parent)
    : QWidget(parent, Qt::Window),
      jump_(jump),
      map_(new RouteMapView(map, calibration, jump, std::move(place), [this](QMenu& menu) { AddEventMenu(menu); },
                            this)),
      strip_(new SpeedStrip(jump, this)) {
  setWindowTitle(QStringLiteral("Rovena – trasa"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(1);
  layout->addWidget(map_, 1);
  layout->addWidget(strip_);
  resize(900, 700);
}

void RouteWindow::SetRoute(Route route) {
  route_ = std::move(route);
  events_ = FindRouteEvents(route_);
  current_.reset();
  map_->SetRoute(&route_, &events_);
  strip_->SetRoute(&route_, &events_);
}

void RouteWindow::SetCurrent(int recording, std::int64_t position) {
  shownRecording_ = recording;
  shownPosition_ = position;
  const std::optional<int> point = route_.PointAt(recording, position);
  if (point == current_) return;
  current_ = point;
  map_->SetCurrent(point);
  strip_->SetCurrent(point);
}

std::optional<int> RouteWindow::PointOf(const DrivingEvent& event) const {
  const auto& points = route_.points;
  if (points.empty()) return std::nullopt;
  const auto at = std::lower_bound(points.begin(), points.end(),
                                   std::pair(static_cast<int>(event.recording), event.firstPicture),
                                   [](const RoutePoint& p, const std::pair<int, std::int64_t>& key) {
                                     return std::pair(p.recording, p.picture) < key;
                                   });
  // Lost fixes at the very end have no sentence after them: their last one stands in.
  return static_cast<int>(at == points.end() ? points.size() - 1 : at - points.begin());
}

void RouteWindow::Show(const DrivingEvent& event) {
  const std::optional<int> point = PointOf(event);
  if (!point) return;
  const RoutePoint& shown = route_.points[static_cast<std::size_t>(*point)];
  // A second key press before the main window reports the picture goes on from this one.
  shownRecording_ = shown.recording;
  shownPosition_ = shown.position;
  jump_(shown);
}

void RouteWindow::GoToEvent(bool next) {
  const std::pair here(shownRecording_, shownPosition_);
  const DrivingEvent* chosen = nullptr;
  for (const DrivingEvent& event : events_) {
    const RoutePoint& p = route_.points[static_cast<std::size_t>(*PointOf(event))];
    const std::pair at(p.recording, p.position);
    if (next && at > here) {
      chosen = &event;
      break;
    }
    if (!next && at < here) chosen = &event;
  }
  if (chosen) Show(*chosen);
}

void RouteWindow::AddEventMenu(QMenu& menu) {
  QMenu* list = menu.addMenu(QStringLiteral("Zdarzenia"));
  list->addAction(QStringLiteral("Następne zdarzenie\tN"), [this] { GoToEvent(true); });
  list->addAction(QStringLiteral("Poprzednie zdarzenie\tShift+N"), [this] { GoToEvent(false); });
  list->addSeparator();
  if (events_.empty()) list->addAction(QStringLiteral("Brak zdarzeń"))->setEnabled(false);
  for (const DrivingEvent& event : events_) list->addAction(EventText(event), [this, event] { Show(event); });
}


void RouteWindow::FollowVehicle() { map_->SetFollowing(true); }
void RouteWindow::ShowWholeRoute() { map_->Fit(); }

// ---------------------------------------------------------------- the map

RouteMapView::RouteMapView(const QImage* map, const MapCalibration& calibration, RouteWindow::JumpRequest jump,
                           RouteWindow::PlaceRequest place, std::function<void(QMenu&)> eventMenu, QWidget* parent)
    : QWidget(parent), mapImage_(map && !map->isNull() && calibration.ScaleLat != 0 && calibration.ScaleLon != 0
                                     ? map : nullptr),
      projection_(RouteProjection::ForMap(calibration)), jump_(std::move(jump)), place_(std::move(place)),
      eventMenu_(std::move(eventMenu)) {
  if (mapImage_) mapPixmap_ = QPixmap::fromImage(*mapImage_);
  setMouseTracking(true);
  setMinimumSize(320, 240);
  setAttribute(Qt::WA_OpaquePaintEvent);
  followButton_ = new QToolButton(this);
  followButton_->setText(QStringLiteral("Śledzenie (F)"));
  followButton_->setCheckable(true);
  followButton_->setChecked(true);
  followButton_->setFocusPolicy(Qt::NoFocus);
  connect(followButton_, &QToolButton::clicked, this, [this](bool on) { SetFollowing(on); });
  wholeButton_ = new QToolButton(this);
  wholeButton_->setText(QStringLiteral("Cała trasa (C)"));
  wholeButton_->setFocusPolicy(Qt::NoFocus);
  connect(wholeButton_, &QToolButton::clicked, this, [this] { Fit(); });
}

// The marker's point belongs to the route it was found in; a new route starts without one
// until the window says where the picture is in it.
void RouteMapView::SetRoute(const Route* route, const std::vector<DrivingEvent>* events) {
  route_ = route;
  events_ = events;
  current_.reset();
  if (!mapImage_) projection_ = RouteProjection::ForRoute(*route);
  plane_.clear();
  for (const RoutePoint& point : route->points) plane_.push_back(projection_.ToPlane(point.lat, point.lon));
  Fit();
}

void RouteMapView::SetCurrent(std::optional<int> point) {
  const auto recordingOf = [this](std::optional<int> p) {
    return p ? route_->points[static_cast<std::size_t>(*p)].recording : -1;
  };
  // The highlighted recording is part of the cached layer; the marker is not.
  if (route_ && recordingOf(point) != recordingOf(current_)) layer_ = QPixmap();
  const bool wasValid = CurrentFixValid();
  // Only around the marker's old and new places, unless the layer must be drawn again.
  if (layer_.isNull()) update();
  const std::optional<int> before = MarkerPoint();
  current_ = point;
  for (const std::optional<int>& at : {before, MarkerPoint()})
    if (at) update(QRectF(ScreenOf(*at) - QPointF(kMarkerReach, kMarkerReach), QSizeF(2 * kMarkerReach, 2 * kMarkerReach)).toAlignedRect());
  if (CurrentFixValid() != wasValid) update();  // the notice in the corner comes or goes
  if (follow_) KeepMarkerInView();
}

std::optional<int> RouteMapView::MarkerPoint() const {
  return route_ && current_ ? route_->LastValidAtOrBefore(*current_) : std::nullopt;
}

bool RouteMapView::CurrentFixValid() const {
  return !route_ || !current_ || route_->points[static_cast<std::size_t>(*current_)].valid;
}

void RouteMapView::SetFollowing(bool on) {
  follow_ = on;
  followButton_->setChecked(on);
  if (on) KeepMarkerInView();
}

void RouteMapView::KeepMarkerInView() {
  const std::optional<int> marker = MarkerPoint();
  if (!marker) return;
  // Inside the margin a fitted view leaves around the route, so fitting never makes it move.
  const double margin = std::max(kMarkerReach, kFollowMargin * std::min(width(), height()));
  const ViewTransform kept = KeepInView(view_, plane_[static_cast<std::size_t>(*marker)], width(), height(), margin);
  if (kept.origin.x == view_.origin.x && kept.origin.y == view_.origin.y) return;
  view_ = kept;
  Invalidate();
}

void RouteMapView::PlaceButtons() {
  const QSize whole = wholeButton_->sizeHint(), follow = followButton_->sizeHint();
  wholeButton_->move(width() - whole.width() - 8, height() - whole.height() - 8);
  followButton_->move(wholeButton_->x() - follow.width() - 4, height() - follow.height() - 8);
}

void RouteMapView::Invalidate() {
  layer_ = QPixmap();
  update();
}

QPointF RouteMapView::ScreenOf(int index) const {
  const PlanePoint s = view_.ToScreen(plane_[static_cast<std::size_t>(index)]);
  return {s.x, s.y};
}

// The route's extent with a margin, so the drive fills the window; the whole map (or a
// neutral square) until the route is known.
void RouteMapView::Fit() {
  PlanePoint min{1e300, 1e300}, max{-1e300, -1e300};
  for (std::size_t i = 0; route_ && i < plane_.size(); ++i) {
    if (!route_->points[i].valid) continue;
    min = {std::min(min.x, plane_[i].x), std::min(min.y, plane_[i].y)};
    max = {std::max(max.x, plane_[i].x), std::max(max.y, plane_[i].y)};
  }
  if (min.x > max.x) {
    if (mapImage_) min = {0, 0}, max = {double(mapImage_->width()), double(mapImage_->height())};
    else min = max = {0, 0};
  }
  const double margin = std::max({max.x - min.x, max.y - min.y, mapImage_ ? 40.0 : 200.0}) * kFitMargin;
  view_ = FitView({min.x - margin, min.y - margin}, {max.x + margin, max.y + margin}, width(), height());
  view_.scale = std::clamp(view_.scale, FitScale(), ViewTransform::kMaxZoom);
  Invalidate();
}

// How far the wheel zooms out: the whole map, or without one about a hundred kilometres.
double RouteMapView::FitScale() const {
  if (mapImage_) return FitView({0, 0}, {double(mapImage_->width()), double(mapImage_->height())}, width(), height()).scale;
  return std::min(width(), height()) / (1e5 * projection_.UnitsPerMetre());
}

void RouteMapView::resizeEvent(QResizeEvent*) {
  PlaceButtons();
  Fit();
}

// The map, grid, route and scale bar change only with the view, the route or the recording
// on screen; they are drawn once into a layer, and each new picture only moves the marker.
void RouteMapView::paintEvent(QPaintEvent*) {
  if (layer_.size() != size()) PaintLayer();
  QPainter painter(this);
  painter.drawPixmap(0, 0, layer_);
  painter.setRenderHint(QPainter::Antialiasing);
  if (route_) PaintMarker(painter);
  if (!CurrentFixValid())
    DrawBackedText(painter, QPointF(8, 36), QStringLiteral("Pozycja GPS nieważna – znacznik w ostatniej ważnej"));
}

void RouteMapView::PaintLayer() {
  layer_ = QPixmap(size());
  QPainter painter(&layer_);
  painter.fillRect(rect(), QColor(236, 236, 228));
  if (!mapPixmap_.isNull()) {
    // Only the part of the map inside the view is scaled, so a paint costs the window's
    // pixels, not the map's.
    const PlanePoint from = view_.ToPlane({0, 0}), to = view_.ToPlane({double(width()), double(height())});
    const QRectF source = QRectF(QPointF(from.x, from.y), QPointF(to.x, to.y)).intersected(QRectF(mapPixmap_.rect()));
    const PlanePoint a = view_.ToScreen({source.left(), source.top()});
    const PlanePoint b = view_.ToScreen({source.right(), source.bottom()});
    painter.drawPixmap(QRectF(QPointF(a.x, a.y), QPointF(b.x, b.y)), mapPixmap_, source);
  }
  PaintGrid(painter);
  painter.setRenderHint(QPainter::Antialiasing);
  if (route_) PaintRoute(painter);
  PaintEvents(painter);
  PaintScaleBar(painter);
}

// Latitude and longitude lines at round steps, labelled on a backing along the left and the
// top edges (the bottom one holds the scale bar and the buttons).
void RouteMapView::PaintGrid(QPainter& painter) const {
  double latTop = 0, lonLeft = 0, latBottom = 0, lonRight = 0;
  projection_.ToLatLon(view_.ToPlane({0, 0}), latTop, lonLeft);
  projection_.ToLatLon(view_.ToPlane({double(width()), double(height())}), latBottom, lonRight);
  const double step = RoundStep(std::max(std::fabs(latTop - latBottom), std::fabs(lonRight - lonLeft)), 5);
  for (double lat = std::ceil(std::min(latTop, latBottom) / step) * step; lat <= std::max(latTop, latBottom);
       lat += step) {
    const double y = view_.ToScreen(projection_.ToPlane(lat, lonLeft)).y;
    painter.setPen(QPen(QColor(0, 0, 0, 60), 1));
    painter.drawLine(QPointF(0, y), QPointF(width(), y));
    DrawBackedText(painter, QPointF(4, y - 4), QString::number(lat, 'f', 4) + QStringLiteral("°"));
  }
  for (double lon = std::ceil(std::min(lonLeft, lonRight) / step) * step; lon <= std::max(lonLeft, lonRight);
       lon += step) {
    const double x = view_.ToScreen(projection_.ToPlane(latTop, lon)).x;
    painter.setPen(QPen(QColor(0, 0, 0, 60), 1));
    painter.drawLine(QPointF(x, 0), QPointF(x, height()));
    DrawBackedText(painter, QPointF(x + 4, 14), QString::number(lon, 'f', 4) + QStringLiteral("°"));
  }
}

// Each stretch as a line; the part in the recording on screen in the main window stands out.
void RouteMapView::PaintRoute(QPainter& painter) const {
  const int currentRecording = current_ ? route_->points[static_cast<std::size_t>(*current_)].recording : -1;
  for (const std::vector<int>& stretch : RouteStretches(*route_)) {
    QPolygonF line, emphasised;
    for (int index : SimplifyForScreen(stretch, plane_, view_)) {
      line << ScreenOf(index);
      if (route_->points[static_cast<std::size_t>(index)].recording == currentRecording) emphasised << ScreenOf(index);
    }
    painter.setPen(QPen(kRouteColour, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(line);
    painter.setPen(QPen(kCurrentRecordingColour, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(emphasised);
  }
}

// A circle with a pointer in the direction of travel; without a valid fix, a hollow grey
// circle where the vehicle was last known to be.
void RouteMapView::PaintMarker(QPainter& painter) const {
  const std::optional<int> marker = MarkerPoint();
  if (!marker) return;
  const QPointF at = ScreenOf(*marker);
  if (!CurrentFixValid()) {
    painter.setPen(QPen(QColor(90, 90, 90), 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(at, 8, 8);
    return;
  }
  const RoutePoint& point = route_->points[static_cast<std::size_t>(*marker)];
  painter.setPen(QPen(Qt::white, 2));
  painter.setBrush(QColor(220, 0, 0));
  if (point.course) {
    painter.save();
    painter.translate(at);
    painter.rotate(*point.course);
    painter.drawPolygon(QPolygonF({QPointF(0, -16), QPointF(7, 2), QPointF(-7, 2)}));
    painter.restore();
  }
  painter.drawEllipse(at, 7, 7);
}

// Each event where it began.
void RouteMapView::PaintEvents(QPainter& painter) const {
  for (std::size_t i = 0; events_ && i < events_->size(); ++i) {
    const DrivingEvent& event = (*events_)[i];
    if (!event.latitude || !event.longitude) continue;
    const PlanePoint at = view_.ToScreen(projection_.ToPlane(*event.latitude, *event.longitude));
    PaintEventMark(painter, event.kind, QPointF(at.x, at.y), 7);
  }
}

void RouteMapView::PaintScaleBar(QPainter& painter) const {
  const double metresPerPixel = 1 / (view_.scale * projection_.UnitsPerMetre());
  const double metres = RoundStep(metresPerPixel * width() / 5, 1);
  const double pixels = metres / metresPerPixel;
  const QPointF start(12, height() - 20);
  painter.setPen(QPen(Qt::black, 3));
  painter.drawLine(start, start + QPointF(pixels, 0));
  DrawBackedText(painter, start + QPointF(0, -6),
                 metres >= 1000 ? QStringLiteral("%1 km").arg(metres / 1000) : QStringLiteral("%1 m").arg(metres));
}

void RouteMapView::wheelEvent(QWheelEvent* event) {
  const double factor = std::pow(kWheelStep, event->angleDelta().y() / 120.0);
  view_ = ZoomAbout(view_, factor, ToPlanePoint(event->position()), FitScale());
  Invalidate();
  if (follow_) KeepMarkerInView();
}

void RouteMapView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragFrom_ = event->position();
  dragged_ = false;
}

void RouteMapView::mouseMoveEvent(QMouseEvent* event) {
  if (dragFrom_) {
    const QPointF moved = event->position() - *dragFrom_;
    if (dragged_ || std::hypot(moved.x(), moved.y()) > kDragThreshold) {
      view_ = PanBy(view_, moved.x(), moved.y());
      dragFrom_ = event->position();
      dragged_ = true;
      SetFollowing(false);
      Invalidate();
    }
    return;
  }
  if (!route_) return;
  const std::optional<int> near = NearestPoint(*route_, plane_, view_, ToPlanePoint(event->position()));
  if (near)
    QToolTip::showText(event->globalPosition().toPoint(), PointText(*route_, *near), this);
  else
    QToolTip::hideText();
}

void RouteMapView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !dragFrom_) return;
  dragFrom_.reset();
  if (dragged_ || !route_) return;
  if (const auto near = NearestPoint(*route_, plane_, view_, ToPlanePoint(event->position())))
    jump_(route_->points[static_cast<std::size_t>(*near)]);
}

void RouteMapView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu;
  if (eventMenu_) eventMenu_(menu);
  if (place_) {
    double lat = 0, lon = 0;
    projection_.ToLatLon(view_.ToPlane(ToPlanePoint(event->pos())), lat, lon);
    place_(lat, lon, menu);
  }
  if (!menu.isEmpty()) menu.exec(event->globalPos());
}

// ---------------------------------------------------------------- the speed strip

SpeedStrip::SpeedStrip(RouteWindow::JumpRequest jump, QWidget* parent) : QWidget(parent), jump_(std::move(jump)) {
  setFixedHeight(kStripHeight);
  setMouseTracking(true);
}

void SpeedStrip::SetRoute(const Route* route, const std::vector<DrivingEvent>* events) {
  route_ = route;
  events_ = events;
  current_.reset();  // as the map's marker
  hovered_.reset();
  Measure();
  layer_ = QPixmap();
  update();
}

// The label column fits the widest speed label, the axis row one line of text.
void SpeedStrip::Measure() {
  const QFontMetrics metrics = fontMetrics();
  const double column = metrics.horizontalAdvance(QStringLiteral("888 km/h")) + 8;
  geometry_ = route_ ? StripFor(*route_, width(), height(), column, metrics.height() + 4) : StripGeometry{};
}

void SpeedStrip::SetCurrent(std::optional<int> point) {
  for (const std::optional<int>& at : {current_, point})
    if (route_ && at) update(QRect(static_cast<int>(XOf(route_->points[static_cast<std::size_t>(*at)].utcSeconds)) - 2, 0, 5, height()));
  current_ = point;
}

void SpeedStrip::resizeEvent(QResizeEvent*) {
  Measure();
  layer_ = QPixmap();
}

// The speed line and its scales are drawn once into a layer; each new picture only moves the
// cursor, and the pointer only the read-out.
void SpeedStrip::paintEvent(QPaintEvent*) {
  if (layer_.size() != size()) PaintLayer();
  QPainter painter(this);
  painter.drawPixmap(0, 0, layer_);
  if (route_ && current_) {
    const double x = XOf(route_->points[static_cast<std::size_t>(*current_)].utcSeconds);
    painter.setPen(QPen(QColor(255, 60, 60), 2));
    painter.drawLine(QPointF(x, 0), QPointF(x, height()));
  }
  PaintReadOut(painter);
}

void SpeedStrip::PaintLayer() {
  layer_ = QPixmap(size());
  QPainter painter(&layer_);
  painter.fillRect(rect(), QColor(24, 24, 24));
  if (!route_) return;
  PaintEvents(painter);
  PaintSpeedScale(painter);
  PaintTimeAxis(painter);
  PaintRecordingChanges(painter);
  PaintInvalidFixes(painter);
  PaintSpeedLine(painter);
}

// Round speeds as lines across the plot, labelled in the column left of it.
void SpeedStrip::PaintSpeedScale(QPainter& painter) const {
  const double step = RoundStep(geometry_.topSpeed, 3);
  const int half = painter.fontMetrics().ascent() / 2;
  for (double speed = 0; speed <= geometry_.topSpeed; speed += step) {
    const double y = geometry_.YOf(speed);
    painter.setPen(QColor(70, 70, 70));
    painter.drawLine(QPointF(geometry_.left, y), QPointF(geometry_.right, y));
    painter.setPen(QColor(170, 170, 170));
    const QRectF label(0, y - half - 2, geometry_.left - 6, 2 * half + 4);
    painter.drawText(label.translated(0, std::max(0.0, -label.top())), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("%1 km/h").arg(speed));
  }
}

// Ticks at round local times under the plot; the column's corner names the time zone.
void SpeedStrip::PaintTimeAxis(QPainter& painter) const {
  const double first = geometry_.firstTime, last = geometry_.lastTime;
  if (first <= 0) return;
  const int offset = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(first)).offsetFromUtc();
  const double pixelsPerSecond = (geometry_.right - geometry_.left) / std::max(last - first, 1.0);
  const double step = TimeStep(kTickSpacing / pixelsPerSecond);
  const QString format = step < 60 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm");
  const double baseline = height() - 4;
  painter.setPen(QColor(170, 170, 170));
  painter.drawText(QPointF(3, baseline), UtcOffsetText(offset));
  for (const double tick : TimeTicks(first, last, step, offset)) {
    const double x = XOf(tick);
    painter.setPen(QColor(120, 120, 120));
    painter.drawLine(QPointF(x, geometry_.bottom), QPointF(x, geometry_.bottom + 3));
    const QString label = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(tick)).toString(format);
    const double half = painter.fontMetrics().horizontalAdvance(label) / 2.0;
    painter.setPen(QColor(170, 170, 170));
    painter.drawText(QPointF(std::clamp(x - half, geometry_.left, width() - 2 * half - 1), baseline), label);
  }
}

// A thin line where each recording after the first begins.
void SpeedStrip::PaintRecordingChanges(QPainter& painter) const {
  painter.setPen(QPen(QColor(110, 150, 230), 1, Qt::DashLine));
  for (const int start : route_->RecordingStarts()) {
    const double t = route_->points[static_cast<std::size_t>(start)].utcSeconds;
    if (t > 0) painter.drawLine(QPointF(XOf(t), geometry_.top), QPointF(XOf(t), geometry_.bottom));
  }
}

// A band along the bottom of the plot wherever the fix is not valid.
void SpeedStrip::PaintInvalidFixes(QPainter& painter) const {
  for (const RoutePoint& point : route_->points) {
    if (point.valid || point.utcSeconds <= 0) continue;
    const double x = XOf(point.utcSeconds);
    painter.fillRect(QRectF(x - 1, geometry_.bottom - 4, 3, 4), kInvalidFixColour);
  }
}

void SpeedStrip::PaintSpeedLine(QPainter& painter) const {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(90, 200, 90), 1.5));
  QPolygonF line;
  const RoutePoint* previous = nullptr;
  for (const RoutePoint& point : route_->points) {
    if (point.utcSeconds <= 0) continue;
    const bool followsOn = point.recording < static_cast<int>(route_->followsOn.size()) &&
                           route_->followsOn[static_cast<std::size_t>(point.recording)];
    // A line runs forward in time only: a clock that steps back breaks it as a silence does.
    const double step = previous ? point.utcSeconds - previous->utcSeconds : 0;
    const bool broken = previous && (step > kSpeedBreakSeconds || step < 0 ||
                                     (point.recording != previous->recording && !followsOn));
    if (broken) {
      painter.drawPolyline(line);
      line.clear();
    }
    line << QPointF(XOf(point.utcSeconds), geometry_.YOf(point.speedKmh));
    previous = &point;
  }
  painter.drawPolyline(line);
}

// Events that last (stops, lost fixes, stretches not assessable, speeding) as bands over their
// time, and every event's mark at its start along the top.
void SpeedStrip::PaintEvents(QPainter& painter) const {
  for (std::size_t i = 0; events_ && i < events_->size(); ++i) {
    const DrivingEvent& event = (*events_)[i];
    if (!event.time) continue;
    const double from = XOf(*event.time), to = XOf(event.lastTime.value_or(*event.time));
    QColor band = StyleOf(event.kind).colour;
    band.setAlpha(60);
    if (to - from >= 1) painter.fillRect(QRectF(from, 0, to - from, height()), band);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    PaintEventMark(painter, event.kind, QPointF(from, 8), 5);
    painter.restore();
  }
}

// The point under the pointer: a hairline and its time, speed and recording, in a box on
// the side of the line with room for it.
void SpeedStrip::PaintReadOut(QPainter& painter) const {
  if (!route_ || !hovered_) return;
  const double x = XOf(route_->points[static_cast<std::size_t>(*hovered_)].utcSeconds);
  painter.setPen(QPen(QColor(230, 230, 230), 1, Qt::DotLine));
  painter.drawLine(QPointF(x, geometry_.top), QPointF(x, geometry_.bottom));
  const QString text = PointText(*route_, *hovered_);
  const QRectF box = QRectF(painter.fontMetrics().boundingRect(text)).adjusted(-4, -2, 4, 2);
  const double left = x + 6 + box.width() <= width() ? x + 6 : x - 6 - box.width();
  const QRectF placed(std::max(left, 0.0), geometry_.top, box.width(), box.height());
  painter.fillRect(placed, QColor(0, 0, 0, 210));
  painter.setPen(Qt::white);
  painter.drawText(placed, Qt::AlignCenter, text);
}

void SpeedStrip::JumpToX(double x) {
  if (!route_) return;
  if (const auto point = route_->PointNearestTime(TimeAt(x))) jump_(route_->points[static_cast<std::size_t>(*point)]);
}

void SpeedStrip::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) JumpToX(event->position().x());
}

void SpeedStrip::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) JumpToX(event->position().x());
  if (!route_) return;
  hovered_ = route_->PointNearestTime(TimeAt(event->position().x()));
  update();
}

void SpeedStrip::leaveEvent(QEvent*) {
  hovered_.reset();
  update();
}

}  // namespace rovena
