#pragma once
// The button pictures, drawn in code. imglPic holds every playback key in its available
// form, its "U" (unavailable) form and, for the six play buttons, its "A" (running) form;
// imglFlag holds the three cut-state pictures; the four tool buttons get pictures of their
// own.

#include <QMap>
#include <QPixmap>
#include <QString>

namespace rovena {

// Pictures addressed by a text key, like the window's image lists.
class ImageList {
 public:
  void Add(const QString& key, const QPixmap& picture) { pictures_.insert(key, picture); }
  bool Contains(const QString& key) const { return pictures_.contains(key); }
  QPixmap Picture(const QString& key) const { return pictures_.value(key); }
  QStringList Keys() const { return pictures_.keys(); }

 private:
  QMap<QString, QPixmap> pictures_;
};

// Every key of the playback buttons: "Up", "UpU", "UpFA", ... "Stop", "StopU".
ImageList MakePlaybackPictures();
// Keys "1" (nothing marked), "2" (first picture marked), "3" (both ends marked).
ImageList MakeCutFlagPictures();
// Keys "File", "SaveCut", "Bmp".
ImageList MakeToolPictures();

}  // namespace rovena
