#include "redundant_controller_flash_systemSAN.h"

#include <utility>

#include "Distributions.h"
#include "redundant_controller_flash_studyRangeStudy.h"

// Model data of redundant_controller_flash_system. The expressions read the
// global variables flash_size (float), num_replicas (short) and
// power_cycle_rate (float) at the moment of evaluation; num_devices and
// num_replicas also give the initial markings. Markings are 16-bit: every
// change is computed in int and converted back, which wraps modulo 2^16.
namespace {

constexpr double kSeuRate = 1.5e-16;
constexpr double kSefiRate = 0.00274;
// Share of a replica hit by one upset per unit of flash_size (1/512), a float
// so that the case weights are formed from float operands.
constexpr float kSeuShare = 0.001953125f;

enum PlaceIndex { DEVICES_AVAILABLE = 0, REPLICAS_AVAILABLE = 1, FLASH_CORRUPTED = 2, NUM_PLACES = 3 };
constexpr int kNumActivities = 4;
constexpr int kNumGroups = 3;

inline short plus(short mark, int delta) { return static_cast<short>(mark + delta); }

}  // namespace

using FlashSAN = redundant_controller_flash_systemSAN;

// ---------------------------------------------------------------------------
// seu, case 1 (exponential)

FlashSAN::seuActivity_case1::seuActivity_case1() : Parameters(new double[1]) {
  ActivityInitialize("seu_case1", 0, DIST_EXPONENTIAL, POLICY_DEFAULT, 1, 1, false);
}
FlashSAN::seuActivity_case1::~seuActivity_case1() = default;

bool FlashSAN::seuActivity_case1::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = *replicas_available_Mark > 0;
  return EnabledFlag;
}
double FlashSAN::seuActivity_case1::Weight() { return 1 - *replicas_available_Mark * flash_size * kSeuShare; }
double FlashSAN::seuActivity_case1::Rate() { return kSeuRate; }
bool FlashSAN::seuActivity_case1::ReactivationPredicate() { return false; }
bool FlashSAN::seuActivity_case1::ReactivationFunction() { return false; }
double FlashSAN::seuActivity_case1::SampleDistribution() { return TheDistribution->Exponential(kSeuRate); }
double* FlashSAN::seuActivity_case1::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void FlashSAN::seuActivity_case1::Fire() {
  *replicas_available_Mark = plus(*replicas_available_Mark, -1);
  *replicas_available_Mark = plus(*replicas_available_Mark, 1);
}
int FlashSAN::seuActivity_case1::Rank() { return 1; }
void FlashSAN::seuActivity_case1::LinkVariables() { replicas_available->registerAlias(&replicas_available_Mark); }

// ---------------------------------------------------------------------------
// seu, case 2 (exponential)

FlashSAN::seuActivity_case2::seuActivity_case2() : Parameters(new double[1]) {
  ActivityInitialize("seu_case2", 0, DIST_EXPONENTIAL, POLICY_DEFAULT, 3, 1, false);
}
FlashSAN::seuActivity_case2::~seuActivity_case2() = default;

bool FlashSAN::seuActivity_case2::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = *replicas_available_Mark > 0;
  return EnabledFlag;
}
double FlashSAN::seuActivity_case2::Weight() { return *replicas_available_Mark * flash_size * kSeuShare; }
double FlashSAN::seuActivity_case2::Rate() { return kSeuRate; }
bool FlashSAN::seuActivity_case2::ReactivationPredicate() { return false; }
bool FlashSAN::seuActivity_case2::ReactivationFunction() { return false; }
double FlashSAN::seuActivity_case2::SampleDistribution() { return TheDistribution->Exponential(kSeuRate); }
double* FlashSAN::seuActivity_case2::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void FlashSAN::seuActivity_case2::Fire() {
  *replicas_available_Mark = plus(*replicas_available_Mark, -1);
  if (*replicas_available_Mark == 0) {
    *devices_available_Mark = plus(*devices_available_Mark, -1);
    if (*devices_available_Mark == 0) *flash_corrupted_Mark = 1;
  }
}
int FlashSAN::seuActivity_case2::Rank() { return 1; }
void FlashSAN::seuActivity_case2::LinkVariables() {
  replicas_available->registerAlias(&replicas_available_Mark);
  devices_available->registerAlias(&devices_available_Mark);
  flash_corrupted->registerAlias(&flash_corrupted_Mark);
}

// ---------------------------------------------------------------------------
// sefi (exponential)

FlashSAN::sefiActivity::sefiActivity() : Parameters(new double[1]) {
  ActivityInitialize("sefi", 1, DIST_EXPONENTIAL, POLICY_DEFAULT, 3, 1, false);
}
FlashSAN::sefiActivity::~sefiActivity() = default;

bool FlashSAN::sefiActivity::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = *replicas_available_Mark > 0;
  return EnabledFlag;
}
double FlashSAN::sefiActivity::Weight() { return 1; }
double FlashSAN::sefiActivity::Rate() { return kSefiRate; }
bool FlashSAN::sefiActivity::ReactivationPredicate() { return false; }
bool FlashSAN::sefiActivity::ReactivationFunction() { return false; }
double FlashSAN::sefiActivity::SampleDistribution() { return TheDistribution->Exponential(kSefiRate); }
double* FlashSAN::sefiActivity::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void FlashSAN::sefiActivity::Fire() {
  *replicas_available_Mark = 0;
  *devices_available_Mark = plus(*devices_available_Mark, -1);
  if (*devices_available_Mark == 0) *flash_corrupted_Mark = 1;
}
int FlashSAN::sefiActivity::Rank() { return 1; }
void FlashSAN::sefiActivity::LinkVariables() {
  replicas_available->registerAlias(&replicas_available_Mark);
  devices_available->registerAlias(&devices_available_Mark);
  flash_corrupted->registerAlias(&flash_corrupted_Mark);
}

