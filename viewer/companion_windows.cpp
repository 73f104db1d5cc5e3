#include "viewer/companion_windows.h"

#include <QMenu>
#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "viewer/local_path.h"
#include "viewer/picture_window.h"
#include "viewer/route_window.h"

namespace rovena {
namespace {

constexpr double kPassRadiusM = 50;  // as rovena-cli find's default
constexpr int kRefreshMs = 16;  // a 60 Hz screen
// While a play runs flat out: every other refresh at most, and the picture window's drawing
// within this share of the time.
constexpr int kFlatOutRefreshMs = 33;
constexpr double kFlatOutPaintShare = 0.04;

}  // namespace

CompanionWindows::CompanionWindows(CompanionSources sources) : sources_(std::move(sources)) {
  refresh_.setSingleShot(true);
  connect(&refresh_, &QTimer::timeout, this, [this] {
    if (route_ && route_->isVisible()) route_->SetCurrent(currentRecording_, currentPosition_);
    if (picture_ && picture_->isVisible()) picture_->PictureChanged(currentFixInvalid_);
  });
}

CompanionWindows::~CompanionWindows() { StopGathering(); }

void CompanionWindows::ToggleRoute() {
  if (!route_) {
    route_ = std::make_unique<RouteWindow>(
        sources_.map, sources_.calibration(),
        [this](const RoutePoint& point) { sources_.jump(point.recording, point.position); },
        [this](double lat, double lon, QMenu& menu) { AddPassesNear(lat, lon, menu); });
    sources_.equip(route_.get());
  }
  if (route_->isVisible()) {
    route_->hide();
    return;
  }
  route_->show();
  route_->raise();
  if (!routeGathered_) StartGathering();
  route_->SetCurrent(currentRecording_, currentPosition_);
}

void CompanionWindows::MakePictureWindow() {
  if (picture_) return;
  picture_ = std::make_unique<PictureWindow>(sources_.picture);
  sources_.equip(picture_.get());
}

void CompanionWindows::TogglePicture() {
  MakePictureWindow();
  picture_->setVisible(!picture_->isVisible());
  if (!picture_->isVisible()) return;
  picture_->raise();
  picture_->PictureChanged(currentFixInvalid_);
}

void CompanionWindows::TogglePictureFullScreen() {
  MakePictureWindow();
  picture_->ToggleFullScreen();
  picture_->raise();
  picture_->activateWindow();
  picture_->PictureChanged(currentFixInvalid_);
}

void CompanionWindows::SetTrip(std::vector<std::string> recordings, std::vector<bool> followsOn) {
  if (recordings == recordings_) return;
  StopGathering();
  recordings_ = std::move(recordings);
  followsOn_ = std::move(followsOn);
  routeGathered_ = false;
  if (route_ && route_->isVisible()) StartGathering();
}

void CompanionWindows::PictureShown(int recording, std::int64_t position, bool flatOut, bool fixInvalid) {
  currentRecording_ = recording;
  currentPosition_ = position;
  currentFixInvalid_ = fixInvalid;
  if (!refresh_.isActive()) refresh_.start(flatOut ? FlatOutRefreshMs() : kRefreshMs);
}

// Whatever time the windows take, a flat-out play loses from its rate, and it shows far more
// pictures than anyone can follow. So there the windows catch up at most 30 times a second,
// and less often when the picture window's drawing (every pixel of a window that may fill
// the screen) would take more than its share: about 16 times a second at full HD.
int CompanionWindows::FlatOutRefreshMs() const {
  const double paintMs = picture_ && picture_->isVisible() ? picture_->QuickPaintMs() : 0;
  return std::max(kFlatOutRefreshMs, static_cast<int>(std::ceil(paintMs / kFlatOutPaintShare)));
}

PassesNear FindPassesNear(const std::string& archiveUrl, double lat, double lon) {
  PassesNear near;
  try {
    near.passes = archive::OpenArchive(archiveUrl, archive::Access::ReadOnly)->Passes({lat, lon, kPassRadiusM, {}, {}});
  } catch (const archive::NoArchive&) {
    near.problem = QStringLiteral("Brak archiwum (rovena-cli index)");
  } catch (const archive::ArchiveError& error) {
    near.problem = PathFromBytes(error.what());
  }
  if (near.passes.empty() && near.problem.isEmpty())
    near.problem = QStringLiteral("Brak przejazdów w promieniu %1 m").arg(kPassRadiusM);
  return near;
}

void CompanionWindows::AddPassesNear(double lat, double lon, QMenu& menu) {
  QMenu* passes = menu.addMenu(QStringLiteral("Przejazdy w tym miejscu"));
  const PassesNear near = FindPassesNear(sources_.archive ? sources_.archive() : std::string(), lat, lon);
  if (!near.problem.isEmpty()) passes->addAction(near.problem)->setEnabled(false);
  // Enough of each path to tell recordings of the same name in different folders apart.
  std::vector<std::string> paths;
  for (const archive::Pass& pass : near.passes) paths.push_back(pass.closest.recording);
  const std::vector<std::string> names = DistinctTails(paths);
  for (std::size_t i = 0; i < near.passes.size(); ++i) {
    const archive::FoundFix& fix = near.passes[i].closest;
    const QString when = fix.time ? LocalTimeText(*fix.time) : QStringLiteral("--");
    passes->addAction(QStringLiteral("%1   %2 : %3   (%4 m)")
                          .arg(when, PathFromBytes(names[i]))
                          .arg(fix.picture)
                          .arg(std::lround(fix.distanceM)),
                      [this, fix] { sources_.openAt(fix.recording, fix.picture); });
  }
}

// One recording at a time, each handed to the window as soon as it is read, so a long trip
// shows its beginning at once.
void CompanionWindows::StartGathering() {
  routeGathered_ = true;
  cancel_ = false;
  route_->SetRoute({});
  gatherer_ = std::thread([this, recordings = recordings_, followsOn = followsOn_] {
    rovena::Route gathered;
    gathered.followsOn = followsOn;
    for (std::size_t i = 0; i < recordings.size() && !cancel_; ++i) {
      std::vector<std::string> only(recordings.size());
      only[i] = recordings[i];  // keeps the trip's numbering of recordings
      rovena::Route part = GatherRoute(only, [this] { return cancel_.load(); });
      gathered.recordings = recordings;
      gathered.points.insert(gathered.points.end(), part.points.begin(), part.points.end());
      QMetaObject::invokeMethod(this, [this, snapshot = gathered] {
        if (!route_) return;
        route_->SetRoute(snapshot);
        route_->SetCurrent(currentRecording_, currentPosition_);
      }, Qt::QueuedConnection);
    }
  });
}

void CompanionWindows::StopGathering() {
  cancel_ = true;
  if (gatherer_.joinable()) gatherer_.join();
}

}  // namespace rovena
