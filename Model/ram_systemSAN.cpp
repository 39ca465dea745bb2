#include "ram_systemSAN.h"

#include <utility>

#include "Distributions.h"
#include "redundant_controller_flash_studyRangeStudy.h"

// Model data of ram_system. The expressions read the global variables
// random_failure_rate and ram_size (both float) at the moment of evaluation.
// Markings are 16-bit: every change is computed in int and converted back,
// which wraps modulo 2^16.
namespace {

constexpr double kWatchdogRebootDelay = 0.00347;
constexpr double kBitErrorRate = 6.012;
constexpr double kPageErrorRate = 2.95e-06;
// Share of the RAM hit by one bit error per unit of ram_size (1/512), a float
// so that the case weights are formed from float operands.
constexpr float kBitErrorShare = 0.001953125f;
constexpr double kPageErrorWeightCase1 = 0.75;
constexpr double kPageErrorWeightCase2 = 0.25;

enum PlaceIndex { FLASH_CORRUPTED = 0, RAM_WORKING = 1, RAM_CORRUPTED = 2, SYSTEM_FAILED = 3, NUM_PLACES = 4 };
constexpr int kNumActivities = 7;
constexpr int kNumGroups = 5;

inline short plus(short mark, int delta) { return static_cast<short>(mark + delta); }

}  // namespace

// ---------------------------------------------------------------------------
// failure (instantaneous)

ram_systemSAN::failureActivity::failureActivity() {
  ActivityInitialize("failure", 4, DIST_INSTANTANEOUS, POLICY_DEFAULT, 1, 3, false);
}
ram_systemSAN::failureActivity::~failureActivity() = default;

bool ram_systemSAN::failureActivity::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = *flash_corrupted_Mark > 0 && *ram_corrupted_Mark > 0 && *system_failed_Mark == 0;
  return EnabledFlag;
}
double ram_systemSAN::failureActivity::Weight() { return 1; }
double ram_systemSAN::failureActivity::Rate() { return 0; }
bool ram_systemSAN::failureActivity::ReactivationPredicate() { return false; }
bool ram_systemSAN::failureActivity::ReactivationFunction() { return false; }
double ram_systemSAN::failureActivity::SampleDistribution() { return 0; }
double* ram_systemSAN::failureActivity::ReturnDistributionParameters() { return nullptr; }
void ram_systemSAN::failureActivity::Fire() { *system_failed_Mark = plus(*system_failed_Mark, 1); }
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
  EnabledFlag = *ram_corrupted_Mark > 0;
  return EnabledFlag;
}
double ram_systemSAN::watchdog_rebootActivity::Weight() { return 1; }
double ram_systemSAN::watchdog_rebootActivity::Rate() { return 0; }
bool ram_systemSAN::watchdog_rebootActivity::ReactivationPredicate() { return false; }
bool ram_systemSAN::watchdog_rebootActivity::ReactivationFunction() { return false; }
double ram_systemSAN::watchdog_rebootActivity::SampleDistribution() { return kWatchdogRebootDelay; }
double* ram_systemSAN::watchdog_rebootActivity::ReturnDistributionParameters() {
  Parameters[0] = kWatchdogRebootDelay;
  return Parameters.get();
}
void ram_systemSAN::watchdog_rebootActivity::Fire() {
  *ram_working_Mark = 1;
  *ram_corrupted_Mark = 0;
}
int ram_systemSAN::watchdog_rebootActivity::Rank() { return 1; }
void ram_systemSAN::watchdog_rebootActivity::LinkVariables() {
  ram_corrupted->registerAlias(&ram_corrupted_Mark);
  ram_working->registerAlias(&ram_working_Mark);
}
double ram_systemSAN::watchdog_rebootActivity::DeterministicParamValue() { return kWatchdogRebootDelay; }

// ---------------------------------------------------------------------------
// random_failure (exponential)

ram_systemSAN::random_failureActivity::random_failureActivity() : Parameters(new double[1]) {
  ActivityInitialize("random_failure", 1, DIST_EXPONENTIAL, POLICY_DEFAULT, 1, 1, false);
}
ram_systemSAN::random_failureActivity::~random_failureActivity() = default;

bool ram_systemSAN::random_failureActivity::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = *ram_corrupted_Mark == 0;
  return EnabledFlag;
}
double ram_systemSAN::random_failureActivity::Weight() { return 1; }
double ram_systemSAN::random_failureActivity::Rate() { return random_failure_rate; }
bool ram_systemSAN::random_failureActivity::ReactivationPredicate() { return false; }
bool ram_systemSAN::random_failureActivity::ReactivationFunction() { return false; }
double ram_systemSAN::random_failureActivity::SampleDistribution() {
  return TheDistribution->Exponential(random_failure_rate);
}
double* ram_systemSAN::random_failureActivity::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void ram_systemSAN::random_failureActivity::Fire() { *ram_corrupted_Mark = plus(*ram_corrupted_Mark, 1); }
int ram_systemSAN::random_failureActivity::Rank() { return 1; }
void ram_systemSAN::random_failureActivity::LinkVariables() { ram_corrupted->registerAlias(&ram_corrupted_Mark); }

