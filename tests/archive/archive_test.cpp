// The archive as a user drives it through rovena-cli: the same behaviour from the SQLite file
// and from a real PostgreSQL/PostGIS server (started by the tests), plus what must survive a
// kill -9 and two index runs at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <memory>
#include <thread>

#include "archive/archive.h"
#include "archive/archive_time.h"
#include "core/text_encoding.h"
#include "hostile_names.h"
#include "postgres_server.h"
#include "tools/recording_writer.h"
#include "scratch_dir.h"
#include "unprivileged.h"
#include "scripted_drive.h"

namespace rovena {
namespace {

namespace fs = std::filesystem;

// The place every test drives past; one picture a second, 10 m between pictures going east.
constexpr double kLat = 52.2, kLon = 21.0;
const double kLonPer10m = 10 / (111194.93 * std::cos(kLat * 3.14159265358979 / 180));

std::string Sentence(double lat, double lon, long secondsSince2006, char status = 'A') {
  const long day = secondsSince2006 / 86400, s = secondsSince2006 % 86400;
  char body[160];
  std::snprintf(body, sizeof body, "GPRMC,%02ld%02ld%02ld.000,%c,%02d%07.4f,N,%03d%07.4f,E,36.0,90.0,%02ld0306,,,A",
                s / 3600, s / 60 % 60, s % 60, status, static_cast<int>(lat), (lat - static_cast<int>(lat)) * 60,
                static_cast<int>(lon), (lon - static_cast<int>(lon)) * 60, day + 1);
  unsigned sum = 0;
  for (const char* c = body; *c; ++c) sum ^= static_cast<unsigned char>(*c);
  char sentence[200];
  std::snprintf(sentence, sizeof sentence, "$%s*%02X", body, sum);
  return sentence;
}

// A recording whose picture i (0-based) lies `offsets[i]` times 10 m east of the place, at
// second startSecond + i. Pictures carry a few bytes of slice data: nothing is decoded.
void WriteDrive(const fs::path& path, const std::vector<int>& offsets, long startSecond) {
  RecordingWriter writer(320, 240);
  for (std::size_t i = 0; i < offsets.size(); ++i)
    writer.AddCodedPicture({0x12, 0x34, 0x56, 0x78}, Sentence(kLat, kLon + offsets[i] * kLonPer10m, startSecond + long(i)));
  ASSERT_TRUE(writer.WriteFile(path.string()));
}

struct CliRun {
  int status = -1;
  std::string out;
};
CliRun Cli(const std::string& arguments) {
  CliRun run;
  FILE* pipe = popen((std::string(ROVENA_BIN_DIR) + "/rovena-cli " + arguments + " 2>/dev/null").c_str(), "r");
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::unique_ptr<test::PostgresServer>& Server() {
  static std::unique_ptr<test::PostgresServer> server;
  return server;
}

class ArchiveBehaviour : public ::testing::TestWithParam<const char*> {
 protected:
  static void TearDownTestSuite() { Server().reset(); }

  void SetUp() override {
    if (std::string(GetParam()) == "sqlite") {
      db_ = (dir_ / "archive.sqlite").string();
      return;
    }
    try {
      if (!Server()) Server() = std::make_unique<test::PostgresServer>();
      db_ = Server()->NewDatabase();
    } catch (const std::exception& e) {
      FAIL() << e.what();
    }
  }

  std::string Db() const { return " --db '" + db_ + "'"; }
  std::string Trip() const { return (dir_ / "trip").string(); }
  void Drives() {
    fs::create_directories(dir_ / "trip");
    // Two passes in one recording (pictures 3-5 and 16-18) and one in another a day later;
    // an invalid fix and an out-of-range one sit right on the place and must never be found.
    WriteDrive(dir_ / "trip/a.mpg", {-3, -2, -1, 0, 1, 2, 3, 4, 5, 6, 5, 4, 3, 2, 1, 0, -1, -2, -3}, 0);
    WriteDrive(dir_ / "trip/b.mpg", {-4, -3, -2, -1, 0, 1}, 86400);
    RecordingWriter odd(320, 240);
    odd.AddCodedPicture({1}, Sentence(kLat, kLon, 100, 'V'));
    odd.AddCodedPicture({1}, "$GPRMC,000000.000,A,9530.0000,N,02100.0000,E,1.0,1.0,010306,,,A");
    ASSERT_TRUE(odd.WriteFile((dir_ / "trip/odd.mpg").string()));
    std::FILE* notes = std::fopen((dir_ / "trip/notes.txt").c_str(), "w");
    std::fputs("not a recording", notes);
    std::fclose(notes);
  }
  std::string Near(const std::string& more = "") const {
    char place[64];
    std::snprintf(place, sizeof place, "%.7f,%.7f", kLat, kLon);
    return Cli("find --near " + std::string(place) + " --format csv" + more + Db()).out;
  }

  test::ScratchDir scratch_{"rovena_archive"};
  const fs::path& dir_ = scratch_.Path();
  std::string db_;
};

TEST_P(ArchiveBehaviour, FindsEachPassByPlaceAndTime) {
  Drives();
  const CliRun index = Cli("index " + Trip() + Db());
  ASSERT_EQ(index.status, 0) << index.out;
  EXPECT_NE(index.out.find("3 added, 0 updated, 0 unchanged"), std::string::npos) << index.out;
  EXPECT_NE(index.out.find("skipped " + Trip() + "/notes.txt"), std::string::npos);

  // Each picture of these recordings is 113 bytes and the first start code ends at byte 24;
  // picture numbers are 1-based. Passes come in time order, each with its closest picture.
  const std::string a = Trip() + "/a.mpg", b = Trip() + "/b.mpg";
  const auto row = [](const std::string& file, int picture, const std::string& rest) {
    return file + "," + std::to_string(picture) + "," + std::to_string(24 + (picture - 1) * 113) + "," + rest + "\n";
  };
  const std::string header = "recording,picture,position,time,speed_kmh,distance_m,first_picture,last_picture\n";
  EXPECT_EQ(Near(" --radius 55"), header + row(a, 4, "2006-03-01T00:00:03Z,66.7,0.0,1,9") +
                                      row(a, 16, "2006-03-01T00:00:15Z,66.7,0.0,11,19") +
                                      row(b, 5, "2006-03-02T00:00:04Z,66.7,0.0,1,6"));
  EXPECT_EQ(Near(" --radius 25"), header + row(a, 4, "2006-03-01T00:00:03Z,66.7,0.0,2,6") +
                                      row(a, 16, "2006-03-01T00:00:15Z,66.7,0.0,14,18") +
                                      row(b, 5, "2006-03-02T00:00:04Z,66.7,0.0,3,6"));
  // The time range cuts passes short: the closest picture is then the closest one inside it.
  EXPECT_EQ(Near(" --radius 55 --from 2006-03-01T00:00:10 --to 2006-03-02T00:00:02"),
            header + row(a, 16, "2006-03-01T00:00:15Z,66.7,0.0,11,19") + row(b, 3, "2006-03-02T00:00:02Z,66.7,20.0,1,3"));

  const CliRun at = Cli("find --at 2006-03-02T00:00:03.4" + Db());
  EXPECT_EQ(at.out, "2006-03-02T00:00:03Z  " + b + "  picture 4 at byte 363  66.7 km/h\n  Rovena --at " + b + ":4\n");
  const CliRun json = Cli("find --near 52.2,21.0 --radius 5 --from 2006-03-02 --format json" + Db());
  EXPECT_EQ(json.out, "[\n {\"recording\": \"" + b + "\", \"picture\": 5, \"position\": 476, \"time\": "
                      "\"2006-03-02T00:00:04Z\", \"speed_kmh\": 66.7, \"distance_m\": 0.0, \"first_picture\": 5, "
                      "\"last_picture\": 5}\n]\n");
}

TEST_P(ArchiveBehaviour, ReindexSkipsUnchangedRereadsChangedAndPrunesRemoved) {
  Drives();
  ASSERT_EQ(Cli("index " + Trip() + Db()).status, 0);
  EXPECT_NE(Cli("index " + Trip() + Db()).out.find("0 added, 0 updated, 3 unchanged"), std::string::npos);

  WriteDrive(dir_ / "trip/a.mpg", {40, 41, 42}, 0);  // now far from the place
  fs::remove(dir_ / "trip/b.mpg");
  const CliRun again = Cli("index --prune " + Trip() + Db());
  EXPECT_NE(again.out.find("0 added, 1 updated, 1 unchanged, 1 removed"), std::string::npos) << again.out;
  EXPECT_EQ(Near(), "recording,picture,position,time,speed_kmh,distance_m,first_picture,last_picture\n");

  // Entries outside the paths given stay, even when their files are gone.
  WriteDrive(dir_ / "other.mpg", {0}, 0);
  ASSERT_EQ(Cli("index " + (dir_ / "other.mpg").string() + Db()).status, 0);
  fs::remove(dir_ / "other.mpg");
  EXPECT_NE(Cli("index --prune " + Trip() + Db()).out.find("0 removed"), std::string::npos);
  EXPECT_NE(Near().find((dir_ / "other.mpg").string() + ",1,"), std::string::npos);
}

TEST_P(ArchiveBehaviour, VerifyNamesEveryRecordingThatIsNotAsIndexed) {
  Drives();
  ASSERT_EQ(Cli("index " + Trip() + Db()).status, 0);
  const CliRun clean = Cli("verify" + Db());
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(clean.out, "unchanged  " + Trip() + "/a.mpg\nunchanged  " + Trip() + "/b.mpg\nunchanged  " + Trip() + "/odd.mpg\n");

  // Same size, one byte different: only the hash can tell.
  std::FILE* f = std::fopen((dir_ / "trip/a.mpg").c_str(), "r+b");
  std::fseek(f, 40, SEEK_SET);
  std::fputc('X', f);
  std::fclose(f);
  fs::remove(dir_ / "trip/b.mpg");
  const CliRun dirty = Cli("verify" + Db() + " " + Trip() + " " + (dir_ / "elsewhere").string());
  EXPECT_EQ(dirty.status, 1);
  EXPECT_EQ(dirty.out, "changed    " + Trip() + "/a.mpg\nmissing    " + Trip() + "/b.mpg\nunchanged  " + Trip() +
                           "/odd.mpg\nunindexed  " + (dir_ / "elsewhere").string() + "\n");
}

TEST_P(ArchiveBehaviour, ArchiveFromANewerRoveneIsRefused) {
  archive::OpenArchive(db_, archive::Access::ReadWrite);  // creates the schema
  if (std::string(GetParam()) == "sqlite") {
    sqlite3* db = nullptr;
    sqlite3_open(db_.c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  } else {
    test::RunSql(db_, "UPDATE rovena_schema SET version = 99");
  }
  try {
    archive::OpenArchive(db_, archive::Access::ReadWrite);
    ADD_FAILURE() << "opened";
  } catch (const archive::ArchiveError& e) {
    EXPECT_NE(std::string(e.what()).find("schema is version 99, newer than this Rovena knows (" + std::to_string(archive::kSchemaVersion) + ")"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(Cli("find --at 2006-03-01" + Db()).status, 1);
}

// Where longitudes wrap or crowd together, a box in degrees is not a circle in metres.
TEST_P(ArchiveBehaviour, FindsPassesAcrossTheDateLineAndOverThePole) {
  archive::RecordingEntry entry;
  entry.info.path = "/fleet/far.mpg";
  const std::pair<double, double> places[] = {{0, 179.9999}, {0, -179.9999}, {0, -179.99}, {89.9999, 0}, {89.9999, 180}};
  for (int i = 0; i < 5; ++i)
    entry.fixes.push_back({i + 1, 24 + i * 113, 1000.0 + i, places[i].first, places[i].second, 1.0, 1.0, true});
  const auto store = archive::OpenArchive(db_, archive::Access::ReadWrite);
  store->Store(entry);
  const auto dateLine = store->Passes({0, 180, 50, std::nullopt, std::nullopt});
  ASSERT_EQ(dateLine.size(), 1u);
  EXPECT_EQ(dateLine[0].firstPicture, 1);
  EXPECT_EQ(dateLine[0].lastPicture, 2);
  EXPECT_NEAR(dateLine[0].closest.distanceM, 11.1, 0.1);
  const auto pole = store->Passes({89.9999, 90, 50, std::nullopt, std::nullopt});
  ASSERT_EQ(pole.size(), 1u);
  EXPECT_EQ(pole[0].firstPicture, 4);
  EXPECT_EQ(pole[0].lastPicture, 5);
}

TEST_P(ArchiveBehaviour, LostServerConnectionFailsTheStoreWithoutAHalfRecording) {
  if (std::string(GetParam()) == "sqlite") GTEST_SKIP() << "a SQLite file has no connection to lose";
  const auto store = archive::OpenArchive(db_, archive::Access::ReadWrite);
  archive::RecordingEntry entry;
  entry.info.path = "/nowhere/lost.mpg";
  entry.fixes.resize(5000, archive::StoredFix{1, 24, 0.0, kLat, kLon, 1.0, 1.0, true});
  for (int i = 0; i < 5000; ++i) entry.fixes[i].picture = i + 1;
  test::RunSql(db_, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                    "WHERE datname = current_database() AND pid <> pg_backend_pid()");
  try {
    store->Store(entry);
    ADD_FAILURE() << "stored over a lost connection";
  } catch (const archive::ArchiveError& e) {
    EXPECT_NE(std::string(e.what()).find("connection"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(archive::OpenArchive(db_, archive::Access::ReadWrite)->Lookup(entry.info.path));
}

// Commands that only look open the archive read-only: what holds no archive is reported and
// left as it was, nothing can be stored, and an archive the user may only read still answers.
TEST_P(ArchiveBehaviour, LookingNeverWritesAndWorksOnAnArchiveThatIsOnlyReadable) {
  const bool sqlite = std::string(GetParam()) == "sqlite";
  if (sqlite) std::fclose(std::fopen(db_.c_str(), "w"));  // an empty file where the archive is named
  for (const char* look : {"find --at 2006-03-01", "verify"}) EXPECT_EQ(Cli(look + Db()).status, 1) << look;
  try {
    archive::OpenArchive(db_, archive::Access::ReadOnly);
    ADD_FAILURE() << "an empty database was taken for an archive";
  } catch (const archive::ArchiveError& e) {
    EXPECT_NE(std::string(e.what()).find("not a Rovena archive"), std::string::npos) << e.what();
  }
  if (sqlite) {
    EXPECT_EQ(fs::file_size(db_), 0u) << "no schema was written";
  }

  Drives();
  ASSERT_EQ(Cli("index " + Trip() + Db()).status, 0);
  archive::RecordingEntry entry;
  entry.info.path = "/nowhere/new.mpg";
  EXPECT_THROW(archive::OpenArchive(db_, archive::Access::ReadOnly)->Store(entry), archive::ArchiveError);
  EXPECT_FALSE(archive::OpenArchive(db_, archive::Access::ReadWrite)->Lookup(entry.info.path));
  if (!sqlite) return;

  // A shared copy: file and folder read-only, no side files, read by a user who may not write.
  fs::permissions(dir_, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(db_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(dir_, fs::perms::owner_write | fs::perms::others_write, fs::perm_options::remove);
  const auto find = test::Unprivileged(std::string(ROVENA_BIN_DIR) + "/rovena-cli find --at 2006-03-01T00:00:05Z" + Db());
  const auto verify = test::Unprivileged(std::string(ROVENA_BIN_DIR) + "/rovena-cli verify" + Db());
  if (!find || !verify) GTEST_SKIP() << "no unprivileged user to run as";
  const test::CommandOutput found = test::RunCommand(*find), verified = test::RunCommand(*verify);
  fs::permissions(dir_, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(found.status, 0) << found.output;
  EXPECT_NE(found.output.find(Trip() + "/a.mpg  picture 6"), std::string::npos) << found.output;
  EXPECT_EQ(verified.status, 0) << verified.output;
  EXPECT_FALSE(fs::exists(db_ + "-shm") || fs::exists(db_ + "-wal"));
}

// Names in any bytes are stored by both back ends (PostgreSQL's text must be UTF-8) and come
// back the same: as JSON python3 reads, and as "Rovena --at" words bash turns into the file.
TEST_P(ArchiveBehaviour, NamesInAnyBytesAreStoredFoundAndShownTheSame) {
  fs::create_directories(dir_ / "names");
  std::vector<std::string> wanted, json, words;
  for (std::size_t i = 0; i < test::kHostileNames.size(); ++i) {
    WriteDrive(dir_ / "names" / test::kHostileNames[i], {-1, 0, 1}, 100 * long(i));
    wanted.push_back((dir_ / "names" / test::kHostileNames[i]).string() + ":2");
    json.push_back(NameText(wanted.back()) + "\n");
  }
  const std::string dir = dir_.string();
  ASSERT_EQ(test::RunCli({"index", dir + "/names", "--db", db_}, dir).status, 0);
  const std::string found = test::RunCli({"find", "--near", "52.2,21.0", "--format", "json", "--db", db_}, dir).out;
  std::sort(json.begin(), json.end());
  EXPECT_EQ(test::Python("import json, sys\nfor f in sorted(f['recording'] + ':' + str(f['picture']) for f in "
                         "json.load(open(sys.argv[1]))): print(f)", found, dir),
            std::accumulate(json.begin(), json.end(), std::string()));
  const std::string text = test::RunCli({"find", "--near", "52.2,21.0", "--db", db_}, dir).out;
  EXPECT_TRUE(test::SafeForTerminal(text, dir)) << text;
  for (std::size_t at = 0; (at = text.find("Rovena --at ", at)) != std::string::npos; at += 12)
    words.push_back(test::RunProgram({"/bin/bash", "-c", "printf %s " + text.substr(at + 12, text.find('\n', at) - at - 12)}, dir).out);
  std::sort(words.begin(), words.end());
  std::sort(wanted.begin(), wanted.end());
  EXPECT_EQ(words, wanted);
  EXPECT_EQ(test::RunCli({"verify", "--db", db_}, dir).status, 0);
}

// A schema marker no Rovena writes is a damaged archive: one line says so.
TEST_P(ArchiveBehaviour, AnUnexpectedSchemaMarkerIsRefusedOnOneLine) {
  archive::OpenArchive(db_, archive::Access::ReadWrite);
  sqlite3* db = nullptr;
  const bool sqlite = std::string(GetParam()) == "sqlite";
  // SQLite's marker is its user_version, set below 0; PostgreSQL's a table, emptied, then NULL.
  for (const char* damage : {"DELETE FROM rovena_schema", "ALTER TABLE rovena_schema ALTER version DROP NOT NULL; "
                                                          "INSERT INTO rovena_schema VALUES (NULL)"}) {
    if (sqlite && sqlite3_open(db_.c_str(), &db) == SQLITE_OK) sqlite3_exec(db, "PRAGMA user_version = -1", nullptr, nullptr, nullptr);
    if (sqlite) sqlite3_close(db);
    else test::RunSql(db_, damage);
    const std::string why = test::RunCli({"find", "--at", "2006-03-01", "--db", db_}, dir_.string()).err;
    EXPECT_NE(why.find(sqlite ? "marker says version -1, which no Rovena writes" : "marker is missing or empty"), std::string::npos);
    EXPECT_EQ(std::count(why.begin(), why.end(), '\n'), 1) << why;
  }
}

// The server's refusal comes as one line naming the file, without libpq's DETAIL and CONTEXT.
TEST_P(ArchiveBehaviour, ARefusedStoreNamesTheFileOnOneLine) {
  if (std::string(GetParam()) == "sqlite") GTEST_SKIP() << "SQLite has no server to refuse";
  Drives();
  archive::OpenArchive(db_, archive::Access::ReadWrite);
  test::RunSql(db_, "ALTER TABLE fixes ADD CONSTRAINT refused CHECK (picture < 0)");
  EXPECT_EQ(test::RunCli({"index", Trip(), "--db", db_}, dir_.string()).err,
            "rovena-cli index: " + Trip() + "/a.mpg: archive: new row for relation \"fixes\" violates check constraint \"refused\"\n");
}

// Braking from 60 km/h over seconds 20-25 of a minute's drive east from the place, on two days.
void WriteBrakingDrives(const fs::path& folder) {
  fs::create_directories(folder);
  const auto braking = [](int t) { return test::DriveSecond{t < 20 ? 60.0 : std::max(0.0, 60.0 - 12 * (t - 20)), 90}; };
  ASSERT_TRUE(test::WriteScriptedDrive((folder / "monday.mpg").string(), 40, 1, braking, 0));
  ASSERT_TRUE(test::WriteScriptedDrive((folder / "tuesday.mpg").string(), 40, 1, braking, 86400));
}

TEST_P(ArchiveBehaviour, FindsStoredEventsByKindPlaceAndTime) {
  WriteBrakingDrives(dir_ / "events");
  ASSERT_EQ(Cli("index " + (dir_ / "events").string() + Db()).status, 0);
  const std::string monday = (dir_ / "events/monday.mpg").string(), tuesday = (dir_ / "events/tuesday.mpg").string();
  const auto row = [](const std::string& file, const std::string& day) {
    return "," + std::string("hard_braking,") + file + ",21," + file + ",26,2006-03-0" + day +
           "T00:00:20Z,52.200000,21.004892,3.3,m/s²\n";
  };
  const std::string header = "number,kind,recording,first_picture,last_recording,last_picture,time,latitude,longitude,value,unit\n";
  const auto find = [&](const std::string& more) { return Cli("find --event hard_braking --format csv" + more + Db()).out; };
  EXPECT_EQ(find(""), header + row(monday, "1") + row(tuesday, "2"));
  EXPECT_EQ(find(" --from 2006-03-01T12:00"), header + row(tuesday, "2"));
  EXPECT_EQ(find(" --near 52.2,21.0047 --radius 20 --to 2006-03-01T12:00"), header + row(monday, "1"));
  EXPECT_EQ(find(" --near 52.2,21.0 --radius 20"), header);
  // The stop at the end of each drive is its own kind; speeding is never stored.
  EXPECT_EQ(find(" --near 52.2,21.0 --radius 20").find("stop"), std::string::npos);
  EXPECT_EQ(Cli("find --event speeding" + Db()).status, 2);
  EXPECT_EQ(Cli("find --event braking" + Db()).status, 2);
}

// An archive indexed before events were kept gets them from its stored fixes when opened.
TEST_P(ArchiveBehaviour, OlderArchiveGetsTheEventsOfItsFixes) {
  WriteBrakingDrives(dir_ / "events");
  ASSERT_EQ(Cli("index " + (dir_ / "events").string() + Db()).status, 0);
  const std::string before = Cli("find --event hard_braking --format json" + Db()).out;
  const std::string older = std::to_string(archive::kFirstSchemaWithEvents - 1);
  if (std::string(GetParam()) == "sqlite") {
    sqlite3* db = nullptr;
    sqlite3_open(db_.c_str(), &db);
    sqlite3_exec(db, ("DROP TABLE events; PRAGMA user_version = " + older).c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
  } else {
    test::RunSql(db_, "DROP TABLE events; UPDATE rovena_schema SET version = " + older);
  }
  archive::OpenArchive(db_, archive::Access::ReadWrite);  // migrates
  EXPECT_EQ(Cli("find --event hard_braking --format json" + Db()).out, before);
  EXPECT_NE(before.find("\"first_picture\": 21"), std::string::npos) << before;
}

INSTANTIATE_TEST_SUITE_P(Backends, ArchiveBehaviour, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return std::string(info.param); });

TEST(ArchiveCommands, RefuseWhatTheyCannotUnderstandOrFindBeforeTouchingAnArchive) {
  test::ScratchDir scratch("rovena_archive_usage");
  const std::string db = " --db " + (scratch.Path() / "a.sqlite").string();
  for (const char* arguments : {"index", "index x --jobs 0", "find", "find --near 91,0", "find --near 52.2",
                                "find --near 52,21 --at 2006-03-01", "find --near 52,21 --from 2006-02-30",
                                "find --near 52,21 --from 2006-03-02 --to 2006-03-01", "find --at 2006-03-01T24:00",
                                "find --near 52,21 --radius 0", "find --near 52,21 --format xml", "verify --jobs 2"})
    EXPECT_EQ(Cli(arguments + db).status, 2) << arguments;
  // Looking up in an archive nobody built fails, and builds none.
  for (const char* arguments : {"find --near 52,21", "verify"}) EXPECT_EQ(Cli(arguments + db).status, 1) << arguments;
  EXPECT_FALSE(fs::exists(scratch.Path() / "a.sqlite"));
}

// Times come from the user: read in one pass, with a bound on their length.
TEST(ArchiveTimes, AcceptTheDocumentedFormsAndNothingLong) {
  EXPECT_EQ(archive::ParseIsoTime("2007-06-14 14:05:09.25Z"), 1181779200 + 50709.25);
  for (const char* bad : {"2007-06-14T14", "2007-06-14T14:05:", "2007-06-14T14:05.5", "2007-06-14T14:05:09.", "2007-06-14ZZ"})
    EXPECT_FALSE(archive::ParseIsoTime(bad)) << bad;
  EXPECT_FALSE(archive::ParseIsoTime("2007-06-14T14:05:00." + std::string(50000, '1') + "Z"));
}

// SQLite writes its journal, log and log index beside the archive: an index run opens no
// archive beside files of that name that are not its own, nor a database of something else,
// and a --db that is a URL is never taken for a file name.
TEST(ArchiveCommands, NeverWriteOverFilesThatAreNotTheArchive) {
  test::ScratchDir scratch("rovena_archive_files");
  const fs::path& dir = scratch.Path();
  fs::create_directory(dir / "in");
  WriteDrive(dir / "drive.mpg", {0, 1, 2}, 0);
  for (const char* side : {"arch-journal", "arch-wal", "arch-shm"}) fs::copy_file(dir / "drive.mpg", dir / "in" / side);
  EXPECT_EQ(Cli("index " + (dir / "in").string() + " --db " + (dir / "in/arch").string()).status, 1);
  EXPECT_FALSE(fs::exists(dir / "in/arch"));
  for (const char* side : {"arch-journal", "arch-wal", "arch-shm"})
    EXPECT_EQ(fs::file_size(dir / "in" / side), fs::file_size(dir / "drive.mpg")) << side;

  sqlite3* other = nullptr;
  sqlite3_open((dir / "other.db").c_str(), &other);
  sqlite3_exec(other, "CREATE TABLE notes (text)", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  const auto before = fs::file_size(dir / "other.db");
  EXPECT_EQ(Cli("index " + (dir / "drive.mpg").string() + " --db " + (dir / "other.db").string()).status, 1);
  EXPECT_EQ(fs::file_size(dir / "other.db"), before);

  const std::string here = "cd " + dir.string() + " && ";
  for (const char* url : {"PostgreSQL:///fleet?host=/nonexistent", "sqlite:///archive.sqlite", "file://archive"})
    EXPECT_EQ(std::system((here + ROVENA_BIN_DIR "/rovena-cli index drive.mpg --db '" + url + "' 2>/dev/null").c_str()),
              1 << 8) << url;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 3) << "in, drive.mpg, other.db and nothing else";
}

// Many copies of one drive, so an index run lasts long enough to be interrupted.
class SqliteArchiveUnderStress : public ::testing::Test {
 protected:
  static constexpr int kFiles = 60, kPictures = 300;
  void SetUp() override {
    std::vector<int> offsets(kPictures);
    for (int i = 0; i < kPictures; ++i) offsets[i] = i;
    WriteDrive(dir_ / "drive.mpg", offsets, 0);
    fs::create_directories(dir_ / "many");
    for (int i = 0; i < kFiles; ++i) fs::copy_file(dir_ / "drive.mpg", dir_ / "many" / ("r" + std::to_string(i) + ".mpg"));
  }
  // Every recording in the archive is whole: all its fixes are there.
  void ExpectOnlyWholeRecordings(std::size_t atLeast) {
    const auto archive = archive::OpenArchive(db_, archive::Access::ReadWrite);
    const auto recordings = archive->Recordings();
    EXPECT_GE(recordings.size(), atLeast);
    for (const auto& r : recordings) EXPECT_EQ(archive->FixCount(r.path), kPictures) << r.path;
  }
  std::string Index() const { return std::string(ROVENA_BIN_DIR) + "/rovena-cli index --jobs 2 --db " + db_ + " " + (dir_ / "many").string(); }

  test::ScratchDir scratch_{"rovena_archive_stress"};
  const fs::path& dir_ = scratch_.Path();
  const std::string db_ = (dir_ / "archive.sqlite").string();
};

TEST_F(SqliteArchiveUnderStress, KilledRunLeavesOnlyWholeRecordingsAndTheNextRunCompletes) {
  for (int delayMs : {30, 90, 200}) {
    const pid_t child = fork();
    if (child == 0) {
      execl("/bin/sh", "sh", "-c", ("exec " + Index() + " >/dev/null 2>&1").c_str(), nullptr);
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    if (fs::exists(db_)) ExpectOnlyWholeRecordings(0);
  }
  EXPECT_EQ(std::system((Index() + " >/dev/null 2>&1").c_str()), 0);
  ExpectOnlyWholeRecordings(kFiles);
  EXPECT_EQ(Cli("verify --db " + db_).status, 0);
}

TEST_F(SqliteArchiveUnderStress, TwoRunsAtOnceBothFinish) {
  FILE* first = popen((Index() + " >/dev/null 2>&1").c_str(), "r");
  FILE* second = popen((Index() + " >/dev/null 2>&1").c_str(), "r");
  EXPECT_EQ(pclose(first), 0);
  EXPECT_EQ(pclose(second), 0);
  ExpectOnlyWholeRecordings(kFiles);
}

}  // namespace
}  // namespace rovena
