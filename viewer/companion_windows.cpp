#include "companion_windows.h"

#include <QMetaObject>
#include <QPointer>

#include "picture_window.h"
#include "route_window.h"

namespace rovena {

CompanionWindows::CompanionWindows(CompanionSources sources) : sources_(std::move(sources)) {}

CompanionWindows::~CompanionWindows() { StopGathering(); }

void CompanionWindows::ToggleRoute() {
  if (!route_) {
    route_ = std::make_unique<RouteWindow>(sources_.map, sources_.calibration(), [this](const RoutePoint& point) {
      sources_.jump(point.recording, point.position);
    });
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

void CompanionWindows::TogglePicture() {
  if (!picture_) picture_ = std::make_unique<PictureWindow>(sources_.picture);
  picture_->setVisible(!picture_->isVisible());
  if (picture_->isVisible()) picture_->raise();
}

void CompanionWindows::SetTrip(std::vector<std::string> recordings, std::vector<bool> followsOn) {
  if (recordings == recordings_) return;
  StopGathering();
  recordings_ = std::move(recordings);
  followsOn_ = std::move(followsOn);
  routeGathered_ = false;
  if (route_ && route_->isVisible()) StartGathering();
}

void CompanionWindows::PictureShown(int recording, std::int64_t position) {
  currentRecording_ = recording;
  currentPosition_ = position;
  if (route_ && route_->isVisible()) route_->SetCurrent(recording, position);
  if (picture_ && picture_->isVisible()) picture_->PictureChanged();
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
