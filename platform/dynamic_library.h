// Loading a module at run time and finding an exported function in it.
#pragma once

#include <string>

namespace platform {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Loads the module; on failure returns false and Error() says why.
  bool Load(const std::string& path);
  void* Symbol(const char* name) const;
  const std::string& Error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// Full path of the folder that holds the running executable.
std::string ExecutableDirectory();

}  // namespace platform
