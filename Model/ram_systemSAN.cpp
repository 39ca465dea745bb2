// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#include "ram_systemSAN.h"

#include <string>

#include "Distributions.h"
#include "ModelFault.h"
#include "redundant_controller_flash_studyRangeStudy.h"

// Markings are 16-bit: a change computed in int is converted back, which
// wraps modulo 2^16.

// ---------------------------------------------------------------------------
// failure (instantaneous)

ram_systemSAN::failureActivity::failureActivity() {
  ActivityInitialize("failure", 4, DIST_INSTANTANEOUS, POLICY_DEFAULT, 1, 3, false);
}
ram_systemSAN::failureActivity::~failureActivity() = default;

bool ram_systemSAN::failureActivity::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = (
#line 47 "models/redundant_controller_flash.toml"
           (*flash_corrupted_Mark) > 0 && (*ram_corrupted_Mark) > 0 && (*system_failed_Mark) == 0
#line 27 "Model/ram_systemSAN.cpp"
  );
  return EnabledFlag;
}
double ram_systemSAN::failureActivity::Weight() {
  return (1);
}
double ram_systemSAN::failureActivity::Rate() {
  return 0;
}
bool ram_systemSAN::failureActivity::ReactivationPredicate() {
  return (false);
}
bool ram_systemSAN::failureActivity::ReactivationFunction() {
  return (false);
}
double ram_systemSAN::failureActivity::SampleDistribution() {
  return 0;
}
double* ram_systemSAN::failureActivity::ReturnDistributionParameters() {
  return nullptr;
}
void ram_systemSAN::failureActivity::Fire() {
#line 48 "models/redundant_controller_flash.toml"
          (*system_failed_Mark)++;
#line 52 "Model/ram_systemSAN.cpp"
  if (const int v = *system_failed_Mark; v < 0)
    markingOutOfBounds("activity 'failure' of atomic model 'ram_system'", "system_failed", v, 0, kNoUpperBound);
}
int ram_systemSAN::failureActivity::Rank() { return 1; }
void ram_systemSAN::failureActivity::LinkVariables() {
  flash_corrupted->registerAlias(&flash_corrupted_Mark);
  ram_corrupted->registerAlias(&ram_corrupted_Mark);
  system_failed->registerAlias(&system_failed_Mark);
}

// ---------------------------------------------------------------------------
// watchdog_reboot (deterministic)

ram_systemSAN::watchdog_rebootActivity::watchdog_rebootActivity() : Parameters(new double[1]) {
  ActivityInitialize("watchdog_reboot", 0, DIST_DETERMINISTIC, POLICY_DEFAULT, 2, 1, false);
}
ram_systemSAN::watchdog_rebootActivity::~watchdog_rebootActivity() = default;

bool ram_systemSAN::watchdog_rebootActivity::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = (
#line 56 "models/redundant_controller_flash.toml"
           (*ram_corrupted_Mark) > 0
#line 76 "Model/ram_systemSAN.cpp"
  );
  return EnabledFlag;
}
double ram_systemSAN::watchdog_rebootActivity::Weight() {
  return (1);
}
double ram_systemSAN::watchdog_rebootActivity::Rate() {
  return 0;
}
bool ram_systemSAN::watchdog_rebootActivity::ReactivationPredicate() {
  return (false);
}
bool ram_systemSAN::watchdog_rebootActivity::ReactivationFunction() {
  return (false);
}
double ram_systemSAN::watchdog_rebootActivity::SampleDistribution() {
  return (
#line 55 "models/redundant_controller_flash.toml"
         0.00347
#line 96 "Model/ram_systemSAN.cpp"
  );
}
double* ram_systemSAN::watchdog_rebootActivity::ReturnDistributionParameters() {
  Parameters[0] = DeterministicParamValue();
  return Parameters.get();
}
void ram_systemSAN::watchdog_rebootActivity::Fire() {
#line 57 "models/redundant_controller_flash.toml"
          (*ram_working_Mark) = 1; (*ram_corrupted_Mark) = 0;
#line 106 "Model/ram_systemSAN.cpp"
  if (const int v = *ram_working_Mark; v < 0)
    markingOutOfBounds("activity 'watchdog_reboot' of atomic model 'ram_system'", "ram_working", v, 0, kNoUpperBound);
  if (const int v = *ram_corrupted_Mark; v < 0)
    markingOutOfBounds("activity 'watchdog_reboot' of atomic model 'ram_system'", "ram_corrupted", v, 0, kNoUpperBound);
}
int ram_systemSAN::watchdog_rebootActivity::Rank() { return 1; }
void ram_systemSAN::watchdog_rebootActivity::LinkVariables() {
  ram_corrupted->registerAlias(&ram_corrupted_Mark);
  ram_working->registerAlias(&ram_working_Mark);
}
double ram_systemSAN::watchdog_rebootActivity::DeterministicParamValue() {
  return (
#line 55 "models/redundant_controller_flash.toml"
         0.00347
#line 121 "Model/ram_systemSAN.cpp"
  );
}

