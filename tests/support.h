// Helpers shared by the tests: a clean settings key and the log's content.
#pragma once

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "host/settings.h"
#include "platform/store.h"
#include "platform/user_paths.h"

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

}  // namespace test
