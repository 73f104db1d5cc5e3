// The archive's costs, measured side by side with their physical limits in the same run:
//   1. indexing recordings from the page cache, beside `cat` (memory bandwidth), `sha256sum`
//      and `openssl dgst -sha256` (the hash) of the same files, in MB/s of wall time and per CPU
//      second;
//   2. `find` (passes within 50 m, and hard braking within 1 km or in a week) on a synthetic
//      archive of many fixes, SQLite and PostgreSQL;
//   3. the database size per hour of recording.
// Usage: bench_archive [--fixes N] [--index-mb M] [--no-postgres]
#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "postgres_server.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
namespace ar = rovena::archive;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double ChildCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A recording of the recorder's shape: per picture the headers, a sentence and 40 KB of coded
// data in which 00 00 01 never occurs, as in a real slice.
void WriteRecording(const fs::path& path, std::size_t bytes, std::mt19937& rng) {
  const std::string sentence = "$GPRMC,081500.000,A,5213.8000,N,02100.6054,E,12.0,90.0,140607,,,A*65";
  std::vector<std::uint8_t> out;
  std::vector<std::uint8_t> slice(40000);
  while (out.size() < bytes) {
    out.insert(out.end(), {0, 0, 1, 0xB3, 0x28, 0x01, 0xE0, 0x13, 0xFF, 0xFF, 0xE0, 0x18, 0, 0, 1, 0xB8, 0x00,
                           0x08, 0x00, 0x40, 0, 0, 1, 0x00, 0x00, 0x0F, 0xFF, 0xF8, 0, 0, 1, 0xB2});
    out.insert(out.end(), sentence.begin(), sentence.end());
    out.insert(out.end(), {0, 0, 0, 1, 0x01});
    for (auto& b : slice) b = static_cast<std::uint8_t>(rng() % 255 + 1);
    out.insert(out.end(), slice.begin(), slice.end());
    out.insert(out.end(), {0, 0, 1, 0xB7});
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(out.data(), 1, out.size(), f);
  std::fclose(f);
}

struct Timed {
  double wall = 0, cpu = 0;
};
// Best of three runs of a shell command.
Timed Time(const std::string& command) {
  Timed best{1e9, 1e9};
  for (int i = 0; i < 3; ++i) {
    const double cpu0 = ChildCpuSeconds();
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
    const Timed t{Seconds(start), ChildCpuSeconds() - cpu0};
    if (t.wall < best.wall) best = t;
  }
  return best;
}

void IndexThroughput(const fs::path& dir, int megabytes) {
  std::mt19937 rng(7);
  fs::create_directories(dir / "rec");
  const int files = 8;
  std::string list;
  double totalMb = 0;
  for (int i = 0; i < files; ++i) {
    const fs::path path = dir / "rec" / ("r" + std::to_string(i) + ".mpg");
    WriteRecording(path, static_cast<std::size_t>(megabytes) * 1000000 / files, rng);
    list += " " + path.string();
    totalMb += fs::file_size(path) / 1e6;
  }
  std::system(("cat" + list + " > /dev/null").c_str());  // into the page cache
  const std::string cli = std::string(ROVENA_BIN_DIR) + "/rovena-cli";
  const std::string db = (dir / "throughput.sqlite").string();
  const std::string fresh = "rm -f " + db + "*; ";
  struct Row {
    const char* name;
    std::string command;
  };
  const Row rows[] = {
      {"cat", "cat" + list + " > /dev/null"},
      {"sha256sum", "sha256sum" + list + " > /dev/null"},
      // The same SHA-256 code the index uses (libcrypto, with the CPU's SHA instructions).
      {"openssl sha256", "openssl dgst -sha256" + list + " > /dev/null"},
      {"index --jobs 1", fresh + cli + " index --jobs 1 --db " + db + " " + (dir / "rec").string() + " > /dev/null"},
      {"index --jobs 2", fresh + cli + " index --jobs 2 --db " + db + " " + (dir / "rec").string() + " > /dev/null"},
  };
  std::printf("Index throughput, %d recordings, %.0f MB from the page cache (best of 3):\n", files, totalMb);
  std::printf("  %-16s %8s %10s %8s %12s %14s\n", "", "wall s", "MB/s", "CPU s", "MB/CPU-s", "CPU vs sha256");
  double shaCpu = 0;
  for (const Row& row : rows) {
    const Timed t = Time(row.command);
    if (std::strcmp(row.name, "sha256sum") == 0) shaCpu = t.cpu;
    std::printf("  %-16s %8.3f %10.0f %8.3f %12.0f %14s\n", row.name, t.wall, totalMb / t.wall, t.cpu, totalMb / t.cpu,
                shaCpu > 0 ? (std::to_string(t.cpu / shaCpu).substr(0, 4) + "x").c_str() : "");
  }
}

// Drives of one hour each (a fix a second) wandering at town speeds over a 28 x 27 km area,
// spread over a year. Every 5000th fix becomes a place to search.
struct Synthetic {
  std::vector<std::pair<double, double>> queries;
  std::int64_t fixes = 0;
};
Synthetic Fill(ar::Archive& archive, std::int64_t fixes) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> unit(0, 1);
  Synthetic s;
  for (int r = 0; s.fixes < fixes; ++r) {
    ar::RecordingEntry entry;
    entry.info.path = "/fleet/vehicle" + std::to_string(r % 50) + "/drive" + std::to_string(r) + ".mpg";
    entry.info.trip = "/fleet/vehicle" + std::to_string(r % 50);
    entry.info.sha256 = std::string(64, '0');
    double lat = 52.10 + 0.25 * unit(rng), lon = 20.85 + 0.40 * unit(rng), heading = 6.283 * unit(rng);
    const double start = 1.17e9 + 3.15e7 * unit(rng);
    const int count = static_cast<int>(std::min<std::int64_t>(3600, fixes - s.fixes));
    double metres = 8 + 10 * unit(rng);  // this second's, at town speeds
    for (int i = 0; i < count; ++i) {
      heading += 0.2 * (unit(rng) - 0.5);
      // Speed wanders by up to 1 m/s²; every ten minutes the driver brakes hard for 3 s.
      metres = i % 600 > 0 && i % 600 <= 3 ? std::max(0.0, metres - 4) : std::clamp(metres + unit(rng) - 0.5, 3.0, 20.0);
      // Turning back at the area's edges keeps the density even (clamping would pile fixes up there).
      const double nextLat = lat + metres * std::cos(heading) / 111195, nextLon = lon + metres * std::sin(heading) / 68300;
      if (nextLat < 52.10 || nextLat > 52.35) heading = 3.14159265 - heading;
      if (nextLon < 20.85 || nextLon > 21.25) heading = -heading;
      lat += metres * std::cos(heading) / 111195;
      lon += metres * std::sin(heading) / 68300;
      entry.fixes.push_back({i + 1, 24 + i * 40000LL, start + i, lat, lon, metres * 3.6, 0.0, true});
      if ((s.fixes + i) % 5000 == 0) s.queries.emplace_back(lat, lon);
    }
    entry.info.pictures = count;
    entry.info.firstTime = start;
    entry.info.lastTime = start + count - 1;
    s.fixes += count;
    archive.Store(entry);
  }
  return s;
}

