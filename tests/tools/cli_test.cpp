// The command line edits exactly what the plug-in reads.
#include "tools/fieldrestore/cli.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using test::CliRun;
const auto Cli = test::RunCli;

using CliTest = test::CleanStore<>;

TEST(ParseValue32Test, SignedAndUnsignedFormsMeetModulo32Bits) {
  uint32_t v = 0;
  ASSERT_TRUE(ParseValue32("-1", &v));
  EXPECT_EQ(v, 0xFFFFFFFFu);
  ASSERT_TRUE(ParseValue32("4294967295", &v));
  EXPECT_EQ(v, 0xFFFFFFFFu);
  ASSERT_TRUE(ParseValue32("-2147483648", &v));
  EXPECT_EQ(v, 0x80000000u);
  ASSERT_TRUE(ParseValue32("0x2000", &v));
  EXPECT_EQ(v, 8192u);
  ASSERT_TRUE(ParseValue32("+7", &v));
  EXPECT_EQ(v, 7u);
  for (const char* bad : {"", "-", "4294967296", "-2147483649", "12a", "0x", "1.5", " 1", "--1"}) {
    EXPECT_FALSE(ParseValue32(bad, &v)) << bad;
  }
}

TEST_F(CliTest, SetThenShowRoundTripsThroughTheStore) {
  EXPECT_EQ(Cli({"settings", "set", "method", "2"}).code, 0);
  EXPECT_EQ(Cli({"settings", "set", "replace_threshold", "4294967295"}).code, 0);
  EXPECT_EQ(Cli({"settings", "set", "is_search_within_interpolated", "1"}).code, 0);
  DeinterlaceParameters params;
  LoadSettings(&params);
  EXPECT_EQ(params.method, 2);
  EXPECT_EQ(params.replace_threshold, -1);
  EXPECT_EQ(params.is_search_within_interpolated, 1);

  CliRun shown = Cli({"settings"});
  EXPECT_EQ(shown.code, 0);
  EXPECT_NE(shown.out.find("method = 2 (Simple interpolation)\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("replace_threshold = -1\n"), std::string::npos);
  EXPECT_NE(shown.out.find("block_distance_threshold = 8192\n"), std::string::npos);
  EXPECT_NE(shown.out.find("is_search_within_interpolated = 1\n"), std::string::npos);
  EXPECT_NE(shown.out.find("debug = off\nsoundalert = off\n"), std::string::npos);
}

TEST_F(CliTest, SetStoresOneValueWithItsStoredSize) {
  ASSERT_EQ(Cli({"settings", "set", "is_replace_only_interlaced_pixels", "1"}).code, 0);
  std::string data;
  uint32_t type = 0;
  ASSERT_TRUE(test::ReadSettingsValue("is_replace_only_interlaced_pixels", &data, &type));
  EXPECT_EQ(data, std::string("\x01", 1));
  EXPECT_EQ(type, platform::kStoreTypeDword);
  EXPECT_FALSE(test::ReadSettingsValue("method", &data, &type)) << "only the named value is stored";
}

TEST_F(CliTest, ResetStoresAllDefaults) {
  ASSERT_EQ(Cli({"settings", "set", "method", "1"}).code, 0);
  ASSERT_EQ(Cli({"settings", "reset"}).code, 0);
  std::string data;
  uint32_t type = 0;
  ASSERT_TRUE(test::ReadSettingsValue("method", &data, &type));
  EXPECT_EQ(data, std::string("\x04\0\0\0", 4));
  ASSERT_TRUE(test::ReadSettingsValue("is_search_within_interpolated", &data, &type));
  EXPECT_EQ(data.size(), 1u);
}

TEST_F(CliTest, SwitchesWorkEvenBeforeTheKeyExists) {
  EXPECT_EQ(Cli({"debug", "on"}).code, 0);
  EXPECT_TRUE(IsDebugOn());
  EXPECT_EQ(Cli({"soundalert", "on"}).code, 0);
  EXPECT_TRUE(IsSoundAlertOn());
  EXPECT_EQ(Cli({"debug", "off"}).code, 0);
  EXPECT_FALSE(IsDebugOn());
  EXPECT_NE(Cli({"debug", "maybe"}).code, 0);
}

TEST_F(CliTest, ErrorsAreClearAndExitNonZero) {
  CliRun unknown = Cli({"settings", "set", "speed", "1"});
  EXPECT_NE(unknown.code, 0);
  EXPECT_NE(unknown.err.find("unknown setting 'speed'"), std::string::npos);
  CliRun not_number = Cli({"settings", "set", "area", "big"});
  EXPECT_NE(not_number.code, 0);
  EXPECT_NE(not_number.err.find("'big' is not a 32-bit integer"), std::string::npos);
  CliRun bad_flag = Cli({"settings", "set", "is_search_within_interpolated", "2"});
  EXPECT_NE(bad_flag.code, 0);
  EXPECT_NE(bad_flag.err.find("0 or 1"), std::string::npos);
  EXPECT_NE(Cli({}).code, 0);
  EXPECT_NE(Cli({"frobnicate"}).code, 0);
  CliRun missing = Cli({"query", "no-such-plugin.prm"});
  EXPECT_NE(missing.code, 0);
  EXPECT_FALSE(missing.err.empty());
  std::string data;
  uint32_t type;
  EXPECT_FALSE(test::ReadSettingsValue("area", &data, &type)) << "failed commands store nothing";
}

// A method the plug-in does not know would have every frame copied
// through; a search area its dialog cannot keep, or an interlace threshold
// the detector reads as another one, is refused with the range. The other
// values keep their full 32-bit range.
TEST_F(CliTest, ValuesThePluginCannotUseAreRefusedWithTheRange) {
  for (const auto& [name, value, range] :
       std::vector<std::array<std::string, 3>>{{"area", "-5", "0 to 999999999"},
                                               {"area", "1000000000", "0 to 999999999"},
                                               {"area", "4294967295", "0 to 999999999"},
                                               {"interlace_threshold", "65536", "0 to 65535"},
                                               {"interlace_threshold", "-1", "0 to 65535"}}) {
    const CliRun run = Cli({"settings", "set", name, value});
    EXPECT_EQ(run.code, 2) << name << value;
    EXPECT_EQ(run.err, "fieldrestore: " + name + " " + value +
                           " is out of range: the plug-in takes " + range + "\n");
  }
  for (const char* area : {"0", "999999999"}) {
    EXPECT_EQ(Cli({"settings", "set", "area", area}).code, 0) << area;
  }
  EXPECT_EQ(Cli({"settings", "set", "interlace_threshold", "65535"}).code, 0);
  EXPECT_EQ(Cli({"settings", "set", "block_distance_threshold", "-1"}).code, 0);
  for (const char* method : {"6", "-2", "255"}) {
    const CliRun run = Cli({"settings", "set", "method", method});
    EXPECT_EQ(run.code, 2) << method;
    EXPECT_NE(run.err.find("does not exist; the methods are:\n  0  None\n"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("  5  Advanced method\n"), std::string::npos) << run.err;
  }
  std::string data;
  uint32_t type;
  EXPECT_FALSE(test::ReadSettingsValue("method", &data, &type));
  EXPECT_EQ(Cli({"settings", "set", "method", "5"}).code, 0);
  EXPECT_EQ(Cli({"settings", "set", "replace_threshold", "-7"}).code, 0);
}

TEST_F(CliTest, SettingNamesMatchWithoutRegardToCase) {
  const CliRun run = Cli({"settings", "set", "Interlace_THRESHOLD", "30"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "interlace_threshold = 30\n");
  DeinterlaceParameters params;
  LoadSettings(&params);
  EXPECT_EQ(params.interlace_threshold, 30);
}

}  // namespace
