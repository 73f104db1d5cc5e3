// The configuration file Rovena.ini beside the program: the play interval and the map
// calibration, plus the rule for the program's command-line text. Pure text in, values and
// the problems found out; the window words them, shows them and decides what to do next.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/map_position.h"

namespace rovena {

// A problem found in the file, for the window to tell the user.
struct IniMessage {
  enum class Kind { NotAnAssignment, UnknownKey, MissingValues, EqualLatitudes, EqualLongitudes };
  enum class Icon { Information, Critical };  // Critical ones stop start-up
  Kind kind = Kind::NotAnAssignment;
  Icon icon = Icon::Information;
  std::string key;  // UnknownKey: the key as written
};

// The map's calibration and the play interval, as single-precision floats, as the window keeps
// them. All 0 until set.
struct IniSettings : MapCalibration {
  float PlayInterval = 0;
};

struct IniLoadResult {
  IniSettings settings;
  // In the order they arise; each waits for the user's OK before the next.
  std::vector<IniMessage> messages;
  // False when start-up must stop after the messages: a key is missing or reads as 0, or a
  // calibration pair is equal (the scales are then left 0 instead of dividing by zero).
  bool complete = false;
};

// The settings used when there is no configuration file (fixed scales, not computed).
IniSettings DefaultIniSettings();

// Splits the file's content into items: separated by commas and line ends (LF, CR LF or CR),
// blanks and tabs before an item skipped, an item in double quotes taken without them and
// allowed to hold commas (text after its closing quote up to the separator is dropped).
// Empty items are kept as empty strings; the caller ignores them.
std::vector<std::string> SplitIniItems(std::string_view content);

// Applies one item KEY=value to `settings`. The key is everything before the first '=' (not
// trimmed, compared case-insensitively), the value is read by the locale-independent
// leading-number parse. Returns the message to show, if any: an item without '=' or an
// unknown key. An empty item does nothing.
std::optional<IniMessage> GetIniParam(std::string_view param, IniSettings& settings);

// Reads a whole configuration file: every item through GetIniParam, then the completeness
// check and, when complete, the scales (computed in double, stored as float).
IniLoadResult LoadIniText(std::string_view content);

// The command-line rule: one leading double quote is removed, then one trailing double quote.
// Nothing else is parsed; the rest, blanks included, is one file name.
std::string StripCommandLineQuotes(std::string_view text);

}  // namespace rovena
