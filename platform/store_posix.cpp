// Per-user store on POSIX: an SQLite database that keeps registry-shaped
// data, so value names, types and data sizes survive exactly. Each write is
// atomic, StoreTransaction groups several, and several processes share the
// file through SQLite's locking.
//
// A store that cannot be used is reported, not guessed around: every failure
// is recorded with its reason for the command line (GetStoreFailures). A
// store the user may only read is opened without creating or locking
// anything beside it, so such a run never leaves files behind that would
// keep later runs from working.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "platform/store.h"
#include "platform/store_failures.h"
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

// How long an operation waits for another process's lock. Writers hold it
// for milliseconds; a lock held longer belongs to something that is not
// going to let go soon.
constexpr int kLockWaitMs = 3000;

enum class Access { kRead, kWrite };

void Record(Access access, const std::string& message) {
  store_failures::Record(access == Access::kWrite, message);
}

std::string StoreAt(const std::string& path) { return "the settings store at " + path; }

// The failure of an SQLite call, in words.
void RecordSqlite(sqlite3* db, const std::string& path, int rc, Access access) {
  const char* detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  std::string what;
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      store_failures::SetLockWaitRanOut();
      what = " is locked by another process";
      break;
    case SQLITE_READONLY:
      what = std::string(" is read-only (") + detail + ")";
      break;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      // Neither can be read as it is: the write that found it fails, and
      // so does everything else.
      access = Access::kRead;
      what = std::string(" is not a settings database (") + detail + ")";
      break;
    case SQLITE_FULL:
      what = std::string(" cannot be written (") + detail + ")";
      break;
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR: {
      const int system_error = db ? sqlite3_system_errno(db) : 0;
      what = std::string(" cannot be used (") +
             (system_error ? std::strerror(system_error) : detail) + ")";
      break;
    }
    default:
      what = std::string(" cannot be used (") + detail + ")";
  }
  Record(access, StoreAt(path) + what);
}

// Once a wait ran out, later operations fail at once instead of waiting
// again, until ClearStoreFailures.
int LockWait() { return store_failures::LockWaitRanOut() ? 0 : kLockWaitMs; }

bool IsBusy(int rc) { return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED; }

// Whether a failure means that the disk holding the store is full.
bool IsNoSpace(sqlite3* db, int rc) {
  if ((rc & 0xFF) == SQLITE_FULL) return true;
  const int system_error = db ? sqlite3_system_errno(db) : 0;
  return (rc & 0xFF) == SQLITE_IOERR && (system_error == ENOSPC || system_error == EDQUOT);
}

// The one-word result of a pragma, or the SQLite error.
int PragmaText(sqlite3* db, const char* sql, std::string* text) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
      const unsigned char* value = sqlite3_column_text(stmt, 0);
      *text = value ? reinterpret_cast<const char*>(value) : "";
      rc = SQLITE_OK;
    } else if (rc == SQLITE_DONE) {
      text->clear();
      rc = SQLITE_OK;
    }
  }
  sqlite3_finalize(stmt);
  return rc;
}

