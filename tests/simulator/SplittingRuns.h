#ifndef TESTS_SIMULATOR_SPLITTING_RUNS_H
#define TESTS_SIMULATOR_SPLITTING_RUNS_H

// Runs of simulate -X split and of gen and solve on the same model, read
// back from their CSVs: shared by the fast and the slow splitting tests.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace splitting {

struct Estimate {
  double value = 0, halfWidth = 0;
  std::string method;
};

inline std::string program(const std::string& stem, const std::string& name) {
  return std::string(GEN_MODELS_DIR) + "/" + stem + "/" + name;
}

// Field `index` of the second line of a CSV (its first row), up to the
// next comma, or with `rest` to the end of the line.
inline std::string field(const std::string& csv, std::size_t index, bool rest = false) {
  const auto lines = testsupport::splitLines(csv);
  if (lines.size() < 2) return {};
  std::size_t at = 0;
  for (std::size_t i = 0; i < index; i++) {
    at = lines[1].find(',', at);
    if (at == std::string::npos) return {};
    at++;
  }
  return rest ? lines[1].substr(at) : lines[1].substr(at, lines[1].find(',', at) - at);
}

// The first variable's estimate of model `stem`, experiment `experiment`,
// by -X `method` (split, sampling or plain).
inline Estimate split(const std::string& stem, int experiment, const std::vector<std::string>& args,
                      const testsupport::TempDir& dir, const std::string& method = "split") {
  std::vector<std::string> all = {"-P" + dir.path() + "/", "-Nsplit", "-B" + std::to_string(experiment), "-X" + method};
  all.insert(all.end(), args.begin(), args.end());
  const auto run = testsupport::runProgram(program(stem, "simulate"), all, dir.path());
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const std::string csv = testsupport::readFile(dir.file("split.sim.csv"));
  return Estimate{std::strtod(field(csv, 4).c_str(), nullptr), std::strtod(field(csv, 5).c_str(), nullptr),
                  field(csv, 14, true)};
}

// The first variable's exact value by gen -U (with `genArgs`) and solve.
inline double exact(const std::string& stem, int experiment, const testsupport::TempDir& dir,
                    const std::vector<std::string>& genArgs = {}) {
  const std::string prefix = "-P" + dir.path() + "/";
  std::vector<std::string> args = {prefix, "-Nexact", "-B" + std::to_string(experiment), "-U"};
  args.insert(args.end(), genArgs.begin(), genArgs.end());
  const auto gen = testsupport::runProgram(program(stem, "gen"), args, dir.path());
  EXPECT_EQ(gen.status, 0) << gen.out << gen.err;
  const auto solved = testsupport::runProgram(SOLVE_BINARY, {prefix, "-Nexact", "-e1e-15"}, dir.path());
  EXPECT_EQ(solved.status, 0) << solved.out << solved.err;
  return std::strtod(field(testsupport::readFile(dir.file("exact.results.csv")), 4).c_str(), nullptr);
}

}  // namespace splitting

#endif
