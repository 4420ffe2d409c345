// Per-user store on Windows: the registry under HKEY_CURRENT_USER.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/store.h"
#include "platform/store_failures.h"

namespace platform {
namespace {

// Records a failure with the system's reason.
void Record(bool write, const char* what, LONG rc) {
  char reason[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 static_cast<DWORD>(rc), 0, reason, sizeof reason, nullptr);
  std::string text(reason);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == '.')) {
    text.pop_back();
  }
  store_failures::Record(
      write, std::string("the settings store (the registry) ") + what + " (" + text + ")");
}

}  // namespace

// The registry has no transactions; each write is atomic on its own.
struct StoreTransaction::Impl {};
StoreTransaction::StoreTransaction(Kind) : impl_(std::make_unique<Impl>()) {}
StoreTransaction::~StoreTransaction() = default;
bool StoreTransaction::Commit() { return true; }

struct StoreKey::Impl {
  HKEY key = nullptr;
  ~Impl() {
    if (key) RegCloseKey(key);
  }
};

StoreKey::StoreKey() = default;
StoreKey::~StoreKey() = default;
StoreKey::StoreKey(StoreKey&&) noexcept = default;
StoreKey& StoreKey::operator=(StoreKey&&) noexcept = default;
StoreKey::StoreKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

StoreKey StoreKey::CreateOrOpen(std::string_view path) {
  std::string p(path);
  HKEY key = nullptr;
  if (const LONG rc = RegCreateKeyA(HKEY_CURRENT_USER, p.c_str(), &key); rc != ERROR_SUCCESS) {
    Record(false, "cannot be opened", rc);
    return StoreKey();
  }
  auto impl = std::make_unique<Impl>();
  impl->key = key;
  return StoreKey(std::move(impl));
}

StoreKey StoreKey::OpenExisting(std::string_view path) {
  std::string p(path);
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, p.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    return StoreKey();
  }
  auto impl = std::make_unique<Impl>();
  impl->key = key;
  return StoreKey(std::move(impl));
}

bool StoreKey::Query(std::string_view name, void* buffer, uint32_t* size, uint32_t* type) const {
  if (!impl_ || !size) return false;
  std::string n(name);
  // The registry leaves the caller's buffer undefined when the data does not
  // fit; read into a scratch copy so that a failed query changes nothing.
  std::vector<BYTE> scratch(*size + 1);
  DWORD got = *size;
  DWORD stored_type = 0;
  LONG rc = RegQueryValueExA(impl_->key, n.c_str(), nullptr, &stored_type, scratch.data(), &got);
  if (rc != ERROR_SUCCESS || got > *size) return false;
  if (got) std::memcpy(buffer, scratch.data(), got);
  *size = got;
  if (type) *type = stored_type;
  return true;
}

bool StoreKey::QuerySize(std::string_view name, uint32_t* size) const {
  if (!impl_ || !size) return false;
  std::string n(name);
  DWORD bytes = 0;
  if (RegQueryValueExA(impl_->key, n.c_str(), nullptr, nullptr, nullptr, &bytes) != ERROR_SUCCESS) {
    return false;
  }
  *size = bytes;
  return true;
}

bool StoreKey::Set(std::string_view name, uint32_t type, const void* data, uint32_t size) {
  if (!impl_) return false;
  std::string n(name);
  const LONG rc =
      RegSetValueExA(impl_->key, n.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  if (rc != ERROR_SUCCESS) Record(true, "cannot be written", rc);
  return rc == ERROR_SUCCESS;
}

bool DeleteStoreKeyTree(std::string_view path) {
  std::string p(path);
  LONG rc = RegDeleteTreeA(HKEY_CURRENT_USER, p.c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

}  // namespace platform
