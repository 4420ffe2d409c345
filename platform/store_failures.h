// The record of store failures behind GetStoreFailures, shared by the
// store's implementations.
#pragma once

#include <string>

namespace platform::store_failures {

// Keeps the first failure of each kind: `write` for a refused write while
// reading still worked, else one that kept the store from being read.
void Record(bool write, const std::string& message);

// Whether a wait for another process's lock ran out since the failures
// were last cleared; set by the store that waits.
void SetLockWaitRanOut();
bool LockWaitRanOut();

}  // namespace platform::store_failures
