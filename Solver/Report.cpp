#include "Report.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace solver {

namespace {

std::string number(const char* pattern, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, pattern, v);
  return buf;
}

std::string timeText(const ResultRow& row) {
  switch (row.kind) {
    case RewardKind::Instant: return number("%g", row.stop);
    case RewardKind::SteadyState: return "-";
    default: {
      char buf[80];
      std::snprintf(buf, sizeof buf, "[%g, %g]", row.start, row.stop);
      return buf;
    }
  }
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string randomHex() {
  unsigned char bytes[8] = {};
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  // Should the kernel give too little, the process id and time still keep
  // the name apart; O_EXCL refuses a clash in any case.
  unsigned long long mix = static_cast<unsigned long long>(getpid()) * 0x9E3779B97F4A7C15ull ^
                           static_cast<unsigned long long>(time(nullptr));
  std::string out;
  for (std::size_t i = 0; i < sizeof bytes; i++) {
    const unsigned v = bytes[i] ^ static_cast<unsigned char>(mix >> (8 * i));
    out += "0123456789abcdef"[v >> 4];
    out += "0123456789abcdef"[v & 15];
  }
  return out;
}

std::string folderOf(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : target.substr(0, slash);
}

// What a signal handler must reach: the name of the one temporary being
// written and the gnuplot child, in static storage and lock-free atomics, so
// that the handler stays async-signal-safe. solve writes one file at a time.
char pendingName[PATH_MAX + 1];
std::atomic<bool> pending{false};
std::atomic<pid_t> plotter{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free);

extern "C" void removeTemporaryAndReraise(int signal) {
  if (pending.exchange(false)) ::unlink(pendingName);
  if (const pid_t child = plotter.load(); child > 0) ::kill(child, SIGTERM);
  // The signal is blocked while its handler runs: with the default action
  // restored it ends the process once the handler returns.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// Removes the temporary's name unless a handler already has.
void forget(const std::string& name, bool remove) {
  if (pending.exchange(false) && remove) ::unlink(name.c_str());
}

// A fresh temporary beside `target`, created exclusively. The signals that
// remove it wait while it is created and its name registered, so that a
// handler neither misses it nor removes a file of that name that is not
// solve's.
int createTemporary(const std::string& target, const std::string& suffix, std::string& name) {
  sigset_t cleanupSignals, previous;
  sigemptyset(&cleanupSignals);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&cleanupSignals, signal);
  for (int attempt = 0; attempt < 16; attempt++) {
    name = folderOf(target) + "/.solve-" + randomHex() + suffix + ".tmp";
    if (name.size() > PATH_MAX) {
      errno = ENAMETOOLONG;
      return -1;
    }
    ::sigprocmask(SIG_BLOCK, &cleanupSignals, &previous);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    const int e = errno;
    if (fd >= 0) {
      std::memcpy(pendingName, name.c_str(), name.size() + 1);
      pending.store(true);
    }
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (fd >= 0) return fd;
    errno = e;
    if (e != EEXIST) return -1;
  }
  return -1;
}

// Syncs and closes the temporary, then renames it over the target, provided
// its name still leads to the file written through `fd`: a temporary
// replaced meanwhile (by a link, say) is never renamed into place.
Status commitTemporary(int fd, const std::string& temporary, const std::string& target) {
  struct stat mine {
  }, named{};
  if (::fsync(fd) != 0 || ::fstat(fd, &mine) != 0) {
    Status s = Error{"Cannot write " + temporary + ": " + std::strerror(errno)};
    ::close(fd);
    forget(temporary, true);
    return s;
  }
  if (::close(fd) != 0) {
    Status s = Error{"Cannot write " + temporary + ": " + std::strerror(errno)};
    forget(temporary, true);
    return s;
  }
  if (::lstat(temporary.c_str(), &named) != 0 || named.st_dev != mine.st_dev || named.st_ino != mine.st_ino) {
    forget(temporary, false);
    return Error{temporary + " was replaced while solve wrote it; " + target + " is left as it was"};
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    Status s = Error{"Cannot rename " + temporary + " to " + target + ": " + std::strerror(errno)};
    forget(temporary, true);
    return s;
  }
  forget(temporary, false);
  return okStatus();
}

Status systemError(const std::string& what) { return Error{what + ": " + std::strerror(errno)}; }

}  // namespace

std::string formatTable(const std::vector<ResultRow>& rows) {
  const std::vector<std::string> head = {"variable", "kind", "time", "value", "method", "iterations", "error bound"};
  std::vector<std::vector<std::string>> cells{head};
  for (const ResultRow& r : rows) {
    cells.push_back({r.variable, kindName(r.kind), timeText(r), number("%.12g", r.value), r.method,
                     std::to_string(r.iterations), number("%.2g", r.errorBound)});
  }
  std::vector<std::size_t> width(head.size(), 0);
  for (const auto& line : cells)
    for (std::size_t c = 0; c < line.size(); c++) width[c] = std::max(width[c], line[c].size());
  std::string out;
  for (const auto& line : cells) {
    std::string text;
    for (std::size_t c = 0; c < line.size(); c++) {
      text += line[c];
      if (c + 1 < line.size()) text += std::string(width[c] - line[c].size() + 2, ' ');
    }
    out += text + "\n";
  }
  return out;
}

