#ifndef BASE_STUDY_CLASS_H
#define BASE_STUDY_CLASS_H

#include <memory>
#include <string>
#include <string_view>

class PVModel;

// Abstract base of every study. A study knows the model's global variables by
// name and type, holds one value of each for every experiment, loads a chosen
// experiment into the variables, applies single overrides from the command
// line and creates the reward model over the composed model.
//
// The base keeps the names and types and implements the generic parts; the
// storage of the variables, their per-experiment values, their printing and
// the lookup by name belong to the concrete study.
class BaseStudyClass {
 public:
  // Names of the global variables (C-allocated copies, owned).
  char** GVNames;
  // Type name of each variable ("float", "short", ...), same index as GVNames.
  char** GVTypes;
  int NumGVs;
  int NumExps;
  // Installation root path; owned (array new), the empty string by default.
  char* DefaultRoot;

  BaseStudyClass();
  virtual ~BaseStudyClass();
  BaseStudyClass(const BaseStudyClass&) = delete;
  BaseStudyClass& operator=(const BaseStudyClass&) = delete;

  // A new reward model over the composed model, built with the global
  // variables as they stand now; the caller owns it. The base has none.
  virtual std::unique_ptr<PVModel> GetPVModel(bool expandTimePoints);
  virtual void SetGVs(int experiment);
  virtual void PrintGlobalValues(int experiment);
  virtual void* GetGVValue(const char* name);
  virtual void OverrideGVValue(const char* name, const void* value);

  int GetNumGVs() const { return NumGVs; }
  const char* GetGVName(int i) const { return GVNames[i]; }
  const char* GetGVType(int i) const { return GVTypes[i]; }
  int GetNumExps() const { return NumExps; }

  // "Experiment <e+1>".
  static std::string GetExpName(int experiment);

  const char* GetDefaultTarvelRoot() const { return DefaultRoot; }
  void SetDefaultTarvelRoot(const char* path);

  // Applies an override string "type:name:value:type:name:value:..." by
  // calling OverrideGVValue once per valid entry.
  void overrideGVs(const char* overrides);

  // Index of the variable with exactly this name, or -1.
  int FindGV(std::string_view name) const;
};

// The type name that an override type letter stands for ("float" for 'f'),
// or nullptr for a letter outside the override table.
const char* OverrideTypeName(char letter);

#endif
