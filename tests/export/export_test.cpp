// rovena-cli export checked with tools nobody here wrote: ffprobe and ffmpeg read the MP4 and
// the SRT, ffmpeg's psnr filter compares the pictures with our own decode, ffmpeg's drawtext
// renders the expected overlay text for comparison, xmllint and gpsbabel read the GPX, and
// sha256sum checks the integrity record.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>

#include "export/clip_export.h"
#include "core/gps_track.h"
#include "core/nmea.h"
#include "core/picture_decoder.h"
#include "core/recording.h"
#include "recording_fixture.h"
#include "tools/recording_writer.h"
#include "scratch_dir.h"

namespace rovena {
namespace {

namespace fs = std::filesystem;
using exporting::StyleFor;

struct Output {
  int status = -1;
  std::string text;  // stdout and stderr together
};

Output Capture(const std::string& command) {
  Output out;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.text.append(buffer, n);
  const int status = ::pclose(pipe);
  out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

Output Cli(const std::string& arguments) { return Capture(std::string(ROVENA_BIN_DIR) + "/rovena-cli " + arguments); }

double Number(const std::string& text, const std::string& pattern) {
  std::smatch match;
  return std::regex_search(text, match, std::regex(pattern)) ? std::stod(match[1]) : -1;
}

// Our decode of pictures from..to (1-based), top row first, as raw bgr24.
void WriteOwnDecode(const std::string& recordingPath, int from, int to, const std::string& rawPath) {
  Recording recording;
  std::string error;
  ASSERT_TRUE(recording.Open(recordingPath, error)) << error;
  PictureDecoder decoder;
  ASSERT_TRUE(decoder.CheckSize(recording.File()));
  std::ofstream raw(rawPath, std::ios::binary);
  for (int number = 1; number <= to && recording.FindStartUp(); ++number) {
    ASSERT_TRUE(recording.FindPicStart() && recording.ReadFrame(decoder.PicBuf()));
    if (number < from) continue;
    ASSERT_EQ(decoder.ShowPic(), PictureDecoder::PictureResult::Decoded);
    const int row = 3 * decoder.Width();
    for (int y = decoder.Height() - 1; y >= 0; --y)
      raw.write(reinterpret_cast<const char*>(decoder.FrameBuf.data()) + y * row, row);
  }
}

std::vector<std::uint8_t> Read(const std::string& path) { return test::ReadWholeFile(path); }

double GrayPsnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  double squares = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) squares += (a[i] - b[i]) * (a[i] - b[i]);
  return squares == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / squares);
}

class ExportChecks : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { source_ = new test::FixtureRecording(test::MakeFfmpegRecording("export_cif", 320, 240, 12)); }
  static void TearDownTestSuite() { delete source_; }

  // Pictures 2..11 with every overlay field; the sentences move one second per picture.
  Output Export(const std::string& name, const std::string& extra = "") {
    return Cli("export " + source_->path + " --from 2 --to 11 --overlay time,speed,position --tz UTC -o " +
               scratch_.File(name) + " " + extra);
  }
  // One picture of the MP4 (0-based), the band's rows only, as gray.
  std::vector<std::uint8_t> BandOf(const std::string& mp4, int index, int bandHeight) {
    const std::string gray = scratch_.File("band.gray");
    Capture("ffmpeg -nostdin -v error -y -i " + mp4 + " -vf \"select=eq(n\\," + std::to_string(index) +
            "),crop=iw:" + std::to_string(bandHeight) + ":0:ih-" + std::to_string(bandHeight) +
            "\" -frames:v 1 -f rawvideo -pix_fmt gray " + gray);
    return Read(gray);
  }
  // ffmpeg's drawtext of `text` on a black band, laid out as the export lays out its band.
  std::vector<std::uint8_t> ReferenceBand(const std::string& text, int width, int height) {
    const exporting::OverlayStyle style = StyleFor(height, {true, true, true});
    const std::string textFile = scratch_.File("expected.txt"), gray = scratch_.File("reference.gray");
    std::ofstream(textFile) << text;
    const Output run = Capture("ffmpeg -nostdin -v error -y -f lavfi -i color=black:s=" + std::to_string(width) + "x" +
                               std::to_string(style.bandHeight) + " -vf \"drawtext=font='DejaVu Sans Mono':fontsize=" +
                               std::to_string(style.fontSize) + ":fontcolor=white:x=(w-text_w)/2:y=" +
                               std::to_string(style.textTop) + ":line_spacing=" + std::to_string(style.lineSpacing) +
                               ":textfile=" + textFile + "\" -frames:v 1 -f rawvideo -pix_fmt gray " + gray);
    EXPECT_EQ(run.status, 0) << run.text;
    return Read(gray);
  }

  static test::FixtureRecording* source_;
  test::ScratchDir scratch_{"rovena_export"};
};

