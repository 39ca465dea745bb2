#ifndef UMB_FILE_H
#define UMB_FILE_H

#include "FileCreation.h"
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Writes the state space as a CTMC in the unified Markov binary format: an
// uncompressed POSIX tar of index.json followed by little-endian arrays
// (initial state, exit rates, row offsets, branch targets and
// probabilities), one reward annotation per reward variable (its rate
// reward per state, its expected impulse per branch) and the valuation of
// every state (one 16-bit signed marking per place).
//
// The arrays are streamed as states are numbered, each into a part file of
// its own that has no name (it goes with the process, however that ends),
// and copied behind index.json once the counts are known: the transition
// matrix is never held in memory. State k of the other files is index k - 1.
class UmbFile {
 public:
  struct Variable {
    std::string name;
    int kind = 0;  // RewardType: 0 instant, 1 interval, 2 time-averaged, 3 steady state
    std::vector<std::pair<double, double>> times;  // start and stop, exactly as the model gives them
    bool rate = false;     // has a rate part: a state reward
    bool impulse = false;  // has impulse parts: a branch reward
  };
  struct Description {
    std::string modelName;
    std::vector<std::string> arguments;  // the command line
    std::vector<Variable> variables;     // in .var order
    std::vector<std::string> places;     // the valuation's variables
    // Whether no two states have the same markings: not so when states
    // differ only in the phase of an Erlang action, which is no place.
    bool uniqueValuations = true;
  };

  // Opens the parts beside `path`, the file to write at the end; `reportedName`
  // names it in messages; `creation` says whether that file must be new (a
  // run's temporary) or may replace one. GenError when a part cannot be created.
  UmbFile(std::string path, std::string reportedName, Description description,
          FileCreation creation = FileCreation::Replace);
  UmbFile(const UmbFile&) = delete;
  UmbFile& operator=(const UmbFile&) = delete;
  ~UmbFile();

  // The rewards of the next state in number order, as Reward::ReadValues
  // gives them (impulse and rate per variable); only the rates are kept.
  void addStateRewards(const double* values);
  // The record of the next state in number order: its valuation and exit
  // rate, then each branch in increasing target order with its value
  // (rate) and, when there are impulse variables, the sums of value times
  // impulse per variable (Expansion::impulseSums).
  void beginState(const std::int16_t* valuation, double exitRate);
  void addBranch(std::uint64_t target, double value, const double* impulseSums);
  void endState();
  // Writes the tar to the path, synced and closed. GenError when a part or
  // the file could not be written.
  void finish();

 private:
  class Part;
  std::string indexJson() const;
  [[noreturn]] void fail(int error) const;

  std::string path_;
  std::string reportedName_;
  Description description_;
  FileCreation creation_;
  std::string directory_;
  std::vector<std::string> ids_;  // annotation ids, by variable
  std::uint64_t states_ = 0;
  std::uint64_t branches_ = 0;
  double exitRate_ = 0.0;
  std::unique_ptr<Part> exitRates_, rowStarts_, targets_, probabilities_, valuations_;
  std::vector<std::unique_ptr<Part>> stateRewards_;   // by variable; null without a rate part
  std::vector<std::unique_ptr<Part>> branchRewards_;  // by variable; null without impulses
  std::vector<double> scratch_;
};

#endif
