// The region's two persistent forms: the records in the per-user store and
// the rect files.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <list>
#include <memory>
#include <new>
#include <unordered_map>
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

// The data of a value as stored: its size asked first, so that a value of
// any length is read whole. Missing, or too large for the memory at hand,
// gives false (and `unreadable` set for the latter).
bool ReadValue(const platform::StoreKey& key, const char* name, std::vector<uint8_t>* data,
               bool* unreadable) {
  // A value that changes size between the two questions (a registry
  // without transactions) is asked about again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    uint32_t size = 0;
    if (!key.QuerySize(name, &size)) return false;
    try {
      data->assign(size, 0);
    } catch (const std::bad_alloc&) {
      *unreadable = true;
      data->clear();
      return false;
    }
    if (key.Query(name, data->data(), &size)) {
      data->resize(size);
      return true;
    }
  }
  data->clear();
  return false;
}

StoredRegionValues ReadStoredRegion(const platform::StoreKey& key) {
  StoredRegionValues region;
  bool unreadable = false;
  region.has_size = ReadValue(key, "size", &region.size, &unreadable);
  region.has_list = ReadValue(key, "list", &region.list, &region.list_unreadable);
  return region;
}

// What the store holds after the items have been written. False when the
// records would not fit 32 bits.
bool EncodeRegion(const std::list<RectItem>& items, StoredRegionValues* region) {
  const uint64_t bytes = uint64_t{items.size()} * kRectRecordSize;
  if (bytes > kMaxRecordBytes) return false;
  region->has_size = region->has_list = true;
  region->list_unreadable = false;
  region->size.assign(4, 0);
  PutLe32(region->size.data(), static_cast<int32_t>(items.size()));
  region->list.resize(static_cast<size_t>(bytes));
  uint8_t* record = region->list.data();
  for (const RectItem& item : items) {
    EncodeRectRecord(item, record);
    record += kRectRecordSize;
  }
  return true;
}

// "size", then "list" unless writing "size" failed.
bool WriteRegion(platform::StoreKey& key, const StoredRegionValues& region) {
  if (!key.Set("size", platform::kStoreTypeDword, region.size.data(),
               static_cast<uint32_t>(region.size.size()))) {
    return false;
  }
  return key.Set("list", platform::kStoreTypeBinary, region.list.data(),
                 static_cast<uint32_t>(region.list.size()));
}

