// What is to be covered in a stretch, as data a person can review and a program can re-read:
// rectangles in picture pixels (top-left corner first) on pictures numbered as `cut` numbers
// them, and the pictures a person has already looked at. One JSON file per stretch:
//   {"boxes": [{"recording": NAME, "picture": N, "x": X, "y": Y, "w": W, "h": H,
//               "kind": "face"|"plate"|"other", "origin": "detected"|"drawn",
//               "confirmed": true|false}],
//    "reviewed": [{"recording": NAME, "picture": N}],
//    "detectors": [{"name": TEXT, "parameters": {NAME: VALUE}}]}
// "detectors", written by `rovena-cli redact`, names what proposed the detected boxes and with
// which settings, for the export's record; a file without it is as good.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/atomic_file.h"

namespace rovena::redact {

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const Rect&) const = default;
};

enum class BoxKind { Face, Plate, Other };
enum class BoxOrigin { Detected, Drawn };

// One picture of a stretch: the recording's file name (no folder) and the picture's number in it.
struct PictureRef {
  std::string recording;
  std::int64_t picture = 0;
  bool operator==(const PictureRef&) const = default;
};

struct Box {
  PictureRef where;
  Rect rect;
  BoxKind kind = BoxKind::Other;
  BoxOrigin origin = BoxOrigin::Detected;
  bool confirmed = false;  // a person has accepted it
  bool operator==(const Box&) const = default;
};

// A detector that proposed boxes, and its settings.
struct DetectorNote {
  std::string name;
  std::map<std::string, std::string> parameters;
  bool operator==(const DetectorNote&) const = default;
};

struct BoxFile {
  std::vector<Box> boxes;
  std::vector<PictureRef> reviewed;
  std::vector<DetectorNote> detectors;
  bool operator==(const BoxFile&) const = default;
};

// A boxes file larger than this is refused unread: a person could not review that many
// boxes anyway (each takes well under 200 bytes), and reading stays bounded.
constexpr std::size_t kMostBoxesFileBytes = 64 << 20;

// The name a recording is known by in a boxes file: its file name, as FILE:N names it, in
// the lossless text form of every name the program writes (core/text_encoding.h).
std::string BoxRecordingName(const std::string& path);

const char* KindName(BoxKind kind);
const char* OriginName(BoxOrigin origin);

std::string BoxesToJson(const BoxFile& file);
// Fills `file` from `text`; returns why it is not a boxes file (naming the first bad entry),
// empty on success.
std::string ParseBoxes(std::string_view text, BoxFile& file);

// Both return an error text, empty on success. Writing goes through the output guard, which
// replaces an existing file only as `ifExists` allows.
std::string ReadBoxesFile(const std::string& path, BoxFile& file);
std::string WriteBoxesFile(const std::string& path, const BoxFile& file, IfExists ifExists);

}  // namespace rovena::redact
