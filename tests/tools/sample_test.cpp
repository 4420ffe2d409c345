// `fieldrestore sample` and `fieldrestore png`.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support.h"
#include "tests/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

int Cli(const std::vector<std::string>& args, std::string* err_text = nullptr) {
  const test::CliRun run = test::RunCli(args);
  if (err_text) *err_text = run.err;
  return run.code;
}

TEST(SampleTest, ClipIsWovenFromTwoMomentsAndPicturesAreWritten) {
  const fs::path dir = fs::temp_directory_path() / "fieldrestore-sample-test";
  fs::create_directories(dir);
  const std::string clip = (dir / "clip.bgra").string();
  ASSERT_EQ(Cli({"sample", "--width", "720", "--height", "576", "--frames", "2", clip}), 0);
  const auto bytes = ReadFile(clip);
  constexpr size_t kRow = 720 * 4, kFrame = 576 * kRow;
  ASSERT_EQ(bytes.size(), 2 * kFrame);
  const auto row = [&](size_t frame, size_t y) {
    return std::vector<uint8_t>(bytes.begin() + frame * kFrame + y * kRow,
                                bytes.begin() + frame * kFrame + (y + 1) * kRow);
  };
  // The scene stands still above the ticker and away from the ball, so only
  // the moving parts comb; in the ticker both fields of a frame and the
  // same field of the next frame come from different moments.
  EXPECT_EQ(row(0, 10), row(1, 10));
  EXPECT_EQ(row(0, 11), row(1, 11));
  EXPECT_NE(row(0, 460), row(1, 460));
  EXPECT_NE(row(0, 461), row(1, 461));
  for (size_t i = 3; i < bytes.size(); i += 4) ASSERT_EQ(bytes[i], 255);

  const fs::path png = dir / "frame.png";
  std::string err;
  const int code = Cli({"png", "--width", "720", "--height", "576", "--crop", "8", "8", "16", "8",
                        "--zoom", "2", clip, "1", png.string()},
                       &err);
  if (code == 0) {
    const auto picture = ReadFile(png);
    ASSERT_GE(picture.size(), 8u);
    EXPECT_EQ(std::string(picture.begin(), picture.begin() + 8), "\x89PNG\r\n\x1a\n");
  } else {
    EXPECT_NE(err.find("no PNG"), std::string::npos) << err;  // a build without libpng
  }
  EXPECT_NE(Cli({"png", "--width", "720", "--height", "576", clip, "2", png.string()}, &err), 0);
  EXPECT_NE(err.find("no frame 2"), std::string::npos) << err;
  EXPECT_NE(Cli({"png", "--width", "720", "--height", "576", "--crop", "716", "0", "8", "8", clip,
                 "0", png.string()}),
            0);
  EXPECT_NE(Cli({"sample", "--width", "64", clip}), 0);
  fs::remove_all(dir);
}

// png keeps render's promises: its input is refused as its output under
// any name, and a picture is written beside OUT.png and takes its place
// whole. A value out of range is named, without the whole usage.
TEST(SampleTest, PngNeverWritesIntoItsInputAndReplacesWhole) {
  test::TempFolder folder;
  const std::string clip = folder.File("clip.bgra");
  ASSERT_EQ(Cli({"sample", "--width", "32", "--height", "16", "--frames", "2", clip}), 0);
  const std::string frames = test::ReadFileBytes(clip);
  std::vector<std::string> same = {clip};
#if !defined(_WIN32)
  fs::create_symlink(clip, folder.File("link.bgra"));
  fs::create_hard_link(clip, folder.File("hard.bgra"));
  same.push_back(folder.File("link.bgra"));
  same.push_back(folder.File("hard.bgra"));
#endif
  const auto png = [&](const std::string& out, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"png", "--width", "32", "--height", "16"};
    args.insert(args.end(), more.begin(), more.end());
    args.insert(args.end(), {clip, "1", out});
    std::string err;
    const int code = Cli(args, &err);
    return std::make_pair(code, err);
  };
  for (const std::string& out : same) {
    const auto [code, err] = png(out);
    EXPECT_EQ(code, 1) << out;
    EXPECT_EQ(err, "fieldrestore: " + out + " is the input file " + clip +
                       "; writing into it would destroy it before it is read\n");
    EXPECT_EQ(test::ReadFileBytes(clip), frames);
  }
  const std::string picture = folder.File("frame.png");
  test::WriteFileBytes(picture, "old");
  const auto [code, err] = png(picture);
  if (code == 0) {
    EXPECT_EQ(test::ReadFileBytes(picture).substr(0, 8), "\x89PNG\r\n\x1a\n");
  } else {
    EXPECT_NE(err.find("no PNG"), std::string::npos) << err;  // a build without libpng
    EXPECT_EQ(test::ReadFileBytes(picture), "old");
  }
  EXPECT_EQ(static_cast<size_t>(std::distance(fs::directory_iterator(folder.path()), {})),
            same.size() + 1)
      << "nothing but the clip and the picture";
  EXPECT_EQ(png(picture, {"--zoom", "17"}),
            std::make_pair(2, std::string("fieldrestore: --zoom takes 1 to 16 (each pixel drawn as "
                                          "a square of that side), not 17\n")));
  const fs::path missing = fs::path(folder.File("missing"));
  EXPECT_EQ(png((missing / "frame.png").string()),
            std::make_pair(1, "fieldrestore: " + (missing / "frame.png").string() +
                                  ": the folder " + missing.string() + " does not exist\n"));
}

}  // namespace
