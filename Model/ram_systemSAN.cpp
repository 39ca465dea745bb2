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
  ActivityInitialize("failure", 4, ::DIST_INSTANTANEOUS, ::POLICY_DEFAULT, 1, 3, false);
}
ram_systemSAN::failureActivity::~failureActivity() = default;

bool ram_systemSAN::failureActivity::Enabled() {
  this->PreviousEnabledFlag = this->EnabledFlag;
  short& flash_corrupted = *this->Mark0;
  short& ram_corrupted = *this->Mark1;
  short& system_failed = *this->Mark2;
  this->EnabledFlag = (
#line 47 "models/redundant_controller_flash.toml"
           flash_corrupted > 0 && ram_corrupted > 0 && system_failed == 0
#line 30 "Model/ram_systemSAN.cpp"
  );
  return this->EnabledFlag;
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
  short& system_failed = *this->Mark2;
#line 48 "models/redundant_controller_flash.toml"
          system_failed++;
#line 56 "Model/ram_systemSAN.cpp"
  if (const int v = *this->Mark2; v < 0)
    ::markingOutOfBounds("activity 'failure' of atomic model 'ram_system'", "system_failed", v, 0, ::kNoUpperBound);
}
int ram_systemSAN::failureActivity::Rank() { return 1; }
void ram_systemSAN::failureActivity::LinkVariables() {
  Place0->registerAlias(&Mark0);
  Place1->registerAlias(&Mark1);
  Place2->registerAlias(&Mark2);
}

// ---------------------------------------------------------------------------
// watchdog_reboot (deterministic)

ram_systemSAN::watchdog_rebootActivity::watchdog_rebootActivity() : Parameters(new double[1]) {
  ActivityInitialize("watchdog_reboot", 0, ::DIST_DETERMINISTIC, ::POLICY_DEFAULT, 2, 1, false);
}
ram_systemSAN::watchdog_rebootActivity::~watchdog_rebootActivity() = default;

bool ram_systemSAN::watchdog_rebootActivity::Enabled() {
  this->PreviousEnabledFlag = this->EnabledFlag;
  short& ram_corrupted = *this->Mark0;
  this->EnabledFlag = (
#line 56 "models/redundant_controller_flash.toml"
           ram_corrupted > 0
#line 81 "Model/ram_systemSAN.cpp"
  );
  return this->EnabledFlag;
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
#line 101 "Model/ram_systemSAN.cpp"
  );
}
double* ram_systemSAN::watchdog_rebootActivity::ReturnDistributionParameters() {
  Parameters[0] = DeterministicParamValue();
  return Parameters.get();
}
void ram_systemSAN::watchdog_rebootActivity::Fire() {
  short& ram_working = *this->Mark1;
  short& ram_corrupted = *this->Mark0;
#line 57 "models/redundant_controller_flash.toml"
          ram_working = 1; ram_corrupted = 0;
#line 113 "Model/ram_systemSAN.cpp"
  if (const int v = *this->Mark1; v < 0)
    ::markingOutOfBounds("activity 'watchdog_reboot' of atomic model 'ram_system'", "ram_working", v, 0, ::kNoUpperBound);
  if (const int v = *this->Mark0; v < 0)
    ::markingOutOfBounds("activity 'watchdog_reboot' of atomic model 'ram_system'", "ram_corrupted", v, 0, ::kNoUpperBound);
}
int ram_systemSAN::watchdog_rebootActivity::Rank() { return 1; }
void ram_systemSAN::watchdog_rebootActivity::LinkVariables() {
  Place0->registerAlias(&Mark0);
  Place1->registerAlias(&Mark1);
}
double ram_systemSAN::watchdog_rebootActivity::DeterministicParamValue() {
  return (
#line 55 "models/redundant_controller_flash.toml"
         0.00347
#line 128 "Model/ram_systemSAN.cpp"
  );
}

// ---------------------------------------------------------------------------
// random_failure (exponential)

ram_systemSAN::random_failureActivity::random_failureActivity() : Parameters(new double[1]) {
  ActivityInitialize("random_failure", 1, ::DIST_EXPONENTIAL, ::POLICY_DEFAULT, 1, 1, false);
}
ram_systemSAN::random_failureActivity::~random_failureActivity() = default;

