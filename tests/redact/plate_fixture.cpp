#include "plate_fixture.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <filesystem>
#include <stdexcept>

#include <opencv2/imgproc.hpp>

#include "core/picture_decoder.h"
#include "core/recording.h"
#include "redact/cover.h"
#include "tools/demo_drive.h"
#include "tools/recording_writer.h"

namespace rovena::test {
namespace {

// A narrow bold sans, close to the lettering on European plates (fonts-liberation).
constexpr const char* kPlateFont = "/usr/share/fonts/truetype/liberation/LiberationSansNarrow-Bold.ttf";
// A plate is 520 x 110 mm; the layout below is in millimetres.
constexpr double kPlateMm = 520, kPlateHeightMm = 110;
// Plates are drawn this many times larger than asked and scaled down, as a lens would.
constexpr int kOversample = 4;

// The ink of `text` at about `pixels` high, white on black, cut to its bounds.
cv::Mat RenderText(const std::string& text, int pixels) {
  FT_Library library;
  FT_Face face;
  if (FT_Init_FreeType(&library)) throw std::runtime_error("FreeType does not start");
  if (FT_New_Face(library, kPlateFont, 0, &face)) {
    FT_Done_FreeType(library);
    throw std::runtime_error(std::string("cannot load ") + kPlateFont + " (install fonts-liberation)");
  }
  FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels));
  cv::Mat ink = cv::Mat::zeros(pixels * 2, pixels * static_cast<int>(text.size()) + pixels, CV_8UC1);
  int penX = pixels / 4;
  const int baseline = pixels * 3 / 2;
  for (const char c : text) {
    if (FT_Load_Char(face, static_cast<unsigned char>(c), FT_LOAD_RENDER)) continue;
    const FT_Bitmap& glyph = face->glyph->bitmap;
    const int left = penX + face->glyph->bitmap_left, top = baseline - face->glyph->bitmap_top;
    for (unsigned row = 0; row < glyph.rows; ++row)
      for (unsigned column = 0; column < glyph.width; ++column) {
        const int x = left + static_cast<int>(column), y = top + static_cast<int>(row);
        if (x >= 0 && y >= 0 && x < ink.cols && y < ink.rows)
          ink.at<std::uint8_t>(y, x) = std::max(ink.at<std::uint8_t>(y, x), glyph.buffer[row * glyph.pitch + column]);
      }
    penX += static_cast<int>(face->glyph->advance.x >> 6);
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  return ink(cv::boundingRect(ink));
}

// A registration as Polish plates have them: two or three letters of the district, then five
// characters.
std::string RandomRegistration(std::mt19937& random) {
  const std::string letters = "ABCDEFGHIJKLMNOPRSTUWXYZ", digits = "0123456789";
  const auto pick = [&](const std::string& from) { return from[random() % from.size()]; };
  std::string text{pick(letters), pick(letters)};
  if (random() % 3 == 0) text += pick(letters);
  text += ' ';
  for (int i = 0; i < 5; ++i) text += random() % 4 == 0 ? pick(letters) : pick(digits);
  return text;
}

// The plate face-on, `width` * kOversample pixels wide, BGR.
cv::Mat DrawPlate(int width, std::mt19937& random) {
  const double mm = width * kOversample / kPlateMm;
  const auto at = [&](double millimetres) { return static_cast<int>(millimetres * mm + 0.5); };
  cv::Mat plate(at(kPlateHeightMm), at(kPlateMm), CV_8UC3, cv::Scalar(245, 245, 240));
  cv::rectangle(plate, cv::Rect(0, 0, plate.cols, plate.rows), cv::Scalar(20, 20, 20), std::max(1, at(2)));
  const cv::Rect band(at(2), at(2), at(42), plate.rows - at(4));
  cv::rectangle(plate, band, cv::Scalar(153, 51, 0), cv::FILLED);
  for (int star = 0; star < 12; ++star) {  // the ring of yellow stars
    const double angle = star * CV_PI / 6;
    cv::circle(plate, {at(23 + 11 * std::cos(angle)), at(36 + 11 * std::sin(angle))}, std::max(1, at(1.6)),
               cv::Scalar(0, 204, 255), cv::FILLED);
  }
  const cv::Mat code = RenderText("PL", at(40));
  cv::Mat codeArea = plate(cv::Rect(at(10), at(70), at(26), at(26)));
  cv::Mat codeInk;
  cv::resize(code, codeInk, codeArea.size(), 0, 0, cv::INTER_AREA);
  codeArea.setTo(cv::Scalar(255, 255, 255), codeInk > 96);
  // The characters: 75 mm high, fitted into the plate's white part.
  const cv::Mat text = RenderText(RandomRegistration(random), at(100));
  const int textHeight = at(75);
  const int textWidth = std::min(at(455), text.cols * textHeight / text.rows);
  cv::Mat ink;
  cv::resize(text, ink, cv::Size(textWidth, textHeight), 0, 0, cv::INTER_AREA);
  cv::Mat textArea = plate(cv::Rect(at(50) + (at(465) - textWidth) / 2, at(17), textWidth, textHeight));
  for (int y = 0; y < textArea.rows; ++y)
    for (int x = 0; x < textArea.cols; ++x) {
      const int weight = ink.at<std::uint8_t>(y, x);  // black ink, anti-aliased edges
      for (std::uint8_t& value : textArea.at<cv::Vec3b>(y, x).val) value = static_cast<std::uint8_t>((value * (255 - weight) + 15 * weight) / 255);
    }
  return plate;
}

// A car's rear around the plate: body, rear window, lights and bumper.
void DrawCar(cv::Mat& picture, const cv::Rect& car, std::mt19937& random) {
  static const std::array<cv::Scalar, 7> kPaints = {cv::Scalar(40, 40, 40),  cv::Scalar(30, 30, 150),
                                                    cv::Scalar(120, 60, 20), cv::Scalar(180, 180, 180),
                                                    cv::Scalar(230, 230, 230), cv::Scalar(20, 80, 30),
                                                    cv::Scalar(90, 90, 100)};
  cv::rectangle(picture, car, kPaints[random() % kPaints.size()], cv::FILLED);
  cv::rectangle(picture, {car.x + car.width / 8, car.y + car.height / 12, car.width * 3 / 4, car.height / 3},
                cv::Scalar(50, 45, 40), cv::FILLED);
  for (const int x : {car.x + car.width / 20, car.x + car.width * 33 / 40})
    cv::rectangle(picture, {x, car.y + car.height / 2, car.width / 8, car.height / 8}, cv::Scalar(20, 20, 200),
                  cv::FILLED);
  cv::rectangle(picture, {car.x, car.y + car.height * 5 / 6, car.width, car.height / 6}, cv::Scalar(25, 25, 25),
                cv::FILLED);
}

// Draws `plate` into `picture` centred on `centre`, `width` pixels wide, turned about the
// vertical axis (one side shorter), rolled slightly, and returns the bounds of its corners.
redact::Rect PlacePlate(cv::Mat& picture, const cv::Mat& plate, cv::Point2f centre, int width, std::mt19937& random) {
  std::uniform_real_distribution<float> turn(-0.12f, 0.12f), roll(-0.05f, 0.05f);
  const float height = width * static_cast<float>(kPlateHeightMm / kPlateMm), side = turn(random), angle = roll(random);
  std::array<cv::Point2f, 4> corners = {cv::Point2f(-width / 2.f, -height / 2 * (1 + side)),
                                        cv::Point2f(width / 2.f, -height / 2 * (1 - side)),
                                        cv::Point2f(width / 2.f, height / 2 * (1 - side)),
                                        cv::Point2f(-width / 2.f, height / 2 * (1 + side))};
  for (cv::Point2f& corner : corners)
    corner = centre + cv::Point2f(corner.x * std::cos(angle) - corner.y * std::sin(angle),
                                  corner.x * std::sin(angle) + corner.y * std::cos(angle));
  const std::array<cv::Point2f, 4> source = {cv::Point2f(0, 0), cv::Point2f(plate.cols, 0),
                                             cv::Point2f(plate.cols, plate.rows), cv::Point2f(0, plate.rows)};
  const cv::Mat transform = cv::getPerspectiveTransform(source.data(), corners.data());
  cv::Mat smoothed, warped, mask;
  cv::GaussianBlur(plate, smoothed, cv::Size(), kOversample / 2.0);  // no aliasing when scaled down
  cv::warpPerspective(smoothed, warped, transform, picture.size(), cv::INTER_LINEAR);
  cv::warpPerspective(cv::Mat(plate.size(), CV_8UC1, cv::Scalar(255)), mask, transform, picture.size(),
                      cv::INTER_LINEAR);
  warped.copyTo(picture, mask > 128);
  const cv::Rect bounds = cv::boundingRect(std::vector<cv::Point2f>(corners.begin(), corners.end()));
  return {bounds.x, bounds.y, bounds.width, bounds.height};
}

// Every picture of a recording in display colours, top row first.
std::vector<cv::Mat> DecodeRecording(const std::string& path) {
  Recording recording;
  std::string error;
  if (!recording.Open(path, error)) throw std::runtime_error(path + ": " + error);
  PictureDecoder decoder;
  if (!decoder.CheckSize(recording.File())) throw std::runtime_error(path + ": no picture size");
  recording.File().SetCurrentPosition(1);
  std::vector<cv::Mat> pictures;
  while (recording.FindStartUp() && recording.FindPicStart() && recording.ReadFrame(decoder.PicBuf())) {
    if (decoder.ShowPic() != PictureDecoder::PictureResult::Decoded) throw std::runtime_error(path + ": a picture failed");
    cv::Mat bottomUp(decoder.Height(), decoder.Width(), CV_8UC3, decoder.FrameBuf.data()), picture;
    cv::flip(bottomUp, picture, 0);
    pictures.push_back(picture);
  }
  return pictures;
}

}  // namespace