test::FixtureRecording* ExportChecks::source_ = nullptr;

TEST_F(ExportChecks, FfprobeSeesTheStreamsAtTheGpsPaceAndWorkersChangeNothing) {
  ASSERT_EQ(Export("one.mp4", "--jobs 1 --no-sidecars").status, 0);
  const Output run = Export("two.mp4", "--jobs 3");
  ASSERT_EQ(run.status, 0) << run.text;
  EXPECT_EQ(Read(scratch_.File("one.mp4")), Read(scratch_.File("two.mp4"))) << "three workers, the same clip";

  const Output probe = Capture("ffprobe -v error -count_packets -show_entries stream=codec_type,codec_name,width,height,"
                               "color_range,color_space,color_transfer,color_primaries,nb_read_packets:"
                               "format=duration -of compact " + scratch_.File("two.mp4"));
  ASSERT_EQ(probe.status, 0) << probe.text;
  // The band below the picture; BT.601 video range, as the planes are made.
  const int height = 240 + StyleFor(240, {true, true, true}).bandHeight;
  EXPECT_NE(probe.text.find("codec_name=h264|codec_type=video|width=320|height=" + std::to_string(height) +
                            "|color_range=tv|color_space=smpte170m|color_transfer=smpte170m|"
                            "color_primaries=smpte170m|nb_read_packets=10"),
            std::string::npos) << probe.text;
  // One subtitle sample per cue: the ten of the SRT.
  const std::vector<std::uint8_t> srt = Read(scratch_.File("two.srt"));
  EXPECT_EQ(std::count(srt.begin(), srt.end(), '>'), 10) << "cues in the SRT";
  EXPECT_NE(probe.text.find("codec_name=mov_text|codec_type=subtitle|width=N/A|height=N/A|nb_read_packets=10"),
            std::string::npos) << probe.text;
  EXPECT_EQ(std::count(probe.text.begin(), probe.text.end(), '\n'), 3) << "two streams and the format";
  // Ten pictures whose sentences lie one second apart; the last lasts as long as the others.
  EXPECT_NEAR(Number(probe.text, "duration=([0-9.]+)"), 10.0, 0.01) << probe.text;
  EXPECT_EQ(Export("over.mp4", "--band over --no-sidecars").status, 0);
  EXPECT_EQ(Capture("ffprobe -v error -select_streams v -show_entries stream=height -of csv=p=0 " +
                    scratch_.File("over.mp4")).text, "240\n") << "over the picture, as before";
}

TEST_F(ExportChecks, PicturesShowTheWindowsColoursAndTheBandBelowHoldsTheSentence) {
  ASSERT_EQ(Export("clip.mp4", "--no-sidecars").status, 0);
  const std::string ours = scratch_.File("ours.bgr");
  WriteOwnDecode(source_->path, 2, 11, ours);
  const int band = StyleFor(240, {true, true, true}).bandHeight;
  // Compared picture by picture, whatever each side's timestamps: the planes against the
  // window's pictures in ffmpeg's standard conversion, and the colours ffmpeg shows for the
  // clip (by its tags) against the window's, where the encoder's errors in the colour
  // differences count about twice (red and blue are made from them). Mean and worst.
  const std::string crop = "crop=320:240:0:0,settb=1,setpts=N";
  for (const auto& [format, mean, worst] : {std::tuple{"yuv420p", 42.0, 41.0}, std::tuple{"rgb24", 37.5, 35.0}}) {
    const Output psnr = Capture("ffmpeg -nostdin -hide_banner -f rawvideo -pix_fmt bgr24 -s 320x240 -i " + ours + " -i " +
                                scratch_.File("clip.mp4") + " -lavfi \"[0]" + crop + ",format=" + format + "[a];[1]" +
                                crop + ",format=" + format + "[b];[a][b]psnr\" -f null -");
    EXPECT_GE(Number(psnr.text, "average:([0-9.]+)"), mean) << psnr.text;
    EXPECT_GE(Number(psnr.text, "min:([0-9.]+)"), worst) << psnr.text;
    std::printf("  the whole picture, %s: %s\n", format, psnr.text.substr(psnr.text.rfind("PSNR")).c_str());
  }

  // Picture 5 of the recording is the fourth of the clip; its sentence as the window shows it.
  const NmeaDisplay shown = ParseNmea(source_->sentences[4]);
  const auto fix = ParseGprmc(source_->sentences[4]);
  ASSERT_TRUE(shown.speedText && fix && fix->latitude);
  char position[64];
  std::snprintf(position, sizeof position, "%.5f N  %.5f E", *fix->latitude, *fix->longitude);
  const std::string expected =
      exporting::LocalTimeText(fix->utcSeconds, TimeZone::Utc()) + "   " + *shown.speedText + "\n" + position;
  const std::vector<std::uint8_t> drawn = BandOf(scratch_.File("clip.mp4"), 3, band);
  ASSERT_EQ(drawn.size(), static_cast<std::size_t>(320 * band));
  const double right = GrayPsnr(drawn, ReferenceBand(expected, 320, 240));
  std::string wrong = expected;
  wrong[wrong.find(" km/h") - 1] ^= 1;  // one digit of the speed
  const double other = GrayPsnr(drawn, ReferenceBand(wrong, 320, 240));
  std::printf("  band against the expected text %.1f dB, against one wrong digit %.1f dB\n", right, other);
  EXPECT_GE(right, 36.0);
  EXPECT_GT(right - other, 8.0) << "one wrong digit is seen";

  // Over the picture, the band covers its bottom rows.
  ASSERT_EQ(Export("over.mp4", "--band over --no-sidecars").status, 0);
  const std::vector<std::uint8_t> covering = BandOf(scratch_.File("over.mp4"), 3, band);
  std::vector<std::uint8_t> source(covering.size());
  std::ifstream(source_->yuvPath, std::ios::binary)
      .seekg(4 * 320 * 240 * 3 / 2 + (240 - band) * 320)
      .read(reinterpret_cast<char*>(source.data()), static_cast<std::streamsize>(source.size()));
  EXPECT_LT(GrayPsnr(covering, source), 15.0) << "the band covers the picture";
  EXPECT_GE(GrayPsnr(covering, drawn), 36.0) << "the same band";
}

