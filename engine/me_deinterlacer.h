// MEDeinterlacer: the frame processor. It derives the geometry from the
// frame size once, owns the working tables and buffers of the kernels, and
// runs one of the six methods on a frame in the engine's YV12 layout (Y
// plane, then V, then U; odd rows are the kept field, even rows rebuilt).
#pragma once

#include <cstdint>
#include <memory>
#include <new>

#include "engine/block_kernels.h"
#include "engine/deinterlace_parameters.h"
#include "engine/field_kernels.h"
#include "engine/video_processing.h"
#include "platform/scratch_memory.h"

// Per-block match record of the block searches.
struct BlockVector {
  uint32_t distance;
  int32_t dx;
  int32_t dy;
};

struct BlockPosition {
  int32_t x;
  int32_t y;
};

class MEDeinterlacer : public VideoProcessing<DeinterlaceParameters> {
 public:
  MEDeinterlacer();
  void Init(uint32_t width, uint32_t height) override;
  void Release() override;
  void Process(const uint8_t* src, uint8_t* dst, const DeinterlaceParameters* params) override;
  ~MEDeinterlacer() override;

  // Steps shared by the methods.
  void SetPlanes(const uint8_t* src, uint8_t* dst);
  // Detection, then interpolation of all three planes; true when the frame
  // is interlaced throughout.
  bool DetectAndInterpolate();
  // Puts the source luma back wherever the interlace map is clear.
  void Restore();

  // Method 4: detection and interpolation, then block matching against the
  // source's rebuilt-field rows for every block with many comb hits.
  void EstimateMotion();
  void SearchBlock(uint32_t n, int32_t area);
  void CoarseSearch(uint32_t n, int32_t range_x, int32_t range_y);
  void FineSearch(uint32_t n, int32_t range_x, int32_t range_y);
  // Method 5: a full-resolution search for every block, then per-sample
  // correction of the combed blocks that matched closely.
  void EstimateMotionAdvanced();
  void ReplaceBlockPixels(uint8_t* block, const uint8_t* patch, uint32_t limit);

  // Read-only views for tests and tools.
  const uint8_t* InterlaceMap() const { return interlace_map.get(); }
  const uint8_t* BlockCombHits() const { return block_comb_hits.get(); }
  const BlockVector* BlockVectors() const { return block_vectors.get(); }
  uint32_t BlockCount() const { return block_count; }
  // The last detection's verdict (methods 3 to 5): interpolated throughout,
  // no block searched.
  bool WholeFrameInterlaced() const { return whole_frame_interlaced_; }

  const uint8_t* src_y = nullptr;
  const uint8_t* src_v = nullptr;
  const uint8_t* src_u = nullptr;
  platform::ScratchArray<uint8_t> src_reduced;
  uint8_t* dst_y = nullptr;
  uint8_t* dst_v = nullptr;
  uint8_t* dst_u = nullptr;
  platform::ScratchArray<uint8_t> dst_reduced;
  uint32_t blocks_x = 0;
  uint32_t blocks_y = 0;
  uint32_t block_count = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t luma_size = 0;
  uint32_t field_stride = 0;
  uint32_t reduced_width = 0;
  uint32_t reduced_height = 0;
  uint32_t chroma_width = 0;
  uint32_t chroma_height = 0;
  uint32_t chroma_size = 0;
  platform::ScratchArray<int32_t> block_offsets;
  platform::ScratchArray<int32_t> reduced_block_offsets;
  platform::ScratchArray<BlockPosition> block_positions;
  platform::ScratchArray<BlockPosition> reduced_block_positions;
  platform::ScratchArray<BlockVector> block_vectors;
  platform::ScratchArray<uint8_t> interlace_map;
  platform::ScratchArray<uint8_t> block_comb_hits;

 private:
  bool whole_frame_interlaced_ = false;
  uint32_t FrameBytes() const { return luma_size + 2 * chroma_size; }
  // The kernel tables, filled once for the processor's features when the
  // object is built; every step and every block calls through them.
  FieldKernels field_kernels_;
  BlockKernels block_kernels_;
  void ClearBlockVectors();
};

// Allocates n elements whose byte count must fit 32 bits; a larger request
// fails with std::bad_alloc instead of yielding a short buffer.
template <class T>
platform::ScratchArray<T> AllocateTable(uint64_t n) {
  if (n > 0xFFFFFFFFull / sizeof(T)) throw std::bad_alloc();
  return platform::MakeScratchArray<T>(static_cast<size_t>(n));
}
