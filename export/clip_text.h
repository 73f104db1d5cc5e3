// What a clip shows besides the pictures, decided from the pictures' $GPRMC sentences alone:
// the overlay text of each picture, the time each picture starts, the subtitle cues and the
// SRT file. Pure functions; the encoder only draws and muxes what they return.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// The text of each picture: date and time and the speed as the window's labels show them
// (a sentence missing a field keeps the previous value, as the labels do) on one line, the
// coordinates of a valid fix on a second line. Lines are separated by '\n'.
std::vector<std::string> OverlayTexts(const std::vector<std::string>& sentences, const OverlayFields& fields);

// Milliseconds from the first picture's start to each picture's start, plus one more entry:
// the end of the last picture. With `pace` every picture lasts that long. Otherwise a picture
// starts at its sentence's UTC time; a picture without a usable time, or with one not after
// the previous picture's, starts `playInterval` after the previous one. The last picture
// lasts as long as the one before it (`playInterval` when it is alone).
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

// The band at the bottom of the (scaled) picture that holds the overlay, and its type size.
struct OverlayStyle {
  int fontSize = 0;
  int bandHeight = 0;  // 0: no band
  int textTop = 0;     // from the band's top edge
  int lineSpacing = 0;
};
OverlayStyle StyleFor(int pictureHeight, const OverlayFields& fields);

// The family the overlay is drawn in (found through fontconfig; fonts-dejavu-core).
inline constexpr const char* kOverlayFont = "DejaVu Sans Mono";

}  // namespace rovena::exporting
