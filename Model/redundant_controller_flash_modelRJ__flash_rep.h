#ifndef REDUNDANT_CONTROLLER_FLASH_MODELRJ__FLASH_REP_H
#define REDUNDANT_CONTROLLER_FLASH_MODELRJ__FLASH_REP_H

#include <memory>
#include <vector>

#include "Place.h"
#include "Rep.h"
#include "redundant_controller_flash_systemSAN.h"

// Names of the variables shared by all flash devices, in sharing order.
extern const char* redundant_controller_flash_modelRJ__flash_rep__SharedNames[];

// "flash_rep": num_devices copies of the flash-device model, all sharing
// devices_available and flash_corrupted; each copy keeps its own
// replicas_available. With zero copies the node has no state at all.
class redundant_controller_flash_modelRJ__flash_rep : public Rep {
 public:
  // The copies, one per replica, in index order; the same objects fill the
  // Rep's child array.
  std::vector<std::unique_ptr<redundant_controller_flash_systemSAN>> InstanceArray;
  // Shared places (null with zero copies).
  std::unique_ptr<Place> devices_available;
  std::unique_ptr<Place> flash_corrupted;

  redundant_controller_flash_modelRJ__flash_rep();
  ~redundant_controller_flash_modelRJ__flash_rep() override;
};

#endif
