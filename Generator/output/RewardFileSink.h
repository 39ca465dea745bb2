#ifndef REWARD_FILE_SINK_H
#define REWARD_FILE_SINK_H

#include <cstdint>
#include <string>

#include "OutputSink.h"
#include "Reward.h"

class PVModel;

// The reward file (.var): a record per state as it is numbered, through the
// reward writer.
class RewardFileSink : public OutputSink {
 public:
  // Opens the file and writes its header (the reward variables' names).
  RewardFileSink(PVModel* model, short fileType, const std::string& path, const std::string& reportedName,
                 FileCreation creation)
      : reward_(model, fileType, path.c_str(), reportedName, creation) {}

  void numbered(std::uint32_t number, const double* rewards) override { reward_.Write(number, rewards); }
  void explored(const ExploredState&) override {}
  void check() override {
    if (reward_.file().failed()) reportOutputFileFailure(reward_.file());
  }
  void finish() override {
    if (!reward_.Close()) reportOutputFileFailure(reward_.file());
  }

 private:
  Reward reward_;
};

#endif
