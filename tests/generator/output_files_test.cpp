// The output writers: number formats identical to the standard streams,
// header rewriting, write-failure tracking, the reward records and the
// deterministic file in text and binary form, and the successor merge.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "DeterministicList.h"
#include "ExpectGenError.h"
#include "GenerationRun.h"
#include "GeneratorTestModels.h"
#include "OutputFile.h"
#include "PerformanceVariableNode.h"
#include "RateInfoType.h"
#include "Reward.h"
#include "TestSupport.h"

using gentest::FlatModel;
using gentest::TestModel;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

const double kSamples[] = {0.0,           -0.0,
                           1.0,           -1.0,
                           0.5,           2.0 / 3.0,
                           1e-300,        4.9e-324,
                           1e300,         123456789.123,
                           0.1,           1e6,
                           999999.5,      1234567.0,
                           1e-5,          0.0001,
                           -2.5e-7,       3.14159265358979,
                           6.02214076e23, std::numeric_limits<double>::max()};

std::string viaStream(double v, bool scientific) {
  std::ostringstream s;
  if (scientific) s << std::scientific << std::setprecision(10);
  s << v;
  return s.str();
}

std::string writeWith(const TempDir& dir, void (*body)(OutputFile&)) {
  OutputFile out;
  EXPECT_TRUE(out.open(dir.file("f")));
  body(out);
  EXPECT_TRUE(out.close());
  return readFile(dir.file("f"));
}

template <class T>
std::string bytesOf(T v) {
  return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}

}  // namespace

TEST(OutputFile, RealsAreFormattedExactlyAsTheStreamsDo) {
  TempDir dir;
  OutputFile out;
  ASSERT_TRUE(out.open(dir.file("reals")));
  std::string expected;
  for (double v : kSamples) {
    out.writeScientific(v);
    out.newline();
    out.writeGeneral(v);
    out.newline();
    expected += viaStream(v, true) + "\n" + viaStream(v, false) + "\n";
  }
  ASSERT_TRUE(out.close());
  EXPECT_EQ(readFile(dir.file("reals")), expected);
}

TEST(OutputFile, IntegersTextAndBlanks) {
  TempDir dir;
  std::string got = writeWith(dir, [](OutputFile& o) {
    o.writeUnsigned(0);
    o.writeChar(' ');
    o.writeUnsigned(4294967295u);
    o.writeChar(' ');
    o.writeSigned(-17);
    o.writeText("|ab|");
    o.writeBlanks(3);
    o.newline();
  });
  EXPECT_EQ(got, "0 4294967295 -17|ab|   \n");
}

TEST(OutputFile, BinaryFieldsInMachineOrder) {
  TempDir dir;
  std::string got = writeWith(dir, [](OutputFile& o) {
    o.writeInt32(-2);
    o.writeUInt32(7);
    o.writeInt16(0);
    o.writeDouble(0.25);
  });
  EXPECT_EQ(got,
            bytesOf<std::int32_t>(-2) + bytesOf<std::uint32_t>(7) + bytesOf<std::int16_t>(0) + bytesOf<double>(0.25));
}

// Whole pages go to the disk directly where the file system allows it (the
// temporary folder) and through the page cache where it does not (tmpfs);
// a flush half-way leaves the position off a page boundary for the rest.
TEST(OutputFile, OutputLargerThanTheBufferArrivesWhole) {
  TempDir dir;
  std::vector<std::string> paths{dir.file("big")};
  if (::access("/dev/shm", W_OK) == 0) paths.push_back("/dev/shm/gen-output-test-" + std::to_string(::getpid()));
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    OutputFile out;
    ASSERT_TRUE(out.open(path));
    std::string expected;
    for (unsigned i = 0; i < 200000; i++) {
      out.writeUnsigned(i);
      out.newline();
      out.writeScientific(i * 0.5);
      out.newline();
      expected += std::to_string(i) + "\n" + viaStream(i * 0.5, true) + "\n";
      if (i == 120000) out.flush();
    }
    ASSERT_GT(expected.size(), 2 * OutputFile::kBufferSize);
    ASSERT_TRUE(out.close());
    EXPECT_EQ(readFile(path), expected);
    if (path != dir.file("big")) std::remove(path.c_str());
  }
}

TEST(OutputFile, HeaderRewrittenInPlace) {
  TempDir dir;
  // An 8-digit count fills the deterministic placeholder, newline included.
  std::string got = writeWith(dir, [](OutputFile& o) {
    o.writeText("1\n        \n1\n0\n");
    o.seekToStart();
    o.writeText("1\n");
    o.writeUnsigned(10000000);
    o.newline();
  });
  EXPECT_EQ(got, "1\n10000000\n1\n0\n");
  got = writeWith(dir, [](OutputFile& o) {
    o.writeText("1\n        \n1\n0\n");
    o.seekToStart();
    o.writeText("1\n9999999\n");
  });
  EXPECT_EQ(got, "1\n9999999\n\n1\n0\n");
}

