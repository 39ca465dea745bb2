#ifndef UMB_WRITER_H
#define UMB_WRITER_H

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Schema.h"
#include "UmbOutcome.h"

// Writes a state space as a CTMC in the unified Markov binary format: the
// initial state, exit rates, row offsets, branch targets and probabilities,
// one reward annotation per reward variable (its rate reward per state, its
// expected impulse per branch) and the valuation of every state (one 16-bit
// signed marking per place).
//
// The arrays are streamed as states are numbered: the transition matrix is
// never held in memory. States are numbered from 0. Given the output file
// from the start, the writer puts each tar member in a region of its own
// in that file, at its place in the tar, and where the file system can
// insert and remove whole blocks in the middle of a file (ext4, XFS) an
// array that outgrows its region gets room inserted behind it, and the
// room left over is removed at the end: every byte is written once. The
// part of a block that is left between one member and the next header is
// filled by a pax extended header that holds only a comment, which tar
// readers skip. Elsewhere, and when the file comes only at the end, each
// array goes into a part file of its own that has no name (it goes with the
// process, however that ends), copied behind index.json once the counts are
// known.
namespace umb {

class UmbWriter {
 public:
  struct Variable {
    std::string name;
    RewardKind kind = RewardKind::Instant;
    std::vector<std::pair<double, double>> times;  // start and stop, exactly as the model gives them
    bool rate = false;                             // has a rate part: a state reward
    bool impulse = false;                          // has impulse parts: a branch reward
  };
  struct Description {
    std::string modelName;
    std::vector<std::string> arguments;  // the command line
    std::vector<Variable> variables;     // in the order of the run's reward file
    std::vector<std::string> places;     // the valuation's variables
    // Whether no two states have the same markings: not so when states
    // differ only in the phase of an Erlang action, which is no place.
    bool uniqueValuations = true;
    // A model with deterministic activities (their names, indexed by
    // addEnabling's `activity`): the branches above are then its
    // exponential part only, and the deterministic part goes to members of
    // its own (Schema.h), with an index no CTMC reader accepts.
    bool deterministic = false;
    std::vector<std::string> activities;
  };

  // Opens the parts in `directory` ("" for the current one, else ending in
  // '/'), the folder of the file to be written; `reportedName` names that
  // file in messages. An error when a part cannot be created.
  static Outcome<std::unique_ptr<UmbWriter>> create(std::string directory, std::string reportedName,
                                                    Description description);
  // Writes into `out`, the output file opened for reading and writing (-1
  // with errno set when it could not be opened), which the writer owns
  // from here on: in place where the file system allows, else through
  // parts in `directory` as above.
  static Outcome<std::unique_ptr<UmbWriter>> create(int out, std::string directory, std::string reportedName,
                                                    Description description);
  UmbWriter(const UmbWriter&) = delete;
  UmbWriter& operator=(const UmbWriter&) = delete;
  ~UmbWriter();

  // The rewards of the next state in number order, impulse and rate per
  // variable; only the rates are kept.
  void addStateRewards(const double* values);
  // The record of the next state in number order: its valuation and exit
  // rate, then each branch in increasing target order with its value
  // (rate) and, when there are impulse variables, the sums of value times
  // impulse per variable.
  void beginState(const std::int16_t* valuation, double exitRate);
  void addBranch(std::uint64_t target, double value, const double* impulseSums);
  void endState();
  // Within a state's record (deterministic model): one deterministic
  // activity enabled in it with its delay, then the branches of its
  // completion in increasing target order, each with its probability and
  // the sums of probability times impulse per variable (or null).
  void addEnabling(std::uint64_t activity, double delay);
  void addDeterministicBranch(std::uint64_t target, double probability, const double* impulseSums);
  // Writes the tar to `out`, a file opened for writing by the caller (-1
  // with errno set when it could not be opened), then syncs and closes it.
  // Only for a writer created without the output file.
  Status finish(int out);
  // Completes the tar in the file given to create, then syncs and closes it.
  Status finish();
  // Whether the members are written in place (no copy at the end).
  bool inPlace() const { return inPlace_; }

 private:
  class Part;
  UmbWriter(std::string reportedName, Description description);
  Index index() const;
  Error failure(int error) const;
  static Outcome<std::unique_ptr<UmbWriter>> build(std::unique_ptr<UmbWriter> w, const std::string& directory);
  // The members in tar order, each in the part that holds its bytes.
  std::vector<std::pair<std::string, Part*>> members();
  // In place: lays the regions out in `out_`; false when the file system
  // cannot insert blocks (the parts then go to files of their own).
  bool placeRegions();
  // In place: makes room for region `region` to hold `bytes` of data (and a
  // little more for the end); false with errno set on failure.
  bool reserve(std::size_t region, std::uint64_t bytes);
  // In place: the pax header and comment that fill [at, at + length).
  bool writeRoom(std::uint64_t at, std::uint64_t length, long long now);
  // In place: takes [at, at + length) out of the file, the rest moving down.
  bool removeRange(std::uint64_t at, std::uint64_t length);
  Status finishInPlace();
  Status copyParts();

  std::string reportedName_;
  Description description_;
  int out_ = -1;
  bool inPlace_ = false;
  std::uint64_t block_ = 0;     // in place: the unit of insertion and removal
  std::vector<Part*> regions_;  // in place: in tar order
  std::unique_ptr<Part> indexPart_, initialPart_;
  std::vector<std::string> ids_;  // annotation ids, by variable
  std::uint64_t states_ = 0;
  std::uint64_t branches_ = 0;
  double exitRate_ = 0.0;
  std::unique_ptr<Part> exitRates_, rowStarts_, targets_, probabilities_, valuations_;
  std::vector<std::unique_ptr<Part>> stateRewards_;   // by variable; null without a rate part
  std::vector<std::unique_ptr<Part>> branchRewards_;  // by variable; null without impulses
  // The deterministic part (null unless the model has one).
  std::uint64_t enablings_ = 0;
  std::uint64_t detBranches_ = 0;
  std::unique_ptr<Part> detStateStarts_, detActivity_, detDelay_, detBranchStarts_, detTargets_, detProbabilities_;
  std::vector<std::unique_ptr<Part>> detRewards_;  // by variable; null without impulses
};

}  // namespace umb

#endif
