// The DLL entry's decision: load with MMX, refuse without it.
#include "plugin/module_state.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/system.h"

namespace {

std::string g_text, g_caption;
int g_boxes = 0;
void RecordBox(const char* text, const char* caption) {
  g_text = text;
  g_caption = caption;
  ++g_boxes;
}

bool Sticks() { return true; }
bool DoesNotStick() { return false; }
uint32_t WithMmx() { return 0x00800000; }
uint32_t WithoutMmx() { return 0x07FFFFFF & ~0x00800000u; }

class DllEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_boxes = 0;
    g_instance = nullptr;
    platform::SetMessageBoxHookForTesting(&RecordBox);
    platform::SetLastErrorCode(0);
  }
  void TearDown() override { platform::SetMessageBoxHookForTesting(nullptr); }
  int dummy_ = 0;
};

TEST_F(DllEntryTest, AttachWithMmxLoadsQuietly) {
  EXPECT_EQ(HandleDllEntry(&dummy_, 1, {&Sticks, &WithMmx}), 1);
  EXPECT_EQ(g_instance, &dummy_);
  EXPECT_EQ(g_boxes, 0);
  EXPECT_EQ(platform::GetLastErrorCode(), 0u);
}

TEST_F(DllEntryTest, AttachWithoutMmxRefusesWithMessageAndError) {
  EXPECT_EQ(HandleDllEntry(&dummy_, 1, {&Sticks, &WithoutMmx}), 0);
  EXPECT_EQ(g_boxes, 1);
  EXPECT_EQ(g_text, "Your processor must support MMX instructions");
  EXPECT_EQ(g_caption, "Quorvaline Deinterlace");
  EXPECT_EQ(platform::GetLastErrorCode(), 0x8004025Bu);
}

TEST_F(DllEntryTest, ProcessorWithoutCpuidCountsAsWithoutMmx) {
  EXPECT_EQ(HandleDllEntry(&dummy_, 1, {&DoesNotStick, &WithMmx}), 0);
  EXPECT_EQ(g_boxes, 1);
}

TEST_F(DllEntryTest, OtherReasonsAreAcceptedWithoutAnyCheck) {
  for (uint32_t reason : {0u, 2u, 3u}) {
    EXPECT_EQ(HandleDllEntry(&dummy_, reason, {&DoesNotStick, &WithoutMmx}), 1);
  }
  EXPECT_EQ(g_boxes, 0);
  EXPECT_EQ(g_instance, nullptr);
}

}  // namespace
