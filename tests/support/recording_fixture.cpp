#include "recording_fixture.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace rovena::test {

namespace {

constexpr double kStartLat = 52.2300, kStartLon = 21.0100;  // near the middle of the map area
constexpr int kStartSecond = 8 * 3600 + 15 * 60;            // 08:15:00 UTC on 14.06.2007

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::string TempNameFor(const std::string& path) {
  return path + ".tmp." + std::to_string(::getpid());
}

// Runs a program by argument vector, with no shell; throws unless it exits with status 0.
void Run(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("command failed: " + argv[0] + " ... " + argv.back());
}

// "testsrc2,noise=..." -> "testsrc2=size=WxH:rate=25,noise=..."
std::string SourceWithSize(const std::string& source, int width, int height) {
  const size_t comma = source.find(',');
  const std::string head = source.substr(0, comma);
  const std::string tail = comma == std::string::npos ? "" : source.substr(comma);
  const std::string size = "size=" + std::to_string(width) + "x" + std::to_string(height) + ":rate=25";
  return head + (head.find('=') == std::string::npos ? "=" : ":") + size + tail;
}

uint32_t Fnv1a(const std::string& text) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
  return hash;
}

// ddmm.mmmm (or dddmm.mmmm) from decimal degrees.
std::string DegreesMinutes(double degrees, int degreeDigits) {
  const int whole = static_cast<int>(degrees);
  char text[32];
  std::snprintf(text, sizeof text, "%0*d%07.4f", degreeDigits, whole, (degrees - whole) * 60.0);
  return text;
}

struct DriveState {
  double lat, lon, knots, course;
};

// A car circling through town: speed varies between stops and ~55 km/h, the course turns
// slowly, so any length of drive stays well inside the map area.
DriveState DriveAt(int index) {
  DriveState s{kStartLat, kStartLon, 0, 90};
  for (int i = 0; i <= index; ++i) {
    s.knots = std::max(0.0, 15.0 * std::sin(i * 0.07) + 12.0);
    s.course = std::fmod(90.0 + i * 0.8, 360.0);
    const double metres = s.knots * 1852.0 / 3600.0;
    const double rad = s.course * M_PI / 180.0;
    s.lat += metres * std::cos(rad) / 111320.0;
    s.lon += metres * std::sin(rad) / (111320.0 * std::cos(s.lat * M_PI / 180.0));
  }
  return s;
}

std::string WithChecksum(const std::string& body) {
  unsigned sum = 0;
  for (unsigned char c : body.substr(1)) sum ^= c;
  char text[8];
  std::snprintf(text, sizeof text, "*%02X", sum);
  return body + text;
}

size_t NextStartCode(const std::vector<uint8_t>& s, size_t from) {
  for (size_t i = from; i + 3 < s.size(); ++i)
    if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) return i;
  return s.size();
}

void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& s, size_t from, size_t to) {
  out.insert(out.end(), s.begin() + static_cast<long>(from), s.begin() + static_cast<long>(to));
}

}  // namespace

bool FixtureFixIsValid(int index) { return index % 13 != 5; }

std::string FixtureSentence(int index) {
  const DriveState s = DriveAt(index);
  const int second = (kStartSecond + index) % 86400;
  char body[160];
  std::snprintf(body, sizeof body, "$GPRMC,%02d%02d%02d.000,%c,%s,N,%s,E,%.1f,%.1f,140607,,,%c",
                second / 3600, second / 60 % 60, second % 60, FixtureFixIsValid(index) ? 'A' : 'V',
                DegreesMinutes(s.lat, 2).c_str(), DegreesMinutes(s.lon, 3).c_str(), s.knots,
                s.course, FixtureFixIsValid(index) ? 'A' : 'N');
  return WithChecksum(body);
}

