// fieldrestore.so loaded as a frei0r host loads it (dlopen, the f0r_
// entry points), held against the frame path it wraps.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "host/frame_path.h"
#include "region/rect_list.h"
#include "tests/host/bgra_frames.h"

namespace {

// The plug-in's entry points, looked up by name.
struct Plugin {
  void* handle = dlopen(FIELDRESTORE_FREI0R, RTLD_NOW | RTLD_LOCAL);
  template <class F>
  F* Get(const char* name) {
    return reinterpret_cast<F*>(dlsym(handle, name));
  }
  ~Plugin() {
    if (handle) dlclose(handle);
  }
};

class Frei0rTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(plugin_.handle, nullptr) << dlerror();
    construct_ = plugin_.Get<decltype(f0r_construct)>("f0r_construct");
    destruct_ = plugin_.Get<decltype(f0r_destruct)>("f0r_destruct");
    set_ = plugin_.Get<decltype(f0r_set_param_value)>("f0r_set_param_value");
    get_ = plugin_.Get<decltype(f0r_get_param_value)>("f0r_get_param_value");
    update_ = plugin_.Get<decltype(f0r_update)>("f0r_update");
    ASSERT_TRUE(construct_ && destruct_ && set_ && get_ && update_);
  }

  // One frame through a new instance with the given parameters.
  struct Setting {
    int index;
    double value;
    const char* text;
  };
  std::vector<uint8_t> Update(const std::vector<uint8_t>& in, uint32_t w, uint32_t h,
                              std::vector<Setting> settings = {}) {
    f0r_instance_t instance = construct_(w, h);
    EXPECT_NE(instance, nullptr);
    for (const Setting& s : settings) {
      if (s.text) {
        const char* text = s.text;
        set_(instance, &text, s.index);
      } else {
        double v = s.value;
        set_(instance, &v, s.index);
      }
    }
    std::vector<uint8_t> out(in.size(), 0x33);
    update_(instance, 0.0, reinterpret_cast<const uint32_t*>(in.data()),
            reinterpret_cast<uint32_t*>(out.data()));
    destruct_(instance);
    return out;
  }

  double GetDouble(f0r_instance_t instance, int index) {
    double v = -1;
    get_(instance, &v, index);
    return v;
  }

  Plugin plugin_;
  decltype(f0r_construct)* construct_;
  decltype(f0r_destruct)* destruct_;
  decltype(f0r_set_param_value)* set_;
  decltype(f0r_get_param_value)* get_;
  decltype(f0r_update)* update_;
};

// The frame path on a picture handed over bottom row first, as the command
// line hands frames over.
std::vector<uint8_t> RenderPicture(const std::vector<uint8_t>& picture, uint32_t w, uint32_t h,
                                   const DeinterlaceParameters& settings,
                                   const CRectList* list = nullptr) {
  auto src = test::FlipRows(picture, w);
  std::vector<uint8_t> dst(src.size());
  FrameWorkspace workspace;
  RenderFrame(HostFrames{src.data(), static_cast<int32_t>(4 * w), dst.data(),
                         static_cast<int32_t>(4 * w), w, h},
              settings, FrameRegion{list, nullptr}, nullptr, workspace);
  return test::FlipRows(dst, w);
}

enum {
  kMethod,
  kArea,
  kInterlace,
  kBlockDistance,
  kReplace,
  kOnlyInterlaced,
  kWithin,
  kField,
  kRectFile,
  kShowMap
};

TEST_F(Frei0rTest, DescribesItselfAndStartsFromThePluginDefaults) {
  f0r_plugin_info_t info{};
  plugin_.Get<decltype(f0r_get_plugin_info)>("f0r_get_plugin_info")(&info);
  EXPECT_STREQ(info.name, "fieldrestore");
  EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
  EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_BGRA8888);
  EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);
  auto param_info = plugin_.Get<decltype(f0r_get_param_info)>("f0r_get_param_info");
  std::vector<std::string> names;
  for (int i = 0; i < info.num_params; ++i) {
    f0r_param_info_t p{};
    param_info(&p, i);
    ASSERT_NE(p.name, nullptr);
    ASSERT_NE(p.explanation, nullptr);
    names.push_back(p.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{
                       "method", "area", "interlace_threshold", "block_distance_threshold",
                       "replace_threshold", "is_replace_only_interlaced_pixels",
                       "is_search_within_interpolated", "field", "rect_file", "show_map"}));

  // Doubles in frei0r's [0, 1], scaled to the settings.
  f0r_instance_t instance = construct_(64, 32);
  EXPECT_EQ(GetDouble(instance, kMethod), 0.8);
  EXPECT_EQ(GetDouble(instance, kArea), 0.16);
  EXPECT_EQ(GetDouble(instance, kInterlace), 0.048);
  EXPECT_EQ(GetDouble(instance, kBlockDistance), 0.0008192);
  EXPECT_EQ(GetDouble(instance, kReplace), 0);
  EXPECT_EQ(GetDouble(instance, kOnlyInterlaced), 0);
  EXPECT_EQ(GetDouble(instance, kShowMap), 0);
  const char* text = nullptr;
  get_(instance, &text, kField);
  EXPECT_STREQ(text, "bottom");
  get_(instance, &text, kRectFile);
  EXPECT_STREQ(text, "");
  destruct_(instance);
  EXPECT_EQ(construct_(0, 16), nullptr);
}

