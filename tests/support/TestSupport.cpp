#include "TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "gen-test-XXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }

static std::string slurp(int fd) {
  std::string data;
  char buf[65536];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) data.append(buf, static_cast<size_t>(n));
  return data;
}

RunResult runGen(const std::vector<std::string>& args, const std::string& workDir, long fileSizeLimit) {
  return runProgram(GEN_BINARY, args, workDir, fileSizeLimit);
}

RunResult runProgram(const std::string& programPath, const std::vector<std::string>& args, const std::string& workDir,
                     long fileSizeLimit) {
  // Capture through temporary files rather than pipes: the child may write a
  // lot to either stream and we must not deadlock.
  TempDir capture;
  std::string outPath = capture.file("stdout"), errPath = capture.file("stderr");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || chdir(workDir.c_str()) != 0) _exit(127);
    dup2(out, 1);
    dup2(err, 2);
    if (fileSizeLimit > 0) {
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit lim;
      lim.rlim_cur = lim.rlim_max = static_cast<rlim_t>(fileSizeLimit);
      setrlimit(RLIMIT_FSIZE, &lim);
    }
    std::vector<char*> argv;
    std::string program = programPath;
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  RunResult result;
  if (WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    result.status = 128 + WTERMSIG(status);
  int fd = open(outPath.c_str(), O_RDONLY);
  if (fd >= 0) {
    result.out = slurp(fd);
    close(fd);
  }
  fd = open(errPath.c_str(), O_RDONLY);
  if (fd >= 0) {
    result.err = slurp(fd);
    close(fd);
  }
  return result;
}

BusyLoop::BusyLoop()
    : thread_([this] {
        while (!stop_.load(std::memory_order_relaxed)) {
        }
      }) {}

BusyLoop::~BusyLoop() {
  stop_.store(true, std::memory_order_relaxed);
  thread_.join();
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name), wasSet_(std::getenv(name)) {
  if (wasSet_) old_ = std::getenv(name);
  ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (wasSet_)
    ::setenv(name_, old_.c_str(), 1);
  else
    ::unsetenv(name_);
}

bool sameFileBytes(const std::string& a, const std::string& b) {
  std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
  if (!first || !second) return false;
  std::vector<char> x(1 << 20), y(1 << 20);
  for (;;) {
    first.read(x.data(), static_cast<std::streamsize>(x.size()));
    second.read(y.data(), static_cast<std::streamsize>(y.size()));
    if (first.gcount() != second.gcount() || !std::equal(x.begin(), x.begin() + first.gcount(), y.begin()))
      return false;
    if (first.gcount() == 0) return true;
  }
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    auto nl = text.find('\n', start);
    if (nl == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return lines;
}

std::string numbered(const char* prefix, long n) {
  std::string text(prefix);
  text += std::to_string(n);
  return text;
}

bool bytesBefore(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; i++)
    if (a[i] != b[i]) return a[i] < b[i];
  return a.size() < b.size();
}

}  // namespace testsupport