// Puts a writable database in write-ahead-log mode, which lets other
// processes read while one writes. Only a new database needs the switch,
// and the switch needs the database to itself: SQLite does not wait for
// that (its busy handler is not asked), so processes that open a new store
// at the same moment would fail at once. They try again instead, within
// the time they wait for any lock.
int UseWriteAheadLog(sqlite3* db) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(LockWait());
  for (;;) {
    sqlite3_busy_timeout(db, LockWait());
    std::string mode;
    int rc = PragmaText(db, "PRAGMA journal_mode", &mode);
    if (rc == SQLITE_OK && mode != "wal") {
      rc = PragmaText(db, "PRAGMA journal_mode=WAL", &mode);
      if (rc == SQLITE_OK && mode != "wal") rc = SQLITE_BUSY;
    }
    if (!IsBusy(rc) || std::chrono::steady_clock::now() >= deadline) return rc;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

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

// A file name as an SQLite URI path: everything but unreserved characters
// and slashes percent-encoded.
std::string UriPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "file:";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

struct Database {
  sqlite3* db = nullptr;
  std::string path;
  // Serialises this process's use of the connection: a transaction's
  // statements must not interleave with another thread's.
  std::recursive_mutex mutex;
  int transaction_depth = 0;
  ~Database() { sqlite3_close(db); }

  void Fail(int rc, Access access) { RecordSqlite(db, path, rc, access); }
  // Runs SQL without results; records a failure.
  bool Exec(const char* sql, Access access) {
    sqlite3_busy_timeout(db, LockWait());
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Fail(rc, access);
    return rc == SQLITE_OK;
  }
};

class Statement {
 public:
  Statement(Database& database, const char* sql, Access access)
      : database_(database), access_(access) {
    sqlite3_busy_timeout(database.db, LockWait());
    const int rc = sqlite3_prepare_v2(database.db, sql, -1, &stmt_, nullptr);
    if (rc != SQLITE_OK) {
      database.Fail(rc, access);
      stmt_ = nullptr;
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  explicit operator bool() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }
  void BindText(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  // SQLITE_ROW or SQLITE_DONE; anything else is recorded and given back.
  int Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) database_.Fail(rc, access_);
    return rc;
  }
  void Reset() { sqlite3_reset(stmt_); }

 private:
  Database& database_;
  Access access_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Opens the database read-only through an SQLite URI and checks that it is
// a settings database; records the failure when not.
bool OpenReadOnly(const std::shared_ptr<Database>& database, const std::string& uri) {
  const int rc =
      sqlite3_open_v2(uri.c_str(), &database->db,
                      SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    database->Fail(rc, Access::kRead);
    return false;
  }
  sqlite3_extended_result_codes(database->db, 1);
  return database->Exec(
      "SELECT path FROM store_keys LIMIT 0;"
      "SELECT path, name, type, data FROM store_values LIMIT 0;",
      Access::kRead);
}

// Opens the database file. The process keeps one connection and opens it
// again only when the database's location changes: the plug-in asks the
// store many times per frame, and opening the file each time would cost
// more than the frame itself. A store that cannot be opened is not kept,
// so that the next operation tries again.
std::shared_ptr<Database> OpenDatabase() {
  static std::mutex cache_mutex;
  static std::shared_ptr<Database> cached;
  const std::string path = StoreDatabasePath();
  std::lock_guard<std::mutex> lock(cache_mutex);
  if (cached && cached->path == path) return cached;

  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  struct stat status;
  const bool exists = stat(path.c_str(), &status) == 0;
  if (!exists && errno != ENOENT) {
    Record(Access::kRead, StoreAt(path) + " cannot be used (" + std::strerror(errno) + ")");
    return nullptr;
  }
  if (exists && S_ISDIR(status.st_mode)) {
    Record(Access::kRead, StoreAt(path) + " is a directory, not a settings database");
    return nullptr;
  }
  if (exists && !S_ISREG(status.st_mode)) {
    Record(Access::kRead, StoreAt(path) + " is not a regular file, not a settings database");
    return nullptr;
  }
  if (!exists) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
      Record(Access::kRead, StoreAt(path) + " cannot be created (" + ec.message() + ")");
      return nullptr;
    }
  }
  // SQLite would open a file it may not write read-only anyway, but then
  // create its lock and log files beside it with the file's read-only
  // mode, which stops every later run that could write. Such a store is
  // opened read-only from the start: immutable (nothing created, nothing
  // locked) when no log of unfinished writes lies beside it.
  const bool writable =
      !exists || (access(path.c_str(), W_OK) == 0 && access(folder.c_str(), W_OK) == 0);
  auto database = std::make_shared<Database>();
  database->path = path;
  int rc;
  if (writable) {
    rc = sqlite3_open_v2(path.c_str(), &database->db,
                         SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                         nullptr);
    if (rc == SQLITE_OK) {
      sqlite3_extended_result_codes(database->db, 1);
      rc = UseWriteAheadLog(database->db);
    }
    if (rc == SQLITE_OK) {
      database->Exec("PRAGMA synchronous=NORMAL", Access::kRead);
      sqlite3_busy_timeout(database->db, LockWait());
      rc = sqlite3_exec(database->db, kSchema, nullptr, nullptr, nullptr);
    }
    if (exists && rc != SQLITE_OK && IsNoSpace(database->db, rc)) {
      // On a full disk the store cannot even share its lock table with
      // other processes, which needs room beside it; but it can still be
      // read, keeping that table in memory. Writes are refused.
      Record(Access::kWrite, StoreAt(path) + " cannot be written (" + std::strerror(ENOSPC) + ")");
      sqlite3_close(database->db);
      database->db = nullptr;
      if (!OpenReadOnly(database, UriPath(path) + "?mode=ro&readonly_shm=1")) return nullptr;
      cached = database;
      return database;
    }
    if (rc != SQLITE_OK) {
      database->Fail(rc, Access::kRead);
      return nullptr;
    }
  } else {
    const std::string uri = access((path + "-wal").c_str(), F_OK) == 0
                                ? UriPath(path) + "?mode=ro"
                                : UriPath(path) + "?immutable=1";
    if (!OpenReadOnly(database, uri)) return nullptr;
  }
  cached = database;
  return database;
}