// Sets a flag for the length of a scope.
class FlagScope {
 public:
  explicit FlagScope(bool* flag) : flag_(flag), old_(*flag) { *flag = true; }
  ~FlagScope() { *flag_ = old_; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool* flag_;
  bool old_;
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

std::string StoredRegionDamage(const StoredRegionValues& stored) {
  const size_t bytes = stored.list.size();
  if (stored.list_unreadable) return "\"list\" is too large to be read";
  if (stored.has_size && stored.size.size() != 4) {
    return "\"size\" is " + std::to_string(stored.size.size()) + " bytes long instead of 4";
  }
  if (!stored.has_size) return bytes == 0 ? "" : "\"size\" is missing";
  const uint32_t count = GetLe32(stored.size.data());
  if (!stored.has_list) return count == 0 ? "" : "\"list\" is missing";
  if (bytes == uint64_t{count} * kRectRecordSize) return "";
  const size_t whole = bytes / kRectRecordSize;
  std::string holds = std::to_string(whole);
  if (bytes % kRectRecordSize) holds += " and part of another";
  return "\"size\" counts " + std::to_string(count) + " rectangle" + (count == 1 ? "" : "s") +
         " but \"list\" holds " + holds + " (" + std::to_string(bytes) + " bytes)";
}

void CRectList::SaveToRegistry() {
  if (!m_regKey[0]) return;
  // Store failures, an allocation failure among them, leave the queue as
  // it is and are not reported; nothing leaves the destructor this way.
  try {
    StoredRegionValues wanted;
    if (!EncodeRegion(m_items, &wanted)) return;
    // Comparing and writing in one transaction: what is compared is what
    // gets replaced.
    platform::StoreTransaction transaction;
    if (!transaction.IsOpen()) return;
    platform::StoreKey key = platform::StoreKey::CreateOrOpen(m_regKey);
    if (!key) return;
    if (ReadStoredRegion(key) != wanted && !WriteRegion(key, wanted)) return;
    if (transaction.Commit()) m_unsaved = false;
  } catch (const std::exception&) {
  }
}

void CRectList::LoadFromRegistry() {
  if (!m_regKey[0]) return;
  try {
    StoredRegionValues stored;
    {
      // The key first (creating it writes), then "size" and "list" from one
      // state of the store.
      platform::StoreKey key = platform::StoreKey::CreateOrOpen(m_regKey);
      if (!key) return;
      platform::StoreTransaction transaction(platform::StoreTransaction::Kind::kRead);
      stored = ReadStoredRegion(key);
    }
    // Every record "list" holds is offered to Add, whatever "size" says.
    m_damage = StoredRegionDamage(stored);
    if (!stored.list.empty()) {
      LoadFromRecords(stored.list.data(), static_cast<uint32_t>(stored.list.size()));
    }
    m_unsaved = false;
    // A damaged region stays in the store as it is until the region is
    // changed: writing back what could be read would destroy the rest.
    if (!m_damage.empty()) return;
    // A whole region stored otherwise than it loads (other ids, rejected
    // records) is written once as it loaded, as loading through Add always
    // did; a store without any region stays without one.
    StoredRegionValues loaded;
    if ((!stored.has_size && !stored.has_list) || !EncodeRegion(m_items, &loaded) ||
        loaded == stored) {
      return;
    }
    platform::StoreTransaction transaction;
    if (!transaction.IsOpen()) return;
    platform::StoreKey key = platform::StoreKey::CreateOrOpen(m_regKey);
    // Another process's edit since the region was read stands.
    if (!key || ReadStoredRegion(key) != stored || !WriteRegion(key, loaded)) return;
    transaction.Commit();
  } catch (const std::exception&) {
    // A store that cannot be read leaves the queue as it is, like one that
    // cannot be opened.
  }
}

void CRectList::LoadFromRecords(const uint8_t* list, uint32_t length) {
  if (length > 0 && !list) return;
  FlagScope loading(&m_loading);
  Clear();
  // A last record cut short reads its missing bytes as zeros.
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

namespace {

void SetReason(std::string* reason, std::string text) {
  if (reason) *reason = std::move(text);
}

std::string SystemReason(int error) {
  return std::error_code(error, std::generic_category()).message();
}

// What a rect file's text holds apart from its sections.
enum class RectText {
  kNotText,       // control characters other than white space
  kCommentsOnly,  // blank lines and lines that start with ';' or '#'
  kOtherLines,    // anything else as well
};

// Reads the file as the profile functions do (a UTF-8 or UTF-16 byte-order
// mark chooses the encoding) and sorts its lines.
RectText ScanRectText(const std::string& bytes) {
  std::vector<uint16_t> units;
  size_t start = 0;
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
    const bool little = b[0] == 0xFF;
    for (size_t i = 2; i + 1 < n; i += 2) {
      units.push_back(static_cast<uint16_t>(little ? b[i] | b[i + 1] << 8 : b[i] << 8 | b[i + 1]));
    }
  } else {
    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) start = 3;
    units.assign(b + start, b + n);
  }
  RectText result = RectText::kCommentsOnly;
  bool line_start = true;
  for (const uint16_t c : units) {
    // Tab, line ends, form feed and the end-of-file mark some editors add
    // are white space; other control characters do not occur in text.
    const bool space = c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0x1A;
    if (c < 0x20 && !space && c != '\n' && c != '\r') return RectText::kNotText;
    if (c == '\n' || c == '\r') {
      line_start = true;
    } else if (line_start && !space) {
      // The first character of a line decides what the line is.
      line_start = false;
      if (c != ';' && c != '#') result = RectText::kOtherLines;
    }
  }
  return result;
}

}  // namespace

std::string RectFileText(const std::list<RectItem>& items) {
  if (items.empty()) return kEmptyRectFileText;
  // Writing item after item into an empty file through the profile
  // functions appends a section for each new name and replaces the value of
  // a name already there in place; the same text, written in one pass.
  struct Section {
    std::string name;
    char present;
  };
  std::vector<Section> sections;
  std::unordered_map<std::string, size_t> index;
  for (const RectItem& item : items) {
    const char present = item.include ? '1' : '0';
    std::string name = RectSectionName(item);
    const auto [found, added] = index.emplace(name, sections.size());
    if (added) {
      sections.push_back({std::move(name), present});
    } else {
      sections[found->second].present = present;
    }
  }
  std::string text;
  text.reserve(sections.size() * 40);
  for (const Section& section : sections) {
    text += '[';
    text += section.name;
    text += "]\r\npresent=";
    text += section.present;
    text += "\r\n";
  }
  return text;
}

int32_t CRectList::SaveToFile(const char* path) { return SaveToFile(path, nullptr); }

int32_t CRectList::SaveToFile(const char* path, std::string* reason) {
  SetReason(reason, "");
  if (!path || !*path) {
    SetReason(reason, "no file name");
    return -1;
  }
  // Writing into the existing file would keep its other sections; the
  // region goes into a new file beside it, which then replaces it.
  errno = 0;
  const std::string temp = platform::CreateTempFileBeside(path);
  if (temp.empty()) {
    SetReason(reason, errno ? SystemReason(errno) : "cannot create a file in its folder");
    return -1;
  }
  bool written = false;
  int error = 0;
  try {
    const std::string text = RectFileText(m_items);
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    if (file) {
      written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
      written = std::fclose(file) == 0 && written;
    }
    if (!written) error = errno;
  } catch (const std::exception&) {
    error = ENOMEM;
  }
  if (written) {
    errno = 0;
    written = platform::ReplaceFileWith(temp.c_str(), path);
    error = errno;
  }
  if (!written) {
    platform::RemoveFile(temp.c_str());
    SetReason(reason, error ? SystemReason(error) : "cannot write the file");
    return -1;
  }
  return 0;
}

int32_t CRectList::LoadFromFile(const char* path) {
  return LoadFromFile(path, platform::SystemProfileFiles());
}

int32_t CRectList::LoadFromFile(const char* path, const platform::ProfileFiles& files,
                                std::string* reason) {
  SetReason(reason, "");
  if (!path) return -1;
  namespace fs = std::filesystem;
  uint64_t file_size = 0;
  if (!files.FileSize(path, &file_size)) {
    std::error_code ec;
    (void)fs::status(fs::path(path), ec);
    SetReason(reason, ec ? ec.message() : "cannot be read");
    return -1;
  }
  // The names buffer is as long as the file, whose size counts in its low
  // 32 bits.
  const auto size = static_cast<int32_t>(static_cast<uint32_t>(file_size));
  if (size < 1) {
    std::error_code ec;
    SetReason(reason,
              fs::is_directory(fs::path(path), ec) ? "is a directory" : "the file is empty");
    return -1;
  }
  if (file_size > kMaxRectFileBytes) {
    SetReason(reason, "the file holds " + std::to_string(file_size) +
                          " bytes, more than a rect file can (at most " +
                          std::to_string(kMaxRectFileBytes) + ")");
    return -1;
  }
  // The text itself, within the size above: a file that is not text is not
  // a rect file, whatever sections the profile functions might find in it.
  std::string text;
  {
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in) {
      SetReason(reason, SystemReason(errno ? errno : EIO));
      return -1;
    }
    text.resize(static_cast<size_t>(file_size));
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
  }
  const RectText kind = ScanRectText(text);
  text = std::string();
  if (kind == RectText::kNotText) {
    SetReason(reason, "not a rect file: it is not text");
    return -1;
  }
  std::unique_ptr<char[]> names(new (std::nothrow) char[static_cast<size_t>(size)]);
  if (!names) return -1;
  const uint32_t stored = files.GetSectionNames(names.get(), static_cast<uint32_t>(size), path);
  if (stored == static_cast<uint32_t>(size) - 2) {
    SetReason(reason, "its section names do not fit the file's size");
    return -1;
  }
  if (stored == 0 && kind == RectText::kOtherLines) {
    SetReason(reason, "not a rect file: nothing in it reads as a rectangle");
    return -1;
  }

