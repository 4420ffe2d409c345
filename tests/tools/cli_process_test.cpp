// The command line as separate processes: edits from processes running side
// by side, and settings stores that cannot be used as they should (locked,
// corrupt, a folder, read-only for the user).
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/temp_folder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Result {
  int code;
  std::string out, err;
};

// One fieldrestore process (or a shell running several), with its own
// store folder; optionally as another user.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
        const std::string& output_stem, int uid = -1)
      : out_(output_stem + ".out"), err_(output_stem + ".err") {
    std::vector<std::string> variables;
    for (char** e = environ; *e; ++e) {
      const std::string entry(*e);
      if (!env.count(entry.substr(0, entry.find('=')))) variables.push_back(entry);
    }
    for (const auto& [name, value] : env) variables.push_back(name + "=" + value);
    pid_ = fork();
    if (pid_ != 0) return;
    const int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int null = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || null < 0) _exit(126);
    dup2(null, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (uid >= 0 && (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0)) {
      _exit(125);
    }
    std::vector<char*> args, vars;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& v : variables) vars.push_back(const_cast<char*>(v.c_str()));
    args.push_back(nullptr);
    vars.push_back(nullptr);
    execve(args[0], args.data(), vars.data());
    _exit(127);
  }
  Result Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            test::ReadFileBytes(out_), test::ReadFileBytes(err_)};
  }

 private:
  std::string out_, err_;
  pid_t pid_;
};

class CliProcessTest : public ::testing::Test {
 protected:
  std::map<std::string, std::string> Env() const {
    return {{"XDG_CONFIG_HOME", folder_.File("config")},
            {"XDG_STATE_HOME", folder_.File("state")},
            {"HOME", folder_.path().string()},
            {"FR", FIELDRESTORE_EXE}};
  }
  std::string Store() const { return folder_.File("config/fieldrestore/registry.sqlite3"); }
  Child Start(std::vector<std::string> args, int uid = -1) {
    args.insert(args.begin(), FIELDRESTORE_EXE);
    return Child(args, Env(), folder_.File("run" + std::to_string(++runs_)), uid);
  }
  Result Run(const std::vector<std::string>& args, int uid = -1) { return Start(args, uid).Wait(); }
  Child Shell(const std::string& script) {
    return Child({"/bin/sh", "-c", script}, Env(), folder_.File("run" + std::to_string(++runs_)));
  }
  size_t Rectangles() {
    const Result listed = Run({"region"});
    EXPECT_EQ(listed.code, 0) << listed.err;
    return static_cast<size_t>(std::count(listed.out.begin(), listed.out.end(), '\n'));
  }

  test::TempFolder folder_;
  int runs_ = 0;
};

TEST_F(CliProcessTest, EditsFromProcessesSideBySideAllLand) {
  const auto loop = [](const std::string& top) {
    return "for i in $(seq 1 100); do \"$FR\" region add + $i " + top +
           " $((i+9)) 99 >/dev/null || exit 1; done";
  };
  Child a = Shell(loop("0"));
  Child b = Shell(loop("50"));
  const Result ra = a.Wait(), rb = b.Wait();
  EXPECT_EQ(ra.code, 0) << ra.err;
  EXPECT_EQ(rb.code, 0) << rb.err;
  EXPECT_EQ(Rectangles(), 200u);
}

// Processes that meet a store nobody has created yet: one of them sets up
// the new database while the others wait for it, as they wait for any lock.
TEST_F(CliProcessTest, ProcessesThatCreateTheStoreTogetherAllWait) {
  const Result rounds = Shell(
                            "for round in $(seq 1 40); do rm -rf \"$XDG_CONFIG_HOME\";"
                            "  for p in 1 2 3 4; do \"$FR\" region add + $p 0 9 9 >/dev/null "
                            "2>>\"$HOME/errors\" & done;"
                            "  wait; done")
                            .Wait();
  EXPECT_EQ(rounds.code, 0);
  EXPECT_EQ(test::ReadFileBytes(folder_.File("errors")), "");
  EXPECT_EQ(Rectangles(), 4u);
}

// A render reads the region for every frame; it must not write its copy
// back over the edits made meanwhile.
TEST_F(CliProcessTest, ARenderBesideEditsKeepsEveryEdit) {
  const std::string clip = folder_.File("clip.bgra");
  ASSERT_EQ(Run({"sample", "--width", "128", "--height", "128", "--frames", "300", clip}).code, 0);
  Child render = Start({"render", "--width", "128", "--height", "128", clip, folder_.File("o")});
  Child edits = Shell(
      "for i in $(seq 1 50); do \"$FR\" region add - $i 0 $((i+9)) 9 >/dev/null || exit 1; done");
  const Result rendered = render.Wait(), edited = edits.Wait();
  EXPECT_EQ(rendered.code, 0) << rendered.err;
  EXPECT_EQ(edited.code, 0) << edited.err;
  EXPECT_EQ(Rectangles(), 50u);
}

