// GEN_MAX_MEMORY end to end: the built gen stops cleanly when its tables
// would grow past the limit, and refuses a limit it cannot read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "TestSupport.h"

using testsupport::RunResult;
using testsupport::TempDir;

namespace {

// Runs gen with GEN_MAX_MEMORY set to `limit` (the child inherits it).
RunResult runWithLimit(const char* limit, const std::vector<std::string>& args, const TempDir& dir) {
  setenv("GEN_MAX_MEMORY", limit, 1);
  RunResult result = testsupport::runGen(args, dir.path());
  unsetenv("GEN_MAX_MEMORY");
  return result;
}

}  // namespace

TEST(MemoryLimit, SmallLimitStopsExperimentThreeWithTheStatesAndBytesHeld) {
  TempDir dir;
  const RunResult r = runWithLimit("1M", {"-P" + dir.path() + "/", "-Nx", "-B3"}, dir);
  EXPECT_EQ(r.status, 1);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      r.err, m,
      std::regex("^Error: Out of memory: generation stopped after ([0-9]+) states; gen holds ([0-9]+) "
                 "bytes and needs [0-9]+ more, past the limit of 1048576 bytes set by GEN_MAX_MEMORY\\.\n$")))
      << r.err;
  EXPECT_GE(std::stoull(m[1]), 1u);
  EXPECT_GT(std::stoull(m[2]), 0u);
  EXPECT_EQ(r.out.find("Generated:"), std::string::npos);
}

TEST(MemoryLimit, LimitThatIsLargeEnoughChangesNothing) {
  TempDir dir, plain;
  const RunResult limited = runWithLimit("1G", {"-P" + dir.path() + "/", "-Nx", "-B1"}, dir);
  const RunResult unlimited = testsupport::runGen({"-P" + plain.path() + "/", "-Nx", "-B1"}, plain.path());
  ASSERT_EQ(limited.status, 0) << limited.err;
  EXPECT_EQ(testsupport::readFile(dir.file("x.arm")), testsupport::readFile(plain.file("x.arm")));
  EXPECT_EQ(limited.err, unlimited.err);
}

// 2,000 flash devices make 4 KB states: blocks of 100,000 of them would ask
// for 400 MB at the first state, while the whole run needs less than 150 MB.
TEST(MemoryLimit, WideStatesGrowTheStoreInBlocksTheLimitCanHold) {
  TempDir dir;
  const RunResult r = runWithLimit("150M", {"-P" + dir.path() + "/", "-Nx", "-B0", "-O", "s:num_devices:2000"}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Generated: 16005 states\n"), std::string::npos) << r.out;
}

TEST(MemoryLimit, UnreadableLimitIsRefused) {
  TempDir dir;
  for (const char* bad : {"lots", "0", "12T", "-5M"}) {
    const RunResult r = runWithLimit(bad, {"-P" + dir.path() + "/", "-Nx", "-B0"}, dir);
    EXPECT_EQ(r.status, 1) << bad;
    EXPECT_EQ(r.err, std::string("Error: GEN_MAX_MEMORY must be a positive number of bytes with an optional K, "
                                 "M or G suffix, such as 512M (it is \"") +
                         bad + "\").\n");
    EXPECT_FALSE(testsupport::fileExists(dir.file("x.arm"))) << bad;
  }
}
