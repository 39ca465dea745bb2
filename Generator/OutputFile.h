#ifndef OUTPUT_FILE_H
#define OUTPUT_FILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

// Selects the text or the binary variant of the deterministic-file writers.
enum OutputFileType : int {
  OUTPUT_TEXT = 0,
  OUTPUT_BINARY = 1,
};

// Buffered writer of one generator output file (state-space, reward and
// deterministic files). A big run writes tens of millions of numbers, so
// numbers are formatted with std::to_chars straight into a large buffer that
// is handed to the C runtime in big blocks. The bytes are exactly those the
// standard streams produce:
//   - writeScientific: std::scientific with precision 10 (as "%.10e");
//   - writeGeneral: the default float format with precision 6 (as "%g");
//   - integers in decimal; binary fields in the machine's byte order.
// Lines end with a single line feed (the file is opened in binary mode).
//
// Every failed write, seek or close is remembered: failed() tells, and
// close() returns false, so that a full disk or a file-size limit is reported
// instead of leaving a truncated file behind a successful run. After the first
// failure further output is dropped.
class OutputFile {
 public:
  static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

  OutputFile();
  ~OutputFile();  // closes without reporting; call close() to learn the outcome
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates or truncates the file for writing. False when it cannot be opened.
  bool open(const std::string& path);
  bool isOpen() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }

  void writeChar(char c) {
    if (used_ == kBufferSize) drain();
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

  // Hands the buffered bytes to the operating system.
  void flush();
  // Flushes, then moves the write position to the start of the file, so that
  // the following output overwrites the first bytes of the file.
  void seekToStart();
  // Flushes and closes; true when every write, seek and the close succeeded.
  // Calling it again returns the same outcome.
  bool close();

  bool failed() const { return failed_; }
  // The system's description of the first failure ("" when none).
  const std::string& errorText() const { return errorText_; }

 private:
  // Makes room in the buffer; numbers reserve at most kMaxNumber bytes.
  static constexpr std::size_t kMaxNumber = 64;
  void reserve(std::size_t n) {
    if (kBufferSize - used_ < n) drain();
  }
  void drain();
  void fail(int errorNumber);

  std::FILE* file_ = nullptr;
  std::string path_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
  bool closed_ = false;
  std::string errorText_;
};

// Reports that an output file could not be written completely ("Error:
// writing output file <path> failed: <reason>") on the error stream and ends
// the process with status 1.
[[noreturn]] void reportOutputFileFailure(const OutputFile& file);

#endif
