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
// cropped back. Method 0 passes frames through unchanged, as the command
// line does.
#include <algorithm>
#include <atomic>
#include <cctype>
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
#include "frei0r/frame_times.h"
#include "host/frame_path.h"
#include "host/method_names.h"
#include "host/picture_frames.h"
#include "host/restore_path.h"
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
  kShowMap,
  kMethodName,
  kParamCount
};

struct ParamInfo {
  const char* name;
  int type;
  const char* explanation;
  // Doubles: the setting is round(value x scale), brought into [lo, hi].
  double scale, lo, hi;
};

constexpr double kInt32Min = std::numeric_limits<int32_t>::min();
constexpr double kInt32Max = std::numeric_limits<int32_t>::max();
constexpr double kUint32Max = std::numeric_limits<uint32_t>::max();

// Doubles keep to frei0r's range [0, 1] (GStreamer and the editors'
// generic controls enforce it), each scaled to its setting so that the
// defaults and the usual values are short decimals. Values beyond 1, which
// ffmpeg and MLT pass through, reach on up to the setting's own limit.
constexpr ParamInfo kParams[kParamCount] = {
    {"method", F0R_PARAM_DOUBLE,
     "Deinterlacing method x 0.2: 0 none, 0.2 only even rows, 0.4 simple interpolation, 0.6 area "
     "based interpolation, 0.8 area based motion estimation (default), 1 advanced method, 1.2 "
     "restore (rebuilt from the frame before where the host hands frames in order); a method "
     "beyond these leaves the frame unchanged",
     5, kInt32Min, kInt32Max},
    {"area", F0R_PARAM_DOUBLE, "Search area of the motion search in pixels / 100 (default 0.16)",
     100, 0, 32767},
    {"interlace_threshold", F0R_PARAM_DOUBLE,
     "Interlace detection threshold / 1000 (default 0.048)", 1000, 0, 65535},
    {"block_distance_threshold", F0R_PARAM_DOUBLE,
     "Block distance threshold / 10000000: a block is replaced only when its best match lies "
     "below it (default 0.0008192)",
     1e7, 0, kUint32Max},
    {"replace_threshold", F0R_PARAM_DOUBLE,
     "Replacement threshold of the advanced method / 256: a rebuilt sample takes the matched one "
     "where they differ by less (default 0; 1 or a negative value: every sample)",
     256, kInt32Min, kInt32Max},
    {"is_replace_only_interlaced_pixels", F0R_PARAM_BOOL,
     "Replace only interlaced pixels (default off)", 0, 0, 0},
    {"is_search_within_interpolated", F0R_PARAM_BOOL,
     "Motion search on interpolated images, advanced method (default off)", 0, 0, 0},
    {"field", F0R_PARAM_STRING, "Field to keep: bottom (default) or top", 0, 0, 0},
    {"rect_file", F0R_PARAM_STRING,
     "Rect file whose region is processed (default empty or 0: the whole frame)", 0, 0, 0},
    {"show_map", F0R_PARAM_BOOL,
     "Comb map over the output: combed pixels red, blocks replaced by motion search green, "
     "blocks outside the region blue (default off); with restore, rebuilt pixels from the "
     "frames around green, from the kept field red",
     0, 0, 0},
    {"method_name", F0R_PARAM_STRING,
     "The method by name, in place of method where set: none, even-rows, interpolation, area, "
     "motion, advanced or restore (for hosts that keep numbers within 0 to 1, as GStreamer "
     "does; default empty: method decides)",
     0, 0, 0},
};

// The numeric settings by parameter index.
int64_t GetSetting(const DeinterlaceParameters& p, int index) {
  switch (index) {
    case kMethod:
      return p.method;
    case kArea:
      return p.area;
    case kInterlaceThreshold:
      return p.interlace_threshold;
    case kBlockDistanceThreshold:
      return p.block_distance_threshold;
    case kReplaceThreshold:
      return p.replace_threshold;
    case kReplaceOnlyInterlaced:
      return p.is_replace_only_interlaced_pixels;
    default:
      return p.is_search_within_interpolated;
  }
}