TEST_F(ExportChecks, SidecarsReadByOtherToolsAndTheRecordHoldsTheirHashes) {
  const Output run = Export("clip.mp4");
  ASSERT_EQ(run.status, 0) << run.text;
  EXPECT_EQ(Capture("xmllint --noout " + scratch_.File("clip.gpx")).status, 0);
  const Output points = Capture("gpsbabel -t -i gpx -f " + scratch_.File("clip.gpx") + " -o unicsv -F -");
  int valid = 0;
  for (int i = 1; i <= 10; ++i) valid += test::FixtureFixIsValid(i);
  EXPECT_EQ(std::count(points.text.begin(), points.text.end(), '\n'), valid + 1) << points.text;  // with a header
  const Output srt = Capture("ffprobe -v error -count_packets -show_entries stream=codec_name,nb_read_packets -of compact " +
                             scratch_.File("clip.srt"));
  EXPECT_EQ(srt.text, "stream|codec_name=subrip|nb_read_packets=10\n");

  std::ifstream in(scratch_.File("clip.json"));
  const nlohmann::json record = nlohmann::json::parse(in);
  EXPECT_EQ(record["stretch"][0]["first_picture"], 2);
  EXPECT_EQ(record["stretch"][0]["first_position"], source_->picturePositions[1]);
  std::vector<std::string> files = {record["sources"][0]["path"]};
  for (const auto& output : record["outputs"]) files.push_back(scratch_.File(output["path"]));
  ASSERT_EQ(files.size(), 4u);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string sha = i == 0 ? record["sources"][0]["sha256"] : record["outputs"][i - 1]["sha256"];
    EXPECT_EQ(Capture("sha256sum " + files[i]).text.substr(0, 64), sha) << files[i];
  }
  EXPECT_EQ(Cli("verify-export " + scratch_.File("clip.json")).status, 0);
  std::fstream(scratch_.File("clip.srt"), std::ios::in | std::ios::out | std::ios::binary).put('9');
  const Output altered = Cli("verify-export " + scratch_.File("clip.json"));
  EXPECT_EQ(altered.status, 1);
  EXPECT_NE(altered.text.find("clip.srt: DIFFERS"), std::string::npos) << altered.text;
}

TEST_F(ExportChecks, CutSidecarsRecordTheFragmentAndItsTrack) {
  const std::string fragment = scratch_.File("part.m1v");
  const Output run = Cli("cut " + source_->path + " --from 3 --to 7 -o " + fragment + " --sidecars");
  ASSERT_EQ(run.status, 0) << run.text;
  EXPECT_EQ(Capture("xmllint --noout " + scratch_.File("part.gpx")).status, 0);
  std::ifstream in(scratch_.File("part.json"));
  const nlohmann::json record = nlohmann::json::parse(in);
  EXPECT_EQ(record["kind"], "cut");
  // The positions the cut reports are those of the record.
  EXPECT_NE(run.text.find("positions " + std::to_string(record["stretch"][0]["first_position"].get<long long>()) +
                          " to " + std::to_string(record["stretch"][0]["last_position"].get<long long>())),
            std::string::npos) << run.text;
  ASSERT_EQ(record["outputs"].size(), 2u);
  EXPECT_EQ(record["outputs"][0]["path"], "part.m1v");
  EXPECT_EQ(Capture("sha256sum " + fragment).text.substr(0, 64), record["outputs"][0]["sha256"]);
  EXPECT_EQ(Cli("verify-export " + scratch_.File("part.json")).status, 0);
}

