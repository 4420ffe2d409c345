// Where this user's persistent files live: the store and the diagnostic log.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

// Human-readable location of the per-user store (shown by the command line).
std::string StoreLocation();

// Full path of the diagnostic log file.
std::string LogFilePath();

// Opens the log for appending in text mode (creating its folder where the
// platform needs one). Null when it cannot be opened.
std::FILE* OpenLogForAppend();

// How a text-mode newline reaches the log file.
#if defined(_WIN32)
inline constexpr std::string_view kLogLineEnd = "\r\n";
#else
inline constexpr std::string_view kLogLineEnd = "\n";
#endif

#if !defined(_WIN32)
// The SQLite file that backs the store.
std::string StoreDatabasePath();
#endif

}  // namespace platform
