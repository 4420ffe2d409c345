// The region's two persistent forms: the records in the per-user store and
// the rect files.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <vector>

#include "platform/profile_file.h"
#include "platform/store.h"
#include "region/rect_list.h"

namespace {

void PutLe32(uint8_t* p, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(bits >> (8 * i));
}

uint32_t GetLe32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

constexpr uint64_t kMaxRecordBytes = 0xFFFFFFFFu;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsScanSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

void EncodeRectRecord(const RectItem& item, uint8_t* record) {
  PutLe32(record, item.id);
  record[4] = item.include;
  PutLe32(record + 5, item.left);
  PutLe32(record + 9, item.top);
  PutLe32(record + 13, item.right);
  PutLe32(record + 17, item.bottom);
}

RectItem DecodeRectRecord(const uint8_t* record) {
  RectItem item;
  item.id = static_cast<int32_t>(GetLe32(record));
  item.include = record[4];
  item.left = static_cast<int32_t>(GetLe32(record + 5));
  item.top = static_cast<int32_t>(GetLe32(record + 9));
  item.right = static_cast<int32_t>(GetLe32(record + 13));
  item.bottom = static_cast<int32_t>(GetLe32(record + 17));
  return item;
}

std::string RectSectionName(const RectItem& item) {
  char name[64];
  std::snprintf(name, sizeof name, "[(%d,%d)-(%d,%d)]", item.left, item.top, item.right,
                item.bottom);
  return name;
}

bool ParseRectSectionName(const char* name, int32_t* left, int32_t* top, int32_t* right,
                          int32_t* bottom) {
  if (!name) return false;
  const char* p = name;
  const auto literal = [&p](char c) {
    if (*p != c) return false;
    ++p;
    return true;
  };
  // A decimal number as a scanf "%d" reads it (white space, a sign, digits),
  // except that a number outside 32 bits is refused rather than wrapped.
  const auto number = [&p](int32_t* out) {
    while (IsScanSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (!IsDigit(*p)) return false;
    int64_t value = 0;
    for (; IsDigit(*p); ++p) {
      value = value * 10 + (*p - '0');
      if (value > int64_t{1} << 31) return false;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return false;
    *out = static_cast<int32_t>(value);
    return true;
  };
  int32_t l, t, r, b;
  if (!(literal('[') && literal('(') && number(&l) && literal(',') && number(&t) && literal(')') &&
        literal('-') && literal('(') && number(&r) && literal(',') && number(&b))) {
    return false;
  }
  *left = l, *top = t, *right = r, *bottom = b;
  return true;
}

void CRectList::SaveToRegistry() {
  if (!m_regKey[0]) return;
  // Store failures, an allocation failure among them, leave the queue as
  // it is and are not reported; nothing leaves the destructor this way.
  try {
    platform::StoreKey key = platform::StoreKey::CreateOrOpen(m_regKey);
    if (!key) return;
    const uint64_t bytes = uint64_t{m_items.size()} * kRectRecordSize;
    if (bytes > kMaxRecordBytes) return;
    uint8_t size[4];
    PutLe32(size, static_cast<int32_t>(m_items.size()));
    if (!key.Set("size", platform::kStoreTypeDword, size, sizeof size)) return;
    std::vector<uint8_t> records(static_cast<size_t>(bytes));
    uint8_t* record = records.data();
    for (const RectItem& item : m_items) {
      EncodeRectRecord(item, record);
      record += kRectRecordSize;
    }
    key.Set("list", platform::kStoreTypeBinary, records.data(), static_cast<uint32_t>(bytes));
  } catch (const std::exception&) {
  }
}

void CRectList::LoadFromRegistry() {
  if (!m_regKey[0]) return;
  try {
    platform::StoreKey key = platform::StoreKey::CreateOrOpen(m_regKey);
    if (!key) return;
    uint8_t size_bytes[4] = {};
    uint32_t size_length = sizeof size_bytes;
    key.Query("size", size_bytes, &size_length);  // a missing value leaves 0
    const uint32_t size = GetLe32(size_bytes);
    if (size == 0) return;
    // A count whose records do not fit 32 bits, or whose buffer cannot be
    // had, cannot come from a region this plug-in stored: it is ignored.
    const uint64_t bytes = uint64_t{size} * kRectRecordSize;
    if (bytes > kMaxRecordBytes) return;
    std::unique_ptr<uint8_t, FreeDeleter> buffer(
        static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bytes), 1)));
    if (!buffer) return;
    uint32_t length = static_cast<uint32_t>(bytes);
    if (!key.Query("list", buffer.get(), &length)) return;
    LoadFromRecords(size, buffer.get(), length);
  } catch (const std::exception&) {
    // A store that cannot be read leaves the queue as it is, like one that
    // cannot be opened.
  }
}

