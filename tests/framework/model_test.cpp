// Unit tests of the compiled-in model: the two atomic models, the composed
// model (Join of ram_system and the Rep of flash devices) and its reward model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BaseStudyClass.h"
#include "GenError.h"
#include "ModelFactory.h"
#include "ModelFault.h"
#include "ModelValueChecks.h"
#include "PerformanceVariableNode.h"
#include "ram_systemSAN.h"
#include "redundant_controller_flash_modelRJ.h"
#include "redundant_controller_flash_rewardPVModel.h"
#include "redundant_controller_flash_rewardPVNodes.h"
#include "redundant_controller_flash_studyRangeStudy.h"
#include "redundant_controller_flash_systemSAN.h"

// The model's global variables live in a namespace of their own.
using namespace model_globals;

namespace {

// Loads the values of experiment 0 (with the given device and replica counts)
// into the global variables the model reads.
void setGlobals(short devices = 1, short replicas = 1) {
  flash_size = 64;
  num_devices = devices;
  num_replicas = replicas;
  power_cycle_rate = 365;
  ram_size = 128;
  random_failure_rate = 0.005f;
}

std::vector<short> stateOf(BaseModelClass& model) {
  std::vector<char> bytes(model.StateSize());
  model.CurrentState(bytes.data());
  std::vector<short> marks(bytes.size() / 2);
  std::memcpy(marks.data(), bytes.data(), marks.size() * 2);
  return marks;
}

std::vector<std::string> actionNames(BaseStateVariableClass* sv, bool affecting) {
  List<BaseActionClass>* list = affecting ? sv->getAffectingActions() : sv->getEnabledActions();
  std::vector<std::string> names;
  for (int i = 0; i < list->getNumItems(); i++) names.emplace_back(list->getItem(i)->getName());
  return names;
}

std::vector<std::string> svNames(const List<BaseStateVariableClass>& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.getNumItems(); i++) names.emplace_back(list.getItem(i)->getName());
  return names;
}

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override { setGlobals(); }
};

// ---------------------------------------------------------------------------
// ram_system

using RamSystemTest = ModelTest;

TEST_F(RamSystemTest, PlacesActivitiesAndGroupsInModelOrder) {
  ram_systemSAN ram;
  EXPECT_STREQ(ram.Name, "ram_system");
  ASSERT_EQ(ram.NumStateVariables, 4);
  const char* placeNames[] = {"flash_corrupted", "ram_working", "ram_corrupted", "system_failed"};
  const short initial[] = {0, 1, 0, 0};
  for (int i = 0; i < 4; i++) {
    EXPECT_STREQ(ram.Places[i]->getName(), placeNames[i]);
    EXPECT_EQ(static_cast<Place*>(ram.Places[i])->getMark(), initial[i]);
  }
  EXPECT_EQ(stateOf(ram), (std::vector<short>{0, 1, 0, 0}));

  struct Row {
    const char* name;
    int group;
    Distribution dist;
  };
  const Row rows[] = {{"failure", 4, DIST_INSTANTANEOUS},       {"watchdog_reboot", 0, DIST_DETERMINISTIC},
                      {"random_failure", 1, DIST_EXPONENTIAL},  {"bit_error_case1", 2, DIST_EXPONENTIAL},
                      {"bit_error_case2", 2, DIST_EXPONENTIAL}, {"page_error_case1", 3, DIST_EXPONENTIAL},
                      {"page_error_case2", 3, DIST_EXPONENTIAL}};
  ASSERT_EQ(ram.NumActions, 7);
  for (int i = 0; i < 7; i++) {
    SCOPED_TRACE(rows[i].name);
    EXPECT_STREQ(ram.Actions[i]->getName(), rows[i].name);
    EXPECT_EQ(ram.Actions[i]->GroupId, rows[i].group);
    EXPECT_EQ(ram.Actions[i]->DistributionType, rows[i].dist);
    EXPECT_EQ(ram.Actions[i]->ExecutionPolicy, POLICY_DEFAULT);
    EXPECT_FALSE(ram.Actions[i]->Reactivation);
    EXPECT_EQ(ram.Actions[i]->OwningModel, &ram);
    EXPECT_EQ(ram.Actions[i]->Rank(), 1);
  }

  ASSERT_EQ(ram.NumGroups, 5);
  EXPECT_EQ(ram.Groups[0], &ram.watchdog_reboot);
  EXPECT_EQ(ram.Groups[1], &ram.random_failure);
  EXPECT_EQ(ram.Groups[2], &ram.bit_errorGroup);
  EXPECT_EQ(ram.Groups[3], &ram.page_errorGroup);
  EXPECT_EQ(ram.Groups[4], &ram.failure);
  EXPECT_STREQ(ram.bit_errorGroup.getName(), "bit_errorGroup");
  EXPECT_STREQ(ram.page_errorGroup.getName(), "page_errorGroup");
  ASSERT_EQ(ram.bit_errorGroup.getNumMembers(), 2);
  EXPECT_EQ(ram.bit_errorGroup.getMember(0), &ram.bit_error_case1);
  EXPECT_EQ(ram.bit_errorGroup.getMember(1), &ram.bit_error_case2);
  ASSERT_EQ(ram.page_errorGroup.getNumMembers(), 2);
  EXPECT_EQ(ram.page_errorGroup.getMember(0), &ram.page_error_case1);
  EXPECT_EQ(ram.page_errorGroup.getMember(1), &ram.page_error_case2);
}

