#include "ProgressLine.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace {

// Shown only for runs longer than this, then rewritten at this pace.
constexpr std::chrono::milliseconds kFirstAfter{1000};
constexpr std::chrono::milliseconds kEvery{250};

// Back to the start of the line, and erase it from there on.
constexpr const char* kErase = "\r\033[K";

// The resident memory of the process, in bytes (0 when unknown).
double residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  if (!(statm >> pages >> resident)) return 0;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

}  // namespace

ProgressLine::ProgressLine()
    : terminal_(isatty(STDERR_FILENO) == 1),
      outputOnTerminal_(isatty(STDOUT_FILENO) == 1),
      start_(Clock::now()),
      next_(start_ + kFirstAfter) {}

void ProgressLine::suspend() {
  if (!shown_ || !outputOnTerminal_) return;
  clear();
  suspended_ = true;
}

void ProgressLine::update(std::uint64_t states) {
  if (!terminal_) return;
  const Clock::time_point now = Clock::now();
  if (now >= next_) {
    next_ = now + kEvery;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    char text[160];
    std::snprintf(text, sizeof text, "%llu states, %.0f states/s, %.1f MB, %.1f s",
                  static_cast<unsigned long long>(states), static_cast<double>(states) / seconds,
                  residentBytes() / (1024.0 * 1024.0), seconds);
    text_ = text;
    show();
  } else if (suspended_) {
    show();
  }
}

void ProgressLine::show() {
  std::fputs(kErase, stderr);
  std::fputs(text_.c_str(), stderr);
  std::fflush(stderr);
  shown_ = true;
  suspended_ = false;
}

void ProgressLine::clear() {
  suspended_ = false;
  if (!shown_) return;
  std::fputs(kErase, stderr);
  std::fflush(stderr);
  shown_ = false;
}
