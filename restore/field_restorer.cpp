// The restoring method, frame by frame (restore/field_restorer.h).
#include "restore/field_restorer.h"

#include <algorithm>
#include <cstring>

namespace restore {
namespace {

constexpr uint32_t kBlock = 16;
constexpr int32_t kMeasureMargin = 2;  // the weight window reaches two pixels aside

int32_t FloorDiv(int32_t a, int32_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// How often a frame's other field combs against the current frame's kept
// rows: every fourth rebuilt row, against the average of the kept rows
// around it.
uint64_t Comb(const RestoreKernels& k, const LumaPlanes& other, const LumaPlanes& current) {
  uint64_t sum = 0;
  const ptrdiff_t step = 8 * current.Stride();
  const uint32_t rows = current.Height() / 8;
  for (uint32_t x = 0; x < current.Width(); x += kBlock) {
    sum += k.sad16(other.L(0) + x, step, current.A(0) + x, step, rows);
  }
  return sum;
}

}  // namespace

const LumaPlanes* FieldRestorer::Luma(const WindowFrame& frame, uint32_t width, uint32_t height) {
  Cached* slot = nullptr;
  for (Cached& c : cache_) {
    if (c.filled && c.id == frame.id && c.planes.Width() == width && c.planes.Height() == height) {
      c.used = ++clock_;
      return &c.planes;
    }
  }
  // The least recently used slot (one of this window's frames was used in
  // this call already, so it is not among them).
  for (Cached& c : cache_) {
    if (!slot || c.used < slot->used) slot = &c;
  }
  slot->filled = false;
  slot->planes.Prepare(width, height);
  slot->planes.Fill(k_, frame.row0, frame.stride);
  slot->id = frame.id;
  slot->filled = true;
  slot->used = ++clock_;
  return &slot->planes;
}

void FieldRestorer::Restore(const FrameWindow& window, uint32_t width, uint32_t height,
                            uint8_t* dst_row0, ptrdiff_t dst_stride,
                            const RestoreDecisions* decisions) {
  const int32_t w = static_cast<int32_t>(width), h = static_cast<int32_t>(height);
  const uint32_t bw = width / kBlock;
  // Everything that can fail to allocate comes first.
  const size_t measure_row = width + 2 * kMeasureMargin;
  measures_.resize(6 * measure_row);
  weights_.resize(width);
  scratch_.resize(2 * 4 * (width + 5));
  ++clock_;
  const LumaPlanes* cur = Luma(window.current, width, height);
  const LumaPlanes* prev = window.previous.row0 ? Luma(window.previous, width, height) : nullptr;
  const LumaPlanes* next = window.next.row0 ? Luma(window.next, width, height) : nullptr;

  // The kept fields' pair, whatever side the other fields lie.
  SearchPairs pairs;
  if (prev && next) {
    pairs.kept = {prev, next, -2, 2, 1};
  } else if (prev) {
    pairs.kept = {prev, cur, -2, 0, 1};
  } else if (next) {
    pairs.kept = {cur, next, 0, 2, 1};
  }
  search_.Vote(k_, pairs.kept, width, height);
  // Which side of the kept field the other fields lie: along the motion
  // where the picture moves enough to tell, else by which neighbour's
  // other field combs less against the kept rows (a still picture: either).
  const int32_t side = pairs.kept.first ? search_.OtherFieldSide(k_, pairs.kept, *cur) : 0;
  if (side != 0) {
    other_follows_ = side > 0;
  } else if (prev && next) {
    other_follows_ = Comb(k_, *prev, *cur) <= Comb(k_, *next, *cur);
  } else if (prev) {
    other_follows_ = 2 * Comb(k_, *prev, *cur) <= 3 * Comb(k_, *cur, *cur);
  } else if (next) {
    other_follows_ = !(2 * Comb(k_, *next, *cur) <= 3 * Comb(k_, *cur, *cur));
  } else {
    other_follows_ = true;
  }
  // The frames by the time of their other field (O) and kept field (K).
  const WindowFrame* o_frame_before = other_follows_ ? &window.previous : &window.current;
  const WindowFrame* o_frame_after = other_follows_ ? &window.current : &window.next;
  const LumaPlanes* o_before = other_follows_ ? prev : cur;          // time -1
  const LumaPlanes* o_after = other_follows_ ? cur : next;           // time +1
  const LumaPlanes* o_far_before = other_follows_ ? nullptr : prev;  // time -3
  const LumaPlanes* o_far_after = other_follows_ ? next : nullptr;   // time +3

  if (o_before && o_after) {
    pairs.other = {o_before, o_after, -1, 1, 0};
  } else if (o_after && o_far_after) {
    pairs.other = {o_after, o_far_after, 1, 3, 0};
  } else if (o_far_before && o_before) {
    pairs.other = {o_far_before, o_before, -3, -1, 0};
  }
  const TimeSamples mode = o_before && o_after ? TimeSamples::kBoth
                           : (prev || next)    ? TimeSamples::kOne
                                               : TimeSamples::kSameFrame;
  search_.Run(k_, pairs, width, height, &motion_);

  const auto cur_row = [&](int32_t r) { return window.current.row0 + r * window.current.stride; };
  const auto kept_row = [&](int32_t r) { return cur_row(r < 0 ? 1 : r >= h ? h - 1 : r); };
  const auto other_row = [&](const WindowFrame& f, int32_t r) {
    return f.row0 + (r < 0 ? 0 : r > h - 2 ? h - 2 : r) * f.stride;
  };
  // The BGRA pixels x - 2 ... x + n + 2 of a row, from the row itself or,
  // where they reach past the frame, an edge-extended copy.
  const auto span = [&](const uint8_t* row, int32_t x, int32_t n, int which) -> const uint8_t* {
    if (x - 2 >= 0 && x + n + 3 <= w) return row + 4 * x;
    uint8_t* s = scratch_.data() + which * 4 * (w + 5);
    for (int32_t j = -2; j < n + 3; ++j) {
      std::memcpy(s + 4 * (j + 2), row + 4 * std::clamp(x + j, 0, w - 1), 4);
    }
    return s + 8;
  };
  uint8_t* const e_rows = measures_.data() + kMeasureMargin;
  uint8_t* const act_rows = e_rows + 3 * measure_row;

  std::vector<Run>& runs = runs_;
  std::vector<uint32_t>& run_start = run_start_;
  runs.clear();
  run_start.assign(height / kBlock + 1, 0);
  for (uint32_t by = 0; by < height / kBlock; ++by) {
    run_start[by] = static_cast<uint32_t>(runs.size());
    for (uint32_t bx = 0; bx < bw;) {
      uint32_t n = 1;
      const BlockMotion& m = motion_[by * bw + bx];
      while (bx + n < bw && motion_[by * bw + bx + n].vq == m.vq &&
             motion_[by * bw + bx + n].wq == m.wq) {
        ++n;
      }
      runs.push_back({bx, n});
      bx += n;
    }
  }
  run_start[height / kBlock] = static_cast<uint32_t>(runs.size());

  // Per run of a rebuilt row: where its temporal samples lie.
  struct RunPlan {
    TimeSamples mode;
    int32_t x0, n, ra, rb, xa, xb, pa, pb, d4;
  };
  const auto plan = [&](int32_t y, const Run& run) {
    const int32_t x0 = static_cast<int32_t>(run.first * kBlock);
    RunPlan p{mode, x0, static_cast<int32_t>(run.count * kBlock), y, y, x0, x0, 0, 0, 0};
    if (mode == TimeSamples::kSameFrame) return p;
    const BlockMotion& m = motion_[(y / kBlock) * bw + run.first];
    const int32_t n = FloorDiv(4 - m.wq, 8);
    p.ra = y + 2 * n;
    p.rb = y - 2 * n;
    p.d4 = 8 * n + m.wq;
    const int32_t xa4 = 4 * x0 - m.vq, xb4 = 4 * x0 + m.vq;
    p.xa = FloorDiv(xa4, 4);
    p.pa = xa4 - 4 * p.xa;
    p.xb = FloorDiv(xb4, 4);
    p.pb = xb4 - 4 * p.xb;
    if (mode == TimeSamples::kOne) {
      // The one other field there is, on both sides.
      if (o_before) {
        p.rb = p.ra, p.xb = p.xa, p.pb = p.pa;
      } else {
        p.ra = p.rb, p.xa = p.xb, p.pa = p.pb;
      }
    }
    if (p.d4 < -3 || p.d4 > 3) p.mode = TimeSamples::kNone;
    return p;
  };
  const LumaPlanes* la = mode == TimeSamples::kSameFrame ? cur : o_before ? o_before : o_after;
  const LumaPlanes* lb = mode == TimeSamples::kSameFrame ? cur : o_after ? o_after : o_before;

  const auto measure = [&](int32_t i) {
    const int32_t y = 2 * i;
    uint8_t* e = e_rows + (i % 3) * measure_row;
    uint8_t* act = act_rows + (i % 3) * measure_row;
    const uint32_t by = static_cast<uint32_t>(y) / kBlock;
    for (uint32_t r = run_start[by]; r < run_start[by + 1]; ++r) {
      const RunPlan p = plan(y, runs[r]);
      MeasureRow m{};
      m.mode = p.mode;
      m.oa = la->L(p.ra) + p.xa;
      m.ob = lb->L(p.rb) + p.xb;
      m.pa = p.pa;
      m.pb = p.pb;
      m.d4 = p.d4;
      m.ku = cur->L(y - 1) + p.x0;
      m.kd = cur->L(y + 1) + p.x0;
      if (p.mode != TimeSamples::kNone && p.mode != TimeSamples::kSameFrame) {
        const BlockMotion& mv = motion_[by * bw + runs[r].first];
        for (int32_t t : {-2, 2}) {
          const LumaPlanes* kp = t < 0 ? prev : next;
          if (!kp) continue;
          const int32_t half_x = 2 * p.x0 + t / 2 * mv.vq;
          const int32_t col = FloorDiv(half_x, 2);
          for (int32_t row : {y - 1, y + 1}) {
            const int32_t half_y = 2 * row + t / 2 * mv.wq;
            const int32_t line = FloorDiv(half_y, 2);
            const uint8_t* top = kp->Field(1, line) + col;
            const uint8_t* bottom = (half_y & 1) ? kp->Field(1, line + 1) + col : top;
            m.kept[m.kept_count * 2 + (row > y)] = {top, bottom, half_x & 1};
          }
          ++m.kept_count;
        }
      }
      m.out_e = e + p.x0;
      m.out_act = act + p.x0;
      k_.measure_row(m, static_cast<uint32_t>(p.n));
      if (p.mode == TimeSamples::kNone) std::memset(e + p.x0, 255, p.n);
    }
    std::memset(e - kMeasureMargin, e[0], kMeasureMargin);
    std::memset(e + w, e[w - 1], kMeasureMargin);
    std::memset(act - kMeasureMargin, act[0], kMeasureMargin);
    std::memset(act + w, act[w - 1], kMeasureMargin);
  };

  const int32_t rows = h / 2;
  measure(0);
  for (int32_t i = 0; i < rows; ++i) {
    const int32_t y = 2 * i;
    if (i + 1 < rows) measure(i + 1);
    const int32_t around[3] = {std::max(i - 1, 0), i, std::min(i + 1, rows - 1)};
    const uint8_t* e3[3];
    const uint8_t* a3[3];
    for (int k = 0; k < 3; ++k) {
      e3[k] = e_rows + (around[k] % 3) * measure_row;
      a3[k] = act_rows + (around[k] % 3) * measure_row;
    }
    k_.weight_row(weights_.data(), e3, a3, width);
    uint8_t* out = dst_row0 + y * dst_stride;
    const uint32_t by = static_cast<uint32_t>(y) / kBlock;
    for (uint32_t run = run_start[by]; run < run_start[by + 1]; ++run) {
      const RunPlan p = plan(y, runs[run]);
      const bool moved = p.mode != TimeSamples::kNone && p.mode != TimeSamples::kSameFrame;
      // Pixels [x, x + n) of the run: from the rows themselves, or through
      // edge-extended copies where the taps reach past the frame.
      const auto rebuild = [&](int32_t x, int32_t n) {
        if (n <= 0) return;
        const int32_t dx = x - p.x0;
        RebuildRow r{};
        r.mode = p.mode;
        if (p.mode == TimeSamples::kSameFrame) {
          r.oa = r.ob = cur_row(y) + 4 * x;
        } else if (moved) {
          const WindowFrame& fa = o_before ? *o_frame_before : *o_frame_after;
          const WindowFrame& fb = o_after ? *o_frame_after : *o_frame_before;
          r.oa = span(other_row(fa, p.ra), p.xa + dx, n, 0);
          r.ob = span(other_row(fb, p.rb), p.xb + dx, n, 1);
          r.pa = p.pa;
          r.pb = p.pb;
          r.c16 = kCurvature16[p.d4 < 0 ? -p.d4 : p.d4];
        }
        r.ku = kept_row(y - 1) + 4 * x;
        r.kd = kept_row(y + 1) + 4 * x;
        r.ku3 = kept_row(y - 3) + 4 * x;
        r.kd3 = kept_row(y + 3) + 4 * x;
        r.weight = weights_.data() + x;
        r.out = out + 4 * x;
        k_.rebuild_row(r, static_cast<uint32_t>(n));
      };
      // The pixels whose taps (2 to the left, 3 to the right of each
      // source) stay inside the frame on both sides.
      int32_t lo = p.x0, hi = p.x0 + p.n;
      if (moved) {
        // Source pixel x + (xa - x0) needs columns 2 to its left and 3 to
        // its right.
        lo = std::clamp(p.x0 + 2 - std::min(p.xa, p.xb), p.x0, hi);
        hi = std::clamp(p.x0 + w - 3 - std::max(p.xa, p.xb), lo, hi);
        // Pieces of whole vector steps (runs are multiples of 16 pixels):
        // the edges in fours, the middle in eights.
        lo = std::min(p.x0 + (lo - p.x0 + 3) / 4 * 4, p.x0 + p.n);
        hi = std::max(lo, lo + (hi - lo) / 8 * 8);
      }
      rebuild(p.x0, lo - p.x0);
      rebuild(lo, hi - lo);
      rebuild(hi, p.x0 + p.n - hi);
      if (p.mode == TimeSamples::kNone) std::memset(weights_.data() + p.x0, 16, p.n);
    }
    if (decisions) std::memcpy(decisions->weights + i * decisions->stride, weights_.data(), width);
    std::memcpy(dst_row0 + (y + 1) * dst_stride, cur_row(y + 1), 4 * width);
  }
}

}  // namespace restore