void CRectList::LoadFromRecords(uint32_t size, const uint8_t* list, uint32_t length) {
  if (size == 0) return;
  const uint64_t capacity = uint64_t{size} * kRectRecordSize;
  if (capacity > kMaxRecordBytes || length > capacity || (length > 0 && !list)) return;
  Clear();
  // Records beyond the stored bytes read as all zeros, a single pixel that
  // Add rejects; only the records that hold stored bytes can add anything.
  const uint32_t records =
      static_cast<uint32_t>((uint64_t{length} + kRectRecordSize - 1) / kRectRecordSize);
  for (uint32_t r = 0; r < records; ++r) {
    uint8_t record[kRectRecordSize] = {};
    const uint32_t offset = r * kRectRecordSize;
    std::memcpy(record, list + offset, std::min(kRectRecordSize, length - offset));
    const RectItem item = DecodeRectRecord(record);
    Add(item.include, item.left, item.top, item.right, item.bottom);
  }
}

int32_t CRectList::SaveToFile(const char* path) {
  return SaveToFile(path, platform::SystemProfileFiles());
}

int32_t CRectList::SaveToFile(const char* path, const platform::ProfileFiles& files) {
  if (!path || !*path) return -1;
  // Writing into the existing file would keep its other sections; the
  // region goes into a new file beside it, which then replaces it.
  const std::string temp = platform::CreateTempFileBeside(path);
  if (temp.empty()) return -1;
  bool written = true;
  try {
    if (m_items.empty()) {
      std::FILE* file = std::fopen(temp.c_str(), "wb");
      written = file != nullptr;
      if (file) {
        written = std::fputs(kEmptyRectFileText, file) >= 0;
        written = std::fclose(file) == 0 && written;
      }
    }
    for (const RectItem& item : m_items) {
      if (!files.WriteString(RectSectionName(item).c_str(), "present", item.include ? "1" : "0",
                             temp.c_str())) {
        written = false;
        break;
      }
    }
  } catch (const std::exception&) {
    written = false;
  }
  if (!written || !platform::ReplaceFileWith(temp.c_str(), path)) {
    platform::RemoveFile(temp.c_str());
    return -1;
  }
  return 0;
}

int32_t CRectList::LoadFromFile(const char* path) {
  return LoadFromFile(path, platform::SystemProfileFiles());
}

int32_t CRectList::LoadFromFile(const char* path, const platform::ProfileFiles& files) {
  if (!path) return -1;
  uint64_t file_size = 0;
  if (!files.FileSize(path, &file_size)) return -1;
  // The names buffer is as long as the file, whose size counts in its low
  // 32 bits.
  const auto size = static_cast<int32_t>(static_cast<uint32_t>(file_size));
  if (size < 1) return -1;
  std::unique_ptr<char[]> names(new (std::nothrow) char[static_cast<size_t>(size)]);
  if (!names) return -1;
  const uint32_t stored = files.GetSectionNames(names.get(), static_cast<uint32_t>(size), path);
  if (stored == static_cast<uint32_t>(size) - 2) return -1;

  std::list<RectItem> previous;
  try {
    previous = m_items;
  } catch (const std::bad_alloc&) {
    return -1;
  }
  const int32_t previous_last_id = m_lastId;
  m_items.clear();
  m_lastId = 0;

  bool loaded = true;
  try {
    const char* const end = names.get() + size;
    for (const char* name = names.get(); name < end && *name;) {
      const size_t length = strnlen(name, static_cast<size_t>(end - name));
      int32_t left, top, right, bottom;
      if (length == static_cast<size_t>(end - name) ||
          !ParseRectSectionName(name, &left, &top, &right, &bottom)) {
        loaded = false;
        break;
      }
      const uint8_t include = files.GetInt(name, "present", 1, path) != 0 ? 1 : 0;
      if (Add(include, left, top, right, bottom) < 0) {
        loaded = false;
        break;
      }
      name += length + 1;
    }
  } catch (const std::exception&) {
    loaded = false;
  }

  if (loaded) {
    SaveToRegistry();
    return 0;
  }
  // The queue goes back as it was, with its ids; the numbering continues
  // from where it was so that no id is handed out twice, and the store gets
  // the old region back at once rather than the part of the file that was
  // accepted.
  m_items.swap(previous);
  m_lastId = previous_last_id;
  SaveToRegistry();
  return -1;
}
