#include "AtomicFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

namespace atomic_file {

namespace {

using Failure = std::optional<std::string>;

Failure systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

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
// that the handler stays async-signal-safe. A program writes one file at a time.
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
// this program's.
int createTemporary(const std::string& target, const std::string& program, const std::string& suffix,
                    std::string& name) {
  sigset_t cleanupSignals, previous;
  sigemptyset(&cleanupSignals);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&cleanupSignals, signal);
  for (int attempt = 0; attempt < 16; attempt++) {
    name = folderOf(target) + "/." + program + "-" + randomHex() + suffix + ".tmp";
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
Failure commitTemporary(int fd, const std::string& temporary, const std::string& target, const std::string& program) {
  struct stat mine {
  }, named{};
  if (::fsync(fd) != 0 || ::fstat(fd, &mine) != 0) {
    Failure s = std::string{"Cannot write " + temporary + ": " + std::strerror(errno)};
    ::close(fd);
    forget(temporary, true);
    return s;
  }
  if (::close(fd) != 0) {
    Failure s = std::string{"Cannot write " + temporary + ": " + std::strerror(errno)};
    forget(temporary, true);
    return s;
  }
  if (::lstat(temporary.c_str(), &named) != 0 || named.st_dev != mine.st_dev || named.st_ino != mine.st_ino) {
    forget(temporary, false);
    return temporary + " was replaced while " + program + " wrote it; " + target + " is left as it was";
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    Failure s = std::string{"Cannot rename " + temporary + " to " + target + ": " + std::strerror(errno)};
    forget(temporary, true);
    return s;
  }
  forget(temporary, false);
  return std::nullopt;
}

}  // namespace

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

Failure writeFileAtomically(const std::string& target, const std::string& content, const std::string& program,
                            const std::string& suffix) {
  std::string temporary;
  const int fd = createTemporary(target, program, suffix, temporary);
  if (fd < 0) return systemError("Cannot create a temporary file beside " + target);
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Failure s = systemError("Cannot write " + temporary);
      ::close(fd);
      forget(temporary, true);
      return s;
    }
    done += static_cast<std::size_t>(n);
  }
  return commitTemporary(fd, temporary, target, program);
}

Failure plotWithGnuplot(const std::string& script, const std::string& target, const std::string& program,
                        const std::string& suffix, const std::string& variable) {
  std::string temporary;
  const int fd = createTemporary(target, program, suffix, temporary);
  if (fd < 0) return systemError("Cannot create a temporary file beside " + target);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    Failure s = systemError("Cannot start gnuplot");
    ::close(fd);
    forget(temporary, true);
    return s;
  }
  const pid_t child = fork();
  if (child < 0) {
    Failure s = systemError("Cannot start gnuplot");
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
      return "Cannot run gnuplot to plot " + variable + " (install it: apt-get install gnuplot-nox)";
    return "gnuplot failed to plot " + variable;
  }
  return commitTemporary(fd, temporary, target, program);
}

}  // namespace atomic_file