TEST(ExportDamage, DamagedPictureIsPassedOverListedAndWarnedAbout) {
  test::ScratchDir scratch("rovena_export_damage");
  RecordingWriter writer(320, 240);
  writer.AddPicture(MakeTestPattern(320, 240, 0), MakeGprmcSentence(0));
  writer.AddCodedPicture({0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, MakeGprmcSentence(1));  // no macroblock
  writer.AddPicture(MakeTestPattern(320, 240, 2), MakeGprmcSentence(2));
  const std::string recording = scratch.File("damaged.m1v");
  ASSERT_TRUE(writer.WriteFile(recording));
  const Output run = Cli("export " + recording + " --from 1 --to 3 -o " + scratch.File("clip.mp4"));
  EXPECT_EQ(run.status, 0) << run.text;
  EXPECT_NE(run.text.find("damaged.m1v: picture 2 (byte"), std::string::npos) << run.text;
  std::ifstream in(scratch.File("clip.json"));
  const nlohmann::json record = nlohmann::json::parse(in);
  ASSERT_EQ(record["damaged_pictures"].size(), 1u);
  EXPECT_EQ(record["damaged_pictures"][0]["picture"], 2);
  const Output probe = Capture("ffprobe -v error -count_packets -select_streams v -show_entries stream=nb_read_packets "
                               "-of csv=p=0 " + scratch.File("clip.mp4"));
  EXPECT_EQ(probe.text, "3\n") << "the picture before is held for its time";
  const Output nothing = Cli("export " + recording + " --from 2 --to 2 -o " + scratch.File("none.mp4"));
  EXPECT_EQ(nothing.status, 1) << "nothing of the stretch could be shown";
  EXPECT_FALSE(fs::exists(scratch.File("none.mp4")));
}

TEST(ExportTrip, StretchRunsAcrossTheTripsRecordingsInDrivingOrder) {
  test::ScratchDir scratch("rovena_export_trip");
  // Named against their driving order, which the GPS times decide.
  const char* names[] = {"c.m1v", "a.m1v", "b.m1v"};
  for (int file = 0; file < 3; ++file) {
    RecordingWriter writer(320, 240);
    for (int i = 4 * file; i < 4 * file + 4; ++i) writer.AddPicture(MakeTestPattern(320, 240, i), MakeGprmcSentence(i));
    ASSERT_TRUE(writer.WriteFile(scratch.File(names[file])));
  }
  const std::string clip = scratch.File("clip.mp4");
  const Output run = Cli("export " + scratch.Path().string() + " --from c.m1v:3 --to b.m1v:2 -o " + clip);
  ASSERT_EQ(run.status, 0) << run.text;
  const Output probe = Capture("ffprobe -v error -count_packets -select_streams v -show_entries "
                               "stream=nb_read_packets:format=duration -of csv=p=0 " + clip);
  EXPECT_EQ(probe.text, "8\n8.000000\n") << "2 + 4 + 2 pictures, one second each";
  std::ifstream in(scratch.File("clip.json"));
  const nlohmann::json record = nlohmann::json::parse(in);
  ASSERT_EQ(record["sources"].size(), 3u);
  EXPECT_EQ(fs::path(record["sources"][1]["path"].get<std::string>()).filename(), "a.m1v");
  EXPECT_EQ(record["stretch"][0]["first_picture"], 3);
  EXPECT_EQ(record["stretch"][1]["last_picture"], 4);
  EXPECT_EQ(record["stretch"][2]["last_picture"], 2);
  EXPECT_EQ(Cli("verify-export " + scratch.File("clip.json")).status, 0);
  EXPECT_EQ(Cli("export " + scratch.Path().string() + " --from b.m1v:1 --to a.m1v:1 -o " + clip).status, 1)
      << "backwards in driving order";
}

// Pictures first..last (as MakeGprmcSentence numbers them, one second apart) as `path`; a
// picture whose number is in `blind` has no sentence.
void WriteDrive(const std::string& path, int first, int last, const std::vector<int>& blind = {}) {
  RecordingWriter writer(320, 240);
  for (int i = first; i <= last; ++i)
    writer.AddPicture(MakeTestPattern(320, 240, i),
                      std::count(blind.begin(), blind.end(), i) ? "" : MakeGprmcSentence(i));
  ASSERT_TRUE(writer.WriteFile(path));
}

// MakeGprmcSentence(index) on 15 January 2006 instead, its checksum made anew.
std::string WinterSentence(int index) {
  std::string body = MakeGprmcSentence(index);
  body = body.substr(1, body.find('*') - 1);
  body.replace(body.find(",300306,"), 8, ",150106,");
  unsigned sum = 0;
  for (const char c : body) sum ^= static_cast<unsigned char>(c);
  char checksum[4];
  std::snprintf(checksum, sizeof checksum, "*%02X", sum);
  return "$" + body + checksum;
}

TEST(ExportZones, SubtitlesAndBandTellTheZonesTimeInSummerAndWinter) {
  test::ScratchDir scratch("rovena_export_zone");
  RecordingWriter winter(320, 240);
  for (int i = 0; i < 3; ++i) winter.AddPicture(MakeTestPattern(320, 240, i), WinterSentence(i));
  ASSERT_TRUE(winter.WriteFile(scratch.File("winter.m1v")));
  WriteDrive(scratch.File("summer.m1v"), 0, 2);
  // 22:34:16 UTC: the next day in Warsaw in summer (UTC+2) and in winter (UTC+1).
  for (const auto& [name, first] : {std::pair{"summer", "31.03.2006  00:34:16 CEST"},
                                    std::pair{"winter", "15.01.2006  23:34:16 CET"}}) {
    const std::string clip = scratch.File(std::string(name) + ".mp4");
    const Output run = Cli("export " + scratch.File(std::string(name) + ".m1v") + " --from 1 --to 3 --tz Europe/Warsaw -o " + clip);
    ASSERT_EQ(run.status, 0) << run.text;
    const std::string srt = Capture("cat " + scratch.File(std::string(name) + ".srt")).text;
    EXPECT_NE(srt.find(first), std::string::npos) << srt;
    std::ifstream in(scratch.File(std::string(name) + ".json"));
    const nlohmann::json record = nlohmann::json::parse(in);
    EXPECT_EQ(record["options"]["time_zone"], "Europe/Warsaw") << record.dump();
  }
  // Without --tz, the machine's zone.
  const Output local = Capture("TZ=America/New_York " + std::string(ROVENA_BIN_DIR) + "/rovena-cli export " +
                               scratch.File("winter.m1v") + " --from 1 --to 1 -o " + scratch.File("local.mp4"));
  ASSERT_EQ(local.status, 0) << local.text;
  EXPECT_NE(Capture("cat " + scratch.File("local.srt")).text.find("15.01.2006  17:34:16 EST"), std::string::npos);
  EXPECT_EQ(Cli("export " + scratch.File("winter.m1v") + " --from 1 --to 1 --tz Europe/Atlantis -o " +
                scratch.File("none.mp4")).status, 2);
  EXPECT_FALSE(fs::exists(scratch.File("none.mp4")));
}

TEST(ExportTimes, APictureWithoutASentenceIsShownForItsOwnSecondAndSaysSo) {
  test::ScratchDir scratch("rovena_export_blind");
  WriteDrive(scratch.File("in.m1v"), 0, 4, {2});
  const std::string clip = scratch.File("clip.mp4");
  ASSERT_EQ(Cli("export " + scratch.File("in.m1v") + " --from 1 --to 5 --tz UTC -o " + clip).status, 0);
  // Each picture is shown until the next one starts (the container's sample durations, which
  // ffprobe gives as decoding-time steps), the last for the usual second.
  const Output probe = Capture("ffprobe -v error -select_streams v -show_entries packet=dts_time,pts_time:stream=duration "
                               "-of csv=p=0 " + clip);
  EXPECT_EQ(probe.text, "0.000000,-2.000000\n4.000000,-1.000000\n2.000000,0.000000\n1.000000,1.000000\n"
                        "3.000000,2.000000\n5.000000\n") << probe.text;
  const std::string srt = Capture("cat " + scratch.File("clip.srt")).text;
  EXPECT_NE(srt.find("00:00:02,000 --> 00:00:03,000\n30.03.2006  22:34:18 UTC   brak GPS"), std::string::npos) << srt;
}

TEST(VerifyExport, TheReceiverChecksTheOutputsWithoutTheRecordings) {
  test::ScratchDir scratch("rovena_export_receiver");
  WriteDrive(scratch.File("in.m1v"), 0, 3);
  const std::string record = scratch.File("clip.json");
  ASSERT_EQ(Cli("export " + scratch.File("in.m1v") + " --from 1 --to 4 -o " + scratch.File("clip.mp4")).status, 0);
  EXPECT_EQ(Cli("verify-export --outputs-only " + record).status, 0);
  fs::rename(scratch.File("in.m1v"), scratch.File("elsewhere.m1v"));
  const Output alone = Cli("verify-export " + record);
  EXPECT_EQ(alone.status, 0) << alone.text;
  EXPECT_NE(alone.text.find("no source recording is here"), std::string::npos) << alone.text;
  EXPECT_EQ(alone.text.find("MISSING"), std::string::npos) << alone.text;
  // One byte of the clip changed, then put back.
  std::fstream clip(scratch.File("clip.mp4"), std::ios::in | std::ios::out | std::ios::binary);
  clip.seekg(1000);
  const char was = static_cast<char>(clip.get());
  clip.seekp(1000).put(static_cast<char>(was ^ 1)).flush();
  for (const char* how : {"", "--outputs-only "}) {
    const Output changed = Cli(std::string("verify-export ") + how + record);
    EXPECT_EQ(changed.status, 1) << how;
    EXPECT_NE(changed.text.find("clip.mp4: DIFFERS"), std::string::npos) << changed.text;
  }
  clip.seekp(1000).put(was).flush();
  EXPECT_EQ(Cli("verify-export --outputs-only " + record).status, 0);
  // A source that is here is still checked when not asked otherwise.
  std::ofstream(scratch.File("in.m1v")) << "another recording";
  EXPECT_EQ(Cli("verify-export " + record).status, 1);
}

TEST(CutJoin, TheJoinIsTheCutsOfEachRecordingOneAfterAnother) {
  test::ScratchDir scratch("rovena_cut_join");
  const fs::path dir = scratch.Path() / "trip";
  fs::create_directory(dir);
  const auto at = [&](const char* name) { return (dir / name).string(); };
  WriteDrive(at("c.m1v"), 0, 3);
  WriteDrive(at("a.m1v"), 4, 7);
  WriteDrive(at("b.m1v"), 8, 11);
  ASSERT_EQ(Cli("cut " + dir.string() + " --from c.m1v:3 --to b.m1v:2 -o " + scratch.File("joined.m1v") + " --sidecars").status, 0);
  std::vector<std::uint8_t> pieces;
  for (const char* cut : {"c.m1v --from 3 --to 4", "a.m1v --from 1 --to 4", "b.m1v --from 1 --to 2"}) {
    ASSERT_EQ(Cli("cut " + (dir / cut).string() + " -o " + scratch.File("piece.m1v")).status, 0) << cut;
    const std::vector<std::uint8_t> piece = Read(scratch.File("piece.m1v"));
    pieces.insert(pieces.end(), piece.begin(), piece.end());
    fs::remove(scratch.File("piece.m1v"));
  }
  EXPECT_EQ(Read(scratch.File("joined.m1v")), pieces);
  EXPECT_EQ(Capture("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 " +
                    scratch.File("joined.m1v")).text, "8\n");
  EXPECT_EQ(Cli("verify-export " + scratch.File("joined.json")).status, 0);

  // After a break in driving (d.m1v starts a minute after b.m1v ends): only when asked.
  WriteDrive(at("d.m1v"), 72, 75);
  const std::string across = scratch.File("across.m1v");
  const Output refused = Cli("cut " + dir.string() + " --from b.m1v:1 --to d.m1v:2 -o " + across);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.text.find("--across-gaps"), std::string::npos) << refused.text;
  EXPECT_FALSE(fs::exists(across));
  EXPECT_EQ(Cli("cut " + dir.string() + " --from b.m1v:1 --to d.m1v:2 -o " + across + " --across-gaps").status, 0);
  // The export's track breaks there as track's does.
  ASSERT_EQ(Cli("export " + dir.string() + " --from b.m1v:1 --to d.m1v:2 -o " + scratch.File("clip.mp4")).status, 0);
  const auto segments = [](const std::string& gpx) {
    std::size_t n = 0;
    for (std::size_t at = gpx.find("<trkseg>"); at != std::string::npos; at = gpx.find("<trkseg>", at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(segments(Capture("cat " + scratch.File("clip.gpx")).text), 2u);
  EXPECT_EQ(segments(Cli("track " + dir.string() + " --format gpx").text), 2u) << "c, a and b; then d";

  // A recording of another picture size does not join.
  RecordingWriter small(176, 144);
  for (int i = 76; i < 78; ++i) small.AddPicture(MakeTestPattern(176, 144, i), MakeGprmcSentence(i));
  ASSERT_TRUE(small.WriteFile(at("e.m1v")));
  EXPECT_EQ(Cli("cut " + dir.string() + " --from d.m1v:1 --to e.m1v:2 -o " + scratch.File("sizes.m1v")).status, 1);
  EXPECT_FALSE(fs::exists(scratch.File("sizes.m1v")));
}

// in.m1v in `scratch`: eight pictures with enough detail that their clip is not tiny.
std::string DetailedRecording(const test::ScratchDir& scratch) {
  RecordingWriter writer(320, 240);
  for (int i = 0; i < 8; ++i) writer.AddPicture(MakeDetailedPattern(320, 240, i), MakeGprmcSentence(i));
  const std::string recording = scratch.File("in.m1v");
  EXPECT_TRUE(writer.WriteFile(recording));
  return recording;
}

TEST(ExportLeavesNothingBehind, CancelDiskFullAndAnOutputOverTheInput) {
  test::ScratchDir scratch("rovena_export_partial");
  const std::string recording = DetailedRecording(scratch);
  const auto onlyTheRecording = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(scratch.Path())) names.push_back(entry.path().filename());
    return names == std::vector<std::string>{"in.m1v"};
  };

  exporting::ExportRequest request;
  request.ranges = {{recording, 1, 8}};
  request.output = scratch.File("clip.mp4");
  const exporting::ExportResult cancelled = exporting::ExportClip(request, [](std::int64_t done, std::int64_t) { return done < 4; });
  EXPECT_TRUE(cancelled.cancelled);
  EXPECT_TRUE(onlyTheRecording());

  // A file size limit makes the writes fail as a full disk does.
  const Output full = Capture("bash -c \"trap '' XFSZ; ulimit -f 8; exec " + std::string(ROVENA_BIN_DIR) +
                              "/rovena-cli export " + recording + " --from 1 --to 8 -o " + scratch.File("clip.mp4") + "\"");
  EXPECT_EQ(full.status, 1) << full.text;
  EXPECT_TRUE(onlyTheRecording());

  const auto before = Read(recording);
  EXPECT_EQ(Cli("export " + recording + " --from 1 --to 2 -o " + recording + " --no-sidecars").status, 1);
  EXPECT_EQ(Read(recording), before);
  EXPECT_TRUE(onlyTheRecording());
}

// The clip and its sidecars are one set: a failed export leaves none of the new set and an
// older set of the same name as it was; a recording that changes while it is exported fails
// the export.
TEST(ExportLeavesNothingBehind, AnOlderSetStaysAndAChangingRecordingFailsTheExport) {
  test::ScratchDir scratch("rovena_export_sets");
  const std::string recording = DetailedRecording(scratch);
  ASSERT_EQ(Cli("export " + recording + " --from 1 --to 8 -o " + scratch.File("set.mp4")).status, 0);
  const auto set = [&] {
    std::string all;
    for (const char* extension : {".mp4", ".srt", ".gpx", ".json"}) {
      const auto bytes = Read(scratch.File(std::string("set") + extension));
      all.append(bytes.begin(), bytes.end());
    }
    return all;
  };
  const std::string older = set();
  const Output full = Capture("bash -c \"trap '' XFSZ; ulimit -f 8; exec " + std::string(ROVENA_BIN_DIR) +
                              "/rovena-cli export " + recording + " --from 1 --to 4 --force -o " + scratch.File("set.mp4") + "\"");
  EXPECT_EQ(full.status, 1) << full.text;
  EXPECT_EQ(set(), older);
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.Path()), {}), 5) << "the recording and the older set only";

  exporting::ExportRequest request;
  request.ranges = {{recording, 1, 8}};
  request.output = scratch.File("changed.mp4");
  const exporting::ExportResult result = exporting::ExportClip(request, [&](std::int64_t done, std::int64_t) {
    if (done == 3) fs::resize_file(recording, fs::file_size(recording) / 2);
    return true;
  });
  EXPECT_NE(result.error.find("in.m1v: changed while it was exported"), std::string::npos) << result.error;
  EXPECT_FALSE(fs::exists(scratch.File("changed.mp4")) || fs::exists(scratch.File("changed.json")));
}

