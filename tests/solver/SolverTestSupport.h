#ifndef SOLVER_TEST_SUPPORT_H
#define SOLVER_TEST_SUPPORT_H

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Test support for the solver: a writer of small .umb files (an uncompressed
// tar as gen -U writes it, through the format's schema) built from chains
// given by hand, and a runner of the built `solve`.
namespace solvertest {

struct TestReward {
  std::string name;
  std::string kind = "instant";  // instant, interval, time_averaged, steady_state
  std::vector<std::pair<double, double>> times;
  std::vector<double> rates;                       // per state (empty: no rate part)
  std::map<std::pair<int, int>, double> impulses;  // per transition (empty: no impulse part)
};

struct TestChain {
  int states = 0;
  int initial = 0;
  std::vector<std::vector<std::pair<int, double>>> out;  // per state: (target, rate)
  std::vector<TestReward> rewards;

  explicit TestChain(int n) : states(n), out(n) {}
  TestChain& rate(int from, int to, double r) {
    out[from].emplace_back(to, r);
    return *this;
  }
};

struct Member {
  std::string name;
  std::string bytes;
};

// The .umb's members, index.json first; tests may change them before tar().
std::vector<Member> umbMembers(const TestChain& chain);
std::string tar(const std::vector<Member>& members);

// Writes dir/<name>.umb.
void writeRun(const std::string& dir, const std::string& name, const TestChain& chain);
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct SolveRun {
  int status = -1;
  std::string out, err;
};
// Runs the built solve with these arguments in `dir`. `inChild` runs in the
// child before solve starts (limits, environment); `whileRunning` in the
// test with solve's process id, before the test waits for it. Every run is
// bounded: an alarm ends a solve still running after a minute.
SolveRun runSolve(const std::vector<std::string>& args, const std::string& dir,
                  const std::function<void()>& inChild = {}, const std::function<void(int)>& whileRunning = {});

}  // namespace solvertest

#endif
