// `fieldrestore render`: files in, files out, exactly as the execute path
// renders frames handed over bottom row first.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/module_state.h"
#include "host/pipeline.h"
#include "tests/engine/frames.h"
#include "tests/support.h"
#include "tools/fieldrestore/cli.h"

namespace {

namespace fs = std::filesystem;

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::DeleteSettingsKey();
    dir_ = fs::temp_directory_path() /
           ("fieldrestore-render-" +
            std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    test::DeleteSettingsKey();
    fs::remove_all(dir_);
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  static void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  static std::vector<uint8_t> Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  int Run(std::vector<std::string> args, std::string* err_text = nullptr) {
    std::ostringstream out, err;
    const int code = RunCommandLine(args, out, err);
    if (err_text) *err_text = err.str();
    return code;
  }
  fs::path dir_;
};

TEST_F(RenderTest, RendersEachFrameAsTheExecutePathDoes) {
  constexpr int32_t w = 64, h = 32;
  std::vector<uint8_t> frames(2 * 4 * w * h);
  test::FillRandom(frames.data(), frames.size(), 4);
  Write(Path("in.bgra"), frames);
  ASSERT_EQ(Run({"render", "--width", "64", "--height", "32", Path("in.bgra"), Path("out.bgra")}),
            0);
  const auto out = Read(Path("out.bgra"));
  ASSERT_EQ(out.size(), frames.size());
  for (int i = 0; i < 2; ++i) {
    // The same frame handed over directly, bottom row first.
    std::vector<uint8_t> src(4 * w * h), dst(4 * w * h, 0);
    for (int r = 0; r < h; ++r)
      std::memcpy(&src[r * 4 * w], &frames[i * 4 * w * h + (h - 1 - r) * 4 * w], 4 * w);
    ExecuteFrames f;
    f.frame_number = i;
    f.frame_total = 2;
    f.src_width = f.dst_width = w;
    f.src_height = f.dst_height = h;
    f.src_row_bytes = f.dst_row_bytes = 4 * w;
    f.src_pixels = src.data();
    f.dst_pixels = dst.data();
    LoadSettings(&g_settings);
    ExecuteFrame(f);
    for (int r = 0; r < h; ++r)
      ASSERT_EQ(0, std::memcmp(&out[i * 4 * w * h + r * 4 * w], &dst[(h - 1 - r) * 4 * w], 4 * w))
          << i << " " << r;
  }
}

TEST_F(RenderTest, ClearErrors) {
  Write(Path("in.bgra"), std::vector<uint8_t>(4 * 16 * 16 + 4));
  std::string err;
  EXPECT_EQ(
      Run({"render", "--width", "16", "--height", "16", Path("in.bgra"), Path("o.bgra")}, &err), 1);
  EXPECT_NE(err.find("not a whole number"), std::string::npos) << err;
  EXPECT_EQ(Run({"render", "--width", "16", "--height", "16", Path("missing.bgra"), Path("o.bgra")},
                &err),
            1);
  EXPECT_NE(err.find("cannot open"), std::string::npos) << err;
  EXPECT_EQ(Run({"render", "--height", "16", Path("in.bgra"), Path("o.bgra")}, &err), 2);
  EXPECT_EQ(
      Run({"render", "--width", "x", "--height", "16", Path("in.bgra"), Path("o.bgra")}, &err), 2);
  EXPECT_NE(err.find("not a number"), std::string::npos) << err;
  EXPECT_EQ(Run({"render", "--width", "16", "--height", "16", "--speed", "2", Path("in.bgra"),
                 Path("o.bgra")},
                &err),
            2);
  EXPECT_EQ(Run({"render", "--width", "16", "--height", "16", "--src-rowbytes", "32",
                 Path("in.bgra"), Path("o.bgra")},
                &err),
            2);
}

}  // namespace