// Every recording of the trip read is an input, not only those of the stretch: no file of
// the set may replace one, --force or not.
TEST(ExportTrip, NoFileOfTheSetLandsOnARecordingOfTheTrip) {
  test::ScratchDir scratch("rovena_export_trip_inputs");
  for (int file = 0; file < 3; ++file) {
    RecordingWriter writer(320, 240);
    for (int i = 2 * file; i < 2 * file + 2; ++i) writer.AddPicture(MakeTestPattern(320, 240, i), MakeGprmcSentence(i));
    ASSERT_TRUE(writer.WriteFile(scratch.File("r" + std::to_string(file) + ".m1v")));
  }
  fs::copy_file(scratch.File("r2.m1v"), scratch.File("clip.gpx"));  // a recording, whatever its name
  const auto before = Read(scratch.File("r2.m1v"));
  const std::string trip = "export " + scratch.Path().string() + " --from r0.m1v:1 --to r0.m1v:2 --force -o ";
  const Output onRecording = Cli(trip + scratch.File("r2.m1v") + " --no-sidecars");
  EXPECT_EQ(onRecording.status, 1);
  EXPECT_NE(onRecording.text.find("refusing to write over"), std::string::npos) << onRecording.text;
  EXPECT_EQ(Cli(trip + scratch.File("clip.mp4")).status, 1) << "its GPX would replace clip.gpx";
  EXPECT_EQ(Read(scratch.File("r2.m1v")), before);
  EXPECT_EQ(Read(scratch.File("clip.gpx")), before);
  EXPECT_FALSE(fs::exists(scratch.File("clip.mp4")));
}