bool ram_systemSAN::random_failureActivity::Enabled() {
  this->PreviousEnabledFlag = this->EnabledFlag;
  short& ram_corrupted = *this->Mark0;
  this->EnabledFlag = (
#line 65 "models/redundant_controller_flash.toml"
           ram_corrupted == 0
#line 146 "Model/ram_systemSAN.cpp"
  );
  return this->EnabledFlag;
}
double ram_systemSAN::random_failureActivity::Weight() {
  return (1);
}
double ram_systemSAN::random_failureActivity::Rate() {
  using ::model_globals::random_failure_rate;
  return (
#line 64 "models/redundant_controller_flash.toml"
        random_failure_rate
#line 158 "Model/ram_systemSAN.cpp"
  );
}
bool ram_systemSAN::random_failureActivity::ReactivationPredicate() {
  return (false);
}
bool ram_systemSAN::random_failureActivity::ReactivationFunction() {
  return (false);
}
double ram_systemSAN::random_failureActivity::SampleDistribution() {
  return ::TheDistribution->Exponential(Rate());
}
double* ram_systemSAN::random_failureActivity::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void ram_systemSAN::random_failureActivity::Fire() {
  short& ram_corrupted = *this->Mark0;
#line 66 "models/redundant_controller_flash.toml"
          ram_corrupted++;
#line 178 "Model/ram_systemSAN.cpp"
  if (const int v = *this->Mark0; v < 0)
    ::markingOutOfBounds("activity 'random_failure' of atomic model 'ram_system'", "ram_corrupted", v, 0, ::kNoUpperBound);
}
int ram_systemSAN::random_failureActivity::Rank() { return 1; }
void ram_systemSAN::random_failureActivity::LinkVariables() {
  Place0->registerAlias(&Mark0);
}

// ---------------------------------------------------------------------------
// bit_error_case1 (exponential)

ram_systemSAN::bit_errorActivity_case1::bit_errorActivity_case1() : Parameters(new double[1]) {
  ActivityInitialize("bit_error_case1", 2, ::DIST_EXPONENTIAL, ::POLICY_DEFAULT, 1, 1, false);
}
ram_systemSAN::bit_errorActivity_case1::~bit_errorActivity_case1() = default;

bool ram_systemSAN::bit_errorActivity_case1::Enabled() {
  this->PreviousEnabledFlag = this->EnabledFlag;
  short& ram_working = *this->Mark0;
  this->EnabledFlag = (
#line 75 "models/redundant_controller_flash.toml"
           ram_working > 0
#line 201 "Model/ram_systemSAN.cpp"
  );
  return this->EnabledFlag;
}
double ram_systemSAN::bit_errorActivity_case1::Weight() {
  using ::model_globals::ram_size;
  return (
#line 79 "models/redundant_controller_flash.toml"
          1 - ram_size * 0.001953125f
#line 210 "Model/ram_systemSAN.cpp"
  );
}
double ram_systemSAN::bit_errorActivity_case1::Rate() {
  return (
#line 74 "models/redundant_controller_flash.toml"
        6.012
#line 217 "Model/ram_systemSAN.cpp"
  );
}
bool ram_systemSAN::bit_errorActivity_case1::ReactivationPredicate() {
  return (false);
}
bool ram_systemSAN::bit_errorActivity_case1::ReactivationFunction() {
  return (false);
}
double ram_systemSAN::bit_errorActivity_case1::SampleDistribution() {
  return ::TheDistribution->Exponential(Rate());
}
double* ram_systemSAN::bit_errorActivity_case1::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void ram_systemSAN::bit_errorActivity_case1::Fire() {
  if (const int v = *this->Mark0; v < 0)
    ::markingOutOfBounds("activity 'bit_error' (case 1) of atomic model 'ram_system'", "ram_working", v, 0, ::kNoUpperBound);
}
int ram_systemSAN::bit_errorActivity_case1::Rank() { return 1; }
void ram_systemSAN::bit_errorActivity_case1::LinkVariables() {
  Place0->registerAlias(&Mark0);
}

// ---------------------------------------------------------------------------
// bit_error_case2 (exponential)