TEST_F(RamSystemTest, ArcsInRegistrationOrder) {
  ram_systemSAN ram;
  EXPECT_EQ(actionNames(ram.ram_working, true),
            (std::vector<std::string>{"watchdog_reboot", "bit_error_case1", "bit_error_case2", "page_error_case1",
                                      "page_error_case2"}));
  EXPECT_EQ(actionNames(ram.ram_corrupted, true),
            (std::vector<std::string>{"watchdog_reboot", "random_failure", "bit_error_case2", "page_error_case2"}));
  EXPECT_EQ(actionNames(ram.system_failed, true), (std::vector<std::string>{"failure"}));
  EXPECT_TRUE(actionNames(ram.flash_corrupted, true).empty());
  EXPECT_EQ(actionNames(ram.ram_corrupted, false),
            (std::vector<std::string>{"failure", "watchdog_reboot", "random_failure"}));
  EXPECT_EQ(actionNames(ram.flash_corrupted, false), (std::vector<std::string>{"failure"}));

  EXPECT_EQ(svNames(ram.failure.EnablingSVs),
            (std::vector<std::string>{"flash_corrupted", "ram_corrupted", "system_failed"}));
  EXPECT_EQ(svNames(ram.watchdog_reboot.AffectedSVs), (std::vector<std::string>{"ram_working", "ram_corrupted"}));
  EXPECT_EQ(svNames(ram.page_error_case2.AffectedSVs), (std::vector<std::string>{"ram_working", "ram_corrupted"}));
  EXPECT_TRUE(ram.page_error_case1.IsAnAffectingStateVariable(ram.ram_working));
  EXPECT_FALSE(ram.page_error_case1.IsAnAffectingStateVariable(ram.ram_corrupted));
}

TEST_F(RamSystemTest, LinkVariablesRegistersOneAliasPerUse) {
  ram_systemSAN ram;
  // A place starts with 2 (its value pointer and Mark); each activity that
  // uses it adds one cached pointer.
  EXPECT_EQ(ram.flash_corrupted->getSharingCount(), 2 + 1);
  EXPECT_EQ(ram.ram_working->getSharingCount(), 2 + 5);
  EXPECT_EQ(ram.ram_corrupted->getSharingCount(), 2 + 5);
  EXPECT_EQ(ram.system_failed->getSharingCount(), 2 + 1);
  EXPECT_EQ(ram.bit_error_case2.Mark1, ram.ram_corrupted->Mark);
  EXPECT_EQ(ram.failure.Mark0, ram.flash_corrupted->Mark);
}

TEST_F(RamSystemTest, EnablingInTheInitialState) {
  ram_systemSAN ram;
  EXPECT_FALSE(ram.failure.Enabled());
  EXPECT_FALSE(ram.watchdog_reboot.Enabled());
  EXPECT_TRUE(ram.random_failure.Enabled());
  EXPECT_TRUE(ram.bit_error_case1.Enabled());
  EXPECT_TRUE(ram.bit_error_case2.Enabled());
  EXPECT_TRUE(ram.page_error_case1.Enabled());
  EXPECT_TRUE(ram.page_error_case2.Enabled());
}

TEST_F(RamSystemTest, FiringChangesTheMarkings) {
  ram_systemSAN ram;
  ram.random_failure.Fire();
  EXPECT_EQ(stateOf(ram), (std::vector<short>{0, 1, 1, 0}));
  EXPECT_FALSE(ram.random_failure.Enabled());
  EXPECT_TRUE(ram.watchdog_reboot.Enabled());
  EXPECT_TRUE(ram.bit_error_case1.Enabled());

  ram.watchdog_reboot.Fire();
  EXPECT_EQ(stateOf(ram), (std::vector<short>{0, 1, 0, 0}));

  ram.bit_error_case2.Fire();
  EXPECT_EQ(stateOf(ram), (std::vector<short>{0, 0, 1, 0}));
  EXPECT_FALSE(ram.bit_error_case1.Enabled());
  EXPECT_FALSE(ram.page_error_case2.Enabled());

  ram.bit_error_case1.Fire();
  ram.page_error_case1.Fire();
  EXPECT_EQ(stateOf(ram), (std::vector<short>{0, 0, 1, 0}));

  ram.watchdog_reboot.Fire();
  ram.page_error_case2.Fire();
  EXPECT_EQ(stateOf(ram), (std::vector<short>{0, 0, 1, 0}));
}

