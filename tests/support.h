// Helpers shared by the tests: a clean settings key, the log's content and
// the command line run in this process.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/settings.h"
#include "platform/store.h"
#include "platform/user_paths.h"
#include "tools/fieldrestore/cli.h"

namespace test {

inline void DeleteSettingsKey() { platform::DeleteStoreKeyTree("SOFTWARE\\quorvaline"); }

inline std::string ReadLog() {
  std::ifstream in(platform::LogFilePath(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void RemoveLog() { std::remove(platform::LogFilePath().c_str()); }

// Reads a value of the settings key: data bytes and type.
inline bool ReadSettingsValue(const char* name, std::string* data, uint32_t* type) {
  auto key = platform::StoreKey::OpenExisting(kSettingsKey);
  char buffer[64];
  uint32_t size = sizeof buffer;
  if (!key.Query(name, buffer, &size, type)) return false;
  data->assign(buffer, size);
  return true;
}

inline void WriteSettingsValue(const char* name, const void* data, uint32_t size,
                               uint32_t type = platform::kStoreTypeDword) {
  platform::StoreKey::CreateOrOpen(kSettingsKey).Set(name, type, data, size);
}

// A fixture whose every test starts and ends without the settings key.
template <class Base = ::testing::Test>
class CleanStore : public Base {
 protected:
  void SetUp() override { DeleteSettingsKey(); }
  void TearDown() override { DeleteSettingsKey(); }
};

// One run of the command line (`args` without the program name).
struct CliRun {
  int code;
  std::string out, err;
};

inline CliRun RunCli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = RunCommandLine(args, out, err);
  return {code, out.str(), err.str()};
}

}  // namespace test
