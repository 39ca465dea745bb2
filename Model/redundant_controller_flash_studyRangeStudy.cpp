// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#include "redundant_controller_flash_studyRangeStudy.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <sstream>

#include "GenAssert.h"
#include "redundant_controller_flash_rewardPVModel.h"

namespace model_globals {
float flash_size;
short num_devices;
short num_replicas;
float power_cycle_rate;
float ram_size;
float random_failure_rate;
}  // namespace model_globals

namespace {

using Study = redundant_controller_flash_studyRangeStudy;
constexpr int kExps = 6;

// The experiment table: one_device_one_replica, two_devices_one_replica, three_devices_one_replica, one_device_two_replicas, two_devices_two_replicas, three_devices_two_replicas.
constexpr float k_flash_size[kExps] = {64.0f, 64.0f, 64.0f, 64.0f, 64.0f, 64.0f};
constexpr short k_num_devices[kExps] = {1, 2, 3, 1, 2, 3};
constexpr short k_num_replicas[kExps] = {1, 1, 1, 2, 2, 2};
constexpr float k_power_cycle_rate[kExps] = {365.0f, 365.0f, 365.0f, 365.0f, 365.0f, 365.0f};
constexpr float k_ram_size[kExps] = {128.0f, 128.0f, 128.0f, 128.0f, 128.0f, 128.0f};
constexpr float k_random_failure_rate[kExps] = {0.005f, 0.005f, 0.005f, 0.005f, 0.005f, 0.005f};
constexpr const char* kNames[Study::NumberOfGVs] = {"flash_size", "num_devices", "num_replicas", "power_cycle_rate", "ram_size", "random_failure_rate"};
constexpr const char* kTypes[Study::NumberOfGVs] = {"float", "short", "short", "float", "float", "float"};
constexpr std::size_t kSizes[Study::NumberOfGVs] = {sizeof(float), sizeof(short), sizeof(short), sizeof(float), sizeof(float), sizeof(float)};

// Address of each global variable, in variable order.
void* variableAddress(int index) {
  switch (index) {
    case 0: return &::model_globals::flash_size;
    case 1: return &::model_globals::num_devices;
    case 2: return &::model_globals::num_replicas;
    case 3: return &::model_globals::power_cycle_rate;
    case 4: return &::model_globals::ram_size;
    case 5: return &::model_globals::random_failure_rate;
    default: return nullptr;
  }
}

template <typename T>
T* newValueArray(const T (&table)[kExps]) {
  T* values = new T[kExps];
  std::copy(table, table + kExps, values);
  return values;
}

}  // namespace

redundant_controller_flash_studyRangeStudy::redundant_controller_flash_studyRangeStudy() {
  NumGVs = NumberOfGVs;
  NumExps = NumberOfExperiments;
  GVNames = new char*[NumGVs];
  GVTypes = new char*[NumGVs];
  for (int i = 0; i < NumGVs; i++) {
    GVNames[i] = strdup(kNames[i]);
    GVTypes[i] = strdup(kTypes[i]);
  }
  flash_sizeValues = newValueArray(k_flash_size);
  num_devicesValues = newValueArray(k_num_devices);
  num_replicasValues = newValueArray(k_num_replicas);
  power_cycle_rateValues = newValueArray(k_power_cycle_rate);
  ram_sizeValues = newValueArray(k_ram_size);
  random_failure_rateValues = newValueArray(k_random_failure_rate);
  SetDefaultTarvelRoot("c:/Tarvel-2.4/");
}

redundant_controller_flash_studyRangeStudy::~redundant_controller_flash_studyRangeStudy() {
  delete[] flash_sizeValues;
  delete[] num_devicesValues;
  delete[] num_replicasValues;
  delete[] power_cycle_rateValues;
  delete[] ram_sizeValues;
  delete[] random_failure_rateValues;
}

std::unique_ptr<PVModel> redundant_controller_flash_studyRangeStudy::GetPVModel(bool expandTimePoints) {
  // The new model is built from the global variables as they stand now.
  return std::make_unique<redundant_controller_flash_rewardPVModel>(expandTimePoints);
}

