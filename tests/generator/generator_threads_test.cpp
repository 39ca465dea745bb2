// Exploration with further model instances expanding states on other
// threads gives the same files as one thread, whatever their number; two reward models of the
// compiled-in model alive at once give the same state space; values that
// cannot be right, given through overrides, stop gen with status 1.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "BaseStudyClass.h"
#include "GenOptions.h"
#include "GenerationRun.h"
#include "GeneratorTestModels.h"
#include "ModelFactory.h"
#include "PVModel.h"
#include "TestSupport.h"

using gentest::FlatModel;
using gentest::TestModel;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

const char* const kSuffixes[] = {".arm", ".var", ".det", ".pvtype"};

// A grid of 60 x 60 markings with competing zero-time branches after every
// step, reward variables and, when `deterministic`, a deterministic action:
// thousands of states, so the expanding thread works through many batches.
void defineGrid(TestModel& tm, bool deterministic) {
  FlatModel* f = &tm.flat();
  tm.add(
      "right", DIST_EXPONENTIAL, 1.5, [f] { return f->mark[0] < 60 && f->mark[2] == 0; },
      [f] { f->mark[0]++, f->mark[2] = 1; });
  tm.add(
      "up", DIST_EXPONENTIAL, 0.25, [f] { return f->mark[1] < 60 && f->mark[2] == 0; },
      [f] { f->mark[1]++, f->mark[2] = 1; });
  tm.add(
        "back", deterministic ? DIST_DETERMINISTIC : DIST_EXPONENTIAL, 2,
        [f] { return f->mark[0] > 0 && f->mark[1] > 0; }, [f] { f->mark[0]--, f->mark[1]--; })
      ->delay = 0.5;
  tm.add(
      "keep", DIST_INSTANTANEOUS, 1, [f] { return f->mark[2] == 1; }, [f] { f->mark[2] = 0; });
  tm.add(
      "mark", DIST_INSTANTANEOUS, 3, [f] { return f->mark[2] == 1 && f->mark[0] % 3 == 0; },
      [f] { f->mark[2] = 0, f->mark[3] = static_cast<short>((f->mark[3] + 1) % 2); });
  tm.addReward("x", [](const FlatModel& m) { return m.mark[0]; });
  tm.addReward("y", [](const FlatModel& m) { return m.mark[1] * 0.5; });
}

}  // namespace

TEST(GeneratorThreads, MoreThreadsWriteTheSameFiles) {
  for (bool deterministic : {false, true}) {
    SCOPED_TRACE(deterministic ? "deterministic" : "normal");
    TempDir one;
    TestModel single({0, 0, 0, 0});
    defineGrid(single, deterministic);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const auto expected = single.generate(one.path(), 1);
    const std::string expectedWarnings = testing::internal::GetCapturedStderr();
    const std::string expectedConsole = testing::internal::GetCapturedStdout();
    EXPECT_GT(expected.arm.size(), 100000u);

    for (unsigned threads : {2u, 3u, 8u}) {
      SCOPED_TRACE(std::to_string(threads) + " threads");
      TempDir dir;
      std::vector<std::unique_ptr<TestModel>> twins;  // kept until the run is over
      TestModel tm({0, 0, 0, 0});
      defineGrid(tm, deterministic);
      testing::internal::CaptureStdout();
      testing::internal::CaptureStderr();
      const auto got = tm.generate(
          dir.path(), 1, 0,
          [&twins, deterministic] {
            twins.push_back(std::make_unique<TestModel>(std::vector<short>{0, 0, 0, 0}));
            defineGrid(*twins.back(), deterministic);
            return twins.back()->release();
          },
          threads);
      EXPECT_EQ(testing::internal::GetCapturedStderr(), expectedWarnings);
      const std::string console = testing::internal::GetCapturedStdout();
      // The console ends with the run's time.
      EXPECT_EQ(console.substr(0, console.find("Computation Time")),
                expectedConsole.substr(0, expectedConsole.find("Computation Time")));
      EXPECT_EQ(twins.size(), threads - 1);
      EXPECT_EQ(got.arm, expected.arm);
      EXPECT_EQ(got.var, expected.var);
      EXPECT_EQ(got.det, expected.det);
    }
  }
}

// Erlang phases are part of the vector, so any instance may expand any
// state: a grid whose climb takes 4 phases, with the climb interrupted
// (phase back to 1) by each step back, writes the same files on 3 threads.
TEST(GeneratorThreads, ErlangModelsExpandOnSeveralThreads) {
  auto define = [](TestModel& tm) {
    FlatModel* f = &tm.flat();
    tm.add(
        "right", DIST_EXPONENTIAL, 1, [f] { return f->mark[0] < 40; }, [f] { f->mark[0]++; });
    tm.add(
          "climb", DIST_ERLANG, 3, [f] { return f->mark[1] < 40 && f->mark[0] % 2 == 0; }, [f] { f->mark[1]++; })
        ->phases = 4;
    tm.add(
        "back", DIST_EXPONENTIAL, 0.5, [f] { return f->mark[0] > 0; }, [f] { f->mark[0]--; });
    tm.addReward("y", [](const FlatModel& m) { return m.mark[1]; });
  };
  TempDir one, three;
  TestModel single({0, 0});
  define(single);
  testing::internal::CaptureStdout();
  const auto expected = single.generate(one.path(), 1);
  std::vector<std::unique_ptr<TestModel>> twins;
  TestModel tm({0, 0});
  define(tm);
  const auto got = tm.generate(
      three.path(), 1, 0,
      [&twins, &define] {
        twins.push_back(std::make_unique<TestModel>(std::vector<short>{0, 0}));
        define(*twins.back());
        return twins.back()->release();
      },
      3);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(twins.size(), 2u);
  // 41 x 41 markings, of which the 21 x 40 that enable the climb in 4 phases.
  EXPECT_EQ(expected.arm.rfind("1\n4201\n", 0), 0u);
  EXPECT_EQ(got.arm, expected.arm);
  EXPECT_EQ(got.var, expected.var);
}

