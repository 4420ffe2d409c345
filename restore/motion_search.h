// The motion search of the restoring method: one vector per 16x16 block of
// the frame, the motion of the picture from one field to the next, found
// by matching fields of the same parity two or four fields apart.
//
// Times count fields from the kept field of the current frame (time 0):
// the other fields lie at odd times, the kept fields of the neighbouring
// frames at -2 and +2. A pair of fields t1 < t2 of one parity matches when
// the picture of t1 moved by (t2 - t1) / 2 x D equals the picture of t2,
// D being the displacement over two fields. The search
//  1. votes among the blocks of every fourth row of 64 x 16 pixel blocks,
//     each searched in full on planes reduced 4 x 4 (a range of +-32 pixels
//     and +-16 lines for D), for the one or two displacements most of the
//     picture shares;
//  2. runs one raster pass of candidate search over the blocks: the
//     global displacements, zero and the block's left and upper
//     neighbours, then single steps around the best of them, which cost
//     their distance from the nearest of those predictors;
//  3. smooths the displacements with a 3x3 median of each component;
//  4. places the horizontal component between whole pixels with a parabola
//     through the costs one pixel either side (the vertical one stays on
//     whole lines: a field's rows alias, and its costs between them do).
// The cost of a displacement is the sum of absolute differences over the
// block's rows of each pair: the other fields' pair on the rebuilt rows,
// the kept fields' pair on the kept rows. Rows of a field sampled between
// its rows are the average of the rows above and below.
#pragma once

#include <cstdint>
#include <vector>

#include "restore/luma_planes.h"
#include "restore/restore_kernels.h"

namespace restore {

// The motion of one block over one field: quarter pixels to the right and
// quarter lines down.
struct BlockMotion {
  int16_t vq = 0;
  int16_t wq = 0;
};

// Two fields of one parity at times t1 < t2 (planes of the frames that
// hold them); `parity` is the rows of the frame the fields hold.
struct FieldPair {
  const LumaPlanes* first = nullptr;
  const LumaPlanes* second = nullptr;
  int32_t t1 = 0, t2 = 0;
  int32_t parity = 0;
};

// The pairs the search matches: up to one of the other fields and one of
// the kept fields (a null `first` leaves a pair out).
struct SearchPairs {
  FieldPair other;
  FieldPair kept;
};

// The largest displacement over two fields the search considers.
inline constexpr int32_t kMaxDx = 64;
inline constexpr int32_t kMaxDy = 32;

class MotionSearch {
 public:
  // Step 1 on `pair` (the kept fields' pair: which other fields the rest
  // matches may depend on what this finds).
  void Vote(const RestoreKernels& k, const FieldPair& pair, uint32_t width, uint32_t height);
  // Which side of the kept field the current frame's other field lies,
  // judged along the motion of the kept fields' pair on the blocks of the
  // vote: the kept rows are matched against that other field moved one
  // field forward and one field back. 1: after, -1: before, 0: the two
  // match alike (a still picture, or too little to tell).
  int32_t OtherFieldSide(const RestoreKernels& k, const FieldPair& kept, const LumaPlanes& current);
  // Steps 2 to 4: vectors of every 16x16 block of a W x H frame (multiples
  // of 16), row by row, into `motion` (resized), with the displacements of
  // the last vote.
  void Run(const RestoreKernels& k, const SearchPairs& pairs, uint32_t width, uint32_t height,
           std::vector<BlockMotion>* motion);

 private:
  struct Displacement {
    int32_t dx = 0, dy = 0;
  };
  uint32_t Cost(const RestoreKernels& k, const SearchPairs& pairs, uint32_t bx, uint32_t by,
                Displacement d) const;

  // The displacements one block's search costed (at most the predictors
  // and the steps), with their costs.
  struct Tried {
    static constexpr int kMax = 12;
    Displacement d[kMax];
    uint32_t cost[kMax];
    int n = 0;
    const uint32_t* Find(Displacement at) const {
      for (int i = 0; i < n; ++i) {
        if (d[i].dx == at.dx && d[i].dy == at.dy) return &cost[i];
      }
      return nullptr;
    }
    void Add(Displacement at, uint32_t c) {
      if (n < kMax) d[n] = at, cost[n++] = c;
    }
  };

  std::vector<Displacement> global_;
  std::vector<Tried> tried_;
  std::vector<Displacement> block_;
  std::vector<uint8_t> coarse_[2];
};

}  // namespace restore
