// Test frames for the engine: random, flat, combed, and buffers fenced by
// guard bytes that a kernel must leave untouched.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace test {

// A byte buffer with `guard` bytes of a known pattern before and after the
// payload, the payload starting `misalign` bytes past an aligned address.
class Fenced {
 public:
  Fenced(size_t size, size_t misalign = 0, size_t guard = 32)
      : size_(size), offset_(guard + misalign), bytes_(size + 2 * guard + misalign + 8, 0) {
    for (size_t i = 0; i < bytes_.size(); ++i) {
      const bool payload = i >= offset_ && i - offset_ < size_;
      bytes_[i] = payload ? 0 : static_cast<uint8_t>(0xA5 ^ (i * 7));
    }
  }
  uint8_t* data() { return bytes_.data() + offset_; }
  const uint8_t* data() const { return bytes_.data() + offset_; }
  size_t size() const { return size_; }
  std::vector<uint8_t> payload() const { return {data(), data() + size_}; }
  // True when every byte outside the payload still holds its pattern.
  bool GuardsIntact() const {
    for (size_t i = 0; i < bytes_.size(); ++i) {
      if (i >= offset_ && i < offset_ + size_) continue;
      if (bytes_[i] != static_cast<uint8_t>(0xA5 ^ (i * 7))) return false;
    }
    return true;
  }

 private:
  size_t size_;
  size_t offset_;
  std::vector<uint8_t> bytes_;
};

inline void FillRandom(uint8_t* p, size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(rng());
}

// Rows alternate between two values (even rows `even`, odd rows `odd`).
inline void FillComb(uint8_t* p, uint32_t w, uint32_t h, uint8_t even, uint8_t odd) {
  for (uint32_t r = 0; r < h; ++r)
    std::memset(p + static_cast<size_t>(r) * w, r % 2 ? odd : even, w);
}

// Every row equal to the same random row.
inline void FillEqualRows(uint8_t* p, uint32_t w, uint32_t h, uint32_t seed) {
  FillRandom(p, w, seed);
  for (uint32_t r = 1; r < h; ++r) std::memcpy(p + static_cast<size_t>(r) * w, p, w);
}

// A textured picture panning horizontally, sampled at time t (pixels).
inline uint8_t Texture(int32_t x, int32_t y) {
  const uint32_t v = static_cast<uint32_t>(x * 7 + y * 13) ^ static_cast<uint32_t>(x * y / 5);
  return static_cast<uint8_t>(40 + (v % 97) + ((x / 24 + y / 24) % 2) * 80);
}

// A YV12 engine frame (Y, V, U) whose even rows show the scene at time 0 and
// odd rows at time `shift` pixels later: the comb of a pan.
inline std::vector<uint8_t> PanFrame(uint32_t w, uint32_t h, int32_t shift) {
  std::vector<uint8_t> frame(static_cast<size_t>(w) * h * 3 / 2);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const int32_t moved = static_cast<int32_t>(x) + (y % 2 ? shift : 0);
      frame[static_cast<size_t>(y) * w + x] = Texture(moved, static_cast<int32_t>(y));
    }
  }
  const size_t luma = static_cast<size_t>(w) * h;
  for (uint32_t plane = 0; plane < 2; ++plane) {
    for (uint32_t y = 0; y < h / 2; ++y) {
      for (uint32_t x = 0; x < w / 2; ++x) {
        const int32_t moved = static_cast<int32_t>(2 * x) + (y % 2 ? shift : 0);
        frame[luma + plane * luma / 4 + static_cast<size_t>(y) * (w / 2) + x] =
            static_cast<uint8_t>(96 + Texture(moved + 31 * plane, static_cast<int32_t>(2 * y)) / 4);
      }
    }
  }
  return frame;
}

// A YV12 engine frame of a smooth still background with a textured object
// that moves `shift` pixels to the right between the two fields: combing in
// the object's blocks only.
inline std::vector<uint8_t> ObjectFrame(uint32_t w, uint32_t h, int32_t shift) {
  std::vector<uint8_t> frame(static_cast<size_t>(w) * h * 3 / 2);
  const int32_t left = static_cast<int32_t>(w / 4), top = static_cast<int32_t>(h / 4);
  const int32_t right = static_cast<int32_t>(w / 2), bottom = static_cast<int32_t>(h * 3 / 4);
  auto sample = [&](int32_t x, int32_t y, int32_t plane) -> uint8_t {
    const int32_t moved = x - (y % 2 ? shift : 0);
    if (moved >= left && moved < right && y >= top && y < bottom) {
      return static_cast<uint8_t>(plane ? 96 + Texture(moved + 17 * plane, y) / 4
                                        : Texture(moved, y));
    }
    return static_cast<uint8_t>(plane ? 128 : 60 + (x + y) / 16 % 64);
  };
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      frame[static_cast<size_t>(y) * w + x] =
          sample(static_cast<int32_t>(x), static_cast<int32_t>(y), 0);
  const size_t luma = static_cast<size_t>(w) * h;
  for (uint32_t plane = 0; plane < 2; ++plane)
    for (uint32_t y = 0; y < h / 2; ++y)
      for (uint32_t x = 0; x < w / 2; ++x)
        frame[luma + plane * luma / 4 + static_cast<size_t>(y) * (w / 2) + x] =
            sample(static_cast<int32_t>(2 * x), static_cast<int32_t>(2 * y + y % 2),
                   static_cast<int32_t>(plane + 1));
  return frame;
}

}  // namespace test
