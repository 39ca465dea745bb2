#ifndef TEST_SUPPORT_H
#define TEST_SUPPORT_H

#include <string>
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
RunResult runGen(const std::vector<std::string>& args, const std::string& workDir,
                 long fileSizeLimit = 0);
// The same for another program, such as the gen of a model file.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& workDir,
                     long fileSizeLimit = 0);

std::string readFile(const std::string& path);
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
