// The per-user store keeps registry semantics on every platform.
#include "platform/store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr const char* kKey = "SOFTWARE\\fieldrestore-tests\\store";

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::DeleteStoreKeyTree("SOFTWARE\\fieldrestore-tests"));
  }
  void TearDown() override { platform::DeleteStoreKeyTree("SOFTWARE\\fieldrestore-tests"); }
};

TEST_F(StoreTest, OpenExistingFailsUntilCreateMakesTheKeyAndItsParents) {
  EXPECT_FALSE(platform::StoreKey::OpenExisting(kKey));
  EXPECT_TRUE(platform::StoreKey::CreateOrOpen(kKey));
  EXPECT_TRUE(platform::StoreKey::OpenExisting(kKey));
  EXPECT_TRUE(platform::StoreKey::OpenExisting("SOFTWARE\\fieldrestore-tests"));
  // Key names compare without regard to case.
  EXPECT_TRUE(platform::StoreKey::OpenExisting("software\\FIELDRESTORE-TESTS\\Store"));
}

TEST_F(StoreTest, ValuesKeepTypeAndExactDataSize) {
  auto key = platform::StoreKey::CreateOrOpen(kKey);
  ASSERT_TRUE(key);
  const uint8_t one = 1;
  const uint8_t four[4] = {0x78, 0x56, 0x34, 0x12};
  ASSERT_TRUE(key.Set("flag", platform::kStoreTypeDword, &one, 1));
  ASSERT_TRUE(key.Set("word", platform::kStoreTypeDword, four, 4));
  ASSERT_TRUE(key.Set("empty", platform::kStoreTypeBinary, nullptr, 0));

  uint8_t buffer[8];
  std::memset(buffer, 0xAA, sizeof buffer);
  uint32_t size = sizeof buffer, type = 0;
  ASSERT_TRUE(key.Query("flag", buffer, &size, &type));
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(type, platform::kStoreTypeDword);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[1], 0xAA) << "bytes past the data stay as they were";

  size = 4;
  ASSERT_TRUE(key.Query("word", buffer, &size, &type));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(0, std::memcmp(buffer, four, 4));

  size = sizeof buffer;
  ASSERT_TRUE(key.Query("empty", buffer, &size, &type));
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(type, platform::kStoreTypeBinary);
}

TEST_F(StoreTest, QueryFailsForMissingOrTooLargeValueAndLeavesBufferAlone) {
  auto key = platform::StoreKey::CreateOrOpen(kKey);
  const uint8_t four[4] = {1, 2, 3, 4};
  ASSERT_TRUE(key.Set("word", platform::kStoreTypeDword, four, 4));
  uint8_t buffer[4] = {9, 9, 9, 9};
  uint32_t size = 1;
  EXPECT_FALSE(key.Query("word", buffer, &size));
  EXPECT_EQ(buffer[0], 9);
  size = 4;
  EXPECT_FALSE(key.Query("missing", buffer, &size));
  EXPECT_EQ(buffer[0], 9);
  // The size a buffer needs, however large the value.
  const std::string large(100000, 'x');
  ASSERT_TRUE(key.Set("large", platform::kStoreTypeBinary, large.data(), 100000));
  EXPECT_TRUE(key.QuerySize("large", &size));
  EXPECT_EQ(size, 100000u);
  ASSERT_TRUE(key.Set("empty", platform::kStoreTypeBinary, nullptr, 0));
  EXPECT_TRUE(key.QuerySize("EMPTY", &size));
  EXPECT_EQ(size, 0u);
  EXPECT_FALSE(key.QuerySize("missing", &size));
}

TEST_F(StoreTest, SetReplacesAndValueNamesIgnoreCase) {
  auto key = platform::StoreKey::CreateOrOpen(kKey);
  const uint8_t a[4] = {1, 0, 0, 0};
  const uint8_t b = 7;
  ASSERT_TRUE(key.Set("Value", platform::kStoreTypeDword, a, 4));
  ASSERT_TRUE(key.Set("value", platform::kStoreTypeBinary, &b, 1));
  uint8_t buffer[4] = {};
  uint32_t size = 4, type = 0;
  ASSERT_TRUE(key.Query("VALUE", buffer, &size, &type));
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(type, platform::kStoreTypeBinary);
  EXPECT_EQ(buffer[0], 7);
}

TEST_F(StoreTest, ValuesPersistAcrossOpensAndDeleteTreeRemovesSubkeys) {
  {
    auto key = platform::StoreKey::CreateOrOpen(std::string(kKey) + "\\Sub");
    const uint8_t v = 5;
    ASSERT_TRUE(key.Set("v", platform::kStoreTypeDword, &v, 1));
  }
  {
    auto key = platform::StoreKey::OpenExisting(std::string(kKey) + "\\Sub");
    ASSERT_TRUE(key);
    uint8_t v = 0;
    uint32_t size = 1;
    ASSERT_TRUE(key.Query("v", &v, &size));
    EXPECT_EQ(v, 5);
  }
  EXPECT_TRUE(platform::DeleteStoreKeyTree(kKey));
  EXPECT_FALSE(platform::StoreKey::OpenExisting(std::string(kKey) + "\\Sub"));
  EXPECT_FALSE(platform::StoreKey::OpenExisting(kKey));
  EXPECT_TRUE(platform::StoreKey::OpenExisting("SOFTWARE\\fieldrestore-tests"));
  EXPECT_TRUE(platform::DeleteStoreKeyTree(kKey)) << "deleting a missing key succeeds";
}

TEST_F(StoreTest, WritesThroughAKeyDeletedMeanwhileFail) {
  auto key = platform::StoreKey::CreateOrOpen(kKey);
  ASSERT_TRUE(platform::DeleteStoreKeyTree(kKey));
  const uint8_t v = 1;
  EXPECT_FALSE(key.Set("v", platform::kStoreTypeDword, &v, 1));
}

TEST_F(StoreTest, ClosedKeyRefusesEverything) {
  platform::StoreKey key;
  EXPECT_FALSE(key);
  uint8_t v = 0;
  uint32_t size = 1;
  EXPECT_FALSE(key.Query("v", &v, &size));
  EXPECT_FALSE(key.Set("v", platform::kStoreTypeDword, &v, 1));
}

}  // namespace
