// The record of store failures for the command line to report.
#include "platform/store_failures.h"

#include <atomic>
#include <mutex>

#include "platform/store.h"

namespace platform {
namespace {

std::mutex g_mutex;
StoreFailures g_failures;
std::atomic<bool> g_lock_wait_ran_out{false};

}  // namespace

void store_failures::Record(bool write, const std::string& message) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::string& slot = write ? g_failures.write : g_failures.error;
  if (slot.empty()) slot = message;
}

void store_failures::SetLockWaitRanOut() { g_lock_wait_ran_out = true; }
bool store_failures::LockWaitRanOut() { return g_lock_wait_ran_out; }

StoreFailures GetStoreFailures() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_failures;
}

void ClearStoreFailures() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_failures = StoreFailures();
  g_lock_wait_ran_out = false;
}

}  // namespace platform
