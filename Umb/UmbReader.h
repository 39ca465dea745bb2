#ifndef UMB_READER_H
#define UMB_READER_H

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "Schema.h"
#include "UmbOutcome.h"

// A continuous-time Markov chain read from a .umb file. The file is mapped
// into memory, and the arrays below point into the mapping; every size,
// offset, index and value is checked when the file is opened, so the rest of
// a program can trust them.
namespace umb {

struct UmbReward {
  std::string id;                               // the annotation's identifier
  std::string alias;                            // the reward variable's exact name
  std::span<const double> stateValues;          // rate reward per state (empty: none)
  std::span<const double> branchValues;         // impulse per branch (empty: none)
  std::span<const double> deterministicValues;  // impulse per deterministic branch (empty: none)
};

// The deterministic part of a model with fixed delays (Schema.h): per state
// its enablings (a deterministic activity enabled there, with its delay),
// per enabling the branches of its completion.
struct DeterministicPart {
  std::vector<std::string> activities;         // names; an enabling's activity indexes them
  std::span<const std::uint64_t> stateStart;   // states + 1 offsets into the enablings
  std::span<const std::uint64_t> activity;     // per enabling
  std::span<const double> delay;               // per enabling
  std::span<const std::uint64_t> branchStart;  // enablings + 1 offsets into the branches
  std::span<const std::uint64_t> target;       // per branch
  std::span<const double> probability;         // per branch
};

// A reward variable of the run that wrote the file, in the order of its
// reward file.
struct RewardVariable {
  std::string name;
  RewardKind kind = RewardKind::Instant;
  std::vector<std::pair<double, double>> times;  // [start, stop] pairs at full precision
  const UmbReward* reward = nullptr;             // its annotation
};

class UmbReader {
 public:
  ~UmbReader();
  UmbReader(const UmbReader&) = delete;
  UmbReader& operator=(const UmbReader&) = delete;

  // Asked, before the file is mapped, whether a mapping of so many bytes
  // may be made; its error is returned as it is.
  using MappingCheck = std::function<Status(std::uint64_t bytes)>;

  // Maps and checks the file; any fault is an error naming the file. Only a
  // regular file is opened for reading (a FIFO or a device is refused without
  // blocking).
  static Outcome<std::unique_ptr<UmbReader>> open(const std::string& path, const MappingCheck& mayMap = {});

  std::uint64_t states() const { return exitRate.size(); }
  std::uint64_t branches() const { return target.size(); }

  std::uint64_t initialState = 0;
  std::span<const double> exitRate;         // per state
  std::span<const std::uint64_t> rowStart;  // states + 1 offsets into the branches
  std::span<const std::uint64_t> target;    // per branch
  std::span<const double> probability;      // per branch
  std::vector<UmbReward> rewards;
  std::vector<RewardVariable> variables;
  // Whether the file has a deterministic part: the branches above are then
  // the exponential transitions only.
  bool deterministic = false;
  DeterministicPart det;
  // The places of the state valuations and each state's markings (places()
  // per state); empty when the file has none.
  std::vector<std::string> places;
  std::span<const std::int16_t> valuations;

  // From here on, a bus error ends the process with status 1 and the line
  // "<program>: <path>: the file changed while it was read ..." on standard
  // error. Reading a page of the mapping that the file no longer holds (it
  // was shortened by another program after it was checked) raises SIGBUS,
  // which no check made before can rule out and nothing after it can
  // resume from.
  static void endOnShortenedFile(const std::string& program, const std::string& path);

  // Tells the kernel that the mapped pages are no longer needed.
  void release();
  // The same for the whole pages inside [from, to): a pass over the arrays
  // drops what it has read, so that the mapping does not stay resident
  // beside the matrices built from it (the pages come back from the page
  // cache when read again).
  void release(const void* from, const void* to) const;

 private:
  UmbReader() = default;
  void* base_ = nullptr;
  std::size_t length_ = 0;
};

}  // namespace umb

#endif
