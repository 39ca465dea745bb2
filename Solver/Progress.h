#ifndef SOLVER_PROGRESS_H
#define SOLVER_PROGRESS_H

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

namespace solver {

// Iteration reports on standard error: silent for the first second of a
// solve, then at most one line a second, so that short solves print nothing.
// Each line says how long the rest should take: for an iteration that
// converges, from the rate its figure fell at since the line before (the
// figure falls about geometrically, so the iterations left are the
// logarithm of the distance to the target over that of the fall per
// iteration); for a fixed number of steps, from the time a step has taken.
class Progress {
 public:
  explicit Progress(bool enabled = true) : enabled_(enabled) {}
  void restart() {
    start_ = last_ = Clock::now();
    what_.clear();
  }

  // An iteration whose figure is to fall to `target`.
  void report(const std::string& what, long iteration, const char* figureName, double figure, double target) {
    if (!due(what, iteration, figure)) return;
    std::string left = "time left not yet known";
    if (iteration > markIteration_ && figure > 0 && markFigure_ > 0 && target > 0) {
      const double fall = std::log(figure / markFigure_) / static_cast<double>(iteration - markIteration_);
      if (figure <= target) {
        left = "converged";
      } else if (fall < 0) {
        const double iterations = std::log(target / figure) / fall;
        left = "about " + duration(iterations * secondsPerIteration(iteration)) + " left";
      } else {
        left = "not falling yet, so no estimate of the time left";
      }
    }
    std::fprintf(stderr, "solve: %s: iteration %ld, %s %.3g, %s\n", what.c_str(), iteration, figureName, figure,
                 left.c_str());
    mark(now_, iteration, figure);
  }

  // Step `step` of `steps` (uniformisation knows its count in advance).
  void reportSteps(const std::string& what, long step, long steps, const char* figureName, double figure) {
    if (!due(what, step, figure)) return;
    std::fprintf(stderr, "solve: %s: step %ld of %ld, %s %.3g, about %s left\n", what.c_str(), step, steps, figureName,
                 figure, duration(secondsPerIteration(step) * static_cast<double>(steps - step)).c_str());
    mark(now_, step, figure);
  }

 private:
  using Clock = std::chrono::steady_clock;

  // Whether a line is due; starts a new series, with the iteration as the
  // point the first estimate is taken from, when the solve moved on to
  // another system.
  bool due(const std::string& what, long iteration, double figure) {
    if (!enabled_) return false;
    if (what != what_ || iteration < markIteration_) {
      what_ = what;
      mark(Clock::now(), iteration, figure);
    }
    if ((iteration & 15) != 0) return false;
    const auto now = Clock::now();
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::seconds(1)) return false;
    last_ = now_ = now;
    return iteration > markIteration_;
  }

  double secondsPerIteration(long iteration) {
    const double seconds =
        std::chrono::duration<double>(now_ - markTime_).count() / static_cast<double>(iteration - markIteration_);
    return seconds;
  }

  void mark(Clock::time_point when, long iteration, double figure) {
    markTime_ = when;
    markIteration_ = iteration;
    markFigure_ = figure;
  }

  static std::string duration(double seconds) {
    char buf[64];
    if (!std::isfinite(seconds) || seconds > 1e7)
      std::snprintf(buf, sizeof buf, "more than 100 days");
    else if (seconds < 90)
      std::snprintf(buf, sizeof buf, "%.0f s", std::ceil(seconds));
    else if (seconds < 5400)
      std::snprintf(buf, sizeof buf, "%.0f min", std::ceil(seconds / 60));
    else
      std::snprintf(buf, sizeof buf, "%.1f h", seconds / 3600);
    return buf;
  }

  bool enabled_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point last_ = start_;
  Clock::time_point now_ = start_;
  Clock::time_point markTime_ = start_;
  std::string what_;
  long markIteration_ = 0;
  double markFigure_ = 0;
};

}  // namespace solver

#endif
