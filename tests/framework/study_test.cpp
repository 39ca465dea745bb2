// The study base (names, experiment names, installation root, the override
// parser) and the range study of the compiled-in model.

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BaseStudyClass.h"
#include "ModelFactory.h"
#include "PVModel.h"
#include "TestSupport.h"
#include "redundant_controller_flash_studyRangeStudy.h"

// The model's global variables live in a namespace of their own.
using namespace model_globals;

namespace {

// Redirects std::cout and std::cerr into strings for the lifetime of the object.
class Captured {
 public:
  Captured() : oldOut_(std::cout.rdbuf(out_.rdbuf())), oldErr_(std::cerr.rdbuf(err_.rdbuf())) {}
  ~Captured() {
    std::cout.rdbuf(oldOut_);
    std::cerr.rdbuf(oldErr_);
  }
  std::string out() const { return out_.str(); }
  std::string err() const { return err_.str(); }

 private:
  std::ostringstream out_, err_;
  std::streambuf* oldOut_;
  std::streambuf* oldErr_;
};

using Study = redundant_controller_flash_studyRangeStudy;

// A fresh range study with experiment 0 loaded.
class RangeStudyTest : public ::testing::Test {
 protected:
  void SetUp() override { study.SetGVs(0); }
  Study study;
};

// ---- Base class -------------------------------------------------------------------

TEST(BaseStudy, BareBaseKnowsNothing) {
  BaseStudyClass base;
  EXPECT_EQ(base.GetNumGVs(), 0);
  EXPECT_EQ(base.GetNumExps(), 0);
  EXPECT_EQ(base.GetPVModel(false), nullptr);
  EXPECT_STREQ(base.GetDefaultTarvelRoot(), "");
  Captured c;
  base.SetGVs(0);
  base.PrintGlobalValues(0);
  EXPECT_EQ(base.GetGVValue("flash_size"), nullptr);
  base.OverrideGVValue("flash_size", "x");
  EXPECT_EQ(c.out(), "basestudyclass::SetGVs\n");
  EXPECT_EQ(c.err(), "");
}

TEST(BaseStudy, ExperimentNamesAreNumberedFromOne) {
  const std::string first = BaseStudyClass::GetExpName(0);
  EXPECT_EQ(BaseStudyClass::GetExpName(5), "Experiment 6");
  EXPECT_EQ(first, "Experiment 1");  // a later call leaves an earlier name alone
  EXPECT_EQ(BaseStudyClass::GetExpName(INT_MAX), "Experiment 2147483648");
  EXPECT_EQ(BaseStudyClass::GetExpName(INT_MIN), "Experiment -2147483647");
}

TEST(BaseStudy, DefaultRootIsAPrivateCopy) {
  BaseStudyClass base;
  char* path = strdup("/opt/root/");
  base.SetDefaultTarvelRoot(path);
  std::free(path);
  EXPECT_STREQ(base.GetDefaultTarvelRoot(), "/opt/root/");
  base.SetDefaultTarvelRoot("/other/");
  EXPECT_STREQ(base.GetDefaultTarvelRoot(), "/other/");
}

TEST(BaseStudy, TypeLettersOfTheOverrideTable) {
  EXPECT_STREQ(OverrideTypeName('b'), "bool");
  EXPECT_STREQ(OverrideTypeName('c'), "char");
  EXPECT_STREQ(OverrideTypeName('d'), "double");
  EXPECT_STREQ(OverrideTypeName('f'), "float");
  EXPECT_STREQ(OverrideTypeName('i'), "int");
  EXPECT_STREQ(OverrideTypeName('l'), "long");
  EXPECT_STREQ(OverrideTypeName('s'), "short");
  EXPECT_EQ(OverrideTypeName('x'), nullptr);
}

// A study with one variable of each overridable type; it records the values
// that the parser hands to OverrideGVValue.
class AllTypesStudy : public BaseStudyClass {
 public:
  bool b = false;
  char c = 0;
  double d = 0;
  float f = 0;
  int i = 0;
  long l = 0;
  short s = 0;
  int calls = 0;

