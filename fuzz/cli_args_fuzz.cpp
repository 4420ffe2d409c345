// libFuzzer target: the command line's argument and number parsing. The
// input, split at zero bytes, is one command line; every command runs in a
// folder of its own with a store of its own, and must end with exit code
// 0, 1 or 2 without any memory error or undefined behaviour. Commands that
// would read standard input ("-") get a missing file instead, and "sample",
// which writes clips of any length, is left out: neither tests parsing.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "tools/fieldrestore/cli.h"

namespace {

std::string& Folder() {
  static std::string folder;
  return folder;
}

void RemoveFolder() {
  std::error_code ec;
  std::filesystem::remove_all(Folder(), ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* folder = std::getenv("TMPDIR");
  std::string& pattern = Folder();
  pattern = std::string(folder && *folder ? folder : "/tmp") + "/cli-fuzz-XXXXXX";
  if (!mkdtemp(pattern.data()) || chdir(pattern.c_str()) != 0) std::abort();
  std::atexit(RemoveFolder);
  setenv("XDG_CONFIG_HOME", (pattern + "/config").c_str(), 1);
  setenv("XDG_STATE_HOME", (pattern + "/state").c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.emplace_back();
    } else {
      args.back().push_back(static_cast<char>(data[i]));
    }
  }
  // Every number reads back the same from its unsigned and its signed form.
  uint32_t value = 0;
  if (ParseValue32(args[0], &value)) {
    uint32_t unsigned_form = 1, signed_form = 1;
    if (!ParseValue32(std::to_string(value), &unsigned_form) || unsigned_form != value ||
        !ParseValue32(std::to_string(static_cast<int32_t>(value)), &signed_form) ||
        signed_form != value) {
      std::abort();
    }
  }
  if (args[0] == "sample") return 0;
  for (std::string& arg : args) {
    if (arg == "-") arg = "missing";
  }
  std::ostringstream out, err;
  const int code = RunCommandLine(args, out, err);
  if (code < 0 || code > 2) std::abort();
  return 0;
}
