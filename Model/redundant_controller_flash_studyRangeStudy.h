// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#ifndef REDUNDANT_CONTROLLER_FLASH_STUDYRANGESTUDY_H
#define REDUNDANT_CONTROLLER_FLASH_STUDYRANGESTUDY_H

#include <memory>

#include "BaseStudyClass.h"

// Global variables of the redundant_controller_flash model, in the study's variable order. They
// are zero until SetGVs loads an experiment; the model code reads them when
// it is built. Their namespace keeps their names apart from every other.
namespace model_globals {
extern float flash_size;
extern short num_devices;
extern short num_replicas;
extern float power_cycle_rate;
extern float ram_size;
extern float random_failure_rate;
}  // namespace model_globals

// Range study of redundant_controller_flash: 6 global variables over 6 experiments (numbered 0 to 5).
class redundant_controller_flash_studyRangeStudy : public BaseStudyClass {
 public:
  static constexpr int NumberOfGVs = 6;
  static constexpr int NumberOfExperiments = 6;

  // Per-experiment values, one array per variable, NumExps entries each.
  float* flash_sizeValues;
  short* num_devicesValues;
  short* num_replicasValues;
  float* power_cycle_rateValues;
  float* ram_sizeValues;
  float* random_failure_rateValues;

  redundant_controller_flash_studyRangeStudy();
  ~redundant_controller_flash_studyRangeStudy() override;

  std::unique_ptr<PVModel> GetPVModel(bool expandTimePoints) override;
  void SetGVs(int experiment) override;
  void PrintGlobalValues(int experiment) override;
  void* GetGVValue(const char* name) override;
  void OverrideGVValue(const char* name, const void* value) override;

  // Each refills its variable's value array with the experiment table.
  void SetValues_flash_size();
  void SetValues_num_devices();
  void SetValues_num_replicas();
  void SetValues_power_cycle_rate();
  void SetValues_ram_size();
  void SetValues_random_failure_rate();
};

#endif
