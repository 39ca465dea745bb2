// What a run leaves when it cannot finish: the built gen run in a temporary
// folder, with write failures, a file-size limit, a signal in the middle, a
// concurrent run on the same prefix and refused trace files. A failed run
// leaves no temporaries and no result files, and an earlier run's results
// stay as they were.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace {

using testsupport::readFile;
using testsupport::RunResult;
using testsupport::TempDir;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> temporaries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(".gen-", 0) == 0) names.push_back(name);
  }
  return names;
}

// gen started in `dir` with its output captured in files; `beforeExec` runs
// in the child, which keeps its process id through exec.
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::string& dir, long fileSizeLimit = 0,
        const std::function<void()>& beforeExec = {}) {
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      const int out = open(capture_.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = open(capture_.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(127);
      dup2(out, 1);
      dup2(err, 2);
      // Whatever the test runner ignores, the run starts with the defaults.
      for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) signal(s, SIG_DFL);
      if (fileSizeLimit > 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
        setrlimit(RLIMIT_FSIZE, &limit);
      }
      if (beforeExec) beforeExec();
      std::vector<std::string> words{GEN_BINARY};
      words.insert(words.end(), args.begin(), args.end());
      std::vector<char*> argv;
      for (auto& w : words) argv.push_back(w.data());
      argv.push_back(nullptr);
      execv(GEN_BINARY, argv.data());
      _exit(127);
    }
  }
  pid_t pid() const { return pid_; }
  // Waits until a temporary appears in `dir`; false when the run ended first.
  bool waitForTemporary(const std::string& dir) {
    while (temporaries(dir).empty()) {
      if (waitpid(pid_, &status_, WNOHANG) == pid_) {
        ended_ = true;
        return false;
      }
      std::this_thread::yield();
    }
    return true;
  }
  // Waits for the end: the exit status, or 128 + the signal that ended it.
  RunResult wait() {
    if (!ended_) waitpid(pid_, &status_, 0);
    const int status = status_;
    RunResult r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = readFile(capture_.file("out"));
    r.err = readFile(capture_.file("err"));
    return r;
  }

 private:
  TempDir capture_;
  pid_t pid_ = -1;
  int status_ = 0;
  bool ended_ = false;
};

// Every file in `dir` with its contents.
std::map<std::string, std::string> snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    files[entry.path().filename().string()] = readFile(entry.path().string());
  return files;
}

class ResultFilesE2E : public ::testing::Test {
 protected:
  std::vector<std::string> args(const std::string& experiment, const std::vector<std::string>& more = {}) const {
    std::vector<std::string> a{"-P" + dir.path() + "/", "-Nx", "-B" + experiment};
    a.insert(a.end(), more.begin(), more.end());
    return a;
  }
  // A complete run of experiment 0: the earlier results a failed run must keep.
  std::map<std::string, std::string> earlierResults() {
    RunResult r = Child(args("0"), dir.path()).wait();
    EXPECT_EQ(r.status, 0) << r.err;
    auto files = snapshot(dir.path());
    int results = 0;
    for (const auto& [name, contents] : files) results += name.rfind("x.", 0) == 0;
    EXPECT_EQ(results, 5);  // .pvtype .arm .var .det and the lock file
    return files;
  }
  void expectUntouched(const std::map<std::string, std::string>& before) {
    EXPECT_TRUE(snapshot(dir.path()) == before);
    EXPECT_TRUE(temporaries(dir.path()).empty());
  }
  TempDir dir;
};

// Links planted where a temporary used to be named (the process id alone
// is easy to guess) are neither written through nor renamed into place: the
// run writes new files of its own under names with a random part, and the
// file a link points at keeps its contents.
TEST_F(ResultFilesE2E, LinksAtPredictableTemporaryNamesAreNotFollowed) {
  const std::string d = dir.path();
  TempDir elsewhere;
  const std::string victim = elsewhere.file("victim");
  std::ofstream(victim) << "precious\n";
  const std::vector<std::string> suffixes{".pvtype", ".arm", ".var", ".det"};
  RunResult r = Child(args("0"), d, 0, [&] {
                  for (const std::string& suffix : suffixes) {
                    const std::string planted = d + "/.gen-" + std::to_string(getpid()) + suffix + ".tmp";
                    if (symlink(victim.c_str(), planted.c_str()) != 0) _exit(126);
                  }
                }).wait();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(victim), "precious\n");
  for (const std::string& suffix : suffixes) {
    const std::filesystem::path result = d + "/x" + suffix;
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(result))) << suffix;
    EXPECT_NE(readFile(result.string()), "precious\n") << suffix;
  }
  // The planted links are still there, untouched; nothing else is left.
  EXPECT_EQ(temporaries(d).size(), suffixes.size());
}

// A temporary's name carries 64 random bits beside the process id.
TEST_F(ResultFilesE2E, TemporaryNamesHaveARandomPart) {
  Child run(args("3"), dir.path());
  ASSERT_TRUE(run.waitForTemporary(dir.path()));
  const std::vector<std::string> names = temporaries(dir.path());
  kill(run.pid(), SIGTERM);
  run.wait();
  ASSERT_FALSE(names.empty());
  const std::regex pattern("\\.gen-" + std::to_string(run.pid()) + "-[0-9a-f]{16}\\.(pvtype|arm|var|det)\\.tmp");
  for (const std::string& name : names) EXPECT_TRUE(std::regex_match(name, pattern)) << name;
}