ram_systemSAN::bit_errorActivity_case2::bit_errorActivity_case2() : Parameters(new double[1]) {
  ActivityInitialize("bit_error_case2", 2, ::DIST_EXPONENTIAL, ::POLICY_DEFAULT, 2, 1, false);
}
ram_systemSAN::bit_errorActivity_case2::~bit_errorActivity_case2() = default;

bool ram_systemSAN::bit_errorActivity_case2::Enabled() {
  this->PreviousEnabledFlag = this->EnabledFlag;
  short& ram_working = *this->Mark0;
  this->EnabledFlag = (
#line 75 "models/redundant_controller_flash.toml"
           ram_working > 0
#line 256 "Model/ram_systemSAN.cpp"
  );
  return this->EnabledFlag;
}
double ram_systemSAN::bit_errorActivity_case2::Weight() {
  using ::model_globals::ram_size;
  return (
#line 83 "models/redundant_controller_flash.toml"
          ram_size * 0.001953125f
#line 265 "Model/ram_systemSAN.cpp"
  );
}
double ram_systemSAN::bit_errorActivity_case2::Rate() {
  return (
#line 74 "models/redundant_controller_flash.toml"
        6.012
#line 272 "Model/ram_systemSAN.cpp"
  );
}
bool ram_systemSAN::bit_errorActivity_case2::ReactivationPredicate() {
  return (false);
}
bool ram_systemSAN::bit_errorActivity_case2::ReactivationFunction() {
  return (false);
}
double ram_systemSAN::bit_errorActivity_case2::SampleDistribution() {
  return ::TheDistribution->Exponential(Rate());
}
double* ram_systemSAN::bit_errorActivity_case2::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void ram_systemSAN::bit_errorActivity_case2::Fire() {
  short& ram_working = *this->Mark0;
  short& ram_corrupted = *this->Mark1;
#line 84 "models/redundant_controller_flash.toml"
          ram_working--; ram_corrupted++;
#line 293 "Model/ram_systemSAN.cpp"
  if (const int v = *this->Mark0; v < 0)
    ::markingOutOfBounds("activity 'bit_error' (case 2) of atomic model 'ram_system'", "ram_working", v, 0, ::kNoUpperBound);
  if (const int v = *this->Mark1; v < 0)
    ::markingOutOfBounds("activity 'bit_error' (case 2) of atomic model 'ram_system'", "ram_corrupted", v, 0, ::kNoUpperBound);
}
int ram_systemSAN::bit_errorActivity_case2::Rank() { return 1; }
void ram_systemSAN::bit_errorActivity_case2::LinkVariables() {
  Place0->registerAlias(&Mark0);
  Place1->registerAlias(&Mark1);
}

// ---------------------------------------------------------------------------
// page_error_case1 (exponential)

ram_systemSAN::page_errorActivity_case1::page_errorActivity_case1() : Parameters(new double[1]) {
  ActivityInitialize("page_error_case1", 3, ::DIST_EXPONENTIAL, ::POLICY_DEFAULT, 1, 1, false);
}
ram_systemSAN::page_errorActivity_case1::~page_errorActivity_case1() = default;

bool ram_systemSAN::page_errorActivity_case1::Enabled() {
  this->PreviousEnabledFlag = this->EnabledFlag;
  short& ram_working = *this->Mark0;
  this->EnabledFlag = (
#line 91 "models/redundant_controller_flash.toml"
           ram_working > 0
#line 319 "Model/ram_systemSAN.cpp"
  );
  return this->EnabledFlag;
}
double ram_systemSAN::page_errorActivity_case1::Weight() {
  return (
#line 95 "models/redundant_controller_flash.toml"
          0.75
#line 327 "Model/ram_systemSAN.cpp"
  );
}
double ram_systemSAN::page_errorActivity_case1::Rate() {
  return (
#line 90 "models/redundant_controller_flash.toml"
        2.95e-06
#line 334 "Model/ram_systemSAN.cpp"
  );
}
bool ram_systemSAN::page_errorActivity_case1::ReactivationPredicate() {
  return (false);
}
bool ram_systemSAN::page_errorActivity_case1::ReactivationFunction() {
  return (false);
}
double ram_systemSAN::page_errorActivity_case1::SampleDistribution() {
  return ::TheDistribution->Exponential(Rate());
}
double* ram_systemSAN::page_errorActivity_case1::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void ram_systemSAN::page_errorActivity_case1::Fire() {
  if (const int v = *this->Mark0; v < 0)
    ::markingOutOfBounds("activity 'page_error' (case 1) of atomic model 'ram_system'", "ram_working", v, 0, ::kNoUpperBound);
}
int ram_systemSAN::page_errorActivity_case1::Rank() { return 1; }
void ram_systemSAN::page_errorActivity_case1::LinkVariables() {
  Place0->registerAlias(&Mark0);
}

