#pragma once
// A button that shows a picture and remembers the key it was given, so that what the user
// sees can be read back.

#include <QPixmap>
#include <QPushButton>
#include <QString>

namespace rovena {

class PictureButton : public QPushButton {
 public:
  explicit PictureButton(QWidget* parent) : QPushButton(parent) {}
  void SetPicture(const QString& key, const QPixmap& picture) {
    key_ = key;
    setIcon(QIcon(picture));
    setIconSize(picture.size());
  }
  const QString& PictureKey() const { return key_; }

 private:
  QString key_;
};

}  // namespace rovena
