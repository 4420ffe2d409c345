// fieldrestore.so: the frame path as a frei0r filter for Linux hosts
// (ffmpeg's frei0r filter, MLT's melt and the editors built on it).
//
// Every setting is a frei0r parameter whose default is the plug-in's
// default; nothing is read from the per-user store or the log switch, so a
// host's project renders the same on every machine. Each instance owns its
// settings, region and workspace, so a host may run instances on several
// threads at once (one thread per instance at a time, as frei0r allows).
//
// Frames are BGRA8888, top row first. "bottom" (the default) keeps picture
// rows 1, 3, 5, ... exactly as `fieldrestore render` does; "top" keeps the
// other field. Frames of any size are extended to multiples of 16 and
// cropped back.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

// The header declares the entry points without C linkage of its own.
extern "C" {
#include <frei0r.h>
}

#include "engine/deinterlace_parameters.h"
#include "host/frame_path.h"
#include "host/picture_frames.h"
#include "region/rect_list.h"

#define FIELDRESTORE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

enum Param : int {
  kMethod,
  kArea,
  kInterlaceThreshold,
  kBlockDistanceThreshold,
  kReplaceThreshold,
  kReplaceOnlyInterlaced,
  kSearchWithinInterpolated,
  kField,
  kRectFile,
  kParamCount
};

struct ParamInfo {
  const char* name;
  int type;
  const char* explanation;
};

// Doubles carry the settings' own numbers (the hosts pass them through as
// typed); each is rounded and brought into its setting's range.
constexpr ParamInfo kParams[kParamCount] = {
    {"method", F0R_PARAM_DOUBLE,
     "Deinterlacing method: 0 none, 1 only even rows, 2 simple interpolation, 3 area based "
     "interpolation, 4 area based motion estimation (default), 5 advanced method; any other "
     "number leaves the frame unchanged"},
    {"area", F0R_PARAM_DOUBLE, "Search area in pixels of the motion search (default 16)"},
    {"interlace_threshold", F0R_PARAM_DOUBLE, "Interlace detection threshold (default 48)"},
    {"block_distance_threshold", F0R_PARAM_DOUBLE,
     "Block distance threshold: a block is replaced only when its best match lies below it "
     "(default 8192)"},
    {"replace_threshold", F0R_PARAM_DOUBLE,
     "Replacement threshold of the advanced method: per-sample difference below which a sample "
     "is replaced; negative replaces every sample (default 0)"},
    {"is_replace_only_interlaced_pixels", F0R_PARAM_BOOL,
     "Replace only interlaced pixels (default off)"},
    {"is_search_within_interpolated", F0R_PARAM_BOOL,
     "Motion search on interpolated images, advanced method (default off)"},
    {"field", F0R_PARAM_STRING, "Field to keep: bottom (default) or top"},
    {"rect_file", F0R_PARAM_STRING,
     "Rect file whose region is processed (default empty: the whole frame)"},
};

double Clamp(double v, double lo, double hi, double fallback) {
  if (std::isnan(v)) return fallback;
  return std::clamp(std::nearbyint(v), lo, hi);
}

constexpr double kInt32Min = std::numeric_limits<int32_t>::min();
constexpr double kInt32Max = std::numeric_limits<int32_t>::max();
constexpr double kUint32Max = std::numeric_limits<uint32_t>::max();

class Instance {
 public:
  Instance(unsigned width, unsigned height) : width_(width), height_(height) {}

  void Set(int index, const void* param) {
    if (!param) return;
    const double d = *static_cast<const double*>(param);
    const DeinterlaceParameters defaults;
    switch (index) {
      case kMethod:
        // Outside 0-5 the frame passes unchanged, as in the Windows plug-in.
        settings_.method = static_cast<int32_t>(Clamp(d, kInt32Min, kInt32Max, defaults.method));
        break;
      case kArea:
        settings_.area = static_cast<int32_t>(Clamp(d, 0, kInt32Max, defaults.area));
        break;
      case kInterlaceThreshold:
        settings_.interlace_threshold =
            static_cast<int32_t>(Clamp(d, 0, kInt32Max, defaults.interlace_threshold));
        break;
      case kBlockDistanceThreshold:
        // Compared unsigned: the whole 32-bit range is meaningful.
        settings_.block_distance_threshold =
            static_cast<uint32_t>(Clamp(d, 0, kUint32Max, defaults.block_distance_threshold));
        break;
      case kReplaceThreshold:
        settings_.replace_threshold =
            static_cast<int32_t>(Clamp(d, kInt32Min, kInt32Max, defaults.replace_threshold));
        break;
      case kReplaceOnlyInterlaced:
        settings_.is_replace_only_interlaced_pixels = d >= 0.5 ? 1 : 0;
        break;
      case kSearchWithinInterpolated:
        settings_.is_search_within_interpolated = d >= 0.5 ? 1 : 0;
        break;
      case kField:
        SetField(*static_cast<char* const*>(param));
        break;
      case kRectFile:
        SetRectFile(*static_cast<char* const*>(param));
        break;
      default:
        break;
    }
  }

  void Get(int index, void* param) const {
    if (!param) return;
    double* d = static_cast<double*>(param);
    switch (index) {
      case kMethod:
        *d = settings_.method;
        break;
      case kArea:
        *d = settings_.area;
        break;
      case kInterlaceThreshold:
        *d = settings_.interlace_threshold;
        break;
      case kBlockDistanceThreshold:
        *d = settings_.block_distance_threshold;
        break;
      case kReplaceThreshold:
        *d = settings_.replace_threshold;
        break;
      case kReplaceOnlyInterlaced:
        *d = settings_.is_replace_only_interlaced_pixels;
        break;
      case kSearchWithinInterpolated:
        *d = settings_.is_search_within_interpolated;
        break;
      case kField:
        *static_cast<const char**>(param) = keep_ == KeptField::kTop ? "top" : "bottom";
        break;
      case kRectFile:
        *static_cast<const char**>(param) = rect_file_.c_str();
        break;
      default:
        break;
    }
  }