TEST_F(RamSystemTest, FailureNeedsBothMemoriesCorruptedOnce) {
  ram_systemSAN ram;
  ram.flash_corrupted->setMark(1);
  EXPECT_FALSE(ram.failure.Enabled());  // RAM not corrupted yet
  ram.random_failure.Fire();
  EXPECT_TRUE(ram.failure.Enabled());
  EXPECT_FALSE(ram.failure.PreviousEnabledFlag);
  ram.failure.Fire();
  EXPECT_EQ(ram.system_failed->getMark(), 1);
  EXPECT_FALSE(ram.failure.Enabled());
  EXPECT_TRUE(ram.failure.PreviousEnabledFlag);
  EXPECT_FALSE(ram.failure.EnablingChange());
}

TEST_F(RamSystemTest, WeightsAreFormedFromFloatOperands) {
  ram_systemSAN ram;
  EXPECT_EQ(ram.bit_error_case1.Weight(), 0.75);
  EXPECT_EQ(ram.bit_error_case2.Weight(), 0.25);
  EXPECT_EQ(ram.page_error_case1.Weight(), 0.75);
  EXPECT_EQ(ram.page_error_case2.Weight(), 0.25);
  EXPECT_EQ(ram.bit_errorGroup.Probability(&ram.bit_error_case1), 0.75);
  EXPECT_EQ(ram.bit_errorGroup.Probability(&ram.bit_error_case2), 0.25);
  ram_size = 256;
  EXPECT_EQ(ram.bit_error_case1.Weight(), 0.5);
  EXPECT_EQ(ram.bit_error_case2.Weight(), 0.5);
  // 100/512 is not a float-exact fraction: the result is the float value.
  ram_size = 100;
  EXPECT_EQ(ram.bit_error_case2.Weight(), static_cast<double>(100.0f * 0.001953125f));
  EXPECT_EQ(ram.bit_error_case1.Weight(), static_cast<double>(1.0f - 100.0f * 0.001953125f));
}

TEST_F(RamSystemTest, RatesDelaysAndParameters) {
  ram_systemSAN ram;
  EXPECT_EQ(ram.random_failure.Rate(), static_cast<double>(0.005f));
  EXPECT_EQ(ram.random_failure.ReturnDistributionParameters()[0], 0.004999999888241291);
  EXPECT_EQ(ram.bit_error_case1.Rate(), 6.012);
  EXPECT_EQ(ram.bit_error_case2.ReturnDistributionParameters()[0], 6.012);
  EXPECT_EQ(ram.page_error_case2.Rate(), 2.95e-06);
  EXPECT_EQ(ram.watchdog_reboot.Rate(), 0.0);
  EXPECT_EQ(ram.watchdog_reboot.ReturnDistributionParameters()[0], 0.00347);
  EXPECT_EQ(ram.watchdog_reboot.DeterministicParamValue(), 0.00347);
  EXPECT_EQ(ram.watchdog_reboot.SampleDistribution(), 0.00347);
  EXPECT_EQ(ram.failure.ReturnDistributionParameters(), nullptr);
  EXPECT_EQ(ram.failure.SampleDistribution(), 0.0);
  EXPECT_GT(ram.bit_error_case1.SampleDistribution(), 0.0);
  random_failure_rate = 2.5f;
  EXPECT_EQ(ram.random_failure.ReturnDistributionParameters()[0], 2.5);
}

// The RAM's places declare min = 0: a firing that takes one below, by
// wrapping past 32767 or by a decrement at 0, is a fault of the model.
TEST_F(RamSystemTest, AFiringThatLeavesAMarkingBelowItsBoundIsAFault) {
  ram_systemSAN ram;
  ram.ram_corrupted->setMark(32767);
  EXPECT_THROW(ram.bit_error_case2.Fire(), ModelFault);
  EXPECT_EQ(ram.ram_corrupted->getMark(), -32768);
  ram.ram_working->setMark(0);
  ram.ram_corrupted->setMark(0);
  EXPECT_THROW(ram.page_error_case2.Fire(), ModelFault);
}

// ---------------------------------------------------------------------------
// redundant_controller_flash_system

using FlashSystemTest = ModelTest;