// 1 when the key exists, 0 when not, -1 when the store cannot tell.
int KeyExists(Database& database, const std::string& path) {
  Statement stmt(database, "SELECT 1 FROM store_keys WHERE path = ?1", Access::kRead);
  if (!stmt) return -1;
  stmt.BindText(1, path);
  const int rc = stmt.Step();
  return rc == SQLITE_ROW ? 1 : rc == SQLITE_DONE ? 0 : -1;
}

}  // namespace

struct StoreTransaction::Impl {
  std::shared_ptr<Database> database;
  std::unique_lock<std::recursive_mutex> lock;
  bool outermost = false;
  bool finished = false;
};

StoreTransaction::StoreTransaction(Kind kind) {
  auto database = OpenDatabase();
  if (!database) return;
  auto impl = std::make_unique<Impl>();
  impl->lock = std::unique_lock<std::recursive_mutex>(database->mutex);
  impl->outermost = database->transaction_depth == 0;
  // Taking the write lock at the start makes the transaction's reads see
  // what it will write over.
  if (impl->outermost && !database->Exec(kind == Kind::kWrite ? "BEGIN IMMEDIATE" : "BEGIN",
                                         kind == Kind::kWrite ? Access::kWrite : Access::kRead)) {
    return;
  }
  ++database->transaction_depth;
  impl->database = std::move(database);
  impl_ = std::move(impl);
}