TEST_F(Frei0rTest, BadValuesTakeTheNearestSoundValue) {
  f0r_instance_t instance = construct_(64, 32);
  // Each value lands on its setting's nearest value; read back it is the
  // setting over the scale.
  const struct {
    int index;
    double value, want;
  } cases[] = {{kMethod, 0.45, 0.4},
               {kMethod, NAN, 0.8},
               {kMethod, 1e300, 2147483647 / 5.0},
               {kArea, -5, 0},
               {kArea, 0.333, 0.33},
               {kInterlace, 1e20, 65.535},
               {kBlockDistance, 1e12, 4294967295 / 1e7},
               {kBlockDistance, -1, 0},
               {kReplace, -1e12, -2147483648 / 256.0},
               {kOnlyInterlaced, 0.7, 1},
               {kWithin, 0.2, 0}};
  for (const auto& c : cases) {
    double v = c.value;
    set_(instance, &v, c.index);
    EXPECT_EQ(GetDouble(instance, c.index), c.want) << c.index << " " << c.value;
  }
  const char* odd = "sideways";
  set_(instance, &odd, kField);
  const char* text = nullptr;
  get_(instance, &text, kField);
  EXPECT_STREQ(text, "bottom");
  set_(instance, nullptr, kMethod);  // a host's null pointer changes nothing
  set_(instance, &odd, 99);
  destruct_(instance);

  const auto in = test::CombedBgra(64, 32, 1);
  EXPECT_EQ(Update(in, 64, 32, {{kMethod, 1.8, nullptr}}),
            RenderPicture(in, 64, 32, DeinterlaceParameters{9}))
      << "a method outside 0-5 passes the frame through the conversions only";
}

TEST_F(Frei0rTest, BottomIsTheCommandLinesRenderAndTopKeepsTheOtherField) {
  const auto in = test::CombedBgra(96, 64, 2);
  DeinterlaceParameters settings;
  EXPECT_EQ(Update(in, 96, 64), RenderPicture(in, 96, 64, settings));
  settings.method = 5;
  settings.replace_threshold = 30;
  const auto top = Update(
      in, 96, 64, {{kMethod, 1, nullptr}, {kReplace, 30 / 256.0, nullptr}, {kField, 0, "top"}});
  EXPECT_EQ(top, test::FlipRows(RenderPicture(test::FlipRows(in, 96), 96, 64, settings), 96));
  EXPECT_NE(top, RenderPicture(in, 96, 64, settings));
}

// "0" (what Kdenlive's generated panel stores) is no file: no message.
TEST_F(Frei0rTest, RectFileRegionAppliesAndAnUnreadableOneIsReportedOnce) {
  const std::string dir = ::testing::TempDir();
  const std::string rect = dir + "/frei0r-test.rect", missing = dir + "/no-such.rect";
  {
    CRectList list("");
    list.Add(0, 0, 0, 47, 31);
    ASSERT_EQ(list.SaveToFile(rect.c_str()), 0);
  }
  CRectList list("");
  ASSERT_EQ(list.LoadFromFile(rect.c_str()), 0);
  const auto in = test::CombedBgra(96, 64, 4);
  const auto with_region = Update(in, 96, 64, {{kRectFile, 0, rect.c_str()}});
  EXPECT_EQ(with_region, RenderPicture(in, 96, 64, DeinterlaceParameters{}, &list));
  EXPECT_NE(with_region, RenderPicture(in, 96, 64, DeinterlaceParameters{}));

  // Standard error into a file while the host sets the path frame after frame.
  const std::string err_path = dir + "/frei0r-stderr.txt";
  std::fflush(stderr);
  const int saved = dup(2);
  FILE* err = std::fopen(err_path.c_str(), "w");
  dup2(fileno(err), 2);
  f0r_instance_t instance = construct_(96, 64);
  std::vector<uint8_t> out(in.size()), out_for_0(in.size());
  for (int frame = 0; frame < 5; ++frame) {
    const char* path = frame < 2 ? "0" : missing.c_str();
    set_(instance, &path, kRectFile);
    update_(instance, frame, reinterpret_cast<const uint32_t*>(in.data()),
            reinterpret_cast<uint32_t*>(frame < 2 ? out_for_0.data() : out.data()));
  }
  destruct_(instance);
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::fclose(err);
  std::ifstream text(err_path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(missing), std::string::npos) << lines[0];
  EXPECT_EQ(out, RenderPicture(in, 96, 64, DeinterlaceParameters{})) << "the whole frame";
  EXPECT_EQ(out_for_0, out);
}

}  // namespace