TEST_F(FlashSystemTest, PlacesActivitiesAndGroupsInModelOrder) {
  setGlobals(3, 2);
  redundant_controller_flash_systemSAN flash;
  EXPECT_STREQ(flash.Name, "redundant_controller_flash_system");
  ASSERT_EQ(flash.NumStateVariables, 3);
  EXPECT_STREQ(flash.Places[0]->getName(), "devices_available");
  EXPECT_STREQ(flash.Places[1]->getName(), "replicas_available");
  EXPECT_STREQ(flash.Places[2]->getName(), "flash_corrupted");
  EXPECT_EQ(stateOf(flash), (std::vector<short>{3, 2, 0}));

  const char* names[] = {"seu_case1", "seu_case2", "sefi", "power_cycle"};
  const int groups[] = {0, 0, 1, 2};
  const Distribution dists[] = {DIST_EXPONENTIAL, DIST_EXPONENTIAL, DIST_EXPONENTIAL, DIST_DETERMINISTIC};
  ASSERT_EQ(flash.NumActions, 4);
  for (int i = 0; i < 4; i++) {
    EXPECT_STREQ(flash.Actions[i]->getName(), names[i]);
    EXPECT_EQ(flash.Actions[i]->GroupId, groups[i]);
    EXPECT_EQ(flash.Actions[i]->DistributionType, dists[i]);
  }
  ASSERT_EQ(flash.NumGroups, 3);
  EXPECT_EQ(flash.Groups[0], &flash.seuGroup);
  EXPECT_EQ(flash.Groups[1], &flash.sefi);
  EXPECT_EQ(flash.Groups[2], &flash.power_cycle);
  EXPECT_STREQ(flash.seuGroup.getName(), "seuGroup");
  ASSERT_EQ(flash.seuGroup.getNumMembers(), 2);
  EXPECT_EQ(flash.seuGroup.getMember(0), &flash.seu_case1);
  EXPECT_EQ(flash.seuGroup.getMember(1), &flash.seu_case2);

  EXPECT_EQ(actionNames(flash.replicas_available, true),
            (std::vector<std::string>{"seu_case1", "seu_case2", "sefi", "power_cycle"}));
  EXPECT_EQ(actionNames(flash.devices_available, true), (std::vector<std::string>{"seu_case2", "sefi", "power_cycle"}));
  EXPECT_EQ(actionNames(flash.replicas_available, false),
            (std::vector<std::string>{"seu_case1", "seu_case2", "sefi", "power_cycle"}));
  EXPECT_TRUE(actionNames(flash.flash_corrupted, false).empty());
  EXPECT_EQ(flash.replicas_available->getSharingCount(), 2 + 4);
  EXPECT_EQ(flash.devices_available->getSharingCount(), 2 + 3);
}

TEST_F(FlashSystemTest, InitialEnabling) {
  redundant_controller_flash_systemSAN flash;
  EXPECT_TRUE(flash.seu_case1.Enabled());
  EXPECT_TRUE(flash.seu_case2.Enabled());
  EXPECT_TRUE(flash.sefi.Enabled());
  EXPECT_FALSE(flash.power_cycle.Enabled());
}

TEST_F(FlashSystemTest, LastReplicaLostCorruptsTheFlash) {
  redundant_controller_flash_systemSAN flash;
  flash.seu_case2.Fire();
  EXPECT_EQ(stateOf(flash), (std::vector<short>{0, 0, 1}));
  EXPECT_TRUE(flash.power_cycle.Enabled());
  EXPECT_FALSE(flash.sefi.Enabled());
  flash.power_cycle.Fire();
  EXPECT_EQ(stateOf(flash), (std::vector<short>{1, 1, 0}));
}

TEST_F(FlashSystemTest, PowerCycleAddsADeviceEvenWhenNoneWasTaken) {
  setGlobals(1, 2);
  redundant_controller_flash_systemSAN flash;
  flash.seu_case2.Fire();
  EXPECT_EQ(stateOf(flash), (std::vector<short>{1, 1, 0}));
  EXPECT_TRUE(flash.power_cycle.Enabled());
  flash.power_cycle.Fire();
  EXPECT_EQ(stateOf(flash), (std::vector<short>{2, 2, 0}));
}

TEST_F(FlashSystemTest, SeuCase1LeavesTheMarkingAndSefiTakesOneDevice) {
  setGlobals(2, 2);
  redundant_controller_flash_systemSAN flash;
  flash.seu_case1.Fire();
  EXPECT_EQ(stateOf(flash), (std::vector<short>{2, 2, 0}));
  flash.sefi.Fire();
  EXPECT_EQ(stateOf(flash), (std::vector<short>{1, 0, 0}));
}