TEST_F(ResultFilesE2E, FileSizeLimitLeavesEarlierResults) {
  const auto before = earlierResults();
  RunResult r = Child(args("3"), dir.path(), 1 << 20).wait();
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "failed: File too large")) << r.err;
  expectUntouched(before);
}

TEST_F(ResultFilesE2E, SignalInTheMiddleEndsTheRunWithThatSignal) {
  const auto before = earlierResults();
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    Child run(args("3"), dir.path());
    ASSERT_TRUE(run.waitForTemporary(dir.path()));
    kill(run.pid(), signal);
    RunResult r = run.wait();
    EXPECT_EQ(r.status, 128 + signal) << r.out << r.err;
    expectUntouched(before);
  }
}

TEST_F(ResultFilesE2E, SecondRunOnTheSamePrefixIsRefused) {
  Child first(args("3"), dir.path());
  ASSERT_TRUE(first.waitForTemporary(dir.path()));
  RunResult second = Child(args("0"), dir.path()).wait();
  EXPECT_EQ(second.status, 1);
  EXPECT_TRUE(contains(
      second.err, "Error: Another run is writing " + dir.path() + "/x.* (lock file " + dir.path() + "/x.lock is held)"))
      << second.err;
  EXPECT_FALSE(contains(second.out, "The Global Variable values")) << second.out;

  RunResult r = first.wait();
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = testsupport::splitLines(readFile(dir.file("x.arm")));
  ASSERT_GT(lines.size(), 3u);
  EXPECT_EQ(lines[1], "1572861");
  EXPECT_EQ(lines.back(), "0");
  EXPECT_TRUE(temporaries(dir.path()).empty());
  // Another name in the same directory is another prefix.
  EXPECT_EQ(Child({"-P" + dir.path() + "/", "-Ny", "-B0"}, dir.path()).wait().status, 0);
}

// Trace files that cannot be opened or that are one of the run's own files
// are refused before anything is printed or created.
TEST_F(ResultFilesE2E, TraceFileRefusals) {
  const std::string d = dir.path();
  ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(dir.file("sub/y.arm").c_str(), 0700), 0);
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"-P./", "-Nx", "-t", "x.arm", "-l1"}, "Error: The trace file x.arm is the run's own file ./x.arm"},
      {{"-P./", "-Nx", "-tx.lock", "-l1"}, "Error: The trace file x.lock is the run's own file ./x.lock"},
      {{"-P" + d + "/sub/../", "-Nx", "-t" + d + "/x.var"}, "is the run's own file " + d + "/sub/../x.var"},
      {{"-P./", "-Nx", "-tmissing/trace.txt", "-l1"},
       "Error: Could not open trace file missing/trace.txt: No such file or directory"},
      {{"-P./", "-Nx", "-tsub", "-l1"}, "Error: Could not open trace file sub: Is a directory"},
      {{"-P./", "-N" + std::string(250, 'n'), "-B0"}, ".pvtype: File name too long"},
      {{"-P./", "-Nsub/y", "-B0"}, "Error: Could not open output file ./sub/y.arm: Is a directory"},
  };
  for (const Case& c : cases) {
    RunResult r = Child(c.args, d).wait();
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_TRUE(contains(r.err, c.message)) << r.err;
    EXPECT_FALSE(contains(r.out, "The Global Variable values")) << r.out;
    EXPECT_EQ(snapshot(d).size(), 1u) << c.message;           // only "sub"
    EXPECT_EQ(snapshot(d + "/sub").size(), 1u) << c.message;  // only "y.arm"
  }

  // A link to an earlier result is that result: refused, and the result kept.
  const auto before = earlierResults();
  ASSERT_EQ(link(dir.file("x.arm").c_str(), dir.file("hard").c_str()), 0);
  ASSERT_EQ(symlink("x.var", dir.file("soft").c_str()), 0);
  ASSERT_EQ(symlink("x.det", dir.file("sub/dangling").c_str()), 0);  // sub/x.det does not exist
  ASSERT_EQ(symlink("../x.det", dir.file("sub/up").c_str()), 0);
  for (const std::string trace : {"hard", "soft", "sub/up"}) {
    RunResult r = Child({"-P./", "-Nx", "-t" + trace, "-l1"}, d).wait();
    EXPECT_EQ(r.status, 1) << trace;
    EXPECT_TRUE(contains(r.err, "Error: The trace file " + trace + " is the run's own file")) << r.err;
  }
  // A trace that cannot be written is a failed run as well.
  RunResult full = Child({"-P./", "-Nx", "-t/dev/full", "-l1"}, d).wait();
  EXPECT_EQ(full.status, 1);
  EXPECT_TRUE(contains(full.err, "Error: writing trace file /dev/full failed")) << full.err;
  EXPECT_TRUE(temporaries(d).empty());
  EXPECT_EQ(readFile(dir.file("x.arm")), before.at("x.arm"));
  EXPECT_EQ(readFile(dir.file("x.var")), before.at("x.var"));
  EXPECT_EQ(readFile(dir.file("x.det")), before.at("x.det"));
  // A dangling link elsewhere is an ordinary new trace file.
  EXPECT_EQ(Child({"-P./", "-Nx", "-tsub/dangling", "-l1"}, d).wait().status, 0);
  EXPECT_TRUE(contains(readFile(dir.file("sub/x.det")), "Generated: 13 states"));
}

}  // namespace