// Runs `query` at each place; prints the median, 90th percentile and largest time, and the
// mean number of answers.
void Latencies(const char* what, const Synthetic& s, const std::function<std::size_t(double, double)>& query) {
  std::vector<double> ms;
  std::size_t answers = 0;
  for (const auto& [lat, lon] : s.queries) {
    const auto t = Clock::now();
    answers += query(lat, lon);
    ms.push_back(Seconds(t) * 1000);
  }
  std::sort(ms.begin(), ms.end());
  std::printf("             %-36s median %6.2f ms, 90%% %6.2f ms, max %6.2f ms (%zu queries, %.1f answers each)\n",
              what, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back(), ms.size(), double(answers) / ms.size());
}

void FindMedian(const char* name, ar::Archive& archive, std::int64_t fixes, const std::function<double()>& bytes) {
  const auto start = Clock::now();
  const Synthetic s = Fill(archive, fixes);
  const double build = Seconds(start);
  std::printf("  %-10s %9lld fixes built in %6.1f s; %.2f MB per hour of recording\n", name,
              static_cast<long long>(s.fixes), build, bytes() / 1e6 / (s.fixes / 3600.0));
  Latencies("find 50 m (passes)", s, [&](double lat, double lon) {
    return archive.Passes({lat, lon, 50, std::nullopt, std::nullopt}).size();
  });
  const auto events = [&](std::optional<ar::PlaceQuery> near, std::optional<double> from, std::optional<double> to) {
    return archive.Events({rovena::EventKind::kHardBraking, near, from, to}).size();
  };
  Latencies("find --event hard_braking 1 km", s, [&](double lat, double lon) {
    return events(ar::PlaceQuery{lat, lon, 1000, std::nullopt, std::nullopt}, std::nullopt, std::nullopt);
  });
  Latencies("find --event hard_braking, one week", s, [&](double lat, double) {
    const double from = 1.17e9 + 3.15e7 * (lat - 52.10) / 0.25;  // a week somewhere in the year
    return events(std::nullopt, from, from + 7 * 86400);
  });
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::int64_t fixes = 10'000'000;
  int indexMb = 400;
  bool postgres = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--fixes" && i + 1 < argc) fixes = std::stoll(argv[++i]);
    else if (arg == "--index-mb" && i + 1 < argc) indexMb = std::stoi(argv[++i]);
    else if (arg == "--no-postgres") postgres = false;
    else return std::fprintf(stderr, "usage: bench_archive [--fixes N] [--index-mb M] [--no-postgres]\n"), 2;
  }
  char pattern[] = "/tmp/rovena_bench_archive_XXXXXX";
  const fs::path dir = mkdtemp(pattern);
  if (indexMb > 0) IndexThroughput(dir, indexMb);
  std::fflush(stdout);

  std::printf("Synthetic archive, one fix a second (an hour of recording = 3600 fixes):\n");
  const std::string sqlitePath = (dir / "find.sqlite").string();
  {
    auto archive = ar::OpenSqliteArchive(sqlitePath, ar::Access::ReadWrite);
    FindMedian("SQLite", *archive, fixes, [&] {
      sqlite3* db = nullptr;
      sqlite3_open(sqlitePath.c_str(), &db);
      sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
      sqlite3_close(db);
      return double(fs::file_size(sqlitePath));
    });
  }
  if (postgres) {
    rovena::test::PostgresServer server;
    const std::string url = server.NewDatabase();
    auto archive = ar::OpenPostgresArchive(url, ar::Access::ReadWrite);
    FindMedian("PostgreSQL", *archive, fixes, [&] {
      PGconn* conn = PQconnectdb(url.c_str());
      PGresult* r = PQexec(conn, "SELECT pg_total_relation_size('fixes') + pg_total_relation_size('recordings')");
      const double bytes = PQresultStatus(r) == PGRES_TUPLES_OK ? std::stod(PQgetvalue(r, 0, 0)) : 0;
      PQclear(r);
      PQfinish(conn);
      return bytes;
    });
  }
  fs::remove_all(dir);
  return 0;
}
