// Run-time module loading on POSIX.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "platform/dynamic_library.h"

namespace platform {

DynamicLibrary::~DynamicLibrary() {
  if (handle_) dlclose(handle_);
}

bool DynamicLibrary::Load(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* message = dlerror();
    error_ = message ? message : "dlopen failed";
    return false;
  }
  return true;
}

void* DynamicLibrary::Symbol(const char* name) const {
  return handle_ ? dlsym(handle_, name) : nullptr;
}

std::string ExecutableDirectory() {
  char path[PATH_MAX] = {};
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string s(path, static_cast<size_t>(n));
  size_t slash = s.find_last_of('/');
  return slash == std::string::npos ? "." : s.substr(0, slash);
}

}  // namespace platform