std::vector<cv::Mat> DemoPictures(const std::string& folder, int count) {
  const std::string path = (std::filesystem::path(folder) / "demo.m1v").string();
  if (const std::string error = WriteDemoRecording(path, 640, 480, count, IfExists::Replace); !error.empty())
    throw std::runtime_error(error);
  return DecodeRecording(path);
}

PlateScene MakePlateScene(const cv::Mat& background, const std::vector<int>& widths, std::uint32_t seed) {
  std::mt19937 random(seed);
  // The largest first: a small car always finds room beside a large one, not the other way.
  PlateScene scene{background.clone(), {}, widths};
  std::sort(scene.widths.rbegin(), scene.widths.rend());
  std::vector<cv::Rect> cars;
  for (const int width : scene.widths) {
    const cv::Size carSize(width * 13 / 5, width * 11 / 10);
    cv::Rect car;
    for (int attempt = 0;; ++attempt) {
      if (attempt == 200) throw std::runtime_error("no room for a plate " + std::to_string(width) + " wide");
      car = {static_cast<int>(random() % (scene.picture.cols - carSize.width)),
             scene.picture.rows / 2 + static_cast<int>(random() % (scene.picture.rows / 2 - carSize.height)), carSize.width,
             carSize.height};
      if (std::none_of(cars.begin(), cars.end(), [&](const cv::Rect& other) { return (other & car).area() > 0; })) break;
    }
    cars.push_back(car);
    DrawCar(scene.picture, car, random);
    const cv::Point2f centre(car.x + car.width / 2.f, car.y + car.height * 0.68f);
    scene.plates.push_back(PlacePlate(scene.picture, DrawPlate(width, random), centre, width, random));
    // Out of focus a little, as a fixed-focus lens is for anything close.
    std::uniform_real_distribution<double> focus(0.3, 0.9);
    cv::Mat region = scene.picture(car);
    cv::GaussianBlur(region, region, cv::Size(), focus(random));
  }
  cv::Mat noise(scene.picture.size(), CV_16SC3);
  cv::randn(noise, cv::Scalar::all(0), cv::Scalar::all(3 + random() % 4));
  cv::Mat noisy;
  scene.picture.convertTo(noisy, CV_16SC3);
  cv::Mat(noisy + noise).convertTo(scene.picture, CV_8UC3);
  return scene;
}

