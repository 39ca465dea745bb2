// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#include "redundant_controller_flash_systemSAN.h"

#include <string>

#include "Distributions.h"
#include "ModelFault.h"
#include "redundant_controller_flash_studyRangeStudy.h"

// Markings are 16-bit: a change computed in int is converted back, which
// wraps modulo 2^16.

// ---------------------------------------------------------------------------
// seu_case1 (exponential)

redundant_controller_flash_systemSAN::seuActivity_case1::seuActivity_case1() : Parameters(new double[1]) {
  ActivityInitialize("seu_case1", 0, DIST_EXPONENTIAL, POLICY_DEFAULT, 1, 1, false);
}
redundant_controller_flash_systemSAN::seuActivity_case1::~seuActivity_case1() = default;

bool redundant_controller_flash_systemSAN::seuActivity_case1::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = (
#line 118 "models/redundant_controller_flash.toml"
           (*replicas_available_Mark) > 0
#line 27 "Model/redundant_controller_flash_systemSAN.cpp"
  );
  return EnabledFlag;
}
double redundant_controller_flash_systemSAN::seuActivity_case1::Weight() {
  return (
#line 123 "models/redundant_controller_flash.toml"
          1 - (*replicas_available_Mark) * flash_size * 0.001953125f
#line 35 "Model/redundant_controller_flash_systemSAN.cpp"
  );
}
double redundant_controller_flash_systemSAN::seuActivity_case1::Rate() {
  return (
#line 117 "models/redundant_controller_flash.toml"
        1.5e-16
#line 42 "Model/redundant_controller_flash_systemSAN.cpp"
  );
}
bool redundant_controller_flash_systemSAN::seuActivity_case1::ReactivationPredicate() {
  return (false);
}
bool redundant_controller_flash_systemSAN::seuActivity_case1::ReactivationFunction() {
  return (false);
}
double redundant_controller_flash_systemSAN::seuActivity_case1::SampleDistribution() {
  return TheDistribution->Exponential(Rate());
}
double* redundant_controller_flash_systemSAN::seuActivity_case1::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void redundant_controller_flash_systemSAN::seuActivity_case1::Fire() {
#line 124 "models/redundant_controller_flash.toml"
          (*replicas_available_Mark)--; (*replicas_available_Mark)++;
#line 61 "Model/redundant_controller_flash_systemSAN.cpp"
  if (const int v = *replicas_available_Mark; v < 0)
    markingOutOfBounds("activity 'seu' (case 1) of atomic model 'redundant_controller_flash_system'", "replicas_available", v, 0, kNoUpperBound);
}
int redundant_controller_flash_systemSAN::seuActivity_case1::Rank() { return 1; }
void redundant_controller_flash_systemSAN::seuActivity_case1::LinkVariables() {
  replicas_available->registerAlias(&replicas_available_Mark);
}

// ---------------------------------------------------------------------------
// seu_case2 (exponential)

redundant_controller_flash_systemSAN::seuActivity_case2::seuActivity_case2() : Parameters(new double[1]) {
  ActivityInitialize("seu_case2", 0, DIST_EXPONENTIAL, POLICY_DEFAULT, 3, 1, false);
}
redundant_controller_flash_systemSAN::seuActivity_case2::~seuActivity_case2() = default;

bool redundant_controller_flash_systemSAN::seuActivity_case2::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = (
#line 118 "models/redundant_controller_flash.toml"
           (*replicas_available_Mark) > 0
#line 83 "Model/redundant_controller_flash_systemSAN.cpp"
  );
  return EnabledFlag;
}
double redundant_controller_flash_systemSAN::seuActivity_case2::Weight() {
  return (
#line 129 "models/redundant_controller_flash.toml"
          (*replicas_available_Mark) * flash_size * 0.001953125f
#line 91 "Model/redundant_controller_flash_systemSAN.cpp"
  );
}
double redundant_controller_flash_systemSAN::seuActivity_case2::Rate() {
  return (
#line 117 "models/redundant_controller_flash.toml"
        1.5e-16
#line 98 "Model/redundant_controller_flash_systemSAN.cpp"
  );
}
bool redundant_controller_flash_systemSAN::seuActivity_case2::ReactivationPredicate() {
  return (false);
}
bool redundant_controller_flash_systemSAN::seuActivity_case2::ReactivationFunction() {
  return (false);
}
double redundant_controller_flash_systemSAN::seuActivity_case2::SampleDistribution() {
  return TheDistribution->Exponential(Rate());
}
double* redundant_controller_flash_systemSAN::seuActivity_case2::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void redundant_controller_flash_systemSAN::seuActivity_case2::Fire() {
#line 131 "models/redundant_controller_flash.toml"
(*replicas_available_Mark)--;
if ((*replicas_available_Mark) == 0) {
  (*devices_available_Mark)--;
  if ((*devices_available_Mark) == 0) (*flash_corrupted_Mark) = 1;
}
#line 121 "Model/redundant_controller_flash_systemSAN.cpp"
  if (const int v = *replicas_available_Mark; v < 0)
    markingOutOfBounds("activity 'seu' (case 2) of atomic model 'redundant_controller_flash_system'", "replicas_available", v, 0, kNoUpperBound);
  if (const int v = *flash_corrupted_Mark; v < 0)
    markingOutOfBounds("activity 'seu' (case 2) of atomic model 'redundant_controller_flash_system'", "flash_corrupted", v, 0, kNoUpperBound);
}
int redundant_controller_flash_systemSAN::seuActivity_case2::Rank() { return 1; }
void redundant_controller_flash_systemSAN::seuActivity_case2::LinkVariables() {
  replicas_available->registerAlias(&replicas_available_Mark);
  devices_available->registerAlias(&devices_available_Mark);
  flash_corrupted->registerAlias(&flash_corrupted_Mark);
}

