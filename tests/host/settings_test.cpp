// Settings in the store: defaults, partial keys, exact stored forms, the
// switches and the log they enable.
#include <gtest/gtest.h>

#include "host/settings.h"
#include "tests/support.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::DeleteSettingsKey();
    test::RemoveLog();
  }
  void TearDown() override { test::DeleteSettingsKey(); }
};

TEST_F(SettingsTest, MissingKeyIsCreatedEmptyAndDefaultsAreLoaded) {
  DeinterlaceParameters params;
  params.method = 77;
  params.is_search_within_interpolated = 1;
  LoadSettings(&params);
  EXPECT_EQ(params, DeinterlaceParameters{});
  EXPECT_EQ(params.method, 4);
  EXPECT_EQ(params.area, 16);
  EXPECT_EQ(params.interlace_threshold, 48);
  EXPECT_EQ(params.block_distance_threshold, 8192u);
  EXPECT_TRUE(platform::StoreKey::OpenExisting(kSettingsKey));
  std::string data;
  uint32_t type;
  EXPECT_FALSE(test::ReadSettingsValue("method", &data, &type)) << "nothing is written back";
  EXPECT_FALSE(test::ReadSettingsValue("debug", &data, &type));
}

TEST_F(SettingsTest, KeyWithOnlyMethodLoadsItAndDefaultsForTheRest) {
  const uint8_t two[4] = {2, 0, 0, 0};
  test::WriteSettingsValue("method", two, 4);
  DeinterlaceParameters params;
  LoadSettings(&params);
  DeinterlaceParameters expected;
  expected.method = 2;
  EXPECT_EQ(params, expected);
}

