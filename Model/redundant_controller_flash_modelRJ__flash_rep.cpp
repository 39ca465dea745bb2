// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#include "redundant_controller_flash_modelRJ__flash_rep.h"

#include "redundant_controller_flash_studyRangeStudy.h"

const char* redundant_controller_flash_modelRJ__flash_rep__SharedNames[] = {"devices_available", "flash_corrupted"};

redundant_controller_flash_modelRJ__flash_rep::redundant_controller_flash_modelRJ__flash_rep() : Rep("flash_rep", num_devices, 2, redundant_controller_flash_modelRJ__flash_rep__SharedNames) {
  // The copies, in index order (the count is num_devices as it stands now).
  InstanceArray.reserve(NumChildren);
  for (int i = 0; i < NumChildren; i++) {
    InstanceArray.push_back(std::make_unique<redundant_controller_flash_systemSAN>());
    Children[i] = InstanceArray[i].get();
  }
  SetupActions();
  if (NumChildren == 0) return;  // no copies: no sharing, no state

  if (AllChildrenEmpty()) {
    NumSharedStateVariables = 0;
  } else {
    redundant_controller_flash_systemSAN& first = *InstanceArray[0];

    // The shared places take copy 0's initial markings.
    devices_available = std::make_unique<Place>("devices_available");
    addSharedPtr(devices_available.get(), "devices_available");
    devices_available->ShareWith((&first)->devices_available);

    flash_corrupted = std::make_unique<Place>("flash_corrupted");
    addSharedPtr(flash_corrupted.get(), "flash_corrupted");
    flash_corrupted->ShareWith((&first)->flash_corrupted);

    for (auto& copy : InstanceArray) addSharingInfo(copy->devices_available, devices_available.get(), nullptr);
    for (auto& copy : InstanceArray) addSharingInfo(copy->flash_corrupted, flash_corrupted.get(), nullptr);

    // Every further copy's places follow copy 0's (that is, the shared) cell.
    for (int i = 1; i < NumChildren; i++) {
      (&first)->devices_available->ShareWith(InstanceArray[i]->devices_available);
      (&first)->flash_corrupted->ShareWith(InstanceArray[i]->flash_corrupted);
    }
  }
  Setup("redundant_controller_flash_system");
}

// The shared places go first (they hold the cells), then the copies.
redundant_controller_flash_modelRJ__flash_rep::~redundant_controller_flash_modelRJ__flash_rep() {
  devices_available.reset();
  flash_corrupted.reset();
  InstanceArray.clear();
}
