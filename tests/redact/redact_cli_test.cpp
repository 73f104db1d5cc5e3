// rovena-cli redact as a user runs it: proposals for a stretch written as a boxes file, with
// pictures numbered as cut numbers them, and the project's exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include <opencv2/imgproc.hpp>

#include "plate_fixture.h"
#include "redact/boxes.h"
#include "redact/cover.h"
#include "scratch_dir.h"

namespace rovena::redact {
namespace {

int RunCli(const std::string& arguments) {
  const int status = std::system((std::string(ROVENA_BIN_DIR) + "/rovena-cli " + arguments + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
int RunRedact(const std::string& arguments) { return RunCli("redact " + arguments); }

// The MP4's pictures as grey, read by ffmpeg.
std::vector<cv::Mat> GreyPictures(const std::string& mp4, const std::string& raw, int width, int height) {
  const std::string command = "ffmpeg -nostdin -v error -y -i " + mp4 + " -fps_mode passthrough -f rawvideo -pix_fmt gray " + raw;
  if (std::system(command.c_str()) != 0) return {};
  std::ifstream in(raw, std::ios::binary);
  std::vector<cv::Mat> pictures;
  for (cv::Mat picture(height, width, CV_8UC1); in.read(reinterpret_cast<char*>(picture.data), width * height);
       picture = cv::Mat(height, width, CV_8UC1))
    pictures.push_back(picture);
  return pictures;
}

TEST(RedactCommand, WritesTheProposalsOfAStretch) {
  test::ScratchDir dir("rovena_redact_cli");
  const std::vector<cv::Mat> road = test::DemoPictures(dir.Path().string(), 6);
  std::vector<test::PlateScene> scenes;
  std::vector<cv::Mat> drawn;
  for (std::uint32_t i = 0; i < road.size(); ++i) {
    scenes.push_back(test::MakePlateScene(road[i], {100 + 10 * static_cast<int>(i)}, i));
    drawn.push_back(scenes.back().picture);
  }
  const std::vector<cv::Mat> stored = test::ThroughRecorder(drawn, dir.Path().string());  // writes plates.m1v
  const std::string recording = dir.File("plates.m1v"), output = dir.File("clip.boxes.json");

  ASSERT_EQ(RunRedact(recording + " --from 2 --to 5 -o " + output + " --detect plates --jobs 2 --quiet"), 0);
  BoxFile boxes;
  ASSERT_EQ(ReadBoxesFile(output, boxes), "");
  EXPECT_TRUE(boxes.reviewed.empty());
  ASSERT_EQ(boxes.detectors.size(), 1u) << "the file names what proposed its boxes";
  EXPECT_TRUE(boxes.detectors[0].name.starts_with("plates")) << boxes.detectors[0].name;
  std::vector<int> found(road.size() + 1);
  for (const Box& box : boxes.boxes) {
    EXPECT_EQ(box.where.recording, "plates.m1v");
    ASSERT_TRUE(box.where.picture >= 2 && box.where.picture <= 5) << box.where.picture;
    EXPECT_TRUE(box.kind == BoxKind::Plate && box.origin == BoxOrigin::Detected && !box.confirmed);
    found[box.where.picture] += test::Finds(box.rect, scenes[box.where.picture - 1].plates.front());
  }
  for (int picture = 2; picture <= 5; ++picture) EXPECT_EQ(found[picture], 1) << "picture " << picture;

  EXPECT_EQ(RunRedact(recording + " --from 2 --to 5 -o " + output + " --detect cars"), 2);
  EXPECT_EQ(RunRedact(recording + " --from 5 --to 2 -o " + output), 2);
  EXPECT_EQ(RunRedact(recording + " --from 2 --to 9 -o " + output), 1);  // past the recording's end
  EXPECT_EQ(RunRedact(recording + " --from 1 --to 2 -o " + recording), 1);  // never over an input
  BoxFile unchanged;
  ASSERT_EQ(ReadBoxesFile(output, unchanged), "");
  EXPECT_EQ(unchanged, boxes);

  // The export covers the boxes for good: in the MP4 nothing of a plate is left, and the
  // rest of the picture is the picture up to the encoder's loss.
  const std::string clip = dir.File("clip.mp4");
  ASSERT_EQ(RunCli("export " + recording + " --from 2 --to 5 -o " + clip + " --overlay none --no-sidecars --redact " + output), 0);
  const std::vector<cv::Mat> exported = GreyPictures(clip, dir.File("clip.gray"), 640, 480);
  ASSERT_EQ(exported.size(), 4u);
  for (int picture = 2; picture <= 5; ++picture) {
    cv::Mat original;
    cv::cvtColor(stored[picture - 1], original, cv::COLOR_BGR2GRAY);
    const cv::Mat& covered = exported[picture - 2];
    const Rect plate = scenes[picture - 1].plates.front();
    const cv::Rect bounds(plate.x, plate.y, plate.w, plate.h);
    // Nothing of the plate is left: its area is black but for the encoder's noise of a level
    // (which never saw the plate). That noise may still correlate with anything, so the
    // correlation only counts where the area is not flat.
    const double correlation = test::Correlation(covered(bounds), original(bounds));
    double darkest = 0, brightest = 0;
    cv::minMaxLoc(covered(bounds), &darkest, &brightest);
    EXPECT_LE(brightest, 2) << "picture " << picture;
    if (brightest - darkest > 1) {
      EXPECT_LT(std::abs(correlation), 0.2) << "picture " << picture;
    }
    RecordProperty("mp4_plate_correlation_" + std::to_string(picture), std::to_string(correlation));
    cv::Mat rest(480, 640, CV_8UC1, cv::Scalar(255));
    for (const Box& box : boxes.boxes) {
      if (box.where.picture != picture) continue;
      // The covered area and 4 pixels around it, where the encoder rings at the new edge.
      const Rect area = CoveredArea({box.rect.x - 4, box.rect.y - 4, box.rect.w + 8, box.rect.h + 8}, 640, 480, 1);
      rest(cv::Rect(area.x, area.y, area.w, area.h)).setTo(0);
    }
    EXPECT_GT(cv::PSNR(covered & rest, original & rest), 35) << "picture " << picture;
  }
}

// The record of an export lists what was covered and on whose word, and verify-export
// re-checks the boxes file where it is found; a receiver without it is not failed.
TEST(RedactCommand, TheRecordProvesWhatWasCoveredAndVerifyExportChecksTheBoxesFile) {
  test::ScratchDir dir("rovena_redact_record");
  const std::vector<cv::Mat> road = test::DemoPictures(dir.Path().string(), 3);
  std::vector<cv::Mat> drawn;
  for (std::uint32_t i = 0; i < road.size(); ++i) drawn.push_back(test::MakePlateScene(road[i], {120}, i).picture);
  test::ThroughRecorder(drawn, dir.Path().string());
  const std::string recording = dir.File("plates.m1v"), boxesPath = dir.File("clip.boxes.json");
  BoxFile reviewed;
  reviewed.boxes = {{{"plates.m1v", 1}, {10, 20, 30, 40}, BoxKind::Face, BoxOrigin::Drawn, true},
                    {{"plates.m1v", 2}, {50, 60, 70, 20}, BoxKind::Plate, BoxOrigin::Detected, true},
                    {{"plates.m1v", 3}, {1, 1, 9, 9}, BoxKind::Other, BoxOrigin::Drawn, true}};
  reviewed.reviewed = {{"plates.m1v", 1}, {"plates.m1v", 2}};
  reviewed.detectors = {{"plates: test", {{"least width", "40"}}}};
  ASSERT_EQ(WriteBoxesFile(boxesPath, reviewed, IfExists::Refuse), "");
  ASSERT_EQ(RunCli("export " + recording + " --from 1 --to 2 -o " + dir.File("clip.mp4") + " --redact " + boxesPath), 0);
  ASSERT_EQ(RunCli("export " + recording + " --from 1 --to 2 -o " + dir.File("auto.mp4") + " --redact plates"), 0);

  // Python's reader checks both records against the boxes file's bytes.
  const std::string script = dir.File("check.py");
  std::ofstream(script) << R"(import hashlib, json, sys
folder = sys.argv[1]
r = json.load(open(folder + '/clip.json'))['redaction']
assert r['boxes_file']['sha256'] == hashlib.sha256(open(folder + '/clip.boxes.json', 'rb').read()).hexdigest(), r
assert r['boxes_file']['path'].endswith('/clip.boxes.json'), r
assert [(b['picture'], b['x'], b['y'], b['w'], b['h'], b['kind'], b['origin'], b['confirmed']) for b in r['covered_boxes']]     == [(1, 10, 20, 30, 40, 'face', 'drawn', True), (2, 50, 60, 70, 20, 'plate', 'detected', True)], r
assert r['reviewed_by_a_person'] and r['pictures'] == 2, r
assert r['reviewed_pictures'] == [{'recording': 'plates.m1v', 'picture': 1}, {'recording': 'plates.m1v', 'picture': 2}], r
assert r['detectors'] == [{'name': 'plates: test', 'parameters': {'least width': '40'}}], r
assert 'note' not in r and '20 %' in r['covering'], r
a = json.load(open(folder + '/auto.json'))['redaction']
assert a['boxes_file'] is None and not a['reviewed_by_a_person'] and a['reviewed_pictures'] == [], a
assert 'without a person' in a['note'] and a['detectors'][0]['name'].startswith('plates'), a
assert a['covered_boxes'] and all(b['origin'] == 'detected' and not b['confirmed'] for b in a['covered_boxes']), a
# The band says what the record says, in the subtitles' words too.
assert 'bez przeglądu' in open(folder + '/auto.srt', encoding='utf-8').read()
assert 'bez przeglądu' not in open(folder + '/clip.srt', encoding='utf-8').read()
)";
  EXPECT_EQ(std::system(("python3 " + script + " " + dir.Path().string()).c_str()), 0);

  const std::string record = dir.File("clip.json");
  EXPECT_EQ(RunCli("verify-export " + record), 0);
  std::filesystem::rename(boxesPath, dir.File("elsewhere.json"));
  EXPECT_EQ(RunCli("verify-export " + record), 0) << "the receiver of the clip alone has no boxes file";
  // Received as a set in another folder, the boxes file beside the record is the one checked.
  const std::filesystem::path received = dir.Path() / "received";
  std::filesystem::create_directory(received);
  for (const char* name : {"clip.mp4", "clip.srt", "clip.gpx", "clip.json"})
    std::filesystem::copy_file(dir.File(name), received / name);
  std::filesystem::copy_file(dir.File("elsewhere.json"), received / "clip.boxes.json");
  EXPECT_EQ(RunCli("verify-export " + (received / "clip.json").string()), 0);
  std::ofstream(received / "clip.boxes.json", std::ios::app) << " ";
  EXPECT_EQ(RunCli("verify-export " + (received / "clip.json").string()), 1) << "a changed boxes file fails";
}

}  // namespace
}  // namespace rovena::redact