// ---------------------------------------------------------------------------
// random_failure (exponential)

ram_systemSAN::random_failureActivity::random_failureActivity() : Parameters(new double[1]) {
  ActivityInitialize("random_failure", 1, DIST_EXPONENTIAL, POLICY_DEFAULT, 1, 1, false);
}
ram_systemSAN::random_failureActivity::~random_failureActivity() = default;

bool ram_systemSAN::random_failureActivity::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = (
#line 65 "models/redundant_controller_flash.toml"
           (*ram_corrupted_Mark) == 0
#line 138 "Model/ram_systemSAN.cpp"
  );
  return EnabledFlag;
}
double ram_systemSAN::random_failureActivity::Weight() {
  return (1);
}
double ram_systemSAN::random_failureActivity::Rate() {
  return (
#line 64 "models/redundant_controller_flash.toml"
        random_failure_rate
#line 149 "Model/ram_systemSAN.cpp"
  );
}
bool ram_systemSAN::random_failureActivity::ReactivationPredicate() {
  return (false);
}
bool ram_systemSAN::random_failureActivity::ReactivationFunction() {
  return (false);
}
double ram_systemSAN::random_failureActivity::SampleDistribution() {
  return TheDistribution->Exponential(Rate());
}
double* ram_systemSAN::random_failureActivity::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void ram_systemSAN::random_failureActivity::Fire() {
#line 66 "models/redundant_controller_flash.toml"
          (*ram_corrupted_Mark)++;
#line 168 "Model/ram_systemSAN.cpp"
  if (const int v = *ram_corrupted_Mark; v < 0)
    markingOutOfBounds("activity 'random_failure' of atomic model 'ram_system'", "ram_corrupted", v, 0, kNoUpperBound);
}
int ram_systemSAN::random_failureActivity::Rank() { return 1; }
void ram_systemSAN::random_failureActivity::LinkVariables() {
  ram_corrupted->registerAlias(&ram_corrupted_Mark);
}

// ---------------------------------------------------------------------------
// bit_error_case1 (exponential)

ram_systemSAN::bit_errorActivity_case1::bit_errorActivity_case1() : Parameters(new double[1]) {
  ActivityInitialize("bit_error_case1", 2, DIST_EXPONENTIAL, POLICY_DEFAULT, 1, 1, false);
}
ram_systemSAN::bit_errorActivity_case1::~bit_errorActivity_case1() = default;

