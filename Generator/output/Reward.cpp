#include "Reward.h"

#include <cstdint>

#include "GenError.h"
#include "PVModel.h"
#include "PerformanceVariableNode.h"
#include "RewardValues.h"

Reward::Reward(PVModel* rewardModel, short type, const char* fileName, const std::string& reportedName,
               FileCreation creation)
    : model(rewardModel), fileType(type) {
  if (!fileName) throw GenError("Could not open file dude");
  if (!rewfile.open(fileName, reportedName, creation)) reportOpenFailure("Could not open file dude", rewfile);
  for (index = 0; index < model->NumPVNodes; index++) {
    rewfile.writeText(model->PVList[index]->Name);
    rewfile.newline();
  }
}

void Reward::Calculate(unsigned long stateNumber) {
  const int count = model->NumPVNodes;
  PerformanceVariableNode** nodes = model->PVList;
  if (textRecords()) {
    rewfile.writeUnsigned(stateNumber);
    rewfile.newline();
    for (int i = 0; i < count; i++) {
      rewfile.writeGeneral(nodes[i]->ImpulseReward);
      rewfile.newline();
      rewfile.writeGeneral(nodes[i]->RateReward);
      rewfile.newline();
    }
  } else {
    rewfile.writeUInt32(static_cast<std::uint32_t>(stateNumber));
    for (int i = 0; i < count; i++) {
      rewfile.writeDouble(nodes[i]->ImpulseReward);
      rewfile.writeDouble(nodes[i]->RateReward);
    }
  }
}

void Reward::Write(unsigned long stateNumber, const double* values) {
  const int count = rewardValueCount(*model);
  if (textRecords()) {
    rewfile.writeUnsigned(stateNumber);
    rewfile.newline();
    for (int i = 0; i < count; i++) {
      rewfile.writeGeneral(values[i]);
      rewfile.newline();
    }
  } else {
    rewfile.writeUInt32(static_cast<std::uint32_t>(stateNumber));
    for (int i = 0; i < count; i++) rewfile.writeDouble(values[i]);
  }
}

bool Reward::Close() { return rewfile.close(); }