std::string formatCsv(const std::vector<ResultRow>& rows) {
  std::string out = "variable,kind,start,stop,value,method,iterations,error_bound\n";
  for (const ResultRow& r : rows) {
    const bool steady = r.kind == RewardKind::SteadyState;
    out += csvField(r.variable) + "," + kindName(r.kind) + "," + (steady ? "" : number("%.17g", r.start)) + "," +
           (steady ? "" : number("%.17g", r.stop)) + "," + number("%.17g", r.value) + "," + csvField(r.method) + "," +
           std::to_string(r.iterations) + "," + number("%.3g", r.errorBound) + "\n";
  }
  return out;
}

void removeTemporariesOnSignals() {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    ::sigaction(signal, nullptr, &current);
    // A signal the caller chose to ignore (nohup) stays ignored.
    if (current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = removeTemporaryAndReraise;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
  }
}

Status writeFileAtomically(const std::string& target, const std::string& content) {
  std::string temporary;
  const int fd = createTemporary(target, ".results", temporary);
  if (fd < 0) return systemError("Cannot create a temporary file beside " + target);
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Status s = systemError("Cannot write " + temporary);
      ::close(fd);
      forget(temporary, true);
      return s;
    }
    done += static_cast<std::size_t>(n);
  }
  return commitTemporary(fd, temporary, target);
}

std::string fileId(const std::string& variable) {
  std::string id;
  for (char c : variable) {
    const char l = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    id += ((l >= '0' && l <= '9') || (l >= 'a' && l <= 'z') || l == '_' || l == '-') ? l : '_';
  }
  return id;
}

Status plotVariable(const std::vector<ResultRow>& rows, const std::string& variable, const std::string& format,
                    const std::string& target) {
  std::vector<const ResultRow*> points;
  for (const ResultRow& r : rows)
    if (r.variable == variable) points.push_back(&r);
  std::sort(points.begin(), points.end(), [](const ResultRow* a, const ResultRow* b) { return a->stop < b->stop; });
  std::string temporary;
  const int fd = createTemporary(target, "." + format, temporary);
  if (fd < 0) return systemError("Cannot create a temporary file beside " + target);
  // gnuplot reads single-quoted strings literally, with '' for a quote.
  auto quoted = [](const std::string& text) {
    std::string out = "'";
    for (char c : text) {
      if (c == '\n' || c == '\r') continue;
      out += c;
      if (c == '\'') out += '\'';
    }
    return out + "'";
  };
  std::string script = format == "png" ? "set terminal pngcairo size 800,500\n" : "set terminal svg size 800,500\n";
  // No file name: the plot goes to gnuplot's standard output, the temporary.
  script += "set output\n";
  script += "set title " + quoted(variable) + " noenhanced\n";
  script += points.front()->kind == RewardKind::Instant ? "set xlabel 'time'\n" : "set xlabel 'interval end'\n";
  script += "set ylabel 'value'\nset grid\nunset key\n$values << EOD\n";
  for (const ResultRow* p : points) script += number("%.17g", p->stop) + " " + number("%.17g", p->value) + "\n";
  script += "EOD\nplot $values using 1:2 with linespoints\n";

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    Status s = systemError("Cannot start gnuplot");
    ::close(fd);
    forget(temporary, true);
    return s;
  }
  const pid_t child = fork();
  if (child < 0) {
    Status s = systemError("Cannot start gnuplot");
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    ::close(fd);
    forget(temporary, true);
    return s;
  }
  if (child == 0) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction current {};
      ::sigaction(signal, nullptr, &current);
      if (current.sa_handler != SIG_IGN) ::signal(signal, SIG_DFL);
    }
    ::dup2(pipeFds[0], 0);
    ::dup2(fd, 1);
    execlp("gnuplot", "gnuplot", static_cast<char*>(nullptr));
    _exit(127);
  }
  plotter.store(child);
  ::close(pipeFds[0]);
  bool written = true;
  for (std::size_t done = 0; done < script.size();) {
    const ssize_t n = ::write(pipeFds[1], script.data() + done, script.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      written = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  ::close(pipeFds[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  plotter.store(0);
  if (!written || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    ::close(fd);
    forget(temporary, true);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
      return Error{"Cannot run gnuplot to plot " + variable + " (install it: apt-get install gnuplot-nox)"};
    return Error{"gnuplot failed to plot " + variable};
  }
  return commitTemporary(fd, temporary, target);
}

}  // namespace solver