bool ram_systemSAN::bit_errorActivity_case1::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = (
#line 75 "models/redundant_controller_flash.toml"
           (*ram_working_Mark) > 0
#line 190 "Model/ram_systemSAN.cpp"
  );
  return EnabledFlag;
}
double ram_systemSAN::bit_errorActivity_case1::Weight() {
  return (
#line 79 "models/redundant_controller_flash.toml"
          1 - ram_size * 0.001953125f
#line 198 "Model/ram_systemSAN.cpp"
  );
}
double ram_systemSAN::bit_errorActivity_case1::Rate() {
  return (
#line 74 "models/redundant_controller_flash.toml"
        6.012
#line 205 "Model/ram_systemSAN.cpp"
  );
}
bool ram_systemSAN::bit_errorActivity_case1::ReactivationPredicate() {
  return (false);
}
bool ram_systemSAN::bit_errorActivity_case1::ReactivationFunction() {
  return (false);
}
double ram_systemSAN::bit_errorActivity_case1::SampleDistribution() {
  return TheDistribution->Exponential(Rate());
}
double* ram_systemSAN::bit_errorActivity_case1::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void ram_systemSAN::bit_errorActivity_case1::Fire() {
  if (const int v = *ram_working_Mark; v < 0)
    markingOutOfBounds("activity 'bit_error' (case 1) of atomic model 'ram_system'", "ram_working", v, 0, kNoUpperBound);
}
int ram_systemSAN::bit_errorActivity_case1::Rank() { return 1; }
void ram_systemSAN::bit_errorActivity_case1::LinkVariables() {
  ram_working->registerAlias(&ram_working_Mark);
}

// ---------------------------------------------------------------------------
// bit_error_case2 (exponential)

ram_systemSAN::bit_errorActivity_case2::bit_errorActivity_case2() : Parameters(new double[1]) {
  ActivityInitialize("bit_error_case2", 2, DIST_EXPONENTIAL, POLICY_DEFAULT, 2, 1, false);
}
ram_systemSAN::bit_errorActivity_case2::~bit_errorActivity_case2() = default;

bool ram_systemSAN::bit_errorActivity_case2::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = (
#line 75 "models/redundant_controller_flash.toml"
           (*ram_working_Mark) > 0
#line 243 "Model/ram_systemSAN.cpp"
  );
  return EnabledFlag;
}
double ram_systemSAN::bit_errorActivity_case2::Weight() {
  return (
#line 83 "models/redundant_controller_flash.toml"
          ram_size * 0.001953125f
#line 251 "Model/ram_systemSAN.cpp"
  );
}
double ram_systemSAN::bit_errorActivity_case2::Rate() {
  return (
#line 74 "models/redundant_controller_flash.toml"
        6.012
#line 258 "Model/ram_systemSAN.cpp"
  );
}
bool ram_systemSAN::bit_errorActivity_case2::ReactivationPredicate() {
  return (false);
}
bool ram_systemSAN::bit_errorActivity_case2::ReactivationFunction() {
  return (false);
}
double ram_systemSAN::bit_errorActivity_case2::SampleDistribution() {
  return TheDistribution->Exponential(Rate());
}
double* ram_systemSAN::bit_errorActivity_case2::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void ram_systemSAN::bit_errorActivity_case2::Fire() {
#line 84 "models/redundant_controller_flash.toml"
          (*ram_working_Mark)--; (*ram_corrupted_Mark)++;
#line 277 "Model/ram_systemSAN.cpp"
  if (const int v = *ram_working_Mark; v < 0)
    markingOutOfBounds("activity 'bit_error' (case 2) of atomic model 'ram_system'", "ram_working", v, 0, kNoUpperBound);
  if (const int v = *ram_corrupted_Mark; v < 0)
    markingOutOfBounds("activity 'bit_error' (case 2) of atomic model 'ram_system'", "ram_corrupted", v, 0, kNoUpperBound);
}
int ram_systemSAN::bit_errorActivity_case2::Rank() { return 1; }
void ram_systemSAN::bit_errorActivity_case2::LinkVariables() {
  ram_working->registerAlias(&ram_working_Mark);
  ram_corrupted->registerAlias(&ram_corrupted_Mark);
}

// ---------------------------------------------------------------------------
// page_error_case1 (exponential)

ram_systemSAN::page_errorActivity_case1::page_errorActivity_case1() : Parameters(new double[1]) {
  ActivityInitialize("page_error_case1", 3, DIST_EXPONENTIAL, POLICY_DEFAULT, 1, 1, false);
}
ram_systemSAN::page_errorActivity_case1::~page_errorActivity_case1() = default;

