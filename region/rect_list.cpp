// CRectList: the queue, its numbering, its coverage rule and its memory.
#include "region/rect_list.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/system.h"

const char* RectRejection(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (left < 0) return "left is negative";
  if (right < left) return "right is less than left";
  if (top < 0) return "top is negative";
  if (bottom < top) return "bottom is less than top";
  if (left == right && top == bottom) return "a single pixel is not a rectangle";
  return nullptr;
}

std::string FormatRectItem(const RectItem& item) {
  char line[96];
  std::snprintf(line, sizeof line, "%d. [ (%d,%d) - (%d,%d) ] %s", item.id, item.left, item.top,
                item.right, item.bottom, item.include ? "+" : "-");
  return line;
}

void* CRectList::operator new(std::size_t size) noexcept {
  return platform::AllocateGlobalBlock(size);
}

void CRectList::operator delete(void* block) noexcept { platform::FreeGlobalBlock(block); }

CRectList::CRectList() : CRectList(kRectListKey) {}

CRectList::CRectList(const char* regKey) : m_lastId(0) {
  // At most 999 characters, so that the path always ends in a zero.
  const size_t length = regKey ? strnlen(regKey, sizeof m_regKey - 1) : 0;
  std::memcpy(m_regKey, regKey ? regKey : "", length);
  m_regKey[length] = '\0';
  LoadFromRegistry();
}

CRectList::~CRectList() {
  // Every change has been stored as it was made; only what the store did
  // not take is stored now. Writing the unchanged region back would undo
  // edits other processes made while this list lived.
  if (m_unsaved) SaveToRegistry();
  m_items.clear();
  m_lastId = 0;
}

int32_t CRectList::Add(uint8_t include, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (RectRejection(left, top, right, bottom)) return -1;
  const int32_t id = m_lastId + 1;
  try {
    m_items.push_back(RectItem{id, include, left, top, right, bottom});
  } catch (const std::bad_alloc&) {
    return -1;
  }
  m_lastId = id;
  StoreChange();
  return id;
}

void CRectList::Delete(int32_t id) {
  for (auto it = m_items.begin(); it != m_items.end(); ++it) {
    if (it->id == id) {
      m_items.erase(it);
      break;
    }
  }
  StoreChange();
}

void CRectList::Clear() {
  m_items.clear();
  m_lastId = 0;
  m_unsaved = true;
}

void CRectList::StoreChange() {
  if (m_loading) {
    m_unsaved = true;
  } else {
    SaveToRegistry();
  }
}

int32_t CRectList::IsProcessed(int32_t x, int32_t y) const {
  int32_t processed = 1;
  for (const RectItem& item : m_items) {
    if (item.left <= x && x <= item.right && item.top <= y && y <= item.bottom) {
      processed = item.include;
    }
  }
  return processed;
}
