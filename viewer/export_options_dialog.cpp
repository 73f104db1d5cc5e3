#include "viewer/export_options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QSpinBox>

#include "viewer/platform.h"

namespace rovena {
namespace {

// The settings store's keys.
const QString kOverlayKey = QStringLiteral("ExportOverlay");
const QString kBandKey = QStringLiteral("ExportBand");
const QString kScaleKey = QStringLiteral("ExportScale");
const QString kCrfKey = QStringLiteral("ExportCrf");
const QString kZoneKey = QStringLiteral("ExportTimeZone");

QCheckBox* FieldBox(const char* text, bool checked) {
  auto* box = new QCheckBox(QString::fromUtf8(text));
  box->setChecked(checked);
  return box;
}

// The zone named by the settings or the dialog: the machine's own when it names that one.
std::optional<TimeZone> ZoneNamed(const QString& name) {
  const TimeZone local = TimeZone::Local();
  if (name.toStdString() == local.Name()) return local;
  std::string error;
  return TimeZone::Named(name.toStdString(), error);
}

}  // namespace

ExportOptionsDialog::ExportOptionsDialog(QWidget* parent, Platform& platform) : QDialog(parent), platform_(platform) {
  setWindowTitle(QString::fromUtf8(kExportOptionsTitle));
  const QString savedOverlay = platform_.ReadSetting(kOverlayKey);
  const exporting::OverlayFields overlay =
      exporting::ParseOverlayList(savedOverlay.toStdString()).value_or(exporting::OverlayFields{});
  time_ = FieldBox("czas", overlay.time);
  speed_ = FieldBox("prędkość", overlay.speed);
  position_ = FieldBox("położenie", overlay.position);
  auto* fields = new QHBoxLayout;
  for (QCheckBox* box : {time_, speed_, position_}) fields->addWidget(box);

  band_ = new QComboBox;
  band_->addItem(QStringLiteral("pod obrazem"), QString::fromLatin1(BandPlaceText(exporting::BandPlace::kBelow)));
  band_->addItem(QStringLiteral("na obrazie, u dołu"), QString::fromLatin1(BandPlaceText(exporting::BandPlace::kOver)));
  band_->setCurrentIndex(std::max(0, band_->findData(platform_.ReadSetting(kBandKey))));
  scale_ = new QComboBox;
  scale_->addItem(QStringLiteral("1 ×"), 1);
  scale_->addItem(QStringLiteral("2 ×"), 2);
  scale_->setCurrentIndex(std::max(0, scale_->findData(platform_.ReadSetting(kScaleKey).toInt())));
  quality_ = new QSpinBox;
  quality_->setRange(0, 51);
  bool savedCrf = false;
  const int crf = platform_.ReadSetting(kCrfKey).toInt(&savedCrf);
  quality_->setValue(savedCrf ? crf : 18);
  zone_ = new QComboBox;
  zone_->setEditable(true);
  for (const std::string& name : ZoneNames()) zone_->addItem(QString::fromStdString(name));
  const QString savedZone = platform_.ReadSetting(kZoneKey);
  zone_->setCurrentText(savedZone.isEmpty() ? QString::fromStdString(TimeZone::Local().Name()) : savedZone);

  time_->setObjectName(QStringLiteral("overlayTime"));
  speed_->setObjectName(QStringLiteral("overlaySpeed"));
  position_->setObjectName(QStringLiteral("overlayPosition"));
  band_->setObjectName(QStringLiteral("band"));
  scale_->setObjectName(QStringLiteral("scale"));
  quality_->setObjectName(QStringLiteral("quality"));
  zone_->setObjectName(QStringLiteral("timeZone"));

  auto* buttons = new QDialogButtonBox;
  buttons->addButton(QStringLiteral("Eksportuj"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStringLiteral("Anuluj"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &ExportOptionsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ExportOptionsDialog::reject);
  auto* form = new QFormLayout(this);
  form->addRow(QStringLiteral("Na pasku:"), fields);
  form->addRow(QStringLiteral("Pasek:"), band_);
  form->addRow(QStringLiteral("Powiększenie:"), scale_);
  form->addRow(QStringLiteral("Jakość (CRF, mniej to lepiej):"), quality_);
  form->addRow(QStringLiteral("Strefa czasowa:"), zone_);
  form->addRow(buttons);
  // Wide enough for the whole title in the window's title bar.
  setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) + 160);
}

void ExportOptionsDialog::accept() {
  chosenZone_ = ZoneNamed(zone_->currentText());
  if (!chosenZone_) {
    platform_.ShowMessage(QStringLiteral("Nieznana strefa czasowa: %1").arg(zone_->currentText()), MessageIcon::Exclamation);
    return;
  }
  Remember();
  QDialog::accept();
}

void ExportOptionsDialog::Remember() const {
  const exporting::OverlayFields overlay{time_->isChecked(), speed_->isChecked(), position_->isChecked()};
  platform_.WriteSetting(kOverlayKey, QString::fromStdString(exporting::OverlayListText(overlay)));
  platform_.WriteSetting(kBandKey, band_->currentData().toString());
  platform_.WriteSetting(kScaleKey, scale_->currentData().toString());
  platform_.WriteSetting(kCrfKey, QString::number(quality_->value()));
  platform_.WriteSetting(kZoneKey, zone_->currentText());
}

void ExportOptionsDialog::Apply(exporting::ExportRequest& request) const {
  request.overlay = {time_->isChecked(), speed_->isChecked(), position_->isChecked()};
  request.band = exporting::ParseBandPlace(band_->currentData().toString().toStdString()).value_or(request.band);
  request.scale = scale_->currentData().toInt();
  request.crf = quality_->value();
  if (chosenZone_) request.zone = *chosenZone_;
}

}  // namespace rovena
