// The built plug-in, loaded as a host loads it: exports, selectors, setup,
// the PiPL resource, and calls made on a misaligned stack. Setup opens the
// parameters dialog, which these tests cancel at once.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <sstream>
#include <vector>

#include "host/host_record.h"
#include "platform/dynamic_library.h"
#include "region/rect_list.h"
#include "tests/support.h"
#include "tests/ui/dialog_driver.h"
#include "tools/fieldrestore/cli.h"

namespace {

using XFilterFn = int32_t (*)(int16_t, char**);

struct FakeHost {
  std::vector<char> record = std::vector<char>(256, 0);
  char* record_ptr = nullptr;
  uint8_t services[64] = {};
  uint8_t memory[64] = {};
  static inline int allocations = 0;
  static inline int32_t last_size = 0;
  static inline char* block = nullptr;
  static inline char* handle_slot = nullptr;

  static char** Allocate(int32_t size) {
    ++allocations;
    last_size = size;
    block = static_cast<char*>(std::calloc(1, size));
    handle_slot = block;
    return &handle_slot;
  }

  FakeHost() {
    record_ptr = record.data();
    record::Write(memory, record::kAllocateHandleSlot, &FakeHost::Allocate);
    record::Write<void*>(services, record::kMemoryServices, memory);
    record::Write<void*>(record_ptr, record::kHostServices, services);
    allocations = 0;
  }
  char** handle() { return &record_ptr; }
};

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::DeleteSettingsKey();
    test::RemoveLog();
    ASSERT_TRUE(library_.Load(platform::ExecutableDirectory() + "\\fieldrestore.prm"))
        << library_.Error();
    filter_ = reinterpret_cast<XFilterFn>(library_.Symbol("xFilter"));
    ASSERT_NE(filter_, nullptr) << "xFilter must be exported undecorated";
  }
  void TearDown() override { test::DeleteSettingsKey(); }
  platform::DynamicLibrary library_;
  XFilterFn filter_ = nullptr;
};

TEST_F(PluginTest, ConstantSelectorsAndUnhandledValues) {
  FakeHost host;
  EXPECT_EQ(filter_(4, host.handle()), 16384);
  EXPECT_EQ(filter_(5, host.handle()), 1);
  for (int16_t selector : {2, 3, -1, 7, 100, -32768, 32767}) {
    EXPECT_EQ(filter_(selector, host.handle()), -100) << selector;
  }
  EXPECT_EQ(filter_(0, host.handle()), 0);
  EXPECT_EQ(host.allocations, 0);
}

TEST_F(PluginTest, EverySelectorCreatesTheSettingsKey) {
  FakeHost host;
  EXPECT_FALSE(platform::StoreKey::OpenExisting(kSettingsKey));
  EXPECT_EQ(filter_(3, host.handle()), -100);
  EXPECT_TRUE(platform::StoreKey::OpenExisting(kSettingsKey));
}

TEST_F(PluginTest, FormatQueryWritesBgraOnlyForIndexZero) {
  FakeHost host;
  EXPECT_EQ(filter_(6, host.handle()), 0);
  EXPECT_EQ(0, std::memcmp(host.record_ptr + 89, "bgra", 4));
  std::vector<char> before(host.record);
  std::memset(host.record_ptr + 89, 0, 4);
  before = host.record;
  record::Write<int32_t>(host.record_ptr, record::kFormatQueryIndex, 1);
  before = host.record;
  EXPECT_EQ(filter_(6, host.handle()), 1);
  EXPECT_EQ(host.record, before);
}

TEST_F(PluginTest, NullRecordIsUnsupportedAndTouchesNothing) {
  EXPECT_EQ(filter_(4, nullptr), -100);
  char* null_record = nullptr;
  EXPECT_EQ(filter_(1, &null_record), -100);
  EXPECT_FALSE(platform::StoreKey::OpenExisting(kSettingsKey));
}

TEST_F(PluginTest, SetupAllocatesTheHandleOnceLogsAndSavesLoadedSettings) {
  FakeHost host;
  ASSERT_EQ(RunCommandLine({"settings", "set", "method", "2"}, std::cout, std::cerr), 0);
  ASSERT_EQ(RunCommandLine({"debug", "on"}, std::cout, std::cerr), 0);
  EXPECT_EQ(test::CallAndCancelDialog([&] { return filter_(1, host.handle()); }), 0);
  EXPECT_EQ(host.allocations, 1);
  EXPECT_EQ(host.last_size, 4);
  auto handle = record::Read<char**>(host.record_ptr, record::kSpecsHandle);
  EXPECT_EQ(handle, &FakeHost::handle_slot);
  char line[160];
  std::snprintf(line, sizeof line,
                "(*theData)->specsHandle was allocated.It is 0x%x, and pointed 0x%x\r\n"
                "(*theData)->specsHandle is 0x%x, and pointed 0x%x\r\n",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle)),
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(*handle)),
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle)),
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(*handle)));
  EXPECT_EQ(test::ReadLog(), line);

  // The plug-in loaded method 2 (set by the command line) and saved it back
  // with the other six values, flags one byte each.
  std::string data;
  uint32_t type = 0;
  ASSERT_TRUE(test::ReadSettingsValue("method", &data, &type));
  EXPECT_EQ(data, std::string("\x02\0\0\0", 4));
  ASSERT_TRUE(test::ReadSettingsValue("is_replace_only_interlaced_pixels", &data, &type));
  EXPECT_EQ(data.size(), 1u);
  EXPECT_EQ(type, platform::kStoreTypeDword);
  ASSERT_TRUE(test::ReadSettingsValue("area", &data, &type));
  EXPECT_EQ(data, std::string("\x10\0\0\0", 4));

  // A second setup finds the handle and only logs it.
  test::RemoveLog();
  EXPECT_EQ(test::CallAndCancelDialog([&] { return filter_(1, host.handle()); }), 0);
  EXPECT_EQ(host.allocations, 1);
  std::snprintf(line, sizeof line, "(*theData)->specsHandle is 0x%x, and pointed 0x%x\r\n",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle)),
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(*handle)));
  EXPECT_EQ(test::ReadLog(), line);
}

