// Reward variables end to end: the gens built from tests/models/ and the
// library's model files run in a temporary folder; the .pvtype they write
// gives each variable's kind and times.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

using testsupport::TempDir;

namespace {

// Runs the gen of models/<stem> with the further arguments; files go to the
// folder as <name>.*; experiment 0 unless the arguments say otherwise.
testsupport::RunResult runModel(const TempDir& dir, const std::string& stem, const std::string& name,
                                std::vector<std::string> args = {}) {
  const std::string gen = std::string(GEN_MODELS_DIR) + "/" + stem + "/gen";
  std::vector<std::string> words = {"-P" + dir.path() + "/", "-N" + name, "-B0"};
  words.insert(words.end(), args.begin(), args.end());
  return testsupport::runProgram(gen, words, dir.path());
}

}  // namespace

// Each kind by its number, with its intervals as Start/Stop pairs (an instant
// as Start = Stop) and no pairs at all for steady state.
TEST(RewardKinds, PvtypeGivesEachKindItsNumberAndTimes) {
  TempDir dir;
  const auto r = runModel(dir, "impulse_branches", "k");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testsupport::readFile(dir.file("k.pvtype")),
            "Version:1\nNumPV:4\n"
            "Name:on_inc\nType:0\nNumTimes:2\nStart:1\nStop:1\nStart:2.5\nStop:2.5\n"
            "Name:on_inc2\nType:1\nNumTimes:2\nStart:0\nStop:1\nStart:1e-07\nStop:0.5\n"
            "Name:n_averaged\nType:2\nNumTimes:1\nStart:0\nStop:2\n"
            "Name:n_steady\nType:3\nNumTimes:0\n");
}

namespace {

// A .umb read back: its tar members by name and what its index says.
struct Umb {
  std::map<std::string, std::string> files;
  std::string index;
  std::uint64_t states = 0, branches = 0;

