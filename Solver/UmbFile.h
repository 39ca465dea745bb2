#ifndef SOLVER_UMBFILE_H
#define SOLVER_UMBFILE_H

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "Memory.h"
#include "Outcome.h"

// A continuous-time Markov chain read from a .umb file (an uncompressed tar
// of index.json and binary arrays). The file is mapped into memory, and the
// arrays below point into the mapping; every size, offset, index and value
// is checked when the file is opened, so the rest of the solver can trust
// them.
namespace solver {

struct UmbReward {
  std::string id;     // the annotation's identifier
  std::string alias;  // the reward variable's exact name
  std::span<const double> stateValues;   // rate reward per state (empty: none)
  std::span<const double> branchValues;  // impulse per branch (empty: none)
  // From the generator's own list of reward variables, when present.
  bool described = false;
  std::string kind;  // "instant", "interval", "time_averaged", "steady_state"
  std::vector<std::pair<double, double>> times;  // full-precision [start, stop]
};

class UmbFile {
 public:
  ~UmbFile();
  UmbFile(const UmbFile&) = delete;
  UmbFile& operator=(const UmbFile&) = delete;

  // Maps and checks the file; any fault is an error naming the file. Only a
  // regular file is opened for reading (a FIFO or a device is refused without
  // blocking), and its mapping must fit the address space `limits` leave.
  static Outcome<std::unique_ptr<UmbFile>> open(const std::string& path, const MemoryLimits& limits = {});

  std::uint64_t states() const { return exitRate.size(); }
  std::uint64_t branches() const { return target.size(); }

  std::uint64_t initialState = 0;
  std::span<const double> exitRate;          // per state
  std::span<const std::uint64_t> rowStart;   // states + 1 offsets into the branches
  std::span<const std::uint64_t> target;     // per branch
  std::span<const double> probability;       // per branch
  std::vector<UmbReward> rewards;

  // Tells the kernel that the mapped pages are no longer needed.
  void release();
  // The same for the whole pages inside [from, to): a pass over the arrays
  // drops what it has read, so that the mapping does not stay resident
  // beside the matrices built from it (the pages come back from the page
  // cache when read again).
  void release(const void* from, const void* to) const;

 private:
  UmbFile() = default;
  void* base_ = nullptr;
  std::size_t length_ = 0;
};

}  // namespace solver

#endif
