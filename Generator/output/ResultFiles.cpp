#include "ResultFiles.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "GenError.h"

namespace {

// The suffixes a run may write, and the one renamed last.
const char* const kSuffixes[] = {".pvtype", ".arm", ".var", ".det", ".umb"};
const std::string kStateSpaceSuffix = ".arm";
const std::string kLongestSuffix = ".pvtype";

// SIGABRT too: a failed internal check must not leave temporaries either.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ, SIGABRT};
constexpr std::size_t kNumSignals = sizeof kSignals / sizeof kSignals[0];

// Who may touch the temporaries: nobody (idle), a cleanup that removes them
// (a signal handler, the exit hook or the destructor), or commit, which
// renames them. The claim is one compare-and-swap, so a signal arriving in
// the middle of a commit never removes half of the files being renamed.
enum Phase : int { kIdle = 0, kCleaning = 1, kCommitting = 2 };

// What a signal handler must reach: the names of the temporaries, in storage
// that exists before the first signal can arrive. Lock-free atomics only, so
// the handler stays async-signal-safe.
struct CleanupTable {
  std::atomic<const char*> names[ResultFiles::kMaxFiles] = {};
  std::atomic<int> phase{kIdle};
  std::atomic<int> pendingSignal{0};
  std::atomic<bool> claimed{false};
  bool installed[kNumSignals] = {};
  struct sigaction previous[kNumSignals] = {};
};
static_assert(std::atomic<const char*>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

CleanupTable cleanupTable;

void unlinkTemporaries() {
  for (auto& name : cleanupTable.names)
    if (const char* path = name.load()) ::unlink(path);
}

extern "C" void removeTemporariesAndReraise(int signal) {
  const int savedErrno = errno;
  int phase = kIdle;
  if (!cleanupTable.phase.compare_exchange_strong(phase, kCleaning) && phase == kCommitting) {
    // The results are being renamed into place; commit ends the process
    // with this signal once they all are.
    cleanupTable.pendingSignal.store(signal);
    errno = savedErrno;
    return;
  }
  unlinkTemporaries();
  // The signal is blocked while its handler runs: it ends the process as
  // soon as the handler returns.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
  errno = savedErrno;
}

std::string systemText(int error) { return std::generic_category().message(error); }

void refuseDirectory(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw GenError("Error: Could not open output file " + path + ": " + systemText(EISDIR));
}

// The path `path` names once every symbolic link on the way is followed, the
// last component included even when its target does not exist yet; "" when
// its directory does not exist.
std::string resolvedPath(std::string path) {
  for (int hops = 0; hops < 40; hops++) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size() - 1);
    if (n <= 0) break;
    std::string target(buffer.data(), static_cast<std::size_t>(n));
    if (target[0] != '/') {
      const auto slash = path.rfind('/');
      target = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + target;
    }
    path = target;
  }
  const auto slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  char* real = ::realpath(dir.c_str(), nullptr);
  if (!real) return {};
  std::string result(real);
  std::free(real);
  if (result.back() != '/') result += '/';
  return result + base;
}

struct Identity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::string resolved;
};

Identity identify(const std::string& path) {
  Identity id;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    id.exists = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
  }
  id.resolved = resolvedPath(path);
  return id;
}

bool sameFile(const Identity& a, const Identity& b) {
  if (a.exists && b.exists) return a.device == b.device && a.inode == b.inode;
  return !a.resolved.empty() && a.resolved == b.resolved;
}

// 64 random bits in hexadecimal: a process id alone is easy to guess, and a
// name known in advance could be taken by another user's file first.
std::string randomToken() {
  unsigned char bytes[8];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw GenError("Error: Could not name the temporary files: " + systemText(n < 0 ? errno : EIO));
    got += static_cast<std::size_t>(n);
  }
  static const char kDigits[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token += kDigits[b >> 4];
    token += kDigits[b & 15];
  }
  return token;
}

}  // namespace

