// "fieldrestore region": the region the command line edits is the one a
// new CRectList (as the plug-in makes one) loads.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/store.h"
#include "platform/user_paths.h"
#include "region/rect_list.h"
#include "tests/support.h"
#include "tests/temp_folder.h"

namespace {

test::CliRun Region(std::vector<std::string> args) {
  args.insert(args.begin(), "region");
  return test::RunCli(args);
}

std::vector<RectItem> PluginRegion() {
  CRectList list;
  return {list.begin(), list.end()};
}

class CliRegionTest : public test::CleanStore<> {
 protected:
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
  const test::CliRun loaded = Region({"load", file});
  EXPECT_EQ(loaded.code, 0);
  EXPECT_EQ(loaded.out.substr(0, loaded.out.find('\n')), "loaded 2 rectangles from " + file);
  EXPECT_EQ(PluginRegion(),
            (std::vector<RectItem>{{1, 0, 0, 0, 719, 575}, {2, 1, 100, 100, 299, 199}}));
}

TEST_F(CliRegionTest, FailuresAreExplainedExitNonZeroAndChangeNothing) {
  ASSERT_EQ(Region({"add", "+", "1", "1", "8", "8"}).code, 0);
  const std::string bad = folder_.File("bad.rect");
  test::WriteFileBytes(bad, "[[(0,0)-(9,9)]]\r\n[[(5,5)-(5,5)]]\r\n");
  const std::string picture = folder_.File("picture.png");
  test::WriteFileBytes(picture, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x02\xd0", 20));
  const std::pair<std::vector<std::string>, std::string> failures[] = {
      {{"add", "+", "5", "5", "5", "5"}, "rejected: a single pixel is not a rectangle"},
      {{"add", "-", "-1", "0", "5", "5"}, "rejected: left is negative"},
      {{"add", "+", "0", "10", "5", "9"}, "rejected: bottom is less than top"},
      {{"delete", "7"}, "no rectangle numbered 7"},
      {{"load", bad},
       bad + ": Can't load this file: section [[(5,5)-(5,5)]]: a single pixel is not a "
             "rectangle; the region is unchanged"},
      {{"load", picture}, "Can't load this file: not a rect file: it is not text"},
      {{"load", folder_.File("missing.rect")}, "Can't load this file: No such file or directory"},
      {{"load", folder_.path().string()}, "Can't load this file: is a directory"},
      {{"save", folder_.File("no/such/folder.rect")}, "Can't save file: "},
      {{"save", folder_.path().string()}, folder_.path().string() + ": is a directory"},
  };
  for (const auto& [args, message] : failures) {
    const test::CliRun run = Region(args);
    EXPECT_EQ(run.code, 1) << message;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  }
  for (const auto& [malformed, usage] :
       std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"add", "x", "1", "1", "8", "8"}, "region add takes"},
           {{"add", "+", "1", "1", "8"}, "region add takes"},
           {{"add", "+", "1", "1", "8", "2147483648"}, "is not a 32-bit integer"},
           {{"delete", "one"}, "region delete takes"},
           {{"save"}, "region save takes one FILE"},
           {{"load"}, "region load takes one FILE"},
           {{"clear", "all"}, "region clear takes nothing more"},
           {{"frobnicate"}, "unknown region command"}}) {
    const test::CliRun run = Region(malformed);
    EXPECT_EQ(run.code, 2) << usage;
    EXPECT_NE(run.err.find(usage), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("usage: fieldrestore region"), std::string::npos) << run.err;
  }
  EXPECT_EQ(PluginRegion(), (std::vector<RectItem>{{1, 1, 1, 1, 8, 8}}));
}

