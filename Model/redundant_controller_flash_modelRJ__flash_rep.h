// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#ifndef REDUNDANT_CONTROLLER_FLASH_MODELRJ__FLASH_REP_H
#define REDUNDANT_CONTROLLER_FLASH_MODELRJ__FLASH_REP_H

#include <memory>
#include <vector>

#include "Place.h"
#include "Rep.h"
#include "redundant_controller_flash_systemSAN.h"

// Names of the variables shared by all copies, in sharing order.
extern const char* redundant_controller_flash_modelRJ__flash_rep__SharedNames[];

// "flash_rep": num_devices copies of redundant_controller_flash_system, all sharing devices_available, flash_corrupted.
class redundant_controller_flash_modelRJ__flash_rep : public Rep {
 public:
  // The copies, in index order; the same objects fill the Rep's child array.
  std::vector<std::unique_ptr<::redundant_controller_flash_systemSAN>> InstanceArray;
  std::unique_ptr<::Place> devices_available;  // shared place (null with zero copies)
  std::unique_ptr<::Place> flash_corrupted;  // shared place (null with zero copies)

  redundant_controller_flash_modelRJ__flash_rep();
  ~redundant_controller_flash_modelRJ__flash_rep() override;
};

#endif
