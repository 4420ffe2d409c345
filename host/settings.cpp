// Settings record <-> per-user store, the two switches and the log writer.
// Every call goes to the store anew: nothing is cached between calls.
#include "host/settings.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/store.h"
#include "platform/user_paths.h"

namespace {

constexpr SettingField kFields[] = {
    {"method", offsetof(DeinterlaceParameters, method), 4},
    {"area", offsetof(DeinterlaceParameters, area), 4},
    {"interlace_threshold", offsetof(DeinterlaceParameters, interlace_threshold), 4},
    {"block_distance_threshold", offsetof(DeinterlaceParameters, block_distance_threshold), 4},
    {"replace_threshold", offsetof(DeinterlaceParameters, replace_threshold), 4},
    {"is_replace_only_interlaced_pixels",
     offsetof(DeinterlaceParameters, is_replace_only_interlaced_pixels), 1},
    {"is_search_within_interpolated",
     offsetof(DeinterlaceParameters, is_search_within_interpolated), 1},
};

// The stored form of a field: its value in little-endian order, `size` bytes.
void ToBytes(uint32_t value, uint8_t (&bytes)[4]) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}
uint32_t FromBytes(const uint8_t (&bytes)[4]) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// A switch: read into a variable that starts at 0; a missing value is
// created as 0. False when the key does not exist.
bool ReadSwitch(const char* name) {
  platform::StoreKey key = platform::StoreKey::OpenExisting(kSettingsKey);
  if (!key) return false;
  uint8_t bytes[4] = {};
  uint32_t size = sizeof bytes;
  if (key.Query(name, bytes, &size)) return FromBytes(bytes) != 0;
  // Created under the write lock, looked up once more under it: a switch
  // another process sets meanwhile is not put back to off.
  platform::StoreTransaction transaction;
  size = sizeof bytes;
  if (!key.Query(name, bytes, &size)) key.Set(name, platform::kStoreTypeDword, bytes, sizeof bytes);
  transaction.Commit();
  return FromBytes(bytes) != 0;
}

void WriteSwitch(const char* name, bool on) {
  platform::StoreKey key = platform::StoreKey::OpenExisting(kSettingsKey);
  if (!key) return;
  uint8_t bytes[4];
  ToBytes(on ? 1 : 0, bytes);
  key.Set(name, platform::kStoreTypeDword, bytes, sizeof bytes);
}

}  // namespace

std::span<const SettingField> SettingFields() { return kFields; }

const SettingField* FindSettingField(std::string_view name) {
  // Value names compare without regard to case, as the store compares them.
  const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  for (const SettingField& field : kFields) {
    const std::string_view candidate(field.name);
    if (candidate.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; same && i < name.size(); ++i) same = fold(name[i]) == candidate[i];
    if (same) return &field;
  }
  return nullptr;
}

uint32_t GetSettingValue(const DeinterlaceParameters& params, const SettingField& field) {
  const auto* base = reinterpret_cast<const uint8_t*>(&params) + field.offset;
  if (field.size == 1) return *base;
  uint32_t value;
  std::memcpy(&value, base, sizeof value);
  return value;
}

void SetSettingValue(DeinterlaceParameters& params, const SettingField& field, uint32_t value) {
  auto* base = reinterpret_cast<uint8_t*>(&params) + field.offset;
  if (field.size == 1) {
    *base = static_cast<uint8_t>(value);
  } else {
    std::memcpy(base, &value, sizeof value);
  }
}

void LoadSettings(DeinterlaceParameters* params) {
  if (!params) return;
  platform::StoreKey key = platform::StoreKey::CreateOrOpen(kSettingsKey);
  if (!key) return;
  ResetSettings(params);
  for (const SettingField& field : kFields) {
    // A shorter value replaces only the leading bytes of the field, as a
    // read straight into the field does; a longer or missing one leaves
    // the default.
    uint8_t bytes[4];
    ToBytes(GetSettingValue(*params, field), bytes);
    uint32_t size = field.size;
    if (key.Query(field.name, bytes, &size)) {
      SetSettingValue(*params, field, FromBytes(bytes));
    }
  }
}

void SaveSettings(const DeinterlaceParameters* params) {
  if (!params) return;
  platform::StoreKey key = platform::StoreKey::CreateOrOpen(kSettingsKey);
  if (!key) return;
  for (const SettingField& field : kFields) {
    uint8_t bytes[4];
    ToBytes(GetSettingValue(*params, field), bytes);
    key.Set(field.name, platform::kStoreTypeDword, bytes, field.size);
  }
}

void ResetSettings(DeinterlaceParameters* params) {
  if (params) *params = DeinterlaceParameters{};
}

bool StoreSettingValue(const SettingField& field, uint32_t value) {
  platform::StoreKey key = platform::StoreKey::CreateOrOpen(kSettingsKey);
  if (!key) return false;
  uint8_t bytes[4];
  ToBytes(value, bytes);
  return key.Set(field.name, platform::kStoreTypeDword, bytes, field.size);
}

bool IsDebugOn() { return ReadSwitch("debug"); }
void SetDebug(bool on) { WriteSwitch("debug", on); }
bool IsSoundAlertOn() { return ReadSwitch("soundalert"); }
void SetSoundAlert(bool on) { WriteSwitch("soundalert", on); }

void WriteLog(const char* text) {
  if (!IsDebugOn()) return;
  std::FILE* file = platform::OpenLogForAppend();
  if (!file) return;
  std::fprintf(file, "%s\n", text ? text : "");
  std::fclose(file);
}

void AppendLog(const std::string& lines) {
  std::FILE* file = platform::OpenLogForAppend();
  if (!file) return;
  std::fputs(lines.c_str(), file);
  std::fclose(file);
}

void WriteLogF(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  WriteLog(text.c_str());
}
