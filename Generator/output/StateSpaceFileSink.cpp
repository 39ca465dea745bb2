#include "StateSpaceFileSink.h"

StateSpaceFileSink::StateSpaceFileSink(const std::string& path, const std::string& reportedName, FileCreation creation,
                                       std::string_view openFailure, short fileType, int headerBlanks)
    : fileType_(fileType) {
  if (!file_.open(path, reportedName, creation)) reportOpenFailure(openFailure, file_);
  file_.writeSigned(fileType_);
  file_.newline();
  file_.writePlaceholder(headerBlanks);
}

void StateSpaceFileSink::explored(const ExploredState& state) {
  file_.writeUnsigned(state.number());
  file_.newline();
  for (std::size_t b = 0; b < state.branchCount(); b++) {
    file_.writeUnsigned(state.target(b));
    file_.newline();
    file_.writeText(state.text(b));
    file_.newline();
  }
  file_.writeChar('0');
  file_.newline();
  records_++;
}

void StateSpaceFileSink::check() {
  if (file_.failed()) reportOutputFileFailure(file_);
}

void StateSpaceFileSink::finish() {
  file_.rewriteHeader(std::to_string(fileType_) + "\n" + std::to_string(records_) + "\n");
  if (!file_.close()) reportOutputFileFailure(file_);
}
