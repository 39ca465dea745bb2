// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#include "redundant_controller_flash_modelRJ.h"

#include <climits>

#include "GenError.h"
#include "redundant_controller_flash_studyRangeStudy.h"

const char* redundant_controller_flash_modelRJ__SharedNames[] = {"flash_corrupted"};

namespace {

// The children, copies counted each: at most INT_MAX, the count the Join holds.
int childCount() {
  long long count = 2;
  return static_cast<int>(count);
}

}  // namespace

redundant_controller_flash_modelRJ::redundant_controller_flash_modelRJ() : Join("Join", childCount(), 1, redundant_controller_flash_modelRJ__SharedNames) {
  int next = 0;
  this->ram_system = std::make_unique<::ram_systemSAN>();
  Join::Children[next++] = this->ram_system.get();
  this->ram_system->BaseModelClass::DefineName("ram_system");
  this->flash_rep = std::make_unique<::redundant_controller_flash_modelRJ__flash_rep>();
  Join::Children[next++] = this->flash_rep.get();
  this->flash_rep->BaseModelClass::DefineName("flash_rep");

  Join::SetupActions();
  if (Join::AllChildrenEmpty()) {
    Join::NumSharedStateVariables = 0;
  } else {
    this->flash_corrupted = std::make_unique<::Place>("flash_corrupted");
    Join::addSharedPtr(this->flash_corrupted.get(), "flash_corrupted");
    if (this->ram_system->BaseModelClass::NumStateVariables > 0) {
      this->flash_corrupted->ShareWith(this->ram_system->flash_corrupted);
      Join::addSharingInfo(this->ram_system->flash_corrupted, this->flash_corrupted.get(), this->ram_system.get());
    }
    if (this->flash_rep->BaseModelClass::NumStateVariables > 0) {
      this->flash_corrupted->ShareWith(this->flash_rep->flash_corrupted.get());
      Join::addSharingInfo(this->flash_rep->flash_corrupted.get(), this->flash_corrupted.get(), this->flash_rep.get());
    }
  }
  Join::Setup();
}

// The shared places go first (they hold the cells), then the children.
redundant_controller_flash_modelRJ::~redundant_controller_flash_modelRJ() {
  this->flash_corrupted.reset();
  this->ram_system.reset();
  this->flash_rep.reset();
}
