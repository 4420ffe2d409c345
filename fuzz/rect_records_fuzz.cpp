// libFuzzer target: the loader of the stored region. The first four bytes
// are the stored "size" (little-endian), the rest the bytes of "list". A
// usable region becomes the accepted records numbered 1 to n; an unusable
// one leaves the queue alone.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "region/rect_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint32_t count =
      data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
  const uint8_t* list_bytes = data + 4;
  const uint32_t length = static_cast<uint32_t>(size - 4);

  CRectList list("");  // no store: the loader alone is under test
  list.Add(0, 3, 3, 30, 30);
  const std::vector<RectItem> before(list.begin(), list.end());
  list.LoadFromRecords(count, list_bytes, length);
  const std::vector<RectItem> after(list.begin(), list.end());

  const uint64_t capacity = uint64_t{count} * kRectRecordSize;
  const bool usable = count != 0 && capacity <= 0xFFFFFFFFu && length <= capacity;
  if (!usable) {
    if (after != before) std::abort();
    return 0;
  }
  // The accepted records, in order, are those Add would take, each read
  // from its 21 bytes with missing bytes as zeros.
  size_t next = 0;
  for (uint32_t offset = 0; offset < length; offset += kRectRecordSize) {
    uint8_t record[kRectRecordSize] = {};
    std::memcpy(record, list_bytes + offset, std::min<uint32_t>(kRectRecordSize, length - offset));
    const RectItem stored = DecodeRectRecord(record);
    if (RectRejection(stored.left, stored.top, stored.right, stored.bottom)) continue;
    if (next >= after.size()) std::abort();
    const RectItem& item = after[next++];
    if (item.id != static_cast<int32_t>(next) || item.include != stored.include ||
        item.left != stored.left || item.top != stored.top || item.right != stored.right ||
        item.bottom != stored.bottom) {
      std::abort();
    }
  }
  if (next != after.size() || list.LastId() != static_cast<int32_t>(next)) std::abort();
  return 0;
}
