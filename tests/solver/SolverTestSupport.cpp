#include "SolverTestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "Schema.h"
#include "Tar.h"

namespace solvertest {

namespace {

template <typename T>
std::string bytesOf(const std::vector<T>& values) {
  return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}

}  // namespace

std::vector<Member> umbMembers(const TestChain& c) {
  std::vector<std::uint64_t> rowStart{0}, target;
  std::vector<double> exit, probability;
  // Successors in increasing order, as gen writes them.
  std::vector<std::vector<std::pair<int, double>>> sorted = c.out;
  for (auto& row : sorted) std::sort(row.begin(), row.end());
  for (const auto& row : sorted) {
    double sum = 0;
    for (const auto& [to, r] : row) sum += r;
    exit.push_back(sum);
    for (const auto& [to, r] : row) {
      target.push_back(static_cast<std::uint64_t>(to));
      probability.push_back(r / sum);
    }
    rowStart.push_back(target.size());
  }
  std::vector<std::uint64_t> initial((c.states + 63) / 64, 0);
  initial[c.initial / 64] |= std::uint64_t{1} << (c.initial % 64);

  umb::Index index;
  index.modelName = "test";
  index.tool = "test";
  index.states = static_cast<std::uint64_t>(c.states);
  index.branches = target.size();
  std::vector<Member> files;
  for (const TestReward& r : c.rewards) {
    const std::string id = umb::annotationId(r.name);
    if (!r.rates.empty()) files.push_back({umb::rewardValuesMember(id, umb::AppliesTo::States), bytesOf(r.rates)});
    if (!r.impulses.empty()) {
      std::vector<double> values;
      for (int s = 0; s < c.states; s++)
        for (const auto& [to, rate] : sorted[s]) {
          auto it = r.impulses.find({s, to});
          values.push_back(it == r.impulses.end() ? 0.0 : it->second);
        }
      files.push_back({umb::rewardValuesMember(id, umb::AppliesTo::Branches), bytesOf(values)});
    }
    const umb::RewardKind kind = umb::kindFromName(r.kind).value();
    index.rewards.push_back({id, r.name, umb::rewardDescription(kind, r.times), !r.rates.empty(), !r.impulses.empty()});
    index.variables.push_back({r.name, id, kind, r.times});
  }
  std::vector<Member> members{{std::string(umb::kIndexMember), umb::writeIndex(index)},
                              {std::string(umb::kStateIsInitial), bytesOf(initial)},
                              {std::string(umb::kStateToExitRate), bytesOf(exit)},
                              {std::string(umb::kChoiceToBranches), bytesOf(rowStart)},
                              {std::string(umb::kBranchToTarget), bytesOf(target)},
                              {std::string(umb::kBranchToProbability), bytesOf(probability)}};
  members.insert(members.end(), files.begin(), files.end());
  return members;
}

std::string tar(const std::vector<Member>& members) {
  std::string out;
  for (const Member& m : members) {
    char h[umb::kTarBlock];
    umb::tarHeader(h, m.name, m.bytes.size(), 0);
    out.append(h, umb::kTarBlock);
    out += m.bytes;
    out.append((umb::kTarBlock - m.bytes.size() % umb::kTarBlock) % umb::kTarBlock, '\0');
  }
  out.append(1024, '\0');
  return out;
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

void writeRun(const std::string& dir, const std::string& name, const TestChain& chain) {
  writeFile(dir + "/" + name + ".umb", tar(umbMembers(chain)));
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "solve-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

SolveRun runSolve(const std::vector<std::string>& args, const std::string& dir, const std::function<void()>& inChild,
                  const std::function<void(int)>& whileRunning) {
  const std::string outPath = dir + "/.stdout", errPath = dir + "/.stderr";
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    const int o = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0) _exit(126);
    dup2(o, 1);
    dup2(e, 2);
    alarm(60);
    if (inChild) inChild();
    std::vector<char*> argv{const_cast<char*>(SOLVE_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(SOLVE_BINARY, argv.data());
    _exit(127);
  }
  if (whileRunning) whileRunning(child);
  int status = 0;
  waitpid(child, &status, 0);
  SolveRun r;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = readFile(outPath);
  r.err = readFile(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return r;
}

}  // namespace solvertest
