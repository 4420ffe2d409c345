// `fieldrestore render`: files in, files out, exactly as the execute path
// renders frames handed over bottom row first.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "host/module_state.h"
#include "host/pipeline.h"
#include "tests/engine/frames.h"
#include "tests/host/bgra_frames.h"
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

// Standard input read from a string for the life of the object.
class StdinFrom {
 public:
  explicit StdinFrom(const std::vector<uint8_t>& bytes)
      : text_(std::string(bytes.begin(), bytes.end())), old_(std::cin.rdbuf(text_.rdbuf())) {}
  ~StdinFrom() {
    std::cin.rdbuf(old_);
    std::cin.clear();
  }

 private:
  std::istringstream text_;
  std::streambuf* old_;
};

TEST_F(RenderTest, StandardInputAndOutputCarryTheSameFramesAsFiles) {
  std::vector<uint8_t> frames(3 * 4 * 32 * 16);
  test::FillRandom(frames.data(), frames.size(), 9);
  Write(Path("in.bgra"), frames);
  const std::vector<std::string> size = {"render", "--width", "32", "--height", "16"};
  const auto with = [&](const std::string& in, const std::string& out) {
    auto args = size;
    args.push_back(in);
    args.push_back(out);
    return args;
  };
  ASSERT_EQ(Run(with(Path("in.bgra"), Path("file.bgra"))), 0);
  const auto expected = Read(Path("file.bgra"));
  {
    StdinFrom piped(frames);
    ASSERT_EQ(Run(with("-", Path("piped.bgra"))), 0);
  }
  EXPECT_EQ(Read(Path("piped.bgra")), expected);

  // Frames on standard output; the summary goes with the messages.
  std::ostringstream out, err;
  ASSERT_EQ(RunCommandLine(with(Path("in.bgra"), "-"), out, err), 0);
  EXPECT_TRUE(out.str() == std::string(expected.begin(), expected.end()));
  EXPECT_NE(err.str().find("rendered 3 frames into standard output"), std::string::npos);

  // A stream that ends inside a frame, and one with no frame at all, fail.
  std::string error;
  {
    StdinFrom piped(std::vector<uint8_t>(frames.begin(), frames.end() - 1));
    EXPECT_EQ(Run(with("-", Path("piped.bgra")), &error), 1);
    EXPECT_NE(error.find("ends inside frame 2 (2047 of 2048 bytes)"), std::string::npos) << error;
  }
  {
    StdinFrom piped({});
    EXPECT_EQ(Run(with("-", Path("piped.bgra")), &error), 1);
    EXPECT_NE(error.find("held no frames"), std::string::npos) << error;
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

TEST_F(RenderTest, FullHdFramesAreExtendedAndTopKeepsTheOtherField) {
  // 1080 rows: extended to 1088 by repeating the last two rows (one per
  // field) and cropped back; the same for the columns of a 1916-wide clip.
  constexpr uint32_t w = 1916, h = 1080, fw = 1920, fh = 1088;
  const auto in = test::CombedBgra(w, h, 5);
  const auto extended = test::ExtendPicture(in, w, h, fw, fh);
  Write(Path("in.bgra"), in);
  Write(Path("extended.bgra"), extended);
  const auto render = [&](uint32_t width, uint32_t height, const char* in_name,
                          std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"render", "--width", std::to_string(width), "--height",
                                     std::to_string(height)};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back(Path(in_name));
    args.push_back(Path("out.bgra"));
    EXPECT_EQ(Run(args), 0);
    return Read(Path("out.bgra"));
  };
  const auto whole = render(fw, fh, "extended.bgra");
  const auto out = render(w, h, "in.bgra");
  ASSERT_EQ(out.size(), in.size());
  ASSERT_NE(out, in);
  EXPECT_EQ(out, test::CropPicture(whole, fw, w, h));

  // The top field kept: the extended picture rendered upside down, and
  // back (extending first keeps rows of one field together at any height).
  Write(Path("flipped.bgra"), test::FlipRows(extended, fw));
  const auto top_whole = test::FlipRows(render(fw, fh, "flipped.bgra"), fw);
  const auto top = render(w, h, "in.bgra", {"--keep", "top"});
  EXPECT_EQ(top, test::CropPicture(top_whole, fw, w, h));
  std::string err;
  EXPECT_EQ(Run({"render", "--width", "16", "--height", "16", "--keep", "left", Path("in.bgra"),
                 Path("o.bgra")},
                &err),
            2);
  EXPECT_NE(err.find("--keep takes top or bottom"), std::string::npos) << err;
}

}  // namespace