std::vector<uint8_t> RewriteToRecorderForm(const std::vector<uint8_t>& es,
                                           const std::vector<std::string>& sentences,
                                           std::vector<int64_t>* picturePositions) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> sequenceHeader, gopHeader;
  size_t picture = 0;
  for (size_t at = NextStartCode(es, 0); at < es.size();) {
    const uint8_t code = es[at + 3];
    size_t next = NextStartCode(es, at + 4);
    if (code == 0xB3) {
      sequenceHeader.assign(es.begin() + static_cast<long>(at), es.begin() + static_cast<long>(next));
    } else if (code == 0xB8) {
      gopHeader.assign(es.begin() + static_cast<long>(at), es.begin() + static_cast<long>(next));
    } else if (code == 0x00) {
      if (picture >= sentences.size()) throw std::runtime_error("more pictures than sentences");
      out.insert(out.end(), sequenceHeader.begin(), sequenceHeader.end());
      out.insert(out.end(), gopHeader.begin(), gopHeader.end());
      if (picturePositions) picturePositions->push_back(static_cast<int64_t>(out.size()) + 4);
      Append(out, es, at, next);
      const std::string& sentence = sentences[picture++];
      out.insert(out.end(), {0, 0, 1, 0xB2});
      out.insert(out.end(), sentence.begin(), sentence.end());
      out.push_back(0);
    } else if (code >= 0x01 && code <= 0xAF) {
      // The slice runs to the next header or picture (start codes inside slices cannot occur).
      while (next < es.size() && es[next + 3] >= 0x01 && es[next + 3] <= 0xAF)
        next = NextStartCode(es, next + 4);
      Append(out, es, at, next);
      out.insert(out.end(), {0, 0, 1, 0xB7});
    }
    at = next;
  }
  if (picture != sentences.size()) throw std::runtime_error("fewer pictures than sentences");
  return out;
}

std::string TestDataDir() {
  const std::string dir = ROVENA_TEST_DATA_DIR;
  std::filesystem::create_directories(dir);
  return dir;
}

std::string FolderOfItsOwn(const std::string& name) {
  const std::string dir = TestDataDir() + "/" + name;
  std::filesystem::create_directories(dir);
  return dir;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string temp = TempNameFor(path);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + temp);
  }
  std::filesystem::rename(temp, path);
}

std::vector<uint8_t> WithoutEndCode(std::vector<uint8_t> bytes, int n) {
  static const uint8_t kEndCode[] = {0, 0, 1, 0xB7};
  auto end = bytes.begin() - 1;
  for (int i = 0; i < n; ++i) end = std::search(end + 1, bytes.end(), std::begin(kEndCode), std::end(kEndCode));
  bytes.erase(end, end + 4);
  return bytes;
}

FixtureRecording MakeFfmpegRecording(const std::string& name, int width, int height, int pictures,
                                     const std::string& lavfiSource) {
  char key[96];
  std::snprintf(key, sizeof key, "_%dx%d_%d_%08x", width, height, pictures, Fnv1a(lavfiSource));
  const std::string base = TestDataDir() + "/" + name + key;
  FixtureRecording r;
  r.path = base + ".m1v";
  r.elementaryStreamPath = base + ".es.m1v";
  r.yuvPath = base + ".yuv";
  r.width = width;
  r.height = height;
  r.pictures = pictures;
  for (int i = 0; i < pictures; ++i) r.sentences.push_back(FixtureSentence(i));

  // The recording is renamed into place last, so its presence means the set is complete.
  if (!Exists(r.path)) {
    const std::string esTemp = TempNameFor(r.elementaryStreamPath);
    const std::string yuvTemp = TempNameFor(r.yuvPath);
    Run({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
         SourceWithSize(lavfiSource, width, height), "-frames:v", std::to_string(pictures),
         "-c:v", "mpeg1video", "-threads", "1", "-g", "1", "-qscale:v", "8", "-qmin", "8",
         "-qmax", "8", "-f", "mpeg1video", esTemp});
    Run({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-threads", "1", "-f", "mpegvideo",
         "-i", esTemp, "-f", "rawvideo", "-pix_fmt", "yuv420p", yuvTemp});
    const std::vector<uint8_t> recording = RewriteToRecorderForm(ReadWholeFile(esTemp), r.sentences);
    std::filesystem::rename(esTemp, r.elementaryStreamPath);
    std::filesystem::rename(yuvTemp, r.yuvPath);
    WriteFileAtomically(r.path, recording);
  }
  const std::vector<uint8_t> recording = RewriteToRecorderForm(ReadWholeFile(r.elementaryStreamPath), r.sentences, &r.picturePositions);
  r.fileLength = static_cast<int64_t>(recording.size());
  return r;
}

}  // namespace rovena::test
