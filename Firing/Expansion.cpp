#include "Expansion.h"

#include "ByteRuns.h"
#include "StateHash.h"

std::uint32_t Expansion::find(const char* vector, std::uint64_t hash) {
  const State& state = states_.back();
  const std::uint32_t count = state.endSuccessor - state.firstSuccessor;
  if (count <= kLinearSearch) {
    for (std::uint32_t i = state.firstSuccessor; i < state.endSuccessor; i++)
      if (successors_[i].hash == hash && !successors_[i].self && sameBytes(this->vector(i), vector, stateSize_))
        return i;
    return state.endSuccessor;
  }
  if (index_.empty())
    for (std::uint32_t i = state.firstSuccessor; i < state.endSuccessor; i++)
      index_.emplace(std::string(this->vector(i), stateSize_), i);
  const auto at = index_.find(std::string(vector, stateSize_));
  return at == index_.end() ? state.endSuccessor : at->second;
}

bool Expansion::addSuccessor(const char* vector, double value, bool self) {
  State& state = states_.back();
  // The explored state itself needs no hash (it is never looked up) and is
  // found by its mark.
  std::uint64_t hash = 0;
  std::uint32_t at = state.endSuccessor;
  if (self) {
    for (std::uint32_t i = state.firstSuccessor; i < state.endSuccessor && at == state.endSuccessor; i++)
      if (successors_[i].self) at = i;
  } else {
    hash = stateHash(vector, stateSize_);
    at = find(vector, hash);
  }
  if (at != state.endSuccessor) {
    // Summed in arrival order, as the values of one transition always were.
    successors_[at].value += value;
    split(at, value);
    lastArrival_ = at;
    return false;
  }
  successors_.push_back(Successor{hash, value, 0.0, 0, 0, self});
  split(state.endSuccessor, value);
  vectors_.insert(vectors_.end(), vector, vector + stateSize_);
  rewards_.resize(rewards_.size() + rewardCount_);
  if (!index_.empty()) index_.emplace(std::string(vector, stateSize_), state.endSuccessor);
  lastArrival_ = state.endSuccessor;
  state.endSuccessor++;
  return true;
}

void Expansion::endState(ScientificText& format) {
  const State& state = states_.back();
  for (std::uint32_t i = state.firstSuccessor; i < state.endSuccessor; i++) {
    Successor& s = successors_[i];
    char text[ScientificText::kMaxLength];
    char* end = format.write(s.value, text);
    s.textBegin = static_cast<std::uint32_t>(text_.size());
    s.textLength = static_cast<std::uint32_t>(end - text);
    text_.insert(text_.end(), text, end);
  }
}
