#ifndef TEST_SUPPORT_H
#define TEST_SUPPORT_H

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// Helpers shared by the test programs.
namespace testsupport {

// A fresh directory under the system temporary folder, removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};

struct RunResult {
  int status = -1;  // exit status, or 128 + signal number when killed by a signal
  std::string out;
  std::string err;
};

// Runs the built `gen` with the given arguments in `workDir` (no shell
// involved), capturing standard output, standard error and the exit status.
// `fileSizeLimit`, when positive, is applied as RLIMIT_FSIZE to the child with
// SIGXFSZ ignored, so that writes beyond it fail with EFBIG.
RunResult runGen(const std::vector<std::string>& args, const std::string& workDir, long fileSizeLimit = 0);
// The same for another program, such as the gen of a model file.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& workDir,
                     long fileSizeLimit = 0);

// A thread that keeps a core busy (a plain loop at normal priority) for as
// long as it lives, as another job on a shared machine would.
class BusyLoop {
 public:
  BusyLoop();
  ~BusyLoop();
  BusyLoop(const BusyLoop&) = delete;
  BusyLoop& operator=(const BusyLoop&) = delete;

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Sets an environment variable for as long as it lives, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  bool wasSet_;
  std::string old_;
};

std::string readFile(const std::string& path);
// Whether two files hold the same bytes, read in blocks (they may be
// hundreds of MB); false when either cannot be read.
bool sameFileBytes(const std::string& a, const std::string& b);
bool fileExists(const std::string& path);
std::vector<std::string> splitLines(const std::string& text);

// prefix followed by the decimal digits of n ("p" and 3 make "p3"). Built by
// appending, which g++ 12 compiles without a false -Wrestrict warning.
std::string numbered(const char* prefix, long n);

// Orders byte strings lexicographically, byte by byte (g++ 12 warns falsely
// about the memcmp of std::vector's own operator<).
bool bytesBefore(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b);

}  // namespace testsupport

#endif