// A failure met by the expanding thread is reported when numbering reaches
// the state, after the records of every state before it.
TEST(GeneratorThreads, FailureOnTheSecondThreadComesInOrder) {
  auto define = [](TestModel& tm) {
    FlatModel* f = &tm.flat();
    tm.add(
        "count", DIST_EXPONENTIAL, 1, [f] { return f->mark[0] < 3000; }, [f] { f->mark[0]++; });
    tm.add(
        "bad", DIST_EXPONENTIAL, -2, [f] { return f->mark[0] == 2500; }, nullptr);
  };
  TempDir dir;
  std::vector<std::unique_ptr<TestModel>> twins;
  TestModel tm({0});
  define(tm);
  testing::internal::CaptureStdout();
  try {
    tm.generate(dir.path(), 0, 0, [&] {
      twins.push_back(std::make_unique<TestModel>(std::vector<short>{0}));
      define(*twins.back());
      return twins.back()->release();
    });
    ADD_FAILURE() << "no stop";
  } catch (const GenError& error) {
    EXPECT_STREQ(error.what(),
                 "Error: The rate of action bad is -2 in state 2501; a rate must be finite and not negative.\n"
                 "Please check the model and try again");
  }
  const std::string console = testing::internal::GetCapturedStdout();
  std::cout << std::defaultfloat;
  EXPECT_NE(console.find("_$2000$\n"), std::string::npos);
  EXPECT_EQ(console.find("_$3000$"), std::string::npos);
}

// Two reward models of the compiled-in model, alive at once, each explored
// by its own generator (one of them with a third instance on a second
// thread), give experiment 2's files.
TEST(GeneratorThreads, TwoRewardModelsAliveAtOnce) {
  const std::unique_ptr<ModelFactory> factory = makeModelFactory();
  const std::unique_ptr<BaseStudyClass> study = factory->makeStudy();
  study->SetGVs(2);
  std::unique_ptr<PVModel> first = factory->makeRewardModel();
  std::unique_ptr<PVModel> second = factory->makeRewardModel();

  TempDir dirs[2];
  PVModel* models[2] = {first.get(), second.get()};
  for (int i = 0; i < 2; i++) {
    GenOptions options;
    options.path = dirs[i].path() + "/";
    options.name = "redundant_controller_flash";
    GenerationRun::RewardModelMaker maker;
    if (i == 0) maker = [&factory] { return factory->makeRewardModel(); };
    testing::internal::CaptureStdout();
    GenerationRun gen(models[i], options, maker);
    gen.GenStateSpace();
    testing::internal::GetCapturedStdout();
    std::cout << std::defaultfloat;
    EXPECT_EQ(gen.numberOfStates(), 29u);
  }
  for (const char* suffix : kSuffixes) {
    SCOPED_TRACE(suffix);
    const std::string expected =
        readFile(std::string(GEN_TEST_DATA) + "/experiment2/redundant_controller_flash" + suffix);
    EXPECT_EQ(readFile(dirs[0].path() + "/redundant_controller_flash" + suffix), expected);
    EXPECT_EQ(readFile(dirs[1].path() + "/redundant_controller_flash" + suffix), expected);
  }
}

// Rates, case weights and delays that come out of the model's expressions
// with values that cannot be right stop the run, whatever thread found them.
TEST(GeneratorEndToEnd, ValuesThatCannotBeRightStopTheRun) {
  struct Case {
    const char* override;
    const char* message;
  };
  const Case cases[] = {
      {"f:random_failure_rate:-1", "Error: The rate of action random_failure is -1 in state 1; "},
      {"f:random_failure_rate:inf", "Error: The rate of action random_failure is inf in state 1; "},
      {"f:random_failure_rate:nan", "nan in state 1; a rate must be finite and not negative."},
      {"f:flash_size:1000", "Error: The weight of action seu_case1 is -0.953125 in state 1; "},
      {"f:ram_size:-100", "Error: The weight of action bit_error_case2 is -0.1953125 in state 1; "},
      {"f:power_cycle_rate:-1", "Error: The delay of action power_cycle is -1 in state 4; "},
      {"f:power_cycle_rate:0", "Error: The delay of action power_cycle is 0 in state 4; "},
      {"f:power_cycle_rate:-inf", "Error: The delay of action power_cycle is -inf in state 4; "},
      {"f:power_cycle_rate:nan", "nan in state 4; a delay must be finite and above 0."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.override);
    TempDir dir;
    auto run = testsupport::runGen({"-P" + dir.path() + "/", "-Nx", "-B0", "-O", c.override}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\nPlease check the model and try again\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("Generated:"), std::string::npos) << run.out;
  }
}
