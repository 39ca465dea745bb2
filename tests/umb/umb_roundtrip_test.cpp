// A chain written by UmbWriter and read back by UmbReader: every array,
// reward and variable comes back as it went in.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "UmbReader.h"
#include "UmbWriter.h"

namespace {

std::string tempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "umb-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  return pattern + "/";
}

TEST(Umb, WhatTheWriterWritesTheReaderReads) {
  const std::string dir = tempDir();
  umb::UmbWriter::Description d;
  d.modelName = "m";
  d.places = {"up", "down"};
  // Two names with one id; a time that six digits would not keep.
  d.variables = {{"Cost!", umb::RewardKind::Interval, {{0.1, 0.1 + 0.2}}, true, true},
                 {"cost?", umb::RewardKind::SteadyState, {}, true, false}};
  auto w = umb::UmbWriter::create(dir, "m.umb", d);
  ASSERT_TRUE(w.ok()) << w.error().message;
  // State 0 -> 1 at rate 3 (impulse 2 each), state 1 -> 0 at 1 and -> 1 at 4.
  const std::int16_t v0[] = {1, 0}, v1[] = {0, 1};
  const double rewards0[] = {0, 5, 0, 7}, rewards1[] = {0, 6, 0, 8};
  const double impulse01[] = {3 * 2.0, 0}, none[] = {0, 0}, impulse11[] = {4 * 0.5, 0};
  (*w)->addStateRewards(rewards0);
  (*w)->beginState(v0, 3);
  (*w)->addBranch(1, 3, impulse01);
  (*w)->endState();
  (*w)->addStateRewards(rewards1);
  (*w)->beginState(v1, 5);
  (*w)->addBranch(0, 1, none);
  (*w)->addBranch(1, 4, impulse11);
  (*w)->endState();
  const std::string path = dir + "m.umb";
  ASSERT_TRUE((*w)->finish(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)).ok());

  auto r = umb::UmbReader::open(path);
  ASSERT_TRUE(r.ok()) << r.error().message;
  const umb::UmbReader& u = **r;
  EXPECT_EQ(u.states(), 2u);
  EXPECT_EQ(u.initialState, 0u);
  EXPECT_EQ(std::vector<double>(u.exitRate.begin(), u.exitRate.end()), (std::vector<double>{3, 5}));
  EXPECT_EQ(std::vector<std::uint64_t>(u.rowStart.begin(), u.rowStart.end()), (std::vector<std::uint64_t>{0, 1, 3}));
  EXPECT_EQ(std::vector<std::uint64_t>(u.target.begin(), u.target.end()), (std::vector<std::uint64_t>{1, 0, 1}));
  EXPECT_EQ(std::vector<double>(u.probability.begin(), u.probability.end()), (std::vector<double>{1, 0.2, 0.8}));
  ASSERT_EQ(u.variables.size(), 2u);
  const umb::RewardVariable& cost = u.variables[0];
  EXPECT_EQ(cost.name, "Cost!");
  EXPECT_EQ(cost.kind, umb::RewardKind::Interval);
  EXPECT_EQ(cost.times, (std::vector<std::pair<double, double>>{{0.1, 0.1 + 0.2}}));
  EXPECT_EQ(cost.reward->id, "cost_");
  EXPECT_EQ(std::vector<double>(cost.reward->stateValues.begin(), cost.reward->stateValues.end()),
            (std::vector<double>{5, 6}));
  EXPECT_EQ(std::vector<double>(cost.reward->branchValues.begin(), cost.reward->branchValues.end()),
            (std::vector<double>{2, 0, 0.5}));
  const umb::RewardVariable& steady = u.variables[1];
  EXPECT_EQ(steady.kind, umb::RewardKind::SteadyState);
  EXPECT_EQ(steady.reward->id, "cost__2");
  EXPECT_EQ(steady.reward->alias, "cost?");
  EXPECT_EQ(std::vector<double>(steady.reward->stateValues.begin(), steady.reward->stateValues.end()),
            (std::vector<double>{7, 8}));
  EXPECT_TRUE(steady.reward->branchValues.empty());
  std::filesystem::remove_all(dir);
}

}  // namespace
