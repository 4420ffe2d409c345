// Profile (INI) files as the region's rect files use them, and the names
// Windows keeps for devices.
//
// Two implementations of the profile operations exist: the system's (the
// Win32 profile API on Windows, our own reader and writer elsewhere) and
// our own, which is built on every platform so that the Windows tests can
// hold it against the system's on the same files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class ProfileFiles {
 public:
  virtual ~ProfileFiles() = default;

  virtual const char* Name() const = 0;

  // Sets `key` of `section` to `value` (WritePrivateProfileStringA). The
  // first section of that name (compared without regard to case) gets the
  // value in place of its old one, or the key appended; a missing section
  // is appended at the end of the file, which is created when missing.
  // False when the file cannot be read or written.
  virtual bool WriteString(const char* section, const char* key, const char* value,
                           const char* path) const = 0;

  // The section names in file order (GetPrivateProfileSectionNamesA), each
  // ended by a zero and the list by one more. Returns the characters stored
  // before that last zero, or size - 2 when the names did not fit (the last
  // name is then cut short). A missing file has no sections.
  virtual uint32_t GetSectionNames(char* buffer, uint32_t size, const char* path) const = 0;

  // The integer value of `key` in the first section named `section`
  // (GetPrivateProfileIntA): `default_value` when the key, its section or
  // the file is missing or the value is empty.
  virtual uint32_t GetInt(const char* section, const char* key, int32_t default_value,
                          const char* path) const = 0;

  // GetInt of `key` in each of `sections`, in order. Ours reads the file
  // once for all of them, where asking section by section would read and
  // search the whole file for each; the others ask GetInt.
  virtual std::vector<uint32_t> GetInts(const std::vector<std::string>& sections, const char* key,
                                        int32_t default_value, const char* path) const;

  // The size of the file in bytes (GetFileAttributesExA; a folder has size
  // 0). False when there is no such file.
  virtual bool FileSize(const char* path, uint64_t* size) const = 0;
};

inline std::vector<uint32_t> ProfileFiles::GetInts(const std::vector<std::string>& sections,
                                                   const char* key, int32_t default_value,
                                                   const char* path) const {
  std::vector<uint32_t> values;
  values.reserve(sections.size());
  for (const std::string& section : sections) {
    values.push_back(GetInt(section.c_str(), key, default_value, path));
  }
  return values;
}

// The implementation the plug-in uses on this platform.
const ProfileFiles& SystemProfileFiles();
// Our own reader and writer, present on every platform.
const ProfileFiles& PortableProfileFiles();

// What a path's name means to Windows, which keeps some names for devices
// in every folder and any case (NUL, CON, CONIN$, CONOUT$, PRN, AUX,
// COM1-9, LPT1-9). On POSIX every name is kFile (a device there is a file
// of its own type).
enum class DeviceName {
  kFile,
  kDevice,    // the device's name alone, or with a colon: "NUL", "nul:"
  kReserved,  // one Windows takes for the device too, though it looks like a
              // file's: with an extension or trailing dots or spaces
              // ("NUL.bgra", "nul.", "NUL ")
};
DeviceName ClassifyDeviceName(const std::string& path, std::string* device = nullptr);

}  // namespace platform