bool ram_systemSAN::page_errorActivity_case1::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = (
#line 91 "models/redundant_controller_flash.toml"
           (*ram_working_Mark) > 0
#line 302 "Model/ram_systemSAN.cpp"
  );
  return EnabledFlag;
}
double ram_systemSAN::page_errorActivity_case1::Weight() {
  return (
#line 95 "models/redundant_controller_flash.toml"
          0.75
#line 310 "Model/ram_systemSAN.cpp"
  );
}
double ram_systemSAN::page_errorActivity_case1::Rate() {
  return (
#line 90 "models/redundant_controller_flash.toml"
        2.95e-06
#line 317 "Model/ram_systemSAN.cpp"
  );
}
bool ram_systemSAN::page_errorActivity_case1::ReactivationPredicate() {
  return (false);
}
bool ram_systemSAN::page_errorActivity_case1::ReactivationFunction() {
  return (false);
}
double ram_systemSAN::page_errorActivity_case1::SampleDistribution() {
  return TheDistribution->Exponential(Rate());
}
double* ram_systemSAN::page_errorActivity_case1::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void ram_systemSAN::page_errorActivity_case1::Fire() {
  if (const int v = *ram_working_Mark; v < 0)
    markingOutOfBounds("activity 'page_error' (case 1) of atomic model 'ram_system'", "ram_working", v, 0, kNoUpperBound);
}
int ram_systemSAN::page_errorActivity_case1::Rank() { return 1; }
void ram_systemSAN::page_errorActivity_case1::LinkVariables() {
  ram_working->registerAlias(&ram_working_Mark);
}

// ---------------------------------------------------------------------------
// page_error_case2 (exponential)

ram_systemSAN::page_errorActivity_case2::page_errorActivity_case2() : Parameters(new double[1]) {
  ActivityInitialize("page_error_case2", 3, DIST_EXPONENTIAL, POLICY_DEFAULT, 2, 1, false);
}
ram_systemSAN::page_errorActivity_case2::~page_errorActivity_case2() = default;

bool ram_systemSAN::page_errorActivity_case2::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = (
#line 91 "models/redundant_controller_flash.toml"
           (*ram_working_Mark) > 0
#line 355 "Model/ram_systemSAN.cpp"
  );
  return EnabledFlag;
}
double ram_systemSAN::page_errorActivity_case2::Weight() {
  return (
#line 99 "models/redundant_controller_flash.toml"
          0.25
#line 363 "Model/ram_systemSAN.cpp"
  );
}
double ram_systemSAN::page_errorActivity_case2::Rate() {
  return (
#line 90 "models/redundant_controller_flash.toml"
        2.95e-06
#line 370 "Model/ram_systemSAN.cpp"
  );
}
bool ram_systemSAN::page_errorActivity_case2::ReactivationPredicate() {
  return (false);
}
bool ram_systemSAN::page_errorActivity_case2::ReactivationFunction() {
  return (false);
}
double ram_systemSAN::page_errorActivity_case2::SampleDistribution() {
  return TheDistribution->Exponential(Rate());
}
double* ram_systemSAN::page_errorActivity_case2::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void ram_systemSAN::page_errorActivity_case2::Fire() {
#line 100 "models/redundant_controller_flash.toml"
          (*ram_working_Mark)--; (*ram_corrupted_Mark)++;
#line 389 "Model/ram_systemSAN.cpp"
  if (const int v = *ram_working_Mark; v < 0)
    markingOutOfBounds("activity 'page_error' (case 2) of atomic model 'ram_system'", "ram_working", v, 0, kNoUpperBound);
  if (const int v = *ram_corrupted_Mark; v < 0)
    markingOutOfBounds("activity 'page_error' (case 2) of atomic model 'ram_system'", "ram_corrupted", v, 0, kNoUpperBound);
}
int ram_systemSAN::page_errorActivity_case2::Rank() { return 1; }
void ram_systemSAN::page_errorActivity_case2::LinkVariables() {
  ram_working->registerAlias(&ram_working_Mark);
  ram_corrupted->registerAlias(&ram_corrupted_Mark);
}

// ---------------------------------------------------------------------------
// The model

