// The argument scan of gen: option forms, echo lines, unknown arguments and
// the rejection of bad input before anything is created.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "CommandLine.h"

namespace {

constexpr int kExperiments = 6;

class CommandLineTest : public ::testing::Test {
 protected:
  // Runs the scan over "gen" followed by `words`; `opts` keeps the options.
  CommandLineResult parse(const std::vector<std::string>& words) {
    std::vector<const char*> argv{"gen"};
    for (const auto& w : words) argv.push_back(w.c_str());
    echo.str("");
    CommandLineResult result = commandline(static_cast<int>(argv.size()), argv.data(), kExperiments, echo);
    opts = result.options;
    return result;
  }

  static std::string joined(const CommandLineResult& r) {
    std::string all;
    for (const auto& e : r.errors) all += e + "\n";
    return all;
  }

  GenOptions opts;
  std::ostringstream echo;
};

using Action = CommandLineResult::Action;

// ---- Too few words and the usage text ---------------------------------------

TEST(UsageText, IsTwoLinesWithTwoBlanksBetweenTheSecondAndThirdPiece) {
  std::ostringstream out;
  printUsage(out);
  EXPECT_EQ(out.str(),
            "usage:  gen -Pexperimentfilepath -Nexperimentname -hhash_value -Bexperimentnumber -Ffiletype "
            "-edb_entity -sdb_macserver  -ltrace_level[0-4] -tTraceFilename\n"
            "Example:  gen -P. -Nexp1 -B0\n");
}

TEST_F(CommandLineTest, ThreeWordsOrFewerIncludingTheProgramNameAskForTheUsageText) {
  EXPECT_EQ(parse({}).action, Action::Usage);
  EXPECT_EQ(parse({"-P/tmp/"}).action, Action::Usage);
  EXPECT_EQ(parse({"-P/tmp/", "-Nx"}).action, Action::Usage);
  EXPECT_EQ(echo.str(), "");
  EXPECT_EQ(opts.path, "");
}

TEST_F(CommandLineTest, TheUsageExampleIsEnoughToRun) {
  CommandLineResult r = parse({"-P.", "-Nexp1", "-B0"});
  EXPECT_EQ(r.action, Action::Run) << joined(r);
  EXPECT_EQ(opts.path, ".");
  EXPECT_EQ(opts.name, "exp1");
  EXPECT_EQ(opts.experiment, 0);
  EXPECT_EQ(echo.str(), "path=[.]\n");
}

// ---- Option forms -------------------------------------------------------------

TEST_F(CommandLineTest, AttachedAndSeparateValuesAreEquivalent) {
  ASSERT_EQ(parse({"-Pdir/", "-Nname", "-B3", "-h0.7", "-l2", "-F2", "-edb", "-shost", "-ttrace.txt"}).action,
            Action::Run);
  const std::string attachedEcho = echo.str();
  ASSERT_EQ(parse({"-P", "dir/", "-N", "name", "-B", "3", "-h", "0.7", "-l", "2", "-F", "2", "-e", "db", "-s", "host",
                   "-t", "trace.txt"})
                .action,
            Action::Run);
  EXPECT_EQ(echo.str(), attachedEcho);
  EXPECT_EQ(echo.str(), "path=[dir/]\nTraceLevel=2\n");
  EXPECT_EQ(opts.path, "dir/");
  EXPECT_EQ(opts.name, "name");
  EXPECT_EQ(opts.experiment, 3);
  EXPECT_DOUBLE_EQ(opts.loadFactor, 0.7);
  EXPECT_EQ(opts.traceLevel, 2);
  EXPECT_EQ(opts.fileType, 2);
  EXPECT_EQ(opts.dbEntity, "db");
  EXPECT_EQ(opts.dbHost, "host");
  EXPECT_EQ(opts.traceFile, "trace.txt");
  EXPECT_FALSE(opts.absorbing);
  EXPECT_FALSE(opts.overrides);
}

TEST_F(CommandLineTest, OverrideStringIsCopiedAndEchoed) {
  ASSERT_EQ(parse({"-P/x/", "-Ny", "-O", "f:flash_size:32"}).action, Action::Run);
  EXPECT_EQ(opts.overrides, "f:flash_size:32");
  EXPECT_EQ(echo.str(), "path=[/x/]\nOverrideString is f:flash_size:32\n");
}

TEST_F(CommandLineTest, WordsThatAreNotOptionsAreSkipped) {
  CommandLineResult r = parse({"stray", "-P/x/", "more", "words", "-Ny"});
  EXPECT_EQ(r.action, Action::Run) << joined(r);
  EXPECT_EQ(opts.path, "/x/");
  EXPECT_EQ(opts.name, "y");
  EXPECT_EQ(echo.str(), "path=[/x/]\n");
}

TEST_F(CommandLineTest, ARepeatedOptionOverwritesTheEarlierValue) {
  ASSERT_EQ(parse({"-P/a/", "-P/b/", "-Nx", "-Ny", "-B1", "-B4", "-tone", "-ttwo"}).action, Action::Run);
  EXPECT_EQ(opts.path, "/b/");
  EXPECT_EQ(opts.name, "y");
  EXPECT_EQ(opts.experiment, 4);
  EXPECT_EQ(opts.traceFile, "two");
  EXPECT_EQ(echo.str(), "path=[/a/]\npath=[/b/]\n");
}

TEST_F(CommandLineTest, AbsorbFlagDoesNotConsumeAFollowingOption) {
  ASSERT_EQ(parse({"-P/x/", "-Ny", "-a", "-B", "2"}).action, Action::Run);
  EXPECT_TRUE(opts.absorbing);
  EXPECT_EQ(opts.experiment, 2);
}

TEST_F(CommandLineTest, AbsorbFlagConsumesAFollowingNonOptionWord) {
  ASSERT_EQ(parse({"-P/x/", "-Ny", "-a", "2"}).action, Action::Run);
  EXPECT_TRUE(opts.absorbing);
  EXPECT_EQ(opts.experiment, 0);
  EXPECT_EQ(echo.str(), "path=[/x/]\n");
}

TEST_F(CommandLineTest, FileTypeIsAcceptedWhateverItsValue) {
  EXPECT_EQ(parse({"-P/x/", "-Ny", "-Fbinary"}).action, Action::Run);
  EXPECT_EQ(opts.fileType, 0);
}

TEST_F(CommandLineTest, ExperimentNumberFollowsTheAtoiRule) {
  ASSERT_EQ(parse({"-P/x/", "-Ny", "-Bx"}).action, Action::Run);
  EXPECT_EQ(opts.experiment, 0);
  ASSERT_EQ(parse({"-P/x/", "-Ny", "-B5th"}).action, Action::Run);
  EXPECT_EQ(opts.experiment, 5);
}

TEST_F(CommandLineTest, TraceLevelEchoShowsTheLevelInEffect) {
  ASSERT_EQ(parse({"-P/x/", "-Ny", "-l", "3"}).action, Action::Run);
  EXPECT_EQ(opts.traceLevel, 3);
  EXPECT_EQ(echo.str(), "path=[/x/]\nTraceLevel=3\n");
}

// ---- Unknown arguments ----------------------------------------------------------

TEST_F(CommandLineTest, UnknownLetterWithSeparateValueNamesTheValue) {
  CommandLineResult r = parse({"-x", "foo", "-P/x/", "-Ny"});
  EXPECT_EQ(r.action, Action::Run) << joined(r);
  EXPECT_EQ(echo.str(), "ERROR: unknown argument: foo\npath=[/x/]\n");
}

TEST_F(CommandLineTest, UnknownLetterWithAttachedValueNamesTheWholeWord) {
  ASSERT_EQ(parse({"-xfoo", "-P/x/", "-Ny"}).action, Action::Run);
  EXPECT_EQ(echo.str(), "ERROR: unknown argument: -xfoo\npath=[/x/]\n");
}

TEST_F(CommandLineTest, UnknownLetterWithoutValueNamesTheOptionWord) {
  ASSERT_EQ(parse({"-P/x/", "-Ny", "-x"}).action, Action::Run);
  EXPECT_EQ(echo.str(), "path=[/x/]\nERROR: unknown argument: -x\n");
}

TEST_F(CommandLineTest, LoneDashAndWrongCaseAreUnknown) {
  ASSERT_EQ(parse({"-", "-p/x/", "-P/y/", "-Nz"}).action, Action::Run);
  EXPECT_EQ(echo.str(), "ERROR: unknown argument: -\nERROR: unknown argument: -p/x/\npath=[/y/]\n");
  EXPECT_EQ(opts.path, "/y/");
}

// ---- Missing settings and missing values ------------------------------------------

TEST_F(CommandLineTest, MissingPathIsRejectedWithUsage) {
  CommandLineResult r = parse({"-Nx", "-B0", "-a"});
  EXPECT_EQ(r.action, Action::Fail);
  EXPECT_TRUE(r.showUsage);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0], "gen: option -P is missing: it gives the experiment directory path");
}