  // A number of the index: the first "key": value.
  static std::uint64_t number(const std::string& index, const std::string& key) {
    std::smatch m;
    if (!std::regex_search(index, m, std::regex("\"" + key + "\": ([0-9]+)"))) return ~std::uint64_t{0};
    return std::stoull(m[1]);
  }
  template <typename T>
  std::vector<T> array(const std::string& name) const {
    const auto at = files.find(name);
    if (at == files.end()) return {};
    std::vector<T> values(at->second.size() / sizeof(T));
    std::memcpy(values.data(), at->second.data(), values.size() * sizeof(T));
    return values;
  }
};

// Reads the ustar members of `path`; fails the test on a malformed header.
Umb readUmb(const std::string& path) {
  const std::string tar = testsupport::readFile(path);
  Umb umb;
  std::size_t at = 0;
  while (at + 512 <= tar.size() && tar[at] != '\0') {
    const char* h = tar.data() + at;
    EXPECT_EQ(std::string(h + 257, 5), "ustar");
    const std::string name(h, strnlen(h, 100));
    const std::string prefix(h + 345, strnlen(h + 345, 155));
    const std::uint64_t size = std::stoull(std::string(h + 124, 11), nullptr, 8);
    const std::string member = prefix.empty() ? name : prefix + "/" + name;
    if (umb.files.empty()) {
      EXPECT_EQ(member, "index.json") << "index.json comes first";
    }
    umb.files[member] = tar.substr(at + 512, size);
    at += 512 + (size + 511) / 512 * 512;
  }
  EXPECT_EQ(tar.size(), at + 1024) << "two zero blocks end the tar";
  umb.index = umb.files["index.json"];
  umb.states = Umb::number(umb.index, "#states");
  umb.branches = Umb::number(umb.index, "#branches");
  return umb;
}

// The .arm's transitions: per state, its successors and rates.
std::vector<std::vector<std::pair<std::uint64_t, double>>> readArm(const std::string& path) {
  std::istringstream in(testsupport::readFile(path));
  std::string type, count;
  std::getline(in, type);
  std::getline(in, count);
  std::vector<std::vector<std::pair<std::uint64_t, double>>> rows(std::stoull(count));
  std::string line;
  std::uint64_t state = 0;
  bool inRecord = false;
  while (std::getline(in, line)) {
    if (line.find_first_not_of(' ') == std::string::npos) continue;
    const std::uint64_t n = std::stoull(line);
    if (!inRecord) {
      state = n;
      inRecord = true;
    } else if (n == 0) {
      inRecord = false;
    } else {
      std::getline(in, line);
      rows[state - 1].emplace_back(n, std::stod(line));
    }
  }
  return rows;
}

// The checks every .umb must pass: the index's schema, the arrays' sizes,
// row offsets, probabilities summing to 1 per state and giving back the
// .arm's rates, one initial state, valuations unique as the index says
// (not so where states differ only in an Erlang phase), and the reward
// arrays the index announces.
void checkUmb(const TempDir& dir, const std::string& name, bool uniqueValuations = true) {
  SCOPED_TRACE(name);
  const Umb umb = readUmb(dir.file(name + ".umb"));
  const auto arm = readArm(dir.file(name + ".arm"));
  const std::uint64_t R = umb.states, T = umb.branches;
  ASSERT_EQ(R, arm.size());
  for (const char* key :
       {"\"format-version\": 1", "\"format-revision\": 0", "\"time\": \"stochastic\"", "\"#players\": 0",
        "\"#initial-states\": 1", "\"#choice-actions\": 0", "\"#branch-actions\": 0", "\"#observations\": 0",
        "\"tool\": \"gen\"", "\"branch-probability-type\": {\"type\": \"double\", \"size\": 64}",
        "\"exit-rate-type\": {\"type\": \"double\", \"size\": 64}",
        uniqueValuations ? "\"unique\": true" : "\"unique\": false"})
    EXPECT_NE(umb.index.find(key), std::string::npos) << key;
  EXPECT_EQ(Umb::number(umb.index, "#choices"), R);
  EXPECT_EQ(umb.files.count("state-to-choices.bin"), 0u);

  const auto initial = umb.array<std::uint64_t>("state-is-initial.bin");
  ASSERT_EQ(initial.size(), (R + 63) / 64);
  EXPECT_EQ(initial[0], 1u);
  for (std::size_t i = 1; i < initial.size(); i++) EXPECT_EQ(initial[i], 0u);
  const auto exit = umb.array<double>("state-to-exit-rate.bin");
  const auto rows = umb.array<std::uint64_t>("choice-to-branches.bin");
  const auto targets = umb.array<std::uint64_t>("branch-to-target.bin");
  const auto probabilities = umb.array<double>("branch-to-probability.bin");
  ASSERT_EQ(exit.size(), R);
  ASSERT_EQ(rows.size(), R + 1);
  ASSERT_EQ(targets.size(), T);
  ASSERT_EQ(probabilities.size(), T);
  EXPECT_EQ(rows[0], 0u);
  EXPECT_EQ(rows[R], T);
  for (std::uint64_t s = 0; s < R; s++) {
    ASSERT_LE(rows[s], rows[s + 1]);
    ASSERT_EQ(rows[s + 1] - rows[s], arm[s].size()) << "state " << s + 1;
    double sum = 0;
    for (std::uint64_t b = rows[s]; b < rows[s + 1]; b++) {
      const auto& [successor, rate] = arm[s][b - rows[s]];
      EXPECT_EQ(targets[b], successor - 1);
      EXPECT_GT(probabilities[b], 0.0);
      EXPECT_NEAR(probabilities[b] * exit[s], rate, 1e-10 * rate);  // .arm has 11 digits
      sum += probabilities[b];
    }
    if (rows[s + 1] > rows[s])
      EXPECT_NEAR(sum, 1.0, 1e-12) << "state " << s + 1;
    else
      EXPECT_EQ(exit[s], 0.0);
  }

  const std::string valuations = umb.files.at("valuations/states/valuations.bin");
  const std::regex place("\"int\", \"size\": 16");
  const auto variables = static_cast<std::size_t>(
      std::distance(std::sregex_iterator(umb.index.begin(), umb.index.end(), place), std::sregex_iterator()));
  ASSERT_GT(variables, 0);
  ASSERT_EQ(valuations.size(), R * static_cast<std::uint64_t>(variables) * 2);
  std::set<std::string> distinct;
  for (std::uint64_t s = 0; s < R; s++) distinct.insert(valuations.substr(s * variables * 2, variables * 2));
  if (uniqueValuations)
    EXPECT_EQ(distinct.size(), R) << "valuations unique";
  else
    EXPECT_LT(distinct.size(), R) << "markings repeat with the phases";

  for (const auto& [file, bytes] : umb.files) {
    if (file.rfind("annotations/rewards/", 0) != 0) continue;
    const bool branches = file.find("/branches/values.bin") != std::string::npos;
    EXPECT_EQ(bytes.size(), (branches ? T : R) * 8) << file;
  }
}

}  // namespace

