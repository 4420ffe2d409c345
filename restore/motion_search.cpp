// The restoring method's motion search (restore/motion_search.h).
#include "restore/motion_search.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

namespace restore {
namespace {

constexpr uint32_t kBlock = 16;
// What a step away from the nearest predictor costs, against a block cost
// summed over up to 256 samples.
constexpr uint32_t kStepPenalty = 8;
// The reduced planes of the vote: 4 x 4 pixels of the frame (two rows of a
// field, four columns) to one sample; a displacement step of 4 pixels and
// 4 lines.
constexpr int32_t kReduce = 4;
constexpr int32_t kVoteRangeX = kMaxDx / kReduce / 2;  // +-32 pixels
constexpr int32_t kVoteRangeY = kMaxDy / kReduce / 2;  // +-16 lines
constexpr uint32_t kVoteSpacing = 4;                   // every fourth block each way
constexpr uint32_t kSideSpacing = 3;  // the side test: every third block each way

int32_t FloorDiv(int32_t a, int32_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Where a field at time t lies for displacement d over two fields, for the
// pair (t1, t2): the first field's offset rounded down, the second's that
// plus the whole displacement between them, so that the pair's offsets
// differ by exactly (t2 - t1) / 2 x d.
void PairOffsets(const FieldPair& p, int32_t d, int32_t* first, int32_t* second) {
  *first = FloorDiv(p.t1 * d, 2);
  *second = *first + (p.t2 - p.t1) / 2 * d;
}

// A field of `planes` reduced 4 x 4: sample (x, y) averages columns 4x ...
// 4x + 3 of the field's rows 4y + parity and 4y + 2 + parity. The plane
// has kVoteMargin samples of margin on every side, repeating its edges.
constexpr int32_t kVoteMargin = 32;
void Reduce(const LumaPlanes& planes, int32_t parity, std::vector<uint8_t>* out) {
  const int32_t w = static_cast<int32_t>(planes.Width()) / kReduce;
  const int32_t h = static_cast<int32_t>(planes.Height()) / kReduce;
  const int32_t stride = w + 2 * kVoteMargin;
  out->resize(static_cast<size_t>(stride) * (h + 2 * kVoteMargin));
  uint8_t* origin = out->data() + kVoteMargin * stride + kVoteMargin;
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* r0 = planes.L(kReduce * y + parity);
    const uint8_t* r1 = planes.L(kReduce * y + 2 + parity);
    uint8_t* row = origin + y * stride;
    for (int32_t x = 0; x < w; ++x) {
      uint32_t sum = 4;
      for (int32_t i = 0; i < kReduce; ++i) sum += r0[kReduce * x + i] + r1[kReduce * x + i];
      row[x] = static_cast<uint8_t>(sum >> 3);
    }
    std::memset(row - kVoteMargin, row[0], kVoteMargin);
    std::memset(row + w, row[w - 1], kVoteMargin);
  }
  for (int32_t y = -kVoteMargin; y < 0; ++y) {
    std::memcpy(origin + y * stride - kVoteMargin, origin - kVoteMargin, stride);
  }
  for (int32_t y = h; y < h + kVoteMargin; ++y) {
    std::memcpy(origin + y * stride - kVoteMargin, origin + (h - 1) * stride - kVoteMargin, stride);
  }
}

}  // namespace

uint32_t MotionSearch::Cost(const RestoreKernels& k, const SearchPairs& pairs, uint32_t bx,
                            uint32_t by, Displacement d) const {
  uint32_t cost = 0;
  for (const FieldPair* p : {&pairs.other, &pairs.kept}) {
    if (!p->first) continue;
    int32_t x1, x2, y1, y2;
    PairOffsets(*p, d.dx, &x1, &x2);
    PairOffsets(*p, d.dy, &y1, &y2);
    const int32_t row = static_cast<int32_t>(by * kBlock) + p->parity;
    const int32_t col = static_cast<int32_t>(bx * kBlock);
    const ptrdiff_t s1 = 2 * p->first->Stride(), s2 = 2 * p->second->Stride();
    cost += k.sad16(p->first->Field(p->parity, row + y1) + col + x1, s1,
                    p->second->Field(p->parity, row + y2) + col + x2, s2, kBlock / 2);
  }
  return cost;
}

void MotionSearch::Vote(const RestoreKernels& k, const FieldPair& p, uint32_t width,
                        uint32_t height) {
  global_.clear();
  if (!p.first) return;
  Reduce(*p.first, p.parity, &coarse_[0]);
  Reduce(*p.second, p.parity, &coarse_[1]);
  const int32_t w = static_cast<int32_t>(width) / kReduce;
  const int32_t h = static_cast<int32_t>(height) / kReduce;
  const ptrdiff_t stride = w + 2 * kVoteMargin;
  const uint8_t* origin[2] = {coarse_[0].data() + kVoteMargin * stride + kVoteMargin,
                              coarse_[1].data() + kVoteMargin * stride + kVoteMargin};
  // Blocks of 16 x 4 reduced samples (64 pixels by 16 lines), every fourth
  // row of them.
  constexpr int32_t kWide = 16, kTall = 4;
  std::map<std::pair<int32_t, int32_t>, uint32_t> votes;
  for (int32_t by = 0; by + kTall <= h; by += kVoteSpacing * kTall) {
    for (int32_t bx = 0; bx + kWide <= w; bx += kWide) {
      uint32_t best = UINT32_MAX;
      Displacement best_d;
      for (int32_t dy = -kVoteRangeY; dy <= kVoteRangeY; ++dy) {
        for (int32_t dx = -kVoteRangeX; dx <= kVoteRangeX; ++dx) {
          int32_t x1, x2, y1, y2;
          PairOffsets(p, dx, &x1, &x2);
          PairOffsets(p, dy, &y1, &y2);
          const uint32_t sum = k.sad16(origin[0] + (by + y1) * stride + bx + x1, stride,
                                       origin[1] + (by + y2) * stride + bx + x2, stride, kTall);
          // Ties go to the smaller displacement.
          if (sum < best || (sum == best && std::abs(dx) + std::abs(dy) <
                                                std::abs(best_d.dx) + std::abs(best_d.dy))) {
            best = sum;
            best_d = {dx, dy};
          }
        }
      }
      ++votes[{best_d.dx * kReduce, best_d.dy * kReduce}];
    }
  }
  // The two displacements with the most votes (a second one only when more
  // than one block chose it), ties to the smaller.
  std::vector<std::pair<uint32_t, Displacement>> ranked;
  for (const auto& [d, n] : votes) ranked.push_back({n, Displacement{d.first, d.second}});
  std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first > b.first;
    const int32_t da = std::abs(a.second.dx) + std::abs(a.second.dy);
    const int32_t db = std::abs(b.second.dx) + std::abs(b.second.dy);
    if (da != db) return da < db;
    return a.second.dx != b.second.dx ? a.second.dx < b.second.dx : a.second.dy < b.second.dy;
  });
  for (size_t i = 0; i < ranked.size() && i < 2; ++i) {
    if (i == 1 && ranked[i].first < 2) break;
    global_.push_back(ranked[i].second);
  }
}