// ---------------------------------------------------------------------------
// sefi (exponential)

redundant_controller_flash_systemSAN::sefiActivity::sefiActivity() : Parameters(new double[1]) {
  ActivityInitialize("sefi", 1, DIST_EXPONENTIAL, POLICY_DEFAULT, 3, 1, false);
}
redundant_controller_flash_systemSAN::sefiActivity::~sefiActivity() = default;

bool redundant_controller_flash_systemSAN::sefiActivity::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = (
#line 143 "models/redundant_controller_flash.toml"
           (*replicas_available_Mark) > 0
#line 147 "Model/redundant_controller_flash_systemSAN.cpp"
  );
  return EnabledFlag;
}
double redundant_controller_flash_systemSAN::sefiActivity::Weight() {
  return (1);
}
double redundant_controller_flash_systemSAN::sefiActivity::Rate() {
  return (
#line 142 "models/redundant_controller_flash.toml"
        0.00274
#line 158 "Model/redundant_controller_flash_systemSAN.cpp"
  );
}
bool redundant_controller_flash_systemSAN::sefiActivity::ReactivationPredicate() {
  return (false);
}
bool redundant_controller_flash_systemSAN::sefiActivity::ReactivationFunction() {
  return (false);
}
double redundant_controller_flash_systemSAN::sefiActivity::SampleDistribution() {
  return TheDistribution->Exponential(Rate());
}
double* redundant_controller_flash_systemSAN::sefiActivity::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void redundant_controller_flash_systemSAN::sefiActivity::Fire() {
#line 145 "models/redundant_controller_flash.toml"
(*replicas_available_Mark) = 0;
(*devices_available_Mark)--;
if ((*devices_available_Mark) == 0) (*flash_corrupted_Mark) = 1;
#line 179 "Model/redundant_controller_flash_systemSAN.cpp"
  if (const int v = *replicas_available_Mark; v < 0)
    markingOutOfBounds("activity 'sefi' of atomic model 'redundant_controller_flash_system'", "replicas_available", v, 0, kNoUpperBound);
  if (const int v = *flash_corrupted_Mark; v < 0)
    markingOutOfBounds("activity 'sefi' of atomic model 'redundant_controller_flash_system'", "flash_corrupted", v, 0, kNoUpperBound);
}
int redundant_controller_flash_systemSAN::sefiActivity::Rank() { return 1; }
void redundant_controller_flash_systemSAN::sefiActivity::LinkVariables() {
  replicas_available->registerAlias(&replicas_available_Mark);
  devices_available->registerAlias(&devices_available_Mark);
  flash_corrupted->registerAlias(&flash_corrupted_Mark);
}

// ---------------------------------------------------------------------------
// power_cycle (deterministic)

redundant_controller_flash_systemSAN::power_cycleActivity::power_cycleActivity() : Parameters(new double[1]) {
  ActivityInitialize("power_cycle", 2, DIST_DETERMINISTIC, POLICY_DEFAULT, 3, 1, false);
}
redundant_controller_flash_systemSAN::power_cycleActivity::~power_cycleActivity() = default;

