#ifndef PROGRESS_LINE_H
#define PROGRESS_LINE_H

#include <chrono>
#include <cstdint>
#include <string>

// A line on standard error that shows a person at a terminal how far a long
// run has got: states, states per second, memory and time elapsed. It
// appears once the run has taken a second, is rewritten in place, and is
// cleared before anything else is written to standard error and at the end.
// When standard error is not a terminal it does nothing, so logs and pipes
// get exactly what they always got; standard output is never touched.
class ProgressLine {
 public:
  ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  ~ProgressLine() { clear(); }

  // Before a line goes to standard output: when that is the same terminal,
  // the progress line steps aside so that the output line starts clean.
  void suspend();
  // `states` have been found so far: shows the line when it is due, or
  // puts it back after suspend(). Cheap when there is nothing to show.
  void update(std::uint64_t states);
  // Removes the line, if shown.
  void clear();

 private:
  using Clock = std::chrono::steady_clock;
  void show();

  bool terminal_;
  bool outputOnTerminal_;  // standard output is a terminal too
  bool shown_ = false;
  bool suspended_ = false;
  std::string text_;
  Clock::time_point start_;
  Clock::time_point next_;  // no new figures before this
};

#endif
