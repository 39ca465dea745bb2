// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#include "ram_systemSAN.h"

#include <string>

#include "Distributions.h"
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
#line 45 "models/redundant_controller_flash.toml"
  this->EnabledFlag = (flash_corrupted > 0 && ram_corrupted > 0 && system_failed == 0);
#line 28 "Model/ram_systemSAN.cpp"
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
#line 46 "models/redundant_controller_flash.toml"
  system_failed++;
#line 53 "Model/ram_systemSAN.cpp"
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
#line 54 "models/redundant_controller_flash.toml"
  this->EnabledFlag = (ram_corrupted > 0);
#line 75 "Model/ram_systemSAN.cpp"
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
#line 53 "models/redundant_controller_flash.toml"
  return (0.00347);
#line 93 "Model/ram_systemSAN.cpp"
}
double* ram_systemSAN::watchdog_rebootActivity::ReturnDistributionParameters() {
  Parameters[0] = DeterministicParamValue();
  return Parameters.get();
}
void ram_systemSAN::watchdog_rebootActivity::Fire() {
  short& ram_working = *this->Mark1;
  short& ram_corrupted = *this->Mark0;
#line 55 "models/redundant_controller_flash.toml"
  ram_working = 1; ram_corrupted = 0;
#line 104 "Model/ram_systemSAN.cpp"
}
int ram_systemSAN::watchdog_rebootActivity::Rank() { return 1; }
void ram_systemSAN::watchdog_rebootActivity::LinkVariables() {
  Place0->registerAlias(&Mark0);
  Place1->registerAlias(&Mark1);
}
double ram_systemSAN::watchdog_rebootActivity::DeterministicParamValue() {
#line 53 "models/redundant_controller_flash.toml"
  return (0.00347);
#line 114 "Model/ram_systemSAN.cpp"
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
#line 63 "models/redundant_controller_flash.toml"
  this->EnabledFlag = (ram_corrupted == 0);
#line 130 "Model/ram_systemSAN.cpp"
  return this->EnabledFlag;
}
double ram_systemSAN::random_failureActivity::Weight() {
  return (1);
}
double ram_systemSAN::random_failureActivity::Rate() {
  using ::model_globals::random_failure_rate;
#line 62 "models/redundant_controller_flash.toml"
  return (random_failure_rate);
#line 140 "Model/ram_systemSAN.cpp"
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
#line 64 "models/redundant_controller_flash.toml"
  ram_corrupted++;
#line 159 "Model/ram_systemSAN.cpp"
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
#line 73 "models/redundant_controller_flash.toml"
  this->EnabledFlag = (ram_working > 0);
#line 179 "Model/ram_systemSAN.cpp"
  return this->EnabledFlag;
}
double ram_systemSAN::bit_errorActivity_case1::Weight() {
  using ::model_globals::ram_size;
#line 77 "models/redundant_controller_flash.toml"
  return (1 - ram_size * 0.001953125f);
#line 186 "Model/ram_systemSAN.cpp"
}
double ram_systemSAN::bit_errorActivity_case1::Rate() {
#line 72 "models/redundant_controller_flash.toml"
  return (6.012);
#line 191 "Model/ram_systemSAN.cpp"
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
#line 73 "models/redundant_controller_flash.toml"
  this->EnabledFlag = (ram_working > 0);
#line 226 "Model/ram_systemSAN.cpp"
  return this->EnabledFlag;
}
double ram_systemSAN::bit_errorActivity_case2::Weight() {
  using ::model_globals::ram_size;
#line 81 "models/redundant_controller_flash.toml"
  return (ram_size * 0.001953125f);
#line 233 "Model/ram_systemSAN.cpp"
}
double ram_systemSAN::bit_errorActivity_case2::Rate() {
#line 72 "models/redundant_controller_flash.toml"
  return (6.012);
#line 238 "Model/ram_systemSAN.cpp"
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
#line 82 "models/redundant_controller_flash.toml"
  ram_working--; ram_corrupted++;
#line 258 "Model/ram_systemSAN.cpp"
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
#line 89 "models/redundant_controller_flash.toml"
  this->EnabledFlag = (ram_working > 0);
#line 279 "Model/ram_systemSAN.cpp"
  return this->EnabledFlag;
}
double ram_systemSAN::page_errorActivity_case1::Weight() {
#line 93 "models/redundant_controller_flash.toml"
  return (0.75);
#line 285 "Model/ram_systemSAN.cpp"
}
double ram_systemSAN::page_errorActivity_case1::Rate() {
#line 88 "models/redundant_controller_flash.toml"
  return (2.95e-06);
#line 290 "Model/ram_systemSAN.cpp"
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
#line 89 "models/redundant_controller_flash.toml"
  this->EnabledFlag = (ram_working > 0);
#line 325 "Model/ram_systemSAN.cpp"
  return this->EnabledFlag;
}
double ram_systemSAN::page_errorActivity_case2::Weight() {
#line 97 "models/redundant_controller_flash.toml"
  return (0.25);
#line 331 "Model/ram_systemSAN.cpp"
}
double ram_systemSAN::page_errorActivity_case2::Rate() {
#line 88 "models/redundant_controller_flash.toml"
  return (2.95e-06);
#line 336 "Model/ram_systemSAN.cpp"
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
#line 98 "models/redundant_controller_flash.toml"
  ram_working--; ram_corrupted++;
#line 356 "Model/ram_systemSAN.cpp"
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