void PutSetting(DeinterlaceParameters& p, int index, int64_t v) {
  switch (index) {
    case kMethod:
      p.method = static_cast<int32_t>(v);
      break;
    case kArea:
      p.area = static_cast<int32_t>(v);
      break;
    case kInterlaceThreshold:
      p.interlace_threshold = static_cast<int32_t>(v);
      break;
    case kBlockDistanceThreshold:
      p.block_distance_threshold = static_cast<uint32_t>(v);
      break;
    case kReplaceThreshold:
      p.replace_threshold = static_cast<int32_t>(v);
      break;
    case kReplaceOnlyInterlaced:
      p.is_replace_only_interlaced_pixels = static_cast<uint8_t>(v);
      break;
    default:
      p.is_search_within_interpolated = static_cast<uint8_t>(v);
      break;
  }
}

class Instance {
 public:
  Instance(unsigned width, unsigned height) : width_(width), height_(height) {}

  void Set(int index, const void* param) {
    if (!param || index < 0 || index >= kParamCount) return;
    if (index == kField) return SetField(*static_cast<char* const*>(param));
    if (index == kRectFile) return SetRectFile(*static_cast<char* const*>(param));
    if (index == kMethodName) return SetMethodName(*static_cast<char* const*>(param));
    const double d = *static_cast<const double*>(param);
    if (index == kShowMap) {
      show_map_ = d >= 0.5;
      return;
    }
    const ParamInfo& p = kParams[index];
    if (p.type == F0R_PARAM_BOOL) {
      PutSetting(settings_, index, d >= 0.5 ? 1 : 0);  // [0.5, 1] is true; NaN false
    } else if (std::isnan(d)) {
      PutSetting(settings_, index, GetSetting(DeinterlaceParameters{}, index));
    } else {
      PutSetting(settings_, index,
                 static_cast<int64_t>(std::clamp(std::nearbyint(d * p.scale), p.lo, p.hi)));
    }
  }

  void Get(int index, void* param) const {
    if (!param || index < 0 || index >= kParamCount) return;
    if (index == kField) {
      *static_cast<const char**>(param) = keep_ == KeptField::kTop ? "top" : "bottom";
    } else if (index == kRectFile) {
      *static_cast<const char**>(param) = rect_file_.c_str();
    } else if (index == kMethodName) {
      *static_cast<const char**>(param) = method_name_.c_str();
    } else if (index == kShowMap) {
      *static_cast<double*>(param) = show_map_ ? 1 : 0;
    } else {
      const double scale = kParams[index].type == F0R_PARAM_BOOL ? 1 : kParams[index].scale;
      *static_cast<double*>(param) = static_cast<double>(GetSetting(settings_, index)) / scale;
    }
  }

  void Update(double time, const uint32_t* in, uint32_t* out) {
    if (!in || !out) return;
    // A method named overrides the number.
    DeinterlaceParameters settings = settings_;
    if (named_method_ >= 0) settings.method = named_method_;
    const auto* src = reinterpret_cast<const uint8_t*>(in);
    auto* dst = reinterpret_cast<uint8_t*>(out);
    const ptrdiff_t stride = ptrdiff_t{4} * width_;
    if (settings.method != kRestoreMethod) ForgetFrames();
    if (settings.method == 0) {
      // "None": the frame as it came, not through the colour conversions.
      if (src != dst) std::memmove(dst, src, static_cast<size_t>(stride) * height_);
      return;
    }
    try {
      if (settings.method == kRestoreMethod) {
        Restore(time, src, dst, stride);
      } else {
        Render(settings, src, dst, stride);
      }
    } catch (...) {
      ForgetFrames();
      // Out of memory (or anything else): the frame passes unchanged.
      if (src != dst) std::memmove(dst, src, static_cast<size_t>(stride) * height_);
    }
  }

