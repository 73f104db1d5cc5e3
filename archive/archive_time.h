// Times as the archive's commands read and write them: ISO 8601 in UTC.
#pragma once

#include <optional>
#include <string>

namespace rovena::archive {

// "2006-03-30T22:34:16Z", with ".123" when the time has a fraction of a second.
std::string IsoTime(double secondsSince1970);
// Accepts YYYY-MM-DD, YYYY-MM-DDTHH:MM[:SS[.fff]] with an optional Z (a space may stand for
// the T), at most 40 characters. Nothing for anything else or an impossible date.
std::optional<double> ParseIsoTime(const std::string& text);

}  // namespace rovena::archive