TEST_F(SettingsTest, OutOfRangeValuesLoadAsStored) {
  const uint8_t nine[4] = {9, 0, 0, 0};
  const uint8_t minus_one[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  test::WriteSettingsValue("method", nine, 4);
  test::WriteSettingsValue("area", minus_one, 4);
  test::WriteSettingsValue("block_distance_threshold", minus_one, 4);
  DeinterlaceParameters params;
  LoadSettings(&params);
  EXPECT_EQ(params.method, 9);
  EXPECT_EQ(params.area, -1);
  EXPECT_EQ(params.block_distance_threshold, 0xFFFFFFFFu);
}

TEST_F(SettingsTest, ValuesThatDoNotFitTheirBufferKeepTheDefault) {
  const uint8_t wide[8] = {5, 0, 0, 0, 0, 0, 0, 0};
  const uint8_t four_byte_flag[4] = {1, 0, 0, 0};
  test::WriteSettingsValue("area", wide, 8);
  test::WriteSettingsValue("is_replace_only_interlaced_pixels", four_byte_flag, 4);
  DeinterlaceParameters params;
  LoadSettings(&params);
  EXPECT_EQ(params.area, 16);
  EXPECT_EQ(params.is_replace_only_interlaced_pixels, 0);
}

TEST_F(SettingsTest, ShortValuesReplaceOnlyTheLeadingBytes) {
  // A 1-byte "interlace_threshold" lands in the low byte of the default 48
  // (0x30): 0x07 there gives 7; a 2-byte "block_distance_threshold" of
  // 0x0001 over 8192 (0x2000) gives 1.
  const uint8_t seven = 7;
  const uint8_t one_short[2] = {1, 0};
  test::WriteSettingsValue("interlace_threshold", &seven, 1);
  test::WriteSettingsValue("block_distance_threshold", one_short, 2);
  DeinterlaceParameters params;
  LoadSettings(&params);
  EXPECT_EQ(params.interlace_threshold, 7);
  EXPECT_EQ(params.block_distance_threshold, 1u);
}

TEST_F(SettingsTest, SaveWritesSevenDwordsWithExactSizes) {
  DeinterlaceParameters params;
  params.method = 5;
  params.area = -3;
  params.interlace_threshold = 65535;
  params.block_distance_threshold = 0x80000000u;
  params.replace_threshold = -7;
  params.is_replace_only_interlaced_pixels = 1;
  params.is_search_within_interpolated = 1;
  SaveSettings(&params);
  struct Expected {
    const char* name;
    std::string bytes;
  } expected[] = {
      {"method", std::string("\x05\0\0\0", 4)},
      {"area", std::string("\xFD\xFF\xFF\xFF", 4)},
      {"interlace_threshold", std::string("\xFF\xFF\0\0", 4)},
      {"block_distance_threshold", std::string("\0\0\0\x80", 4)},
      {"replace_threshold", std::string("\xF9\xFF\xFF\xFF", 4)},
      {"is_replace_only_interlaced_pixels", std::string("\x01", 1)},
      {"is_search_within_interpolated", std::string("\x01", 1)},
  };
  for (const auto& e : expected) {
    std::string data;
    uint32_t type = 0;
    ASSERT_TRUE(test::ReadSettingsValue(e.name, &data, &type)) << e.name;
    EXPECT_EQ(type, platform::kStoreTypeDword) << e.name;
    EXPECT_EQ(data, e.bytes) << e.name;
  }
  DeinterlaceParameters loaded;
  LoadSettings(&loaded);
  EXPECT_EQ(loaded, params);
}

TEST_F(SettingsTest, NullRecordsAreIgnoredAndResetTouchesNoStorage) {
  LoadSettings(nullptr);
  SaveSettings(nullptr);
  EXPECT_FALSE(platform::StoreKey::OpenExisting(kSettingsKey));
  DeinterlaceParameters params;
  params.area = 1;
  ResetSettings(&params);
  EXPECT_EQ(params, DeinterlaceParameters{});
  EXPECT_FALSE(platform::StoreKey::OpenExisting(kSettingsKey));
}

TEST_F(SettingsTest, SwitchesWithoutKeyReadOffAndCannotBeSet) {
  EXPECT_FALSE(IsDebugOn());
  SetDebug(true);
  SetSoundAlert(true);
  EXPECT_FALSE(IsDebugOn());
  EXPECT_FALSE(IsSoundAlertOn());
  EXPECT_FALSE(platform::StoreKey::OpenExisting(kSettingsKey)) << "the switches create no key";
}

TEST_F(SettingsTest, MissingSwitchIsCreatedAsFourByteZero) {
  platform::StoreKey::CreateOrOpen(kSettingsKey);
  EXPECT_FALSE(IsSoundAlertOn());
  std::string data;
  uint32_t type = 0;
  ASSERT_TRUE(test::ReadSettingsValue("soundalert", &data, &type));
  EXPECT_EQ(data, std::string(4, '\0'));
  EXPECT_EQ(type, platform::kStoreTypeDword);
  SetSoundAlert(true);
  EXPECT_TRUE(IsSoundAlertOn());
  ASSERT_TRUE(test::ReadSettingsValue("soundalert", &data, &type));
  EXPECT_EQ(data, std::string("\x01\0\0\0", 4));
  SetSoundAlert(false);
  EXPECT_FALSE(IsSoundAlertOn());
}

TEST_F(SettingsTest, AnyNonZeroSwitchValueReadsOn) {
  const uint8_t big[4] = {0, 0, 0, 0x80};
  test::WriteSettingsValue("debug", big, 4);
  EXPECT_TRUE(IsDebugOn());
  const uint8_t one_byte = 1;
  test::WriteSettingsValue("debug", &one_byte, 1);
  EXPECT_TRUE(IsDebugOn());
}

TEST_F(SettingsTest, FirstLogAttemptCreatesDebugOffAndLogsNothing) {
  platform::StoreKey::CreateOrOpen(kSettingsKey);
  WriteLog("Done.");
  std::string data;
  uint32_t type = 0;
  ASSERT_TRUE(test::ReadSettingsValue("debug", &data, &type));
  EXPECT_EQ(data, std::string(4, '\0'));
  EXPECT_EQ(test::ReadLog(), "");
}

TEST_F(SettingsTest, LogLinesAreAppendedWithTheTextNewline) {
  platform::StoreKey::CreateOrOpen(kSettingsKey);
  SetDebug(true);
  const std::string nl(platform::kLogLineEnd);
  WriteLog("Done.");
  EXPECT_EQ(test::ReadLog(), "Done." + nl);
  WriteLogF("\nStart fsExecute. Method = %d", 4);
  EXPECT_EQ(test::ReadLog(), "Done." + nl + nl + "Start fsExecute. Method = 4" + nl);
  SetDebug(false);
  WriteLog("dropped");
  EXPECT_EQ(test::ReadLog(), "Done." + nl + nl + "Start fsExecute. Method = 4" + nl);
}

}  // namespace
