#include "redact/boxes.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <span>

#include <nlohmann/json.hpp>

#include "core/atomic_file.h"
#include "core/text_encoding.h"

namespace rovena::redact {
namespace {

using Json = nlohmann::ordered_json;

// No picture the recorder writes comes near this; larger numbers are typing errors.
constexpr int kMostCoordinate = 1 << 14;
// The document is an object of arrays of flat objects (a detector's parameters one level
// deeper): anything deeper is not a boxes file, and refusing it early keeps a hostile file
// from costing memory.
constexpr int kMostDepth = 4;

const char* const kKindNames[] = {"face", "plate", "other"};
const char* const kOriginNames[] = {"detected", "drawn"};

// A whole number: nlohmann would otherwise turn 1.5 into 1 and wrap numbers beyond int64.
std::int64_t Integer(const Json& entry, const char* name) {
  const Json& value = entry.at(name);
  if (!value.is_number_integer() || (value.is_number_unsigned() && value.get<std::uint64_t>() > INT64_MAX))
    throw std::invalid_argument(std::string("\"") + name + "\" is not a whole number");
  return value.get<std::int64_t>();
}

Json PictureJson(const PictureRef& where) { return {{"recording", where.recording}, {"picture", where.picture}}; }

// Reads "recording" and "picture"; throws with the field's name when either is missing or bad.
PictureRef ReadPicture(const Json& entry) {
  PictureRef where{entry.at("recording").get<std::string>(), Integer(entry, "picture")};
  if (where.recording.empty() || where.recording.find('/') != std::string::npos)
    throw std::invalid_argument("\"recording\" must be a file name");
  if (where.picture < 1) throw std::invalid_argument("\"picture\" counts from 1");
  return where;
}

int ReadCoordinate(const Json& entry, const char* name, int least) {
  const std::int64_t value = Integer(entry, name);
  if (value < least || value > kMostCoordinate)
    throw std::invalid_argument(std::string("\"") + name + "\" out of range");
  return static_cast<int>(value);
}

template <typename Enum, std::size_t N>
Enum ReadName(const Json& entry, const char* field, const char* const (&names)[N]) {
  const std::string value = entry.at(field).get<std::string>();
  for (std::size_t i = 0; i < N; ++i)
    if (value == names[i]) return static_cast<Enum>(i);
  throw std::invalid_argument(std::string("unknown \"") + field + "\" " + value);
}

void RequireOnly(const Json& entry, const std::set<std::string>& keys) {
  if (!entry.is_object()) throw std::invalid_argument("not an object");
  for (const auto& item : entry.items())
    if (!keys.count(item.key())) throw std::invalid_argument("unknown field \"" + item.key() + "\"");
}

Box ReadBox(const Json& entry) {
  RequireOnly(entry, {"recording", "picture", "x", "y", "w", "h", "kind", "origin", "confirmed"});
  Box box;
  box.where = ReadPicture(entry);
  box.rect = {ReadCoordinate(entry, "x", 0), ReadCoordinate(entry, "y", 0), ReadCoordinate(entry, "w", 1),
              ReadCoordinate(entry, "h", 1)};
  box.kind = ReadName<BoxKind>(entry, "kind", kKindNames);
  box.origin = ReadName<BoxOrigin>(entry, "origin", kOriginNames);
  box.confirmed = entry.at("confirmed").get<bool>();
  return box;
}

// Runs `read` on each element of the array `name`, naming the element when it throws.
template <typename Read>
std::string ReadEach(const Json& document, const char* name, Read read) {
  const Json& list = document.at(name);
  if (!list.is_array()) return std::string("\"") + name + "\" is not a list";
  for (std::size_t i = 0; i < list.size(); ++i) {
    try {
      read(list[i]);
    } catch (const std::exception& error) {
      return std::string(name) + "[" + std::to_string(i) + "]: " + error.what();
    }
  }
  return {};
}

}  // namespace

std::string BoxRecordingName(const std::string& path) {
  return NameText(std::filesystem::path(path).filename().string());
}

const char* KindName(BoxKind kind) { return kKindNames[static_cast<int>(kind)]; }
const char* OriginName(BoxOrigin origin) { return kOriginNames[static_cast<int>(origin)]; }

std::string BoxesToJson(const BoxFile& file) {
  Json boxes = Json::array();
  for (const Box& box : file.boxes) {
    Json entry = PictureJson(box.where);
    entry.update({{"x", box.rect.x}, {"y", box.rect.y}, {"w", box.rect.w}, {"h", box.rect.h},
                  {"kind", KindName(box.kind)}, {"origin", OriginName(box.origin)}, {"confirmed", box.confirmed}});
    boxes.push_back(std::move(entry));
  }
  Json reviewed = Json::array();
  for (const PictureRef& where : file.reviewed) reviewed.push_back(PictureJson(where));
  Json document{{"boxes", boxes}, {"reviewed", reviewed}};
  for (const DetectorNote& detector : file.detectors)
    document["detectors"].push_back({{"name", detector.name}, {"parameters", detector.parameters}});
  return document.dump(1) + "\n";
}

std::string ParseBoxes(std::string_view text, BoxFile& file) {
  if (text.size() > kMostBoxesFileBytes) return "larger than a boxes file can be";
  Json document;
  try {
    document = Json::parse(text, [](int depth, Json::parse_event_t, Json&) {
      if (depth > kMostDepth) throw std::invalid_argument("nested deeper than a boxes file");
      return true;
    });
  } catch (const std::exception& error) {
    return std::string("not JSON: ") + error.what();
  }
  if (!document.is_object() || !document.contains("boxes") || !document.contains("reviewed"))
    return "not a boxes file: it needs \"boxes\" and \"reviewed\"";
  BoxFile read;
  std::string error = ReadEach(document, "boxes", [&](const Json& entry) { read.boxes.push_back(ReadBox(entry)); });
  if (error.empty())
    error = ReadEach(document, "reviewed", [&](const Json& entry) {
      RequireOnly(entry, {"recording", "picture"});
      read.reviewed.push_back(ReadPicture(entry));
    });
  if (error.empty() && document.contains("detectors"))
    error = ReadEach(document, "detectors", [&](const Json& entry) {
      RequireOnly(entry, {"name", "parameters"});
      read.detectors.push_back({entry.at("name").get<std::string>(),
                                entry.at("parameters").get<std::map<std::string, std::string>>()});
    });
  if (error.empty()) file = std::move(read);
  return error;
}

std::string ReadBoxesFile(const std::string& path, BoxFile& file) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error) return NameText(path) + ": " + error.message();
  if (size > kMostBoxesFileBytes) return NameText(path) + ": larger than a boxes file can be";
  std::ifstream in(path, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in && !in.eof()) return NameText(path) + ": cannot be read";
  const std::string why = ParseBoxes(text, file);
  return why.empty() ? why : NameText(path) + ": " + why;
}

std::string WriteBoxesFile(const std::string& path, const BoxFile& file, IfExists ifExists) {
  const std::string text = BoxesToJson(file);
  return WriteFileAtomically(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), ifExists);
}

}  // namespace rovena::redact
