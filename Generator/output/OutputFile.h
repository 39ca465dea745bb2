#ifndef OUTPUT_FILE_H
#define OUTPUT_FILE_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "FileCreation.h"
#include "NumberText.h"

// Selects the text or the binary variant of the deterministic-file writers.
enum OutputFileType : int {
  OUTPUT_TEXT = 0,
  OUTPUT_BINARY = 1,
};

// Buffered writer of one generator output file (state-space, reward and
// deterministic files). A big run writes tens of millions of numbers, so
// numbers are formatted with std::to_chars straight into a large buffer. The
// bytes are exactly those the standard streams produce:
//   - writeScientific: std::scientific with precision 10 (as "%.10e");
//   - writeGeneral: the default float format with precision 6 (as "%g");
//   - integers in decimal; binary fields in the machine's byte order.
// Lines end with a single line feed.
//
// A full buffer is handed to a writer thread of its own, so that the caller
// goes on formatting while the system call runs on the other core. At most
// kBuffers buffers exist per file: when the disk is slower than the caller,
// the caller waits for a buffer to come back instead of queueing without end.
// The bytes reach the file in the order they were written.
//
// Every failed write, seek, sync or close is remembered: failed() tells, and
// close() returns false, so that a full disk or a file-size limit is reported
// instead of leaving a truncated file behind a successful run. After the first
// failure further output is dropped. close() syncs the file to the disk.
class OutputFile {
 public:
  static constexpr std::size_t kBufferSize = std::size_t{1} << 19;
  static constexpr std::size_t kBuffers = 3;

  OutputFile();
  ~OutputFile();  // closes without reporting; call close() to learn the outcome
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates or truncates the file at `path` for writing; with
  // FileCreation::New only a file that does not exist yet. `reportedName`,
  // when not empty, is the name messages give for the file (a result written
  // under a temporary name is reported by its final name). False when the
  // file cannot be opened; errorText() then tells why.
  bool open(const std::string& path, const std::string& reportedName = {},
            FileCreation creation = FileCreation::Replace);
  bool isOpen() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  const std::string& name() const { return name_.empty() ? path_ : name_; }

  void writeChar(char c) {
    if (used_ == kBufferSize) makeRoom();
    buffer_[used_++] = c;
  }
  void newline() { writeChar('\n'); }
  void writeText(std::string_view text);
  void writeUnsigned(unsigned long long value);
  void writeSigned(long long value);
  void writeScientific(double value);  // "%.10e"
  void writeGeneral(double value);     // "%g"
  void writeBlanks(int count);

  // Raw bytes in the machine's representation (binary variants).
  void writeBytes(const void* data, std::size_t size);
  void writeInt32(std::int32_t value) { writeBytes(&value, sizeof value); }
  void writeUInt32(std::uint32_t value) { writeBytes(&value, sizeof value); }
  void writeInt16(std::int16_t value) { writeBytes(&value, sizeof value); }
  void writeDouble(double value) { writeBytes(&value, sizeof value); }

  // A header placeholder: `blanks` blanks and a line feed, to be filled later
  // by rewriteHeader together with everything written before it.
  void writePlaceholder(int blanks);
  // Writes `header` over the start of the file. When it is longer than the
  // bytes up to the end of the placeholder, the rest of the file moves back
  // to make room (once, only in that case); otherwise the remaining blanks of
  // the placeholder stay as they are. Later output goes to the end.
  void rewriteHeader(std::string_view header);

  // Waits until every byte written so far has reached the operating system.
  void flush();
  // Flushes, then moves the write position to the start of the file, so that
  // the following output overwrites the first bytes of the file.
  void seekToStart();
  // Flushes, syncs and closes; true when every write, seek, the sync and the
  // close succeeded. Calling it again returns the same outcome.
  bool close();

  bool failed() const { return error_.load(std::memory_order_acquire) != 0; }
  // The system's description of the first failure ("" when none).
  std::string errorText() const;

 private:
  // Makes room in the buffer; numbers reserve at most kMaxNumber bytes.
  static constexpr std::size_t kMaxNumber = 64;
  static_assert(kMaxNumber >= ScientificText::kMaxLength && kMaxNumber >= GeneralText::kMaxLength);
  void reserve(std::size_t n) {
    if (kBufferSize - used_ < n) makeRoom();
  }
  // Hands the filled part of the buffer to the writer thread and takes an
  // empty buffer in exchange.
  void drain();
  // Hands over the whole pages of the buffer and keeps the bytes after the
  // last page boundary for the next block, so that every block but the last
  // can go to the disk directly.
  void makeRoom();
  void fail(int errorNumber);
  void writerLoop();
  // Ends the writer thread after it has written everything handed to it.
  void stopWriter();
  // Writes all `size` bytes at the current position (or at `offset` when it
  // is not negative); false after recording the failure.
  bool writeAll(const char* data, std::size_t size, long long offset = -1);
  void closeDescriptor(bool report);

  // Buffers are aligned for direct writes.
  static constexpr std::size_t kAlignment = 4096;
  struct AlignedDelete {
    void operator()(char* p) const { ::operator delete[](p, std::align_val_t{kAlignment}); }
  };
  using Buffer = std::unique_ptr<char[], AlignedDelete>;
  static Buffer newBuffer() {
    return Buffer(static_cast<char*>(::operator new[](kBufferSize, std::align_val_t{kAlignment})));
  }
  // Writes a block the writer thread took: straight to the disk when the
  // file allows it and the block is whole pages at a page boundary, which
  // spares the copy into the page cache; through the cache otherwise.
  bool writeBlock(const char* data, std::size_t size);

  struct Block {
    Buffer data;
    std::size_t size = 0;
  };

  int fd_ = -1;
  int directFd_ = -1;  // the same file opened for direct writes, or -1
  std::string path_;
  std::string name_;
  Buffer buffer_;  // the buffer being filled by the caller
  std::size_t used_ = 0;
  std::uint64_t handedOver_ = 0;  // bytes handed to the writer since open
  std::uint64_t headerEnd_ = 0;   // end of the placeholder, 0 when none
  bool closed_ = false;
  std::atomic<int> error_{0};  // errno of the first failure
  ScientificText scientific_;
  GeneralText general_;

  // Hand-off between the caller and the writer thread, guarded by mutex_.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Block> queued_;   // filled, not yet written
  std::vector<Buffer> spare_;  // empty, ready for the caller
  bool writing_ = false;       // the writer holds a block
  bool stopping_ = false;
  std::thread writer_;
};

// A file that could not be written completely: throws GenError "Error:
// writing output file <name> failed: <reason>" (standard error, status 1).
[[noreturn]] void reportOutputFileFailure(const OutputFile& file);
// A file that could not be opened: throws GenError with `text`, the file's
// name and the reason (standard error, status 1).
[[noreturn]] void reportOpenFailure(std::string_view text, const OutputFile& file);

#endif
