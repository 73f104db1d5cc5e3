// The archive: every indexed recording with its hash and the GPS fixes of its pictures, kept in
// SQLite (one file, the default) or in PostgreSQL with PostGIS (one server for a fleet).
//
// Both back ends hold the same schema and answer the same questions; the rules that decide an
// answer (the distance, what makes a pass, the closest moment) live here, once, so the two can
// not drift apart. Failures of the database throw ArchiveError with a message for the user.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/driving_events.h"

namespace rovena::archive {

// Raised for any database failure: cannot open, schema too new, connection lost, busy.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// There is no archive where one is looked for (see Access::ReadOnly).
class NoArchive : public ArchiveError {
 public:
  using ArchiveError::ArchiveError;
};

// The version of the schema this program writes; older archives are migrated on open.
constexpr int kSchemaVersion = 3;
// Archives older than this have no events yet: opening them stores those of their fixes.
constexpr int kFirstSchemaWithEvents = 3;

struct StoredFix {
  std::int64_t picture = 0;   // 1-based picture number
  std::int64_t position = 0;  // byte position of the picture's start code (its 00 byte, 1-based)
  std::optional<double> time; // UTC, seconds since 1970
  std::optional<double> latitude, longitude;  // signed degrees, south and west negative
  std::optional<double> speedKmh, course;
  bool valid = false;  // an 'A' fix with a position in range; only these are ever found
};

// What is known of one recording file without its fixes.
struct RecordingInfo {
  std::string path;  // absolute, as indexed
  std::int64_t size = 0;
  std::int64_t mtimeNs = 0;  // modification time, nanoseconds since 1970
  std::string sha256;        // lower-case hex of the whole file
  int format = 0;            // kFormatVga / kFormatCif
  std::int64_t pictures = 0;
  std::optional<double> firstTime, lastTime;  // of the fixes that have a time
  std::string trip;          // the folder the recording lies in
};

struct RecordingEntry {
  RecordingInfo info;
  std::vector<StoredFix> fixes;
};

// One fix found by a search, with the recording it belongs to.
struct FoundFix {
  std::string recording;
  std::int64_t picture = 0;
  std::int64_t position = 0;
  std::optional<double> time;
  std::optional<double> speedKmh;
  double latitude = 0, longitude = 0;
  double distanceM = 0;  // from the point asked about; 0 for a search by time
};

// A run of consecutive pictures of one recording within the radius; `closest` is the picture
// of closest approach.
struct Pass {
  FoundFix closest;
  std::int64_t firstPicture = 0, lastPicture = 0;
};

struct PlaceQuery {
  double latitude = 0, longitude = 0;
  double radiusM = 50;
  std::optional<double> from, to;  // UTC seconds, inclusive
};

// Driving events of one kind across the archive, optionally near a place (then only those
// with a place) and in a time range (then only those with a time).
struct EventQuery {
  EventKind kind = EventKind::kStop;
  std::optional<PlaceQuery> near;  // its from and to are not used
  std::optional<double> from, to;  // UTC seconds of the event's start, inclusive
};

// An event found by a search; its recording indices are 0: it lies in `recording`.
struct FoundEvent {
  std::string recording;
  DrivingEvent event;
};

// The events index stores for a recording: those of its own fixes, read as one drive.
// Speeding depends on a limit the search gives, so it is never stored.
std::vector<DrivingEvent> RecordingEvents(const RecordingEntry& entry);

// A box in degrees that holds every point within `metres` of a place: wider in longitude
// away from the equator, every longitude near a pole or across the 180th meridian.
struct PlaceBox {
  double minLat, maxLat, minLon, maxLon;
};
PlaceBox BoxAround(double latitude, double longitude, double metres);

// The conditions of an event search on the events table `e`, only those the query sets so that
// an index serves each: the kind is parameter 1 (text), `numbers` are parameters 2, 3, ... in
// order. `placeholder(n)` spells parameter n as the back end does.
struct EventFilter {
  std::string conditions;
  std::vector<double> numbers;
};
EventFilter EventConditions(const EventQuery& query, const std::optional<PlaceBox>& box,
                            std::string (*placeholder)(int n));

class Archive {
 public:
  virtual ~Archive() = default;

  // The stored record of `path`, or nothing when it is not indexed.
  virtual std::optional<RecordingInfo> Lookup(const std::string& path) = 0;
  // Replaces whatever is stored for the entry's path, in one transaction: a run stopped at
  // any moment leaves either the old recording or the new one, whole.
  virtual void Store(const RecordingEntry& entry) = 0;
  virtual void Remove(const std::string& path) = 0;
  virtual std::vector<RecordingInfo> Recordings() = 0;
  virtual std::int64_t FixCount(const std::string& path) = 0;

  // The passes near a place, ordered by the time of closest approach.
  std::vector<Pass> Passes(const PlaceQuery& query);
  // The valid fix recorded closest to `time`, or nothing when the archive holds none.
  std::optional<FoundFix> ClosestInTime(double time);
  // The stored events that answer the query, in time order (those without a time last).
  std::vector<FoundEvent> Events(const EventQuery& query);

 protected:
  // Valid fixes inside the query's time range that may lie within the radius: every fix
  // within it, possibly some a little beyond (Passes measures each one itself).
  virtual std::vector<FoundFix> CandidatesNear(const PlaceQuery& query, double marginM) = 0;
  // The valid fix with the latest time at or before `time` (before = true), or the earliest
  // at or after it.
  virtual std::optional<FoundFix> NeighbourInTime(double time, bool before) = 0;
  // Events of the query's kind in its time range and, when it asks for a place, inside `box`.
  virtual std::vector<FoundEvent> EventCandidates(const EventQuery& query, const std::optional<PlaceBox>& box) = 0;
};

// How an archive is used. Indexing writes: it creates the archive and its schema where there
// is none and migrates an older schema. Looking only reads: the archive is opened read-only
// (an archive the user may read but not write works), and nothing is ever created,
// initialised or migrated; a file or database that holds no archive is reported, and a
// missing one throws NoArchive.
enum class Access { ReadWrite, ReadOnly };

// Opens the archive named by `url`: a PostgreSQL URL ("postgresql://" or "postgres://", the
// scheme in any case, as URLs are compared), else a SQLite file name; empty means
// DefaultArchivePath(). Any other URL is refused rather than taken for a file name.
std::unique_ptr<Archive> OpenArchive(const std::string& url, Access access);
std::unique_ptr<Archive> OpenSqliteArchive(const std::string& path, Access access);
std::unique_ptr<Archive> OpenPostgresArchive(const std::string& connection, Access access);
bool IsPostgresUrl(const std::string& url);

// $XDG_DATA_HOME/rovena/archive.sqlite, with ~/.local/share for an unset XDG_DATA_HOME.
std::string DefaultArchivePath();

// Groups fixes (any order) into passes: consecutive picture numbers of one recording.
std::vector<Pass> GroupPasses(std::vector<FoundFix> fixes);

// The schema version an archive's marker holds, when this program can open it: throws
// ArchiveError for a missing or empty marker (nothing), one below 0, and one newer than
// kSchemaVersion.
int CheckedSchemaVersion(std::optional<std::int64_t> marker);
// Why an archive whose schema is version `found` (0: no archive at all) cannot be read
// without writing, or "" when it can.
std::string ReadOnlySchemaProblem(const std::string& archive, int found);

}  // namespace rovena::archive
