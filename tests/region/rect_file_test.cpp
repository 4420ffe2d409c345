// Rect files as CRectList writes and reads them, with every pair of profile
// implementations present: on Windows a file written through the profile
// API is read by our own reader, and the reverse.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/profile_file.h"
#include "platform/store.h"
#include "region/rect_list.h"
#include "tests/support.h"
#include "tests/temp_folder.h"

namespace {

using platform::ProfileFiles;
using Pair = std::pair<const ProfileFiles*, const ProfileFiles*>;  // writer, reader

constexpr const char* kExample =
    "[[(0,0)-(719,575)]]\r\npresent=0\r\n[[(100,100)-(299,199)]]\r\npresent=1\r\n";

std::vector<Pair> Pairs() {
  const ProfileFiles* own = &platform::PortableProfileFiles();
  const ProfileFiles* system = &platform::SystemProfileFiles();
  if (own == system) return {{own, own}};
  return {{system, own}, {own, system}};
}

std::vector<RectItem> Items(const CRectList& list) { return {list.begin(), list.end()}; }

long FilesIn(const std::filesystem::path& folder) {
  return std::distance(std::filesystem::directory_iterator(folder),
                       std::filesystem::directory_iterator());
}

class RectFileTest : public test::CleanStore<::testing::TestWithParam<Pair>> {
 protected:
  int32_t Save(CRectList& list) { return list.SaveToFile(path_.c_str()); }
  // What the writer's profile functions make of the list when its items
  // are written one by one into an empty file.
  std::string WrittenItemByItem(const CRectList& list) {
    const std::string path = folder_.File("item-by-item.rect");
    for (const RectItem& item : list) {
      EXPECT_TRUE(GetParam().first->WriteString(RectSectionName(item).c_str(), "present",
                                                item.include ? "1" : "0", path.c_str()));
    }
    std::string bytes = test::ReadFileBytes(path);
    std::filesystem::remove(path);
    return bytes;
  }
  int32_t Load(CRectList& list) { return list.LoadFromFile(path_.c_str(), *GetParam().second); }
  // The file's rectangles loaded into a list that holds one already.
  std::pair<int32_t, std::vector<RectItem>> LoadText(const std::string& text) {
    test::WriteFileBytes(path_, text);
    CRectList list("");
    list.Add(1, 1, 2, 3, 4);
    const int32_t result = Load(list);
    return {result, Items(list)};
  }

