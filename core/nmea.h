// What the GPS labels show for one captured user-data text, as a pure function.
//
// The recorder stores a $GPRMC sentence with each picture. The time is read from fixed
// character positions, everything after the status letter field by field between commas;
// parsing stops quietly at the first missing comma, so a short sentence updates only the
// labels it reaches.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rovena {

// A field left as std::nullopt keeps its previous value on the screen.
struct NmeaDisplay {
  bool isGprmc = false;                 // the text starts with "$GPRMC": the GPS controls show
  std::optional<std::string> timeText;  // lblTime caption, e.g. "30.03.2006  22:34:16"
  std::optional<std::string> speedText; // lblSpeed caption, e.g. "23 km/h"
  std::optional<std::string> latText;   // latitude field as written, ddmm.mmmm
  std::optional<std::string> lonText;   // longitude field as written, dddmm.mmmm
  bool gpsValid = false;                // status letter "A"
};

NmeaDisplay ParseNmea(std::string_view nmeaLine);

// The number at the start of `text` with "." as decimal point in every locale (leading blanks,
// a sign, digits, a fraction and an exponent are accepted); 0 when there is no number.
double LeadingNumber(std::string_view text);

}  // namespace rovena
