#ifndef SOLVER_PARALLEL_H
#define SOLVER_PARALLEL_H

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Rows of a matrix-vector product on several threads. The range is cut into
// the same blocks whatever the number of threads, and every row is computed
// by one thread in its own fixed order, so a product's result does not
// depend on how many threads made it; reductions are left to the caller,
// block by block, in block order.
namespace solver {

class Parallel {
 public:
  // threads = 0: as many as the process may use (GEN_THREADS, else its CPUs).
  explicit Parallel(unsigned threads = 0);
  ~Parallel();
  Parallel(const Parallel&) = delete;
  Parallel& operator=(const Parallel&) = delete;

  unsigned threads() const { return static_cast<unsigned>(workers_.size()) + 1; }

  // Rows per block: small enough to share the work out evenly, large enough
  // that handing a block over costs nothing beside its rows.
  static constexpr std::int64_t kBlock = 1 << 14;

  static std::int64_t blocks(std::int64_t count) { return (count + kBlock - 1) / kBlock; }

  // Calls f(block, first, last) for each block [first, last) of [0, count),
  // spread over the threads; returns when every block is done.
  void forBlocks(std::int64_t count, const std::function<void(std::int64_t, std::int64_t, std::int64_t)>& f);

 private:
  void work();
  void runBlocks();

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  const std::function<void(std::int64_t, std::int64_t, std::int64_t)>* job_ = nullptr;
  std::int64_t count_ = 0;
  std::int64_t nextBlock_ = 0;  // guarded by mutex_
  unsigned busy_ = 0;           // workers inside the current job
  std::uint64_t generation_ = 0;
  bool stopping_ = false;
};

}  // namespace solver

#endif
