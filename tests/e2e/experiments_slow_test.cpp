// The large experiments 3 to 5 end to end. Their files are too big to keep, so
// each run is checked against its state count, the size of every output file
// and a 64-bit FNV-1a digest of its bytes; experiment 4 also against itself,
// run with other numbers of threads. The state spaces are large because
// power_cycle adds a device whether or not one was taken away, so
// devices_available walks (and wraps around) the whole signed 16-bit range.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

using testsupport::runGen;
using testsupport::sameFileBytes;
using testsupport::splitLines;
using testsupport::TempDir;

struct FileDigest {
  long long size = -1;
  std::uint64_t fnv1a = 0;
};

// Streams the file: the state-space files of these runs are hundreds of MB.
FileDigest digestOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  FileDigest d;
  if (!in) return d;
  d.size = 0;
  d.fnv1a = 0xcbf29ce484222325ULL;
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize n = in.gcount();
    for (std::streamsize i = 0; i < n; i++) {
      d.fnv1a ^= static_cast<unsigned char>(buffer[i]);
      d.fnv1a *= 1099511628211ULL;
    }
    d.size += n;
  }
  return d;
}

TEST(Fnv1aTest, KnownValues) {
  TempDir dir;
  {
    std::ofstream(dir.file("empty"), std::ios::binary);
    std::ofstream(dir.file("a"), std::ios::binary) << "a";
  }
  EXPECT_EQ(digestOf(dir.file("empty")).fnv1a, 0xcbf29ce484222325ULL);
  EXPECT_EQ(digestOf(dir.file("a")).fnv1a, 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(digestOf(dir.file("a")).size, 1);
  EXPECT_EQ(digestOf(dir.file("missing")).size, -1);
}

struct Expected {
  int experiment;
  long states;
  FileDigest arm, var, det, pvtype;
};

class LargeExperimentTest : public ::testing::TestWithParam<Expected> {};

TEST_P(LargeExperimentTest, StateCountSizesAndDigests) {
  const Expected& e = GetParam();
  TempDir dir;
  const std::string prefix = dir.file("redundant_controller_flash");
  const testsupport::RunResult result = runGen(
      {"-P" + dir.path() + "/", "-Nredundant_controller_flash", "-B" + std::to_string(e.experiment)}, dir.path());
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("Generated: " + std::to_string(e.states) + " states\n"), std::string::npos);

  // The count in the state-space header (line 2).
  std::ifstream arm(prefix + ".arm");
  std::string line1, line2;
  std::getline(arm, line1);
  std::getline(arm, line2);
  EXPECT_EQ(line1, "1");
  EXPECT_EQ(line2, std::to_string(e.states));
  arm.close();

  const std::pair<const char*, const FileDigest*> files[] = {
      {".arm", &e.arm}, {".var", &e.var}, {".det", &e.det}, {".pvtype", &e.pvtype}};
  for (const auto& [suffix, expected] : files) {
    SCOPED_TRACE(suffix);
    const FileDigest actual = digestOf(prefix + suffix);
    EXPECT_EQ(actual.size, expected->size);
    EXPECT_EQ(actual.fnv1a, expected->fnv1a) << std::hex << "0x" << actual.fnv1a;
  }
}

constexpr FileDigest kPvType{108, 0x10d6a3ff96133975ULL};

INSTANTIATE_TEST_SUITE_P(Experiments, LargeExperimentTest,
                         ::testing::Values(Expected{3,
                                                    1572861,
                                                    {169687486, 0x53814c6e55c684ffULL},
                                                    {17763240, 0x67a12d5dcdff3898ULL},
                                                    {16251746, 0x2ca9aa19dee2f7daULL},
                                                    kPvType},
                                           Expected{4,
                                                    3145740,
                                                    {417052332, 0x52827fe775c9b288ULL},
                                                    {36637788, 0xc8ce3b8df7ba96ffULL},
                                                    {50114301, 0x2d6c29de4407b9c0ULL},
                                                    kPvType},
                                           Expected{5,
                                                    5242922,
                                                    {769834313, 0xe988a5897ac57985ULL},
                                                    {61803972, 0x9e8c993f47836b86ULL},
                                                    {112289006, 0xf3d9899f212c7670ULL},
                                                    kPvType}),
                         [](const ::testing::TestParamInfo<Expected>& info) {
                           return "Experiment" + std::to_string(info.param.experiment);
                         });

// Experiment 4 (3 million states) with 1, 2, 3 and 8 expanding threads,
// and again while another thread keeps a core busy: every file is the same,
// byte for byte, as the one-thread run's.
TEST(ThreadCountTest, Experiment4FilesAreTheSameForEveryThreadCount) {
  const char* const suffixes[] = {".arm", ".var", ".det", ".pvtype"};
  const auto run = [](const TempDir& dir, const char* threads) {
    const testsupport::ScopedEnv env("GEN_THREADS", threads);
    const testsupport::RunResult result =
        runGen({"-P" + dir.path() + "/", "-Nredundant_controller_flash", "-B4"}, dir.path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("Generated: 3145740 states\n"), std::string::npos);
  };
  TempDir one;
  run(one, "1");
  for (bool busy : {false, true}) {
    const std::unique_ptr<testsupport::BusyLoop> loop(busy ? new testsupport::BusyLoop : nullptr);
    for (const char* threads : {"1", "2", "3", "8"}) {
      if (!busy && threads == std::string("1")) continue;  // that is the reference
      SCOPED_TRACE(std::string(threads) + (busy ? " threads, busy" : " threads"));
      TempDir dir;
      run(dir, threads);
      for (const char* suffix : suffixes)
        EXPECT_TRUE(sameFileBytes(one.file("redundant_controller_flash") + suffix,
                                  dir.file("redundant_controller_flash") + suffix))
            << suffix;
    }
  }
}

}  // namespace
