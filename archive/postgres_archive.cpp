// The archive in PostgreSQL with PostGIS, for many machines sharing one archive: fixes carry a
// geography point with a GiST index. Each recording is stored in one transaction, so a lost
// connection leaves the server with the old recording or the new one, never half of either.
// A text column must be valid UTF-8 while a file name need not be: paths and folders are
// stored in their NameText form (readable in any SQL client, and exact: NameFromText gives the
// bytes back).
#include <libpq-fe.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "core/text_encoding.h"

namespace rovena::archive {
namespace {

const char* const kMigrations[] = {
    R"sql(
CREATE EXTENSION IF NOT EXISTS postgis;
CREATE TABLE recordings (
  id bigserial PRIMARY KEY,
  path text NOT NULL UNIQUE,
  size bigint NOT NULL,
  mtime_ns bigint NOT NULL,
  sha256 text NOT NULL,
  format integer NOT NULL,
  pictures bigint NOT NULL,
  first_time double precision,
  last_time double precision,
  trip text NOT NULL);
CREATE TABLE fixes (
  recording_id bigint NOT NULL REFERENCES recordings(id) ON DELETE CASCADE,
  picture bigint NOT NULL,
  position bigint NOT NULL,
  time double precision,
  latitude double precision,
  longitude double precision,
  speed_kmh double precision,
  course double precision,
  valid boolean NOT NULL,
  place geography(Point, 4326),
  PRIMARY KEY (recording_id, picture));
CREATE INDEX fixes_by_place ON fixes USING gist (place);
CREATE INDEX fixes_by_time ON fixes (time) WHERE valid;
)sql",
    // Version 1 kept names as they were (only UTF-8 ones could be stored); their text form
    // writes a backslash twice.
    R"sql(
UPDATE recordings SET path = replace(path, '\', '\\'), trip = replace(trip, '\', '\\');
)sql",
    R"sql(
CREATE TABLE events (
  recording_id bigint NOT NULL REFERENCES recordings(id) ON DELETE CASCADE,
  kind text NOT NULL,
  first_picture bigint NOT NULL,
  last_picture bigint NOT NULL,
  time double precision,
  latitude double precision,
  longitude double precision,
  value double precision);
CREATE INDEX events_by_time ON events (kind, time);
CREATE INDEX events_by_place ON events (kind, latitude);
CREATE INDEX events_of_recording ON events (recording_id);
)sql",
};
static_assert(std::size(kMigrations) == kSchemaVersion);

// One key for pg_advisory_xact_lock: schema changes by concurrent runs take turns.
constexpr const char* kSchemaLockKey = "7452011";

