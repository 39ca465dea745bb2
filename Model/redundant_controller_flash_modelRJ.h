// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#ifndef REDUNDANT_CONTROLLER_FLASH_MODELRJ_H
#define REDUNDANT_CONTROLLER_FLASH_MODELRJ_H

#include <memory>
#include <vector>

#include "Join.h"
#include "Place.h"
#include "ram_systemSAN.h"
#include "redundant_controller_flash_modelRJ__flash_rep.h"

// Names of the variables shared at the Join, in sharing order.
extern const char* redundant_controller_flash_modelRJ__SharedNames[];

// The composed model "Join", a Join of ram_system, flash_rep.
class redundant_controller_flash_modelRJ : public Join {
 public:
  std::unique_ptr<::ram_systemSAN> ram_system;
  std::unique_ptr<::redundant_controller_flash_modelRJ__flash_rep> flash_rep;
  std::unique_ptr<::Place> flash_corrupted;  // shared place (null when no child has state)

  redundant_controller_flash_modelRJ();
  ~redundant_controller_flash_modelRJ() override;
};

#endif
