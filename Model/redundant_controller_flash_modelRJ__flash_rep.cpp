// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#include "redundant_controller_flash_modelRJ__flash_rep.h"

#include "redundant_controller_flash_studyRangeStudy.h"

const char* redundant_controller_flash_modelRJ__flash_rep__SharedNames[] = {"devices_available", "flash_corrupted"};

redundant_controller_flash_modelRJ__flash_rep::redundant_controller_flash_modelRJ__flash_rep() : Rep("flash_rep", ::model_globals::num_devices, 2, redundant_controller_flash_modelRJ__flash_rep__SharedNames) {
  // The copies, in index order (the count is num_devices as it stands now).
  this->InstanceArray.reserve(Rep::NumChildren);
  for (int i = 0; i < Rep::NumChildren; i++) {
    this->InstanceArray.push_back(std::make_unique<::redundant_controller_flash_systemSAN>());
    Rep::Children[i] = this->InstanceArray[i].get();
  }
  Rep::SetupActions();
  if (Rep::NumChildren == 0) return;  // no copies: no sharing, no state

  if (Rep::AllChildrenEmpty()) {
    Rep::NumSharedStateVariables = 0;
  } else {
    ::redundant_controller_flash_systemSAN& first = *this->InstanceArray[0];

    // The shared places take copy 0's initial markings.
    this->devices_available = std::make_unique<::Place>("devices_available");
    Rep::addSharedPtr(this->devices_available.get(), "devices_available");
    this->devices_available->ShareWith((&first)->devices_available);

    this->flash_corrupted = std::make_unique<::Place>("flash_corrupted");
    Rep::addSharedPtr(this->flash_corrupted.get(), "flash_corrupted");
    this->flash_corrupted->ShareWith((&first)->flash_corrupted);

    for (auto& copy : this->InstanceArray) Rep::addSharingInfo(copy->devices_available, this->devices_available.get(), nullptr);
    for (auto& copy : this->InstanceArray) Rep::addSharingInfo(copy->flash_corrupted, this->flash_corrupted.get(), nullptr);

    // Every further copy's places follow copy 0's (that is, the shared) cell.
    for (int i = 1; i < Rep::NumChildren; i++) {
      (&first)->devices_available->ShareWith(this->InstanceArray[i]->devices_available);
      (&first)->flash_corrupted->ShareWith(this->InstanceArray[i]->flash_corrupted);
    }
  }
  Rep::Setup("redundant_controller_flash_system");
}

// The shared places go first (they hold the cells), then the copies.
redundant_controller_flash_modelRJ__flash_rep::~redundant_controller_flash_modelRJ__flash_rep() {
  this->devices_available.reset();
  this->flash_corrupted.reset();
  this->InstanceArray.clear();
}