TEST_F(CommandLineTest, MissingNameIsRejectedWithUsage) {
  CommandLineResult r = parse({"-P/x/", "-B0", "-a"});
  EXPECT_EQ(r.action, Action::Fail);
  EXPECT_TRUE(r.showUsage);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0], "gen: option -N is missing: it gives the experiment name");
}

TEST_F(CommandLineTest, OptionWordAtTheEndHasNoValue) {
  CommandLineResult r = parse({"-P/x/", "-Ny", "-B"});
  EXPECT_EQ(r.action, Action::Fail);
  EXPECT_TRUE(r.showUsage);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0], "gen: option -B is missing its value (the experiment number)");
}

TEST_F(CommandLineTest, OptionWordBeforeAnotherOptionHasNoValue) {
  CommandLineResult r = parse({"-P", "-Ny", "-B0"});
  EXPECT_EQ(r.action, Action::Fail);
  EXPECT_TRUE(r.showUsage);
  ASSERT_EQ(r.errors.size(), 1u) << joined(r);
  EXPECT_EQ(r.errors[0], "gen: option -P is missing its value (the experiment directory path)");
  EXPECT_EQ(echo.str(), "");
}

TEST_F(CommandLineTest, EveryValueOptionReportsAMissingValue) {
  for (std::string letter : {"P", "N", "B", "h", "F", "e", "s", "l", "t", "O"}) {
    CommandLineResult r = parse({"-P/x/", "-Ny", "-" + letter});
    EXPECT_EQ(r.action, Action::Fail) << letter;
    EXPECT_NE(joined(r).find("option -" + letter + " is missing its value"), std::string::npos) << joined(r);
  }
}

