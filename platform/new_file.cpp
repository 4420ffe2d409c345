// The new files of writers that take a file name, kept by that name from
// CreateTempFileBeside until ReplaceFileWith or RemoveFile.
#include "platform/new_file.h"

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>

namespace platform {
namespace {

std::mutex g_files_mutex;
std::map<std::string, std::unique_ptr<NewFile>> g_files;

std::unique_ptr<NewFile> TakeFile(const char* name) {
  std::lock_guard<std::mutex> lock(g_files_mutex);
  const auto found = g_files.find(name);
  if (found == g_files.end()) return nullptr;
  std::unique_ptr<NewFile> file = std::move(found->second);
  g_files.erase(found);
  return file;
}

}  // namespace

std::string CreateTempFileBeside(const char* path) {
  if (!path || !*path) {
    errno = EINVAL;
    return {};
  }
  auto file = std::make_unique<NewFile>();
  if (!file->Create(path, NewFile::Writer::kName, nullptr)) {
    errno = new_file_detail::ErrnoOf(file->ErrorCode());
    return {};
  }
  std::string name = file->WritablePath();
  std::lock_guard<std::mutex> lock(g_files_mutex);
  g_files[name] = std::move(file);
  return name;
}

bool ReplaceFileWith(const char* temp_path, const char* path) {
  if (!temp_path || !path) return false;
  if (std::unique_ptr<NewFile> file = TakeFile(temp_path)) {
    if (file->Commit(nullptr)) return true;
    errno = new_file_detail::ErrnoOf(file->ErrorCode());
    return false;
  }
  return new_file_detail::ReplaceByName(temp_path, path);
}

void RemoveFile(const char* path) noexcept {
  if (!path) return;
  try {
    if (TakeFile(path)) return;  // discarded as it goes
  } catch (...) {
  }
  new_file_detail::DeleteByName(path);
}

}  // namespace platform