TEST_F(FlashSystemTest, WeightsRatesAndDelay) {
  redundant_controller_flash_systemSAN flash;
  EXPECT_EQ(flash.seu_case1.Weight(), 0.875);
  EXPECT_EQ(flash.seu_case2.Weight(), 0.125);
  EXPECT_EQ(flash.seuGroup.Probability(&flash.seu_case2), 0.125);
  flash.replicas_available->setMark(2);
  EXPECT_EQ(flash.seu_case1.Weight(), 0.75);
  EXPECT_EQ(flash.seu_case2.Weight(), 0.25);
  EXPECT_EQ(flash.seu_case1.Rate(), 1.5e-16);
  EXPECT_EQ(flash.seu_case2.ReturnDistributionParameters()[0], 1.5e-16);
  EXPECT_EQ(flash.sefi.Rate(), 0.00274);
  EXPECT_EQ(flash.sefi.Weight(), 1.0);
  EXPECT_EQ(flash.power_cycle.Rate(), 0.0);
  EXPECT_EQ(flash.power_cycle.ReturnDistributionParameters()[0], 365.0);
  EXPECT_EQ(flash.power_cycle.DeterministicParamValue(), 365.0);
  power_cycle_rate = 0.1f;
  EXPECT_EQ(flash.power_cycle.ReturnDistributionParameters()[0], static_cast<double>(0.1f));
  EXPECT_EQ(flash.power_cycle.SampleDistribution(), static_cast<double>(0.1f));
}

TEST_F(FlashSystemTest, NumReplicasIsReadWhenEvaluated) {
  redundant_controller_flash_systemSAN flash;  // built with one replica
  num_replicas = 3;
  EXPECT_TRUE(flash.power_cycle.Enabled());
  flash.power_cycle.Fire();
  EXPECT_EQ(flash.replicas_available->getMark(), 3);
}

TEST_F(FlashSystemTest, DevicesWrapAs16BitValues) {
  setGlobals(32767, 2);
  redundant_controller_flash_systemSAN flash;
  flash.seu_case2.Fire();
  flash.power_cycle.Fire();
  EXPECT_EQ(flash.devices_available->getMark(), -32768);
  flash.sefi.Fire();
  EXPECT_EQ(flash.devices_available->getMark(), 32767);
  EXPECT_EQ(flash.flash_corrupted->getMark(), 0);
}

// ---------------------------------------------------------------------------
// Composed model

using ComposedModelTest = ModelTest;

TEST_F(ComposedModelTest, TreeNamesAndStateLayout) {
  setGlobals(3, 1);
  redundant_controller_flash_modelRJ join;
  EXPECT_STREQ(join.Name, "Join");
  EXPECT_EQ(join.GetModelType(), 2);
  ASSERT_EQ(join.GetNumberOfChildren(), 2);
  EXPECT_EQ(join.GetChild(0), join.ram_system.get());
  EXPECT_EQ(join.GetChild(1), join.flash_rep.get());
  EXPECT_STREQ(join.ram_system->Name, "ram_system");
  EXPECT_STREQ(join.flash_rep->Name, "flash_rep");
  EXPECT_EQ(join.flash_rep->GetModelType(), 3);
  ASSERT_EQ(join.flash_rep->GetNumberOfChildren(), 3);
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(join.flash_rep->GetChild(i), join.flash_rep->InstanceArray[i].get());
    EXPECT_STREQ(join.flash_rep->GetChild(i)->Name, "redundant_controller_flash_system");
  }
  EXPECT_EQ(join.NumSharedStateVariables, 1);
  EXPECT_EQ(join.flash_rep->NumSharedStateVariables, 2);
  EXPECT_EQ(join.StateSize(), 10 + 2 * 3);
  EXPECT_EQ(stateOf(join), (std::vector<short>{1, 0, 0, 1, 1, 1, 3, 0}));

  List<BaseModelClass> found;
  join.listModels("redundant_controller_flash_system", &found);
  EXPECT_EQ(found.getNumItems(), 3);
}

TEST_F(ComposedModelTest, FlatActionsAndGroupIds) {
  setGlobals(2, 1);
  redundant_controller_flash_modelRJ join;
  ASSERT_EQ(join.NumActions, 7 + 2 * 4);
  ASSERT_EQ(join.NumGroups, 5 + 2 * 3);
  EXPECT_EQ(join.Actions[0], &join.ram_system->failure);
  EXPECT_EQ(join.Actions[7], &join.flash_rep->InstanceArray[0]->seu_case1);
  EXPECT_EQ(join.Actions[14], &join.flash_rep->InstanceArray[1]->power_cycle);
  // Every action's id names the position of its group in the root's array.
  for (int a = 0; a < join.NumActions; a++) {
    BaseActionClass* action = join.Actions[a];
    ASSERT_LT(action->GroupId, join.NumGroups);
    BaseGroupClass* group = join.Groups[action->GroupId];
    EXPECT_TRUE(group == action || group->IsAMember(action)) << action->getName();
  }
  auto& copy1 = *join.flash_rep->InstanceArray[1];
  EXPECT_EQ(copy1.seu_case1.GroupId, 8);
  EXPECT_EQ(copy1.seu_case2.GroupId, 8);
  EXPECT_EQ(copy1.sefi.GroupId, 9);
  EXPECT_EQ(copy1.power_cycle.GroupId, 10);
  EXPECT_EQ(join.ram_system->bit_error_case2.GroupId, 2);
}

