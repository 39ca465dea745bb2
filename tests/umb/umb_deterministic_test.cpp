// The deterministic part of a .umb: what the writer keeps apart from the
// exponential part comes back apart, and the index is one no CTMC reader
// takes for a CTMC.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "UmbReader.h"
#include "UmbWriter.h"

namespace {

std::string tempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "umb-det-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  return pattern + "/";
}

template <class T>
std::vector<T> all(std::span<const T> s) {
  return std::vector<T>(s.begin(), s.end());
}

TEST(UmbDeterministic, ExponentialAndDeterministicPartsComeBackApart) {
  const std::string dir = tempDir();
  umb::UmbWriter::Description d;
  d.modelName = "clock";
  d.places = {"n"};
  d.variables = {{"fires", umb::RewardKind::SteadyState, {}, false, true}};
  d.deterministic = true;
  d.activities = {"tick", "tock"};
  auto w = umb::UmbWriter::create(dir, "clock.umb", d);
  ASSERT_TRUE(w.ok()) << w.error().message;
  // State 0: rate 2 to state 1, and tick (delay 1.5) going to 0 with 1/4 and
  // to 1 with 3/4 (impulse 4 on the second). State 1: nothing exponential,
  // tock (delay 3) back to 0.
  const std::int16_t v0[] = {0}, v1[] = {1};
  const double rewards[] = {0, 0};
  const double none[] = {0}, four[] = {0.75 * 4};
  (*w)->addStateRewards(rewards);
  (*w)->beginState(v0, 2);
  (*w)->addBranch(1, 2, none);
  (*w)->addEnabling(0, 1.5);
  (*w)->addDeterministicBranch(0, 0.25, none);
  (*w)->addDeterministicBranch(1, 0.75, four);
  (*w)->endState();
  (*w)->addStateRewards(rewards);
  (*w)->beginState(v1, 0);
  (*w)->addEnabling(1, 3);
  (*w)->addDeterministicBranch(0, 1, none);
  (*w)->endState();
  const std::string path = dir + "clock.umb";
  ASSERT_TRUE((*w)->finish(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)).ok());

  auto r = umb::UmbReader::open(path);
  ASSERT_TRUE(r.ok()) << r.error().message;
  const umb::UmbReader& u = **r;
  ASSERT_TRUE(u.deterministic);
  EXPECT_EQ(all(u.exitRate), (std::vector<double>{2, 0}));
  EXPECT_EQ(all(u.target), (std::vector<std::uint64_t>{1}));
  const umb::DeterministicPart& det = u.det;
  EXPECT_EQ(det.activities, (std::vector<std::string>{"tick", "tock"}));
  EXPECT_EQ(all(det.stateStart), (std::vector<std::uint64_t>{0, 1, 2}));
  EXPECT_EQ(all(det.activity), (std::vector<std::uint64_t>{0, 1}));
  EXPECT_EQ(all(det.delay), (std::vector<double>{1.5, 3}));
  EXPECT_EQ(all(det.branchStart), (std::vector<std::uint64_t>{0, 2, 3}));
  EXPECT_EQ(all(det.target), (std::vector<std::uint64_t>{0, 1, 0}));
  EXPECT_EQ(all(det.probability), (std::vector<double>{0.25, 0.75, 1}));
  ASSERT_EQ(u.rewards.size(), 1u);
  EXPECT_EQ(all(u.rewards[0].deterministicValues), (std::vector<double>{0, 4, 0}));
  EXPECT_EQ(u.places, (std::vector<std::string>{"n"}));
  EXPECT_EQ(all(u.valuations), (std::vector<std::int16_t>{0, 1}));

  // What a reader of plain CTMCs sees: a time that is not "stochastic".
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  EXPECT_NE(bytes.str().find("\"time\": \"urgent-stochastic\", \"#players\": 0"), std::string::npos);
  std::filesystem::remove_all(dir);
}

}  // namespace
