// The GPS track of a recording for export: every $GPRMC sentence parsed in full (unlike the
// window's labels, the hemisphere letters count), and writers for CSV and GPX 1.0 (the
// version that has a track point's speed and course; 1.1 moved them out to extensions).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/picture_walker.h"

namespace rovena {

struct GpsFix {
  std::int64_t picture = 0;   // 1-based number of the picture in the recording
  std::int64_t position = 0;  // PicPos of the picture: last byte of its start code
  char status = 0;            // 'A' valid fix, 'V' (or anything else) not
  // UTC time as ISO 8601 ("2006-03-30T22:34:16.000Z") and as seconds since 1970; empty and 0
  // when the sentence has no usable time and date.
  std::string utc;
  double utcSeconds = 0;
  std::optional<double> latitude;   // signed decimal degrees, south negative
  std::optional<double> longitude;  // west negative
  std::optional<double> speedKmh;
  std::optional<double> course;     // degrees true
  bool valid() const { return status == 'A'; }
};

// The sphere PostGIS measures geography on without the spheroid: the WGS 84 mean radius
// (2a + b) / 3. Every distance Rovena measures uses it, so the archive's two back ends, the
// trip and the driving events agree to the millimetre.
constexpr double kEarthRadiusM = 6371008.7714150598;

// Great-circle distance in metres between two places (signed degrees) on that sphere.
double DistanceMetres(double lat1, double lon1, double lat2, double lon2);

// Parses a $GPRMC sentence field by field. Nothing when the text is not a $GPRMC sentence or
// its checksum ("*hh" at the end, when present) does not match. Fields that are empty or out
// of range are left unset.
std::optional<GpsFix> ParseGprmc(std::string_view sentence);

struct TrackWalk {
  std::vector<GpsFix> fixes;   // one per picture with a $GPRMC sentence, in file order
  std::int64_t pictures = 0;   // pictures walked
  WalkOutcome outcome;
};

// Walks the whole recording from its start (see PictureWalker) and collects the fixes. The
// coded picture data is passed over, never copied, so this costs one scan over the bytes.
TrackWalk CollectTrack(Recording& recording);

// CSV with a header row: picture,position,time_utc,latitude,longitude,speed_kmh,course,status.
// Missing values are empty fields.
std::string TrackCsv(const std::vector<GpsFix>& fixes);

// Whether a fix becomes a point of a GPX track: a valid fix with a place and a time.
bool IsTrackPoint(const GpsFix& fix);

// GPX 1.0: one track with one segment of the valid fixes that have a position and a time,
// sorted by time (file order among equal times), each with its speed and course when known. `name` becomes the track's name.
std::string TrackGpx(const std::vector<GpsFix>& fixes, std::string_view name);

// One recording's share of a track that runs through several recordings.
struct TrackPart {
  std::string recording;          // its file name
  std::span<const GpsFix> fixes;  // in file order
  bool newSegment = false;        // a break in driving lies before it: the GPX starts a new segment
};

// CSV as above with the recording's name as the first column.
std::string TrackCsv(const std::vector<TrackPart>& parts);
// GPX 1.0 as above: one track, a new segment wherever a part asks for one; within a segment the valid
// fixes with a position and a time, sorted by time. Segments without any such fix are left
// out, but the track always has one.
std::string TrackGpx(const std::vector<TrackPart>& parts, std::string_view name);

}  // namespace rovena
