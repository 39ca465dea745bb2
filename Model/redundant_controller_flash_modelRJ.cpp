// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#include "redundant_controller_flash_modelRJ.h"

#include "GenError.h"
#include "redundant_controller_flash_studyRangeStudy.h"

const char* redundant_controller_flash_modelRJ__SharedNames[] = {"flash_corrupted"};

namespace {

int childCount() {
  long count = 2;
  return static_cast<int>(count);
}

}  // namespace

redundant_controller_flash_modelRJ::redundant_controller_flash_modelRJ() : Join("Join", childCount(), 1, redundant_controller_flash_modelRJ__SharedNames) {
  int next = 0;
  ram_system = std::make_unique<ram_systemSAN>();
  Children[next++] = ram_system.get();
  ram_system->DefineName("ram_system");
  flash_rep = std::make_unique<redundant_controller_flash_modelRJ__flash_rep>();
  Children[next++] = flash_rep.get();
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
    if (flash_rep->NumStateVariables > 0) {
      flash_corrupted->ShareWith(flash_rep->flash_corrupted.get());
      addSharingInfo(flash_rep->flash_corrupted.get(), flash_corrupted.get(), flash_rep.get());
    }
  }
  Setup();
}

// The shared places go first (they hold the cells), then the children.
redundant_controller_flash_modelRJ::~redundant_controller_flash_modelRJ() {
  flash_corrupted.reset();
  ram_system.reset();
  flash_rep.reset();
}