  AllTypesStudy() {
    const char* names[] = {"b", "c", "d", "f", "i", "l", "s"};
    const char* types[] = {"bool", "char", "double", "float", "int", "long", "short"};
    NumGVs = 7;
    GVNames = new char*[NumGVs];
    GVTypes = new char*[NumGVs];
    for (int k = 0; k < NumGVs; k++) {
      GVNames[k] = strdup(names[k]);
      GVTypes[k] = strdup(types[k]);
    }
  }
  void OverrideGVValue(const char* name, const void* value) override {
    calls++;
    switch (name[0]) {
      case 'b': std::memcpy(&b, value, sizeof b); break;
      case 'c': std::memcpy(&c, value, sizeof c); break;
      case 'd': std::memcpy(&d, value, sizeof d); break;
      case 'f': std::memcpy(&f, value, sizeof f); break;
      case 'i': std::memcpy(&i, value, sizeof i); break;
      case 'l': std::memcpy(&l, value, sizeof l); break;
      case 's': std::memcpy(&s, value, sizeof s); break;
      default: break;
    }
  }
};

TEST(OverrideParser, ConvertsEachTypeLetterWithItsFormat) {
  AllTypesStudy st;
  Captured cap;
  st.overrideGVs("b:b:2:c:c:z:d:d:2.5e3:f:f:0.25:i:i:0x1F:l:l:-0100:s:s:-7");
  EXPECT_TRUE(st.b);
  EXPECT_EQ(st.c, 'z');
  EXPECT_DOUBLE_EQ(st.d, 2500.0);
  EXPECT_FLOAT_EQ(st.f, 0.25f);
  EXPECT_EQ(st.i, 31);
  EXPECT_EQ(st.l, -64);
  EXPECT_EQ(st.s, -7);
  EXPECT_EQ(st.calls, 7);
  EXPECT_EQ(cap.out(), "");
  EXPECT_EQ(cap.err(), "");
}

TEST(OverrideParser, BoolIsFalseForZero) {
  AllTypesStudy st;
  st.b = true;
  st.overrideGVs("b:b:0");
  EXPECT_FALSE(st.b);
}

TEST(OverrideParser, ValuesThatDoNotParseFullyOrOverflowAreSkipped) {
  AllTypesStudy st;
  Captured cap;
  st.overrideGVs(
      "s:s:abc:s:s:1.5:s:s:08:s:s:32768:s:s:-32769:i:i:4294967296:l:l:99999999999999999999:"
      "f:f:1e39:f:f:1.5x:d:d:1e400:d:d: 2 :c:c:ab:b:b:70000");
  EXPECT_EQ(st.calls, 0);
  EXPECT_EQ(cap.out(), "");
  EXPECT_EQ(testsupport::splitLines(cap.err()).size(), 13u) << cap.err();
}

TEST(OverrideParser, LeadingBlanksAreAcceptedAsScanfDoes) {
  AllTypesStudy st;
  st.overrideGVs("i:i: 12:f:f: 1.5");
  EXPECT_EQ(st.i, 12);
  EXPECT_FLOAT_EQ(st.f, 1.5f);
}

// ---- Range study: structure ---------------------------------------------------------

TEST_F(RangeStudyTest, DeclaresSixVariablesInOrderOverSixExperiments) {
  EXPECT_EQ(study.GetNumGVs(), 6);
  EXPECT_EQ(study.GetNumExps(), 6);
  const std::vector<std::string> names = {"flash_size",       "num_devices", "num_replicas",
                                          "power_cycle_rate", "ram_size",    "random_failure_rate"};
  const std::vector<std::string> types = {"float", "short", "short", "float", "float", "float"};
  for (int i = 0; i < 6; i++) {
    EXPECT_EQ(study.GetGVName(i), names[i]);
    EXPECT_EQ(study.GetGVType(i), types[i]);
  }
  EXPECT_STREQ(study.GetDefaultTarvelRoot(), "c:/Tarvel-2.4/");
}

TEST(RangeStudy, SetGVsLoadsEveryExperimentOfTheTable) {
  Study study;
  const short devices[] = {1, 2, 3, 1, 2, 3};
  const short replicas[] = {1, 1, 1, 2, 2, 2};
  for (int e = 0; e < 6; e++) {
    study.SetGVs(e);
    EXPECT_EQ(flash_size, 64.0f) << e;
    EXPECT_EQ(num_devices, devices[e]) << e;
    EXPECT_EQ(num_replicas, replicas[e]) << e;
    EXPECT_EQ(power_cycle_rate, 365.0f) << e;
    EXPECT_EQ(ram_size, 128.0f) << e;
    EXPECT_EQ(random_failure_rate, 0.005f) << e;
  }
}

TEST(RangeStudy, SetValuesRestoresTheTableAfterTheArraysChanged) {
  Study study;
  for (int e = 0; e < 6; e++) {
    study.flash_sizeValues[e] = 1;
    study.num_devicesValues[e] = 9;
    study.num_replicasValues[e] = 9;
    study.power_cycle_rateValues[e] = 1;
    study.ram_sizeValues[e] = 1;
    study.random_failure_rateValues[e] = 1;
  }
  study.SetValues_flash_size();
  study.SetValues_num_devices();
  study.SetValues_num_replicas();
  study.SetValues_power_cycle_rate();
  study.SetValues_ram_size();
  study.SetValues_random_failure_rate();
  study.SetGVs(4);
  EXPECT_EQ(flash_size, 64.0f);
  EXPECT_EQ(num_devices, 2);
  EXPECT_EQ(num_replicas, 2);
  EXPECT_EQ(power_cycle_rate, 365.0f);
  EXPECT_EQ(ram_size, 128.0f);
  EXPECT_EQ(random_failure_rate, 0.005f);
}

TEST(RangeStudyDeathTest, ExperimentNumberOutsideTheTableStopsTheProcess) {
  Study study;
  EXPECT_DEATH(study.SetGVs(6), "0 <= e && e < NumExps");
  EXPECT_DEATH(study.SetGVs(-1), "0 <= e && e < NumExps");
}

// ---- Range study: printing ------------------------------------------------------------

TEST_F(RangeStudyTest, PrintsExperimentZero) {
  Captured cap;
  study.PrintGlobalValues(0);
  EXPECT_EQ(cap.out(),
            "The Global Variable values for experiment Experiment 1 are:\n"
            "flash_size\tfloat\t64\n"
            "num_devices\tshort\t1\n"
            "num_replicas\tshort\t1\n"
            "power_cycle_rate\tfloat\t365\n"
            "ram_size\tfloat\t128\n"
            "random_failure_rate\tfloat\t0.005\n");
}

TEST_F(RangeStudyTest, PrintsExperimentFiveAndLoadsItFirst) {
  Captured cap;
  study.PrintGlobalValues(5);
  EXPECT_EQ(cap.out(),
            "The Global Variable values for experiment Experiment 6 are:\n"
            "flash_size\tfloat\t64\n"
            "num_devices\tshort\t3\n"
            "num_replicas\tshort\t2\n"
            "power_cycle_rate\tfloat\t365\n"
            "ram_size\tfloat\t128\n"
            "random_failure_rate\tfloat\t0.005\n");
  EXPECT_EQ(num_devices, 3);
  EXPECT_EQ(num_replicas, 2);
}

TEST_F(RangeStudyTest, PrintingIgnoresFormatFlagsLeftOnTheConsoleStream) {
  Captured cap;
  std::cout << std::fixed << std::showpoint;
  study.PrintGlobalValues(0);
  std::cout.flags(std::ios::fmtflags{});
  std::cout.precision(6);
  EXPECT_NE(cap.out().find("random_failure_rate\tfloat\t0.005\n"), std::string::npos) << cap.out();
  EXPECT_NE(cap.out().find("flash_size\tfloat\t64\n"), std::string::npos) << cap.out();
}

// ---- Range study: lookup and single overrides -------------------------------------------

TEST_F(RangeStudyTest, GetGVValueReturnsTheVariableItself) {
  EXPECT_EQ(study.GetGVValue("flash_size"), static_cast<void*>(&flash_size));
  EXPECT_EQ(study.GetGVValue("num_devices"), static_cast<void*>(&num_devices));
  EXPECT_EQ(study.GetGVValue("num_replicas"), static_cast<void*>(&num_replicas));
  EXPECT_EQ(study.GetGVValue("power_cycle_rate"), static_cast<void*>(&power_cycle_rate));
  EXPECT_EQ(study.GetGVValue("ram_size"), static_cast<void*>(&ram_size));
  EXPECT_EQ(study.GetGVValue("random_failure_rate"), static_cast<void*>(&random_failure_rate));
}

TEST_F(RangeStudyTest, GetGVValueNeedsTheExactName) {
  Captured cap;
  EXPECT_EQ(study.GetGVValue("num_device"), nullptr);
  EXPECT_EQ(study.GetGVValue("num_devicesX"), nullptr);
  EXPECT_EQ(cap.err(),
            "!! redundant_controller_flash_studyRangeStudy::GetGVValue: Global Variable num_device does not exist.\n"
            "!! redundant_controller_flash_studyRangeStudy::GetGVValue: Global Variable num_devicesX does not "
            "exist.\n");
  EXPECT_EQ(cap.out(), "");
}

TEST_F(RangeStudyTest, OverrideGVValueCopiesAShortIntoAShortVariableOnly) {
  const short three = 3;
  study.OverrideGVValue("num_replicas", &three);
  EXPECT_EQ(num_replicas, 3);
  EXPECT_EQ(num_devices, 1);
  EXPECT_EQ(flash_size, 64.0f);
  EXPECT_EQ(power_cycle_rate, 365.0f);
  EXPECT_EQ(ram_size, 128.0f);
  EXPECT_EQ(random_failure_rate, 0.005f);
}

TEST_F(RangeStudyTest, OverrideGVValueCopiesAFloatIntoAFloatVariable) {
  const float value = 2.5f;
  study.OverrideGVValue("power_cycle_rate", &value);
  EXPECT_EQ(power_cycle_rate, 2.5f);
}

TEST_F(RangeStudyTest, OverrideGVValueOfAnUnknownNameChangesNothing) {
  Captured cap;
  const float value = 1.0f;
  study.OverrideGVValue("flash", &value);
  EXPECT_EQ(flash_size, 64.0f);
  EXPECT_EQ(cap.err(),
            "!! redundant_controller_flash_studyRangeStudy::OverrideGVValue: Global Variable flash does not exist.\n");
}

// ---- Range study: override strings ------------------------------------------------------

TEST_F(RangeStudyTest, OverrideStringSetsAFloatAndAShort) {
  Captured cap;
  study.overrideGVs("f:flash_size:32:s:num_devices:2");
  EXPECT_EQ(flash_size, 32.0f);
  EXPECT_EQ(num_devices, 2);
  EXPECT_EQ(cap.out(), "");
  EXPECT_EQ(cap.err(), "");
}

TEST_F(RangeStudyTest, EmptyOrColonOnlyOverrideStringDoesNothing) {
  Captured cap;
  study.overrideGVs(nullptr);
  study.overrideGVs("");
  study.overrideGVs(":::::");
  EXPECT_EQ(flash_size, 64.0f);
  EXPECT_EQ(num_devices, 1);
  EXPECT_EQ(cap.out(), "");
  EXPECT_EQ(cap.err(), "");
}

TEST_F(RangeStudyTest, NameWithoutValueStopsWithoutNewline) {
  Captured cap;
  study.overrideGVs("f:flash_size");
  EXPECT_EQ(flash_size, 64.0f);
  EXPECT_EQ(cap.out(), "Not enough double override tokens");
}

TEST_F(RangeStudyTest, IncompleteTrailingEntryKeepsTheEarlierOnes) {
  Captured cap;
  study.overrideGVs("f:ram_size:8:s");
  EXPECT_EQ(ram_size, 8.0f);
  EXPECT_EQ(cap.out(), "Not enough double override tokens");
}

TEST_F(RangeStudyTest, UnknownTypeLetterSkipsOnlyItsEntry) {
  Captured cap;
  study.overrideGVs("x:flash_size:1:f:ram_size:64");
  EXPECT_EQ(flash_size, 64.0f);
  EXPECT_EQ(ram_size, 64.0f);
  EXPECT_EQ(cap.out(), "Type x not recognized\n");
}

TEST_F(RangeStudyTest, UnknownNameIsReportedAndTheRestApplied) {
  Captured cap;
  study.overrideGVs("f:ram_size:16:f:nosuch:3:s:num_replicas:2");
  EXPECT_EQ(ram_size, 16.0f);
  EXPECT_EQ(num_replicas, 2);
  EXPECT_EQ(cap.err(),
            "!! redundant_controller_flash_studyRangeStudy::OverrideGVValue: Global Variable nosuch does not exist.\n");
}

TEST_F(RangeStudyTest, EmptyFieldsAreSkipped) {
  study.overrideGVs("::f::flash_size::8::");
  EXPECT_EQ(flash_size, 8.0f);
}

TEST_F(RangeStudyTest, ShortValuesFollowTheRadixRules) {
  study.overrideGVs("s:num_devices:0x10:s:num_replicas:010");
  EXPECT_EQ(num_devices, 16);
  EXPECT_EQ(num_replicas, 8);
}

TEST_F(RangeStudyTest, OnlyTheFirstCharacterOfTheTypeFieldCounts) {
  study.overrideGVs("float:flash_size:16:short:num_devices:3");
  EXPECT_EQ(flash_size, 16.0f);
  EXPECT_EQ(num_devices, 3);
}

// An entry whose letter names another type is read in the variable's own
// type; text that is no value of that type, or is out of its range, is
// refused as a letter that does not match.
TEST_F(RangeStudyTest, AnotherTypesLetterIsReadInTheVariablesType) {
  Captured cap;
  study.overrideGVs("s:flash_size:3:f:num_devices:2:d:ram_size:1.5:i:num_replicas:0x4:f:power_cycle_rate:10");
  EXPECT_EQ(flash_size, 3.0f);
  EXPECT_EQ(num_devices, 2);
  EXPECT_EQ(ram_size, 1.5f);
  EXPECT_EQ(num_replicas, 4);
  EXPECT_EQ(power_cycle_rate, 10.0f);
  EXPECT_EQ(cap.err(), "");

  study.overrideGVs("f:num_devices:2.5:i:num_replicas:70000:d:flash_size:1e300:l:ram_size:x");
  EXPECT_EQ(num_devices, 2);
  EXPECT_EQ(num_replicas, 4);
  EXPECT_EQ(flash_size, 3.0f);
  EXPECT_EQ(ram_size, 1.5f);
  const auto lines = testsupport::splitLines(cap.err());
  ASSERT_EQ(lines.size(), 4u) << cap.err();
  EXPECT_EQ(lines[0],
            "!! BaseStudyClass::overrideGVs: num_devices is a short variable and takes type letter s, not f; "
            "entry f:num_devices:2.5 ignored.");
  EXPECT_EQ(lines[1],
            "!! BaseStudyClass::overrideGVs: num_replicas is a short variable and takes type letter s, not i; "
            "entry i:num_replicas:70000 ignored.");
  EXPECT_EQ(lines[2],
            "!! BaseStudyClass::overrideGVs: flash_size is a float variable and takes type letter f, not d; "
            "entry d:flash_size:1e300 ignored.");
  EXPECT_EQ(cap.out(), "");
}

TEST_F(RangeStudyTest, BadValuesAreReportedAndTheRestApplied) {
  Captured cap;
  study.overrideGVs("f:flash_size:abc:s:num_devices:70000:s:num_replicas:2x:f:ram_size:32");
  EXPECT_EQ(flash_size, 64.0f);
  EXPECT_EQ(num_devices, 1);
  EXPECT_EQ(num_replicas, 1);
  EXPECT_EQ(ram_size, 32.0f);
  const auto lines = testsupport::splitLines(cap.err());
  ASSERT_EQ(lines.size(), 3u) << cap.err();
  EXPECT_EQ(lines[0],
            "!! BaseStudyClass::overrideGVs: the value abc is not a valid float; entry f:flash_size:abc ignored.");
  EXPECT_EQ(lines[1],
            "!! BaseStudyClass::overrideGVs: the value 70000 is not a valid short; entry s:num_devices:70000 "
            "ignored.");
}

TEST_F(RangeStudyTest, TheCallersStringIsLeftUnchanged) {
  char text[] = "f:flash_size:4:s:num_devices:2";
  const std::string before = text;
  study.overrideGVs(text);
  EXPECT_EQ(std::string(text), before);
  EXPECT_EQ(flash_size, 4.0f);
}

// ---- Reward model and study lifetime ------------------------------------------------------

TEST(RangeStudy, EveryGetPVModelIsANewModelOwnedByTheCaller) {
  Study study;
  study.SetGVs(0);
  std::unique_ptr<PVModel> first = study.GetPVModel(false);
  if (!first) GTEST_SKIP() << "the reward model is not part of this build";
  std::unique_ptr<PVModel> second = study.GetPVModel(false);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(first->StateSize(), second->StateSize());
}

TEST(StudyLifetime, TheFactoryMakesIndependentStudies) {
  const std::unique_ptr<ModelFactory> factory = makeModelFactory();
  EXPECT_EQ(factory->name(), "redundant_controller_flash");
  EXPECT_EQ(factory->numberOfExperiments(), 6);
  std::unique_ptr<BaseStudyClass> a = factory->makeStudy();
  ASSERT_NE(dynamic_cast<Study*>(a.get()), nullptr);
  a->SetDefaultTarvelRoot("/changed/");
  std::unique_ptr<BaseStudyClass> b = factory->makeStudy();
  EXPECT_STREQ(b->GetDefaultTarvelRoot(), "c:/Tarvel-2.4/");
  EXPECT_STREQ(a->GetDefaultTarvelRoot(), "/changed/");
}

}  // namespace