// ---------------------------------------------------------------------------
// page_error_case2 (exponential)

ram_systemSAN::page_errorActivity_case2::page_errorActivity_case2() : Parameters(new double[1]) {
  ActivityInitialize("page_error_case2", 3, ::DIST_EXPONENTIAL, ::POLICY_DEFAULT, 2, 1, false);
}
ram_systemSAN::page_errorActivity_case2::~page_errorActivity_case2() = default;

bool ram_systemSAN::page_errorActivity_case2::Enabled() {
  this->PreviousEnabledFlag = this->EnabledFlag;
  short& ram_working = *this->Mark0;
  this->EnabledFlag = (
#line 91 "models/redundant_controller_flash.toml"
           ram_working > 0
#line 373 "Model/ram_systemSAN.cpp"
  );
  return this->EnabledFlag;
}
double ram_systemSAN::page_errorActivity_case2::Weight() {
  return (
#line 99 "models/redundant_controller_flash.toml"
          0.25
#line 381 "Model/ram_systemSAN.cpp"
  );
}
double ram_systemSAN::page_errorActivity_case2::Rate() {
  return (
#line 90 "models/redundant_controller_flash.toml"
        2.95e-06
#line 388 "Model/ram_systemSAN.cpp"
  );
}
bool ram_systemSAN::page_errorActivity_case2::ReactivationPredicate() {
  return (false);
}
bool ram_systemSAN::page_errorActivity_case2::ReactivationFunction() {
  return (false);
}
double ram_systemSAN::page_errorActivity_case2::SampleDistribution() {
  return ::TheDistribution->Exponential(Rate());
}
double* ram_systemSAN::page_errorActivity_case2::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void ram_systemSAN::page_errorActivity_case2::Fire() {
  short& ram_working = *this->Mark0;
  short& ram_corrupted = *this->Mark1;
#line 100 "models/redundant_controller_flash.toml"
          ram_working--; ram_corrupted++;
#line 409 "Model/ram_systemSAN.cpp"
  if (const int v = *this->Mark0; v < 0)
    ::markingOutOfBounds("activity 'page_error' (case 2) of atomic model 'ram_system'", "ram_working", v, 0, ::kNoUpperBound);
  if (const int v = *this->Mark1; v < 0)
    ::markingOutOfBounds("activity 'page_error' (case 2) of atomic model 'ram_system'", "ram_corrupted", v, 0, ::kNoUpperBound);
}
int ram_systemSAN::page_errorActivity_case2::Rank() { return 1; }
void ram_systemSAN::page_errorActivity_case2::LinkVariables() {
  Place0->registerAlias(&Mark0);
  Place1->registerAlias(&Mark1);
}

// ---------------------------------------------------------------------------
// The model

