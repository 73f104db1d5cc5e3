#pragma once
// The window's export options (Ctrl+E): what the band shows and where it goes, the size, the
// quality and the time zone of the band's and the subtitles' times. The choices are kept in
// the settings store for the next export.

#include <QDialog>

#include "export/clip_export.h"

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace rovena {

class Platform;

inline const char* const kExportOptionsTitle = "Eksport zaznaczonego fragmentu do MP4";

class ExportOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  ExportOptionsDialog(QWidget* parent, Platform& platform);
  // The choices made, into the request's overlay, band, scale, crf and zone.
  void Apply(exporting::ExportRequest& request) const;

 public slots:
  void accept() override;  // an unknown time zone is named and the dialog stays open

 private:
  void Remember() const;

  Platform& platform_;
  QCheckBox* time_;
  QCheckBox* speed_;
  QCheckBox* position_;
  QComboBox* band_;
  QComboBox* scale_;
  QSpinBox* quality_;
  QComboBox* zone_;
  std::optional<TimeZone> chosenZone_;
};

}  // namespace rovena
