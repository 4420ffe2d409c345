// Profile files on Windows: the system's profile API, and the names
// Windows keeps for devices.
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

DeviceName ClassifyDeviceName(const std::string& path, std::string* device) {
  std::string name = path.substr(path.find_last_of("\\/") + 1);
  if (name.size() >= 2 && name[1] == ':' && name.size() == path.size() &&
      std::isalpha(static_cast<unsigned char>(name[0]))) {
    name.erase(0, 2);  // "c:NUL"
  }
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  // The device's name is what stands before the first dot or colon, with
  // trailing spaces dropped.
  const size_t end = name.find_first_of(".:");
  const std::string before = name.substr(0, end);
  const size_t last = before.find_last_not_of(' ');
  const std::string base = before.substr(0, last == std::string::npos ? 0 : last + 1);
  const bool port = base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) &&
                    base[3] >= '1' && base[3] <= '9';
  if (!port && base != "NUL" && base != "CON" && base != "PRN" && base != "AUX" &&
      base != "CONIN$" && base != "CONOUT$") {
    return DeviceName::kFile;
  }
  if (device) *device = base;
  const std::string rest = end == std::string::npos ? "" : name.substr(end);
  return before == base && (rest.empty() || rest == ":") ? DeviceName::kDevice
                                                         : DeviceName::kReserved;
}

}  // namespace platform
