#ifndef GEN_ERROR_H
#define GEN_ERROR_H

#include <stdexcept>
#include <string>

// A failure that ends the run. Deep code throws it instead of leaving the
// process, so that whoever owns resources (open output files, temporaries, a
// lock, a second thread) can release them on the way up; only `main` turns it
// into console text and an exit status.
//
// The message is printed exactly as it stands followed by one line feed, on
// the stream the failure names: some of the generator's historic messages go
// to standard output, most to standard error.
class GenError : public std::runtime_error {
 public:
  enum class Stream { Out, Err };

  explicit GenError(const std::string& message, Stream stream = Stream::Err, int status = 1)
      : std::runtime_error(message), stream_(stream), status_(status) {}

  Stream stream() const noexcept { return stream_; }
  int status() const noexcept { return status_; }

 private:
  Stream stream_;
  int status_;
};

#endif