// Each worker holds one recording open at a time, however long the trip.
TEST(ExportTrip, ALongTripNeedsFewOpenFiles) {
  test::ScratchDir scratch("rovena_export_long_trip");
  constexpr int kRecordings = 60;
  for (int file = 0; file < kRecordings; ++file) {
    RecordingWriter writer(320, 240);
    writer.AddPicture(MakeTestPattern(320, 240, file % 8), MakeGprmcSentence(file));
    char name[16];
    std::snprintf(name, sizeof name, "r%02d.m1v", file);
    ASSERT_TRUE(writer.WriteFile(scratch.File(name)));
  }
  const std::string few = "bash -c 'ulimit -n 32; exec " + std::string(ROVENA_BIN_DIR) + "/rovena-cli ";
  const Output exported = Capture(few + "export " + scratch.Path().string() + " --from r00.m1v:1 --to r59.m1v:1 --jobs 4 -o " +
                                  scratch.File("clip.mp4") + "'");
  EXPECT_EQ(exported.status, 0) << exported.text;
  const Output tracked = Capture(few + "track " + scratch.Path().string() + " --jobs 4 -o " + scratch.File("t.csv") + "'");
  EXPECT_EQ(tracked.status, 0) << tracked.text;
}

TEST(ClipTimes, GpsTimesGapsBackwardsTimesAndAFixedPace) {
  using exporting::PictureTimesMs;
  using V = std::vector<std::int64_t>;
  const auto s = [](int second) { return MakeGprmcSentence(second); };
  // No time: placed between its neighbours, each picture shown for its own second; the last
  // for the usual interval.
  EXPECT_EQ(PictureTimesMs({s(0), s(1), "", s(3)}, 0.1, {}), (V{0, 1000, 2000, 3000, 4000}));
  EXPECT_EQ(PictureTimesMs({s(2), s(1), s(2)}, 0.1, {}), (V{0, 100, 200, 300})) << "never backwards nor equal";
  EXPECT_EQ(PictureTimesMs({"", s(0), s(1)}, 0.1, {}), (V{0, 1000, 2000, 3000})) << "placed before the first time";
  EXPECT_EQ(PictureTimesMs({s(0)}, 0.25, {}), (V{0, 250}));
  EXPECT_EQ(PictureTimesMs({s(0), s(9), ""}, 0.1, 0.5), (V{0, 500, 1000, 1500}));
  // 30 March 2006, 22:34:16 UTC: already summer time in Warsaw, and the next day there.
  std::string error;
  const auto warsaw = TimeZone::Named("Europe/Warsaw", error);
  ASSERT_TRUE(warsaw) << error;
  const std::vector<std::string> sentences = {s(0), "", s(2)};
  const auto texts = exporting::OverlayTexts(sentences, exporting::ReadClock(sentences, 0.1), {true, true, false}, *warsaw);
  EXPECT_EQ(texts[0].rfind("31.03.2006  00:34:16 CEST   ", 0), 0u) << texts[0];
  EXPECT_EQ(texts[1], "31.03.2006  00:34:17 CEST   brak GPS");
  EXPECT_EQ(exporting::OverlayTexts({""}, exporting::ReadClock({""}, 0.1), {true, true, true}, *warsaw),
            std::vector<std::string>{"brak GPS"}) << "no time to place it by, and never an empty band";
  EXPECT_TRUE(exporting::ParseOverlayList("position,time").has_value());
  EXPECT_FALSE(exporting::ParseOverlayList("time,time").has_value());
  EXPECT_FALSE(exporting::ParseOverlayList("").has_value());
  EXPECT_FALSE(exporting::ParseOverlayList("none").value().any());
}

}  // namespace
}  // namespace rovena
