// The methods by name, as the command line's --method and the frei0r
// plug-in's method_name take them: the plug-in's six and the restoring
// method, which only the Linux forms and the command line have (the
// plug-in's stored settings never hold it).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr int32_t kRestoreMethod = 6;
inline constexpr const char* kMethodNames[kRestoreMethod + 1] = {
    "none", "even-rows", "interpolation", "area", "motion", "advanced", "restore"};

// A method's name or, for the plug-in's six, its number; false when the
// text names none.
inline bool MethodByName(std::string_view text, int32_t* method) {
  for (int32_t m = 0; m <= kRestoreMethod; ++m) {
    if (text == kMethodNames[m] || (m < kRestoreMethod && text == std::to_string(m))) {
      *method = m;
      return true;
    }
  }
  return false;
}
