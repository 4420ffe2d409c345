// libFuzzer target: the rect-file loader with our own profile reader. Any
// file either replaces a queue of valid rectangles numbered 1 to n or fails
// and leaves the queue, its ids and the numbering exactly as they were.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/profile_file.h"
#include "region/rect_list.h"

namespace {

const std::string& FuzzFilePath() {
  static const std::string path = [] {
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder && *folder ? folder : "/tmp") + "/fieldrestore-fuzz-" +
           std::to_string(getpid()) + ".rect";
  }();
  return path;
}

void RemoveFuzzFile() { std::remove(FuzzFilePath().c_str()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string& path = FuzzFilePath();
  static const bool cleanup = std::atexit(RemoveFuzzFile) == 0;
  (void)cleanup;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  CRectList list("");  // no store: the loader alone is under test
  list.Add(1, 0, 0, 10, 10);
  list.Add(0, 5, 5, 20, 20);
  list.Add(1, 7, 7, 9, 9);
  list.Delete(2);
  const std::vector<RectItem> before(list.begin(), list.end());

  const int32_t result = list.LoadFromFile(path.c_str(), platform::PortableProfileFiles());
  const std::vector<RectItem> after(list.begin(), list.end());
  if (result == -1) {
    if (after != before || list.LastId() != 3) std::abort();
    if (list.Add(1, 1, 1, 2, 2) != 4) std::abort();
  } else if (result == 0) {
    int32_t id = 0;
    for (const RectItem& item : after) {
      if (item.id != ++id || item.include > 1) std::abort();
      if (RectRejection(item.left, item.top, item.right, item.bottom)) std::abort();
    }
    if (list.LastId() != id) std::abort();
  } else {
    std::abort();
  }
  return 0;
}
