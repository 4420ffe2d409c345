// The store of a program that keeps no per-user settings (the frei0r
// plug-in, which takes everything from its host's parameters): no key
// opens, so nothing is read or written, and the program loads no database
// library.
#include "platform/store.h"

namespace platform {

struct StoreKey::Impl {};
struct StoreTransaction::Impl {};

StoreKey::StoreKey() = default;
StoreKey::~StoreKey() = default;
StoreKey::StoreKey(StoreKey&&) noexcept = default;
StoreKey& StoreKey::operator=(StoreKey&&) noexcept = default;

StoreKey StoreKey::CreateOrOpen(std::string_view) { return StoreKey(); }
StoreKey StoreKey::OpenExisting(std::string_view) { return StoreKey(); }
bool StoreKey::Query(std::string_view, void*, uint32_t*, uint32_t*) const { return false; }
bool StoreKey::QuerySize(std::string_view, uint32_t*) const { return false; }
bool StoreKey::Set(std::string_view, uint32_t, const void*, uint32_t) { return false; }

bool DeleteStoreKeyTree(std::string_view) { return true; }

StoreTransaction::StoreTransaction(Kind) {}
StoreTransaction::~StoreTransaction() = default;
bool StoreTransaction::Commit() { return false; }

StoreFailures GetStoreFailures() { return {}; }
void ClearStoreFailures() {}

}  // namespace platform
