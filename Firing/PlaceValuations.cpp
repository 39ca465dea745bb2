#include "PlaceValuations.h"

#include <algorithm>
#include <map>

#include "BaseComposerClass.h"
#include "BaseStructStateVariable.h"
#include "Place.h"
#include "Rep.h"
#include "SANModel.h"

namespace {

std::string nameOf(const BaseModelClass* model) { return model->getName() ? model->getName() : ""; }

}  // namespace

PlaceValuations::PlaceValuations(BaseModelClass* root) {
  if (!root) return;
  // A lone atomic model names its places after itself; a composer's
  // children name themselves.
  walk(root, dynamic_cast<SANModel*>(root) ? nameOf(root) + "." : "");
}

void PlaceValuations::add(const std::string& name, const short* mark) {
  // Shared places are one variable: the first name met stands.
  if (!mark || !listed_.insert(mark).second) return;
  names_.push_back(name);
  marks_.push_back(mark);
}

void PlaceValuations::walk(BaseModelClass* model, const std::string& prefix) {
  if (auto* san = dynamic_cast<SANModel*>(model)) {
    for (int i = 0; i < san->getNumPlaces(); i++) {
      BaseStateVariableClass* sv = san->Places[i];
      const std::string name = prefix + (sv->getName() ? sv->getName() : "");
      if (auto* place = dynamic_cast<Place*>(sv)) {
        add(name, place->Mark);
      } else if (auto* array = dynamic_cast<BaseStructStateVariable*>(sv)) {
        for (int k = 0; k < array->getSize(); k++)
          if (auto* element = dynamic_cast<Place*>(array->fields[static_cast<std::size_t>(k)].stateVariable))
            add(name + "[" + std::to_string(k) + "]", element->Mark);
      }
    }
    return;
  }
  auto* composer = dynamic_cast<BaseComposerClass*>(model);
  if (!composer) return;
  const std::string own = prefix + nameOf(composer);
  const int shared = std::min(composer->AddedSharedPtrs, composer->NumSharedStateVariables);
  for (int i = 0; i < shared; i++)
    if (auto* place = dynamic_cast<Place*>(composer->SharedPtrs[i]))
      add(own + "." + (place->getName() ? place->getName() : ""), place->Mark);

  // A Rep's replicas are its positions; a Join's children their names,
  // numbered when several share one (copies of a model).
  const bool rep = dynamic_cast<Rep*>(composer) != nullptr;
  std::map<std::string, int> uses, seen;
  for (int c = 0; c < composer->NumChildren; c++)
    if (composer->Children[c]) uses[nameOf(composer->Children[c])]++;
  for (int c = 0; c < composer->NumChildren; c++) {
    BaseModelClass* child = composer->Children[c];
    if (!child) continue;
    const std::string name = nameOf(child);
    const bool copies = uses[name] > 1;
    if (rep)
      walk(child, own + "[" + std::to_string(c) + "].");
    else if (copies)
      walk(child, prefix + name + "[" + std::to_string(seen[name]++) + "].");
    else if (dynamic_cast<SANModel*>(child))
      walk(child, prefix + name + ".");
    else
      walk(child, prefix);  // a composer names itself
  }
}