TEST_F(ComposedModelTest, SharedPlacesAreOneCell) {
  setGlobals(3, 1);
  redundant_controller_flash_modelRJ join;
  auto& rep = *join.flash_rep;
  // Only the composers' places store the shared values.
  EXPECT_TRUE(join.flash_corrupted->getStored());
  EXPECT_TRUE(rep.devices_available->getStored());
  EXPECT_FALSE(rep.flash_corrupted->getStored());
  EXPECT_FALSE(join.ram_system->flash_corrupted->getStored());
  for (auto& copy : rep.InstanceArray) {
    EXPECT_FALSE(copy->devices_available->getStored());
    EXPECT_FALSE(copy->flash_corrupted->getStored());
    EXPECT_TRUE(copy->replicas_available->getStored());
  }

  // sefi of copy 2 takes a device away: every copy sees it, the RAM does not.
  rep.InstanceArray[2]->sefi.Fire();
  EXPECT_EQ(rep.devices_available->getMark(), 2);
  for (auto& copy : rep.InstanceArray) EXPECT_EQ(*copy->seu_case2.Mark1, 2);
  EXPECT_EQ(stateOf(join), (std::vector<short>{1, 0, 0, 0, 1, 1, 2, 0}));

  // The flash becomes corrupted through copy 0: the RAM's failure sees it.
  rep.InstanceArray[0]->sefi.Fire();
  rep.InstanceArray[1]->sefi.Fire();
  EXPECT_EQ(join.flash_corrupted->getMark(), 1);
  EXPECT_EQ(join.ram_system->flash_corrupted->getMark(), 1);
  join.ram_system->random_failure.Fire();
  EXPECT_TRUE(join.ram_system->failure.Enabled());

  // power_cycle of copy 1 clears the flag for everybody.
  rep.InstanceArray[1]->power_cycle.Fire();
  EXPECT_FALSE(join.ram_system->failure.Enabled());
  EXPECT_EQ(stateOf(join), (std::vector<short>{1, 1, 0, 0, 0, 1, 1, 0}));
}

TEST_F(ComposedModelTest, ReplicaStatesAreSorted) {
  setGlobals(2, 2);
  redundant_controller_flash_modelRJ join;
  std::vector<char> initial(join.StateSize());
  join.CurrentState(initial.data());
  join.SetState(initial.data());
  // Copy 1 loses a replica: its state (1) sorts before copy 0's (2).
  join.flash_rep->InstanceArray[1]->seu_case2.Fire();
  EXPECT_EQ(stateOf(join), (std::vector<short>{1, 0, 0, 1, 2, 2, 0}));
  std::vector<char> afterCopy1(join.StateSize());
  join.CurrentState(afterCopy1.data());

  join.SetState(initial.data());
  join.flash_rep->InstanceArray[0]->seu_case2.Fire();
  std::vector<char> afterCopy0(join.StateSize());
  join.CurrentState(afterCopy0.data());
  EXPECT_EQ(afterCopy0, afterCopy1);
}

TEST_F(ComposedModelTest, NoDevicesGivesAnEightByteState) {
  setGlobals(0, 1);
  redundant_controller_flash_modelRJ join;
  auto& rep = *join.flash_rep;
  EXPECT_EQ(rep.GetNumberOfChildren(), 0);
  EXPECT_TRUE(rep.InstanceArray.empty());
  EXPECT_EQ(rep.NumSharedStateVariables, 0);
  EXPECT_FALSE(rep.devices_available);
  EXPECT_EQ(rep.StateSize(), 0);
  EXPECT_EQ(join.NumActions, 7);
  EXPECT_EQ(join.NumGroups, 5);
  EXPECT_EQ(join.StateSize(), 8);
  EXPECT_EQ(stateOf(join), (std::vector<short>{1, 0, 0, 0}));
  EXPECT_TRUE(join.flash_corrupted->getStored());
  EXPECT_FALSE(join.ram_system->flash_corrupted->getStored());
}

TEST_F(ComposedModelTest, ModelIdsFollowConstructionOrder) {
  setGlobals(2, 1);
  redundant_controller_flash_rewardPVModel reward(false);
  auto* join = static_cast<redundant_controller_flash_modelRJ*>(reward.TheModel);
  EXPECT_EQ(reward.ModelId, 1);
  EXPECT_EQ(join->ModelId, 2);
  EXPECT_EQ(join->ram_system->ModelId, 3);
  EXPECT_EQ(join->flash_rep->ModelId, 4);
  EXPECT_EQ(join->flash_rep->InstanceArray[0]->ModelId, 5);
  EXPECT_EQ(join->flash_rep->InstanceArray[1]->ModelId, 6);
}

