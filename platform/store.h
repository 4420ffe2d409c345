// Per-user key-value store: the current user's registry on Windows, an SQLite
// database on POSIX. Callers see registry semantics: keys are paths separated
// by backslashes (compared without regard to case), values carry a name, a
// type and data bytes whose size is kept exactly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
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
  // The data size of a value, for a buffer that holds it whatever it is.
  // Fails when the key is not open or the value is missing.
  bool QuerySize(std::string_view name, uint32_t* size) const;

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

// A transaction: every store operation of this thread until Commit is one
// atomic change that no other process interleaves with, so that a
// read-modify-write of a value cannot lose another process's write. A read
// transaction sees one state of the store throughout and takes no write
// lock. Transactions opened while one is open join it; the outermost
// commits. On Windows, where the registry has no transactions, it does
// nothing.
class StoreTransaction {
 public:
  enum class Kind { kRead, kWrite };
  explicit StoreTransaction(Kind kind = Kind::kWrite);
  ~StoreTransaction();  // rolls back what was not committed
  StoreTransaction(const StoreTransaction&) = delete;
  StoreTransaction& operator=(const StoreTransaction&) = delete;

  // False when the store could not start it (locked, read-only, unusable).
  bool IsOpen() const { return impl_ != nullptr; }
  bool Commit();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// What went wrong with the store since ClearStoreFailures, for the command
// line to report; each message names the store and the reason ("the
// settings store at ... is locked by another process"). A missing key or
// value is no failure. The plug-in ignores all of this, as a host has no
// way to show it.
struct StoreFailures {
  // The first failure that kept the store from being read or opened.
  std::string error;
  // The first refused write (read-only, full, locked for writing), when
  // reading still worked.
  std::string write;
};
StoreFailures GetStoreFailures();
// Forgets the failures; also ends the fail-fast state that follows a wait
// for another process's lock that ran out, in which later operations stop
// waiting so that one command waits for a lock at most once.
void ClearStoreFailures();

}  // namespace platform
