// fieldrestore.so loaded as a frei0r host loads it (dlopen, the f0r_
// entry points), held against the execute path that `fieldrestore render`
// runs.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <link.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "frei0r/frame_times.h"
#include "host/pipeline.h"
#include "host/restore_path.h"
#include "region/rect_list.h"
#include "tests/host/bgra_frames.h"
#include "tests/temp_folder.h"

namespace {

// The plug-in's entry points, looked up by name. A copy of the file
// loads as a plug-in of its own, with nothing of it run yet.
struct Plugin {
  explicit Plugin(const char* path = FIELDRESTORE_FREI0R)
      : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
  void* handle;
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

// The execute path on a picture handed over bottom row first, as
// `fieldrestore render` hands frames over.
std::vector<uint8_t> RenderPicture(const std::vector<uint8_t>& picture, uint32_t w, uint32_t h,
                                   const DeinterlaceParameters& settings,
                                   const CRectList* list = nullptr) {
  auto src = test::FlipRows(picture, w);
  std::vector<uint8_t> dst(src.size());
  FrameWorkspace workspace;
  struct : ExecuteStore {
  } store;
  ExecuteFrame(
      test::PackedFrames(src.data(), dst.data(), static_cast<int32_t>(w), static_cast<int32_t>(h)),
      settings, FrameRegion{list, nullptr}, nullptr, workspace, store);
  return test::FlipRows(dst, w);
}

// What the plug-in writes to standard error while the object lives, line
// by line.
class StderrLines {
 public:
  StderrLines() : saved_(dup(2)) {
    std::fflush(stderr);
    FILE* file = std::fopen(path_.c_str(), "w");
    dup2(fileno(file), 2);
    std::fclose(file);
  }
  ~StderrLines() { Restore(); }
  std::vector<std::string> Lines() {
    Restore();
    std::ifstream text(path_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
  }
  test::TempFolder folder_;
  std::string path_ = folder_.File("stderr.txt");
  int saved_;
};

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
  kShowMap,
  kMethodName
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
  EXPECT_EQ(names,
            (std::vector<std::string>{
                "method", "area", "interlace_threshold", "block_distance_threshold",
                "replace_threshold", "is_replace_only_interlaced_pixels",
                "is_search_within_interpolated", "field", "rect_file", "show_map", "method_name"}));

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
  get_(instance, &text, kMethodName);
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
               {kArea, 0.29, 0.29},  // 28.999999999999996 x 100: rounded, not cut
               {kInterlace, 0.0295, 0.03},
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
  set_(instance, nullptr, kMethod);  // a host's null pointer changes nothing
  const char* odd = "sideways";
  set_(instance, &odd, 99);
  destruct_(instance);
}

// "top" and "bottom" as users type them; a value that means neither keeps
// the bottom field and is named once, however often the host sets it.
TEST_F(Frei0rTest, FieldTakesEitherWordInAnyCaseAndNamesOneThatIsNeither) {
  f0r_instance_t instance = construct_(64, 32);
  const auto field_after = [&](const char* value) {
    set_(instance, &value, kField);
    const char* text = nullptr;
    get_(instance, &text, kField);
    return std::string(text);
  };
  StderrLines err;
  for (const char* top : {"TOP", "Top", " top ", "top\n"})
    EXPECT_EQ(field_after(top), "top") << top;
  for (const char* bottom : {"BOTTOM", "Bottom\t"}) EXPECT_EQ(field_after(bottom), "bottom");
  EXPECT_EQ(field_after("top"), "top");
  for (const char* nothing : {"toppy", "toppy", "toppy", "1", ""}) {
    EXPECT_EQ(field_after(nothing), "bottom") << nothing;
  }
  destruct_(instance);
  EXPECT_EQ(err.Lines(),
            (std::vector<std::string>{
                "fieldrestore: field \"toppy\" is neither top nor bottom; the bottom field is kept",
                "fieldrestore: field \"1\" is neither top nor bottom; the bottom field is kept",
                "fieldrestore: field \"\" is neither top nor bottom; the bottom field is kept"}));
}

// Every method gives the bytes `fieldrestore render` gives: method 0 the
// frame itself, at any size; a method outside 0-5 passes the frame through
// the conversions only.
TEST_F(Frei0rTest, EveryMethodGivesTheBytesOfTheCommandLine) {
  const auto in = test::CombedBgra(64, 32, 1);
  for (int32_t method : {0, 1, 2, 3, 4, 5, 9}) {
    EXPECT_EQ(Update(in, 64, 32, {{kMethod, method / 5.0, nullptr}}),
              RenderPicture(in, 64, 32, DeinterlaceParameters{method}))
        << method;
  }
  const auto odd = test::CombedBgra(90, 37, 2);
  EXPECT_EQ(Update(odd, 90, 37, {{kMethod, 0, nullptr}, {kShowMap, 1, nullptr}}), odd);
}

// ffmpeg pads the rows it hands over for such widths: said once per
// process, with the filter graph that avoids it. The plug-in needs no
// library beyond the C and C++ runtimes (the store's database is not
// loaded into the host).
TEST_F(Frei0rTest, WidthsAHostMayPadAreNamedOnceAndNoStoreLibraryIsLoaded) {
  test::TempFolder folder;
  const std::string copy = folder.File("fieldrestore.so");
  std::filesystem::copy_file(FIELDRESTORE_FREI0R, copy);
  Plugin fresh(copy.c_str());
  ASSERT_NE(fresh.handle, nullptr) << dlerror();
  const auto construct = fresh.Get<decltype(f0r_construct)>("f0r_construct");
  const auto destruct = fresh.Get<decltype(f0r_destruct)>("f0r_destruct");
  StderrLines err;
  for (unsigned width : {96u, 90u, 90u, 721u}) destruct(construct(width, 32));
  EXPECT_EQ(err.Lines(),
            std::vector<std::string>{
                "fieldrestore: warning: frames 90 pixels wide: ffmpeg pads the rows it hands a "
                "frei0r filter to a multiple of 16 pixels, which shears such frames; in ffmpeg "
                "widen them with their last column and crop back: -vf "
                "\"pad=96:ih,fillborders=right=6:mode=smear,frei0r=fieldrestore,crop=90:ih:0:0\""});

  link_map* map = nullptr;
  ASSERT_EQ(dlinfo(fresh.handle, RTLD_DI_LINKMAP, &map), 0);
  const char* strings = nullptr;
  std::vector<ElfW(Xword)> needed;
  for (const ElfW(Dyn)* d = map->l_ld; d->d_tag != DT_NULL; ++d) {
    if (d->d_tag == DT_STRTAB) strings = reinterpret_cast<const char*>(d->d_un.d_ptr);
    if (d->d_tag == DT_NEEDED) needed.push_back(d->d_un.d_val);
  }
  ASSERT_NE(strings, nullptr);
  ASSERT_FALSE(needed.empty());
  for (ElfW(Xword) name : needed) {
    const std::string library = strings + name;
    EXPECT_TRUE(library.rfind("libc.", 0) == 0 || library.rfind("libm.", 0) == 0 ||
                library.rfind("libstdc++", 0) == 0 || library.rfind("libgcc_s", 0) == 0 ||
                library.rfind("ld-linux", 0) == 0 || library.rfind("libasan", 0) == 0 ||
                library.rfind("libubsan", 0) == 0 || library.rfind("libtsan", 0) == 0)
        << library;
  }
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

  // The host sets the path frame after frame.
  StderrLines err;
  f0r_instance_t instance = construct_(96, 64);
  std::vector<uint8_t> out(in.size()), out_for_0(in.size());
  for (int frame = 0; frame < 5; ++frame) {
    const char* path = frame < 2 ? "0" : missing.c_str();
    set_(instance, &path, kRectFile);
    update_(instance, frame, reinterpret_cast<const uint32_t*>(in.data()),
            reinterpret_cast<uint32_t*>(frame < 2 ? out_for_0.data() : out.data()));
  }
  destruct_(instance);
  const std::vector<std::string> lines = err.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(missing), std::string::npos) << lines[0];
  EXPECT_EQ(out, RenderPicture(in, 96, 64, DeinterlaceParameters{})) << "the whole frame";
  EXPECT_EQ(out_for_0, out);
}

// The restoring method on a picture (w, h multiples of 16) with the one
// before it where given, as `fieldrestore render --method restore
// --previous-only` renders it.
std::vector<uint8_t> RestorePicture(const std::vector<uint8_t>& picture,
                                    const std::vector<uint8_t>* previous, uint32_t w, uint32_t h) {
  auto src = test::FlipRows(picture, w);
  std::vector<uint8_t> before = previous ? test::FlipRows(*previous, w) : std::vector<uint8_t>{};
  std::vector<uint8_t> dst(src.size());
  RestoreWorkspace workspace;
  FrameNeighbours neighbours;
  neighbours.index = 1;
  if (previous) neighbours.previous = before.data();
  const int32_t row = static_cast<int32_t>(4 * w);
  RenderRestoredFrame(HostFrames{src.data(), row, dst.data(), row, w, h}, neighbours, FrameRegion{},
                      nullptr, workspace);
  return test::FlipRows(dst, w);
}

// The frame before is used exactly when the host's times say it directly
// precedes the frame: steps of a video frame rate, in seconds or in
// ffmpeg's milliseconds, no longer than the shortest step seen.
TEST(FrameTimesTest, OnlyAFrameDurationAfterFollowsDirectly) {
  double shortest = HUGE_VAL;
  EXPECT_TRUE(FollowsDirectly(0.0, 0.04, &shortest));
  EXPECT_TRUE(FollowsDirectly(2.0, 2.04, &shortest));
  EXPECT_FALSE(FollowsDirectly(0.04, 0.04, &shortest));  // the same frame
  EXPECT_FALSE(FollowsDirectly(0.08, 0.04, &shortest));  // backwards
  EXPECT_FALSE(FollowsDirectly(0.0, 0.08, &shortest));   // one skipped (12.5 a second)
  EXPECT_FALSE(FollowsDirectly(0.0, 0.12, &shortest));   // two skipped
  double ms = HUGE_VAL;
  EXPECT_TRUE(FollowsDirectly(40.0, 80.0, &ms));
  double ntsc = HUGE_VAL;
  EXPECT_TRUE(FollowsDirectly(0.0, 1001.0 / 30, &ntsc));
  EXPECT_FALSE(FollowsDirectly(0.0, 2002.0 / 30, &ntsc));  // 15 a second
  double fifty = HUGE_VAL;
  EXPECT_TRUE(FollowsDirectly(0.0, 0.02, &fifty));
  EXPECT_FALSE(FollowsDirectly(0.02, 0.06, &fifty));  // 1/25 after steps of 1/50
  double edge = HUGE_VAL;
  EXPECT_TRUE(FollowsDirectly(0.0, 0.04 * 1.0005, &edge));
  edge = HUGE_VAL;
  EXPECT_FALSE(FollowsDirectly(0.0, 0.04 * 1.0006, &edge));
}

// The restoring method in a host: the frame before where the times say it
// directly precedes this frame, the frame alone after every other kind of
// step (a jump, a skip, backwards, a new method or field), and the frame
// before the last again when the host draws the last frame anew.
TEST_F(Frei0rTest, RestoreUsesTheFrameBeforeOnlyWhenItDirectlyPrecedes) {
  constexpr uint32_t w = 96, h = 64;
  std::vector<std::vector<uint8_t>> clip;
  for (int t = 0; t < 4; ++t) clip.push_back(test::CombedBgra(w, h, 2 * t));
  const auto alone = [&](int k) { return RestorePicture(clip[k], nullptr, w, h); };
  const auto after = [&](int k, int before) {
    return RestorePicture(clip[k], &clip[before], w, h);
  };
  ASSERT_NE(alone(1), after(1, 0)) << "the frame before must change the result";

  f0r_instance_t instance = construct_(w, h);
  const char* restore = "restore";
  set_(instance, &restore, kMethodName);
  std::vector<uint8_t> out(clip[0].size());
  const auto frame = [&](int k, double time) {
    update_(instance, time, reinterpret_cast<const uint32_t*>(clip[k].data()),
            reinterpret_cast<uint32_t*>(out.data()));
    return out;
  };
  EXPECT_EQ(frame(0, 0.0), alone(0));
  EXPECT_EQ(frame(1, 0.04), after(1, 0));
  EXPECT_EQ(frame(1, 0.04), after(1, 0)) << "drawn anew";
  EXPECT_EQ(frame(2, 0.08), after(2, 1));
  EXPECT_EQ(frame(0, 0.0), alone(0)) << "backwards";
  EXPECT_EQ(frame(2, 0.08), alone(2)) << "a skipped frame";
  EXPECT_EQ(frame(3, 0.12), after(3, 2));
  EXPECT_EQ(frame(1, 10.04), alone(1)) << "a jump";
  double method = 0.8;
  set_(instance, &method, kMethod);  // the name still decides
  EXPECT_EQ(frame(2, 10.08), after(2, 1));
  const char* none = "";
  set_(instance, &none, kMethodName);
  frame(3, 10.12);  // method 4: the kept frame is forgotten
  set_(instance, &restore, kMethodName);
  EXPECT_EQ(frame(0, 10.16), alone(0)) << "after another method";
  const char* top = "top";
  set_(instance, &top, kField);
  EXPECT_EQ(frame(1, 10.20),
            test::FlipRows(RestorePicture(test::FlipRows(clip[1], w), nullptr, w, h), w))
      << "after the other field";
  destruct_(instance);

  // ffmpeg's milliseconds, and the method's number.
  instance = construct_(w, h);
  double number = 1.2;
  set_(instance, &number, kMethod);
  EXPECT_EQ(frame(0, 0.0), alone(0));
  EXPECT_EQ(frame(1, 40.0), after(1, 0));
  destruct_(instance);
}

}  // namespace
