#include "OutputFile.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>
#include <system_error>

#include "ByteRuns.h"
#include "FileCreation.h"
#include "GenError.h"

namespace {

constexpr int kWriterNice = 10;

}  // namespace

OutputFile::OutputFile() : buffer_(newBuffer()) {}

OutputFile::~OutputFile() {
  if (fd_ >= 0) {
    drain();
    stopWriter();
    closeDescriptor(false);
  }
}

bool OutputFile::open(const std::string& path, const std::string& reportedName, FileCreation creation) {
  if (fd_ >= 0) {
    stopWriter();
    closeDescriptor(false);
  }
  path_ = path;
  name_ = reportedName;
  used_ = 0;
  handedOver_ = 0;
  headerEnd_ = 0;
  closed_ = false;
  error_.store(0, std::memory_order_relaxed);
  queued_.clear();
  stopping_ = false;
  writing_ = false;

  // Read access lets a header that outgrows its placeholder move the records.
  fd_ = openOutputFile(path.c_str(), creation, true);
  if (fd_ < 0) {
    fail(errno);
    return false;
  }
  spare_.clear();
  // Big results go to the disk directly: copying them into the page cache
  // cost as much CPU as a fifth of the run, and evicted everything else. A
  // file system that does not take direct writes gets buffered ones.
  // The second descriptor reopens the file just opened, not whatever its name
  // may meanwhile stand for.
  directFd_ = ::open(("/proc/self/fd/" + std::to_string(fd_)).c_str(), O_WRONLY | O_DIRECT | O_CLOEXEC);
  for (std::size_t i = 1; i < kBuffers; i++) spare_.push_back(newBuffer());
  try {
    writer_ = std::thread(&OutputFile::writerLoop, this);
  } catch (const std::system_error& e) {
    closeDescriptor(false);
    fail(e.code().value() != 0 ? e.code().value() : EAGAIN);
    return false;
  }
  return true;
}

void OutputFile::fail(int errorNumber) {
  int none = 0;
  error_.compare_exchange_strong(none, errorNumber != 0 ? errorNumber : EIO, std::memory_order_acq_rel);
}

std::string OutputFile::errorText() const {
  const int e = error_.load(std::memory_order_acquire);
  // The generic category gives the system's text without strerror's shared buffer.
  return e != 0 ? std::generic_category().message(e) : std::string();
}

