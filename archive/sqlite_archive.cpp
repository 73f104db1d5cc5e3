// The archive in one SQLite file: WAL so that searches run while an index run writes, a busy
// timeout so that two index runs take turns, and an R*Tree of the valid fixes for searches by
// place. The schema version is SQLite's user_version.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

#include "archive/archive.h"
#include "core/output_guard.h"
#include "core/text_encoding.h"
#include "core/recording_file.h"

namespace rovena::archive {
namespace {

// A second index run waits this long for the first one's transaction before giving up.
constexpr int kBusyTimeoutMs = 60000;

// Schema steps: entry i brings version i to version i + 1.
const char* const kMigrations[] = {
    R"sql(
CREATE TABLE recordings (
  id INTEGER PRIMARY KEY,
  path TEXT NOT NULL UNIQUE,
  size INTEGER NOT NULL,
  mtime_ns INTEGER NOT NULL,
  sha256 TEXT NOT NULL,
  format INTEGER NOT NULL,
  pictures INTEGER NOT NULL,
  first_time REAL,
  last_time REAL,
  trip TEXT NOT NULL);
CREATE TABLE fixes (
  id INTEGER PRIMARY KEY,
  recording_id INTEGER NOT NULL REFERENCES recordings(id),
  picture INTEGER NOT NULL,
  position INTEGER NOT NULL,
  time REAL,
  latitude REAL,
  longitude REAL,
  speed_kmh REAL,
  course REAL,
  valid INTEGER NOT NULL,
  UNIQUE (recording_id, picture));
CREATE INDEX fixes_by_time ON fixes(time) WHERE valid;
CREATE VIRTUAL TABLE fix_places USING rtree(id, min_lat, max_lat, min_lon, max_lon);
)sql",
    // Version 2 changed how PostgreSQL keeps names; here they are their bytes already.
    "",
    R"sql(
CREATE TABLE events (
  recording_id INTEGER NOT NULL REFERENCES recordings(id),
  kind TEXT NOT NULL,
  first_picture INTEGER NOT NULL,
  last_picture INTEGER NOT NULL,
  time REAL,
  latitude REAL,
  longitude REAL,
  value REAL);
CREATE INDEX events_by_time ON events(kind, time);
CREATE INDEX events_by_place ON events(kind, latitude);
CREATE INDEX events_of_recording ON events(recording_id);
)sql",
};
static_assert(std::size(kMigrations) == kSchemaVersion);

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
      throw ArchiveError(std::string("archive: ") + sqlite3_errmsg(db));
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    return *this;
  }
  Statement& Bind(int i, std::int64_t v) { return Check(sqlite3_bind_int64(stmt_, i, v)); }
  Statement& Bind(int i, double v) { return Check(sqlite3_bind_double(stmt_, i, v)); }
  Statement& Bind(int i, const std::string& v) {
    return Check(sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
  }
  Statement& Bind(int i, const std::optional<double>& v) {
    return v ? Bind(i, *v) : Check(sqlite3_bind_null(stmt_, i));
  }
  // True while a row is available.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw ArchiveError(std::string("archive: ") + sqlite3_errmsg(db_));
  }
  void Run() {
    while (Step()) {
    }
  }
  std::int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
  double Real(int col) const { return sqlite3_column_double(stmt_, col); }
  std::optional<double> MaybeReal(int col) const {
    if (sqlite3_column_type(stmt_, col) == SQLITE_NULL) return std::nullopt;
    return Real(col);
  }
  std::string Text(int col) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    return text ? text : "";
  }

 private:
  Statement& Check(int rc) {
    if (rc != SQLITE_OK) throw ArchiveError(std::string("archive: ") + sqlite3_errmsg(db_));
    return *this;
  }
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

const char* const kFoundFixColumns =
    "SELECT r.path, f.picture, f.position, f.time, f.speed_kmh, f.latitude, f.longitude ";