std::vector<cv::Mat> ThroughRecorder(const std::vector<cv::Mat>& pictures, const std::string& folder) {
  const std::string path = (std::filesystem::path(folder) / "plates.m1v").string();
  RecordingWriter writer(pictures.front().cols, pictures.front().rows);
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    cv::Mat rgb;
    cv::cvtColor(pictures[i], rgb, cv::COLOR_BGR2RGB);
    writer.AddRgbPicture(std::vector<std::uint8_t>(rgb.datastart, rgb.dataend), MakeGprmcSentence(static_cast<int>(i)));
  }
  if (!writer.WriteFile(path)) throw std::runtime_error("cannot write " + path);
  return DecodeRecording(path);
}

bool Finds(const redact::Rect& detected, const redact::Rect& plate) {
  const redact::Rect grown = redact::EnlargedBox(detected);
  const cv::Rect covered = cv::Rect(grown.x, grown.y, grown.w, grown.h) & cv::Rect(plate.x, plate.y, plate.w, plate.h);
  const double plateArea = static_cast<double>(plate.w) * plate.h;
  return covered.area() >= 0.9 * plateArea && static_cast<double>(detected.w) * detected.h <= 4 * plateArea;
}

bool OnSomePlate(const redact::Rect& detected, const std::vector<redact::Rect>& plates) {
  const cv::Rect box(detected.x, detected.y, detected.w, detected.h);
  return std::any_of(plates.begin(), plates.end(), [&](const redact::Rect& plate) {
    return 2 * (box & cv::Rect(plate.x, plate.y, plate.w, plate.h)).area() >= box.area();
  });
}

double Correlation(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat fa, fb;
  a.convertTo(fa, CV_64F);
  b.convertTo(fb, CV_64F);
  cv::Scalar meanA, sdA, meanB, sdB;
  cv::meanStdDev(fa, meanA, sdA);
  cv::meanStdDev(fb, meanB, sdB);
  if (sdA[0] == 0 || sdB[0] == 0) return 0;
  return cv::mean((fa - meanA[0]).mul(fb - meanB[0]))[0] / (sdA[0] * sdB[0]);
}

}  // namespace rovena::test
