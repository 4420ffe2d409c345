// The command line as separate processes: edits from processes running side
// by side, and settings stores that cannot be used as they should (locked,
// corrupt, a folder, read-only for the user).
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

// How a child runs: as another user, who may run no more than
// `max_processes` processes and threads, what its standard input reads,
// and variables of its environment besides the test's.
struct ChildSetup {
  int uid = -1;
  rlim_t max_processes = RLIM_INFINITY;
  std::string input = "/dev/null";
  std::map<std::string, std::string> env;
};

// One fieldrestore process (or a shell running several), with its own
// store folder.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
        const std::string& output_stem, const ChildSetup& setup = {})
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
    const int in = open(setup.input.c_str(), O_RDONLY);
    if (out < 0 || err < 0 || in < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    const int uid = setup.uid;
    if (uid >= 0 && (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0)) {
      _exit(125);
    }
    const rlimit processes{setup.max_processes, setup.max_processes};
    if (setup.max_processes != RLIM_INFINITY && setrlimit(RLIMIT_NPROC, &processes) != 0) {
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
  pid_t pid() const { return pid_; }
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
  Child Start(std::vector<std::string> args, const ChildSetup& setup = {}) {
    args.insert(args.begin(), FIELDRESTORE_EXE);
    std::map<std::string, std::string> env = Env();
    env.insert(setup.env.begin(), setup.env.end());
    return Child(args, env, folder_.File("run" + std::to_string(++runs_)), setup);
  }
  Result Run(const std::vector<std::string>& args, const ChildSetup& setup = {}) {
    return Start(args, setup).Wait();
  }
  Result Run(const std::vector<std::string>& args, int uid) {
    ChildSetup setup;
    setup.uid = uid;
    return Run(args, setup);
  }
  // The test's own user, unless that is root, whom no limit and no
  // permission holds back: then a user of no rights, who owns `folders`.
  int UnprivilegedUser(const std::vector<std::string>& folders) {
    if (geteuid() != 0) return -1;
    constexpr int kNobody = 65534;
    for (const std::string& folder : folders) {
      fs::create_directories(folder_.File(folder));
      EXPECT_EQ(chown(folder_.File(folder).c_str(), kNobody, kNobody), 0);
    }
    return kNobody;
  }
  Child Shell(const std::string& script, const std::map<std::string, std::string>& variables = {}) {
    std::map<std::string, std::string> env = Env();
    env.insert(variables.begin(), variables.end());
    return Child({"/bin/sh", "-c", script}, env, folder_.File("run" + std::to_string(++runs_)));
  }
  std::vector<std::string> Names(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_.File(folder))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
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
  const int uid = UnprivilegedUser({"config"});
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

// A render whose threads the system refuses goes on with the threads it
// has (here only the calling one) and says so; it neither aborts nor leaves
// a file behind.
TEST_F(CliProcessTest, ARenderGoesOnWithTheThreadsTheSystemGrants) {
  const int uid = UnprivilegedUser({"config", "out"});
  const std::string clip = folder_.File("clip.bgra");
  ASSERT_EQ(Run({"sample", "--width", "64", "--height", "48", "--frames", "6", clip}).code, 0);
  const auto render = [&](const char* threads, const char* name, rlim_t max_processes) {
    // (The leak check of a sanitized build needs a thread of its own.)
    return Run({"render", "--threads", threads, "--width", "64", "--height", "48", clip,
                folder_.File(std::string("out/") + name)},
               ChildSetup{uid, max_processes, "/dev/null", {{"ASAN_OPTIONS", "detect_leaks=0"}}});
  };
  const Result one = render("1", "one.bgra", RLIM_INFINITY);
  if (one.code == 125 || one.code == 127) GTEST_SKIP() << "cannot run as user " << uid;
  ASSERT_EQ(one.code, 0) << one.err;
  const Result four = render("4", "four.bgra", 1);
  EXPECT_EQ(four.code, 0);
  EXPECT_EQ(four.err,
            "fieldrestore: warning: only 1 of 4 render threads could be started (Resource "
            "temporarily unavailable); the render went on with 1\n");
  EXPECT_EQ(test::ReadFileBytes(folder_.File("out/four.bgra")),
            test::ReadFileBytes(folder_.File("out/one.bgra")));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.File("out")), fs::directory_iterator()),
            2);
}