 private:
  // "top" or "bottom" in any case, with spaces around it or not; anything
  // else keeps the bottom field and says so once (hosts set every
  // parameter before every frame).
  void SetField(const char* text) {
    if (!text) text = "bottom";  // no value: the default
    if (field_text_ == text) return;
    field_text_ = text;
    const size_t first = field_text_.find_first_not_of(" \t\r\n");
    const size_t last = field_text_.find_last_not_of(" \t\r\n");
    std::string word =
        first == std::string::npos ? "" : field_text_.substr(first, last - first + 1);
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const KeptField was = keep_;
    keep_ = word == "top" ? KeptField::kTop : KeptField::kBottom;
    // Kept frames hold the rows in the order of the field they kept.
    if (keep_ != was) ForgetFrames();
    if (word == "top" || word == "bottom") return;
    std::fprintf(stderr,
                 "fieldrestore: field \"%s\" is neither top nor bottom; the bottom field is "
                 "kept\n",
                 text);
  }

  // A method by name; empty gives the choice back to `method`, anything
  // else that names none is said once.
  void SetMethodName(const char* text) {
    const std::string name = text ? text : "";
    if (name == method_name_) return;
    method_name_ = name;
    int32_t method = -1;
    if (!name.empty() && !MethodByName(name, &method)) {
      std::fprintf(stderr, "fieldrestore: method_name \"%s\" names no method; method decides\n",
                   text);
    }
    named_method_ = method;
  }

