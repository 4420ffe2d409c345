// libFuzzer target: the loader of the stored region. The first four bytes
// are the stored "size" (little-endian), the rest the bytes of "list". Every
// record "list" holds becomes the accepted records numbered 1 to n, and the
// region counts as damaged exactly when "size" does not count those bytes.
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

  StoredRegionValues stored;
  stored.has_size = stored.has_list = true;
  stored.size.assign(data, data + 4);
  stored.list.assign(list_bytes, list_bytes + length);
  const bool whole = uint64_t{count} * kRectRecordSize == length;
  if (StoredRegionDamage(stored).empty() != whole) std::abort();

  CRectList list("");  // no store: the loader alone is under test
  list.Add(0, 3, 3, 30, 30);
  list.LoadFromRecords(list_bytes, length);
  const std::vector<RectItem> after(list.begin(), list.end());
  // The accepted records, in order, are those Add would take, each read
  // from its 21 bytes with missing bytes as zeros.
  size_t next = 0;
  for (uint32_t offset = 0; offset < length; offset += kRectRecordSize) {
    uint8_t record[kRectRecordSize] = {};
    std::memcpy(record, list_bytes + offset, std::min<uint32_t>(kRectRecordSize, length - offset));
    const RectItem stored_item = DecodeRectRecord(record);
    if (RectRejection(stored_item.left, stored_item.top, stored_item.right, stored_item.bottom)) {
      continue;
    }
    if (next >= after.size()) std::abort();
    const RectItem& item = after[next++];
    if (item.id != static_cast<int32_t>(next) || item.include != stored_item.include ||
        item.left != stored_item.left || item.top != stored_item.top ||
        item.right != stored_item.right || item.bottom != stored_item.bottom) {
      std::abort();
    }
  }
  if (next != after.size() || list.LastId() != static_cast<int32_t>(next)) std::abort();
  return 0;
}
