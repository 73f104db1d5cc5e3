// The main window's companions: the route window (M) and the picture window (Z). They follow
// every picture the main window shows, through PictureShown, which only records the place;
// the windows catch up at most once per screen refresh (less often while a play runs flat
// out), so fast play hardly waits for them. The route of the trip is gathered on a worker
// thread when the route window first needs it, and shown recording by recording as it comes
// in.
#pragma once

#include <QMenu>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive.h"
#include "core/route.h"

namespace rovena {

class PictureWindow;
class RouteWindow;

struct CompanionSources {
  const QImage* map = nullptr;  // the main window's map (null image when there is none)
  std::function<MapCalibration()> calibration;  // read when the route window opens
  std::function<const QImage&()> picture;  // what the picture area shows
  // Shows picture `position` of trip recording `recording` in the main window.
  std::function<void(int recording, std::int64_t position)> jump;
  // Opens `path` and shows its picture number `picture`: a pass chosen from the archive.
  std::function<void(const std::string& path, std::int64_t picture)> openAt;
  // The archive to look in, as rovena-cli's --db names it ("" for the default one).
  std::function<std::string()> archive;
  // Called once for each window when it is made: the main window shares its keys with it.
  std::function<void(QWidget* window)> equip;
};

// The archive's passes within kPassRadiusM of a place, or why there are none to offer.
struct PassesNear {
  std::vector<archive::Pass> passes;
  QString problem;
};
PassesNear FindPassesNear(const std::string& archiveUrl, double lat, double lon);

class CompanionWindows : public QObject {
 public:
  explicit CompanionWindows(CompanionSources sources);
  ~CompanionWindows() override;

  void ToggleRoute();
  void TogglePicture();
  // Shows the picture window full screen, or back as a window.
  void TogglePictureFullScreen();
  RouteWindow* Route() const { return route_.get(); }
  PictureWindow* Picture() const { return picture_.get(); }

  // The recordings of the trip now open (one path when the recording has no trip), and
  // followsOn[i] when recording i continues i - 1 without a gap.
  void SetTrip(std::vector<std::string> recordings, std::vector<bool> followsOn);
  // `flatOut`: shown by a play that runs as fast as pictures decode; `fixInvalid`: its GPS
  // sentence says the fix is not valid.
  void PictureShown(int recording, std::int64_t position, bool flatOut = false, bool fixInvalid = false);

 private:
  // The archive's passes near a place, as a submenu of `menu`; the chosen one opens.
  void AddPassesNear(double lat, double lon, QMenu& menu);
  void MakePictureWindow();
  int FlatOutRefreshMs() const;
  void StartGathering();
  void StopGathering();

  CompanionSources sources_;
  std::unique_ptr<RouteWindow> route_;
  std::unique_ptr<PictureWindow> picture_;
  std::vector<std::string> recordings_;
  std::vector<bool> followsOn_;
  bool routeGathered_ = false;
  std::atomic<bool> cancel_{false};
  std::thread gatherer_;
  int currentRecording_ = -1;
  std::int64_t currentPosition_ = 0;
  bool currentFixInvalid_ = false;
  QTimer refresh_;  // one repaint per screen refresh, however fast the pictures come
};

}  // namespace rovena