bool redundant_controller_flash_systemSAN::power_cycleActivity::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = (
#line 158 "models/redundant_controller_flash.toml"
           (*replicas_available_Mark) < num_replicas
#line 205 "Model/redundant_controller_flash_systemSAN.cpp"
  );
  return EnabledFlag;
}
double redundant_controller_flash_systemSAN::power_cycleActivity::Weight() {
  return (1);
}
double redundant_controller_flash_systemSAN::power_cycleActivity::Rate() {
  return 0;
}
bool redundant_controller_flash_systemSAN::power_cycleActivity::ReactivationPredicate() {
  return (false);
}
bool redundant_controller_flash_systemSAN::power_cycleActivity::ReactivationFunction() {
  return (false);
}
double redundant_controller_flash_systemSAN::power_cycleActivity::SampleDistribution() {
  return (
#line 157 "models/redundant_controller_flash.toml"
         power_cycle_rate
#line 225 "Model/redundant_controller_flash_systemSAN.cpp"
  );
}
double* redundant_controller_flash_systemSAN::power_cycleActivity::ReturnDistributionParameters() {
  Parameters[0] = DeterministicParamValue();
  return Parameters.get();
}
void redundant_controller_flash_systemSAN::power_cycleActivity::Fire() {
#line 159 "models/redundant_controller_flash.toml"
          (*replicas_available_Mark) = num_replicas; (*devices_available_Mark)++; (*flash_corrupted_Mark) = 0;
#line 235 "Model/redundant_controller_flash_systemSAN.cpp"
  if (const int v = *replicas_available_Mark; v < 0)
    markingOutOfBounds("activity 'power_cycle' of atomic model 'redundant_controller_flash_system'", "replicas_available", v, 0, kNoUpperBound);
  if (const int v = *flash_corrupted_Mark; v < 0)
    markingOutOfBounds("activity 'power_cycle' of atomic model 'redundant_controller_flash_system'", "flash_corrupted", v, 0, kNoUpperBound);
}
int redundant_controller_flash_systemSAN::power_cycleActivity::Rank() { return 1; }
void redundant_controller_flash_systemSAN::power_cycleActivity::LinkVariables() {
  replicas_available->registerAlias(&replicas_available_Mark);
  devices_available->registerAlias(&devices_available_Mark);
  flash_corrupted->registerAlias(&flash_corrupted_Mark);
}
double redundant_controller_flash_systemSAN::power_cycleActivity::DeterministicParamValue() {
  return (
#line 157 "models/redundant_controller_flash.toml"
         power_cycle_rate
#line 251 "Model/redundant_controller_flash_systemSAN.cpp"
  );
}

// ---------------------------------------------------------------------------
// The model

redundant_controller_flash_systemSAN::redundant_controller_flash_systemSAN() {
  // Case groups, case 1 first.
  seuGroup.initialize(2, "seuGroup");
  seuGroup.appendGroup(&seu_case1);
  seuGroup.appendGroup(&seu_case2);

  // State variables, with their initial markings (global variables as they stand now).
  devices_available = new Place("devices_available", static_cast<short>(num_devices));
  replicas_available = new Place("replicas_available", static_cast<short>(num_replicas));
  flash_corrupted = new Place("flash_corrupted", static_cast<short>(0));
  checkInitialMarking("atomic model 'redundant_controller_flash_system'", "replicas_available", *replicas_available->Mark, 0, kNoUpperBound);

  BaseStateVariableClass* places[] = {devices_available, replicas_available, flash_corrupted};
  Activity* activities[] = {&seu_case1, &seu_case2, &sefi, &power_cycle};
  BaseGroupClass* groups[] = {&seuGroup, &sefi, &power_cycle};
  initializeSANModelNow("redundant_controller_flash_system", 3, places, 0, nullptr, 4, activities, 3, groups);

  assignPlacesToActivitiesInst();
  assignPlacesToActivitiesTimed();

  // Arcs, in registration order.
  AddAffectArc(replicas_available, &seu_case1);
  AddAffectArc(replicas_available, &seu_case2);
  AddAffectArc(devices_available, &seu_case2);
  AddAffectArc(flash_corrupted, &seu_case2);
  AddAffectArc(replicas_available, &sefi);
  AddAffectArc(devices_available, &sefi);
  AddAffectArc(flash_corrupted, &sefi);
  AddAffectArc(replicas_available, &power_cycle);
  AddAffectArc(devices_available, &power_cycle);
  AddAffectArc(flash_corrupted, &power_cycle);
  AddEnableArc(replicas_available, &seu_case1);
  AddEnableArc(replicas_available, &seu_case2);
  AddEnableArc(replicas_available, &sefi);
  AddEnableArc(replicas_available, &power_cycle);

  for (Activity* activity : activities) activity->LinkVariables();
}

redundant_controller_flash_systemSAN::~redundant_controller_flash_systemSAN() {
  for (int i = 0; i < 3; i++) delete Places[i];
}

void redundant_controller_flash_systemSAN::CustomInitialization() {}

// Sets the place pointers of the instantaneous activities from the Places array.
void redundant_controller_flash_systemSAN::assignPlacesToActivitiesInst() {
}

// Sets the place pointers of the timed activities from the Places array.
void redundant_controller_flash_systemSAN::assignPlacesToActivitiesTimed() {
  seu_case1.replicas_available = static_cast<Place*>(Places[1]);
  seu_case2.replicas_available = static_cast<Place*>(Places[1]);
  seu_case2.devices_available = static_cast<Place*>(Places[0]);
  seu_case2.flash_corrupted = static_cast<Place*>(Places[2]);
  sefi.replicas_available = static_cast<Place*>(Places[1]);
  sefi.devices_available = static_cast<Place*>(Places[0]);
  sefi.flash_corrupted = static_cast<Place*>(Places[2]);
  power_cycle.replicas_available = static_cast<Place*>(Places[1]);
  power_cycle.devices_available = static_cast<Place*>(Places[0]);
  power_cycle.flash_corrupted = static_cast<Place*>(Places[2]);
}