std::string Number(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

using Params = std::vector<std::optional<std::string>>;
std::optional<std::string> Param(const std::optional<double>& v) {
  return v ? std::optional<std::string>(Number(*v)) : std::nullopt;
}

class Result {
 public:
  explicit Result(PGresult* r) : r_(r) {}
  ~Result() { PQclear(r_); }
  Result(Result&& other) noexcept : r_(std::exchange(other.r_, nullptr)) {}
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  const PGresult* Raw() const { return r_; }
  int Rows() const { return PQntuples(r_); }
  bool Null(int row, int col) const { return PQgetisnull(r_, row, col); }
  std::string Text(int row, int col) const { return PQgetvalue(r_, row, col); }
  std::int64_t Int(int row, int col) const { return Parsed<std::int64_t>(row, col); }
  double Real(int row, int col) const { return Parsed<double>(row, col); }
  std::string Name(int row, int col) const { return NameFromText(Text(row, col)); }
  std::optional<double> MaybeReal(int row, int col) const {
    return Null(row, col) ? std::nullopt : std::optional<double>(Real(row, col));
  }

 private:
  // The server sends numbers as text; anything else in their place is a damaged archive.
  template <typename Number>
  Number Parsed(int row, int col) const {
    const char* text = PQgetvalue(r_, row, col);
    const char* end = text + std::strlen(text);
    Number value{};
    const auto [stop, error] = std::from_chars(text, end, value);
    if (error != std::errc() || stop != end || stop == text)
      throw ArchiveError(std::string("archive: a number column holds '") + NameText(text) + "'");
    return value;
  }

  PGresult* r_;
};

const char* const kFoundFixColumns =
    "SELECT r.path, f.picture, f.position, f.time, f.speed_kmh, f.latitude, f.longitude ";

FoundFix ReadFoundFix(const Result& r, int row) {
  FoundFix fix;
  fix.recording = r.Name(row, 0);
  fix.picture = r.Int(row, 1);
  fix.position = r.Int(row, 2);
  fix.time = r.MaybeReal(row, 3);
  fix.speedKmh = r.MaybeReal(row, 4);
  fix.latitude = r.Real(row, 5);
  fix.longitude = r.Real(row, 6);
  return fix;
}

const char* const kInfoColumns =
    "SELECT path, size, mtime_ns, sha256, format, pictures, first_time, last_time, trip FROM recordings ";

const char* const kEventColumns =
    "SELECT r.path, e.first_picture, e.last_picture, e.time, e.latitude, e.longitude, e.value ";

FoundEvent ReadFoundEvent(const Result& r, int row, EventKind kind) {
  FoundEvent found{r.Name(row, 0), {}};
  found.event = {kind,         0, 0, r.Int(row, 1), r.Int(row, 2), r.MaybeReal(row, 3), std::nullopt,
                 r.MaybeReal(row, 4), r.MaybeReal(row, 5), r.MaybeReal(row, 6)};
  return found;
}

RecordingInfo ReadInfo(const Result& r, int row) {
  RecordingInfo info;
  info.path = r.Name(row, 0);
  info.size = r.Int(row, 1);
  info.mtimeNs = r.Int(row, 2);
  info.sha256 = r.Text(row, 3);
  info.format = static_cast<int>(r.Int(row, 4));
  info.pictures = r.Int(row, 5);
  info.firstTime = r.MaybeReal(row, 6);
  info.lastTime = r.MaybeReal(row, 7);
  info.trip = r.Name(row, 8);
  return info;
}

// A field of COPY's text format: backslash, tab and line ends escaped; \N is NULL.
std::string CopyField(const std::optional<double>& v) { return v ? Number(*v) : "\\N"; }

std::string CopyLine(std::int64_t recordingId, const StoredFix& f) {
  std::string line = std::to_string(recordingId) + '\t' + std::to_string(f.picture) + '\t' +
                     std::to_string(f.position) + '\t' + CopyField(f.time) + '\t' + CopyField(f.latitude) + '\t' +
                     CopyField(f.longitude) + '\t' + CopyField(f.speedKmh) + '\t' + CopyField(f.course) + '\t' +
                     (f.valid ? "t" : "f") + '\t';
  line += f.valid ? "SRID=4326;POINT(" + Number(*f.longitude) + ' ' + Number(*f.latitude) + ')' : "\\N";
  return line + '\n';
}

class PostgresArchive : public Archive {
 public:
  PostgresArchive(const std::string& connection, Access access) : conn_(PQconnectdb(connection.c_str())) {
    if (PQstatus(conn_) != CONNECTION_OK) {
      const std::string why = ServerMessage();
      PQfinish(conn_);
      throw ArchiveError("cannot connect to the archive's PostgreSQL server: " + why);
    }
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
    try {
      if (access == Access::ReadWrite)
        Migrate();
      else
        CheckReadable();
    } catch (...) {
      PQfinish(conn_);
      throw;
    }
  }
  ~PostgresArchive() override { PQfinish(conn_); }

  std::optional<RecordingInfo> Lookup(const std::string& path) override {
    Result r = Query(std::string(kInfoColumns) + "WHERE path = $1", {NameText(path)});
    if (r.Rows() == 0) return std::nullopt;
    return ReadInfo(r, 0);
  }

  void Store(const RecordingEntry& entry) override {
    const RecordingInfo& r = entry.info;
    Transaction transaction(*this);
    // Two runs storing the same path take turns instead of colliding on its unique key.
    const std::string path = NameText(r.path);
    Query("SELECT pg_advisory_xact_lock(hashtext($1))", {path});
    Query("DELETE FROM recordings WHERE path = $1", {path});
    Result added = Query(
        "INSERT INTO recordings (path, size, mtime_ns, sha256, format, pictures, first_time, last_time, trip) "
        "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9) RETURNING id",
        {path, std::to_string(r.size), std::to_string(r.mtimeNs), r.sha256, std::to_string(r.format),
         std::to_string(r.pictures), Param(r.firstTime), Param(r.lastTime), NameText(r.trip)});
    CopyFixes(added.Int(0, 0), entry.fixes);
    AddEvents(added.Int(0, 0), RecordingEvents(entry));
    transaction.Commit();
  }

  void Remove(const std::string& path) override {
    Query("DELETE FROM recordings WHERE path = $1", {NameText(path)});
  }

  std::vector<RecordingInfo> Recordings() override {
    Result r = Query(std::string(kInfoColumns) + "ORDER BY path", {});
    std::vector<RecordingInfo> all;
    for (int row = 0; row < r.Rows(); ++row) all.push_back(ReadInfo(r, row));
    return all;
  }

  std::int64_t FixCount(const std::string& path) override {
    return Query("SELECT count(*) FROM fixes f JOIN recordings r ON r.id = f.recording_id WHERE r.path = $1",
                 {NameText(path)})
        .Int(0, 0);
  }

 protected:
  std::vector<FoundFix> CandidatesNear(const PlaceQuery& q, double marginM) override {
    Result r = Query(std::string(kFoundFixColumns) +
                         "FROM fixes f JOIN recordings r ON r.id = f.recording_id WHERE f.valid AND "
                         "ST_DWithin(f.place, ST_SetSRID(ST_MakePoint($2, $1), 4326)::geography, $3, false) "
                         "AND ($4::float8 IS NULL OR f.time >= $4) AND ($5::float8 IS NULL OR f.time <= $5)",
                     {Number(q.latitude), Number(q.longitude), Number(q.radiusM + marginM), Param(q.from),
                      Param(q.to)});
    std::vector<FoundFix> found;
    for (int row = 0; row < r.Rows(); ++row) found.push_back(ReadFoundFix(r, row));
    return found;
  }

  std::optional<FoundFix> NeighbourInTime(double time, bool before) override {
    Result r = Query(std::string(kFoundFixColumns) +
                         "FROM fixes f JOIN recordings r ON r.id = f.recording_id WHERE f.valid AND " +
                         (before ? "f.time <= $1 ORDER BY f.time DESC" : "f.time >= $1 ORDER BY f.time") +
                         ", r.path, f.picture LIMIT 1",
                     {Number(time)});
    if (r.Rows() == 0) return std::nullopt;
    return ReadFoundFix(r, 0);
  }

  std::vector<FoundEvent> EventCandidates(const EventQuery& q, const std::optional<PlaceBox>& box) override {
    const EventFilter filter = EventConditions(q, box, [](int n) { return "$" + std::to_string(n); });
    Params params{std::string(EventKindName(q.kind))};
    for (double value : filter.numbers) params.push_back(Number(value));
    Result r = Query(std::string(kEventColumns) + "FROM events e JOIN recordings r ON r.id = e.recording_id WHERE " +
                         filter.conditions,
                     params);
    std::vector<FoundEvent> found;
    for (int row = 0; row < r.Rows(); ++row) found.push_back(ReadFoundEvent(r, row, q.kind));
    return found;
  }

 private:
  class Transaction {
   public:
    explicit Transaction(PostgresArchive& a) : archive_(a) { archive_.Query("BEGIN", {}); }
    ~Transaction() {
      if (!done_) PQclear(PQexec(archive_.conn_, "ROLLBACK"));
    }
    void Commit() {
      archive_.Query("COMMIT", {});
      done_ = true;
    }

   private:
    PostgresArchive& archive_;
    bool done_ = false;
  };

  // The first line of what the server or libpq said: its HINT, DETAIL and CONTEXT lines (the
  // latter quoting parameters, file names among them) are not for the one line we print.
  // A failed statement's own result says it best.
  std::string ServerMessage(const PGresult* failed = nullptr) const {
    const char* primary = failed ? PQresultErrorField(failed, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    std::string why = primary ? primary : PQerrorMessage(conn_);
    why = why.substr(0, why.find('\n'));
    while (!why.empty() && why.back() == ' ') why.pop_back();
    return why.empty() ? "the connection was lost" : why;
  }

  Result Query(const std::string& sql, const Params& params) {
    std::vector<const char*> values;
    for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
    Result r(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                          nullptr, 0));
    Check(r);
    return r;
  }

  void Check(const Result& r) const {
    const ExecStatusType status = PQresultStatus(r.Raw());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) throw Failure(r.Raw());
  }

  void CopyFixes(std::int64_t recordingId, const std::vector<StoredFix>& fixes) {
    Result start(PQexec(conn_,
                        "COPY fixes (recording_id, picture, position, time, latitude, longitude, speed_kmh, "
                        "course, valid, place) FROM STDIN"));
    if (PQresultStatus(start.Raw()) != PGRES_COPY_IN) throw Failure(start.Raw());
    std::string block;
    for (const StoredFix& f : fixes) {
      block += CopyLine(recordingId, f);
      if (block.size() > (1 << 16)) SendCopy(block);
    }
    SendCopy(block);
    if (PQputCopyEnd(conn_, nullptr) != 1) throw Failure();
    Result done(PQgetResult(conn_));
    if (PQresultStatus(done.Raw()) != PGRES_COMMAND_OK) throw Failure(done.Raw());
    while (PGresult* rest = PQgetResult(conn_)) PQclear(rest);
  }

  void SendCopy(std::string& block) {
    if (!block.empty() && PQputCopyData(conn_, block.data(), static_cast<int>(block.size())) != 1) throw Failure();
    block.clear();
  }

  ArchiveError Failure(const PGresult* failed = nullptr) const {
    if (PQstatus(conn_) == CONNECTION_BAD)
      return ArchiveError("lost the connection to the archive's server: " + ServerMessage(failed));
    return ArchiveError("archive: " + ServerMessage(failed));
  }

  // 0 when the database holds no archive.
  int SchemaVersion() {
    Result exists = Query("SELECT to_regclass('rovena_schema') IS NOT NULL", {});
    if (exists.Text(0, 0) != "t") return 0;
    const Result marker = Query("SELECT version FROM rovena_schema", {});
    const bool one = marker.Rows() == 1 && !marker.Null(0, 0);
    return CheckedSchemaVersion(one ? std::optional(marker.Int(0, 0)) : std::nullopt);
  }

  // For looking only: every transaction of the session is read-only, whatever it is asked.
  void CheckReadable() {
    Exec("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
    const std::string problem = ReadOnlySchemaProblem("the PostgreSQL database", SchemaVersion());
    if (!problem.empty()) throw ArchiveError(problem);
  }

  void Migrate() {
    Transaction transaction(*this);
    Query(std::string("SELECT pg_advisory_xact_lock(") + kSchemaLockKey + ")", {});
    const int version = SchemaVersion();
    if (version == 0) Exec("CREATE TABLE rovena_schema (version integer NOT NULL); INSERT INTO rovena_schema VALUES (0)");
    for (int v = version; v < kSchemaVersion; ++v) Exec(kMigrations[v]);
    if (version > 0 && version < kFirstSchemaWithEvents) AddEventsOfStoredFixes();
    Query("UPDATE rovena_schema SET version = " + std::to_string(kSchemaVersion), {});
    transaction.Commit();
  }

  void AddEvents(std::int64_t recordingId, const std::vector<DrivingEvent>& events) {
    for (const DrivingEvent& e : events)
      Query("INSERT INTO events (recording_id, kind, first_picture, last_picture, time, latitude, longitude, value) "
            "VALUES ($1, $2, $3, $4, $5, $6, $7, $8)",
            {std::to_string(recordingId), std::string(EventKindName(e.kind)), std::to_string(e.firstPicture),
             std::to_string(e.lastPicture), Param(e.time), Param(e.latitude), Param(e.longitude), Param(e.value)});
  }

  // An archive indexed before events were stored gets them from the fixes it holds.
  void AddEventsOfStoredFixes() {
    Result recordings = Query("SELECT id, pictures FROM recordings", {});
    for (int row = 0; row < recordings.Rows(); ++row) {
      Result fixes = Query("SELECT picture, position, time, latitude, longitude, speed_kmh, course, valid FROM fixes "
                           "WHERE recording_id = $1 ORDER BY picture",
                           {recordings.Text(row, 0)});
      RecordingEntry entry;
      entry.info.pictures = recordings.Int(row, 1);
      for (int f = 0; f < fixes.Rows(); ++f)
        entry.fixes.push_back({fixes.Int(f, 0), fixes.Int(f, 1), fixes.MaybeReal(f, 2), fixes.MaybeReal(f, 3),
                               fixes.MaybeReal(f, 4), fixes.MaybeReal(f, 5), fixes.MaybeReal(f, 6),
                               fixes.Text(f, 7) == "t"});
      AddEvents(recordings.Int(row, 0), RecordingEvents(entry));
    }
  }

  // Several statements at once (no parameters).
  void Exec(const char* sql) {
    Check(Result(PQexec(conn_, sql)));
  }

  PGconn* conn_;
};

}  // namespace

std::unique_ptr<Archive> OpenPostgresArchive(const std::string& connection, Access access) {
  return std::make_unique<PostgresArchive>(connection, access);
}

}  // namespace rovena::archive
