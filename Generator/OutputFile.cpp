#include "OutputFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iostream>

OutputFile::OutputFile() : buffer_(new char[kBufferSize]) {}

OutputFile::~OutputFile() {
  if (file_) {
    drain();
    std::fclose(file_);
    file_ = nullptr;
  }
}

bool OutputFile::open(const std::string& path) {
  if (file_) std::fclose(file_);
  path_ = path;
  used_ = 0;
  failed_ = false;
  closed_ = false;
  errorText_.clear();
  // Binary mode: no newline translation, a line ends with one line feed.
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return false;
  // Our own buffer collects the output; the runtime's would only copy it again.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  return true;
}

void OutputFile::fail(int errorNumber) {
  if (!failed_) {
    failed_ = true;
    errorText_ = errorNumber != 0 ? std::strerror(errorNumber) : "write error";
  }
}

void OutputFile::drain() {
  if (used_ == 0) return;
  if (file_ && !failed_) {
    errno = 0;
    std::size_t written = std::fwrite(buffer_.get(), 1, used_, file_);
    if (written != used_) fail(errno);
  } else if (!file_) {
    fail(EBADF);
  }
  used_ = 0;
}

void OutputFile::writeText(std::string_view text) {
  while (!text.empty()) {
    if (used_ == kBufferSize) drain();
    std::size_t n = std::min(text.size(), kBufferSize - used_);
    std::memcpy(buffer_.get() + used_, text.data(), n);
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
  auto result = std::to_chars(start, start + kMaxNumber, value, std::chars_format::scientific, 10);
  used_ += static_cast<std::size_t>(result.ptr - start);
}

void OutputFile::writeGeneral(double value) {
  reserve(kMaxNumber);
  char* start = buffer_.get() + used_;
  auto result = std::to_chars(start, start + kMaxNumber, value, std::chars_format::general, 6);
  used_ += static_cast<std::size_t>(result.ptr - start);
}

void OutputFile::writeBlanks(int count) {
  for (int i = 0; i < count; i++) writeChar(' ');
}

void OutputFile::flush() {
  drain();
  if (file_ && !failed_ && std::fflush(file_) != 0) fail(errno);
}

void OutputFile::seekToStart() {
  flush();
  if (file_ && !failed_ && std::fseek(file_, 0, SEEK_SET) != 0) fail(errno);
}

bool OutputFile::close() {
  if (closed_) return !failed_;
  if (!file_) {
    fail(EBADF);
    closed_ = true;
    return false;
  }
  flush();
  errno = 0;
  if (std::fclose(file_) != 0) fail(errno);
  file_ = nullptr;
  closed_ = true;
  return !failed_;
}

void reportOutputFileFailure(const OutputFile& file) {
  std::cout.flush();
  std::cerr << "Error: writing output file " << file.path() << " failed: " << file.errorText()
            << std::endl;
  std::exit(1);
}