ram_systemSAN::ram_systemSAN() {
  // Case groups, case 1 first.
  this->bit_errorGroup.initialize(2, "bit_errorGroup");
  this->bit_errorGroup.appendGroup(&this->bit_error_case1);
  this->bit_errorGroup.appendGroup(&this->bit_error_case2);
  this->page_errorGroup.initialize(2, "page_errorGroup");
  this->page_errorGroup.appendGroup(&this->page_error_case1);
  this->page_errorGroup.appendGroup(&this->page_error_case2);

  // State variables, with their initial markings (global variables as they stand now).
  this->flash_corrupted = new ::Place("flash_corrupted", static_cast<short>(0));
  this->ram_working = new ::Place("ram_working", static_cast<short>(1));
  this->ram_corrupted = new ::Place("ram_corrupted", static_cast<short>(0));
  this->system_failed = new ::Place("system_failed", static_cast<short>(0));

  ::BaseStateVariableClass* places[] = {this->flash_corrupted, this->ram_working, this->ram_corrupted, this->system_failed};
  ::Activity* activities[] = {&this->failure, &this->watchdog_reboot, &this->random_failure, &this->bit_error_case1, &this->bit_error_case2, &this->page_error_case1, &this->page_error_case2};
  ::BaseGroupClass* groups[] = {&this->watchdog_reboot, &this->random_failure, &this->bit_errorGroup, &this->page_errorGroup, &this->failure};
  SANModel::initializeSANModelNow("ram_system", 4, places, 0, nullptr, 7, activities, 5, groups);

  ram_systemSAN::assignPlacesToActivitiesInst();
  ram_systemSAN::assignPlacesToActivitiesTimed();

  // Arcs, in registration order.
  SANModel::AddAffectArc(this->system_failed, &this->failure);
  SANModel::AddAffectArc(this->ram_working, &this->watchdog_reboot);
  SANModel::AddAffectArc(this->ram_corrupted, &this->watchdog_reboot);
  SANModel::AddAffectArc(this->ram_corrupted, &this->random_failure);
  SANModel::AddAffectArc(this->ram_working, &this->bit_error_case1);
  SANModel::AddAffectArc(this->ram_working, &this->bit_error_case2);
  SANModel::AddAffectArc(this->ram_corrupted, &this->bit_error_case2);
  SANModel::AddAffectArc(this->ram_working, &this->page_error_case1);
  SANModel::AddAffectArc(this->ram_working, &this->page_error_case2);
  SANModel::AddAffectArc(this->ram_corrupted, &this->page_error_case2);
  SANModel::AddEnableArc(this->flash_corrupted, &this->failure);
  SANModel::AddEnableArc(this->ram_corrupted, &this->failure);
  SANModel::AddEnableArc(this->system_failed, &this->failure);
  SANModel::AddEnableArc(this->ram_corrupted, &this->watchdog_reboot);
  SANModel::AddEnableArc(this->ram_corrupted, &this->random_failure);
  SANModel::AddEnableArc(this->ram_working, &this->bit_error_case1);
  SANModel::AddEnableArc(this->ram_working, &this->bit_error_case2);
  SANModel::AddEnableArc(this->ram_working, &this->page_error_case1);
  SANModel::AddEnableArc(this->ram_working, &this->page_error_case2);

  for (::Activity* activity : activities) activity->LinkVariables();
}

ram_systemSAN::~ram_systemSAN() {
  for (int i = 0; i < 4; i++) delete SANModel::Places[i];
}

void ram_systemSAN::CustomInitialization() {}

// Sets the place pointers of the instantaneous activities from the Places array.
void ram_systemSAN::assignPlacesToActivitiesInst() {
  this->failure.Place0 = static_cast<::Place*>(SANModel::Places[0]);
  this->failure.Place1 = static_cast<::Place*>(SANModel::Places[2]);
  this->failure.Place2 = static_cast<::Place*>(SANModel::Places[3]);
}

// Sets the place pointers of the timed activities from the Places array.
void ram_systemSAN::assignPlacesToActivitiesTimed() {
  this->watchdog_reboot.Place0 = static_cast<::Place*>(SANModel::Places[2]);
  this->watchdog_reboot.Place1 = static_cast<::Place*>(SANModel::Places[1]);
  this->random_failure.Place0 = static_cast<::Place*>(SANModel::Places[2]);
  this->bit_error_case1.Place0 = static_cast<::Place*>(SANModel::Places[1]);
  this->bit_error_case2.Place0 = static_cast<::Place*>(SANModel::Places[1]);
  this->bit_error_case2.Place1 = static_cast<::Place*>(SANModel::Places[2]);
  this->page_error_case1.Place0 = static_cast<::Place*>(SANModel::Places[1]);
  this->page_error_case2.Place0 = static_cast<::Place*>(SANModel::Places[1]);
  this->page_error_case2.Place1 = static_cast<::Place*>(SANModel::Places[2]);
}