StoreTransaction::~StoreTransaction() {
  if (!impl_) return;
  Database& database = *impl_->database;
  if (impl_->outermost && !impl_->finished) {
    sqlite3_exec(database.db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  --database.transaction_depth;
}

bool StoreTransaction::Commit() {
  if (!impl_ || impl_->finished) return false;
  impl_->finished = true;
  if (!impl_->outermost) return true;
  if (impl_->database->Exec("COMMIT", Access::kWrite)) return true;
  sqlite3_exec(impl_->database->db, "ROLLBACK", nullptr, nullptr, nullptr);
  return false;
}

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
  std::lock_guard<std::recursive_mutex> lock(database->mutex);
  // An existing key is only read, so that opening one needs no write lock
  // and works in a store that may only be read.
  int exists = KeyExists(*database, normalized);
  if (exists < 0) return StoreKey();
  if (exists == 0) {
    // The key and every parent, as one transaction.
    StoreTransaction transaction;
    if (!transaction.IsOpen()) return StoreKey();
    Statement stmt(*database, "INSERT OR IGNORE INTO store_keys (path) VALUES (?1)",
                   Access::kWrite);
    if (!stmt) return StoreKey();
    for (size_t i = 0; i <= normalized.size(); ++i) {
      if (i != normalized.size() && normalized[i] != '\\') continue;
      stmt.Reset();
      stmt.BindText(1, std::string_view(normalized).substr(0, i));
      if (stmt.Step() != SQLITE_DONE) return StoreKey();
    }
    if (!transaction.Commit()) return StoreKey();
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
    std::lock_guard<std::recursive_mutex> lock(database->mutex);
    if (KeyExists(*database, normalized) != 1) return StoreKey();
  }
  auto impl = std::make_unique<Impl>();
  impl->database = std::move(database);
  impl->path = std::move(normalized);
  return StoreKey(std::move(impl));
}

namespace {

// Runs a query for one value of the key (?1 the key, ?2 the value's name)
// and hands its row to `read`. False when the key is not open, the value is
// missing or `read` refuses the row.
template <class Read>
bool ReadValueRow(const StoreKey::Impl* impl, const char* sql, std::string_view name, Read read) {
  if (!impl) return false;
  std::lock_guard<std::recursive_mutex> lock(impl->database->mutex);
  Statement stmt(*impl->database, sql, Access::kRead);
  if (!stmt) return false;
  stmt.BindText(1, impl->path);
  stmt.BindText(2, name);
  return stmt.Step() == SQLITE_ROW && read(stmt.get());
}

}  // namespace

bool StoreKey::Query(std::string_view name, void* buffer, uint32_t* size, uint32_t* type) const {
  if (!size) return false;
  return ReadValueRow(impl_.get(),
                      "SELECT type, data FROM store_values WHERE path = ?1 AND name = ?2", name,
                      [&](sqlite3_stmt* row) {
                        const int bytes = sqlite3_column_bytes(row, 1);
                        if (bytes < 0 || static_cast<uint64_t>(bytes) > *size) return false;
                        if (bytes > 0) std::memcpy(buffer, sqlite3_column_blob(row, 1), bytes);
                        *size = static_cast<uint32_t>(bytes);
                        if (type) *type = static_cast<uint32_t>(sqlite3_column_int64(row, 0));
                        return true;
                      });
}

bool StoreKey::QuerySize(std::string_view name, uint32_t* size) const {
  if (!size) return false;
  return ReadValueRow(
      impl_.get(),
      "SELECT length(CAST(data AS BLOB)) FROM store_values WHERE path = ?1 AND name = ?2", name,
      [&](sqlite3_stmt* row) {
        *size = static_cast<uint32_t>(sqlite3_column_int64(row, 0));
        return true;
      });
}

bool StoreKey::Set(std::string_view name, uint32_t type, const void* data, uint32_t size) {
  if (!impl_ || (size && !data) || size > 0x7fffffffu) return false;
  std::lock_guard<std::recursive_mutex> lock(impl_->database->mutex);
  // Fails, as the registry does, when the key was deleted meanwhile.
  Statement stmt(*impl_->database,
                 "INSERT OR REPLACE INTO store_values (path, name, type, data) "
                 "SELECT ?1, ?2, ?3, ?4 WHERE EXISTS (SELECT 1 FROM store_keys WHERE path = ?1)",
                 Access::kWrite);
  if (!stmt) return false;
  stmt.BindText(1, impl_->path);
  stmt.BindText(2, name);
  sqlite3_bind_int64(stmt.get(), 3, type);
  static const char kEmpty = 0;
  sqlite3_bind_blob(stmt.get(), 4, size ? data : &kEmpty, static_cast<int>(size), SQLITE_TRANSIENT);
  return stmt.Step() == SQLITE_DONE && sqlite3_changes(impl_->database->db) == 1;
}

bool DeleteStoreKeyTree(std::string_view path) {
  std::string normalized = NormalizePath(path);
  if (normalized.empty()) return false;
  auto database = OpenDatabase();
  if (!database) return false;
  std::lock_guard<std::recursive_mutex> lock(database->mutex);
  StoreTransaction transaction;
  if (!transaction.IsOpen()) return false;
  for (const char* sql :
       {"DELETE FROM store_values WHERE path = ?1 OR substr(path, 1, length(?1) + 1) = ?1 || '\\' "
        "COLLATE NOCASE",
        "DELETE FROM store_keys WHERE path = ?1 OR substr(path, 1, length(?1) + 1) = ?1 || '\\' "
        "COLLATE NOCASE"}) {
    Statement stmt(*database, sql, Access::kWrite);
    if (!stmt) return false;
    stmt.BindText(1, normalized);
    if (stmt.Step() != SQLITE_DONE) return false;
  }
  return transaction.Commit();
}

}  // namespace platform
