// What the GPS labels show for a captured sentence.
#include <gtest/gtest.h>

#include <clocale>

#include "core/nmea.h"

namespace rovena {
namespace {

constexpr const char* kSentence = "$GPRMC,223416.000,A,5214.1234,N,02100.5678,E,12.5,270.0,300306,,,A";

std::string WithField(std::string sentence, const std::string& from, const std::string& to) {
  return sentence.replace(sentence.find(from), from.size(), to);
}

TEST(ParseNmea, FullSentence) {
  const NmeaDisplay shown = ParseNmea(kSentence);
  EXPECT_TRUE(shown.isGprmc);
  EXPECT_EQ(shown.timeText, "30.03.2006  22:34:16");
  EXPECT_EQ(shown.speedText, "23 km/h");
  EXPECT_EQ(shown.latText, "5214.1234");
  EXPECT_EQ(shown.lonText, "02100.5678");
  EXPECT_TRUE(shown.gpsValid);

  const NmeaDisplay invalid = ParseNmea(WithField(kSentence, ",A,", ",V,"));
  EXPECT_FALSE(invalid.gpsValid);
  EXPECT_EQ(invalid.timeText, shown.timeText);
  EXPECT_EQ(invalid.latText, shown.latText);
}

TEST(ParseNmea, SpeedRoundsKnotsToWholeKilometresPerHour) {
  const std::pair<const char*, const char*> cases[] = {
      {"27", "50 km/h"},    {"0", "0 km/h"},     {"", "0 km/h"},    {"abc", "0 km/h"},
      {"0.27", "1 km/h"},   {"0.26", "0 km/h"},  {"1e1", "19 km/h"}, {"-1", "-2 km/h"},
      {"150.0", "278 km/h"},
  };
  for (const auto& [knots, shown] : cases)
    EXPECT_EQ(ParseNmea(WithField(kSentence, ",12.5,", std::string(",") + knots + ",")).speedText,
              shown)
        << knots;
}

TEST(ParseNmea, ShortSentencesStopAtTheFirstMissingComma) {
  const NmeaDisplay noDate = ParseNmea("$GPRMC,223416.000,A,5214.1234,N,02100.5678,E,12.5,270.0");
  EXPECT_EQ(noDate.timeText, "22:34:16");
  EXPECT_EQ(noDate.speedText, "23 km/h");

  const NmeaDisplay noSpeedEnd = ParseNmea("$GPRMC,223416.000,A,5214.1234,N,02100.5678,E,12.5");
  EXPECT_EQ(noSpeedEnd.speedText, std::nullopt) << "lblSpeed keeps its caption";
  EXPECT_EQ(noSpeedEnd.lonText, "02100.5678");

  const NmeaDisplay timeOnly = ParseNmea("$GPRMC,223416.000,A");
  EXPECT_EQ(timeOnly.timeText, "22:34:16");
  EXPECT_EQ(timeOnly.latText, std::nullopt);
  EXPECT_TRUE(timeOnly.gpsValid);

  const NmeaDisplay bare = ParseNmea("$GPRMC");
  EXPECT_TRUE(bare.isGprmc);
  EXPECT_EQ(bare.timeText, std::nullopt);
}

TEST(ParseNmea, TwoDecimalTimeShiftsTheFixedPositions) {
  const NmeaDisplay shown = ParseNmea(WithField(kSentence, "223416.000", "223416.00"));
  EXPECT_FALSE(shown.gpsValid);  // position 19 now holds the comma
  EXPECT_EQ(shown.latText, "214.1234");  // position 21 is now the latitude's second digit
}

TEST(ParseNmea, OtherTextsEmptyTheLabelsYetAreParsedByPosition) {
  const NmeaDisplay other = ParseNmea("$GPGGA,223416.000,A,5214.1234,N,02100.5678,E,12.5,270.0,300306");
  EXPECT_FALSE(other.isGprmc);
  EXPECT_EQ(other.timeText, "30.03.2006  22:34:16");
  EXPECT_EQ(other.latText, "5214.1234");

  const NmeaDisplay empty = ParseNmea("");  // a picture without user data
  EXPECT_FALSE(empty.isGprmc);
  EXPECT_EQ(empty.timeText, "");
  EXPECT_EQ(empty.speedText, "");
  EXPECT_EQ(empty.latText, std::nullopt) << "the map keeps the last position";
  EXPECT_FALSE(empty.gpsValid);
}

TEST(LeadingNumber, ReadsADotAsDecimalPointInEveryLocale) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // uses a comma where available
  EXPECT_DOUBLE_EQ(LeadingNumber("12.5"), 12.5);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_DOUBLE_EQ(LeadingNumber("  -3.25xyz"), -3.25);
  EXPECT_DOUBLE_EQ(LeadingNumber(".5"), 0.5);
  EXPECT_DOUBLE_EQ(LeadingNumber("7."), 7.0);
  EXPECT_DOUBLE_EQ(LeadingNumber("2e3"), 2000.0);
  EXPECT_DOUBLE_EQ(LeadingNumber("2e"), 2.0);
  EXPECT_DOUBLE_EQ(LeadingNumber("+."), 0.0);
  EXPECT_DOUBLE_EQ(LeadingNumber("1e999"), 0.0);
  EXPECT_DOUBLE_EQ(LeadingNumber("inf"), 0.0);
}

}  // namespace
}  // namespace rovena