  void Update(const uint32_t* in, uint32_t* out) {
    if (!in || !out) return;
    const auto* src = reinterpret_cast<const uint8_t*>(in);
    auto* dst = reinterpret_cast<uint8_t*>(out);
    const ptrdiff_t stride = ptrdiff_t{4} * width_;
    try {
      Render(src, dst, stride);
    } catch (...) {
      // Out of memory (or anything else): the frame passes unchanged.
      if (src != dst) std::memmove(dst, src, static_cast<size_t>(stride) * height_);
    }
  }

 private:
  void SetField(const char* text) {
    keep_ = text && std::strcmp(text, "top") == 0 ? KeptField::kTop : KeptField::kBottom;
  }

  // Reads the rect file when the path changes (hosts set every parameter
  // before every frame).
  void SetRectFile(const char* text) {
    const std::string path = text ? text : "";
    if (path == rect_file_) return;
    rect_file_ = path;
    region_.reset();
    if (path.empty()) return;
    // Not the store: a list with no key loads and stores nothing.
    std::unique_ptr<CRectList> list(new CRectList(""));
    if (!list || list->LoadFromFile(path.c_str()) != 0) {
      std::fprintf(stderr,
                   "fieldrestore: cannot read the rect file %s; the whole frame is processed\n",
                   path.c_str());
      return;
    }
    region_ = std::move(list);
  }

  void Render(const uint8_t* src, uint8_t* dst, ptrdiff_t stride) {
    const FrameRegion region{region_.get(), nullptr};
    const uint32_t fw = PaddedSize(width_), fh = PaddedSize(height_);
    if (fw == width_ && fh == height_) {
      // The host's own frames, bottom row first for "bottom".
      const bool flip = keep_ == KeptField::kBottom;
      const ptrdiff_t last = stride * (height_ - 1);
      const HostFrames frames{src + (flip ? last : 0),
                              static_cast<int32_t>(flip ? -stride : stride),
                              dst + (flip ? last : 0),
                              static_cast<int32_t>(flip ? -stride : stride),
                              width_,
                              height_};
      RenderFrame(frames, settings_, region, nullptr, workspace_);
      return;
    }
    const size_t frame_bytes = size_t{4} * fw * fh;
    if (padded_src_.size() != frame_bytes) {
      padded_src_.assign(frame_bytes, 0);
      padded_dst_.assign(frame_bytes, 0);
    }
    const ptrdiff_t row_bytes = ptrdiff_t{4} * fw;
    const HostFrameView in_frame{padded_src_.data(), row_bytes, fw, fh};
    const HostFrameView out_frame{padded_dst_.data(), row_bytes, fw, fh};
    PictureToHostFrame(PictureView{const_cast<uint8_t*>(src), stride, width_, height_}, keep_,
                       in_frame);
    const HostFrames frames{padded_src_.data(),
                            static_cast<int32_t>(row_bytes),
                            padded_dst_.data(),
                            static_cast<int32_t>(row_bytes),
                            fw,
                            fh};
    RenderFrame(frames, settings_, region, nullptr, workspace_);
    HostFrameToPicture(out_frame, keep_, PictureView{dst, stride, width_, height_});
  }

  const uint32_t width_, height_;
  DeinterlaceParameters settings_;
  KeptField keep_ = KeptField::kBottom;
  std::string rect_file_;
  std::unique_ptr<CRectList> region_;
  FrameWorkspace workspace_;
  std::vector<uint8_t> padded_src_, padded_dst_;
};

}  // namespace

FIELDRESTORE_EXPORT int f0r_init() { return 1; }

FIELDRESTORE_EXPORT void f0r_deinit() {}

FIELDRESTORE_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  if (!info) return;
  info->name = "fieldrestore";
  info->author = "fieldrestore developers";
  info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
  info->color_model = F0R_COLOR_MODEL_BGRA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = 0;
  info->minor_version = 1;
  info->num_params = kParamCount;
  info->explanation =
      "Deinterlacer: rebuilds one field of each frame by interpolation and motion search where "
      "the picture combs";
}

FIELDRESTORE_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int index) {
  if (!info || index < 0 || index >= kParamCount) return;
  info->name = kParams[index].name;
  info->type = kParams[index].type;
  info->explanation = kParams[index].explanation;
}

FIELDRESTORE_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  if (width == 0 || height == 0 || width > 32767 || height > 32767) return nullptr;
  try {
    return new Instance(width, height);
  } catch (...) {
    return nullptr;
  }
}

FIELDRESTORE_EXPORT void f0r_destruct(f0r_instance_t instance) {
  delete static_cast<Instance*>(instance);
}

FIELDRESTORE_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param,
                                             int index) {
  if (!instance) return;
  try {
    static_cast<Instance*>(instance)->Set(index, param);
  } catch (...) {
  }
}

FIELDRESTORE_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param,
                                             int index) {
  if (instance) static_cast<const Instance*>(instance)->Get(index, param);
}

FIELDRESTORE_EXPORT void f0r_update(f0r_instance_t instance, double, const uint32_t* inframe,
                                    uint32_t* outframe) {
  if (instance) static_cast<Instance*>(instance)->Update(inframe, outframe);
}

FIELDRESTORE_EXPORT void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1,
                                     const uint32_t*, const uint32_t*, uint32_t* outframe) {
  f0r_update(instance, time, inframe1, outframe);
}
