#ifndef PLACE_VALUATIONS_H
#define PLACE_VALUATIONS_H

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

class BaseModelClass;

// The places of a composed model, each once, with the names a modeller
// reads them by: `submodel.place` for an atomic model's place, a Rep's
// replicas by their positions in the state (`rep[0].place`, in the order
// the Rep sorts them into), a place shared by a composer under the
// composer's name (`composer.place`), the elements of a place array as
// `place[3]`, and copies of one model in a Join numbered like replicas.
//
// read() copies the markings the model holds now, in list order; set the
// model to a state first to read that state's valuation.
class PlaceValuations {
 public:
  explicit PlaceValuations(BaseModelClass* root);

  const std::vector<std::string>& names() const { return names_; }
  std::size_t size() const { return marks_.size(); }
  void read(std::int16_t* markings) const {
    for (std::size_t i = 0; i < marks_.size(); i++) markings[i] = *marks_[i];
  }

 private:
  void walk(BaseModelClass* model, const std::string& prefix);
  void add(const std::string& name, const short* mark);

  std::vector<std::string> names_;
  std::vector<const short*> marks_;
  std::unordered_set<const short*> listed_;
};

#endif
