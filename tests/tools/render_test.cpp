// `fieldrestore render`: files in, files out, exactly as the execute path
// renders frames handed over bottom row first.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "host/pipeline.h"
#include "plugin/execute.h"
#include "plugin/module_state.h"
#include "tests/engine/frames.h"
#include "tests/host/bgra_frames.h"
#include "tests/support.h"
#include "tests/temp_folder.h"
#include "tools/fieldrestore/cli.h"
#include "tools/fieldrestore/frame_renderer.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/dynamic_library.h"
#include "platform/system.h"
#endif

namespace {

namespace fs = std::filesystem;

class RenderTest : public test::CleanStore<> {
 protected:
  std::string Path(const char* name) const { return folder_.File(name); }
  static void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    test::WriteFileBytes(path, std::string(bytes.begin(), bytes.end()));
  }
  static std::vector<uint8_t> Read(const std::string& path) {
    const std::string bytes = test::ReadFileBytes(path);
    return {bytes.begin(), bytes.end()};
  }
  static int Run(const std::vector<std::string>& args, std::string* err_text = nullptr) {
    const test::CliRun run = test::RunCli(args);
    if (err_text) *err_text = run.err;
    return run.code;
  }
  static std::vector<std::string> Render(int width, int height, const std::string& in,
                                         const std::string& out) {
    return {"render", "--width", std::to_string(width), "--height", std::to_string(height),
            in,       out};
  }
  test::TempFolder folder_;
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
    ExecuteFrames f = test::PackedFrames(src.data(), dst.data(), w, h);
    f.frame_number = i;
    f.frame_total = 2;
    LoadSettings(&g_settings);
    ExecuteFrame(f);
    for (int r = 0; r < h; ++r)
      ASSERT_EQ(0, std::memcmp(&out[i * 4 * w * h + r * 4 * w], &dst[(h - 1 - r) * 4 * w], 4 * w))
          << i << " " << r;
  }
  // Any number of threads renders the same frames (no more threads run
  // than there are frames).
  if (MaxRenderThreads() > 1) {
    ASSERT_EQ(Run({"render", "--threads", "4294967295", "--width", "64", "--height", "32",
                   Path("in.bgra"), Path("many.bgra")}),
              0);
    EXPECT_EQ(Read(Path("many.bgra")), out);
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

// --method for one render, the store untouched; restore renders the same
// bytes on any number of threads and from standard input, uses the next
// frame unless told --previous-only, and refuses the host geometries.
TEST_F(RenderTest, MethodForOneRenderAndRestoreOnThreadsAndStreams) {
  constexpr int w = 48, h = 32, n = 5;
  std::vector<uint8_t> frames;
  for (int t = 0; t < n; ++t) {
    const auto f = test::CombedBgra(w, h, 3 * t);
    frames.insert(frames.end(), f.begin(), f.end());
  }
  Write(Path("in.bgra"), frames);
  const auto render = [&](std::vector<std::string> extra, const std::string& in = "") {
    auto args = Render(w, h, in.empty() ? Path("in.bgra") : in, Path("out.bgra"));
    args.insert(args.begin() + 5, extra.begin(), extra.end());
    EXPECT_EQ(Run(args), 0);
    return Read(Path("out.bgra"));
  };
  ASSERT_EQ(Run({"settings", "set", "method", "2"}), 0);
  std::string err;
  if (RendersThroughPlugin()) {
    // The plug-in reads its method from the store itself.
    EXPECT_EQ(Run({"render", "--width", "48", "--height", "32", "--method", "4", Path("in.bgra"),
                   Path("o.bgra")},
                  &err),
              2);
    EXPECT_NE(err.find("settings set method"), std::string::npos) << err;
  } else {
    EXPECT_EQ(render({"--method", "4"}), render({"--method", "motion"}));
    EXPECT_NE(render({"--method", "4"}), render({}));
    EXPECT_EQ(render({}), render({"--method", "interpolation"})) << "the store still says 2";
  }

  const auto restored = render({"--method", "restore", "--threads", "1"});
  EXPECT_EQ(render({"--method", "restore", "--threads", "3"}), restored);
  EXPECT_NE(render({"--method", "restore", "--previous-only"}), restored);
  if (MaxRenderThreads() > 1) {
    StdinFrom piped(frames);
    EXPECT_EQ(render({"--method", "restore", "--threads", "2"}, "-"), restored);
  }
  EXPECT_EQ(Run({"render", "--width", "48", "--height", "32", "--method", "restore",
                 "--field-flags", "512", Path("in.bgra"), Path("o.bgra")},
                &err),
            2);
  EXPECT_NE(err.find("host geometries"), std::string::npos) << err;
  EXPECT_EQ(Run({"render", "--width", "48", "--height", "32", "--method", "6", Path("in.bgra"),
                 Path("o.bgra")},
                &err),
            2);
  EXPECT_EQ(Run({"render", "--width", "48", "--height", "32", "--previous-only", Path("in.bgra"),
                 Path("o.bgra")},
                &err),
            2);
}

TEST_F(RenderTest, ClearErrors) {
  Write(Path("in.bgra"), std::vector<uint8_t>(4 * 16 * 16 + 4));
  std::string err;
  EXPECT_EQ(
      Run({"render", "--width", "16", "--height", "16", Path("in.bgra"), Path("o.bgra")}, &err), 1);
  EXPECT_NE(err.find("not a whole number"), std::string::npos) << err;
  EXPECT_EQ(Run(Render(16, 16, Path("missing.bgra"), Path("o.bgra")), &err), 1);
  EXPECT_EQ(err, "fieldrestore: " + Path("missing.bgra") + ": No such file or directory\n");
  EXPECT_EQ(Run(Render(16, 16, folder_.path().string(), Path("o.bgra")), &err), 1);
  EXPECT_EQ(err, "fieldrestore: " + folder_.path().string() + ": is a directory\n");
#if !defined(_WIN32)
  EXPECT_EQ(Run(Render(16, 16, "/dev/zero", Path("o.bgra")), &err), 1);
  EXPECT_NE(
      err.find("/dev/zero: is a device, not a regular file and not seekable: use - for pipes"),
      std::string::npos)
      << err;
#endif
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
  EXPECT_EQ(Run({"render", "--width", "16", "--height", "16", "--threads", "0", Path("in.bgra"),
                 Path("o.bgra")},
                &err),
            2);
  EXPECT_NE(err.find("--threads takes 1 or more"), std::string::npos) << err;
  // Frames too large for memory say so, not a word of row bytes.
  EXPECT_EQ(Run(Render(32767, 32767, Path("in.bgra"), Path("o.bgra")), &err), 2);
  EXPECT_EQ(err.substr(0, err.find('\n')),
            "fieldrestore: a 32767x32767 frame does not fit in memory (4 x width x height must "
            "stay below 2 GiB)");
}

// Rendering into the input (by its path, a link or another hard link)
// would truncate the frames before they are read: refused, input intact.
// A render that fails leaves an existing output as it was.
TEST_F(RenderTest, NeverDamagesTheInputOrAGoodOutput) {
  std::vector<uint8_t> frames(2 * 4 * 32 * 16);
  test::FillRandom(frames.data(), frames.size(), 3);
  const std::string in = Path("in.bgra");
  Write(in, frames);
  std::vector<std::string> same = {in};
#if !defined(_WIN32)
  fs::create_symlink(in, Path("link.bgra"));
  fs::create_hard_link(in, Path("hard.bgra"));
  same.push_back(Path("link.bgra"));
  same.push_back(Path("hard.bgra"));
#endif
  std::string err;
  for (const std::string& out : same) {
    EXPECT_EQ(Run(Render(32, 16, in, out), &err), 1) << out;
    EXPECT_NE(err.find("is the input file"), std::string::npos) << err;
    EXPECT_EQ(Read(in), frames);
  }
  const std::string good = Path("good.bgra");
  ASSERT_EQ(Run(Render(32, 16, in, good)), 0);
  const std::vector<uint8_t> rendered = Read(good);
  {
    StdinFrom piped(std::vector<uint8_t>(frames.begin(), frames.end() - 5));
    EXPECT_EQ(Run(Render(32, 16, "-", good), &err), 1);
  }
  EXPECT_NE(err.find("ends inside frame 1"), std::string::npos) << err;
  EXPECT_EQ(Read(good), rendered);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), fs::directory_iterator()),
            static_cast<long>(same.size()) + 1)
      << "no temporary file is left beside the output";
  // A device or a pipe has no file to damage: written straight through.
