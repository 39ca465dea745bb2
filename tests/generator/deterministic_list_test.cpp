// The deterministic file's state lists and the memory budget they share
// with the other containers of a run.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "DeterministicList.h"
#include "GenError.h"
#include "MemoryBudget.h"
#include "OutputFile.h"
#include "RateInfoType.h"
#include "TestSupport.h"

using testsupport::readFile;
using testsupport::TempDir;

namespace {

template <typename T>
std::string bytesOf(T value) {
  std::string s(sizeof value, '\0');
  std::memcpy(s.data(), &value, sizeof value);
  return s;
}

}  // namespace

TEST(DeterministicList, GrowthKeepsOrderAndContents) {
  DeterministicList list;
  for (int d = 0; d < 9; d++)
    for (std::uint32_t s = 1; s <= 25; s++) list.insertEnablingState(s * 10 + d, 0.5 * d);
  EXPECT_EQ(list.size, 9);
  EXPECT_EQ(list.capacity, 16);
  for (int d = 0; d < 9; d++) {
    const RateInfoType& entry = list.items[d];
    EXPECT_EQ(entry.value, 0.5 * d);
    ASSERT_EQ(entry.count, 25u);
    EXPECT_TRUE(entry.ownsStates);
    for (std::uint32_t s = 1; s <= 25; s++) EXPECT_EQ(entry.states[s - 1], s * 10 + d);
  }
}

TEST(DeterministicList, TakeFromMovesTheList) {
  RateInfoType info;
  EXPECT_EQ(info.value, 0.0);
  EXPECT_EQ(info.count, 0u);
  info.insertState(3);
  RateInfoType other(7.5);
  other.takeFrom(info);
  EXPECT_FALSE(info.ownsStates);
  EXPECT_EQ(info.count, 0u);
  EXPECT_EQ(other.count, 1u);
  EXPECT_EQ(other.value, 0.0);
  EXPECT_EQ(other.states[0], 3u);
}

// Numbers of any size and in any order come back as they went in, in both
// layouts, four bytes each in the binary one (the bytes an int32 array gave).
TEST(DeterministicList, AnyNumbersRoundTripInBothLayouts) {
  const std::vector<std::uint32_t> numbers = {1,           1, 2,        130,      129,         4294967295u,
                                              0x80000000u, 7, 16777216, 16777216, 3000000000u, 5};
  RateInfoType info(2.0);
  for (std::uint32_t n : numbers) info.insertState(n);
  std::vector<std::uint32_t> back;
  info.states.forEach([&](std::uint32_t n) { back.push_back(n); });
  EXPECT_EQ(back, numbers);

  TempDir dir;
  OutputFile text, binary;
  ASSERT_TRUE(text.open(dir.file("t.det")));
  ASSERT_TRUE(binary.open(dir.file("b.det")));
  info.writeStates(text, OUTPUT_TEXT);
  info.writeStates(binary, OUTPUT_BINARY);
  ASSERT_TRUE(text.close());
  ASSERT_TRUE(binary.close());
  std::string expectText = "2.0000000000e+00\n", expectBinary = bytesOf(2.0);
  for (std::uint32_t n : numbers) {
    expectText += std::to_string(n) + "\n";
    expectBinary += bytesOf(static_cast<std::int32_t>(n));
  }
  EXPECT_EQ(readFile(dir.file("t.det")), expectText + "0\n");
  EXPECT_EQ(readFile(dir.file("b.det")), expectBinary + bytesOf<std::int16_t>(0));
}

// States filed while they are explored take about a byte each, in chunks
// that never exceed a megabyte.
TEST(DeterministicList, ExplorationOrderTakesAboutAByteAState) {
  StateNumberList list;
  const std::uint32_t n = 3000000;
  for (std::uint32_t s = 1; s <= n; s++) {
    list.push_back(s, nullptr);
    if (s % 3 == 0) list.push_back(s, nullptr);
  }
  EXPECT_EQ(list.size(), n + n / 3);
  EXPECT_LT(list.bytes(), list.size() * 11 / 10 + StateNumberList::kMaxChunk);
  std::uint32_t expect = 1, repeat = 0, count = 0;
  bool ok = true;
  list.forEach([&](std::uint32_t s) {
    ok = ok && s == expect;
    count++;
    if (expect % 3 == 0 && repeat == 0) {
      repeat = 1;
    } else {
      repeat = 0;
      expect++;
    }
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(count, list.size());
}

TEST(DeterministicList, GrowthPastTheBudgetStops) {
  MemoryBudget budget(std::uint64_t{64} << 10);
  budget.setStatesReached(1234);
  DeterministicList list;
  list.setMemoryBudget(&budget);
  try {
    for (std::uint32_t s = 1; s < 10000000; s++) list.insertEnablingState(s * 1000, 5.0);
    FAIL() << "no stop";
  } catch (const GenError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Error: Out of memory: generation stopped after 1234 states; gen holds ", 0),
              0u)
        << e.what();
    EXPECT_EQ(e.status(), 1);
  }
  EXPECT_LE(budget.held(), std::uint64_t{64} << 10);
}

TEST(MemoryBudget, SizesWithOptionalSuffixes) {
  EXPECT_EQ(parseMemorySize("1"), 1u);
  EXPECT_EQ(parseMemorySize("123456789"), 123456789u);
  EXPECT_EQ(parseMemorySize("64K"), 65536u);
  EXPECT_EQ(parseMemorySize("64k"), 65536u);
  EXPECT_EQ(parseMemorySize("1M"), 1048576u);
  EXPECT_EQ(parseMemorySize("3g"), std::uint64_t{3} << 30);
  EXPECT_EQ(parseMemorySize("16777216G"), std::uint64_t{1} << 54);
  for (const char* bad : {"", "0", "0K", "K", "-1", "+5", " 5", "5 ", "5KB", "5T", "1.5G", "0x10",
                          "18446744073709551616", "17179869184G"})
    EXPECT_FALSE(parseMemorySize(bad).has_value()) << bad;
}

TEST(MemoryBudget, CountsWhatIsHeldAndStopsPastTheLimit) {
  MemoryBudget budget(1000);
  budget.reserve(600);
  budget.release(100);
  budget.reserve(500);
  EXPECT_EQ(budget.held(), 1000u);
  budget.setStatesReached(77);
  try {
    budget.reserve(1);
    FAIL() << "no stop";
  } catch (const GenError& e) {
    EXPECT_STREQ(e.what(),
                 "Error: Out of memory: generation stopped after 77 states; gen holds 1000 bytes and "
                 "needs 1 more, past the limit of 1000 bytes set by GEN_MAX_MEMORY.");
    EXPECT_EQ(e.stream(), GenError::Stream::Err);
    EXPECT_EQ(e.status(), 1);
  }
  EXPECT_EQ(budget.held(), 1000u);
  try {
    budget.allocationFailed(4096);
    FAIL() << "no stop";
  } catch (const GenError& e) {
    EXPECT_STREQ(e.what(),
                 "Error: Out of memory: generation stopped after 77 states; gen holds 1000 bytes and "
                 "the system refused 4096 more.");
  }
  MemoryBudget unlimited;
  unlimited.reserve(std::uint64_t{1} << 40);
  EXPECT_EQ(unlimited.held(), std::uint64_t{1} << 40);
}
