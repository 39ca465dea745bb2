#ifndef SOLVER_PROGRESS_H
#define SOLVER_PROGRESS_H

#include <chrono>
#include <cstdio>
#include <string>

namespace solver {

// Iteration reports on standard error: silent for the first second of a
// solve, then at most one line a second, so that short solves print nothing.
class Progress {
 public:
  explicit Progress(bool enabled = true) : enabled_(enabled) {}
  void restart() { start_ = last_ = Clock::now(); }
  void report(const std::string& what, long iteration, const char* figureName, double figure) {
    if (!enabled_ || (iteration & 15) != 0) return;
    const auto now = Clock::now();
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::seconds(1)) return;
    last_ = now;
    std::fprintf(stderr, "solve: %s: iteration %ld, %s %.3g\n", what.c_str(), iteration, figureName, figure);
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point last_ = start_;
};

}  // namespace solver

#endif
