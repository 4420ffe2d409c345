// Per-user store on POSIX: an SQLite database that keeps registry-shaped
// data, so value names, types and data sizes survive exactly. Every
// statement is its own transaction, which makes each write atomic and lets
// several processes share the file.
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

#include "platform/store.h"
#include "platform/user_paths.h"

namespace platform {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS store_keys ("
    "  path TEXT NOT NULL PRIMARY KEY COLLATE NOCASE);"
    "CREATE TABLE IF NOT EXISTS store_values ("
    "  path TEXT NOT NULL COLLATE NOCASE,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY (path, name));";

// Key paths are kept without leading, trailing or doubled separators, the
// way the registry resolves them.
std::string NormalizePath(std::string_view path) {
  std::string out;
  for (char c : path) {
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out.push_back(c);
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  explicit operator bool() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }
  void BindText(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

struct Database {
  sqlite3* db = nullptr;
  std::string path;
  // Serialises this process's use of the connection: a transaction's
  // statements must not interleave with another thread's.
  std::mutex mutex;
  ~Database() { sqlite3_close(db); }
};

// The process keeps one connection to the database and opens it again only
// when the database's location changes: the plug-in asks the store many
// times per frame, and opening the file each time would cost more than the
// frame itself. Other processes share the file through SQLite's locking;
// the write-ahead log lets them read while one writes.
std::shared_ptr<Database> OpenDatabase() {
  static std::mutex cache_mutex;
  static std::shared_ptr<Database> cached;
  const std::string path = StoreDatabasePath();
  std::lock_guard<std::mutex> lock(cache_mutex);
  if (cached && cached->path == path) return cached;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  auto database = std::make_shared<Database>();
  database->path = path;
  if (sqlite3_open_v2(path.c_str(), &database->db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    return nullptr;
  }
  sqlite3_busy_timeout(database->db, 10000);
  sqlite3_exec(database->db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr,
               nullptr, nullptr);
  if (sqlite3_exec(database->db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) return nullptr;
  cached = database;
  return database;
}

bool KeyExists(sqlite3* db, const std::string& path) {
  Statement stmt(db, "SELECT 1 FROM store_keys WHERE path = ?1");
  if (!stmt) return false;
  stmt.BindText(1, path);
  return sqlite3_step(stmt.get()) == SQLITE_ROW;
}

}  // namespace

struct StoreKey::Impl {
  std::shared_ptr<Database> database;
  std::string path;
};

StoreKey::StoreKey() = default;
StoreKey::~StoreKey() = default;
StoreKey::StoreKey(StoreKey&&) noexcept = default;
StoreKey& StoreKey::operator=(StoreKey&&) noexcept = default;
StoreKey::StoreKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

StoreKey StoreKey::CreateOrOpen(std::string_view path) {
  std::string normalized = NormalizePath(path);
  if (normalized.empty()) return StoreKey();
  auto database = OpenDatabase();
  if (!database) return StoreKey();
  std::lock_guard<std::mutex> lock(database->mutex);
  // The key and every parent, as one transaction.
  Statement stmt(database->db, "INSERT OR IGNORE INTO store_keys (path) VALUES (?1)");
  if (!stmt) return StoreKey();
  if (sqlite3_exec(database->db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return StoreKey();
  }
  bool ok = true;
  for (size_t i = 0; ok && i <= normalized.size(); ++i) {
    if (i != normalized.size() && normalized[i] != '\\') continue;
    sqlite3_reset(stmt.get());
    stmt.BindText(1, std::string_view(normalized).substr(0, i));
    ok = sqlite3_step(stmt.get()) == SQLITE_DONE;
  }
  if (sqlite3_exec(database->db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr) !=
          SQLITE_OK ||
      !ok) {
    return StoreKey();
  }
  auto impl = std::make_unique<Impl>();
  impl->database = std::move(database);
  impl->path = std::move(normalized);
  return StoreKey(std::move(impl));
}

StoreKey StoreKey::OpenExisting(std::string_view path) {
  std::string normalized = NormalizePath(path);
  if (normalized.empty()) return StoreKey();
  auto database = OpenDatabase();
  if (!database) return StoreKey();
  {
    std::lock_guard<std::mutex> lock(database->mutex);
    if (!KeyExists(database->db, normalized)) return StoreKey();
  }
  auto impl = std::make_unique<Impl>();
  impl->database = std::move(database);
  impl->path = std::move(normalized);
  return StoreKey(std::move(impl));
}

bool StoreKey::Query(std::string_view name, void* buffer, uint32_t* size, uint32_t* type) const {
  if (!impl_ || !size) return false;
  std::lock_guard<std::mutex> lock(impl_->database->mutex);
  Statement stmt(impl_->database->db,
                 "SELECT type, data FROM store_values WHERE path = ?1 AND name = ?2");
  if (!stmt) return false;
  stmt.BindText(1, impl_->path);
  stmt.BindText(2, name);
  if (sqlite3_step(stmt.get()) != SQLITE_ROW) return false;
  const int bytes = sqlite3_column_bytes(stmt.get(), 1);
  if (bytes < 0 || static_cast<uint64_t>(bytes) > *size) return false;
  if (bytes > 0) std::memcpy(buffer, sqlite3_column_blob(stmt.get(), 1), bytes);
  *size = static_cast<uint32_t>(bytes);
  if (type) *type = static_cast<uint32_t>(sqlite3_column_int64(stmt.get(), 0));
  return true;
}

bool StoreKey::Set(std::string_view name, uint32_t type, const void* data, uint32_t size) {
  if (!impl_ || (size && !data) || size > 0x7fffffffu) return false;
  std::lock_guard<std::mutex> lock(impl_->database->mutex);
  // Fails, as the registry does, when the key was deleted meanwhile.
  Statement stmt(impl_->database->db,
                 "INSERT OR REPLACE INTO store_values (path, name, type, data) "
                 "SELECT ?1, ?2, ?3, ?4 WHERE EXISTS (SELECT 1 FROM store_keys WHERE path = ?1)");
  if (!stmt) return false;
  stmt.BindText(1, impl_->path);
  stmt.BindText(2, name);
  sqlite3_bind_int64(stmt.get(), 3, type);
  static const char kEmpty = 0;
  sqlite3_bind_blob(stmt.get(), 4, size ? data : &kEmpty, static_cast<int>(size), SQLITE_TRANSIENT);
  return sqlite3_step(stmt.get()) == SQLITE_DONE && sqlite3_changes(impl_->database->db) == 1;
}

bool DeleteStoreKeyTree(std::string_view path) {
  std::string normalized = NormalizePath(path);
  if (normalized.empty()) return false;
  auto database = OpenDatabase();
  if (!database) return false;
  std::lock_guard<std::mutex> lock(database->mutex);
  const char* sql =
      "BEGIN IMMEDIATE;"
      "DELETE FROM store_values WHERE path = ?1 OR substr(path, 1, length(?1) + 1) = ?1 || '\\' "
      "COLLATE NOCASE;"
      "DELETE FROM store_keys WHERE path = ?1 OR substr(path, 1, length(?1) + 1) = ?1 || '\\' "
      "COLLATE NOCASE;"
      "COMMIT;";
  // sqlite3_exec takes no parameters: run the statements one by one.
  const char* tail = sql;
  bool ok = true;
  while (ok && *tail) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(database->db, tail, -1, &raw, &tail) != SQLITE_OK) {
      ok = false;
      break;
    }
    if (!raw) break;
    if (sqlite3_bind_parameter_count(raw) > 0) {
      sqlite3_bind_text(raw, 1, normalized.data(), static_cast<int>(normalized.size()),
                        SQLITE_TRANSIENT);
    }
    ok = sqlite3_step(raw) == SQLITE_DONE;
    sqlite3_finalize(raw);
  }
  if (!ok) sqlite3_exec(database->db, "ROLLBACK", nullptr, nullptr, nullptr);
  return ok;
}

}  // namespace platform
