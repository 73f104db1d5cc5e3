#include "export/integrity_record.h"

#include "core/text_encoding.h"
#include "digest/sha256.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>

#include <nlohmann/json.hpp>

namespace rovena::exporting {
namespace {

using Json = nlohmann::ordered_json;

// A record names files that must be found again, and their names need not be UTF-8: every
// name and argument goes in as NameText and comes back through NameFromText.
Json FileJson(const RecordedFile& file) {
  return {{"path", NameText(file.path)}, {"size", file.size}, {"sha256", file.sha256}};
}

std::filesystem::path Resolved(const std::string& jsonPath, const std::string& recordedName) {
  const std::filesystem::path named(NameFromText(recordedName));
  return named.is_absolute() ? named : std::filesystem::path(jsonPath).parent_path() / named;
}

FileCheck Check(const std::string& role, const std::filesystem::path& path, const Json& entry) {
  FileCheck check{role, path.string()};
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  const std::optional<std::string> sha = error ? std::nullopt : Sha256OfFile(path.string());
  if (!sha)
    check.outcome = FileCheck::Outcome::Missing;
  else if (*sha == entry.at("sha256").get<std::string>() && static_cast<std::int64_t>(size) == entry.at("size").get<std::int64_t>())
    check.outcome = FileCheck::Outcome::Match;
  else
    check.outcome = FileCheck::Outcome::Mismatch;
  return check;
}

// A record names a few files; these bound what a hostile one can make the reader do.
constexpr std::size_t kMostRecordBytes = 16 << 20;
constexpr int kDeepestNesting = 16;

// Up to one byte more than kMostRecordBytes of the file, so that a larger one shows.
bool ReadBounded(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  char buffer[1 << 16];
  while (in && text.size() <= kMostRecordBytes) {
    in.read(buffer, sizeof buffer);
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
  }
  return in.eof() || text.size() > kMostRecordBytes;
}

// Whether arrays and objects nest deeper than `limit` anywhere outside strings; checked before
// parsing, so that no depth of input can exhaust the stack.
bool NestsDeeperThan(std::string_view text, int limit) {
  int depth = 0;
  bool inString = false, escaped = false;
  for (const char c : text) {
    if (inString) {
      if (c == '"' && !escaped) inString = false;
      escaped = !escaped && c == '\\';
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

// What a whole record of the set beside `jsonPath` names, "" when it does: its clip (the
// record's name with the clip's own extension) and the sidecars its kind writes.
std::string MissingOutput(const std::string& jsonPath, const Json& record) {
  const std::string stem = std::filesystem::path(jsonPath).stem().string();
  const std::string kind = record.at("kind").get<std::string>();
  if (kind != "export" && kind != "cut") return "a record of an unknown kind '" + NameText(kind) + "'";
  std::vector<std::string> wanted = {stem + ".gpx"};
  if (kind == "export") wanted.push_back(stem + ".srt");
  bool clip = false;
  for (const Json& output : record.at("outputs")) {
    const std::filesystem::path path(NameFromText(output.at("path").get<std::string>()));
    clip = clip || (path.stem() == stem && !IsSidecarName(path.string()));
    std::erase(wanted, path.string());
  }
  if (!clip) return "no entry for its clip (" + NameText(stem) + " with the clip's extension)";
  if (!wanted.empty()) return "no entry for " + NameText(wanted.front());
  return {};
}

Json RedactionJson(const RedactionRecord& redaction) {
  Json detectors = Json::array();
  for (const DetectorUse& detector : redaction.detectors)
    detectors.push_back({{"name", detector.name}, {"parameters", detector.parameters}});
  Json reviewed = Json::array();
  for (const auto& [recording, picture] : redaction.reviewed)
    reviewed.push_back({{"recording", recording}, {"picture", picture}});
  Json covered = Json::array();
  for (const CoveredBox& box : redaction.covered)
    covered.push_back({{"recording", box.recording}, {"picture", box.picture}, {"x", box.x}, {"y", box.y},
                       {"w", box.w}, {"h", box.h}, {"kind", box.kind}, {"origin", box.origin},
                       {"confirmed", box.confirmed}});
  const bool everyPicture = redaction.pictures > 0 && static_cast<std::int64_t>(redaction.reviewed.size()) == redaction.pictures;
  Json json = {{"covering", redaction.covering},
               {"boxes_file", redaction.boxesFile ? FileJson(*redaction.boxesFile) : Json()},
               {"detectors", detectors},
               {"reviewed_by_a_person", everyPicture},
               {"pictures", redaction.pictures},
               {"reviewed_pictures", reviewed},
               {"covered_boxes", covered}};
  if (!redaction.boxesFile)
    json["note"] = "boxes found by detection during the export and covered without a person's review";
  return json;
}

// The boxes file a record names, where it was, or else beside the record: whoever received the
// clip with its boxes file keeps them together.
std::optional<FileCheck> CheckBoxesFile(const std::string& jsonPath, const Json& record) {
  if (!record.contains("redaction") || !record.at("redaction").at("boxes_file").is_object()) return std::nullopt;
  const Json& entry = record.at("redaction").at("boxes_file");
  const std::filesystem::path named = Resolved(jsonPath, entry.at("path").get<std::string>());
  const std::filesystem::path beside = std::filesystem::path(jsonPath).parent_path() / named.filename();
  std::error_code error;
  const bool there = std::filesystem::exists(named, error);
  return Check("boxes", there || !std::filesystem::exists(beside, error) ? named : beside, entry);
}

}  // namespace

bool IsSidecarName(const std::string& path) {
  const std::string extension = std::filesystem::path(path).extension().string();
  return extension == ".srt" || extension == ".gpx" || extension == ".json";
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string RecordJson(const IntegrityRecord& record) {
  Json options = Json::object();
  for (const auto& [name, value] : record.options) options[name] = NameText(value);
  Json damaged = Json::array();
  for (const DamagedPicture& picture : record.damaged)
    damaged.push_back({{"recording", NameText(picture.recording)}, {"picture", picture.number}, {"position", picture.position}});
  Json sources = Json::array();
  for (const RecordedFile& file : record.sources) sources.push_back(FileJson(file));
  Json stretch = Json::array();
  for (const StretchPart& part : record.stretch)
    stretch.push_back({{"source", part.source},
                       {"first_picture", part.firstPicture}, {"last_picture", part.lastPicture},
                       {"first_position", part.firstPosition}, {"last_position", part.lastPosition}});
  Json outputs = Json::array();
  for (const RecordedFile& file : record.outputs) outputs.push_back(FileJson(file));
  Json arguments = Json::array();
  for (const std::string& argument : record.arguments) arguments.push_back(NameText(argument));
  Json json = {
      {"kind", record.kind},
      {"program", {{"name", record.program}, {"version", ROVENA_VERSION}}},
      {"started_utc", record.startedUtc},
      {"finished_utc", record.finishedUtc},
      {"arguments", arguments},
      {"options", options},
      {"sources", sources},
      {"stretch", stretch},
      {"damaged_pictures", damaged},
      {"outputs", outputs},
  };
  if (record.redaction) json["redaction"] = RedactionJson(*record.redaction);
  return json.dump(2) + "\n";
}

std::string VerifyRecord(const std::string& jsonPath, std::vector<FileCheck>& checks, bool outputsOnly) {
  checks.clear();
  const std::string shown = NameText(jsonPath);
  std::string text;
  if (!ReadBounded(jsonPath, text)) return shown + ": cannot be read";
  if (text.size() > kMostRecordBytes) return shown + ": too large for an integrity record";
  if (NestsDeeperThan(text, kDeepestNesting)) return shown + ": not an integrity record (nested too deep)";
  try {
    const Json record = Json::parse(text);
    if (record.at("sources").empty()) return shown + ": not a whole integrity record: no entry for a source";
    if (const std::string missing = MissingOutput(jsonPath, record); !missing.empty())
      return shown + ": not a whole integrity record: " + missing;
    std::vector<FileCheck> found;
    for (const Json& source : record.at("sources"))
      if (!outputsOnly) found.push_back(Check("source", Resolved(jsonPath, source.at("path").get<std::string>()), source));
    for (const Json& output : record.at("outputs"))
      found.push_back(Check("output", Resolved(jsonPath, output.at("path").get<std::string>()), output));
    if (const std::optional<FileCheck> boxes = CheckBoxesFile(jsonPath, record); boxes && !outputsOnly)
      found.push_back(*boxes);
    checks = std::move(found);
    return {};
  } catch (const Json::exception& e) {
    return shown + ": not an integrity record (" + e.what() + ")";
  }
}

}  // namespace rovena::exporting
