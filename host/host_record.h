// The host's per-call record and service tables, read and written by byte
// offset (the record is byte-packed, so fields are never accessed through a
// struct cast). Pointers in the record are 32 bits wide: this header is for
// the 32-bit Windows plug-in and its test host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

static_assert(sizeof(void*) == 4, "the host record holds 32-bit pointers");

namespace record {

inline constexpr size_t kSpecsHandle = 0;
inline constexpr size_t kSrcFrame = 4;
inline constexpr size_t kDstFrame = 8;
inline constexpr size_t kFrameNumber = 12;
inline constexpr size_t kFrameTotal = 16;
inline constexpr size_t kFieldFlags = 35;
inline constexpr size_t kHostServices = 49;
inline constexpr size_t kFormatCode = 89;
inline constexpr size_t kFormatQueryIndex = 93;
// Bytes a test host must provide to cover every field above.
inline constexpr size_t kMinimumSize = 97;

// HostServices entries and the slots used in the tables they point to.
inline constexpr size_t kMemoryServices = 4;
inline constexpr size_t kFrameServices = 12;
inline constexpr size_t kAllocateHandleSlot = 16;
inline constexpr size_t kFrameAddressSlot = 0;
inline constexpr size_t kFrameBoundsSlot = 4;
inline constexpr size_t kFrameRowBytesSlot = 8;

// The pixel format offered: the bytes 'b','g','r','a' in memory.
inline constexpr uint32_t kFormatBgra = 0x61726762;

template <class T>
T Read(const void* base, size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const uint8_t*>(base) + offset, sizeof value);
  return value;
}

template <class T>
void Write(void* base, size_t offset, T value) {
  std::memcpy(static_cast<uint8_t*>(base) + offset, &value, sizeof value);
}

// Host service signatures (C calling convention).
using AllocateHandleFn = char** (*)(int32_t size);

}  // namespace record
