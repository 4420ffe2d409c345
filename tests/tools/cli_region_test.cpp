// "fieldrestore region": the region the command line edits is the one a
// new CRectList (as the plug-in makes one) loads.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "region/rect_list.h"
#include "tests/support.h"
#include "tests/temp_folder.h"
#include "tools/fieldrestore/cli.h"

namespace {

struct RegionRun {
  int code;
  std::string out, err;
};

RegionRun Region(std::vector<std::string> args) {
  args.insert(args.begin(), "region");
  std::ostringstream out, err;
  const int code = RunCommandLine(args, out, err);
  return {code, out.str(), err.str()};
}

std::vector<RectItem> PluginRegion() {
  CRectList list;
  return {list.begin(), list.end()};
}

class CliRegionTest : public ::testing::Test {
 protected:
  void SetUp() override { test::DeleteSettingsKey(); }
  void TearDown() override { test::DeleteSettingsKey(); }
  test::TempFolder folder_;
};

TEST_F(CliRegionTest, EditsSavesAndLoadsReachTheListThePluginLoads) {
  EXPECT_EQ(Region({"add", "-", "0", "0", "719", "575"}).out, "1. [ (0,0) - (719,575) ] -\n");
  EXPECT_EQ(Region({"add", "+", "5", "5", "9", "9"}).code, 0);
  EXPECT_EQ(Region({"add", "+", "100", "100", "299", "199"}).code, 0);
  EXPECT_EQ(Region({"delete", "2"}).code, 0);
  EXPECT_EQ(Region({}).out, "1. [ (0,0) - (719,575) ] -\n2. [ (100,100) - (299,199) ] +\n");
  const std::string file = folder_.File("region.rect");
  EXPECT_EQ(Region({"save", file}).code, 0);
  EXPECT_EQ(Region({"clear"}).code, 0);
  EXPECT_TRUE(PluginRegion().empty());
  EXPECT_EQ(Region({"load", file}).code, 0);
  EXPECT_EQ(PluginRegion(),
            (std::vector<RectItem>{{1, 0, 0, 0, 719, 575}, {2, 1, 100, 100, 299, 199}}));
}

TEST_F(CliRegionTest, FailuresAreExplainedExitNonZeroAndChangeNothing) {
  ASSERT_EQ(Region({"add", "+", "1", "1", "8", "8"}).code, 0);
  const std::string bad = folder_.File("bad.rect");
  test::WriteFileBytes(bad, "[[(0,0)-(9,9)]]\r\n[[(5,5)-(5,5)]]\r\n");
  const std::pair<std::vector<std::string>, const char*> failures[] = {
      {{"add", "+", "5", "5", "5", "5"}, "rejected: a single pixel is not a rectangle"},
      {{"add", "-", "-1", "0", "5", "5"}, "rejected: left is negative"},
      {{"add", "+", "0", "10", "5", "9"}, "rejected: bottom is less than top"},
      {{"delete", "7"}, "no rectangle numbered 7"},
      {{"load", bad}, "Can't load this file."},
      {{"load", folder_.File("missing.rect")}, "Can't load this file."},
      {{"save", folder_.File("no/such/folder.rect")}, "Can't save file."},
  };
  for (const auto& [args, message] : failures) {
    const RegionRun run = Region(args);
    EXPECT_EQ(run.code, 1) << message;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  }
  for (const std::vector<std::string>& malformed :
       std::vector<std::vector<std::string>>{{"add", "x", "1", "1", "8", "8"},
                                             {"add", "+", "1", "1", "8"},
                                             {"add", "+", "1", "1", "8", "2147483648"},
                                             {"delete", "one"},
                                             {"frobnicate"}}) {
    EXPECT_EQ(Region(malformed).code, 2) << malformed[0];
  }
  EXPECT_EQ(PluginRegion(), (std::vector<RectItem>{{1, 1, 1, 1, 8, 8}}));
}

}  // namespace