  std::list<RectItem> previous;
  try {
    previous = m_items;
  } catch (const std::bad_alloc&) {
    return -1;
  }
  const int32_t previous_last_id = m_lastId;
  const bool previous_unsaved = m_unsaved;

  bool loaded = true;
  {
    // The whole file goes into the queue first and then into the store in
    // one write, so that the store holds the old region or the new one,
    // never a part.
    FlagScope loading(&m_loading);
    m_items.clear();
    m_lastId = 0;
    try {
      // The names in file order, as far as each names a rectangle; then the
      // "present" values of all of them in one reading of the file.
      struct Section {
        std::string name;
        int32_t left, top, right, bottom;
      };
      std::vector<Section> sections;
      std::string unreadable;
      const char* const end = names.get() + size;
      for (const char* name = names.get(); name < end && *name;) {
        const size_t length = strnlen(name, static_cast<size_t>(end - name));
        Section section{std::string(name, length), 0, 0, 0, 0};
        if (length == static_cast<size_t>(end - name) ||
            !ParseRectSectionName(section.name.c_str(), &section.left, &section.top, &section.right,
                                  &section.bottom)) {
          unreadable = "section [" + section.name.substr(0, 80) + "] does not name a rectangle";
          break;
        }
        sections.push_back(std::move(section));
        name += length + 1;
      }
      std::vector<std::string> section_names;
      section_names.reserve(sections.size());
      for (const Section& section : sections) section_names.push_back(section.name);
      const std::vector<uint32_t> present = files.GetInts(section_names, "present", 1, path);
      section_names = std::vector<std::string>();
      for (size_t i = 0; loaded && i < sections.size(); ++i) {
        const Section& section = sections[i];
        if (Add(present[i] != 0 ? 1 : 0, section.left, section.top, section.right, section.bottom) <
            0) {
          const char* why = RectRejection(section.left, section.top, section.right, section.bottom);
          SetReason(reason, "section [" + section.name + "]: " + (why ? why : "out of memory"));
          loaded = false;
        }
      }
      if (loaded && !unreadable.empty()) {
        SetReason(reason, unreadable);
        loaded = false;
      }
    } catch (const std::exception&) {
      SetReason(reason, "out of memory");
      loaded = false;
    }
  }

  if (loaded) {
    m_unsaved = true;
    SaveToRegistry();
    return 0;
  }
  // The queue goes back as it was, with its ids; the numbering continues
  // from where it was so that no id is handed out twice. The store never
  // saw any of the file.
  m_items.swap(previous);
  m_lastId = previous_last_id;
  m_unsaved = previous_unsaved;
  return -1;
}