// Each command says what is wrong with the store and stops, rather than
// rendering with default settings; the output file is not created.
TEST_F(CliProcessTest, AStoreThatCannotBeReadStopsEveryCommand) {
  ASSERT_EQ(Run({"settings", "set", "method", "2"}).code, 0);
  const std::string clip = folder_.File("clip.bgra");
  ASSERT_EQ(Run({"sample", "--width", "32", "--height", "32", "--frames", "1", clip}).code, 0);
  const auto expect_stopped = [&](const std::string& reason) {
    const std::string message = "fieldrestore: the settings store at " + Store() + reason;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"settings"},
             {"settings", "set", "area", "5"},
             {"region", "add", "+", "1", "1", "9", "9"},
             {"render", "--width", "32", "--height", "32", clip, folder_.File("out.bgra")}}) {
      const Result run = Run(args);
      EXPECT_EQ(run.code, 1) << args[0] << reason;
      EXPECT_EQ(run.err.substr(0, run.err.find('\n')), message) << args[0];
      EXPECT_EQ(run.out, "") << args[0];
    }
    EXPECT_FALSE(fs::exists(folder_.File("out.bgra")));
  };
  {
    // Another process holds the store locked throughout.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(Store().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;"
                           "DELETE FROM store_values WHERE name = 'nothing'",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    expect_stopped(" is locked by another process");
    sqlite3_close(db);
  }
  EXPECT_NE(Run({"settings"}).out.find("method = 2"), std::string::npos) << "usable once let go";
  fs::remove_all(folder_.File("config/fieldrestore"));
  fs::create_directories(Store());
  expect_stopped(" is a directory, not a settings database");
  fs::remove_all(Store());
  test::WriteFileBytes(Store(), std::string(8192, '\x5a'));
  expect_stopped(" is not a settings database (file is not a database)");
}

// A store on a full disk is still read: listing the region and rendering
// to another disk need no free space. Writes are refused with the reason.
// The disk is a small memory file system in a mount namespace of its own.
TEST_F(CliProcessTest, AStoreOnAFullDiskIsStillRead) {
  const std::string clip = folder_.File("clip.bgra");
  ASSERT_EQ(Run({"sample", "--width", "32", "--height", "32", "--frames", "1", clip}).code, 0);
  Child run = Shell(
      "mkdir -p \"$XDG_CONFIG_HOME\" &&"
      "  unshare -rm sh -c 'mount -t tmpfs -o size=256k tmpfs \"$XDG_CONFIG_HOME\"' 2>/dev/null ||"
      "  exit 99;"
      "exec unshare -rm sh -c '"
      "  mount -t tmpfs -o size=256k tmpfs \"$XDG_CONFIG_HOME\" &&"
      "  \"$FR\" region add - 0 0 15 15 >/dev/null && \"$FR\" settings set method 2 >/dev/null &&"
      "  { cat /dev/zero > \"$XDG_CONFIG_HOME/filler\" 2>/dev/null; true; } &&"
      "  \"$FR\" region && \"$FR\" settings | head -n 1 &&"
      "  \"$FR\" render --width 32 --height 32 \"$HOME/clip.bgra\" \"$HOME/out.bgra\" >/dev/null &&"
      "  ! \"$FR\" region add + 1 1 9 9'");
  const Result result = run.Wait();
  if (result.code == 99) GTEST_SKIP() << "cannot mount a file system of its own here";
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out, "1. [ (0,0) - (15,15) ] -\nmethod = 2 (Simple interpolation)\n");
  EXPECT_TRUE(fs::exists(folder_.File("out.bgra")));
  EXPECT_EQ(result.err, "fieldrestore: the settings store at " + Store() +
                            " cannot be written (No space left on device)\n");
}

// A store the user may only read serves its values to every command that
// only reads, refuses writes with the reason, and leaves nothing beside it
// that would stop later runs.
TEST_F(CliProcessTest, AReadOnlyStoreIsReadAndLeftUsable) {
  // The test's own user, unless that is root, which may write anything.
  const int uid = geteuid() == 0 ? 65534 : -1;
  if (uid >= 0) {
    fs::create_directories(folder_.File("config"));
    ASSERT_EQ(chown(folder_.File("config").c_str(), uid, uid), 0);
  }
  const Result first = Run({"settings", "set", "method", "0"}, uid);
  if (first.code == 125 || first.code == 127) {
    GTEST_SKIP() << "cannot run " << FIELDRESTORE_EXE << " as user " << uid;
  }
  ASSERT_EQ(first.code, 0) << first.err;
  ASSERT_EQ(Run({"region", "add", "+", "0", "0", "15", "15"}, uid).code, 0);
  fs::permissions(Store(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

  const Result shown = Run({"settings"}, uid);
  EXPECT_EQ(shown.code, 0) << shown.err;
  EXPECT_NE(shown.out.find("method = 0 (None)"), std::string::npos) << shown.out;
  EXPECT_EQ(Run({"region"}, uid).out, "1. [ (0,0) - (15,15) ] +\n");
  const std::string clip = folder_.File("clip.bgra");
  ASSERT_EQ(Run({"sample", "--width", "32", "--height", "32", "--frames", "1", clip}).code, 0);
  const Result rendered = Run(
      {"render", "--width", "32", "--height", "32", clip, folder_.File("config/out.bgra")}, uid);
  EXPECT_EQ(rendered.code, 0) << rendered.err;
  EXPECT_EQ(rendered.err, "fieldrestore: warning: method 0 (None) copies every frame unchanged\n")
      << "the stored method, not the default";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"settings", "set", "area", "5"}, {"region", "add", "+", "1", "1", "9", "9"}}) {
    const Result refused = Run(args, uid);
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.err, "fieldrestore: the settings store at " + Store() +
                               " is read-only (attempt to write a readonly database)\n");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(Store()).parent_path()),
                          fs::directory_iterator()),
            1)
      << "no lock or log file is left beside the store";
  fs::permissions(Store(), fs::perms::owner_write, fs::perm_options::add);
  const Result written = Run({"settings", "set", "area", "5"}, uid);
  EXPECT_EQ(written.code, 0) << written.err;
}

}  // namespace
