// Per-user locations on Windows: the registry and a fixed log path.
#include <cstdio>

#include "platform/user_paths.h"

namespace platform {

std::string StoreLocation() { return "HKEY_CURRENT_USER (registry)"; }

std::string LogFilePath() { return "c:\\pr_deint.txt"; }

std::FILE* OpenLogForAppend() { return std::fopen("c:\\pr_deint.txt", "a"); }

}  // namespace platform