TEST(OutputFile, FailedWritesAreReportedByClose) {
  OutputFile out;
  ASSERT_TRUE(out.open("/dev/full"));
  out.writeText("some text\n");
  EXPECT_FALSE(out.close());
  EXPECT_TRUE(out.failed());
  EXPECT_NE(out.errorText().find("No space"), std::string::npos) << out.errorText();
  EXPECT_FALSE(out.close());
}

// A new file is never one that stands at the name already: neither a link
// (its target keeps its contents) nor a regular file.
TEST(OutputFile, NewFileRefusesWhatStandsAtTheName) {
  TempDir dir;
  { std::ofstream(dir.file("target")) << "kept\n"; }
  ASSERT_EQ(symlink(dir.file("target").c_str(), dir.file("link").c_str()), 0);
  for (const std::string name : {"link", "target"}) {
    OutputFile out;
    EXPECT_FALSE(out.open(dir.file(name), {}, FileCreation::New)) << name;
    EXPECT_NE(out.errorText().find("exists"), std::string::npos) << out.errorText();
  }
  EXPECT_THROW(TestModel({0}).build()->WritePVTypeFile(dir.file("link").c_str(), nullptr, FileCreation::New), GenError);
  EXPECT_EQ(readFile(dir.file("target")), "kept\n");
  OutputFile fresh;
  ASSERT_TRUE(fresh.open(dir.file("fresh"), {}, FileCreation::New));
  fresh.writeText("new\n");
  ASSERT_TRUE(fresh.close());
  EXPECT_EQ(readFile(dir.file("fresh")), "new\n");
}

TEST(OutputFile, UnopenablePath) {
  OutputFile out;
  EXPECT_FALSE(out.open("/nonexistent-dir/x/y"));
  EXPECT_FALSE(out.isOpen());
}

TEST(OutputFileFailure, ReportsNameTheFileAndTheReason) {
  OutputFile out;
  ASSERT_TRUE(out.open("/dev/full", "results/x.arm"));
  out.writeText("x");
  out.close();
  expectGenError([&] { reportOutputFileFailure(out); },
                 "Error: writing output file results/x.arm failed: No space left on device");
  OutputFile missing;
  EXPECT_FALSE(missing.open("/nonexistent-dir/x.det"));
  expectGenError([&] { reportOpenFailure("Error: Could not open det file ", missing); },
                 "Error: Could not open det file /nonexistent-dir/x.det: No such file or directory");
  expectGenError([&] { reportOpenFailure("Error: Could not open state space output file", missing); },
                 "Error: Could not open state space output file /nonexistent-dir/x.det: No such file or directory");
}

// The placeholder is filled in place while the header fits; a header that
// does not fit moves the records back once, across several buffers' worth.
TEST(OutputFile, HeaderOutgrowingItsPlaceholderMovesTheRecords) {
  TempDir dir;
  std::string records;
  for (unsigned i = 1; records.size() < 3 * OutputFile::kBufferSize; i++)
    records += std::to_string(i) + "\n" + viaStream(i * 0.25, true) + "\n0\n";
  struct Case {
    int blanks;
    std::string header, expected;
  };
  const Case cases[] = {{8, "1\n12345678\n", "1\n12345678\n"},
                        {8, "1\n1234567\n", "1\n1234567\n\n"},
                        {8, "1\n123456789\n", "1\n123456789\n"},
                        {8, "1\n4294967295\n", "1\n4294967295\n"},
                        {63, "1\n13\n", "1\n13\n" + std::string(60, ' ') + "\n"}};
  for (const auto& [blanks, header, expectedHeader] : cases) {
    OutputFile out;
    ASSERT_TRUE(out.open(dir.file("h")));
    out.writeText("1\n");
    out.writePlaceholder(blanks);
    out.writeText(records);
    out.rewriteHeader(header);
    out.writeText("end\n");
    ASSERT_TRUE(out.close()) << out.errorText();
    EXPECT_TRUE(readFile(dir.file("h")) == expectedHeader + records + "end\n") << header;
  }
}

TEST(RewardFile, TextRecords) {
  TempDir dir;
  TestModel tm({0});
  tm.addReward("A", [](const FlatModel&) { return 0.0; });
  tm.addReward("B", [](const FlatModel&) { return 0.0; });
  PVModel* pv = tm.build();
  {
    Reward reward(pv, 1, dir.file("r.var").c_str());
    EXPECT_EQ(reward.index, 2);
    pv->PVList[0]->ImpulseReward = 0.5;
    pv->PVList[0]->RateReward = 1e6;
    pv->PVList[1]->ImpulseReward = 0;
    pv->PVList[1]->RateReward = 2.0 / 3.0;
    reward.Calculate(4000000000ul);
    EXPECT_TRUE(reward.Close());
  }
  EXPECT_EQ(readFile(dir.file("r.var")), "A\nB\n4000000000\n0.5\n1e+06\n0\n0.666667\n");
}

