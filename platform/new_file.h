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
// destination that the system deletes when its handle closes, however the
// process ends, until it is committed (where the system cannot mark it so,
// Ctrl+C and closing the console remove it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class NewFile {
 public:
  NewFile() = default;
  ~NewFile();  // discards a file that was not committed
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  // Creates the file in the folder of `destination` (a path whose links
  // were followed already), with the permissions of the file it replaces
  // or those of any new file. False with the system's reason.
  bool Create(const std::string& destination, std::string* reason);
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

  std::string destination_;
  std::string name_;  // the file's name while it is written, if it has one
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

}  // namespace platform
