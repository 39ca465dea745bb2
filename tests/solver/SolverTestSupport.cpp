#include "SolverTestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
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

namespace solvertest {

namespace {

template <typename T>
std::string bytesOf(const std::vector<T>& values) {
  return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string num(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string idOf(const std::string& name) {
  std::string id;
  for (char c : name) {
    const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    id += ((l >= '0' && l <= '9') || (l >= 'a' && l <= 'z') || l == '_' || l == '-') ? l : '_';
  }
  return id;
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

  std::vector<Member> files;
  std::string annotations, described;
  for (const TestReward& r : c.rewards) {
    const std::string id = idOf(r.name);
    std::string applies;
    if (!r.rates.empty()) {
      applies += "\"states\"";
      files.push_back({"annotations/rewards/" + id + "/states/values.bin", bytesOf(r.rates)});
    }
    if (!r.impulses.empty()) {
      std::vector<double> values;
      for (int s = 0; s < c.states; s++)
        for (const auto& [to, rate] : sorted[s]) {
          auto it = r.impulses.find({s, to});
          values.push_back(it == r.impulses.end() ? 0.0 : it->second);
        }
      applies += std::string(applies.empty() ? "" : ", ") + "\"branches\"";
      files.push_back({"annotations/rewards/" + id + "/branches/values.bin", bytesOf(values)});
    }
    if (!annotations.empty()) annotations += ", ";
    annotations += jsonString(id) + ": {\"alias\": " + jsonString(r.name) + ", \"applies-to\": [" + applies +
                   "], \"type\": {\"type\": \"double\", \"size\": 64}}";
    std::string times;
    for (const auto& [a, b] : r.times) times += std::string(times.empty() ? "" : ", ") + "[" + num(a) + ", " + num(b) + "]";
    if (!described.empty()) described += ", ";
    described += "{\"name\": " + jsonString(r.name) + ", \"annotation\": " + jsonString(id) + ", \"kind\": " +
                 jsonString(r.kind) + ", \"times\": [" + times + "]}";
  }
  const std::string index =
      "{\n  \"format-version\": 1, \"format-revision\": 0,\n  \"model-data\": {\"name\": \"test\"},\n"
      "  \"file-data\": {\"tool\": \"test\", \"creation-date\": 0},\n"
      "  \"transition-system\": {\"time\": \"stochastic\", \"#players\": 0, \"#states\": " +
      std::to_string(c.states) + ", \"#initial-states\": 1, \"#choices\": " + std::to_string(c.states) +
      ", \"#choice-actions\": 0, \"#branches\": " + std::to_string(target.size()) +
      ", \"#branch-actions\": 0, \"#observations\": 0, \"branch-probability-type\": {\"type\": \"double\", \"size\": 64},"
      " \"exit-rate-type\": {\"type\": \"double\", \"size\": 64}},\n"
      "  \"annotations\": {\"rewards\": {" + annotations + "}},\n"
      "  \"gen-reward-variables\": [" + described + "]\n}\n";
  std::vector<Member> members{{"index.json", index},
                              {"state-is-initial.bin", bytesOf(initial)},
                              {"state-to-exit-rate.bin", bytesOf(exit)},
                              {"choice-to-branches.bin", bytesOf(rowStart)},
                              {"branch-to-target.bin", bytesOf(target)},
                              {"branch-to-probability.bin", bytesOf(probability)}};
  members.insert(members.end(), files.begin(), files.end());
  return members;
}

std::string tar(const std::vector<Member>& members) {
  std::string out;
  for (const Member& m : members) {
    char h[512] = {};
    std::snprintf(h, 100, "%s", m.name.c_str());
    std::snprintf(h + 100, 8, "%07o", 0644);
    std::snprintf(h + 108, 8, "%07o", 0);
    std::snprintf(h + 116, 8, "%07o", 0);
    std::snprintf(h + 124, 12, "%011llo", static_cast<unsigned long long>(m.bytes.size()));
    std::snprintf(h + 136, 12, "%011o", 0);
    h[156] = '0';
    std::memcpy(h + 257, "ustar", 6);
    std::memcpy(h + 263, "00", 2);
    std::memset(h + 148, ' ', 8);
    unsigned sum = 0;
    for (unsigned char ch : std::string(h, 512)) sum += ch;
    std::snprintf(h + 148, 8, "%06o", sum);
    out.append(h, 512);
    out += m.bytes;
    out.append((512 - m.bytes.size() % 512) % 512, '\0');
  }
  out.append(1024, '\0');
  return out;
}

std::string pvtype(const TestChain& c) {
  std::ostringstream o;
  o << "Version:1\nNumPV:" << c.rewards.size() << "\n";
  for (const TestReward& r : c.rewards) {
    const int type = r.kind == "instant" ? 0 : r.kind == "interval" ? 1 : r.kind == "time_averaged" ? 2 : 3;
    o << "Name:" << r.name << "\nType:" << type << "\nNumTimes:" << r.times.size() << "\n";
    for (const auto& [a, b] : r.times) o << "Start:" << a << "\nStop:" << b << "\n";
  }
  return o.str();
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
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0;
}

void writeRun(const std::string& dir, const std::string& name, const TestChain& chain) {
  writeFile(dir + "/" + name + ".umb", tar(umbMembers(chain)));
  writeFile(dir + "/" + name + ".pvtype", pvtype(chain));
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