// What a reward model numbers and what it starts from.
struct Numbering {
  std::vector<int> modelIds;       // pre-order
  std::vector<int> actionNumbers;  // NoActionFiredYet, then Actions
  std::vector<int> groupNumbers;   // Groups
  std::vector<int> pvIds;
  std::vector<std::string> actionNames;
  std::vector<char> initialState;

  bool operator==(const Numbering&) const = default;
};

void collectModelIds(BaseModelClass* model, std::vector<int>& ids) {
  ids.push_back(model->ModelId);
  if (model->GetModelType() == 1) return;  // atomic
  for (int i = 0; i < model->GetNumberOfChildren(); i++) collectModelIds(model->GetChild(i), ids);
}

Numbering numberingOf(PVModel& reward) {
  Numbering n;
  n.modelIds.push_back(reward.ModelId);
  collectModelIds(reward.TheModel, n.modelIds);
  n.actionNumbers.push_back(reward.NoActionFiredYet.ActionNumber);
  for (int a = 0; a < reward.NumActions; a++) {
    n.actionNumbers.push_back(reward.Actions[a]->ActionNumber);
    n.actionNames.emplace_back(reward.Actions[a]->getName());
  }
  for (int g = 0; g < reward.NumGroups; g++) n.groupNumbers.push_back(reward.Groups[g]->ActionNumber);
  for (int p = 0; p < reward.NumPVNodes; p++) n.pvIds.push_back(reward.PVList[p]->PVId);
  n.initialState.resize(static_cast<size_t>(reward.StateSize()));
  reward.CurrentState(n.initialState.data());
  return n;
}

// Each reward model numbers its own actions, reward variables and submodels:
// two alive at once are numbered exactly like one built alone.
TEST_F(ComposedModelTest, TwoRewardModelsAtOnceNumberTheirPartsLikeOneAlone) {
  setGlobals(2, 1);
  const std::unique_ptr<ModelFactory> factory = makeModelFactory();
  const Numbering alone = numberingOf(*factory->makeRewardModel(true));
  EXPECT_EQ(alone.modelIds, (std::vector<int>{1, 2, 3, 4, 5, 6}));
  // ram_system's seven activities follow the pseudo-action, then its two case
  // groups; each flash copy's four activities are followed by its case group.
  EXPECT_EQ(alone.actionNumbers, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 15, 16, 17, 18}));
  EXPECT_EQ(alone.groupNumbers, (std::vector<int>{2, 3, 8, 9, 1, 14, 12, 13, 19, 17, 18}));
  EXPECT_EQ(alone.pvIds, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(alone.initialState.size(), 14u);

  std::unique_ptr<PVModel> first = factory->makeRewardModel(true);
  std::unique_ptr<PVModel> second = factory->makeRewardModel(true);
  EXPECT_EQ(numberingOf(*first), alone);
  EXPECT_EQ(numberingOf(*second), alone);
  first.reset();  // the survivor keeps its own numbers and state
  EXPECT_EQ(numberingOf(*second), alone);
}

// ---------------------------------------------------------------------------
// Reward model

using RewardModelTest = ModelTest;

TEST_F(RewardModelTest, OneReliabilityNodeWithOneWorker) {
  redundant_controller_flash_rewardPVModel reward(false);
  EXPECT_STREQ(reward.Name, "redundant_controller_flash_rewardPVModel");
  ASSERT_EQ(reward.NumPVNodes, 1);
  PerformanceVariableNode* node = reward.PVList[0];
  EXPECT_STREQ(node->Name, "reliability");
  EXPECT_EQ(node->GetRewardType(), Instant_Of_Time);
  ASSERT_EQ(node->GetNumTimePoints(), 3);
  EXPECT_EQ(node->GetStartTime(0), 30.0);
  EXPECT_EQ(node->GetStopTime(1), 180.0);
  EXPECT_EQ(node->GetStartTime(2), 365.0);
  EXPECT_EQ(node->TimeStart, 30.0);
  EXPECT_EQ(node->TopModelRef, &static_cast<redundant_controller_flash_rewardPV0*>(node)->TheModelPtr);
  EXPECT_EQ(*node->TopModelRef, reward.TheModel);
  ASSERT_EQ(node->NumWorkers, 1);
  auto* worker = dynamic_cast<redundant_controller_flash_rewardPV0Worker*>(node->Workers[0]);
  ASSERT_NE(worker, nullptr);
  auto* join = static_cast<redundant_controller_flash_modelRJ*>(reward.TheModel);
  EXPECT_EQ(worker->Slot0, join->ram_system.get());
  EXPECT_EQ(worker->NumModelSlots, 1);
  EXPECT_EQ(reward.StateSize(), 12);
}

