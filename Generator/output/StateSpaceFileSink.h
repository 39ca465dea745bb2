#ifndef STATE_SPACE_FILE_SINK_H
#define STATE_SPACE_FILE_SINK_H

#include <cstdint>
#include <string>
#include <string_view>

#include "OutputFile.h"
#include "OutputSink.h"

// The state-space file (.arm): a header of the file type and the record
// count, then per explored state its number, each branch's target and value
// (a line each), and a line "0".
class StateSpaceFileSink : public OutputSink {
 public:
  // Opens the file and writes the file type and a placeholder of
  // `headerBlanks` blanks, which the record count overwrites at the end.
  // `openFailure` begins the message when the file cannot be opened.
  StateSpaceFileSink(const std::string& path, const std::string& reportedName, FileCreation creation,
                     std::string_view openFailure, short fileType, int headerBlanks);

  void numbered(std::uint32_t, const double*) override {}
  void explored(const ExploredState& state) override;
  void check() override;
  void finish() override;

 private:
  OutputFile file_;
  short fileType_;
  std::uint32_t records_ = 0;
};

#endif
