// The processing region: an ordered queue of include and exclude
// rectangles. The per-user store keeps it between calls (subkey "RectList"
// of the settings key, values "size" and "list"), rect files exchange it,
// and the region mask asks it, position by position, what to process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

namespace platform {
class ProfileFiles;
}

// One rectangle of the region. Bounds are inclusive luma pixel positions;
// a rectangle may reach beyond the frame.
struct RectItem {
  int32_t id;
  uint8_t include;  // 0: exclude ("-"); any other value: include ("+")
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;

  friend bool operator==(const RectItem&, const RectItem&) = default;
};

// The region's subkey below the settings key.
inline constexpr const char* kRectListKey =
    "SOFTWARE\\quorvaline\\deinterlace for Premiere\\RectList";

// The stored record of an item: id, include, left, top, right, bottom,
// little-endian, 21 bytes without padding.
inline constexpr uint32_t kRectRecordSize = 21;
void EncodeRectRecord(const RectItem& item, uint8_t* record);
RectItem DecodeRectRecord(const uint8_t* record);

// The region's values as the store holds them: "size" and "list" with
// their data bytes, each when present.
struct StoredRegionValues {
  bool has_size = false;
  std::vector<uint8_t> size;
  bool has_list = false;
  bool list_unreadable = false;  // present but too large for the memory at hand
  std::vector<uint8_t> list;
  bool operator==(const StoredRegionValues&) const = default;
};

// Why stored values are not a whole region, in words for the user; empty
// when "size" is four bytes that count exactly the records of "list" (or
// neither is there, or a count of 0 has no "list").
std::string StoredRegionDamage(const StoredRegionValues& stored);

// Why Add rejects a rectangle, or null when it accepts it.
const char* RectRejection(int32_t left, int32_t top, int32_t right, int32_t bottom);

// The list-box line of an item: "%d. [ (%d,%d) - (%d,%d) ] %s".
std::string FormatRectItem(const RectItem& item);

// The section name of an item in a rect file: "[(%d,%d)-(%d,%d)]".
std::string RectSectionName(const RectItem& item);
// Reads the four coordinates back from a section name. False unless the
// name starts with the pattern and gives four decimal numbers that fit 32
// bits; anything after the fourth number is ignored.
bool ParseRectSectionName(const char* name, int32_t* left, int32_t* top, int32_t* right,
                          int32_t* bottom);

// What an empty region is saved as: a line that names no section, so that
// the file loads back as an empty region.
inline constexpr const char* kEmptyRectFileText = "; no rectangles\r\n";

// The rect file of a region: the bytes the profile functions write when
// each item's "present" key is written into an empty file in queue order
// (items that share a section keep the last one's value), made in one pass.
std::string RectFileText(const std::list<RectItem>& items);

// The largest rect file that is loaded. A region typed in by a user takes
// a few hundred bytes and 100,000 rectangles fit in 4 MiB; a larger file is
// not a rect file, and reading it would take memory out of all proportion.
inline constexpr uint64_t kMaxRectFileBytes = 4u << 20;

class CRectList {
 public:
  // Loads the region stored under kRectListKey.
  CRectList();
  // A list kept under another key; with an empty path nothing is loaded or
  // stored.
  explicit CRectList(const char* regKey);
  // Stores the region, then frees the items.
  virtual ~CRectList();

  CRectList(const CRectList&) = delete;
  CRectList& operator=(const CRectList&) = delete;

  // The object lives in a zero-filled global-memory block that stays at one
  // address. Null when the block cannot be had; the new-expression then
  // constructs nothing.
  static void* operator new(std::size_t size) noexcept;
  static void operator delete(void* block) noexcept;

  // Appends a rectangle and stores the region. Returns the new id, or -1
  // when RectRejection refuses the rectangle or memory runs out (nothing
  // changes then).
  int32_t Add(uint8_t include, int32_t left, int32_t top, int32_t right, int32_t bottom);
  // Removes the first item with that id, then stores the region even when
  // no item matched. Ids are not reused.
  void Delete(int32_t id);
  // Removes every item and restarts the numbering; stores nothing.
  void Clear();
  // 1 when no item covers the position, otherwise the include byte of the
  // last item in the queue that covers it.
  int32_t IsProcessed(int32_t x, int32_t y) const;

  using const_iterator = std::list<RectItem>::const_iterator;
  const_iterator begin() const { return m_items.begin(); }
  const_iterator end() const { return m_items.end(); }
  size_t Count() const { return m_items.size(); }
  int32_t LastId() const { return m_lastId; }
  const char* RegKey() const { return m_regKey; }

  // Writes the queue as "size" and "list", in one store transaction, when
  // the store does not hold exactly that already: an unchanged region is
  // never written, so that lists in other processes that did not change it
  // cannot undo each other's edits. Store failures are ignored.
  void SaveToRegistry();
  // Rebuilds the queue from the store through Add; called by construction.
  // Every record "list" holds is offered to Add, whatever "size" counts. A
  // whole region that loads as something else than it is stored (other
  // ids, rejected records) is written back once in its loaded form, unless
  // another process has changed it meanwhile; a damaged one (LoadDamage)
  // is never written back, only replaced when the region is changed.
  void LoadFromRegistry();
  // The part of LoadFromRegistry after the store has been read: clears the
  // queue and gives each record of the `length` bytes of "list" to Add, a
  // last record cut short with its missing bytes as zeros. Stores nothing.
  void LoadFromRecords(const uint8_t* list, uint32_t length);
  // Why the stored region could not be read whole when this list loaded it
  // (StoredRegionDamage); empty when it could.
  const std::string& LoadDamage() const { return m_damage; }

  // Writes the region as a rect file (RectFileText): a complete new file
  // replaces the old one, so the file loads back as exactly this region. 0,
  // or -1 with the old file left as it was and, when `reason` is given, why.
  int32_t SaveToFile(const char* path);
  int32_t SaveToFile(const char* path, std::string* reason);
  // Replaces the queue by the rect file's rectangles and stores it once,
  // as a whole. 0, or -1 with the queue, its ids and the store as before
  // and, when `reason` is given, why. Files larger than kMaxRectFileBytes,
  // files that are not text, and text files with no section that hold
  // anything but comments are refused; a file of comments alone (as an
  // empty region is saved) loads as an empty region.
  int32_t LoadFromFile(const char* path);
  int32_t LoadFromFile(const char* path, const platform::ProfileFiles& files,
                       std::string* reason = nullptr);

 private:
  // Add and Delete store the region unless a whole region is being loaded,
  // which is stored once at the end.
  void StoreChange();

  std::list<RectItem> m_items;
  int32_t m_lastId;
  char m_regKey[1000];
  bool m_loading = false;
  // The queue has changes the store has not taken (Clear, a failed write);
  // destruction stores them. A queue the store holds is not written again.
  bool m_unsaved = false;
  std::string m_damage;
};
