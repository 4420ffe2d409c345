// Profile files on Windows: the system's profile API, and MoveFileEx to
// replace a file in one step.
#include <windows.h>

#include <cctype>
#include <string>

#include "platform/profile_file.h"

namespace platform {
namespace {

class Win32ProfileFiles final : public ProfileFiles {
 public:
  const char* Name() const override { return "Win32 profile API"; }

  bool WriteString(const char* section, const char* key, const char* value,
                   const char* path) const override {
    if (!section || !key || !value || !path) return false;
    return WritePrivateProfileStringA(section, key, value, path) != FALSE;
  }

  uint32_t GetSectionNames(char* buffer, uint32_t size, const char* path) const override {
    if (!buffer || size == 0) return 0;
    return GetPrivateProfileSectionNamesA(buffer, size, path);
  }

  uint32_t GetInt(const char* section, const char* key, int32_t default_value,
                  const char* path) const override {
    if (!section || !key || !path) return static_cast<uint32_t>(default_value);
    return GetPrivateProfileIntA(section, key, default_value, path);
  }

  bool FileSize(const char* path, uint64_t* size) const override {
    if (!path || !size) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
    *size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    return true;
  }
};

}  // namespace

const ProfileFiles& SystemProfileFiles() {
  static const Win32ProfileFiles files;
  return files;
}

bool IsDeviceName(const std::string& path) {
  std::string name = path.substr(path.find_last_of("\\/:") + 1);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (name == "NUL" || name == "CON" || name == "PRN" || name == "AUX") return true;
  return name.size() == 4 && (name.rfind("COM", 0) == 0 || name.rfind("LPT", 0) == 0) &&
         name[3] >= '1' && name[3] <= '9';
}

std::string CreateTempFileBeside(const char* path) {
  if (!path || !*path) return {};
  const std::string target(path);
  const size_t slash = target.find_last_of("\\/");
  // The folder keeps its separator only where it is a root ("\\", "c:\\").
  const size_t keep = slash == 0 || (slash == 2 && target[1] == ':') ? slash + 1 : slash;
  const std::string folder =
      slash == std::string::npos ? std::string(1, '.') : target.substr(0, keep);
  char name[MAX_PATH];
  if (GetTempFileNameA(folder.c_str(), "frr", 0, name) == 0) return {};
  return name;
}

bool ReplaceFileWith(const char* temp_path, const char* path) {
  if (!temp_path || !path) return false;
  return MoveFileExA(temp_path, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

void RemoveFile(const char* path) noexcept {
  if (path) DeleteFileA(path);
}

}  // namespace platform
