// Files written whole beside the file they replace and put in its place in
// one step once complete: the destination always holds either the old file
// or the whole new one, and a command that fails, is interrupted or is
// killed leaves nothing of the new file behind.
//
// Linux: the new file has no name until it is complete (O_TMPFILE in the
// destination's folder, then linked in place), so not even a killed
// process leaves anything; where the file system cannot make such files,
// a hidden file beside the destination, which an interrupted command line
// removes (RemoveNewFilesOnInterrupt). Windows: a file beside the
// destination that the system deletes when its last handle closes, however
// the process ends, until it is committed; one written by name (the
// profile functions reopen it) is removed on Ctrl+C or when the console
// closes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class NewFile {
 public:
  // How the new file's content goes in: through Write, or by writers that
  // open the file by name (WritablePath) and close it again.
  enum class Writer { kHandle, kName };

  NewFile() = default;
  ~NewFile();  // discards a file that was not committed
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  // Creates the file in the folder of `destination` (a path whose links
  // were followed already), with the permissions of the file it replaces
  // or those of any new file. False with the system's reason.
  bool Create(const std::string& destination, Writer writer, std::string* reason);
  // A name that opens the file while it is written (Writer::kName).
  const std::string& WritablePath() const { return writable_path_; }
  // Appends bytes; false with the system's reason.
  bool Write(const void* data, size_t size, std::string* reason);
  // Puts everything on the disk, then the file in place of the destination,
  // replacing what is there unless that may not be written. False with the
  // system's reason; the file is discarded either way.
  bool Commit(std::string* reason);
  // Forgets the file: nothing of it stays.
  void Discard();
  // The system's code for the last failure (errno, or GetLastError on
  // Windows).
  int ErrorCode() const { return error_; }

  // Tests make files with names, as on file systems that cannot make
  // files without, until this is called with false.
  static void SetNamedFilesForTesting(bool named);

 private:
  bool Fail(std::string* reason, int error);

  std::string destination_, writable_path_;
  intptr_t handle_ = -1;
  // The system removes the file if the process ends before Commit: it has
  // no name yet (Linux) or is marked for deletion (Windows).
  bool vanishes_ = false;
  int slot_ = -1;  // where an interrupt finds its name to remove
  int error_ = 0;
};

// The command line's part: on SIGINT, SIGTERM and SIGHUP (Windows: Ctrl+C,
// Ctrl+Break, closing the console) the new files that have names are
// removed before the process ends as the signal would end it. Signals the
// process ignores stay ignored.
void RemoveNewFilesOnInterrupt();

// The same for writers that take a file name (the rect files, written
// through the profile functions): a new file beside `path`, and its name;
// empty, with errno set, when it cannot be created.
std::string CreateTempFileBeside(const char* path);
// Puts the file made by CreateTempFileBeside(`path`) in place of `path`
// (a file of another origin is flushed and renamed). False with errno set.
bool ReplaceFileWith(const char* temp_path, const char* path);
// Discards a file from CreateTempFileBeside, or deletes any other file; a
// missing file is no error.
void RemoveFile(const char* path) noexcept;

// The system's part of the three above, for files of another origin.
namespace new_file_detail {
int ErrnoOf(int code);  // errno for a NewFile's ErrorCode
bool ReplaceByName(const char* temp_path, const char* path);
void DeleteByName(const char* path) noexcept;
}  // namespace new_file_detail

}  // namespace platform
