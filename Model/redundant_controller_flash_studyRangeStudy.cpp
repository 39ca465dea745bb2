#include "redundant_controller_flash_studyRangeStudy.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>

#include "GenAssert.h"
#include "redundant_controller_flash_rewardPVModel.h"

float flash_size;
short num_devices;
short num_replicas;
float power_cycle_rate;
float ram_size;
float random_failure_rate;

namespace {

using Study = redundant_controller_flash_studyRangeStudy;
constexpr int kExps = Study::NumberOfExperiments;

// The experiment table.
constexpr float kFlashSize[kExps] = {64, 64, 64, 64, 64, 64};
constexpr short kNumDevices[kExps] = {1, 2, 3, 1, 2, 3};
constexpr short kNumReplicas[kExps] = {1, 1, 1, 2, 2, 2};
constexpr float kPowerCycleRate[kExps] = {365, 365, 365, 365, 365, 365};
constexpr float kRamSize[kExps] = {128, 128, 128, 128, 128, 128};
constexpr float kRandomFailureRate[kExps] = {0.005f, 0.005f, 0.005f, 0.005f, 0.005f, 0.005f};

constexpr const char* kNames[Study::NumberOfGVs] = {"flash_size", "num_devices",      "num_replicas",
                                                   "power_cycle_rate", "ram_size", "random_failure_rate"};
constexpr const char* kTypes[Study::NumberOfGVs] = {"float", "short", "short", "float", "float", "float"};

// Address of each global variable, in variable order.
void* variableAddress(int index) {
  switch (index) {
    case 0: return &flash_size;
    case 1: return &num_devices;
    case 2: return &num_replicas;
    case 3: return &power_cycle_rate;
    case 4: return &ram_size;
    case 5: return &random_failure_rate;
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
  flash_sizeValues = newValueArray(kFlashSize);
  num_devicesValues = newValueArray(kNumDevices);
  num_replicasValues = newValueArray(kNumReplicas);
  power_cycle_rateValues = newValueArray(kPowerCycleRate);
  ram_sizeValues = newValueArray(kRamSize);
  random_failure_rateValues = newValueArray(kRandomFailureRate);
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
  return std::make_unique<redundant_controller_flash_rewardPVModel>(expandTimePoints);
}

void redundant_controller_flash_studyRangeStudy::SetGVs(int e) {
  // The driver validates the experiment number; an unchecked index would read
  // past the value arrays.
  GEN_ASSERT(e >= 0 && e < NumExps, "0 <= e && e < NumExps", "redundant_controller_flash_studyRangeStudy");
  flash_size = flash_sizeValues[e];
  num_devices = num_devicesValues[e];
  num_replicas = num_replicasValues[e];
  power_cycle_rate = power_cycle_rateValues[e];
  ram_size = ram_sizeValues[e];
  random_failure_rate = random_failure_rateValues[e];
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
  text << "flash_size\tfloat\t" << static_cast<double>(flash_size) << '\n';
  text << "num_devices\tshort\t" << num_devices << '\n';
  text << "num_replicas\tshort\t" << num_replicas << '\n';
  text << "power_cycle_rate\tfloat\t" << static_cast<double>(power_cycle_rate) << '\n';
  text << "ram_size\tfloat\t" << static_cast<double>(ram_size) << '\n';
  text << "random_failure_rate\tfloat\t" << static_cast<double>(random_failure_rate) << '\n';
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
    if (std::strcmp(kTypes[i], "short") == 0)
      std::memcpy(variableAddress(i), value, sizeof(short));
    else
      std::memcpy(variableAddress(i), value, sizeof(float));
    return;
  }
  std::cerr << "!! redundant_controller_flash_studyRangeStudy::OverrideGVValue: Global Variable "
            << (name ? name : "") << " does not exist.\n";
}

void redundant_controller_flash_studyRangeStudy::SetValues_flash_size() {
  std::copy(kFlashSize, kFlashSize + kExps, flash_sizeValues);
}
void redundant_controller_flash_studyRangeStudy::SetValues_num_devices() {
  std::copy(kNumDevices, kNumDevices + kExps, num_devicesValues);
}
void redundant_controller_flash_studyRangeStudy::SetValues_num_replicas() {
  std::copy(kNumReplicas, kNumReplicas + kExps, num_replicasValues);
}
void redundant_controller_flash_studyRangeStudy::SetValues_power_cycle_rate() {
  std::copy(kPowerCycleRate, kPowerCycleRate + kExps, power_cycle_rateValues);
}
void redundant_controller_flash_studyRangeStudy::SetValues_ram_size() {
  std::copy(kRamSize, kRamSize + kExps, ram_sizeValues);
}
void redundant_controller_flash_studyRangeStudy::SetValues_random_failure_rate() {
  std::copy(kRandomFailureRate, kRandomFailureRate + kExps, random_failure_rateValues);
}