void redundant_controller_flash_studyRangeStudy::SetGVs(int e) {
  // The driver validates the experiment number; an unchecked index would read
  // past the value arrays.
  GEN_ASSERT(e >= 0 && e < NumExps, "0 <= e && e < NumExps", "redundant_controller_flash_studyRangeStudy");
  ::model_globals::flash_size = flash_sizeValues[e];
  ::model_globals::num_devices = num_devicesValues[e];
  ::model_globals::num_replicas = num_replicasValues[e];
  ::model_globals::power_cycle_rate = power_cycle_rateValues[e];
  ::model_globals::ram_size = ram_sizeValues[e];
  ::model_globals::random_failure_rate = random_failure_rateValues[e];
}

void redundant_controller_flash_studyRangeStudy::PrintGlobalValues(int e) {
  if (NumGVs == 0) {
    std::cout << "There are no global variables.\n";
    return;
  }
  SetGVs(e);
  // A fresh stream gives the default formatting (six significant digits,
  // shortest form) whatever flags std::cout carries.
  std::ostringstream text;
  text << "The Global Variable values for experiment " << GetExpName(e) << " are:\n";
  text << "flash_size\tfloat\t" << static_cast<double>(::model_globals::flash_size) << '\n';
  text << "num_devices\tshort\t" << ::model_globals::num_devices << '\n';
  text << "num_replicas\tshort\t" << ::model_globals::num_replicas << '\n';
  text << "power_cycle_rate\tfloat\t" << static_cast<double>(::model_globals::power_cycle_rate) << '\n';
  text << "ram_size\tfloat\t" << static_cast<double>(::model_globals::ram_size) << '\n';
  text << "random_failure_rate\tfloat\t" << static_cast<double>(::model_globals::random_failure_rate) << '\n';
  std::cout << text.str();
}

void* redundant_controller_flash_studyRangeStudy::GetGVValue(const char* name) {
  for (int i = 0; name && i < NumberOfGVs; i++)
    if (std::strcmp(name, kNames[i]) == 0) return variableAddress(i);
  std::cerr << "!! redundant_controller_flash_studyRangeStudy::GetGVValue: Global Variable " << (name ? name : "")
            << " does not exist.\n";
  return nullptr;
}

void redundant_controller_flash_studyRangeStudy::OverrideGVValue(const char* name, const void* value) {
  for (int i = 0; name && i < NumberOfGVs; i++) {
    if (std::strcmp(name, kNames[i]) != 0) continue;
    if (!value) return;
    // Copy exactly one value of the variable's own type.
    std::memcpy(variableAddress(i), value, kSizes[i]);
    return;
  }
  std::cerr << "!! redundant_controller_flash_studyRangeStudy::OverrideGVValue: Global Variable "
            << (name ? name : "") << " does not exist.\n";
}

void redundant_controller_flash_studyRangeStudy::SetValues_flash_size() { std::copy(k_flash_size, k_flash_size + kExps, flash_sizeValues); }

void redundant_controller_flash_studyRangeStudy::SetValues_num_devices() { std::copy(k_num_devices, k_num_devices + kExps, num_devicesValues); }

void redundant_controller_flash_studyRangeStudy::SetValues_num_replicas() { std::copy(k_num_replicas, k_num_replicas + kExps, num_replicasValues); }

void redundant_controller_flash_studyRangeStudy::SetValues_power_cycle_rate() { std::copy(k_power_cycle_rate, k_power_cycle_rate + kExps, power_cycle_rateValues); }

void redundant_controller_flash_studyRangeStudy::SetValues_ram_size() { std::copy(k_ram_size, k_ram_size + kExps, ram_sizeValues); }

void redundant_controller_flash_studyRangeStudy::SetValues_random_failure_rate() { std::copy(k_random_failure_rate, k_random_failure_rate + kExps, random_failure_rateValues); }
