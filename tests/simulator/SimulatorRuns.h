// The simulator tests' reading of simulate's CSV, its runs, and the exact
// values of the M/M/1/K queue (tests/simulator/models/mm1k.toml).

#ifndef TESTS_SIMULATOR_SIMULATOR_RUNS_H
#define TESTS_SIMULATOR_SIMULATOR_RUNS_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace simtest {

struct Row {
  std::string variable, kind;
  double start = 0, stop = 0, value = 0, halfWidth = 0;
  std::string precision;
  double lower = 0, upper = 0;
  std::string method;
  std::uint64_t replications = 0, events = 0;
  bool covers(double exact) const { return lower <= exact && exact <= upper; }
};

inline std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, ',')) out.push_back(field);
  if (!line.empty() && line.back() == ',') out.emplace_back();
  return out;
}

inline double real(const std::string& text) { return text.empty() ? 0.0 : std::strtod(text.c_str(), nullptr); }

// simulate's CSV: variable,kind,start,stop,estimate,half_width,level,
// replications,events,precision,lower,upper,interval,warmup_events.
inline std::vector<Row> readSimulated(const std::string& path) {
  std::vector<Row> rows;
  const auto lines = testsupport::splitLines(testsupport::readFile(path));
  for (std::size_t i = 1; i < lines.size(); i++) {
    if (lines[i].empty()) continue;
    const auto f = fields(lines[i]);
    if (f.size() < 13) continue;
    rows.push_back(Row{f[0], f[1], real(f[2]), real(f[3]), real(f[4]), real(f[5]), f[9], real(f[10]), real(f[11]),
                       f[12], std::strtoull(f[7].c_str(), nullptr, 10), std::strtoull(f[8].c_str(), nullptr, 10)});
  }
  return rows;
}

inline std::string modelProgram(const std::string& stem, const std::string& program) {
  return std::string(GEN_MODELS_DIR) + "/" + stem + "/" + program;
}

// Runs `program` for experiment `experiment` into `dir` and reads its CSV.
inline std::vector<Row> simulate(const std::string& program, int experiment, std::vector<std::string> args,
                                 const testsupport::TempDir& dir, testsupport::RunResult* run = nullptr) {
  std::vector<std::string> all = {"-P" + dir.path() + "/", "-Nsim", "-B" + std::to_string(experiment)};
  all.insert(all.end(), args.begin(), args.end());
  const auto result = testsupport::runProgram(program, all, dir.path());
  EXPECT_EQ(result.status, 0) << program << "\n" << result.out << result.err;
  if (run) *run = result;
  return readSimulated(dir.file("sim.sim.csv"));
}

// The M/M/1/K queue started empty: the law of the number present at t, by
// uniformisation (rate arrival + service, terms until 1e-16 of the Poisson
// mass is left, at most 10,000).
inline std::vector<double> mm1kAt(int K, double arrival, double service, double t) {
  const double q = arrival + service;
  std::vector<double> v(static_cast<std::size_t>(K) + 1, 0.0), law(v.size(), 0.0), next(v.size());
  v[0] = 1.0;
  double weight = std::exp(-q * t), mass = 0.0;
  for (int k = 0; k < 10000 && mass < 1.0 - 1e-16; k++) {
    for (std::size_t j = 0; j < v.size(); j++) law[j] += weight * v[j];
    mass += weight;
    std::fill(next.begin(), next.end(), 0.0);
    for (int n = 0; n <= K; n++) {
      const double up = n < K ? arrival / q : 0.0, down = n > 0 ? service / q : 0.0;
      const auto i = static_cast<std::size_t>(n);
      if (n < K) next[i + 1] += v[i] * up;
      if (n > 0) next[i - 1] += v[i] * down;
      next[i] += v[i] * (1.0 - up - down);
    }
    v.swap(next);
    weight *= q * t / (k + 1);
  }
  return law;
}

// Its long-run mean number present: the truncated geometric law.
inline double mm1kMean(int K, double rho) {
  double norm = 0.0, mean = 0.0;
  for (int n = 0; n <= K; n++) {
    norm += std::pow(rho, n);
    mean += n * std::pow(rho, n);
  }
  return mean / norm;
}

}  // namespace simtest

#endif
