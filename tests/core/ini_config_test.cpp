#include "core/ini_config.h"

#include <gtest/gtest.h>

namespace rovena {
namespace {

using Icon = IniMessage::Icon;
using Kind = IniMessage::Kind;

const char kFiveKeys[] =
    "PLAYSPEED1=0.1\r\nMAPLAT1=52.41674\r\nMAPLAT2=52.80114\r\nMAPLON1=20.79139\r\nMAPLON2=20.2325\r\n";

TEST(IniItems, SeparatorsQuotesAndBlanks) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitIniItems("A=1\nB=2\r\nC=3\rD=4"), (V{"A=1", "B=2", "C=3", "D=4"}));
  EXPECT_EQ(SplitIniItems("MAPLAT1=52,5"), (V{"MAPLAT1=52", "5"}));
  EXPECT_EQ(SplitIniItems("  \tA=1 ,  B=2"), (V{"A=1 ", "B=2"}));
  EXPECT_EQ(SplitIniItems("\"A=1,5\" junk,B=2"), (V{"A=1,5", "B=2"}));
  EXPECT_EQ(SplitIniItems("A=1\n\n,B=2\n"), (V{"A=1", "", "", "B=2"}));
  EXPECT_EQ(SplitIniItems("\"unterminated,still"), (V{"unterminated,still"}));
  EXPECT_TRUE(SplitIniItems("").empty());
}

TEST(IniParam, KeysValuesAndMessages) {
  IniSettings s;
  EXPECT_FALSE(GetIniParam("maplat1=52.5", s));
  EXPECT_FLOAT_EQ(s.MapLat1, 52.5f);
  EXPECT_FALSE(GetIniParam("MapLat1=1.25xyz", s));  // last one wins, leading number only
  EXPECT_FLOAT_EQ(s.MapLat1, 1.25f);
  EXPECT_FALSE(GetIniParam("PLAYSPEED1=abc", s));
  EXPECT_EQ(s.PlayInterval, 0.0f);
  EXPECT_FALSE(GetIniParam("", s));

  auto noEquals = GetIniParam("5", s);
  ASSERT_TRUE(noEquals);
  EXPECT_EQ(noEquals->icon, Icon::Information);
  EXPECT_EQ(noEquals->kind, Kind::NotAnAssignment);

  // The key keeps its trailing blank and is echoed as written.
  auto unknown = GetIniParam("MapLat1 =52.5", s);
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->icon, Icon::Information);
  EXPECT_EQ(unknown->kind, Kind::UnknownKey);
  EXPECT_EQ(unknown->key, "MapLat1 ");
  EXPECT_FLOAT_EQ(s.MapLat1, 1.25f);

  // Only the first '=' splits.
  EXPECT_FALSE(GetIniParam("MAPLON2==3", s));
  EXPECT_EQ(s.MapLon2, 0.0f);
}

TEST(IniLoad, CompleteFileComputesScales) {
  const IniLoadResult r = LoadIniText(kFiveKeys);
  EXPECT_TRUE(r.complete);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_FLOAT_EQ(r.settings.PlayInterval, 0.1f);
  // Computed from the float values in double, not the fixed defaults 10653 / 7327.
  EXPECT_EQ(r.settings.ScaleLat, 10652.9814453125f);
  EXPECT_EQ(r.settings.ScaleLon, 7327.03125f);
}

TEST(IniLoad, MissingOrZeroKeyStopsStartUp) {
  const std::string withoutSpeed = std::string(kFiveKeys).substr(std::string(kFiveKeys).find('\n') + 1);
  for (const std::string& text : {withoutSpeed, std::string(kFiveKeys) + "MAPLON1=x\n"}) {
    const IniLoadResult r = LoadIniText(text);
    EXPECT_FALSE(r.complete);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].icon, Icon::Critical);
    EXPECT_EQ(r.messages[0].kind, Kind::MissingValues);
    EXPECT_EQ(r.settings.ScaleLat, 0.0f);
  }
}

TEST(IniLoad, MessagesInFileOrderBeforeTheCompletenessCheck) {
  const IniLoadResult r = LoadIniText(std::string("FOO=1,") + kFiveKeys + "MAPLAT1=52,5\n");
  EXPECT_TRUE(r.complete);  // MAPLAT1 became 52; the "5" after the comma is an item of its own
  EXPECT_EQ(r.settings.MapLat1, 52.0f);
  ASSERT_EQ(r.messages.size(), 2u);
  EXPECT_EQ(r.messages[0].key, "FOO");
  EXPECT_EQ(r.messages[1].kind, Kind::NotAnAssignment);
}

TEST(IniLoad, EqualCalibrationPairIsReportedWithoutDividing) {
  const IniLoadResult r =
      LoadIniText("PLAYSPEED1=0.1\nMAPLAT1=52\nMAPLAT2=52\nMAPLON1=21\nMAPLON2=21\n");
  EXPECT_FALSE(r.complete);
  ASSERT_EQ(r.messages.size(), 2u);
  EXPECT_EQ(r.messages[0].icon, Icon::Critical);
  EXPECT_EQ(r.messages[0].kind, Kind::EqualLatitudes);
  EXPECT_EQ(r.messages[1].kind, Kind::EqualLongitudes);
  EXPECT_EQ(r.settings.ScaleLat, 0.0f);
  EXPECT_EQ(r.settings.ScaleLon, 0.0f);
}

TEST(IniDefaults, FixedScalesWithoutAFile) {
  const IniSettings d = DefaultIniSettings();
  EXPECT_FLOAT_EQ(d.PlayInterval, 0.1f);
  EXPECT_FLOAT_EQ(d.MapLat1, 52.41674f);
  EXPECT_FLOAT_EQ(d.MapLat2, 52.80114f);
  EXPECT_FLOAT_EQ(d.MapLon1, 20.79139f);
  EXPECT_FLOAT_EQ(d.MapLon2, 20.2325f);
  EXPECT_EQ(d.ScaleLat, 10653.0f);
  EXPECT_EQ(d.ScaleLon, 7327.0f);
}

TEST(CommandLine, OneQuoteEachSideAtMost) {
  EXPECT_EQ(StripCommandLineQuotes("\"/tmp/my rec.mpg\""), "/tmp/my rec.mpg");
  EXPECT_EQ(StripCommandLineQuotes(" /tmp/a b.mpg "), " /tmp/a b.mpg ");
  EXPECT_EQ(StripCommandLineQuotes("\"\"x\"\""), "\"x\"");
  EXPECT_EQ(StripCommandLineQuotes("x.mpg\""), "x.mpg");
  EXPECT_EQ(StripCommandLineQuotes("\""), "");
  EXPECT_EQ(StripCommandLineQuotes(""), "");
}

}  // namespace
}  // namespace rovena