FoundFix ReadFoundFix(const Statement& s) {
  FoundFix fix;
  fix.recording = s.Text(0);
  fix.picture = s.Int(1);
  fix.position = s.Int(2);
  fix.time = s.MaybeReal(3);
  fix.speedKmh = s.MaybeReal(4);
  fix.latitude = s.Real(5);
  fix.longitude = s.Real(6);
  return fix;
}

RecordingInfo ReadInfo(const Statement& s) {
  RecordingInfo info;
  info.path = s.Text(0);
  info.size = s.Int(1);
  info.mtimeNs = s.Int(2);
  info.sha256 = s.Text(3);
  info.format = static_cast<int>(s.Int(4));
  info.pictures = s.Int(5);
  info.firstTime = s.MaybeReal(6);
  info.lastTime = s.MaybeReal(7);
  info.trip = s.Text(8);
  return info;
}
const char* const kInfoColumns =
    "SELECT path, size, mtime_ns, sha256, format, pictures, first_time, last_time, trip FROM recordings ";

// The files SQLite keeps beside an archive: its rollback journal, its write-ahead log and the
// log's index. They may not exist yet.
std::vector<std::string> ArchiveFiles(const std::string& path) {
  return {path, path + "-journal", path + "-wal", path + "-shm"};
}

// True when the side file `path` (ending "-journal", "-wal" or "-shm") is missing, or begins
// as SQLite begins its own: with its magic number, or with zeros, as a side file another run
// is just setting up does. So opening the archive cannot overwrite a stranger.
bool IsOwnSideFile(const std::string& path) {
  std::error_code missing;
  if (std::filesystem::symlink_status(path, missing).type() == std::filesystem::file_type::not_found) return true;
  std::string error;
  const int fd = OpenRegularFile(path, error);
  if (fd < 0) return false;
  std::uint8_t head[8] = {};
  const ssize_t got = ::read(fd, head, sizeof head);
  ::close(fd);
  if (got < 0) return false;
  if (std::all_of(head, head + got, [](std::uint8_t byte) { return byte == 0; })) return true;
  if (got < static_cast<ssize_t>(sizeof head)) return false;
  const std::uint32_t big = std::uint32_t{head[0]} << 24 | head[1] << 16 | head[2] << 8 | head[3];
  std::uint32_t hostOrder = 0;
  std::memcpy(&hostOrder, head, sizeof hostOrder);
  static constexpr std::uint8_t kJournalMagic[8] = {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};
  if (path.ends_with("-wal")) return big == 0x377f0682 || big == 0x377f0683;  // the log's magic numbers
  if (path.ends_with("-shm")) return hostOrder == 3007000;  // the index's version number
  return std::equal(head, head + 8, kJournalMagic);
}

// Before an archive is opened for writing: neither it nor a side file may be an input of the
// run or a file that is not the archive's own, since SQLite would write over it.
void CheckArchiveFiles(const std::string& path) {
  std::error_code missing;
  const auto type = std::filesystem::status(path, missing).type();
  if (type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::regular)
    throw ArchiveError(NameText(path) + ": not a file, so not an archive");
  for (const std::string& file : ArchiveFiles(path)) {
    if (auto input = InputAt(file)) throw ArchiveError(RefusalText(file, *input));
    if (file != path && !IsOwnSideFile(file))
      throw ArchiveError(NameText(file) + ": not the archive's own file; the archive is not opened beside it");
  }
}

// "file:" URI of `path` (every byte but the unreserved ones escaped) with `query`.
std::string FileUri(const std::string& path, const std::string& query) {
  std::string uri = "file:";
  for (const char c : std::filesystem::absolute(path).string()) {
    if (std::isalnum(static_cast<unsigned char>(c)) || std::string("/-._~").find(c) != std::string::npos) {
      uri += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
      uri += escaped;
    }
  }
  return uri + "?" + query;
}

const char* const kEventColumns =
    "SELECT r.path, e.first_picture, e.last_picture, e.time, e.latitude, e.longitude, e.value ";

