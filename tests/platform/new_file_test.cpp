// New files that replace a destination whole: the old file or the whole
// new one, nothing left of a file that was not committed, the data on the
// disk before the name, and names removed when the command line is
// interrupted.
#include "platform/new_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/temp_folder.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Files with names (where the file system cannot make them without) and,
// on Linux and Windows, files the system removes by itself when the
// process ends before they are committed (no name yet, or marked for
// deletion).
class NewFileTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { platform::NewFile::SetNamedFilesForTesting(GetParam()); }
  void TearDown() override { platform::NewFile::SetNamedFilesForTesting(false); }
  test::TempFolder folder_;
};

TEST_P(NewFileTest, TheOldFileOrTheWholeNewOneAndNothingElse) {
  const std::string out = folder_.File("out.bin");
  test::WriteFileBytes(out, "old");
  std::string reason;
  {
    platform::NewFile file;
    ASSERT_TRUE(file.Create(out, &reason)) << reason;
    ASSERT_TRUE(file.Write("new bytes", 9, &reason)) << reason;
  }  // not committed
  EXPECT_EQ(Names(folder_.path()), std::vector<std::string>{"out.bin"});
  EXPECT_EQ(test::ReadFileBytes(out), "old");

  platform::NewFile file;
  ASSERT_TRUE(file.Create(out, &reason)) << reason;
  ASSERT_TRUE(file.Write("new ", 4, &reason) && file.Write("bytes", 5, &reason)) << reason;
  ASSERT_TRUE(file.Commit(&reason)) << reason;
  EXPECT_EQ(test::ReadFileBytes(out), "new bytes");
  EXPECT_EQ(Names(folder_.path()), std::vector<std::string>{"out.bin"});

  // A new name.
  const std::string rect = folder_.File("region.rect");
  ASSERT_TRUE(file.Create(rect, &reason)) << reason;
  ASSERT_TRUE(file.Write("[(0,0)-(1,1)]\r\n", 15, &reason) && file.Commit(&reason)) << reason;
  EXPECT_EQ(test::ReadFileBytes(rect), "[(0,0)-(1,1)]\r\n");
  EXPECT_EQ(Names(folder_.path()), (std::vector<std::string>{"out.bin", "region.rect"}));

  // A folder that is not there.
  EXPECT_FALSE(file.Create(folder_.File("missing/out.bin"), &reason));
  EXPECT_FALSE(reason.empty());
}

#if !defined(_WIN32)
// The permissions of the file replaced, or those of any new file.
TEST_P(NewFileTest, KeepsThePermissionsOfTheFileItReplaces) {
  const std::string out = folder_.File("out.bin");
  test::WriteFileBytes(out, "old");
  ASSERT_EQ(chmod(out.c_str(), 0640), 0);
  std::string reason;
  platform::NewFile file;
  ASSERT_TRUE(file.Create(out, &reason)) << reason;
  ASSERT_TRUE(file.Commit(&reason)) << reason;
  struct stat replaced;
  ASSERT_EQ(stat(out.c_str(), &replaced), 0);
  EXPECT_EQ(replaced.st_mode & 07777, 0640u);
  const mode_t mask = umask(022);
  ASSERT_TRUE(file.Create(folder_.File("fresh.bin"), &reason));
  ASSERT_TRUE(file.Commit(&reason)) << reason;
  umask(mask);
  ASSERT_EQ(stat(folder_.File("fresh.bin").c_str(), &replaced), 0);
  EXPECT_EQ(replaced.st_mode & 07777, 0644u);
}

// SIGINT, SIGTERM and SIGHUP end a command line as they would, without the
// names of its new files; the files without names need nothing.
TEST_P(NewFileTest, AnInterruptRemovesTheNewFilesNames) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    test::TempFolder folder;
    const pid_t child = fork();
    if (child == 0) {
      platform::RemoveNewFilesOnInterrupt();
      platform::NewFile frames, region;
      std::string reason;
      if (!frames.Create(folder.File("out.bin"), &reason) || !frames.Write("frames", 6, &reason) ||
          !region.Create(folder.File("region.rect"), &reason)) {
        _exit(3);
      }
      kill(getpid(), signal_number);
      _exit(4);  // not reached
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), signal_number);
    EXPECT_EQ(Names(folder.path()), std::vector<std::string>{});
  }
}
#endif

INSTANTIATE_TEST_SUITE_P(Named, NewFileTest, ::testing::Values(true));
#if defined(__linux__) || defined(_WIN32)
INSTANTIATE_TEST_SUITE_P(Vanishing, NewFileTest, ::testing::Values(false));
#endif

#if !defined(_WIN32)
// The calls that put a new file in place, traced: its data reaches the disk
// (fsync of the file) before any name leads to it (link or rename), so that
// a crash leaves the old file or the whole new one.
std::vector<std::string>* g_calls = nullptr;

template <class F>
F* Next(const char* name) {
  return reinterpret_cast<F*>(dlsym(RTLD_NEXT, name));
}

ino_t InodeOf(int fd) {
  struct stat s;
  return fstat(fd, &s) == 0 ? s.st_ino : 0;
}

}  // namespace

extern "C" int fsync(int fd) {
  if (g_calls) g_calls->push_back("fsync " + std::to_string(InodeOf(fd)));
  return Next<int(int)>("fsync")(fd);
}

extern "C" int rename(const char* from, const char* to) {
  if (g_calls) g_calls->push_back(std::string("name ") + to);
  return Next<int(const char*, const char*)>("rename")(from, to);
}

extern "C" int linkat(int from_folder, const char* from, int to_folder, const char* to, int flags) {
  if (g_calls) g_calls->push_back(std::string("name ") + to);
  return Next<int(int, const char*, int, const char*, int)>("linkat")(from_folder, from, to_folder,
                                                                      to, flags);
}

namespace {

TEST_P(NewFileTest, TheDataReachesTheDiskBeforeAnyNameLeadsToIt) {
  const std::string out = folder_.File("out.bin");
  for (const bool replaces : {false, true}) {
    SCOPED_TRACE(replaces ? "over an old file" : "a new name");
    std::vector<std::string> calls;
    std::string reason;
    platform::NewFile file;
    ASSERT_TRUE(file.Create(out, &reason)) << reason;
    ASSERT_TRUE(file.Write("frames", 6, &reason));
    g_calls = &calls;
    const bool committed = file.Commit(&reason);
    g_calls = nullptr;
    ASSERT_TRUE(committed) << reason;
    const int fd = open(out.c_str(), O_RDONLY);
    const std::string synced = "fsync " + std::to_string(InodeOf(fd));
    close(fd);
    const auto sync = std::find(calls.begin(), calls.end(), synced);
    const auto name = std::find_if(calls.begin(), calls.end(),
                                   [](const std::string& c) { return c.rfind("name ", 0) == 0; });
    ASSERT_NE(sync, calls.end()) << testing::PrintToString(calls);
    ASSERT_NE(name, calls.end()) << testing::PrintToString(calls);
    EXPECT_LT(sync - calls.begin(), name - calls.begin()) << testing::PrintToString(calls);
    const auto last_name = std::find_if(calls.rbegin(), calls.rend(), [](const std::string& c) {
      return c.rfind("name ", 0) == 0;
    });
    EXPECT_EQ(*last_name, "name " + out) << testing::PrintToString(calls);
  }
}
#endif

}  // namespace
