// Reading the settings dialogs' fields and region lines.
#include "ui/dialog_text.h"

#include <gtest/gtest.h>

namespace {

TEST(DialogText, AreaFieldReadsAsAtoi) {
  EXPECT_EQ(ReadAtoiText("12x"), 12);
  EXPECT_EQ(ReadAtoiText("  -3"), -3);
  EXPECT_EQ(ReadAtoiText("+7 8"), 7);
  EXPECT_EQ(ReadAtoiText("abc"), 0);
  EXPECT_EQ(ReadAtoiText(""), 0);
  EXPECT_EQ(ReadAtoiText("-"), 0);
  EXPECT_EQ(ReadAtoiText("999999999"), 999999999);
  // Past 32 bits the value wraps (only nine characters are ever read).
  EXPECT_EQ(ReadAtoiText("4294967297"), 1);
}

TEST(DialogText, NumberFieldsTakeWholeNumbersOnly) {
  EXPECT_EQ(ReadUnsignedText("48"), 48u);
  EXPECT_EQ(ReadUnsignedText(" 48 "), 48u);
  EXPECT_EQ(ReadUnsignedText("4294967295"), 4294967295u);
  EXPECT_EQ(ReadUnsignedText("3000000000"), 3000000000u);
  for (const char* bad :
       {"", " ", "abc", "12x", "-3", "+3", "4294967296", "99999999999999999999", "1 2", "0x10"}) {
    EXPECT_EQ(ReadUnsignedText(bad), 0u) << bad;
  }
  EXPECT_EQ(ReadSignedText("-3"), -3);
  EXPECT_EQ(ReadSignedText("-2147483648"), INT32_MIN);
  EXPECT_EQ(ReadSignedText("2147483647"), INT32_MAX);
  for (const char* bad : {"2147483648", "-2147483649", "--3", "- 3", "3-", "x"}) {
    EXPECT_EQ(ReadSignedText(bad), 0) << bad;
  }
}

TEST(DialogText, RegionLinesReadBackAsFormatted) {
  for (const RectItem& item : {RectItem{3, 0, 0, 0, 719, 575}, RectItem{10, 1, 5, 6, 7, 8},
                               RectItem{INT32_MAX, 2, INT32_MIN, -1, INT32_MAX, 0}}) {
    const std::string line = FormatRectItem(item);
    RectItem back{};
    ASSERT_TRUE(ParseRectListLine(line, &back)) << line;
    EXPECT_EQ(back, (RectItem{item.id, static_cast<uint8_t>(item.include != 0), item.left, item.top,
                              item.right, item.bottom}));
  }
  EXPECT_EQ(FormatRectItem(RectItem{3, 0, 0, 0, 719, 575}), "3. [ (0,0) - (719,575) ] -");
  RectItem untouched{7, 1, 1, 2, 3, 4};
  for (const char* bad :
       {"", "3. [ (0,0) - (719,575) ]", "3. [ (0,0) - (719,575) ] x", "3. [ (0,0) - (719,575) ] +x",
        "2147483648. [ (0,0) - (1,1) ] +", "3.[ (0,0) - (719,575) ] +", "x. [ (0,0) - (1,1) ] +"}) {
    EXPECT_FALSE(ParseRectListLine(bad, &untouched)) << bad;
  }
  EXPECT_EQ(untouched, (RectItem{7, 1, 1, 2, 3, 4}));
}

}  // namespace