FoundEvent ReadFoundEvent(const Statement& s, EventKind kind) {
  FoundEvent found{s.Text(0), {}};
  found.event = {kind, 0, 0, s.Int(1), s.Int(2), s.MaybeReal(3), std::nullopt, s.MaybeReal(4), s.MaybeReal(5),
                 s.MaybeReal(6)};
  return found;
}

class SqliteArchive : public Archive {
 public:
  SqliteArchive(const std::string& path, Access access) {
    try {
      if (access == Access::ReadWrite) {
        CheckArchiveFiles(path);
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
        Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        SwitchToWal();
        // In WAL mode NORMAL keeps the database whole through any crash of the program; only a
        // power loss can take back the last committed recordings, which the next run redoes.
        Exec("PRAGMA synchronous=NORMAL");
        Migrate();
      } else {
        OpenToRead(path);
      }
    } catch (const ArchiveError& e) {
      sqlite3_close(db_);
      throw ArchiveError("cannot open the archive " + NameText(path) + ": " + e.what());
    }
    inputs_ = InputFiles(ArchiveFiles(path));
  }
  ~SqliteArchive() override { sqlite3_close(db_); }

  std::optional<RecordingInfo> Lookup(const std::string& path) override {
    Statement s(db_, (std::string(kInfoColumns) + "WHERE path = ?").c_str());
    s.Bind(1, path);
    if (!s.Step()) return std::nullopt;
    return ReadInfo(s);
  }

