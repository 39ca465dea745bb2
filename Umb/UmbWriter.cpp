#include "UmbWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <system_error>

#include "Tar.h"

namespace umb {

namespace {

std::string systemText(int error) { return std::generic_category().message(error); }

// Writes all of `data`; false with errno set when the system refuses.
bool writeAll(int fd, const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(fd, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

// One array under construction: appended through a buffer to a file without
// a name in the output directory.
class UmbWriter::Part {
 public:
  explicit Part(const std::string& directory) {
    const std::string dir = directory.empty() ? "." : directory;
    fd_ = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ < 0) {
      // A file system without unnamed files: a named one, unlinked at once.
      std::string name = directory + ".gen-" + std::to_string(::getpid()) + ".umb-part.XXXXXX";
      fd_ = ::mkostemp(name.data(), O_CLOEXEC);
      if (fd_ >= 0) ::unlink(name.c_str());
    }
    if (fd_ < 0) error_ = errno;
    buffer_.reserve(kBufferSize);
  }
  ~Part() {
    if (fd_ >= 0) ::close(fd_);
  }
  Part(const Part&) = delete;
  Part& operator=(const Part&) = delete;

  int error() const { return error_; }
  std::uint64_t size() const { return size_; }

  void append(const void* data, std::size_t length) {
    const char* bytes = static_cast<const char*>(data);
    if (buffer_.size() + length > kBufferSize) flush();
    buffer_.insert(buffer_.end(), bytes, bytes + length);
    size_ += length;
  }
  template <typename T>
  void put(T value) {
    append(&value, sizeof value);
  }
  void flush() {
    if (error_ == 0 && !buffer_.empty() && !writeAll(fd_, buffer_.data(), buffer_.size())) error_ = errno;
    buffer_.clear();
  }
  // Copies the whole part to `out`; false with errno set on failure.
  bool copyTo(int out) {
    flush();
    if (error_ != 0) {
      errno = error_;
      return false;
    }
    // In the kernel where it can (no copy through this process), else by hand.
    off_t from = 0;
    while (static_cast<std::uint64_t>(from) < size_) {
      const ssize_t n = ::copy_file_range(fd_, &from, out, nullptr, size_ - static_cast<std::uint64_t>(from), 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
    }
    std::vector<char> chunk(kBufferSize);
    for (std::uint64_t at = static_cast<std::uint64_t>(from); at < size_;) {
      const ssize_t n = ::pread(fd_, chunk.data(), chunk.size(), static_cast<off_t>(at));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) errno = EIO;
        return false;
      }
      if (!writeAll(out, chunk.data(), static_cast<std::size_t>(n))) return false;
      at += static_cast<std::uint64_t>(n);
    }
    return true;
  }

 private:
  static constexpr std::size_t kBufferSize = 1 << 20;
  int fd_ = -1;
  int error_ = 0;
  std::uint64_t size_ = 0;
  std::vector<char> buffer_;
};

UmbWriter::UmbWriter(std::string reportedName, Description description)
    : reportedName_(std::move(reportedName)), description_(std::move(description)) {}

Outcome<std::unique_ptr<UmbWriter>> UmbWriter::create(std::string directory, std::string reportedName,
                                                      Description description) {
  std::unique_ptr<UmbWriter> w(new UmbWriter(std::move(reportedName), std::move(description)));
  int error = 0;
  auto part = [&] {
    auto p = std::make_unique<Part>(directory);
    if (error == 0) error = p->error();
    return p;
  };
  w->exitRates_ = part();
  w->rowStarts_ = part();
  w->targets_ = part();
  w->probabilities_ = part();
  w->valuations_ = part();
  for (const Variable& v : w->description_.variables) {
    std::string id = annotationId(v.name);
    for (int n = 2; std::find(w->ids_.begin(), w->ids_.end(), id) != w->ids_.end(); n++)
      id = annotationId(v.name) + "_" + std::to_string(n);
    w->ids_.push_back(id);
    w->stateRewards_.push_back(v.rate ? part() : nullptr);
    w->branchRewards_.push_back(v.impulse ? part() : nullptr);
    if (error != 0) break;
  }
  if (w->description_.deterministic && error == 0) {
    w->detStateStarts_ = part();
    w->detActivity_ = part();
    w->detDelay_ = part();
    w->detBranchStarts_ = part();
    w->detTargets_ = part();
    w->detProbabilities_ = part();
    for (const Variable& v : w->description_.variables) w->detRewards_.push_back(v.impulse ? part() : nullptr);
    // An enabling's branches start where the branches so far end; the
    // offset after the last enabling is written at the end.
    if (error == 0) w->detStateStarts_->put<std::uint64_t>(0);
  }
  if (error != 0) return Error{"Error: Could not open output file " + w->reportedName_ + ": " + systemText(error)};
  w->rowStarts_->put<std::uint64_t>(0);
  return w;
}

UmbWriter::~UmbWriter() = default;

void UmbWriter::addStateRewards(const double* values) {
  for (std::size_t v = 0; v < stateRewards_.size(); v++)
    if (stateRewards_[v]) stateRewards_[v]->put<double>(values[2 * v + 1]);
}

void UmbWriter::beginState(const std::int16_t* valuation, double exitRate) {
  valuations_->append(valuation, description_.places.size() * sizeof(std::int16_t));
  exitRates_->put<double>(exitRate);
  exitRate_ = exitRate;
}

void UmbWriter::addBranch(std::uint64_t target, double value, const double* impulseSums) {
  targets_->put<std::uint64_t>(target);
  probabilities_->put<double>(value / exitRate_);
  for (std::size_t v = 0; v < branchRewards_.size(); v++)
    if (branchRewards_[v]) branchRewards_[v]->put<double>(impulseSums[v] / value);
  branches_++;
}

void UmbWriter::endState() {
  rowStarts_->put<std::uint64_t>(branches_);
  if (detStateStarts_) detStateStarts_->put<std::uint64_t>(enablings_);
  states_++;
}

void UmbWriter::addEnabling(std::uint64_t activity, double delay) {
  detActivity_->put<std::uint64_t>(activity);
  detDelay_->put<double>(delay);
  detBranchStarts_->put<std::uint64_t>(detBranches_);
  enablings_++;
}

void UmbWriter::addDeterministicBranch(std::uint64_t target, double probability, const double* impulseSums) {
  detTargets_->put<std::uint64_t>(target);
  detProbabilities_->put<double>(probability);
  for (std::size_t v = 0; v < detRewards_.size(); v++)
    if (detRewards_[v]) detRewards_[v]->put<double>(impulseSums ? impulseSums[v] / probability : 0.0);
  detBranches_++;
}

Index UmbWriter::index() const {
  Index index;
  index.modelName = description_.modelName;
  index.creationDate = static_cast<long long>(std::time(nullptr));
  index.parameters = description_.arguments;
  index.states = states_;
  index.branches = branches_;
  for (std::size_t v = 0; v < ids_.size(); v++) {
    const Variable& var = description_.variables[v];
    index.rewards.push_back({ids_[v], var.name, rewardDescription(var.kind, var.times), var.rate, var.impulse});
    index.variables.push_back({var.name, ids_[v], var.kind, var.times});
  }
  index.uniqueValuations = description_.uniqueValuations;
  index.places = description_.places;
  index.deterministic = description_.deterministic;
  if (index.deterministic) {
    index.activities = description_.activities;
    index.enablings = enablings_;
    index.deterministicBranches = detBranches_;
    for (std::size_t v = 0; v < ids_.size(); v++)
      if (detRewards_[v]) index.impulseIds.push_back(ids_[v]);
  }
  return index;
}

Error UmbWriter::failure(int error) const {
  return Error{"Error: writing output file " + reportedName_ + " failed: " + systemText(error)};
}

Status UmbWriter::finish(int out) {
  if (out < 0) return Error{"Error: Could not open output file " + reportedName_ + ": " + systemText(errno)};
  struct Closer {
    int fd;
    ~Closer() {
      if (fd >= 0) ::close(fd);
    }
  } closer{out};

  const long long now = static_cast<long long>(std::time(nullptr));
  char header[kTarBlock];
  const char zeros[kTarBlock] = {};
  auto pad = [&](std::uint64_t size) {
    const std::size_t rest = static_cast<std::size_t>(size % kTarBlock);
    return rest == 0 || writeAll(out, zeros, kTarBlock - rest);
  };
  auto text = [&](std::string_view name, const std::string& bytes) {
    tarHeader(header, std::string(name), bytes.size(), now);
    return writeAll(out, header, kTarBlock) && writeAll(out, bytes.data(), bytes.size()) && pad(bytes.size());
  };
  // Errors as errno, or the part's own.
  int partError = 0;
  auto member = [&](const std::string& name, Part& part) {
    part.flush();
    if (part.error() != 0) {
      partError = part.error();
      return false;
    }
    tarHeader(header, name, part.size(), now);
    return writeAll(out, header, kTarBlock) && part.copyTo(out) && pad(part.size());
  };
  auto fail = [&] { return failure(partError != 0 ? partError : errno); };

  if (!text(kIndexMember, writeIndex(index()))) return fail();
  // The initial state, index 0, alone in a bitset of 64-bit words.
  std::string initial(static_cast<std::size_t>((states_ + 63) / 64 * 8), '\0');
  if (!initial.empty()) initial[0] = 1;
  if (!text(kStateIsInitial, initial)) return fail();
  if (!member(std::string(kStateToExitRate), *exitRates_) || !member(std::string(kChoiceToBranches), *rowStarts_) ||
      !member(std::string(kBranchToTarget), *targets_) || !member(std::string(kBranchToProbability), *probabilities_))
    return fail();
  for (std::size_t v = 0; v < ids_.size(); v++) {
    if (stateRewards_[v] && !member(rewardValuesMember(ids_[v], AppliesTo::States), *stateRewards_[v])) return fail();
    if (branchRewards_[v] && !member(rewardValuesMember(ids_[v], AppliesTo::Branches), *branchRewards_[v]))
      return fail();
  }
  if (!member(std::string(kStateValuations), *valuations_)) return fail();
  if (detStateStarts_) {
    detBranchStarts_->put<std::uint64_t>(detBranches_);
    if (!member(std::string(kDetStateToEnablings), *detStateStarts_) ||
        !member(std::string(kDetEnablingToActivity), *detActivity_) ||
        !member(std::string(kDetEnablingToDelay), *detDelay_) ||
        !member(std::string(kDetEnablingToBranches), *detBranchStarts_) ||
        !member(std::string(kDetBranchToTarget), *detTargets_) ||
        !member(std::string(kDetBranchToProbability), *detProbabilities_))
      return fail();
    for (std::size_t v = 0; v < ids_.size(); v++)
      if (detRewards_[v] && !member(deterministicImpulseMember(ids_[v]), *detRewards_[v])) return fail();
  }
  for (int i = 0; i < 2; i++)
    if (!writeAll(out, zeros, kTarBlock)) return fail();
  if (::fsync(out) != 0 && errno != EINVAL) return fail();
  closer.fd = -1;
  if (::close(out) != 0) return fail();
  return okStatus();
}

}  // namespace umb