int32_t MotionSearch::OtherFieldSide(const RestoreKernels& k, const FieldPair& kept,
                                     const LumaPlanes& current) {
  const uint32_t width = current.Width(), height = current.Height();
  SearchPairs pairs;
  pairs.kept = kept;
  // Other-field rows sampled d / 2 away (between two pixels or rows: their
  // average), against the kept rows.
  const auto moved = [&](uint32_t bx, uint32_t by, Displacement d) {
    uint32_t sum = 0;
    const int32_t x0 = FloorDiv(d.dx, 2), x1 = d.dx - x0;  // d / 2 rounded down and up
    const int32_t y0 = FloorDiv(d.dy, 2), y1 = d.dy - y0;
    const int32_t row = static_cast<int32_t>(by * kBlock) + 1;
    const int32_t col = static_cast<int32_t>(bx * kBlock);
    for (uint32_t i = 0; i < kBlock / 2; ++i) {
      const int32_t r = row + 2 * static_cast<int32_t>(i);
      const uint8_t* kept_row = current.L(r) + col;
      const uint8_t* a = current.Field(0, r + y0) + col;
      const uint8_t* b = current.Field(0, r + y1) + col;
      for (int32_t x = 0; x < static_cast<int32_t>(kBlock); ++x) {
        const int32_t top = (a[x + x0] + a[x + x1] + 1) >> 1;
        const int32_t bottom = (b[x + x0] + b[x + x1] + 1) >> 1;
        sum += static_cast<uint32_t>(std::abs(kept_row[x] - ((top + bottom + 1) >> 1)));
      }
    }
    return sum;
  };
  uint64_t after = 0, before = 0;
  Displacement last;
  for (uint32_t by = 1; by < height / kBlock; by += kSideSpacing) {
    for (uint32_t bx = 1; bx < width / kBlock; bx += kSideSpacing) {
      // The block's displacement over two fields: the best of the vote's,
      // zero and the last block's, then single steps.
      uint32_t best = UINT32_MAX;
      Displacement best_d;
      const auto consider = [&](Displacement d) {
        if (std::abs(d.dx) > kMaxDx || std::abs(d.dy) > kMaxDy) return;
        const uint32_t c = Cost(k, pairs, bx, by, d);
        if (c < best) best = c, best_d = d;
      };
      for (const Displacement& d : global_) consider(d);
      consider({});
      consider(last);
      for (int pass = 0; pass < 2; ++pass) {
        const Displacement base = best_d;
        consider({base.dx + 1, base.dy});
        consider({base.dx - 1, base.dy});
        consider({base.dx, base.dy + 1});
        consider({base.dx, base.dy - 1});
      }
      last = best_d;
      // A block that does not move tells nothing.
      if (best_d.dx == 0 && best_d.dy == 0) continue;
      after += moved(bx, by, best_d);
      before += moved(bx, by, {-best_d.dx, -best_d.dy});
    }
  }
  if (8 * after < 7 * before) return 1;
  if (8 * before < 7 * after) return -1;
  return 0;
}