TEST_F(CommandLineTest, NegativeNumberAsSeparateWordIsNotAValue) {
  // "-1" begins with "-", so -B gets no value and -1 is an unknown option.
  CommandLineResult r = parse({"-P/x/", "-Ny", "-B", "-1"});
  EXPECT_EQ(r.action, Action::Fail);
  EXPECT_EQ(echo.str(), "path=[/x/]\nERROR: unknown argument: -1\n");
  EXPECT_NE(joined(r).find("option -B is missing its value"), std::string::npos);
}

// ---- Experiment number range ------------------------------------------------------

TEST_F(CommandLineTest, ExperimentNumbersZeroToFiveAreValid) {
  for (int e = 0; e < kExperiments; e++) {
    EXPECT_EQ(parse({"-P/x/", "-Ny", "-B" + std::to_string(e)}).action, Action::Run) << e;
    EXPECT_EQ(opts.experiment, e);
  }
}

TEST_F(CommandLineTest, ExperimentNumberOutsideTheStudyIsRejected) {
  for (std::string value : {"6", "9", "-1", "99999999999", "-99999999999"}) {
    CommandLineResult r = parse({"-P/x/", "-Ny", "-B" + value});
    EXPECT_EQ(r.action, Action::Fail) << value;
    EXPECT_FALSE(r.showUsage);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0], "gen: experiment number " + value + " is out of range: valid experiment numbers are 0 to 5");
  }
}

// ---- Hash table load factor -------------------------------------------------------

TEST_F(CommandLineTest, LoadFactorDefaultsToOneHalf) {
  ASSERT_EQ(parse({"-P/x/", "-Ny", "-B1"}).action, Action::Run);
  EXPECT_EQ(opts.loadFactor, 0.5);
}

TEST_F(CommandLineTest, UnparsableLoadFactorKeepsOneHalf) {
  ASSERT_EQ(parse({"-P/x/", "-Ny", "-h", "abc"}).action, Action::Run);
  EXPECT_EQ(opts.loadFactor, 0.5);
}

TEST_F(CommandLineTest, LoadFactorFromOneHundredthUpToOneIsAccepted) {
  for (std::string value : {"0.7", "0.01", "1e-2", "0.999", "5e-1"}) {
    EXPECT_EQ(parse({"-P/x/", "-Ny", "-h" + value}).action, Action::Run) << value;
    EXPECT_DOUBLE_EQ(opts.loadFactor, std::strtod(value.c_str(), nullptr));
  }
}

TEST_F(CommandLineTest, LoadFactorOutsideTheRangeIsRejected) {
  for (std::string value : {"1", "1.5", "0.0099", "1e-7", "0", "-0.5", "nan", "inf", "1e400", "1e-400"}) {
    CommandLineResult r = parse({"-P/x/", "-Ny", "-h" + value});
    EXPECT_EQ(r.action, Action::Fail) << value;
    EXPECT_FALSE(r.showUsage);
    ASSERT_EQ(r.errors.size(), 1u) << value;
    EXPECT_EQ(r.errors[0],
              "gen: hash table load factor " + value + " is out of range: it must be at least 0.01 and less than 1");
  }
}

TEST_F(CommandLineTest, AllProblemsAreReportedTogether) {
  CommandLineResult r = parse({"-B7", "-h2", "-N"});
  EXPECT_EQ(r.action, Action::Fail);
  EXPECT_TRUE(r.showUsage);
  ASSERT_EQ(r.errors.size(), 4u) << joined(r);
  EXPECT_NE(r.errors[0].find("-N is missing its value"), std::string::npos);
  EXPECT_NE(r.errors[1].find("-P is missing"), std::string::npos);
  EXPECT_NE(r.errors[2].find("experiment number 7"), std::string::npos);
  EXPECT_NE(r.errors[3].find("load factor 2"), std::string::npos);
}

}  // namespace