#if !defined(_WIN32)
  EXPECT_EQ(Run(Render(32, 16, in, "/dev/null"), &err), 0) << err;
#else
  EXPECT_EQ(Run(Render(32, 16, in, "NUL"), &err), 0) << err;
  EXPECT_EQ(Run(Render(32, 16, in, folder_.File("nul")), &err), 0) << err;
#endif
}

// The input is measured before anything is allocated for a frame: a stream
// that ends before its first frame of a huge size fails at once, and
// sizes whose frames cannot fit in memory are refused.
TEST_F(RenderTest, SizesAreCheckedBeforeMemoryIsTaken) {
  std::string err;
  {
    StdinFrom piped({});
    EXPECT_EQ(Run(Render(16384, 32752, "-", Path("o.bgra")), &err), 1);
    EXPECT_NE(err.find("held no frames"), std::string::npos) << err;
  }
  Write(Path("in.bgra"), std::vector<uint8_t>(64));
  for (const char* size : {"2147483648", "100000"}) {
    EXPECT_EQ(
        Run({"png", "--width", size, "--height", size, Path("in.bgra"), "0", Path("o.png")}, &err),
        2)
        << size;
    EXPECT_NE(err.find("does not fit in memory"), std::string::npos) << err;
  }
  EXPECT_EQ(
      Run({"png", "--width", "4", "--height", "4", Path("in.bgra"), "1", Path("o.png")}, &err), 1);
  EXPECT_NE(err.find("has no frame 1 (it holds 1 whole 4x4 frames)"), std::string::npos) << err;
  EXPECT_EQ(
      Run({"sample", "--width", "32767", "--height", "32767", "--frames", "1", Path("s")}, &err),
      2);
}

