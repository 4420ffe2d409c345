// CRectList: coverage, rejections, numbering, the stored records and the
// global-memory allocation.
#include "region/rect_list.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/store.h"
#include "platform/system.h"
#include "plugin/module_state.h"
#include "tests/support.h"

namespace {

std::string Record(int32_t id, uint8_t include, int32_t l, int32_t t, int32_t r, int32_t b) {
  uint8_t bytes[kRectRecordSize];
  EncodeRectRecord(RectItem{id, include, l, t, r, b}, bytes);
  return std::string(reinterpret_cast<char*>(bytes), sizeof bytes);
}

// The data of a value of the region's key, as stored.
std::string StoredValue(const char* name, uint32_t expected_type) {
  auto key = platform::StoreKey::OpenExisting(kRectListKey);
  char data[256];
  uint32_t length = sizeof data, type = 0;
  if (!key.Query(name, data, &length, &type)) return "missing";
  EXPECT_EQ(type, expected_type) << name;
  return std::string(data, length);
}

// "size" (or -1 when missing) and "list" as stored.
std::pair<int64_t, std::string> Stored() {
  const std::string size = StoredValue("size", platform::kStoreTypeDword);
  if (size == "missing") return {-1, ""};
  EXPECT_EQ(size.size(), 4u);
  const auto* b = reinterpret_cast<const uint8_t*>(size.data());
  return {b[0] | b[1] << 8 | b[2] << 16 | int64_t{b[3]} << 24,
          StoredValue("list", platform::kStoreTypeBinary)};
}

std::string Size(uint32_t count) {
  const char bytes[4] = {static_cast<char>(count), static_cast<char>(count >> 8),
                         static_cast<char>(count >> 16), static_cast<char>(count >> 24)};
  return std::string(bytes, 4);
}

void Store(const std::string& size, const std::string& list) {
  auto key = platform::StoreKey::CreateOrOpen(kRectListKey);
  key.Set("size", platform::kStoreTypeDword, size.data(), static_cast<uint32_t>(size.size()));
  key.Set("list", platform::kStoreTypeBinary, list.data(), static_cast<uint32_t>(list.size()));
}

std::vector<RectItem> Items(const CRectList& list) { return {list.begin(), list.end()}; }

class RectListTest : public test::CleanStore<> {
 protected:
  void TearDown() override {
    platform::SetGlobalBlockFailureForTesting(false);
    CleanStore::TearDown();
  }
};

TEST(RectRecordTest, TwentyOneLittleEndianBytesAndTheListBoxLine) {
  EXPECT_EQ(
      Record(0x01020304, 2, 5, -1, 0x7FFFFFFF, 0x10203),
      std::string("\x04\x03\x02\x01\x02\x05\0\0\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F\x03\x02\x01\0",
                  21));
  const std::string bytes = Record(7, 0, -3, 4, 5, 6);
  EXPECT_EQ(DecodeRectRecord(reinterpret_cast<const uint8_t*>(bytes.data())),
            (RectItem{7, 0, -3, 4, 5, 6}));
  EXPECT_EQ(FormatRectItem({3, 0, 0, 0, 719, 575}), "3. [ (0,0) - (719,575) ] -");
  EXPECT_EQ(FormatRectItem({12, 2, 100, 100, 299, 199}), "12. [ (100,100) - (299,199) ] +");
}

TEST_F(RectListTest, LastCoveringRectangleDecidesWithInclusiveBounds) {
  CRectList list("");
  for (int32_t xy : {0, -1, 2147483647, -2147483647 - 1}) EXPECT_EQ(list.IsProcessed(xy, xy), 1);
  list.Add(0, 0, 0, 99, 99);
  list.Add(1, 10, 10, 20, 20);
  EXPECT_EQ(list.IsProcessed(15, 15), 1);
  EXPECT_EQ(list.IsProcessed(5, 5), 0);
  EXPECT_EQ(list.IsProcessed(150, 150), 1);
  EXPECT_EQ(list.IsProcessed(20, 10), 1);
  EXPECT_EQ(list.IsProcessed(21, 10), 0);
  list.Add(0, 10, 10, 20, 20);
  EXPECT_EQ(list.IsProcessed(15, 15), 0) << "a later exclude wins again";
  CRectList block("");
  block.Add(0, 0, 0, 7, 7);
  EXPECT_EQ(block.IsProcessed(7, 7), 0);
  EXPECT_EQ(block.IsProcessed(8, 7), 1);
}

TEST_F(RectListTest, RejectionsChangeNothingNotEvenTheStore) {
  CRectList list;
  for (const auto& [l, t, r, b] : std::vector<std::array<int32_t, 4>>{
           {5, 5, 5, 5}, {10, 0, 9, 5}, {0, 10, 5, 9}, {-1, 0, 5, 5}, {0, -1, 5, 5}}) {
    EXPECT_EQ(list.Add(1, l, t, r, b), -1) << l << "," << t << "," << r << "," << b;
    EXPECT_NE(RectRejection(l, t, r, b), nullptr);
  }
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(Stored().first, -1) << "nothing was written";
  EXPECT_EQ(list.Add(1, 5, 5, 5, 9), 1) << "a one-pixel column";
  EXPECT_EQ(list.Add(0, 5, 5, 9, 5), 2) << "a one-pixel row";
  EXPECT_EQ(Stored().first, 2);
}

TEST_F(RectListTest, IdsCountOnAfterDeletionAndRestartFromOneOnReload) {
  {
    CRectList list;
    list.Add(1, 0, 0, 10, 10);
    list.Add(0, 1, 1, 11, 11);
    list.Add(1, 2, 2, 12, 12);
    list.Delete(2);
    EXPECT_EQ(Stored(),
              std::make_pair(int64_t{2}, Record(1, 1, 0, 0, 10, 10) + Record(3, 1, 2, 2, 12, 12)));
    EXPECT_EQ(list.Add(0, 3, 3, 13, 13), 4);
    Store(Size(7), "stale");
    list.Delete(99);  // no such id, but the store is rewritten
    EXPECT_EQ(Stored().first, 3);
    list.Clear();
    EXPECT_EQ(Stored().first, 3) << "Clear stores nothing";
    EXPECT_EQ(list.Add(1, 0, 0, 1, 1), 1);
    list.Add(1, 0, 0, 10, 10);
    list.Add(1, 2, 2, 12, 12);
    list.Delete(2);
  }  // destruction stores ids 1 and 3
  CRectList reloaded;
  EXPECT_EQ(Items(reloaded), (std::vector<RectItem>{{1, 1, 0, 0, 1, 1}, {2, 1, 2, 2, 12, 12}}));
  EXPECT_EQ(reloaded.LastId(), 2);
}

// Every record "list" holds loads, whatever "size" counts. A region whose
// "size" does not count its records exactly is damaged: it is used as far
// as it can be read and left in the store as it is until it is changed.
TEST_F(RectListTest, StoredRecordsLoadAndADamagedRegionIsNeverWrittenBack) {
  // An include byte of 2; a single pixel; half a record completed by zeros.
  Store(Size(5), Record(9, 2, 0, 0, 15, 15) + Record(9, 1, 4, 4, 4, 4) +
                     Record(9, 0, 30, 30, 40, 40).substr(0, 17) + "\x50");
  {
    CRectList list;
    EXPECT_EQ(Items(list), (std::vector<RectItem>{{1, 2, 0, 0, 15, 15}, {2, 0, 30, 30, 40, 80}}));
    EXPECT_EQ(list.IsProcessed(8, 8), 2);
    EXPECT_EQ(list.LoadDamage(),
              "\"size\" counts 5 rectangles but \"list\" holds 2 and part of another (60 bytes)");
  }
  const std::string one = Record(0, 1, 1, 1, 9, 9), two = Record(0, 0, 2, 2, 8, 8);
  const std::string whole_list = Record(1, 1, 1, 1, 9, 9) + Record(2, 0, 2, 2, 8, 8);
  struct Damaged {
    std::string size, list, damage;
  };
  const Damaged damaged[] = {
      {Size(1), one + two, "\"size\" counts 1 rectangle but \"list\" holds 2 (42 bytes)"},
      {Size(0xFFFFFFFF), one + two,
       "\"size\" counts 4294967295 rectangles but \"list\" holds 2 (42 bytes)"},
      {Size(0x0C30C30D), one + two,  // 21 x size needs 33 bits
       "\"size\" counts 204522253 rectangles but \"list\" holds 2 (42 bytes)"},
      {Size(1000), one + two, "\"size\" counts 1000 rectangles but \"list\" holds 2 (42 bytes)"},
      {Size(0), one + two, "\"size\" counts 0 rectangles but \"list\" holds 2 (42 bytes)"},
      {std::string("\x02\0\0\0\0", 5), one + two, "\"size\" is 5 bytes long instead of 4"},
      {"\x02", one + two, "\"size\" is 1 bytes long instead of 4"},
  };
  for (const Damaged& d : damaged) {
    Store(d.size, d.list);
    {
      CRectList list;
      EXPECT_EQ(list.LoadDamage(), d.damage);
      EXPECT_EQ(Items(list), (std::vector<RectItem>{{1, 1, 1, 1, 9, 9}, {2, 0, 2, 2, 8, 8}}));
      CRectList again;  // a second list, as the plug-in makes one per frame
    }
    EXPECT_EQ(StoredValue("size", platform::kStoreTypeDword), d.size) << "kept: " << d.damage;
    EXPECT_EQ(StoredValue("list", platform::kStoreTypeBinary), d.list) << "kept: " << d.damage;
    {
      CRectList changed;
      changed.Delete(1);
    }
    EXPECT_EQ(Stored(), std::make_pair(int64_t{1}, Record(2, 0, 2, 2, 8, 8)))
        << "a change stores the region: " << d.damage;
    EXPECT_EQ(CRectList().LoadDamage(), "");
  }
  platform::DeleteStoreKeyTree(kRectListKey);
  platform::StoreKey::CreateOrOpen(kRectListKey)
      .Set("size", platform::kStoreTypeDword, "\1\0\0\0", 4);
  EXPECT_EQ(CRectList().LoadDamage(), "\"list\" is missing");
  platform::DeleteStoreKeyTree(kRectListKey);
  platform::StoreKey::CreateOrOpen(kRectListKey)
      .Set("list", platform::kStoreTypeBinary, one.data(), kRectRecordSize);
  CRectList without_size;
  EXPECT_EQ(without_size.LoadDamage(), "\"size\" is missing");
  EXPECT_EQ(without_size.Count(), 1u);
  Store(Size(2), whole_list);
  EXPECT_EQ(CRectList().LoadDamage(), "") << "a whole region";
}

// A list that did not change its region never writes it: a frame or a
// listing that lives while another list edits the region cannot put its
// stale copy back. A region stored otherwise than it loads is written once.
TEST_F(RectListTest, OnlyChangesAreWrittenAndStaleCopiesNeverOverwriteAnEdit) {
  Store(Size(2), Record(5, 1, 0, 0, 10, 10) + Record(9, 0, 2, 2, 12, 12));
  {
    CRectList stale;
    EXPECT_EQ(Stored(),
              std::make_pair(int64_t{2}, Record(1, 1, 0, 0, 10, 10) + Record(2, 0, 2, 2, 12, 12)));
    CRectList editor;
    EXPECT_EQ(editor.Add(1, 20, 20, 30, 30), 3);
    editor.Delete(1);
  }
  EXPECT_EQ(Stored(),
            std::make_pair(int64_t{2}, Record(2, 0, 2, 2, 12, 12) + Record(3, 1, 20, 20, 30, 30)));
  {
    CRectList cleared;
    cleared.Clear();
  }
  EXPECT_EQ(Stored(), std::make_pair(int64_t{0}, std::string()))
      << "a change the store has not taken is stored at the end";
}

TEST_F(RectListTest, NoGlobalMemoryMeansNoListAndNoStoreAccess) {
  EXPECT_STREQ(CRectList("").RegKey(), "");
  EXPECT_EQ(std::string(kRectListKey), std::string(kSettingsKey) + "\\RectList");
  platform::SetGlobalBlockFailureForTesting(true);
  EXPECT_EQ(new CRectList, nullptr);
  {
    ScopedRectList scope;
    EXPECT_EQ(g_rectList, nullptr);
  }
  EXPECT_FALSE(platform::StoreKey::OpenExisting(kRectListKey)) << "nothing was loaded";
  platform::SetGlobalBlockFailureForTesting(false);
  {
    ScopedRectList scope;
    ASSERT_NE(g_rectList, nullptr);
    g_rectList->Add(0, 0, 0, 9, 9);
  }
  EXPECT_EQ(g_rectList, nullptr);
  EXPECT_EQ(Stored().first, 1);
}

}  // namespace