  test::TempFolder folder_;
  std::string path_ = folder_.File("region.rect");
};

TEST_P(RectFileTest, SavedFileIsExactlyTheRegionWhateverTheFileHeldBefore) {
  // The old file holds both rectangles in the other order and one more.
  test::WriteFileBytes(path_, "[[(100,100)-(299,199)]]\r\npresent=0\r\n[[(7,7)-(9,9)]]\r\n");
  CRectList list("");
  list.Add(1, 5, 5, 9, 9);
  list.Add(0, 0, 0, 719, 575);
  list.Delete(1);
  list.Add(0, 100, 100, 299, 199);
  list.Add(1, 100, 100, 299, 199);  // shares its section with the one before
  ASSERT_EQ(Save(list), 0);
  EXPECT_EQ(test::ReadFileBytes(path_), kExample);
  EXPECT_EQ(WrittenItemByItem(list), kExample) << "the bytes of the profile functions";
  EXPECT_EQ(FilesIn(folder_.path()), 1) << "no temporary file is left";

  CRectList loaded("");
  ASSERT_EQ(Load(loaded), 0);
  EXPECT_EQ(Items(loaded),
            (std::vector<RectItem>{{1, 0, 0, 0, 719, 575}, {2, 1, 100, 100, 299, 199}}));

  CRectList empty("");
  ASSERT_EQ(Save(empty), 0);
  EXPECT_EQ(LoadText(test::ReadFileBytes(path_)), std::make_pair(0, std::vector<RectItem>{}));
}

TEST_P(RectFileTest, PresentDefaultsToIncludeAndCommentOnlyFilesAreEmptyRegions) {
  EXPECT_EQ(
      LoadText("[[(0,0)-(9,9)]]\r\n[[(1,1)-(9,9)]]\r\npresent=0\r\n"
               "[[(2,2)-(9,9)]]\r\npresent=7\r\n[[( 3,+3)-(9, 9)] tail]\r\n"),
      std::make_pair(
          0, std::vector<RectItem>{
                 {1, 1, 0, 0, 9, 9}, {2, 0, 1, 1, 9, 9}, {3, 1, 2, 2, 9, 9}, {4, 1, 3, 3, 9, 9}}));
  EXPECT_EQ(LoadText("\xEF\xBB\xBF; only a comment\r\n\r\n  # and another\r\n"),
            std::make_pair(0, std::vector<RectItem>{}));
}

TEST_P(RectFileTest, FailedLoadsKeepTheQueueItsNumberingAndTheStore) {
  using namespace std::string_literals;
  const std::string bad_files[] = {
      "[[(5,5)-(5,5)]]\r\npresent=1\r\n",             // a single pixel
      "[[(0,0)-(9,9)]]\r\n[[(-1,0)-(9,9)]]\r\n",      // negative, after a good one
      "[[(0,0)-(9,9)]]\r\n[[(9,0)-(8,9)]]\r\n",       // right below left
      "[[(0,0)-(9,9)]]\r\n[settings]\r\nmode=1\r\n",  // not four integers
      "[[(0,0)-(4294967297,9)]]\r\n",                 // beyond 32 bits
      "[[(0,0)-(9,9)]]",                              // the names do not fit
      "",
      // Not rect files: text in which nothing reads as one, a PNG, a raw
      // frame, random bytes.
      "just text\r\n",
      "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\r\n[[(0,0)-(9,9)]]\r\n"s,
      "\x10\x20\x30\xFF\x10\x20\x30\xFF\r\n[[(0,0)-(9,9)]]\r\n",
      "\xC3\x9A\x07\xE1\x02\x88 \x1F\xB0",
  };
  for (const std::string& text : bad_files) {
    test::DeleteSettingsKey();
    test::WriteFileBytes(path_, text);
    CRectList list;
    list.Add(1, 0, 0, 10, 10);
    list.Add(0, 1, 1, 11, 11);
    list.Add(1, 2, 2, 12, 12);
    list.Delete(2);
    const std::vector<RectItem> before = Items(list);
    EXPECT_EQ(Load(list), -1) << text;
    EXPECT_EQ(Items(list), before) << text;
    uint8_t size[4] = {};
    uint32_t length = 4;
    platform::StoreKey::OpenExisting(kRectListKey).Query("size", size, &length);
    EXPECT_EQ(size[0], 2) << "the store holds the old region at once: " << text;
    EXPECT_EQ(list.Add(1, 3, 3, 4, 4), 4) << "no id is handed out twice: " << text;
  }
  CRectList list("");
  std::string reason;
  const auto load = [&](const std::string& path) {
    return list.LoadFromFile(path.c_str(), *GetParam().second, &reason);
  };
  EXPECT_EQ(load(folder_.File("missing.rect")), -1);
  EXPECT_EQ(reason, "No such file or directory");
  EXPECT_EQ(load(folder_.path().string()), -1);
  EXPECT_EQ(reason, "is a directory");
  // A rect file larger than any region is refused before it is read.
  test::WriteFileBytes(path_, "[[(0,0)-(9,9)]]\r\n" + std::string(kMaxRectFileBytes, ';'));
  EXPECT_EQ(load(path_), -1);
  EXPECT_NE(reason.find("more than a rect file can"), std::string::npos) << reason;
  test::WriteFileBytes(path_, "[[(0,0)-(9,9)]]\r\n[[(3,3)-(3,3)]]\r\n");
  EXPECT_EQ(load(path_), -1);
  EXPECT_EQ(reason, "section [[(3,3)-(3,3)]]: a single pixel is not a rectangle");
  EXPECT_EQ(list.Count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(, RectFileTest, ::testing::ValuesIn(Pairs()), [](const auto& info) {
  const auto name = [](const ProfileFiles* files) {
    return std::string(files == &platform::PortableProfileFiles() ? "Own" : "System");
  };
  return name(info.param.first) + "Writes" + name(info.param.second) + "Reads";
});

// A save whose file cannot take the place of the old one fails, and
// leaves neither the old one changed nor a temporary file.
TEST(RectFileSaveTest, FailedSaveLeavesTheOldFileAndNoTemporaryFile) {
  test::TempFolder folder;
  const std::string in_the_way = folder.File("folder.rect");
  std::filesystem::create_directory(in_the_way);
  test::WriteFileBytes(in_the_way + "/kept", kExample);
  CRectList list("");
  list.Add(1, 1, 1, 2, 2);
  std::string reason;
  EXPECT_EQ(list.SaveToFile(in_the_way.c_str(), &reason), -1);
  EXPECT_NE(reason, "");
  EXPECT_EQ(test::ReadFileBytes(in_the_way + "/kept"), kExample);
  EXPECT_EQ(FilesIn(folder.path()), 1);
  EXPECT_EQ(list.SaveToFile(folder.File("missing/x.rect").c_str()), -1);
}

}  // namespace
