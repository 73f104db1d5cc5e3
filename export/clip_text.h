// What a clip shows besides the pictures, decided from the pictures' $GPRMC sentences alone:
// the overlay text of each picture, the time each picture starts, the subtitle cues and the
// SRT file. Pure functions; the encoder only draws and muxes what they return.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/time_zone.h"

namespace rovena::exporting {

struct OverlayFields {
  bool time = true;
  bool speed = true;
  bool position = false;
  bool any() const { return time || speed || position; }
};

// "time,speed,position" in any subset and order; "none" for no overlay. Nothing when a name
// is unknown or repeated.
std::optional<OverlayFields> ParseOverlayList(std::string_view list);
std::string OverlayListText(const OverlayFields& fields);

// When each picture was taken: its sentence's UTC time when it has one later than the
// pictures' before it, otherwise a time placed between its neighbours' in proportion to
// the pictures between them (before the first time and after the last: the recording's usual
// interval, or `playInterval` when there is none to go by).
struct PictureClock {
  std::vector<double> utcSeconds;
  std::vector<bool> fromGps;  // false: the time is placed, not read
  double usualInterval = 0;   // seconds between pictures, for the last picture's length
};
PictureClock ReadClock(const std::vector<std::string>& sentences, double playInterval);

// The text of each picture: the local date and time in `zone` with the zone's abbreviation
// and the speed as the window's label shows it (a sentence missing the speed keeps the previous
// one, as the label does) on one line, the coordinates of a valid fix on a second line. A
// picture without a time of its own shows its placed time and kNoGpsMark instead of the
// speed, and one with nothing else to show shows the mark: the band is never empty. Lines are
// separated by '\n'.
std::vector<std::string> OverlayTexts(const std::vector<std::string>& sentences, const PictureClock& clock,
                                      const OverlayFields& fields, const TimeZone& zone);
inline constexpr const char* kNoGpsMark = "brak GPS";

// "30.03.2006  00:34:16 CEST": the window's date and time layout, in `zone`.
std::string LocalTimeText(double utcSeconds, const TimeZone& zone);

// Milliseconds from the first picture's start to each picture's start, plus one more entry:
// the end of the last picture. With `pace` every picture lasts that long; otherwise each is
// shown from its time on the clock until the next one's, and the last for the usual
// interval. Always rising, by a millisecond at least.
std::vector<std::int64_t> ClipTimesMs(const PictureClock& clock, std::optional<double> pace);
// ReadClock and ClipTimesMs in one.
std::vector<std::int64_t> PictureTimesMs(const std::vector<std::string>& sentences, double playInterval,
                                         std::optional<double> pace);

// One subtitle: a run of consecutive pictures with the same text.
struct Cue {
  std::size_t firstPicture = 0;  // index into the stretch
  std::int64_t startMs = 0;
  std::int64_t endMs = 0;
  std::string text;
};
std::vector<Cue> SubtitleCues(const std::vector<std::string>& texts, const std::vector<std::int64_t>& timesMs);
std::string SrtText(const std::vector<Cue>& cues);

// Where the band with the overlay goes: below the picture (which it then never covers) or
// over its bottom rows.
enum class BandPlace { kBelow, kOver };
std::optional<BandPlace> ParseBandPlace(std::string_view text);
const char* BandPlaceText(BandPlace place);

// The band that holds the overlay, as wide as the (scaled) picture, and its type size.
struct OverlayStyle {
  int fontSize = 0;
  int bandHeight = 0;  // 0: no band
  int textTop = 0;     // from the band's top edge
  int lineSpacing = 0;
};
// `noteLines` more lines hold what the band says of the whole clip under the fields.
OverlayStyle StyleFor(int pictureHeight, const OverlayFields& fields, int noteLines = 0);

// The family the overlay is drawn in (found through fontconfig; fonts-dejavu-core).
inline constexpr const char* kOverlayFont = "DejaVu Sans Mono";

}  // namespace rovena::exporting