  // Reads the rect file when the path changes (hosts set every parameter
  // before every frame). "0" is no file either: Kdenlive's generated panel,
  // which has no control for strings, stores that for this parameter.
  void SetRectFile(const char* text) {
    const std::string path = text ? text : "";
    if (path == rect_file_) return;
    rect_file_ = path;
    region_.reset();
    if (path.empty() || path == "0") return;
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

  // The host's picture seen as the frame path's host frame, bottom row
  // first for "bottom"; only for sizes that are multiples of 16.
  HostFrameView HostView(uint8_t* picture, ptrdiff_t stride) const {
    const bool flip = keep_ == KeptField::kBottom;
    return HostFrameView{picture + (flip ? stride * (height_ - 1) : 0), flip ? -stride : stride,
                         width_, height_};
  }

  // Runs render(frames) from the host frame `src` into the host's picture:
  // straight into it when its size is a multiple of 16, else into a frame
  // extended to one and cropped back.
  template <class Render>
  void IntoPicture(const HostFrameView& src, uint8_t* dst, ptrdiff_t stride, Render render) {
    HostFrameView out = HostView(dst, stride);
    const bool padded = src.width != width_ || src.height != height_;
    if (padded) {
      padded_dst_.resize(size_t{4} * src.width * src.height);
      out = HostFrameView{padded_dst_.data(), ptrdiff_t{4} * src.width, src.width, src.height};
    }
    render(HostFrames{src.pixels, static_cast<int32_t>(src.row_bytes), out.pixels,
                      static_cast<int32_t>(out.row_bytes), src.width, src.height});
    if (padded) HostFrameToPicture(out, keep_, PictureView{dst, stride, width_, height_});
  }

  void Render(const DeinterlaceParameters& settings, const uint8_t* src, uint8_t* dst,
              ptrdiff_t stride) {
    const FrameRegion region{region_.get(), nullptr};
    const uint32_t fw = PaddedSize(width_), fh = PaddedSize(height_);
    HostFrameView in = HostView(const_cast<uint8_t*>(src), stride);
    if (fw != width_ || fh != height_) {
      padded_src_.resize(size_t{4} * fw * fh);
      in = HostFrameView{padded_src_.data(), ptrdiff_t{4} * fw, fw, fh};
      PictureToHostFrame(PictureView{const_cast<uint8_t*>(src), stride, width_, height_}, keep_,
                         in);
    }
    IntoPicture(in, dst, stride, [&](const HostFrames& frames) {
      RenderFrame(frames, settings, region, nullptr, workspace_, show_map_);
    });
  }

  // The restoring method: the frame before is used only when the host's
  // times say it directly precedes this one (frei0r/frame_times.h); the
  // frames are kept as the frame path's host frames. Frame numbers, which
  // name frames for the restorer's kept luma, are never given twice.
  struct KeptFrame {
    std::vector<uint8_t> frame;
    double time = 0;
    uint64_t number = 0;
    bool valid = false;
  };

  void ForgetFrames() { kept_[0].valid = kept_[1].valid = false; }

  void Restore(double time, const uint8_t* src, uint8_t* dst, ptrdiff_t stride) {
    const uint32_t fw = PaddedSize(width_), fh = PaddedSize(height_);
    const size_t frame_bytes = size_t{4} * fw * fh;
    const ptrdiff_t row_bytes = ptrdiff_t{4} * fw;
    // The incoming frame goes into the third buffer, the one no kept
    // frame holds.
    incoming_.resize(frame_bytes);
    PictureToHostFrame(PictureView{const_cast<uint8_t*>(src), stride, width_, height_}, keep_,
                       HostFrameView{incoming_.data(), row_bytes, fw, fh});
    // The same time again (a host drawing a frame anew): the frame before
    // it, if that directly preceded it; a later time: the last frame, if
    // it directly precedes this one.
    const KeptFrame* previous = nullptr;
    const bool again = kept_[0].valid && time == kept_[0].time;
    if (again) {
      if (kept_[1].valid && FollowsDirectly(kept_[1].time, time, &shortest_step_)) {
        previous = &kept_[1];
      }
    } else if (kept_[0].valid && FollowsDirectly(kept_[0].time, time, &shortest_step_)) {
      previous = &kept_[0];
    }
    // A previous frame the restorer may still know by its number keeps it;
    // otherwise both take numbers never used.
    FrameNeighbours neighbours;
    if (previous == &kept_[0]) {
      neighbours.index = previous->number + 1;
    } else {
      neighbours.index = last_number_ + 2;
    }
    last_number_ = neighbours.index;
    if (previous) neighbours.previous = previous->frame.data();
    const FrameRegion region{region_.get(), nullptr};
    IntoPicture(HostFrameView{incoming_.data(), row_bytes, fw, fh}, dst, stride,
                [&](const HostFrames& frames) {
                  RenderRestoredFrame(frames, neighbours, region, nullptr, restore_workspace_,
                                      show_map_);
                });
    // Keep the frame: the newest first.
    if (!again) std::swap(kept_[0], kept_[1]);
    std::swap(kept_[0].frame, incoming_);
    kept_[0].time = time;
    kept_[0].number = neighbours.index;
    kept_[0].valid = true;
  }

  const uint32_t width_, height_;
  std::string method_name_;
  int32_t named_method_ = -1;  // the method method_name names, or -1
  KeptFrame kept_[2];
  std::vector<uint8_t> incoming_;
  uint64_t last_number_ = 0;
  double shortest_step_ = HUGE_VAL;
  RestoreWorkspace restore_workspace_;
  DeinterlaceParameters settings_;
  KeptField keep_ = KeptField::kBottom;
  std::string field_text_ = "bottom";  // the value last set
  bool show_map_ = false;
  std::string rect_file_;
  std::unique_ptr<CRectList> region_;
  FrameWorkspace workspace_;
  std::vector<uint8_t> padded_src_, padded_dst_;
};

// ffmpeg (5.1) hands frei0r filters frames whose rows are padded to its
// memory alignment, up to 64 bytes, and frei0r has no row pitch: frames
// whose width is not a multiple of 16 come out sheared there. The plug-in
// cannot see it happen, so it says once how to avoid it.
void WarnOfPaddedRows(unsigned width) {
  static std::atomic_flag warned = ATOMIC_FLAG_INIT;
  if (width % 16 == 0 || warned.test_and_set()) return;
  const unsigned padded = PaddedSize(width);
  std::fprintf(stderr,
               "fieldrestore: warning: frames %u pixels wide: ffmpeg pads the rows it hands a "
               "frei0r filter to a multiple of 16 pixels, which shears such frames; in ffmpeg "
               "widen them with their last column and crop back: -vf "
               "\"pad=%u:ih,fillborders=right=%u:mode=smear,frei0r=fieldrestore,crop=%u:ih:0:0\"\n",
               width, padded, padded - width, width);
}

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
  WarnOfPaddedRows(width);
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

FIELDRESTORE_EXPORT void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe,
                                    uint32_t* outframe) {
  if (instance) static_cast<Instance*>(instance)->Update(time, inframe, outframe);
}

FIELDRESTORE_EXPORT void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1,
                                     const uint32_t*, const uint32_t*, uint32_t* outframe) {
  f0r_update(instance, time, inframe1, outframe);
}