// ---------------------------------------------------------------------------
// power_cycle (deterministic)

FlashSAN::power_cycleActivity::power_cycleActivity() : Parameters(new double[1]) {
  ActivityInitialize("power_cycle", 2, DIST_DETERMINISTIC, POLICY_DEFAULT, 3, 1, false);
}
FlashSAN::power_cycleActivity::~power_cycleActivity() = default;

bool FlashSAN::power_cycleActivity::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = *replicas_available_Mark < num_replicas;
  return EnabledFlag;
}
double FlashSAN::power_cycleActivity::Weight() { return 1; }
double FlashSAN::power_cycleActivity::Rate() { return 0; }
bool FlashSAN::power_cycleActivity::ReactivationPredicate() { return false; }
bool FlashSAN::power_cycleActivity::ReactivationFunction() { return false; }
double FlashSAN::power_cycleActivity::SampleDistribution() { return power_cycle_rate; }
double* FlashSAN::power_cycleActivity::ReturnDistributionParameters() {
  Parameters[0] = power_cycle_rate;
  return Parameters.get();
}
// Adds a device whether or not this copy had taken one away: the model's own
// behaviour, which lets devices_available walk (and wrap) the 16-bit range.
void FlashSAN::power_cycleActivity::Fire() {
  *replicas_available_Mark = num_replicas;
  *devices_available_Mark = plus(*devices_available_Mark, 1);
  *flash_corrupted_Mark = 0;
}
int FlashSAN::power_cycleActivity::Rank() { return 1; }
void FlashSAN::power_cycleActivity::LinkVariables() {
  replicas_available->registerAlias(&replicas_available_Mark);
  devices_available->registerAlias(&devices_available_Mark);
  flash_corrupted->registerAlias(&flash_corrupted_Mark);
}
double FlashSAN::power_cycleActivity::DeterministicParamValue() { return power_cycle_rate; }

// ---------------------------------------------------------------------------
// The model

FlashSAN::redundant_controller_flash_systemSAN() {
  // Case group, case 1 first.
  seuGroup.initialize(2, "seuGroup");
  seuGroup.appendGroup(&seu_case1);
  seuGroup.appendGroup(&seu_case2);

  // Places, with their initial markings (read from the global variables now).
  devices_available = new Place("devices_available", num_devices);
  replicas_available = new Place("replicas_available", num_replicas);
  flash_corrupted = new Place("flash_corrupted", 0);

  BaseStateVariableClass* places[NUM_PLACES] = {devices_available, replicas_available, flash_corrupted};
  Activity* activities[kNumActivities] = {&seu_case1, &seu_case2, &sefi, &power_cycle};
  BaseGroupClass* groups[kNumGroups] = {&seuGroup, &sefi, &power_cycle};
  initializeSANModelNow("redundant_controller_flash_system", NUM_PLACES, places, 0, nullptr, kNumActivities,
                        activities, kNumGroups, groups);

  assignPlacesToActivitiesInst();
  assignPlacesToActivitiesTimed();

  // Arcs, in registration order: (place, activity).
  const std::pair<Place*, Activity*> affectArcs[] = {
      {replicas_available, &seu_case1}, {replicas_available, &seu_case2}, {devices_available, &seu_case2},
      {flash_corrupted, &seu_case2},    {replicas_available, &sefi},      {devices_available, &sefi},
      {flash_corrupted, &sefi},         {replicas_available, &power_cycle}, {devices_available, &power_cycle},
      {flash_corrupted, &power_cycle},
  };
  const std::pair<Place*, Activity*> enableArcs[] = {
      {replicas_available, &seu_case1},
      {replicas_available, &seu_case2},
      {replicas_available, &sefi},
      {replicas_available, &power_cycle},
  };
  for (const auto& [place, activity] : affectArcs) AddAffectArc(place, activity);
  for (const auto& [place, activity] : enableArcs) AddEnableArc(place, activity);

  for (Activity* activity : activities) activity->LinkVariables();
}

FlashSAN::~redundant_controller_flash_systemSAN() {
  for (int i = 0; i < NUM_PLACES; i++) delete Places[i];
}

void FlashSAN::CustomInitialization() {}

// The model has no instantaneous activity.
void FlashSAN::assignPlacesToActivitiesInst() {}

// Sets the place pointers of the timed activities from the Places array.
void FlashSAN::assignPlacesToActivitiesTimed() {
  auto place = [this](int index) { return static_cast<Place*>(Places[index]); };
  seu_case1.replicas_available = place(REPLICAS_AVAILABLE);
  seu_case2.replicas_available = place(REPLICAS_AVAILABLE);
  seu_case2.devices_available = place(DEVICES_AVAILABLE);
  seu_case2.flash_corrupted = place(FLASH_CORRUPTED);
  sefi.replicas_available = place(REPLICAS_AVAILABLE);
  sefi.devices_available = place(DEVICES_AVAILABLE);
  sefi.flash_corrupted = place(FLASH_CORRUPTED);
  power_cycle.replicas_available = place(REPLICAS_AVAILABLE);
  power_cycle.devices_available = place(DEVICES_AVAILABLE);
  power_cycle.flash_corrupted = place(FLASH_CORRUPTED);
}