// A region whose stored "size" does not count its records: every command
// that would use or edit it says so and exits non-zero, the rectangles that
// can be read are listed and can be saved, and only clear or load replace
// it. Nothing writes it back meanwhile.
TEST_F(CliRegionTest, ADamagedRegionIsReportedAndOnlyReplacedAsAWhole) {
  ASSERT_EQ(Region({"add", "-", "0", "0", "15", "15"}).code, 0);
  ASSERT_EQ(Region({"add", "+", "4", "4", "8", "8"}).code, 0);
  const uint8_t damaged_size[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  platform::StoreKey::CreateOrOpen(kRectListKey)
      .Set("size", platform::kStoreTypeDword, damaged_size, 4);
  const auto stored = [] {
    uint8_t bytes[64] = {};
    uint32_t size = 4, length = sizeof bytes;
    auto key = platform::StoreKey::OpenExisting(kRectListKey);
    key.Query("size", bytes, &size);
    key.Query("list", bytes + 4, &length);
    return std::string(reinterpret_cast<char*>(bytes), 4 + length);
  };
  const std::string before = stored();
  const std::string report =
      "fieldrestore: the region stored at " + platform::StoreLocation() +
      " cannot be read whole: \"size\" counts 4294967295 rectangles but \"list\" holds 2 (42 "
      "bytes)\nfieldrestore: it stays stored as it is until it is replaced: 'fieldrestore region "
      "clear' empties it, 'fieldrestore region load FILE' loads a saved rect file; 'fieldrestore "
      "region save FILE' keeps the 2 rectangles that can be read\n";
  const std::string clip = folder_.File("clip.bgra"), out = folder_.File("out.bgra");
  ASSERT_EQ(test::RunCli({"sample", "--width", "32", "--height", "32", "--frames", "1", clip}).code,
            0);
  const test::CliRun listed = Region({});
  EXPECT_EQ(listed.code, 1);
  EXPECT_EQ(listed.out, "1. [ (0,0) - (15,15) ] -\n2. [ (4,4) - (8,8) ] +\n");
  EXPECT_EQ(listed.err, report);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"region", "add", "+", "1", "1", "9", "9"},
           {"region", "delete", "1"},
           {"render", "--width", "32", "--height", "32", clip, out}}) {
    const test::CliRun refused = test::RunCli(args);
    EXPECT_EQ(refused.code, 1) << args[1];
    EXPECT_EQ(refused.err, report) << args[1];
    EXPECT_EQ(refused.out, "") << args[1];
  }
  EXPECT_FALSE(std::filesystem::exists(out));
  const std::string file = folder_.File("kept.rect");
  const test::CliRun saved = Region({"save", file});
  EXPECT_EQ(saved.code, 0);
  EXPECT_EQ(saved.err, report);
  EXPECT_EQ(test::ReadFileBytes(file),
            "[[(0,0)-(15,15)]]\r\npresent=0\r\n[[(4,4)-(8,8)]]\r\npresent=1\r\n");
  EXPECT_EQ(stored(), before) << "nothing wrote the damaged region back";

  const test::CliRun loaded = Region({"load", file});
  EXPECT_EQ(loaded.code, 0) << loaded.err;
  EXPECT_EQ(loaded.err, "");
  EXPECT_EQ(Region({}).code, 0);
  platform::StoreKey::CreateOrOpen(kRectListKey)
      .Set("size", platform::kStoreTypeDword, damaged_size, 4);
  EXPECT_EQ(Region({"clear"}).code, 0);
  EXPECT_EQ(Region({}).out, "");
  EXPECT_EQ(test::RunCli({"render", "--width", "32", "--height", "32", clip, out}).code, 0);
}

#if !defined(_WIN32)
// Saving through a symbolic link writes the file it names and keeps the
// link; a device is never replaced by a file.
TEST_F(CliRegionTest, SaveWritesThroughLinksAndRefusesDevices) {
  ASSERT_EQ(Region({"add", "+", "1", "1", "8", "8"}).code, 0);
  namespace fs = std::filesystem;
  const std::string target = folder_.File("target.rect"), link = folder_.File("link.rect");
  const std::string dangling = folder_.File("dangling.rect");
  test::WriteFileBytes(target, "old");
  fs::create_symlink(target, link);
  fs::create_symlink(folder_.File("new.rect"), dangling);
  ASSERT_EQ(Region({"save", link}).code, 0);
  ASSERT_EQ(Region({"save", dangling}).code, 0);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::is_symlink(dangling));
  EXPECT_EQ(test::ReadFileBytes(target), "[[(1,1)-(8,8)]]\r\npresent=1\r\n");
  EXPECT_EQ(test::ReadFileBytes(folder_.File("new.rect")), test::ReadFileBytes(target));
  const test::CliRun device = Region({"save", "/dev/null"});
  EXPECT_EQ(device.code, 1);
  EXPECT_EQ(device.err, "fieldrestore: /dev/null: is a device, not a regular file\n");
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}
#endif

}  // namespace