TEST(RewardFile, BinaryRecordsAfterATextHeader) {
  TempDir dir;
  TestModel tm({0});
  tm.addReward("A", [](const FlatModel&) { return 0.0; });
  PVModel* pv = tm.build();
  {
    Reward reward(pv, 2, dir.file("r.var").c_str());
    pv->PVList[0]->ImpulseReward = 1.5;
    pv->PVList[0]->RateReward = -3.0;
    reward.Calculate(7);
    EXPECT_TRUE(reward.Close());
  }
  EXPECT_EQ(readFile(dir.file("r.var")),
            "A\n" + bytesOf<std::uint32_t>(7) + bytesOf<double>(1.5) + bytesOf<double>(-3.0));
}

TEST(RewardFile, UnopenableFileNamesTheFileAndTheReason) {
  TestModel tm({0});
  PVModel* pv = tm.build();
  expectGenError([&] { Reward(pv, 1, "/nonexistent-dir/.gen-1.var.tmp", "/nonexistent-dir/r.var"); },
                 "Could not open file dude /nonexistent-dir/r.var: No such file or directory");
}

TEST(DeterministicFile, TextAndBinaryLayouts) {
  DeterministicList list;
  EXPECT_EQ(list.capacity, 2);
  list.insertEnablingState(4, 2.5);
  list.insertEnablingState(9, 1.0);
  list.insertEnablingState(4, 2.5);
  TempDir dir;
  OutputFile text;
  ASSERT_TRUE(text.open(dir.file("t.det")));
  list.writeEnablingStates(text, OUTPUT_TEXT);
  ASSERT_TRUE(text.close());
  EXPECT_EQ(readFile(dir.file("t.det")), "2\n2.5000000000e+00\n4\n4\n0\n1.0000000000e+00\n9\n0\n");

  OutputFile binary;
  ASSERT_TRUE(binary.open(dir.file("b.det")));
  list.writeEnablingStates(binary, OUTPUT_BINARY);
  ASSERT_TRUE(binary.close());
  EXPECT_EQ(readFile(dir.file("b.det")),
            bytesOf<std::int32_t>(2) + bytesOf<double>(2.5) + bytesOf<std::int32_t>(4) + bytesOf<std::int32_t>(4) +
                bytesOf<std::int16_t>(0) + bytesOf<double>(1.0) + bytesOf<std::int32_t>(9) + bytesOf<std::int16_t>(0));
}

TEST(DeterministicFile, EmptyListIsASingleZero) {
  DeterministicList list;
  TempDir dir;
  OutputFile text;
  ASSERT_TRUE(text.open(dir.file("t.det")));
  list.writeEnablingStates(text, OUTPUT_TEXT);
  ASSERT_TRUE(text.close());
  EXPECT_EQ(readFile(dir.file("t.det")), "0\n");
}

// A state-space file that cannot be written completely stops the run with a
// report on the file, not with the summary.
TEST(OutputFiles, WriteFailureStopsTheRun) {
  TempDir dir;
  ASSERT_EQ(symlink("/dev/full", dir.file("t.arm").c_str()), 0);
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add(
      "count", DIST_EXPONENTIAL, 1.0, [f] { return f->mark[0] < 3000; }, [f] { f->mark[0]++; });
  testing::internal::CaptureStdout();
  expectGenError([&] { tm.generate(dir.path()); },
                 "Error: writing output file " + dir.path() + "/t.arm failed: No space left on device");
  EXPECT_EQ(testing::internal::GetCapturedStdout().find("Generated:"), std::string::npos);
}

TEST(OutputFilesEndToEnd, FileSizeLimitEndsTheRunWithStatusOne) {
  TempDir dir;
  auto run = testsupport::runGen({"-P" + dir.path() + "/", "-Nx", "-B0"}, dir.path(), 500);
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_NE(run.err.find("Error: writing output file " + dir.path() + "/x.arm failed: File too large"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out.find("Generated:"), std::string::npos) << run.out;
}

TEST(OutputFilesEndToEnd, CompleteRunWritesAllFiles) {
  TempDir dir;
  auto run = testsupport::runGen({"-P" + dir.path() + "/", "-Nx", "-B0"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const std::string arm = readFile(dir.file("x.arm"));
  auto lines = testsupport::splitLines(arm);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "1");
  // The deterministic procedure's header: count, then what is left of 8 blanks.
  EXPECT_EQ(lines[2], std::string(7 - lines[1].size(), ' '));
  EXPECT_NE(run.out.find("Generated: " + lines[1] + " states\n"), std::string::npos) << run.out;
  EXPECT_TRUE(testsupport::fileExists(dir.file("x.det")));
  EXPECT_TRUE(testsupport::fileExists(dir.file("x.var")));
}
