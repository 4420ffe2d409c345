// The one checker of the SIMD kernels: every table of a family that the
// processor supports is run against the reference table on the same
// inputs. Inputs come from one seed, printed with every failure and
// settable with FIELDRESTORE_CHECK_SEED, plus the fixed extremes (all 0,
// all 255, alternating 0 and 255, which provoke 16-bit overflow). Outputs
// live in test::Fenced buffers whose guard bytes must stay untouched.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "platform/cpu.h"
#include "tests/engine/frames.h"

namespace test {

inline uint32_t CheckSeed() {
  static const uint32_t seed = [] {
    const char* text = std::getenv("FIELDRESTORE_CHECK_SEED");
    return text && *text ? static_cast<uint32_t>(std::strtoul(text, nullptr, 0)) : 20260101u;
  }();
  return seed;
}

// What a failure prints so that its inputs can be had again.
inline std::string SeedNote() { return "FIELDRESTORE_CHECK_SEED=" + std::to_string(CheckSeed()); }

enum class Fill { kRandom, kZero, kFull, kAlternating };
inline constexpr Fill kFills[] = {Fill::kRandom, Fill::kZero, Fill::kFull, Fill::kAlternating};

// Fills n bytes; `salt` varies the random bytes between buffers of one case.
inline void FillWith(uint8_t* p, size_t n, Fill fill, uint32_t salt = 0) {
  switch (fill) {
    case Fill::kRandom:
      FillRandom(p, n, CheckSeed() + salt);
      break;
    case Fill::kZero:
      std::memset(p, 0, n);
      break;
    case Fill::kFull:
      std::memset(p, 255, n);
      break;
    case Fill::kAlternating:
      for (size_t i = 0; i < n; ++i) p[i] = (i + salt) % 2 ? 255 : 0;
      break;
  }
}

// The reference table of a family (its first).
template <class Table>
const Table& Reference(std::span<const Table> tables) {
  return tables[0];
}

// The tables after the reference that this processor runs.
template <class Table>
std::vector<const Table*> OptimisedVariants(std::span<const Table> tables) {
  std::vector<const Table*> out;
  for (const Table& t : tables.subspan(1)) {
    if (platform::IsSupported(t)) out.push_back(&t);
  }
  return out;
}

// The optimised tables whose `fn` is not the same function as in a table
// before it (the reference included): each form of one function once.
template <class Table, class Fn>
std::vector<const Table*> DistinctForms(std::span<const Table> tables, Fn Table::*fn) {
  std::vector<const Table*> out;
  for (const Table* t : OptimisedVariants(tables)) {
    bool seen = t->*fn == tables[0].*fn;
    for (const Table* o : out) seen = seen || t->*fn == o->*fn;
    if (!seen) out.push_back(t);
  }
  return out;
}

// Runs check(variant) for every optimised table, each failure naming the
// table and the seed.
template <class Table, class Check>
void ForEachVariant(std::span<const Table> tables, Check check) {
  for (const Table* t : OptimisedVariants(tables)) {
    SCOPED_TRACE(std::string("variant ") + t->name +
                 ", FIELDRESTORE_CHECK_SEED=" + std::to_string(CheckSeed()));
    check(*t);
  }
}

}  // namespace test