// A render stopped at any thread count leaves OUT as it was and nothing
// beside it: SIGINT, SIGTERM and SIGHUP end it as they would, and not even
// SIGKILL leaves its new file behind.
TEST_F(CliProcessTest, AnInterruptedRenderLeavesNothingBehind) {
  constexpr size_t kFrame = 4 * 64 * 64;
  const std::string clip = folder_.File("clip.bgra"), out = folder_.File("out/out.bgra");
  ASSERT_EQ(Run({"sample", "--width", "64", "--height", "64", "--frames", "20", clip}).code, 0);
  const std::string frames = test::ReadFileBytes(clip);
  const std::string fifo = folder_.File("frames");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directories(folder_.File("out"));
  const auto old_sigpipe = signal(SIGPIPE, SIG_IGN);  // a render that ends early
  for (const char* threads : {"1", "2", "4"}) {
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
      SCOPED_TRACE(std::string(threads) + " threads, signal " + std::to_string(signal_number));
      test::WriteFileBytes(out, "old");
      ChildSetup from_fifo;
      from_fifo.input = fifo;
      Child render = Start(
          {"render", "--threads", threads, "--width", "64", "--height", "64", "-", out}, from_fifo);
      // More frames than the pipe holds: the render has taken most of them
      // and is writing its new file when the last is in the pipe.
      const int pipe = open(fifo.c_str(), O_WRONLY);
      ASSERT_GE(pipe, 0);
      EXPECT_EQ(write(pipe, frames.data(), frames.size()), static_cast<ssize_t>(20 * kFrame));
      kill(render.pid(), signal_number);
      close(pipe);
      const Result stopped = render.Wait();
      EXPECT_EQ(stopped.code, 128 + signal_number) << stopped.err;
      EXPECT_EQ(Names("out"), std::vector<std::string>{"out.bgra"});
      EXPECT_EQ(test::ReadFileBytes(out), "old");
    }
  }
  signal(SIGPIPE, old_sigpipe);
}

// On a full disk (a small file system of a mount namespace of its own)
// each command says so and leaves the files that were there as they were.
TEST_F(CliProcessTest, AFullDiskIsNamedAndLeavesTheOldFiles) {
  const std::string clip = folder_.File("clip.bgra"), big = folder_.File("big.bgra");
  ASSERT_EQ(Run({"sample", "--width", "64", "--height", "64", "--frames", "16", clip}).code, 0);
  ASSERT_EQ(Run({"sample", "--width", "720", "--height", "576", "--frames", "1", big}).code, 0);
  fs::create_directories(folder_.File("disk"));
  const Result run = Shell(R"(unshare -rm sh -c '
          mount -t tmpfs -o size=256k tmpfs "$DISK" || exit 99
          printf old >"$DISK/old.png"; printf old >"$DISK/out.bgra"
          dd if=/dev/zero of="$DISK/filler" bs=4096 count=40 2>/dev/null
          "$FR" sample --width 64 --height 64 --frames 8 "$DISK/clip.bgra"; echo "sample $?"
          "$FR" render --width 64 --height 64 "$CLIP" "$DISK/out.bgra"; echo "render $?"
          "$FR" png --width 720 --height 576 "$BIG" 0 "$DISK/old.png"; echo "png $?"
          ls -A "$DISK"; cat "$DISK/old.png" "$DISK/out.bgra"')",
                           {{"DISK", folder_.File("disk")}, {"CLIP", clip}, {"BIG", big}})
                         .Wait();
  if (run.code != 0) GTEST_SKIP() << "no mount namespace with a file system of its own here";
  const std::string disk = folder_.File("disk");
  EXPECT_EQ(run.out, "sample 1\nrender 1\npng 1\nfiller\nold.png\nout.bgra\noldold");
  EXPECT_EQ(run.err, "fieldrestore: cannot write " + disk +
                         "/clip.bgra: No space left on device\n"
                         "fieldrestore: cannot write " +
                         disk +
                         "/out.bgra: No space left on device\n"
                         "fieldrestore: cannot write " +
                         disk + "/old.png: No space left on device\n");
}

}  // namespace