bool OutputFile::writeAll(const char* data, std::size_t size, long long offset) {
  while (size > 0) {
    const ssize_t n = offset < 0 ? ::write(fd_, data, size) : ::pwrite(fd_, data, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
      return false;
    }
    if (n == 0) {
      fail(EIO);
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
    if (offset >= 0) offset += n;
  }
  return true;
}

bool OutputFile::writeBlock(const char* data, std::size_t size) {
  if (directFd_ < 0 || size % kAlignment != 0) return writeAll(data, size);
  const off_t at = ::lseek(fd_, 0, SEEK_CUR);
  if (at < 0 || at % static_cast<off_t>(kAlignment) != 0) return writeAll(data, size);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(directFd_, data + done, size - done, at + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  if (done < size) {
    // Whatever the direct write refused or left undone goes through the
    // cache, and so does everything after it.
    ::close(directFd_);
    directFd_ = -1;
  }
  if (::lseek(fd_, at + static_cast<off_t>(done), SEEK_SET) < 0) {
    fail(errno);
    return false;
  }
  return done == size || writeAll(data + done, size - done);
}

void OutputFile::writerLoop() {
  // The exploration threads come first: a writer that wakes up for its next
  // block should not take the core of a thread whose partner is waiting for
  // it. The writers need a small share of a core, which a lower priority
  // still gives them. (No harm done if the system refuses.)
  (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kWriterNice);
  // Starting the disk on what is written, while the run goes on, leaves the
  // sync at close only the last few megabytes to wait for.
  constexpr std::size_t kWritebackStep = std::size_t{8} << 20;
  std::size_t sinceWriteback = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
    if (queued_.empty()) return;  // stopping, and everything is written
    Block block = std::move(queued_.front());
    queued_.pop_front();
    writing_ = true;
    lock.unlock();
    if (!failed() && writeBlock(block.data.get(), block.size)) {
      sinceWriteback += block.size;
      if (sinceWriteback >= kWritebackStep) {
        // Failures show up in the sync at close.
        ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
        sinceWriteback = 0;
      }
    }
    lock.lock();
    spare_.push_back(std::move(block.data));
    writing_ = false;
    changed_.notify_all();
  }
}

void OutputFile::makeRoom() {
  const std::size_t tail = used_ % kAlignment;
  if (tail == 0 || used_ < kAlignment) return drain();
  char kept[kAlignment];
  std::memcpy(kept, buffer_.get() + used_ - tail, tail);
  used_ -= tail;
  drain();
  std::memcpy(buffer_.get(), kept, tail);
  used_ = tail;
}

void OutputFile::drain() {
  if (used_ == 0) return;
  if (fd_ < 0 || !writer_.joinable()) {
    fail(EBADF);
    used_ = 0;
    return;
  }
  handedOver_ += used_;
  std::unique_lock<std::mutex> lock(mutex_);
  queued_.push_back(Block{std::move(buffer_), used_});
  changed_.notify_all();
  changed_.wait(lock, [this] { return !spare_.empty(); });
  buffer_ = std::move(spare_.back());
  spare_.pop_back();
  used_ = 0;
}

void OutputFile::stopWriter() {
  if (!writer_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  writer_.join();
}

void OutputFile::closeDescriptor(bool report) {
  if (directFd_ >= 0) {
    ::close(directFd_);
    directFd_ = -1;
  }
  if (fd_ < 0) return;
  if (report) {
    // A device that cannot be synced (EINVAL) has nothing to sync.
    if (!failed() && ::fsync(fd_) != 0 && errno != EINVAL) fail(errno);
    if (::close(fd_) != 0 && errno != EINTR) fail(errno);
  } else {
    ::close(fd_);
  }
  fd_ = -1;
}

void OutputFile::writeText(std::string_view text) {
  while (!text.empty()) {
    if (used_ == kBufferSize) makeRoom();
    std::size_t n = std::min(text.size(), kBufferSize - used_);
    copyBytes(buffer_.get() + used_, text.data(), n);
    used_ += n;
    text.remove_prefix(n);
  }
}

void OutputFile::writeBytes(const void* data, std::size_t size) {
  writeText(std::string_view(static_cast<const char*>(data), size));
}

void OutputFile::writeUnsigned(unsigned long long value) {
  reserve(kMaxNumber);
  char* start = buffer_.get() + used_;
  auto result = std::to_chars(start, start + kMaxNumber, value);
  used_ += static_cast<std::size_t>(result.ptr - start);
}

void OutputFile::writeSigned(long long value) {
  reserve(kMaxNumber);
  char* start = buffer_.get() + used_;
  auto result = std::to_chars(start, start + kMaxNumber, value);
  used_ += static_cast<std::size_t>(result.ptr - start);
}

void OutputFile::writeScientific(double value) {
  reserve(kMaxNumber);
  char* start = buffer_.get() + used_;
  used_ += static_cast<std::size_t>(scientific_.write(value, start) - start);
}

void OutputFile::writeGeneral(double value) {
  reserve(kMaxNumber);
  char* start = buffer_.get() + used_;
  used_ += static_cast<std::size_t>(general_.write(value, start) - start);
}

void OutputFile::writeBlanks(int count) {
  for (int i = 0; i < count; i++) writeChar(' ');
}

void OutputFile::writePlaceholder(int blanks) {
  writeBlanks(blanks);
  newline();
  headerEnd_ = handedOver_ + used_;
}

void OutputFile::flush() {
  drain();
  if (!writer_.joinable()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return queued_.empty() && !writing_; });
}

void OutputFile::seekToStart() {
  flush();
  if (fd_ >= 0 && !failed() && ::lseek(fd_, 0, SEEK_SET) != 0) fail(errno);
}

void OutputFile::rewriteHeader(std::string_view header) {
  flush();
  if (fd_ < 0) fail(EBADF);
  if (failed()) return;
  if (header.size() > headerEnd_) {
    // Move everything after the placeholder back by the missing bytes,
    // last block first, so that no byte is overwritten before it is moved.
    struct stat st;
    if (::fstat(fd_, &st) != 0) return fail(errno);
    const auto shift = static_cast<long long>(header.size() - headerEnd_);
    const auto start = static_cast<long long>(headerEnd_);
    long long end = st.st_size;
    char* scratch = buffer_.get();  // empty after the flush
    while (end > start) {
      const auto n = static_cast<std::size_t>(std::min<long long>(end - start, kBufferSize));
      end -= static_cast<long long>(n);
      std::size_t got = 0;
      while (got < n) {
        const ssize_t r = ::pread(fd_, scratch + got, n - got, static_cast<off_t>(end) + static_cast<off_t>(got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return fail(r < 0 ? errno : EIO);
        got += static_cast<std::size_t>(r);
      }
      if (!writeAll(scratch, n, end + shift)) return;
    }
    headerEnd_ = header.size();
  }
  if (!writeAll(header.data(), header.size(), 0)) return;
  if (::lseek(fd_, 0, SEEK_END) < 0) fail(errno);
}

bool OutputFile::close() {
  if (closed_) return !failed();
  closed_ = true;
  if (fd_ < 0) {
    fail(EBADF);
    return false;
  }
  drain();
  stopWriter();
  closeDescriptor(true);
  return !failed();
}

void reportOutputFileFailure(const OutputFile& file) {
  throw GenError("Error: writing output file " + file.name() + " failed: " + file.errorText());
}

void reportOpenFailure(std::string_view text, const OutputFile& file) {
  std::string message(text);
  if (!message.empty() && message.back() != ' ') message += ' ';
  throw GenError(message + file.name() + ": " + file.errorText());
}