void MotionSearch::Run(const RestoreKernels& k, const SearchPairs& pairs, uint32_t width,
                       uint32_t height, std::vector<BlockMotion>* motion) {
  const uint32_t bw = width / kBlock, bh = height / kBlock;
  motion->assign(static_cast<size_t>(bw) * bh, BlockMotion{});
  if (!pairs.other.first && !pairs.kept.first) return;
  block_.assign(static_cast<size_t>(bw) * bh, Displacement{});
  const auto valid = [](Displacement d) {
    return std::abs(d.dx) <= kMaxDx && std::abs(d.dy) <= kMaxDy;
  };
  // The costs each block's search met, for the sub-pixel step to reuse.
  tried_.assign(static_cast<size_t>(bw) * bh, Tried{});
  std::vector<Displacement> predictors;
  for (uint32_t by = 0; by < bh; ++by) {
    for (uint32_t bx = 0; bx < bw; ++bx) {
      Tried& tried = tried_[static_cast<size_t>(by) * bw + bx];
      predictors.assign(global_.begin(), global_.end());
      predictors.push_back({});
      const auto add = [&](int32_t x, int32_t y) {
        if (x >= 0 && y >= 0 && x < static_cast<int32_t>(bw)) {
          predictors.push_back(block_[static_cast<size_t>(y) * bw + x]);
        }
      };
      add(static_cast<int32_t>(bx) - 1, static_cast<int32_t>(by));
      add(static_cast<int32_t>(bx), static_cast<int32_t>(by) - 1);
      add(static_cast<int32_t>(bx) - 1, static_cast<int32_t>(by) - 1);
      add(static_cast<int32_t>(bx) + 1, static_cast<int32_t>(by) - 1);
      uint32_t best = UINT32_MAX;
      Displacement best_d;
      const auto consider = [&](Displacement d, uint32_t penalty) {
        if (!valid(d) || tried.Find(d)) return;
        const uint32_t c = Cost(k, pairs, bx, by, d);
        tried.Add(d, c);
        if (c + penalty < best) {
          best = c + penalty;
          best_d = d;
        }
      };
      for (const Displacement& d : predictors) consider(d, 0);
      const Displacement base = best_d;
      static constexpr int32_t kSteps[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
      for (const auto& s : kSteps) {
        const Displacement d{base.dx + s[0], base.dy + s[1]};
        uint32_t distance = UINT32_MAX;
        for (const Displacement& p : predictors) {
          distance = std::min<uint32_t>(distance, std::abs(d.dx - p.dx) + std::abs(d.dy - p.dy));
        }
        consider(d, distance * kStepPenalty);
      }
      block_[static_cast<size_t>(by) * bw + bx] = best_d;
    }
  }
  // A 3x3 median of each component (blocks past the edges repeat the edge).
  for (uint32_t by = 0; by < bh; ++by) {
    for (uint32_t bx = 0; bx < bw; ++bx) {
      int32_t xs[9], ys[9], n = 0;
      for (int32_t dy = -1; dy <= 1; ++dy) {
        for (int32_t dx = -1; dx <= 1; ++dx) {
          const int32_t x =
              std::clamp(static_cast<int32_t>(bx) + dx, 0, static_cast<int32_t>(bw) - 1);
          const int32_t y =
              std::clamp(static_cast<int32_t>(by) + dy, 0, static_cast<int32_t>(bh) - 1);
          const Displacement& d = block_[static_cast<size_t>(y) * bw + x];
          xs[n] = d.dx;
          ys[n] = d.dy;
          ++n;
        }
      }
      std::nth_element(xs, xs + 4, xs + 9);
      std::nth_element(ys, ys + 4, ys + 9);
      // Across, between whole pixels: the parabola through the costs either
      // side.
      const Displacement d{xs[4], ys[4]};
      const Tried& tried = tried_[static_cast<size_t>(by) * bw + bx];
      const auto cost = [&](Displacement at) {
        const uint32_t* known = tried.Find(at);
        return known ? *known : Cost(k, pairs, bx, by, at);
      };
      const uint32_t c0 = cost(d);
      // (A block that matches exactly stays on its whole step: a still
      // picture comes out of time unchanged.)
      const auto fraction = [&](Displacement lo, Displacement hi) -> int32_t {
        if (c0 == 0 || !valid(lo) || !valid(hi)) return 0;
        const int64_t cl = cost(lo), ch = cost(hi);
        const int64_t s = cl - 2 * int64_t{c0} + ch;
        if (s <= 0) return 0;
        const int64_t num = 2 * (cl - ch) + s, den = 2 * s;
        const int64_t t = num >= 0 ? num / den : -((-num + den - 1) / den);
        return static_cast<int32_t>(std::clamp<int64_t>(t, -1, 1));
      };
      BlockMotion& m = (*motion)[static_cast<size_t>(by) * bw + bx];
      m.vq = static_cast<int16_t>(2 * d.dx + fraction({d.dx - 1, d.dy}, {d.dx + 1, d.dy}));
      // Down the picture, whole lines: between the rows of a field the costs
      // are aliased, and a parabola through them misleads more than it
      // finds.
      m.wq = static_cast<int16_t>(2 * d.dy);
    }
  }
}

}  // namespace restore
