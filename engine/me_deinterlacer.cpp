// MEDeinterlacer: geometry, buffers and the method dispatch.
#include "engine/me_deinterlacer.h"

#include <cstring>
#include <new>

#include "platform/cpu.h"

MEDeinterlacer::MEDeinterlacer()
    : field_kernels_(MakeFieldKernels(platform::CpuFeatures())),
      block_kernels_(MakeBlockKernels(platform::CpuFeatures())) {}

MEDeinterlacer::~MEDeinterlacer() { Release(); }

void MEDeinterlacer::Init(uint32_t w, uint32_t h) {
  // Every byte count below derives from the luma size, which must fit 32
  // bits; a larger frame fails as an allocation would.
  if (static_cast<uint64_t>(w) * h > 0xFFFFFFFFull) throw std::bad_alloc();
  width = w;
  height = h;
  luma_size = w * h;
  field_stride = 2 * w;
  reduced_width = w / 2;
  reduced_height = h / 4;
  chroma_width = w / 2;
  chroma_height = h / 2;
  chroma_size = chroma_width * chroma_height;
  blocks_x = w / 16;
  blocks_y = h / 16;
  block_count = blocks_x * blocks_y;

  block_offsets = AllocateTable<int32_t>(block_count);
  block_positions = AllocateTable<BlockPosition>(block_count);
  uint32_t i = 0;
  for (uint32_t y = 0; y < h; y += 16) {
    for (uint32_t x = 0; x < w; x += 16, ++i) {
      block_positions[i] = {static_cast<int32_t>(x), static_cast<int32_t>(y)};
      block_offsets[i] = static_cast<int32_t>(x + w * y);
    }
  }
  reduced_block_offsets = AllocateTable<int32_t>(block_count);
  reduced_block_positions = AllocateTable<BlockPosition>(block_count);
  i = 0;
  for (uint32_t y = 0; y < reduced_height; y += 4) {
    for (uint32_t x = 0; x < reduced_width; x += 8, ++i) {
      reduced_block_positions[i] = {static_cast<int32_t>(x), static_cast<int32_t>(y)};
      reduced_block_offsets[i] = static_cast<int32_t>(x + reduced_width * y);
    }
  }
  block_vectors = AllocateTable<BlockVector>(block_count);
  interlace_map = AllocateTable<uint8_t>(luma_size);
  block_comb_hits = AllocateTable<uint8_t>(block_count);
  src_reduced = AllocateTable<uint8_t>(luma_size / 8);
  dst_reduced = AllocateTable<uint8_t>(luma_size / 8);
}

void MEDeinterlacer::Release() {
  block_offsets.reset();
  block_positions.reset();
  reduced_block_offsets.reset();
  reduced_block_positions.reset();
  block_vectors.reset();
  interlace_map.reset();
  block_comb_hits.reset();
  src_reduced.reset();
  dst_reduced.reset();
}

void MEDeinterlacer::SetPlanes(const uint8_t* src, uint8_t* dst) {
  src_y = src;
  src_v = src + luma_size;
  src_u = src + luma_size + chroma_size;
  dst_y = dst;
  dst_v = dst + luma_size;
  dst_u = dst + luma_size + chroma_size;
}

bool MEDeinterlacer::DetectAndInterpolate() {
  const bool whole_frame_interlaced =
      field_kernels_.detect_interlace(interlace_map.get(), block_comb_hits.get(), src_y, width,
                                      height,
                                      static_cast<uint32_t>(params.interlace_threshold)) != 0;
  field_kernels_.interpolate_luma(dst_y, src_y, interlace_map.get(), width, height,
                                  whole_frame_interlaced);
  field_kernels_.interpolate_chroma(dst_v, dst_u, src_v, src_u, chroma_width, chroma_height,
                                    whole_frame_interlaced);
  whole_frame_interlaced_ = whole_frame_interlaced;
  return whole_frame_interlaced;
}

void MEDeinterlacer::Restore() {
  const uint8_t* map = interlace_map.get();
  for (uint32_t i = 0; i < luma_size; ++i) {
    if (map[i] == 0) dst_y[i] = src_y[i];
  }
}

void MEDeinterlacer::Process(const uint8_t* src, uint8_t* dst,
                             const DeinterlaceParameters* new_params) {
  if (new_params) params = *new_params;
  switch (static_cast<uint32_t>(params.method)) {
    case 0:
      std::memcpy(dst, src, FrameBytes());
      break;
    case 1:
      // The planes are set first so that the doubling works on this
      // frame's destination luma.
      std::memcpy(dst, src, FrameBytes());
      SetPlanes(src, dst);
      field_kernels_.double_field(dst_y, width, height);
      break;
    case 2:
      // No frame copy first: the two interpolations write every byte of
      // all three planes (kept rows copied, rebuilt rows computed), so a
      // copy before them would be overwritten in full.
      SetPlanes(src, dst);
      field_kernels_.interpolate_luma(dst_y, src_y, interlace_map.get(), width, height, true);
      field_kernels_.interpolate_chroma(dst_v, dst_u, src_v, src_u, chroma_width, chroma_height,
                                        true);
      break;
    case 3:
      // As for method 2: DetectAndInterpolate writes the whole destination.
      SetPlanes(src, dst);
      if (!DetectAndInterpolate() && params.is_replace_only_interlaced_pixels) Restore();
      break;
    case 4:
      SetPlanes(src, dst);
      EstimateMotion();
      break;
    case 5:
      SetPlanes(src, dst);
      EstimateMotionAdvanced();
      break;
    default:
      // Unknown methods leave the destination as it was.
      break;
  }
}
