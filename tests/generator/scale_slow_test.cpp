// A state space past 2^24 states on a cheap hand-built model: an odometer of
// two places counting to 4095 each, then a third place counting to 1000, one
// state after the other. Numbers past 16,777,215 need the table's wide slots;
// the count, the header and the last records must come out right.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "GeneratorTestModels.h"
#include "TestSupport.h"

using gentest::FlatModel;
using gentest::normalHeader;
using gentest::TestModel;
using testsupport::TempDir;

namespace {

constexpr short kDigit = 4095;
constexpr short kTail = 1000;
constexpr unsigned long kStates = 4096ul * 4096ul + kTail;  // 16,778,216

// The last `n` bytes of a file.
std::string tailOf(const std::string& path, std::size_t n) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const auto size = static_cast<std::size_t>(in.tellg());
  in.seekg(static_cast<std::streamoff>(size > n ? size - n : 0));
  std::string s(size > n ? n : size, '\0');
  in.read(s.data(), static_cast<std::streamsize>(s.size()));
  return s;
}

std::string headOf(const std::string& path, std::size_t n) {
  std::ifstream in(path, std::ios::binary);
  std::string s(n, '\0');
  in.read(s.data(), static_cast<std::streamsize>(n));
  s.resize(static_cast<std::size_t>(in.gcount()));
  return s;
}

}  // namespace

TEST(ScaleSlow, StateSpacePastTwoToTheTwentyFourStates) {
  TempDir dir;
  TestModel tm({0, 0, 0});
  FlatModel* f = &tm.flat();
  tm.add(
      "tick", DIST_EXPONENTIAL, 1.0,
      [f] { return !(f->mark[0] == kDigit && f->mark[1] == kDigit && f->mark[2] == kTail); },
      [f] {
        if (f->mark[0] < kDigit) {
          f->mark[0]++;
        } else if (f->mark[1] < kDigit) {
          f->mark[0] = 0;
          f->mark[1]++;
        } else {
          f->mark[2]++;
        }
      });
  tm.addReward("high", [](const FlatModel& m) { return m.mark[2]; });
  PVModel* pv = tm.build();
  const std::string prefix = dir.path() + "/";
  testing::internal::CaptureStdout();
  {
    GenOptions options;
    options.path = prefix;
    options.name = "t";
    GenerationRun gen(pv, options);
    gen.InitializeTrace();
    gen.GenStateSpace();
  }
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_NE(console.find("Generated: " + std::to_string(kStates) + " states\n"), std::string::npos);

  const std::string arm = prefix + "t.arm";
  const std::string head = normalHeader(kStates) + "1\n2\n1.0000000000e+00\n0\n2\n";
  EXPECT_EQ(headOf(arm, head.size()), head);
  const std::string last = std::to_string(kStates), before = std::to_string(kStates - 1);
  EXPECT_TRUE(tailOf(arm, 64).ends_with("\n" + before + "\n" + last + "\n1.0000000000e+00\n0\n" + last + "\n0\n"))
      << tailOf(arm, 64);
  // The reward file's last record: the number, then impulse and rate value
  // of the variable (the third place, full).
  EXPECT_TRUE(tailOf(prefix + "t.var", 64).ends_with("\n" + last + "\n0\n" + std::to_string(kTail) + "\n"))
      << tailOf(prefix + "t.var", 64);
}