// Frames the plug-in copies through unchanged are rendered, with one
// warning that says why; frame numbers past 2^31 - 1 wrap as a host's do.
TEST_F(RenderTest, CopiedThroughFramesAreExplainedOnce) {
  std::vector<uint8_t> frames(3 * 4 * 32 * 32);
  test::FillRandom(frames.data(), frames.size(), 8);
  Write(Path("in.bgra"), frames);
  std::string err;
  const auto expect_warning = [&](const std::vector<std::string>& args, const std::string& why) {
    EXPECT_EQ(Run(args, &err), 0) << err;
    EXPECT_EQ(err, "fieldrestore: warning: " + why + "\n");
  };
  ASSERT_EQ(test::RunCli({"settings", "set", "method", "0"}).code, 0);
  auto args = Render(32, 32, Path("in.bgra"), Path("out.bgra"));
  args.insert(args.end(), {"--first-frame", "2147483647"});
  expect_warning(args, "method 0 (None) copies every frame unchanged");
  EXPECT_EQ(Read(Path("out.bgra")), frames);
  const uint8_t nine[4] = {9, 0, 0, 0};
  test::WriteSettingsValue("method", nine, 4);
  expect_warning(Render(32, 32, Path("in.bgra"), Path("out.bgra")),
                 "method 9 is not one the plug-in knows (0 to 5): frames are converted to YV12 and "
                 "back but not deinterlaced");
  ASSERT_EQ(test::RunCli({"settings", "reset"}).code, 0);
  auto field_pitch = Render(24, 32, Path("in.bgra"), Path("out.bgra"));
  field_pitch.insert(field_pitch.end(), {"--src-rowbytes", "192"});
  expect_warning(field_pitch,
                 "24x64 frames are copied unchanged: the plug-in processes only widths and "
                 "heights that are multiples of 16");
  EXPECT_EQ(Run(Render(32, 32, Path("in.bgra"), Path("out.bgra")), &err), 0);
  EXPECT_EQ(err, "");
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

#if defined(_WIN32)
// What Windows does not let a file be called, and what it takes for a
// device, is named as such; a device given by its name alone is written
// straight through.
TEST_F(RenderTest, NamesWindowsKeepsForDevicesAreExplained) {
  Write(Path("in.bgra"), std::vector<uint8_t>(4 * 16 * 16));
  std::string err;
  const std::pair<const char*, const char*> reserved[] = {
      {"NUL.bgra", "NUL"}, {"nul.txt", "NUL"},   {"NUL ", "NUL"},      {"nul.", "NUL"},
      {"CON.bgra", "CON"}, {"COM1.txt", "COM1"}, {"lpt1.bgra", "LPT1"}};
  for (const auto& [name, device] : reserved) {
    EXPECT_EQ(Run(Render(16, 16, Path("in.bgra"), Path(name)), &err), 1) << name;
    EXPECT_EQ(err, "fieldrestore: " + Path(name) + ": Windows keeps the name " + device +
                       " for a device, also with an extension or trailing dots or spaces, so no "
                       "file can have this name; choose another\n");
  }
  EXPECT_EQ(Run(Render(16, 16, Path("in.bgra"), "NUL:"), &err), 0) << err;
  EXPECT_EQ(Run({"sample", "--width", "16", "--height", "16", "--frames", "1", "CONOUT$"}, &err),
            1);
  EXPECT_EQ(err, "fieldrestore: CONOUT$: is a device, not a regular file\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), fs::directory_iterator()), 1);
}

// fieldrestore.exe as a process of its own: standard input from `in`,
// standard output into `out`, messages into the file `messages`.
PROCESS_INFORMATION StartExe(const std::string& args, HANDLE in, HANDLE out,
                             const std::string& messages) {
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  const HANDLE err = CreateFileA(messages.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  std::string command(1, '"');
  command += platform::ExecutableDirectory();
  command += "\\fieldrestore.exe\" ";
  command += args;
  PROCESS_INFORMATION process = {};
  EXPECT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &process));
  CloseHandle(err);
  return process;
}

DWORD Finish(const PROCESS_INFORMATION& process) {
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

// A render that is killed (TerminateProcess) leaves OUT as it was and no
// file beside it; one whose standard output is a pipe nobody reads says so.
TEST_F(RenderTest, AKilledRenderLeavesNothingAndAClosedPipeIsNamed) {
  constexpr int kFrames = 20;
  std::vector<uint8_t> frames(size_t{kFrames} * 4 * 64 * 64);
  test::FillRandom(frames.data(), frames.size(), 6);
  Write(Path("in.bgra"), frames);
  test::WriteFileBytes(Path("out.bgra"), "old");
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, &inherited, 0));
  SetHandleInformation(write_end, HANDLE_FLAG_INHERIT, 0);
  const PROCESS_INFORMATION render =
      StartExe("render --width 64 --height 64 - \"" + Path("out.bgra") + "\"", read_end,
               GetStdHandle(STD_OUTPUT_HANDLE), Path("messages.txt"));
  CloseHandle(read_end);
  // More than a pipe holds: the render is writing its new file when the
  // last frames are in the pipe.
  DWORD written = 0;
  EXPECT_TRUE(
      WriteFile(write_end, frames.data(), static_cast<DWORD>(frames.size()), &written, nullptr));
  TerminateProcess(render.hProcess, 9);
  EXPECT_EQ(Finish(render), 9u);
  CloseHandle(write_end);
  EXPECT_EQ(test::ReadFileBytes(Path("out.bgra")), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), fs::directory_iterator()), 3)
      << "in.bgra, out.bgra and messages.txt alone";

  ASSERT_TRUE(CreatePipe(&read_end, &write_end, &inherited, 0));
  CloseHandle(read_end);  // nobody reads the frames
  const PROCESS_INFORMATION piped =
      StartExe("render --width 64 --height 64 \"" + Path("in.bgra") + "\" -",
               GetStdHandle(STD_INPUT_HANDLE), write_end, Path("messages.txt"));
  CloseHandle(write_end);
  EXPECT_EQ(Finish(piped), 1u);
  std::string message = test::ReadFileBytes(Path("messages.txt"));
  message.erase(std::remove(message.begin(), message.end(), '\r'), message.end());  // text mode
  bool named = false;
  for (const DWORD closed : {ERROR_NO_DATA, ERROR_BROKEN_PIPE, ERROR_PIPE_NOT_CONNECTED}) {
    named = named || message == "fieldrestore: cannot write standard output: " +
                                    platform::SystemErrorText(closed) + "\n";
  }
  EXPECT_TRUE(named) << message;
}
#endif

}  // namespace
