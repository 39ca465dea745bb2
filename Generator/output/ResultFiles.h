#ifndef RESULT_FILES_H
#define RESULT_FILES_H

#include <array>
#include <cstddef>
#include <optional>
#include <string>

// The result files of one run, made to appear all at once or not at all.
//
// Every output file is written under a temporary name in its own directory
// (".gen-<pid>-<16 random hexadecimal digits><suffix>.tmp", short whatever the
// run's name), created as a new file (never through a link or into a file
// that stands there already), and renamed to
// its final name by commit(), once the generator has completed, checked,
// synced and closed all of them; the state-space file comes last, so that a
// state-space file never stands beside results of another run. Until then
// the results of an earlier run in the same place stay untouched.
//
// A run that fails (the object is destroyed without commit, or the process
// leaves through exit) or that receives SIGINT, SIGTERM, SIGHUP, SIGPIPE,
// SIGXFSZ or SIGABRT removes its temporaries; after a signal the process then ends with
// that signal. Only SIGKILL leaves temporaries behind.
//
// One run per output prefix: an advisory lock (flock) on "<prefix>.lock",
// held for the object's life and released by the kernel when the process
// ends. A second run on the same prefix is refused. The lock file itself
// stays in place: removing it while another run may hold it would let a
// third run lock a new file under the same name.
//
// The constructor also checks the trace file: one that cannot be opened, or
// that is one of the run's files (the results, their temporaries, the lock
// file; compared by device and inode when they exist, by resolved path
// otherwise) is refused before anything else is created.
//
// Only one object may exist at a time in a process: the signal handler
// reaches the temporaries' names through one process-wide table, the only
// way a handler can see them.
class ResultFiles {
 public:
  static constexpr std::size_t kMaxFiles = 6;

  // `prefix` is the -P value followed by the -N value. Throws GenError when
  // the trace file is refused, a name is too long or the lock is held or
  // cannot be taken.
  ResultFiles(std::string prefix, const std::optional<std::string>& traceFile);
  ~ResultFiles();  // removes the temporaries unless committed; releases the lock
  ResultFiles(const ResultFiles&) = delete;
  ResultFiles& operator=(const ResultFiles&) = delete;

  // The temporary to write instead of `finalName`, which must be the prefix
  // followed by a suffix. The temporary is removed if the run fails.
  std::string temporaryFor(const std::string& finalName);
  // Renames every temporary to its final name, the state-space file last.
  // Throws GenError when a rename fails (the remaining temporaries are then
  // removed).
  void commit();

  const std::string& lockFile() const { return lockFile_; }
  // The temporary's name for `suffix` (".arm", ...), whether written or not.
  std::string temporaryName(const std::string& suffix) const;

 private:
  struct Entry {
    std::string finalName;
    std::string temporary;
  };
  void checkTraceFile(const std::string& traceFile) const;
  void takeLock();
  void removeTemporaries();

  std::string prefix_;
  std::string directory_;  // "" for the working directory, else ends with '/'
  std::string lockFile_;
  std::string token_;  // the random part of the temporaries' names
  int lockFd_ = -1;
  std::array<Entry, kMaxFiles> entries_;
  std::size_t count_ = 0;
  bool committed_ = false;
};

#endif