TEST_F(RewardModelTest, ExpandedTimePoints) {
  redundant_controller_flash_rewardPVModel reward(true);
  ASSERT_EQ(reward.NumPVNodes, 3);
  EXPECT_EQ(reward.PVList[0]->TimeStart, 30.0);
  EXPECT_EQ(reward.PVList[1]->TimeStart, 180.0);
  EXPECT_EQ(reward.PVList[2]->TimeStop, 365.0);
  EXPECT_EQ(reward.PVList[2]->PVId, reward.PVList[0]->PVId + 2);
}

TEST_F(RewardModelTest, CreatePVNode) {
  redundant_controller_flash_rewardPVModel reward(false);
  EXPECT_EQ(reward.createPVNode(1, 0), nullptr);
  EXPECT_EQ(reward.createPVNode(-1, 0), nullptr);
  std::unique_ptr<PerformanceVariableNode> node(reward.createPVNode(0, 2));
  ASSERT_TRUE(node);
  EXPECT_EQ(node->TimeStart, 365.0);
  EXPECT_EQ(node->TimeStop, 365.0);
  EXPECT_TRUE(node->IsDependentOnModel("ram_system"));
  EXPECT_FALSE(node->IsDependentOnModel("flash_rep"));
}

TEST_F(RewardModelTest, RateRewardIsSystemFailed) {
  setGlobals(1, 1);
  redundant_controller_flash_rewardPVModel reward(false);
  auto* join = static_cast<redundant_controller_flash_modelRJ*>(reward.TheModel);
  std::vector<char> state(reward.StateSize());
  reward.ConsiderOnly(nullptr, -1);
  reward.FireAction(state.data(), &reward.NoActionFiredYet);
  EXPECT_EQ(reward.PVList[0]->RateReward, 0.0);
  EXPECT_EQ(reward.PVList[0]->ImpulseReward, 0.0);

  // Lose the flash, corrupt the RAM: the instantaneous failure fires.
  reward.FireAction(state.data(), &join->flash_rep->InstanceArray[0]->sefi);
  reward.FireAction(state.data(), &join->ram_system->random_failure);
  ASSERT_TRUE(join->ram_system->failure.Enabled());
  reward.FireAction(state.data(), &join->ram_system->failure);
  EXPECT_EQ(reward.PVList[0]->RateReward, 1.0);
  short marks[6];
  std::memcpy(marks, state.data(), sizeof marks);
  EXPECT_EQ(std::vector<short>(marks, marks + 6), (std::vector<short>{1, 1, 1, 0, 0, 1}));
}

// The study builds the reward model from the global variables as they stand;
// an earlier model stays intact.
TEST(StudyRewardModelTest, GetPVModelBuildsFromTheCurrentGlobals) {
  const std::unique_ptr<BaseStudyClass> study = makeModelFactory()->makeStudy();
  study->SetGVs(1);
  std::unique_ptr<PVModel> first = study->GetPVModel(false);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->StateSize(), 10 + 2 * 2);
  EXPECT_EQ(first->NumPVNodes, 1);
  num_devices = 3;
  std::unique_ptr<PVModel> second = study->GetPVModel(true);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->StateSize(), 10 + 2 * 3);
  EXPECT_EQ(second->NumPVNodes, 3);
  EXPECT_EQ(first->StateSize(), 10 + 2 * 2);
}

}  // namespace

// Values a generated model takes from its globals when it is built are
// checked against the type they land in, naming the global.
TEST(ModelValueChecks, ValuesThatDoNotFitAreRefusedByName) {
  EXPECT_EQ(genCheckedMarking(-32768, "g", "m: p"), -32768);
  EXPECT_EQ(genCheckedCount(2147483647LL, "g", "r: the count"), 2147483647);
  EXPECT_EQ(genCheckedPhases(3.0, "m.a"), 3.0);
  EXPECT_TRUE(std::isnan(genCheckedPhases(std::nan(""), "m.a")));  // the generator names the state
  EXPECT_EQ(genCheckedPhases(-1.0, "m.a"), -1.0);
  try {
    genCheckedMarking(70000, "open", "m: the initial marking of p");
    FAIL();
  } catch (const GenError& e) {
    EXPECT_STREQ(e.what(),
                 "Error: m: the initial marking of p is the global variable open = 70000, outside the "
                 "16-bit markings (-32768 to 32767)");
  }
  EXPECT_THROW(genCheckedCount(2147483648LL, "n", "r: the count"), GenError);
  for (double phases : {2.5, 0.0, 0.5, 32768.0}) {
    try {
      genCheckedPhases(phases, "tandem.serve");
      FAIL() << phases;
    } catch (const GenError& e) {
      EXPECT_NE(std::string(e.what()).find("The Erlang activity tandem.serve has "), std::string::npos) << e.what();
    }
  }
}