ResultFiles::ResultFiles(std::string prefix, const std::optional<std::string>& traceFile)
    : prefix_(std::move(prefix)), lockFile_(prefix_ + ".lock"), token_(randomToken()) {
  const auto slash = prefix_.rfind('/');
  if (slash != std::string::npos) directory_ = prefix_.substr(0, slash + 1);

  if (traceFile) checkTraceFile(*traceFile);

  // A final name too long for the directory would fail only at the rename,
  // after the whole run; the temporaries' names are short.
  const std::string longest = prefix_ + kLongestSuffix;
  long nameMax = ::pathconf(directory_.empty() ? "." : directory_.c_str(), _PC_NAME_MAX);
  if (nameMax <= 0) nameMax = NAME_MAX;
  if (longest.size() - directory_.size() > static_cast<std::size_t>(nameMax))
    throw GenError("Error: Could not open pvtype file " + longest + ": " + systemText(ENAMETOOLONG));

  // A directory in a result's place would stop the renames half-way.
  for (const char* suffix : kSuffixes) refuseDirectory(prefix_ + suffix);

  takeLock();

  bool unclaimed = false;
  if (!cleanupTable.claimed.compare_exchange_strong(unclaimed, true)) {
    ::close(lockFd_);
    throw std::logic_error("ResultFiles: one run's result files at a time");
  }
  cleanupTable.phase.store(kIdle);
  cleanupTable.pendingSignal.store(0);
  for (std::size_t i = 0; i < kNumSignals; i++) {
    struct sigaction current {};
    ::sigaction(kSignals[i], nullptr, &current);
    // A signal the caller chose to ignore (nohup, SIGXFSZ for EFBIG) stays ignored.
    if (current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = removeTemporariesAndReraise;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    cleanupTable.installed[i] = ::sigaction(kSignals[i], &action, &cleanupTable.previous[i]) == 0;
  }
}

ResultFiles::~ResultFiles() {
  if (!committed_) removeTemporaries();
  for (auto& name : cleanupTable.names) name.store(nullptr);
  for (std::size_t i = 0; i < kNumSignals; i++) {
    if (cleanupTable.installed[i]) ::sigaction(kSignals[i], &cleanupTable.previous[i], nullptr);
    cleanupTable.installed[i] = false;
  }
  cleanupTable.claimed.store(false);
  if (lockFd_ >= 0) ::close(lockFd_);
}

void ResultFiles::checkTraceFile(const std::string& traceFile) const {
  const Identity trace = identify(traceFile);
  std::vector<std::string> ours;
  for (const char* suffix : kSuffixes) {
    ours.push_back(prefix_ + suffix);
    ours.push_back(temporaryName(suffix));
  }
  ours.push_back(lockFile_);
  for (const std::string& file : ours)
    if (sameFile(trace, identify(file)))
      throw GenError("Error: The trace file " + traceFile + " is the run's own file " + file +
                     "; choose another trace file");

  const int fd = ::open(traceFile.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) throw GenError("Error: Could not open trace file " + traceFile + ": " + systemText(errno));
  ::close(fd);
}

void ResultFiles::takeLock() {
  // Not through a link: a link planted at the name would have the run create
  // or lock a file elsewhere.
  lockFd_ = ::open(lockFile_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0666);
  if (lockFd_ < 0) throw GenError("Error: Could not open lock file " + lockFile_ + ": " + systemText(errno));
  if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(lockFd_);
    lockFd_ = -1;
    if (error == EWOULDBLOCK)
      throw GenError("Error: Another run is writing " + prefix_ + ".* (lock file " + lockFile_ +
                     " is held); wait for it to end or choose another path or name");
    throw GenError("Error: Could not lock " + lockFile_ + ": " + systemText(error));
  }
}

std::string ResultFiles::temporaryName(const std::string& suffix) const {
  return directory_ + ".gen-" + std::to_string(::getpid()) + "-" + token_ + suffix + ".tmp";
}

std::string ResultFiles::temporaryFor(const std::string& finalName) {
  for (std::size_t i = 0; i < count_; i++)
    if (entries_[i].finalName == finalName) return entries_[i].temporary;
  if (finalName.compare(0, prefix_.size(), prefix_) != 0 || count_ == kMaxFiles)
    throw std::logic_error("ResultFiles: not a result file of this run: " + finalName);
  Entry& entry = entries_[count_];
  entry.finalName = finalName;
  entry.temporary = temporaryName(finalName.substr(prefix_.size()));
  // Registered before the file exists, so that no moment leaves it unlisted.
  cleanupTable.names[count_].store(entry.temporary.c_str());
  count_++;
  return entry.temporary;
}

void ResultFiles::removeTemporaries() {
  int phase = kIdle;
  if (!cleanupTable.phase.compare_exchange_strong(phase, kCleaning)) return;
  unlinkTemporaries();
  for (auto& name : cleanupTable.names) name.store(nullptr);
  cleanupTable.phase.store(kIdle);
}

void ResultFiles::commit() {
  int phase = kIdle;
  if (!cleanupTable.phase.compare_exchange_strong(phase, kCommitting)) {
    // A signal handler on another thread is removing the temporaries and
    // ends the process.
    for (;;) ::pause();
  }
  for (std::size_t i = 0; i < count_; i++) {
    try {
      refuseDirectory(entries_[i].finalName);
    } catch (const GenError&) {
      cleanupTable.phase.store(kIdle);
      removeTemporaries();
      throw;
    }
  }
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < count_; i++)
    if (!entries_[i].finalName.ends_with(kStateSpaceSuffix)) order.push_back(i);
  for (std::size_t i = 0; i < count_; i++)
    if (entries_[i].finalName.ends_with(kStateSpaceSuffix)) order.push_back(i);

  for (std::size_t i : order) {
    const Entry& entry = entries_[i];
    if (::rename(entry.temporary.c_str(), entry.finalName.c_str()) != 0) {
      const int error = errno;
      cleanupTable.phase.store(kIdle);
      removeTemporaries();
      throw GenError("Error: Could not move " + entry.temporary + " to " + entry.finalName + ": " + systemText(error));
    }
    cleanupTable.names[i].store(nullptr);
  }
  // The renames themselves reach the disk with the directory.
  const int dir = ::open(directory_.empty() ? "." : directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  committed_ = true;
  cleanupTable.phase.store(kIdle);
  if (const int signal = cleanupTable.pendingSignal.exchange(0)) {
    ::signal(signal, SIG_DFL);
    ::raise(signal);
  }
}
