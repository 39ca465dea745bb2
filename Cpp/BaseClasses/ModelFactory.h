#ifndef MODEL_FACTORY_H
#define MODEL_FACTORY_H

#include <memory>
#include <string_view>

class BaseStudyClass;
class PVModel;

// Everything the generator needs from a model, behind one interface: its
// study (the global variables and the experiments) and fresh reward models.
// Each reward model owns its composed model and numbers its own actions,
// performance variables and submodels, so several can live in one process.
//
// The global variables of a model are plain variables that the model's code
// reads by name; the study's SetGVs and overrides write them, and
// makeRewardModel builds with the values they hold at that moment.
class ModelFactory {
 public:
  virtual ~ModelFactory() = default;

  // The model's name, e.g. "redundant_controller_flash".
  virtual std::string_view name() const = 0;
  // Experiments of the model's study, numbered 0 to count - 1.
  virtual int numberOfExperiments() const = 0;
  // The name the model file gives experiment `experiment` (0 to count - 1).
  virtual std::string_view experimentName(int experiment) const = 0;
  virtual std::unique_ptr<BaseStudyClass> makeStudy() const = 0;
  // expandTimePoints: one performance-variable node per time point (true) or
  // per variable (false, what the generator uses).
  virtual std::unique_ptr<PVModel> makeRewardModel(bool expandTimePoints = false) const = 0;
};

// Provided by the units of the model a `gen` is built for.
std::unique_ptr<ModelFactory> makeModelFactory();

#endif