// ---------------------------------------------------------------------------
// bit_error, case 1 (exponential)

ram_systemSAN::bit_errorActivity_case1::bit_errorActivity_case1() : Parameters(new double[1]) {
  ActivityInitialize("bit_error_case1", 2, DIST_EXPONENTIAL, POLICY_DEFAULT, 1, 1, false);
}
ram_systemSAN::bit_errorActivity_case1::~bit_errorActivity_case1() = default;

bool ram_systemSAN::bit_errorActivity_case1::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = *ram_working_Mark > 0;
  return EnabledFlag;
}
double ram_systemSAN::bit_errorActivity_case1::Weight() { return 1 - ram_size * kBitErrorShare; }
double ram_systemSAN::bit_errorActivity_case1::Rate() { return kBitErrorRate; }
bool ram_systemSAN::bit_errorActivity_case1::ReactivationPredicate() { return false; }
bool ram_systemSAN::bit_errorActivity_case1::ReactivationFunction() { return false; }
double ram_systemSAN::bit_errorActivity_case1::SampleDistribution() {
  return TheDistribution->Exponential(kBitErrorRate);
}
double* ram_systemSAN::bit_errorActivity_case1::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void ram_systemSAN::bit_errorActivity_case1::Fire() {}
int ram_systemSAN::bit_errorActivity_case1::Rank() { return 1; }
void ram_systemSAN::bit_errorActivity_case1::LinkVariables() { ram_working->registerAlias(&ram_working_Mark); }

// ---------------------------------------------------------------------------
// bit_error, case 2 (exponential)

ram_systemSAN::bit_errorActivity_case2::bit_errorActivity_case2() : Parameters(new double[1]) {
  ActivityInitialize("bit_error_case2", 2, DIST_EXPONENTIAL, POLICY_DEFAULT, 2, 1, false);
}
ram_systemSAN::bit_errorActivity_case2::~bit_errorActivity_case2() = default;

bool ram_systemSAN::bit_errorActivity_case2::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = *ram_working_Mark > 0;
  return EnabledFlag;
}
double ram_systemSAN::bit_errorActivity_case2::Weight() { return ram_size * kBitErrorShare; }
double ram_systemSAN::bit_errorActivity_case2::Rate() { return kBitErrorRate; }
bool ram_systemSAN::bit_errorActivity_case2::ReactivationPredicate() { return false; }
bool ram_systemSAN::bit_errorActivity_case2::ReactivationFunction() { return false; }
double ram_systemSAN::bit_errorActivity_case2::SampleDistribution() {
  return TheDistribution->Exponential(kBitErrorRate);
}
double* ram_systemSAN::bit_errorActivity_case2::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void ram_systemSAN::bit_errorActivity_case2::Fire() {
  *ram_working_Mark = plus(*ram_working_Mark, -1);
  *ram_corrupted_Mark = plus(*ram_corrupted_Mark, 1);
}
int ram_systemSAN::bit_errorActivity_case2::Rank() { return 1; }
void ram_systemSAN::bit_errorActivity_case2::LinkVariables() {
  ram_working->registerAlias(&ram_working_Mark);
  ram_corrupted->registerAlias(&ram_corrupted_Mark);
}

// ---------------------------------------------------------------------------
// page_error, case 1 (exponential)

ram_systemSAN::page_errorActivity_case1::page_errorActivity_case1() : Parameters(new double[1]) {
  ActivityInitialize("page_error_case1", 3, DIST_EXPONENTIAL, POLICY_DEFAULT, 1, 1, false);
}
ram_systemSAN::page_errorActivity_case1::~page_errorActivity_case1() = default;

bool ram_systemSAN::page_errorActivity_case1::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = *ram_working_Mark > 0;
  return EnabledFlag;
}
double ram_systemSAN::page_errorActivity_case1::Weight() { return kPageErrorWeightCase1; }
double ram_systemSAN::page_errorActivity_case1::Rate() { return kPageErrorRate; }
bool ram_systemSAN::page_errorActivity_case1::ReactivationPredicate() { return false; }
bool ram_systemSAN::page_errorActivity_case1::ReactivationFunction() { return false; }
double ram_systemSAN::page_errorActivity_case1::SampleDistribution() {
  return TheDistribution->Exponential(kPageErrorRate);
}
double* ram_systemSAN::page_errorActivity_case1::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void ram_systemSAN::page_errorActivity_case1::Fire() {}
int ram_systemSAN::page_errorActivity_case1::Rank() { return 1; }
void ram_systemSAN::page_errorActivity_case1::LinkVariables() { ram_working->registerAlias(&ram_working_Mark); }

// ---------------------------------------------------------------------------
// page_error, case 2 (exponential)