// Every CTMC model of the library: its .umb passes the reader's checks, and
// -U leaves the other files as they are without it.
TEST(Umb, EveryCtmcModelWritesAFileTheReaderAccepts) {
  const std::vector<std::pair<std::string, std::string>> runs = {
      {"kanban", "-B1"},        {"multiprocessor", "-B3"},   {"multiprocessor_join", "-B2"},
      {"tandem_erlang", "-B1"}, {"impulse_branches", "-B0"}, {"instant_impulse", "-B0"}};
  for (const auto& [stem, experiment] : runs) {
    TempDir with, without;
    const auto r = runModel(with, stem, stem, {experiment, "-U"});
    ASSERT_EQ(r.status, 0) << stem << ": " << r.err;
    checkUmb(with, stem, stem != "tandem_erlang");
    ASSERT_EQ(runModel(without, stem, stem, {experiment}).status, 0);
    for (const char* suffix : {".arm", ".var", ".pvtype"})
      EXPECT_EQ(testsupport::readFile(with.file(stem + suffix)), testsupport::readFile(without.file(stem + suffix)))
          << stem << suffix;
    EXPECT_FALSE(testsupport::fileExists(without.file(stem + ".umb")));
  }
}

// Two activities into one state, inc (rate 1) and inc2 (rate 2): an impulse
// of 5 on either is earned on the transition in proportion to its rate,
// 5/3 and 10/3, whichever fired first.
TEST(Umb, ImpulsesOfTwoActivitiesIntoOneStateAreWeighedByTheirRates) {
  TempDir dir;
  ASSERT_EQ(runModel(dir, "impulse_branches", "k", {"-U"}).status, 0);
  const Umb umb = readUmb(dir.file("k.umb"));
  EXPECT_EQ(umb.array<double>("annotations/rewards/on_inc/branches/values.bin"), (std::vector<double>{5.0 / 3, 0}));
  EXPECT_EQ(umb.array<double>("annotations/rewards/on_inc2/branches/values.bin"), (std::vector<double>{10.0 / 3, 0}));
  EXPECT_EQ(umb.array<double>("annotations/rewards/n_steady/states/values.bin"), (std::vector<double>{0, 1}));
  EXPECT_EQ(umb.files.count("annotations/rewards/on_inc/states/values.bin"), 0u);
  EXPECT_NE(umb.index.find("{\"name\": \"on_inc2\", \"annotation\": \"on_inc2\", \"kind\": \"interval\", "
                           "\"times\": [[0, 1], [1e-07, 0.5]]}"),
            std::string::npos);
  EXPECT_NE(umb.index.find("\"kind\": \"steady_state\", \"times\": []"), std::string::npos);
}

// A timed activity (go, impulse 1) followed by a zero-time choice between x
// (weight 1, impulse 4 in one variable) and y (weight 3, impulse 2 in the
// other), both into the same state: 4 * 1/4 = 1 and 1 + 2 * 3/4 = 2.5.
TEST(Umb, ImpulsesOnTheZeroTimePathAreWeighedByItsProbabilities) {
  TempDir dir;
  ASSERT_EQ(runModel(dir, "instant_impulse", "k", {"-U"}).status, 0);
  const Umb umb = readUmb(dir.file("k.umb"));
  EXPECT_EQ(umb.array<double>("annotations/rewards/x_only/branches/values.bin"), (std::vector<double>{1, 0}));
  EXPECT_EQ(umb.array<double>("annotations/rewards/path/branches/values.bin"), (std::vector<double>{2.5, 0}));
  EXPECT_EQ(umb.array<double>("annotations/rewards/path/states/values.bin"), (std::vector<double>{0, 1}));
}

// A model with deterministic delays: -U writes its .umb beside the other
// files, which stay byte for byte what they are without it.
TEST(Umb, DeterministicModelKeepsItsOtherFilesWithTheUmb) {
  TempDir with, without;
  const auto r = runModel(with, "lossy_link", "l", {"-B1", "-U"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(runModel(without, "lossy_link", "l", {"-B1"}).status, 0);
  for (const char* suffix : {".arm", ".var", ".det", ".pvtype"})
    EXPECT_EQ(testsupport::readFile(with.file(std::string("l") + suffix)),
              testsupport::readFile(without.file(std::string("l") + suffix)))
        << suffix;
  const std::string umb = testsupport::readFile(with.file("l.umb"));
  EXPECT_NE(umb.find("deterministic/branch-to-probability.bin"), std::string::npos);
  EXPECT_EQ(umb.find("\"time\": \"stochastic\""), std::string::npos);
}
