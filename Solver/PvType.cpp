#include "PvType.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace solver {

const char* kindName(RewardKind kind) {
  switch (kind) {
    case RewardKind::Instant: return "instant";
    case RewardKind::Interval: return "interval";
    case RewardKind::TimeAveraged: return "time_averaged";
    case RewardKind::SteadyState: return "steady_state";
  }
  return "?";
}

namespace {

class Lines {
 public:
  explicit Lines(const std::string& text) : in_(text) {}
  // The value after "<key>:" on the next line.
  Outcome<std::string> field(const std::string& key) {
    std::string line;
    if (!std::getline(in_, line)) return Error{".pvtype: ends where " + key + ": was expected (line " + std::to_string(number_ + 1) + ")"};
    number_++;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(key + ":", 0) != 0) {
      return Error{".pvtype line " + std::to_string(number_) + ": expected " + key + ":, found \"" + line + "\""};
    }
    return line.substr(key.size() + 1);
  }
  Outcome<long> integer(const std::string& key, long max) {
    auto text = field(key);
    if (!text) return text.error();
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text->c_str(), &end, 10);
    if (text->empty() || *end != '\0' || errno != 0 || v < 0 || v > max)
      return Error{".pvtype line " + std::to_string(number_) + ": " + key + " is not a count from 0 to " + std::to_string(max)};
    return v;
  }
  Outcome<double> real(const std::string& key) {
    auto text = field(key);
    if (!text) return text.error();
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text->c_str(), &end);
    if (text->empty() || *end != '\0' || !std::isfinite(v) || v < 0)
      return Error{".pvtype line " + std::to_string(number_) + ": " + key + " is not a time (a finite number, 0 or more)"};
    return v;
  }

 private:
  std::istringstream in_;
  int number_ = 0;
};

}  // namespace

Outcome<std::vector<RewardVariable>> parsePvType(const std::string& text) {
  Lines lines(text);
  auto version = lines.integer("Version", 1000);
  if (!version) return version.error();
  if (*version != 1) return Error{".pvtype: version " + std::to_string(*version) + ", solve reads version 1"};
  auto count = lines.integer("NumPV", 1000000);
  if (!count) return count.error();
  std::vector<RewardVariable> variables;
  for (long v = 0; v < *count; v++) {
    RewardVariable var;
    auto name = lines.field("Name");
    if (!name) return name.error();
    var.name = *name;
    auto type = lines.integer("Type", 3);
    if (!type) return type.error();
    var.kind = static_cast<RewardKind>(*type);
    auto times = lines.integer("NumTimes", 1000000);
    if (!times) return times.error();
    for (long t = 0; t < *times; t++) {
      auto start = lines.real("Start");
      if (!start) return start.error();
      auto stop = lines.real("Stop");
      if (!stop) return stop.error();
      var.times.emplace_back(*start, *stop);
    }
    variables.push_back(std::move(var));
  }
  return variables;
}

Outcome<std::vector<RewardVariable>> readPvType(const std::string& path) {
  // Non-blocking, then checked on the descriptor: a FIFO or a device (a link
  // to /dev/zero) at the name is refused before a byte is read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return Error{path + ": " + std::strerror(errno)};
  struct stat st{};
  if (::fstat(fd, &st) != 0) {
    const int e = errno;
    ::close(fd);
    return Error{path + ": " + std::strerror(e)};
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return Error{path + ": not a regular file (a FIFO, a device or a folder)"};
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int e = errno;
      ::close(fd);
      return Error{path + ": " + std::strerror(e)};
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  auto parsed = parsePvType(text);
  if (!parsed) return Error{path + parsed.error().message.substr(std::strlen(".pvtype"))};
  return parsed;
}

}  // namespace solver
