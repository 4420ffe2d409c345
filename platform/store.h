// Per-user key-value store: the current user's registry on Windows, an SQLite
// database on POSIX. Callers see registry semantics: keys are paths separated
// by backslashes (compared without regard to case), values carry a name, a
// type and data bytes whose size is kept exactly.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace platform {

inline constexpr uint32_t kStoreTypeString = 1;  // REG_SZ
inline constexpr uint32_t kStoreTypeBinary = 3;  // REG_BINARY
inline constexpr uint32_t kStoreTypeDword = 4;   // REG_DWORD

// An open key. Move-only; closes itself.
class StoreKey {
 public:
  StoreKey();
  ~StoreKey();
  StoreKey(StoreKey&& other) noexcept;
  StoreKey& operator=(StoreKey&& other) noexcept;
  StoreKey(const StoreKey&) = delete;
  StoreKey& operator=(const StoreKey&) = delete;

  // Opens the key, creating it and any missing parent first (RegCreateKeyA).
  static StoreKey CreateOrOpen(std::string_view path);
  // Opens the key only when it exists already (RegOpenKeyExA, full access).
  static StoreKey OpenExisting(std::string_view path);

  bool IsOpen() const { return impl_ != nullptr; }
  explicit operator bool() const { return IsOpen(); }

  // Reads a value. Fails when the key is not open, the value is missing, or
  // its data is larger than *size. On success the data is copied to the
  // start of `buffer` (bytes past the data are left as they were), *size is
  // set to the data size and, if `type` is given, *type to the stored type.
  // On failure the buffer is left untouched.
  bool Query(std::string_view name, void* buffer, uint32_t* size, uint32_t* type = nullptr) const;

  // Writes a value, replacing any value of that name (RegSetValueExA).
  bool Set(std::string_view name, uint32_t type, const void* data, uint32_t size);

  struct Impl;

 private:
  explicit StoreKey(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Removes a key with all its values and subkeys. True when nothing of it is
// left afterwards (also when it did not exist).
bool DeleteStoreKeyTree(std::string_view path);

}  // namespace platform