ram_systemSAN::ram_systemSAN() {
  // Case groups, case 1 first.
  bit_errorGroup.initialize(2, "bit_errorGroup");
  bit_errorGroup.appendGroup(&bit_error_case1);
  bit_errorGroup.appendGroup(&bit_error_case2);
  page_errorGroup.initialize(2, "page_errorGroup");
  page_errorGroup.appendGroup(&page_error_case1);
  page_errorGroup.appendGroup(&page_error_case2);

  // State variables, with their initial markings (global variables as they stand now).
  flash_corrupted = new Place("flash_corrupted", static_cast<short>(0));
  ram_working = new Place("ram_working", static_cast<short>(1));
  ram_corrupted = new Place("ram_corrupted", static_cast<short>(0));
  system_failed = new Place("system_failed", static_cast<short>(0));

  BaseStateVariableClass* places[] = {flash_corrupted, ram_working, ram_corrupted, system_failed};
  Activity* activities[] = {&failure, &watchdog_reboot, &random_failure, &bit_error_case1, &bit_error_case2, &page_error_case1, &page_error_case2};
  BaseGroupClass* groups[] = {&watchdog_reboot, &random_failure, &bit_errorGroup, &page_errorGroup, &failure};
  initializeSANModelNow("ram_system", 4, places, 0, nullptr, 7, activities, 5, groups);

  assignPlacesToActivitiesInst();
  assignPlacesToActivitiesTimed();

  // Arcs, in registration order.
  AddAffectArc(system_failed, &failure);
  AddAffectArc(ram_working, &watchdog_reboot);
  AddAffectArc(ram_corrupted, &watchdog_reboot);
  AddAffectArc(ram_corrupted, &random_failure);
  AddAffectArc(ram_working, &bit_error_case1);
  AddAffectArc(ram_working, &bit_error_case2);
  AddAffectArc(ram_corrupted, &bit_error_case2);
  AddAffectArc(ram_working, &page_error_case1);
  AddAffectArc(ram_working, &page_error_case2);
  AddAffectArc(ram_corrupted, &page_error_case2);
  AddEnableArc(flash_corrupted, &failure);
  AddEnableArc(ram_corrupted, &failure);
  AddEnableArc(system_failed, &failure);
  AddEnableArc(ram_corrupted, &watchdog_reboot);
  AddEnableArc(ram_corrupted, &random_failure);
  AddEnableArc(ram_working, &bit_error_case1);
  AddEnableArc(ram_working, &bit_error_case2);
  AddEnableArc(ram_working, &page_error_case1);
  AddEnableArc(ram_working, &page_error_case2);

  for (Activity* activity : activities) activity->LinkVariables();
}

ram_systemSAN::~ram_systemSAN() {
  for (int i = 0; i < 4; i++) delete Places[i];
}

void ram_systemSAN::CustomInitialization() {}

// Sets the place pointers of the instantaneous activities from the Places array.
void ram_systemSAN::assignPlacesToActivitiesInst() {
  failure.flash_corrupted = static_cast<Place*>(Places[0]);
  failure.ram_corrupted = static_cast<Place*>(Places[2]);
  failure.system_failed = static_cast<Place*>(Places[3]);
}

// Sets the place pointers of the timed activities from the Places array.
void ram_systemSAN::assignPlacesToActivitiesTimed() {
  watchdog_reboot.ram_corrupted = static_cast<Place*>(Places[2]);
  watchdog_reboot.ram_working = static_cast<Place*>(Places[1]);
  random_failure.ram_corrupted = static_cast<Place*>(Places[2]);
  bit_error_case1.ram_working = static_cast<Place*>(Places[1]);
  bit_error_case2.ram_working = static_cast<Place*>(Places[1]);
  bit_error_case2.ram_corrupted = static_cast<Place*>(Places[2]);
  page_error_case1.ram_working = static_cast<Place*>(Places[1]);
  page_error_case2.ram_working = static_cast<Place*>(Places[1]);
  page_error_case2.ram_corrupted = static_cast<Place*>(Places[2]);
}