TEST_F(PluginTest, SetupLoadsTheStoredRegionAndStoresItBack) {
  FakeHost host;
  std::ostringstream out, err;
  for (const char* bottom : {"10", "20", "30"}) {
    ASSERT_EQ(RunCommandLine({"region", "add", "-", "0", "0", "9", bottom}, out, err), 0);
  }
  // The stored ids are 1 and 3 after this; setup's list numbers them 1 and
  // 2 and stores them so when the call ends.
  CRectList* edited = new CRectList;
  ASSERT_NE(edited, nullptr);
  edited->Delete(2);
  delete edited;
  EXPECT_EQ(test::CallAndCancelDialog([&] { return filter_(1, host.handle()); }), 0);
  auto key = platform::StoreKey::OpenExisting(kRectListKey);
  uint8_t list[64];
  uint32_t length = sizeof list;
  ASSERT_TRUE(key.Query("list", list, &length));
  ASSERT_EQ(length, 42u);
  EXPECT_EQ(DecodeRectRecord(list), (RectItem{1, 0, 0, 0, 9, 10}));
  EXPECT_EQ(DecodeRectRecord(list + 21), (RectItem{2, 0, 0, 0, 9, 30}));
}

// Calls xFilter with the stack pointer 4 bytes off a 16-byte boundary at the
// call, as a 32-bit Windows host may.
int32_t CallMisaligned(XFilterFn fn, int16_t selector, char** data) {
  int32_t result;
  __asm__ volatile(
      "movl %%esp, %%esi\n\t"
      "andl $-16, %%esp\n\t"
      "subl $4, %%esp\n\t"
      "pushl %3\n\t"
      "pushl %2\n\t"
      "call *%1\n\t"
      "movl %%esi, %%esp\n\t"
      : "=a"(result)
      : "r"(fn), "r"(static_cast<int32_t>(selector)), "r"(data)
      : "esi", "ecx", "edx", "memory", "cc");
  return result;
}

TEST_F(PluginTest, EntryPointsWorkOnAMisalignedStack) {
  FakeHost host;
  EXPECT_EQ(CallMisaligned(filter_, 4, host.handle()), 16384);
  EXPECT_EQ(CallMisaligned(filter_, 6, host.handle()), 0);
  EXPECT_EQ(test::CallAndCancelDialog([&] { return CallMisaligned(filter_, 1, host.handle()); }),
            0);
  EXPECT_EQ(CallMisaligned(filter_, 9, host.handle()), -100);
}

TEST_F(PluginTest, PiplResourceIsTheExact214Bytes) {
  HMODULE module = GetModuleHandleA("fieldrestore.prm");
  ASSERT_NE(module, nullptr);
  HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(16000), "PIPL");
  ASSERT_NE(info, nullptr);
  ASSERT_EQ(SizeofResource(module, info), 214u);
  const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(module, info)));
  ASSERT_NE(bytes, nullptr);
  std::string expected("\x01\x00\x00\x00\x00\x00\x07\x00\x00\x00", 10);
  auto prop = [&](const char* key, std::string data) {
    expected += "MIB8";
    expected += std::string(key).substr(0, 4);
    expected += std::string("\0\0\0\0", 4);
    const uint32_t n = static_cast<uint32_t>(data.size());
    expected += std::string(reinterpret_cast<const char*>(&n), 4);
    expected += data;
  };
  prop("dnik", "tlFV");
  prop("eman", "\x1dQuorvaline Deinterlace Filter" + std::string(2, '\0'));
  prop("ANMe", "\x1dQuorvaline_Deinterlace_Filter" + std::string(2, '\0'));
  prop("gtac", "\x0aQuorvaline" + std::string(1, '\0'));
  prop("RVPe", std::string("\x02\x00\x03\x00", 4));
  prop("RVSe", std::string("\x03\x00\x00\x00", 4));
  prop("REVe", std::string("\x00\x00\x30\x00", 4));
  ASSERT_EQ(expected.size(), 214u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), 214), expected);
}

}  // namespace
