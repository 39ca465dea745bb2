#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "Activity.h"
#include "TestModels.h"
#include "TestSupport.h"
#include "TraceFileContainer.h"
#include "TraceFileTarvelSSG.h"

namespace {

// An action whose enabling reads two places, for the pre-firing listing.
struct ReadingAction : BaseActionClass {
  ReadingAction() : BaseActionClass("reader", 0, DIST_EXPONENTIAL, POLICY_DEFAULT, 0, 2, false) {}
};

struct TraceFixture : ::testing::Test {
  std::ostringstream out;
  TraceFileTarvelSSG ssg{&out};
  TraceFileContainer container;
  void SetUp() override { container.AddTraceFile(&ssg); }
};

TEST_F(TraceFixture, LevelZeroKeepsOnlyUnfilteredLines) {
  ssg.setTraceLevel(0);
  ReadingAction a;
  container.printStr(1, "State Number = 1");
  container.printFireAction(&a, 0.0);
  container.printf(1, "Generated: %d states", 3);
  container.newBatch();
  container.printPostFireAction(&a, nullptr);
  EXPECT_EQ(out.str(), "##### NEW BATCH #####\nState after firing action: reader\n");
  EXPECT_FALSE(container.wants(1));
  EXPECT_TRUE(container.wants(0));
}

TEST_F(TraceFixture, LevelsGateTheGeneratorMessages) {
  ssg.setTraceLevel(3);
  container.printf(4, "Checking Action: %s", "seu");
  EXPECT_EQ(out.str(), "");
  ssg.setTraceLevel(4);
  container.printf(4, "Checking Action: %s", "seu");
  EXPECT_EQ(out.str(), "Checking Action: seu\n");
}

TEST_F(TraceFixture, FireActionNeedsLevelOneAndOmitsTheValue) {
  ReadingAction a;
  ssg.setTraceLevel(1);
  container.printFireAction(&a, 2.5);
  EXPECT_EQ(out.str(), "Firing Action: reader\n");
}

TEST_F(TraceFixture, PreFireListsEnablingVariablesFromLevelTwo) {
  Place p("up", 3), q("down", -2);
  ReadingAction a;
  ssg.setTraceLevel(1);
  container.printPreFireAction(&a);
  EXPECT_EQ(out.str(), "");
  ssg.setTraceLevel(2);
  container.printPreFireAction(&a);
  EXPECT_EQ(out.str(), "Enabling state before action firing:\n");
  out.str("");
  a.addEnablingSV(&p);
  a.addEnablingSV(&q);
  container.printPreFireAction(&a);
  EXPECT_EQ(out.str(), "Enabling state before action firing:\n  up = 3\n  down = -2\n");
}

TEST_F(TraceFixture, OverlongMessagesAreTruncatedNotOverflowed) {
  ssg.setTraceLevel(1);
  std::string big(5000, 'x');
  container.printf(1, "%s", big.c_str());
  EXPECT_EQ(out.str(), std::string(1023, 'x') + "\n");
}

TEST(TraceContainer, WithoutOutputsAcceptsEverything) {
  TraceFileContainer c;
  ReadingAction a;
  c.printf(1, "x %d", 1);
  c.printStr(0, "y");
  c.printFireAction(&a, 0);
  c.newBatch();
  c.printState();
  c.printHeader();
  EXPECT_FALSE(c.wants(0));
}

TEST(TraceFile, UnopenableFileIsSilentlyDropped) {
  TraceFileTarvelSSG t("/nonexistent-dir/for/trace.txt");
  t.setTraceLevel(4);
  t.printStr(1, "lost");
  t.newBatch();
  SUCCEED();
}

TEST(TraceFile, WritesToTheNamedFile) {
  testsupport::TempDir dir;
  std::string path = dir.file("trace.txt");
  {
    TraceFileTarvelSSG t(path.c_str());
    t.setTraceLevel(1);
    t.printHeader(nullptr);
    t.printStr(1, "State Number = 1");
  }
  EXPECT_EQ(testsupport::readFile(path),
            "**************************************\n\t\tTRACE\n**************************************\n"
            "State Number = 1\n");
}

TEST(TraceModelDump, WalksTheTreeDepthFirstWithLocalPlacesOnly) {
  testmodels::PairJoin join(2, true, 1, 0, 2, 0);
  std::ostringstream out;
  TraceFileTarvelSSG ssg(&out);
  ssg.setTraceLevel(0);  // the dump is not level-filtered
  ssg.printState(&join);
  std::string text = out.str();
  auto lines = testsupport::splitLines(text);
  ASSERT_GE(lines.size(), 4u);
  // The Join holds no state variables of its own: only its model line.
  EXPECT_EQ(lines[0], "  Model: (" + std::to_string(join.ModelId) + ")" + join.Name);
  EXPECT_EQ(lines[1].rfind("  Model: (", 0), 0u);
  EXPECT_EQ(lines[2], "    local = 1");
  // Shared places show the shared value in every model that holds them.
  EXPECT_EQ(lines[3].rfind("    shared = ", 0), 0u);
  int modelLines = 0;
  for (auto& l : lines)
    if (l.rfind("  Model: (", 0) == 0) modelLines++;
  EXPECT_EQ(modelLines, 5);  // Join, A, Rep, two replicas
}

}  // namespace
