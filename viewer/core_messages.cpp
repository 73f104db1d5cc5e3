#include "viewer/core_messages.h"

#include <algorithm>

#include "core/trip_labels.h"
#include "viewer/local_path.h"

namespace rovena {

QString FragmentMessage(const FragmentResult& result, const std::string& outputPath, const std::string& recordingPath) {
  using Status = FragmentResult::Status;
  switch (result.status) {
    case Status::Saved: return {};
    case Status::OutputIsRecording:
      return QStringLiteral("Nie można zapisać fragmentu do oglądanego pliku: %1 (%2)")
          .arg(PathFromBytes(outputPath), PathFromBytes(result.detail));
    case Status::EndNotAfterStart: return QStringLiteral("Koniec fragmentu musi leżeć za jego początkiem !");
    case Status::StartTooEarly: return QStringLiteral("Początek fragmentu leży zbyt blisko początku pliku - brak nagłówka !");
    case Status::EndPastFile: return QStringLiteral("Koniec fragmentu leży za końcem pliku !");
    case Status::ReadFailed:
    case Status::RecordingShrank: return QStringLiteral("Błąd odczytu pliku ") + PathFromBytes(recordingPath);
    case Status::WriteFailed: return QStringLiteral("Błąd zapisu pliku ") + PathFromBytes(result.detail);
  }
  return {};
}

QString IniMessageText(const IniMessage& message) {
  using Kind = IniMessage::Kind;
  switch (message.kind) {
    case Kind::NotAnAssignment: return QStringLiteral("Błąd w pliku *.ini !");
    case Kind::UnknownKey:
      return QStringLiteral("Nieznany parametr w pliku *.ini : '%1'").arg(QString::fromStdString(message.key));
    case Kind::MissingValues: return QStringLiteral("Brak wszytkich wartości w pliku *.ini !");
    case Kind::EqualLatitudes:
      return QStringLiteral("MAPLAT1 i MAPLAT2 w pliku *.ini mają tę samą wartość: nie można wyznaczyć skali mapy !");
    case Kind::EqualLongitudes:
      return QStringLiteral("MAPLON1 i MAPLON2 w pliku *.ini mają tę samą wartość: nie można wyznaczyć skali mapy !");
  }
  return {};
}

QString JoinMessage(const Trip& trip, std::size_t index) {
  if (const TripGap* gap = trip.GapAfter(index))
    return QStringLiteral("przerwa ") + QString::fromStdString(DurationText(gap->seconds));
  if (const TripOverlap* overlap = trip.OverlapAfter(index))
    return QStringLiteral("nakładanie ") + QString::fromStdString(DurationText(std::max(0.0, overlap->seconds)));
  return {};
}

}  // namespace rovena
