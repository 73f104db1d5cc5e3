// Real recordings for the tests: ffmpeg's own MPEG-1 encoder, rewritten into the recorder's
// form (every picture its own sequence, with a $GPRMC sentence as user data and a sequence end
// code). ffmpeg's decode of the same stream serves as an independent reference picture.
//
// Files are generated on first use into ROVENA_TEST_DATA_DIR and reused afterwards; each is
// written under a temporary name and renamed, so tests running in parallel never see half a
// file. Failures (ffmpeg missing, a bad source) throw std::runtime_error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rovena::test {

struct FixtureRecording {
  std::string path;                  // the recording in the recorder's form
  std::string elementaryStreamPath;  // ffmpeg's encoder output, as it came
  std::string yuvPath;               // ffmpeg's yuv420p decode of it, pictures back to back
  int width = 0;
  int height = 0;
  int pictures = 0;
  std::vector<std::string> sentences;      // the user data of each picture, in order
  std::vector<int64_t> picturePositions;   // 1-based position of each picture's start code 00
  int64_t fileLength = 0;
};

// Encodes `pictures` intra pictures of width x height at quantiser 8 from an ffmpeg lavfi
// source and rewrites them into the recorder's form. `lavfiSource` is a source name, optionally
// with options and a filter chain: "testsrc2", "mandelbrot", "testsrc2,noise=alls=40:allf=t".
// The size and rate are added to the source. `name` prefixes the cached files' names.
FixtureRecording MakeFfmpegRecording(const std::string& name, int width, int height, int pictures,
                                     const std::string& lavfiSource = "testsrc2");

// The sentence the fixture stores with picture `index` (0-based): a drive at town speeds inside
// 52.03..52.41 N, 20.79..21.35 E, one fix per second, status "V" for indices 5, 18, 31, ...
std::string FixtureSentence(int index);
bool FixtureFixIsValid(int index);

// Rewrites an MPEG-1 elementary stream (one picture per group, single slice) into the
// recorder's form: sequence header, GOP header, picture header, user data 00 00 01 B2 +
// sentence + one zero byte, the slice data, 00 00 01 B7. Needs one sentence per picture.
// Appends the 1-based position of each picture start code's 00 byte to *picturePositions.
std::vector<uint8_t> RewriteToRecorderForm(const std::vector<uint8_t>& elementaryStream,
                                           const std::vector<std::string>& sentences,
                                           std::vector<int64_t>* picturePositions = nullptr);

// The folder for generated test files (created when missing).
std::string TestDataDir();
// A folder `name` inside it for one recording by itself, so that the window sees no trip of
// other test recordings around it (created when missing).
std::string FolderOfItsOwn(const std::string& name);
std::vector<uint8_t> ReadWholeFile(const std::string& path);
// Writes to a temporary name beside `path`, then renames it into place.
void WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);
// `bytes` without its `n`th sequence end code (1-based): in a recording, picture n's, so that
// picture runs on into the next.
std::vector<uint8_t> WithoutEndCode(std::vector<uint8_t> bytes, int n);

}  // namespace rovena::test