  void Store(const RecordingEntry& entry) override {
    Transaction transaction(*this);
    RemoveRows(entry.info.path);
    const RecordingInfo& r = entry.info;
    Statement add(db_,
                  "INSERT INTO recordings (path, size, mtime_ns, sha256, format, pictures, first_time, "
                  "last_time, trip) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    add.Bind(1, r.path).Bind(2, r.size).Bind(3, r.mtimeNs).Bind(4, r.sha256).Bind(5, std::int64_t{r.format});
    add.Bind(6, r.pictures).Bind(7, r.firstTime).Bind(8, r.lastTime).Bind(9, r.trip).Run();
    const std::int64_t id = LastRowId();
    Statement fix(db_,
                  "INSERT INTO fixes (recording_id, picture, position, time, latitude, longitude, speed_kmh, "
                  "course, valid) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    Statement place(db_, "INSERT INTO fix_places VALUES (?, ?, ?, ?, ?)");
    for (const StoredFix& f : entry.fixes) {
      fix.Reset().Bind(1, id).Bind(2, f.picture).Bind(3, f.position).Bind(4, f.time);
      fix.Bind(5, f.latitude).Bind(6, f.longitude).Bind(7, f.speedKmh).Bind(8, f.course);
      fix.Bind(9, std::int64_t{f.valid}).Run();
      if (!f.valid) continue;
      place.Reset().Bind(1, LastRowId()).Bind(2, *f.latitude).Bind(3, *f.latitude);
      place.Bind(4, *f.longitude).Bind(5, *f.longitude).Run();
    }
    AddEvents(id, RecordingEvents(entry));
    transaction.Commit();
  }

  void Remove(const std::string& path) override {
    Transaction transaction(*this);
    RemoveRows(path);
    transaction.Commit();
  }

  std::vector<RecordingInfo> Recordings() override {
    Statement s(db_, (std::string(kInfoColumns) + "ORDER BY path").c_str());
    std::vector<RecordingInfo> all;
    while (s.Step()) all.push_back(ReadInfo(s));
    return all;
  }

  std::int64_t FixCount(const std::string& path) override {
    Statement s(db_, "SELECT count(*) FROM fixes f JOIN recordings r ON r.id = f.recording_id WHERE r.path = ?");
    s.Bind(1, path).Step();
    return s.Int(0);
  }

 protected:
  std::vector<FoundFix> CandidatesNear(const PlaceQuery& q, double marginM) override {
    const PlaceBox box = BoxAround(q.latitude, q.longitude, q.radiusM + marginM);
    Statement s(db_, (std::string(kFoundFixColumns) +
                      "FROM fix_places p JOIN fixes f ON f.id = p.id JOIN recordings r ON r.id = f.recording_id "
                      "WHERE p.max_lat >= ? AND p.min_lat <= ? AND p.max_lon >= ? AND p.min_lon <= ? "
                      "AND (?5 IS NULL OR f.time >= ?5) AND (?6 IS NULL OR f.time <= ?6)")
                         .c_str());
    s.Bind(1, box.minLat).Bind(2, box.maxLat).Bind(3, box.minLon).Bind(4, box.maxLon);
    s.Bind(5, q.from).Bind(6, q.to);
    std::vector<FoundFix> found;
    while (s.Step()) found.push_back(ReadFoundFix(s));
    return found;
  }

  std::optional<FoundFix> NeighbourInTime(double time, bool before) override {
    const std::string sql = std::string(kFoundFixColumns) +
                            "FROM fixes f JOIN recordings r ON r.id = f.recording_id WHERE f.valid AND " +
                            (before ? "f.time <= ? ORDER BY f.time DESC" : "f.time >= ? ORDER BY f.time") +
                            ", r.path, f.picture LIMIT 1";
    Statement s(db_, sql.c_str());
    s.Bind(1, time);
    if (!s.Step()) return std::nullopt;
    return ReadFoundFix(s);
  }

  std::vector<FoundEvent> EventCandidates(const EventQuery& q, const std::optional<PlaceBox>& box) override {
    const EventFilter filter = EventConditions(q, box, [](int n) { return "?" + std::to_string(n); });
    Statement s(db_, (std::string(kEventColumns) + "FROM events e JOIN recordings r ON r.id = e.recording_id WHERE " +
                      filter.conditions)
                         .c_str());
    s.Bind(1, std::string(EventKindName(q.kind)));
    for (std::size_t i = 0; i < filter.numbers.size(); ++i) s.Bind(static_cast<int>(i) + 2, filter.numbers[i]);
    std::vector<FoundEvent> found;
    while (s.Step()) found.push_back(ReadFoundEvent(s, q.kind));
    return found;
  }

 private:
  class Transaction {
   public:
    // IMMEDIATE takes the write lock at once, so a second writer waits here (busy timeout)
    // instead of failing halfway through its transaction.
    explicit Transaction(SqliteArchive& a) : archive_(a) { archive_.Exec("BEGIN IMMEDIATE"); }
    ~Transaction() {
      if (!done_) sqlite3_exec(archive_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void Commit() {
      archive_.Exec("COMMIT");
      done_ = true;
    }

   private:
    SqliteArchive& archive_;
    bool done_ = false;
  };

  std::int64_t LastRowId() const { return static_cast<std::int64_t>(sqlite3_last_insert_rowid(db_)); }

  void Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      std::string why = error ? error : sqlite3_errmsg(db_);
      sqlite3_free(error);
      if (sqlite3_errcode(db_) == SQLITE_BUSY) why = "the archive is busy (another run holds it): " + why;
      throw ArchiveError(why);
    }
  }

  // A new file's switch to WAL needs the file alone, and SQLite answers a second run's switch
  // with "busy" at once instead of through the busy timeout: two index runs started together
  // on a new archive would lose one. So the wait is done here.
  void SwitchToWal() {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    while (sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr) == SQLITE_BUSY &&
           std::chrono::steady_clock::now() < giveUp)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Exec("PRAGMA journal_mode=WAL");
  }

  void Open(const std::string& name, int flags) {
    sqlite3_close(db_);
    db_ = nullptr;
    if (sqlite3_open_v2(name.c_str(), &db_, flags, nullptr) != SQLITE_OK)
      throw ArchiveError(db_ ? sqlite3_errmsg(db_) : "out of memory");
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  }

  // Read-only. A log-mode archive is read through its -shm file, which SQLite makes when it
  // is missing; where the reader may not make it (a folder it cannot write), the archive is
  // read as unchanging instead, as SQLite allows.
  void OpenToRead(const std::string& path) {
    Open(path, SQLITE_OPEN_READONLY);
    int version = 0;
    try {
      version = SchemaVersion();
    } catch (const ArchiveError&) {
      const int why = sqlite3_errcode(db_);
      if (why != SQLITE_CANTOPEN && why != SQLITE_READONLY) throw;
      Open(FileUri(path, "mode=ro&immutable=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
      version = SchemaVersion();
    }
    if (const std::string problem = ReadOnlySchemaProblem(NameText(path), version); !problem.empty())
      throw ArchiveError(problem);
  }

  // The schema's version; 0 for a database without one (which then must hold no tables of
  // its own to be made an archive).
  int SchemaVersion() {
    Statement read(db_, "PRAGMA user_version");
    read.Step();
    return CheckedSchemaVersion(read.Int(0));
  }

  bool HoldsTables() {
    Statement read(db_, "SELECT count(*) FROM sqlite_master");
    read.Step();
    return read.Int(0) > 0;
  }

  void Migrate() {
    Transaction transaction(*this);
    const int version = SchemaVersion();
    if (version == 0 && HoldsTables()) throw ArchiveError("a database of something else, not a Rovena archive");
    for (int v = version; v < kSchemaVersion; ++v) Exec(kMigrations[v]);
    if (version > 0 && version < kFirstSchemaWithEvents) AddEventsOfStoredFixes();
    Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
    transaction.Commit();
  }

  void AddEvents(std::int64_t recordingId, const std::vector<DrivingEvent>& events) {
    Statement add(db_,
                  "INSERT INTO events (recording_id, kind, first_picture, last_picture, time, latitude, longitude, "
                  "value) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    for (const DrivingEvent& e : events) {
      add.Reset().Bind(1, recordingId).Bind(2, std::string(EventKindName(e.kind))).Bind(3, e.firstPicture);
      add.Bind(4, e.lastPicture).Bind(5, e.time).Bind(6, e.latitude).Bind(7, e.longitude).Bind(8, e.value).Run();
    }
  }

  // An archive indexed before events were stored gets them from the fixes it holds.
  void AddEventsOfStoredFixes() {
    Statement recordings(db_, "SELECT id, pictures FROM recordings");
    Statement fixes(db_,
                    "SELECT picture, position, time, latitude, longitude, speed_kmh, course, valid FROM fixes "
                    "WHERE recording_id = ? ORDER BY picture");
    while (recordings.Step()) {
      RecordingEntry entry;
      entry.info.pictures = recordings.Int(1);
      fixes.Reset().Bind(1, recordings.Int(0));
      while (fixes.Step())
        entry.fixes.push_back({fixes.Int(0), fixes.Int(1), fixes.MaybeReal(2), fixes.MaybeReal(3), fixes.MaybeReal(4),
                               fixes.MaybeReal(5), fixes.MaybeReal(6), fixes.Int(7) != 0});
      AddEvents(recordings.Int(0), RecordingEvents(entry));
    }
  }

  void RemoveRows(const std::string& path) {
    Statement find(db_, "SELECT id FROM recordings WHERE path = ?");
    find.Bind(1, path);
    if (!find.Step()) return;
    const std::int64_t id = find.Int(0);
    Statement places(db_, "DELETE FROM fix_places WHERE id IN (SELECT id FROM fixes WHERE recording_id = ?)");
    places.Bind(1, id).Run();
    Statement fixes(db_, "DELETE FROM fixes WHERE recording_id = ?");
    fixes.Bind(1, id).Run();
    Statement events(db_, "DELETE FROM events WHERE recording_id = ?");
    events.Bind(1, id).Run();
    Statement recording(db_, "DELETE FROM recordings WHERE id = ?");
    recording.Bind(1, id).Run();
  }

  sqlite3* db_ = nullptr;
  InputFiles inputs_;  // no output of the run may land on the archive or its side files
};

}  // namespace

std::unique_ptr<Archive> OpenSqliteArchive(const std::string& path, Access access) {
  return std::make_unique<SqliteArchive>(path, access);
}

}  // namespace rovena::archive
