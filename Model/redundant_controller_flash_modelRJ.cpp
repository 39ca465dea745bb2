#include "redundant_controller_flash_modelRJ.h"

const char* redundant_controller_flash_modelRJ__SharedNames[] = {"flash_corrupted"};

redundant_controller_flash_modelRJ::redundant_controller_flash_modelRJ()
    : Join("Join", 2, 1, redundant_controller_flash_modelRJ__SharedNames) {
  ram_system = std::make_unique<ram_systemSAN>();
  Children[0] = ram_system.get();
  ram_system->DefineName("ram_system");

  flash_rep = std::make_unique<redundant_controller_flash_modelRJ__flash_rep>();
  Children[1] = flash_rep.get();
  flash_rep->DefineName("flash_rep");

  SetupActions();
  if (AllChildrenEmpty()) {
    NumSharedStateVariables = 0;
  } else {
    flash_corrupted = std::make_unique<Place>("flash_corrupted");
    addSharedPtr(flash_corrupted.get(), "flash_corrupted");
    if (ram_system->NumStateVariables > 0) {
      flash_corrupted->ShareWith(ram_system->flash_corrupted);
      addSharingInfo(ram_system->flash_corrupted, flash_corrupted.get(), ram_system.get());
    }
    // Without copies the Rep has no state variable and nothing to share.
    if (flash_rep->NumStateVariables > 0) {
      flash_corrupted->ShareWith(flash_rep->flash_corrupted.get());
      addSharingInfo(flash_rep->flash_corrupted.get(), flash_corrupted.get(), flash_rep.get());
    }
  }
  Setup();
}

// The shared place goes first (it holds the cell), then the children.
redundant_controller_flash_modelRJ::~redundant_controller_flash_modelRJ() {
  flash_corrupted.reset();
  ram_system.reset();
  flash_rep.reset();
}
