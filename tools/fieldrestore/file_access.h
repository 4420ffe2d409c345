// Files the command line reads and writes. Inputs are checked before
// anything is allocated for their contents; outputs are written into a new
// file beside their destination and put in place only when complete, so a
// command that fails leaves an existing file as it was. Every failure is
// "PATH: the reason the system gave".
#pragma once

#include <cstdint>
#include <fstream>
#include <iosfwd>
#include <memory>
#include <string>

#include "platform/new_file.h"

// An input file opened for reading, with its size. Refuses what is not a
// regular file: a folder, and pipes and devices, which cannot be measured
// (they can be read through standard input, "-").
bool OpenInputFile(const std::string& path, std::ifstream* file, uint64_t* size,
                   std::string* error);

// Where writing to `path` puts the data: the file its symbolic links lead
// to, or the path itself. False when that is something other than a
// regular file or a new name (a folder, a device, a pipe), unless
// `stream` is given: then a character device, a pipe or a socket is taken
// too and *stream says so.
bool ResolveOutputPath(const std::string& path, std::string* target, std::string* error,
                       bool* stream = nullptr);

// True when both paths name one existing file: the same path, a symbolic
// link to it or another hard link.
bool IsSameFile(const std::string& a, const std::string& b);
// Refuses an output that is the input file (writing it would destroy what
// is still to be read): true, with the message on `err`, when it is.
bool RefuseInputAsOutput(const std::string& input, const std::string& output, std::ostream& err);

// The size check for frames given on the command line: true when
// 4 x width x height bytes fit in 2^31 - 1, as every frame buffer must.
bool FrameFits(int64_t width, int64_t height);
// What is wrong with frames of that size when they do not fit.
std::string FrameTooLarge(int64_t width, int64_t height);

// Why the last write to `stream` failed, in the system's words: the new
// file's reason for an OutputFile's stream, the C runtime's for others
// (standard output).
std::string WriteFailure(std::ostream& stream);

// A file the command line writes (platform/new_file.h): nothing of it is
// left when the command fails or is interrupted.
class OutputFile {
 public:
  OutputFile();
  ~OutputFile();  // discards the new file unless it was committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the new file beside the destination `path` (through its links).
  // With `streams_ok`, a destination that is a device or a pipe (/dev/null,
  // a named pipe) is written straight through instead, as standard output
  // is: there is no file there to damage.
  bool Open(const std::string& path, std::string* error, bool streams_ok = false);
  std::ostream& stream() { return stream_; }
  // Writes everything out and puts the file in place of the destination;
  // false with "cannot write PATH: reason" or "PATH: reason".
  bool Commit(std::string* error);

 private:
  std::string path_, target_;
  platform::NewFile file_;
  std::unique_ptr<std::streambuf> buffer_;  // the new file's, or a device's
  std::ostream stream_;
};