ram_systemSAN::page_errorActivity_case2::page_errorActivity_case2() : Parameters(new double[1]) {
  ActivityInitialize("page_error_case2", 3, DIST_EXPONENTIAL, POLICY_DEFAULT, 2, 1, false);
}
ram_systemSAN::page_errorActivity_case2::~page_errorActivity_case2() = default;

bool ram_systemSAN::page_errorActivity_case2::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = *ram_working_Mark > 0;
  return EnabledFlag;
}
double ram_systemSAN::page_errorActivity_case2::Weight() { return kPageErrorWeightCase2; }
double ram_systemSAN::page_errorActivity_case2::Rate() { return kPageErrorRate; }
bool ram_systemSAN::page_errorActivity_case2::ReactivationPredicate() { return false; }
bool ram_systemSAN::page_errorActivity_case2::ReactivationFunction() { return false; }
double ram_systemSAN::page_errorActivity_case2::SampleDistribution() {
  return TheDistribution->Exponential(kPageErrorRate);
}
double* ram_systemSAN::page_errorActivity_case2::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void ram_systemSAN::page_errorActivity_case2::Fire() {
  *ram_working_Mark = plus(*ram_working_Mark, -1);
  *ram_corrupted_Mark = plus(*ram_corrupted_Mark, 1);
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

  // Places, with their initial markings.
  flash_corrupted = new Place("flash_corrupted", 0);
  ram_working = new Place("ram_working", 1);
  ram_corrupted = new Place("ram_corrupted", 0);
  system_failed = new Place("system_failed", 0);

  BaseStateVariableClass* places[NUM_PLACES] = {flash_corrupted, ram_working, ram_corrupted, system_failed};
  Activity* activities[kNumActivities] = {&failure,         &watchdog_reboot,  &random_failure,  &bit_error_case1,
                                          &bit_error_case2, &page_error_case1, &page_error_case2};
  BaseGroupClass* groups[kNumGroups] = {&watchdog_reboot, &random_failure, &bit_errorGroup, &page_errorGroup,
                                        &failure};
  initializeSANModelNow("ram_system", NUM_PLACES, places, 0, nullptr, kNumActivities, activities, kNumGroups,
                        groups);

  assignPlacesToActivitiesInst();
  assignPlacesToActivitiesTimed();

  // Arcs, in registration order: (place, activity).
  const std::pair<Place*, Activity*> affectArcs[] = {
      {system_failed, &failure},          {ram_working, &watchdog_reboot},   {ram_corrupted, &watchdog_reboot},
      {ram_corrupted, &random_failure},   {ram_working, &bit_error_case1},   {ram_working, &bit_error_case2},
      {ram_corrupted, &bit_error_case2},  {ram_working, &page_error_case1},  {ram_working, &page_error_case2},
      {ram_corrupted, &page_error_case2},
  };
  const std::pair<Place*, Activity*> enableArcs[] = {
      {flash_corrupted, &failure},       {ram_corrupted, &failure},         {system_failed, &failure},
      {ram_corrupted, &watchdog_reboot}, {ram_corrupted, &random_failure},  {ram_working, &bit_error_case1},
      {ram_working, &bit_error_case2},   {ram_working, &page_error_case1},  {ram_working, &page_error_case2},
  };
  for (const auto& [place, activity] : affectArcs) AddAffectArc(place, activity);
  for (const auto& [place, activity] : enableArcs) AddEnableArc(place, activity);

  for (Activity* activity : activities) activity->LinkVariables();
}

ram_systemSAN::~ram_systemSAN() {
  for (int i = 0; i < NUM_PLACES; i++) delete Places[i];
}

void ram_systemSAN::CustomInitialization() {}

// Sets the place pointers of the instantaneous activity from the Places array.
void ram_systemSAN::assignPlacesToActivitiesInst() {
  auto place = [this](int index) { return static_cast<Place*>(Places[index]); };
  failure.flash_corrupted = place(FLASH_CORRUPTED);
  failure.ram_corrupted = place(RAM_CORRUPTED);
  failure.system_failed = place(SYSTEM_FAILED);
}

// Sets the place pointers of the timed activities from the Places array.
void ram_systemSAN::assignPlacesToActivitiesTimed() {
  auto place = [this](int index) { return static_cast<Place*>(Places[index]); };
  watchdog_reboot.ram_corrupted = place(RAM_CORRUPTED);
  watchdog_reboot.ram_working = place(RAM_WORKING);
  random_failure.ram_corrupted = place(RAM_CORRUPTED);
  bit_error_case1.ram_working = place(RAM_WORKING);
  bit_error_case2.ram_working = place(RAM_WORKING);
  bit_error_case2.ram_corrupted = place(RAM_CORRUPTED);
  page_error_case1.ram_working = place(RAM_WORKING);
  page_error_case2.ram_working = place(RAM_WORKING);
  page_error_case2.ram_corrupted = place(RAM_CORRUPTED);
}
