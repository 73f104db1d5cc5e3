#include "cli/event_output.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "archive/archive_time.h"
#include "cli/text_fields.h"
#include "core/text_encoding.h"

namespace rovena::cli {
namespace {

using json = nlohmann::ordered_json;

// Values to a tenth, places to a millionth of a degree (about 0.1 m): what the fixes can tell.
constexpr int kValueDecimals = 1, kPlaceDecimals = 6;

std::string Fixed(const std::optional<double>& v, int decimals) {
  if (!v) return "";
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, *v);
  return text;
}

json Rounded(const std::optional<double>& v, int decimals) {
  if (!v) return nullptr;
  const double scale = std::pow(10.0, decimals);
  return std::round(*v * scale) / scale;
}

std::string Time(const DrivingEvent& e) { return e.time ? archive::IsoTime(*e.time) : ""; }
bool HasPlace(const DrivingEvent& e) { return e.latitude && e.longitude; }

std::string Pictures(const EventRow& row) {
  const DrivingEvent& e = row.event;
  const std::string first = NameText(row.recording);
  if (e.recording == e.lastRecording && row.recording == row.lastRecording)
    return first + (e.firstPicture == e.lastPicture ? " picture " + std::to_string(e.firstPicture)
                                                    : " pictures " + std::to_string(e.firstPicture) + "-" +
                                                          std::to_string(e.lastPicture));
  return first + " picture " + std::to_string(e.firstPicture) + " to " + NameText(row.lastRecording) + " picture " +
         std::to_string(e.lastPicture);
}

std::string Text(const std::vector<EventRow>& rows) {
  std::string out;
  for (const EventRow& row : rows) {
    const DrivingEvent& e = row.event;
    out += row.number ? "#" + std::to_string(*row.number) + "  " : "";
    out += std::string(EventKindName(e.kind)) + "  " + (e.time ? Time(e) : "no time") + "  " + Pictures(row);
    out += "  " + (e.value ? Fixed(e.value, kValueDecimals) + " " + std::string(EventUnit(e.kind)) : "length unknown");
    if (HasPlace(e)) out += "  at " + Fixed(e.latitude, kPlaceDecimals) + "," + Fixed(e.longitude, kPlaceDecimals);
    out += "\n  Rovena --at " + ShellWord(row.recording + ":" + std::to_string(e.firstPicture)) + "\n";
  }
  return out;
}

std::string Csv(const std::vector<EventRow>& rows) {
  std::string out = "number,kind,recording,first_picture,last_recording,last_picture,time,latitude,longitude,value,unit\n";
  for (const EventRow& row : rows) {
    const DrivingEvent& e = row.event;
    out += (row.number ? std::to_string(*row.number) : "") + "," + std::string(EventKindName(e.kind)) + "," +
           CsvField(NameText(row.recording)) + "," + std::to_string(e.firstPicture) + "," +
           CsvField(NameText(row.lastRecording)) + "," + std::to_string(e.lastPicture) + "," + Time(e) + "," +
           Fixed(e.latitude, kPlaceDecimals) + "," + Fixed(e.longitude, kPlaceDecimals) + "," +
           Fixed(e.value, kValueDecimals) + "," + std::string(EventUnit(e.kind)) + "\n";
  }
  return out;
}

std::string Json(const std::vector<EventRow>& rows) {
  json all = json::array();
  for (const EventRow& row : rows) {
    const DrivingEvent& e = row.event;
    json item;
    if (row.number) item["number"] = *row.number;
    item["kind"] = EventKindName(e.kind);
    item["recording"] = NameText(row.recording);
    item["first_picture"] = e.firstPicture;
    item["last_recording"] = NameText(row.lastRecording);
    item["last_picture"] = e.lastPicture;
    item["time"] = e.time ? json(Time(e)) : json(nullptr);
    item["position"] = HasPlace(e) ? json{{"lat", Rounded(e.latitude, kPlaceDecimals)},
                                          {"lon", Rounded(e.longitude, kPlaceDecimals)}}
                                   : json(nullptr);
    item["value"] = Rounded(e.value, kValueDecimals);
    item["unit"] = EventUnit(e.kind);
    all.push_back(std::move(item));
  }
  return all.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string FormatEvents(const std::vector<EventRow>& rows, const std::string& format) {
  return format == "json" ? Json(rows) : format == "csv" ? Csv(rows) : Text(rows);
}

}  // namespace rovena::cli
