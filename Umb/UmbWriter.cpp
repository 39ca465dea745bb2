#include "UmbWriter.h"

#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/stat.h>
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

// Writes all of `data` at the file's position, or at `offset` when one is
// given; false with errno set when the system refuses.
bool writeAll(int fd, const char* data, std::size_t length, std::int64_t offset = -1) {
  while (length > 0) {
    const ssize_t n = offset < 0 ? ::write(fd, data, length) : ::pwrite(fd, data, length, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    length -= static_cast<std::size_t>(n);
    if (offset >= 0) offset += n;
  }
  return true;
}

// Room a region starts with: a hole, which costs nothing until written.
constexpr std::uint64_t kInitialRegion = std::uint64_t{16} << 20;

std::uint64_t roundUp(std::uint64_t n, std::uint64_t unit) { return (n + unit - 1) / unit * unit; }

}  // namespace

// One array under construction, appended through a buffer: either to a file
// without a name in the output directory, or to its region of the output
// file.
class UmbWriter::Part {
 public:
  Part() { buffer_.reserve(kBufferSize); }
  ~Part() {
    if (fd_ >= 0) ::close(fd_);
  }
  Part(const Part&) = delete;
  Part& operator=(const Part&) = delete;

  // A file of its own in `directory`.
  void openFile(const std::string& directory) {
    const std::string dir = directory.empty() ? "." : directory;
    fd_ = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ < 0) {
      // A file system without unnamed files: a named one, unlinked at once.
      std::string name = directory + ".gen-" + std::to_string(::getpid()) + ".umb-part.XXXXXX";
      fd_ = ::mkostemp(name.data(), O_CLOEXEC);
      if (fd_ >= 0) ::unlink(name.c_str());
    }
    if (fd_ < 0) error_ = errno;
  }
  // Region `region` of the writer's output file, its header at `header`.
  void place(UmbWriter* owner, std::size_t region, std::uint64_t header) {
    owner_ = owner;
    region_ = region;
    header_ = header;
  }

  int error() const { return error_; }
  std::uint64_t size() const { return size_; }
  std::uint64_t header() const { return header_; }
  void shift(std::uint64_t by) { header_ += by; }

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
    if (error_ == 0 && !buffer_.empty()) {
      if (owner_) {
        const std::uint64_t at = header_ + kTarBlock + size_ - buffer_.size();
        if (!owner_->reserve(region_, size_) ||
            !writeAll(owner_->out_, buffer_.data(), buffer_.size(), static_cast<std::int64_t>(at)))
          error_ = errno;
        // reserve may have moved the regions behind this one, not this one.
      } else if (!writeAll(fd_, buffer_.data(), buffer_.size())) {
        error_ = errno;
      }
    }
    buffer_.clear();
  }
  // Copies the whole part (a file of its own) to `out`; false with errno set on failure.
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
  UmbWriter* owner_ = nullptr;  // in place
  std::size_t region_ = 0;
  std::uint64_t header_ = 0;
};

UmbWriter::UmbWriter(std::string reportedName, Description description)
    : reportedName_(std::move(reportedName)), description_(std::move(description)) {}

Outcome<std::unique_ptr<UmbWriter>> UmbWriter::create(std::string directory, std::string reportedName,
                                                      Description description) {
  std::unique_ptr<UmbWriter> w(new UmbWriter(std::move(reportedName), std::move(description)));
  return build(std::move(w), directory);
}

Outcome<std::unique_ptr<UmbWriter>> UmbWriter::create(int out, std::string directory, std::string reportedName,
                                                      Description description) {
  std::unique_ptr<UmbWriter> w(new UmbWriter(std::move(reportedName), std::move(description)));
  if (out < 0) return Error{"Error: Could not open output file " + w->reportedName_ + ": " + systemText(errno)};
  w->out_ = out;
  return build(std::move(w), directory);
}

Outcome<std::unique_ptr<UmbWriter>> UmbWriter::build(std::unique_ptr<UmbWriter> w, const std::string& directory) {
  for (auto* part : {&w->indexPart_, &w->initialPart_, &w->exitRates_, &w->rowStarts_, &w->targets_, &w->probabilities_,
                     &w->valuations_})
    *part = std::make_unique<Part>();
  for (const Variable& v : w->description_.variables) {
    std::string id = annotationId(v.name);
    for (int n = 2; std::find(w->ids_.begin(), w->ids_.end(), id) != w->ids_.end(); n++)
      id = annotationId(v.name) + "_" + std::to_string(n);
    w->ids_.push_back(id);
    w->stateRewards_.push_back(v.rate ? std::make_unique<Part>() : nullptr);
    w->branchRewards_.push_back(v.impulse ? std::make_unique<Part>() : nullptr);
  }
  if (w->description_.deterministic) {
    for (auto* part : {&w->detStateStarts_, &w->detActivity_, &w->detDelay_, &w->detBranchStarts_, &w->detTargets_,
                       &w->detProbabilities_})
      *part = std::make_unique<Part>();
    for (const Variable& v : w->description_.variables)
      w->detRewards_.push_back(v.impulse ? std::make_unique<Part>() : nullptr);
  }
  for (const auto& [name, part] : w->members()) w->regions_.push_back(part);
  w->inPlace_ = w->out_ >= 0 && w->placeRegions();
  if (!w->inPlace_) {
    w->regions_.clear();
    int error = 0;
    for (const auto& [name, part] : w->members()) {
      part->openFile(directory);
      if ((error = part->error()) != 0) break;
    }
    if (error != 0) return Error{"Error: Could not open output file " + w->reportedName_ + ": " + systemText(error)};
  }
  // An enabling's branches start where the branches so far end; the offset
  // after the last enabling is written at the end.
  if (w->detStateStarts_) w->detStateStarts_->put<std::uint64_t>(0);
  w->rowStarts_->put<std::uint64_t>(0);
  return w;
}

std::vector<std::pair<std::string, UmbWriter::Part*>> UmbWriter::members() {
  std::vector<std::pair<std::string, Part*>> m;
  m.emplace_back(kIndexMember, indexPart_.get());
  m.emplace_back(kStateIsInitial, initialPart_.get());
  m.emplace_back(kStateToExitRate, exitRates_.get());
  m.emplace_back(kChoiceToBranches, rowStarts_.get());
  m.emplace_back(kBranchToTarget, targets_.get());
  m.emplace_back(kBranchToProbability, probabilities_.get());
  for (std::size_t v = 0; v < ids_.size(); v++) {
    if (stateRewards_[v]) m.emplace_back(rewardValuesMember(ids_[v], AppliesTo::States), stateRewards_[v].get());
    if (branchRewards_[v]) m.emplace_back(rewardValuesMember(ids_[v], AppliesTo::Branches), branchRewards_[v].get());
  }
  m.emplace_back(kStateValuations, valuations_.get());
  if (detStateStarts_) {
    m.emplace_back(kDetStateToEnablings, detStateStarts_.get());
    m.emplace_back(kDetEnablingToActivity, detActivity_.get());
    m.emplace_back(kDetEnablingToDelay, detDelay_.get());
    m.emplace_back(kDetEnablingToBranches, detBranchStarts_.get());
    m.emplace_back(kDetBranchToTarget, detTargets_.get());
    m.emplace_back(kDetBranchToProbability, detProbabilities_.get());
    for (std::size_t v = 0; v < ids_.size(); v++)
      if (detRewards_[v]) m.emplace_back(deterministicImpulseMember(ids_[v]), detRewards_[v].get());
  }
  return m;
}

bool UmbWriter::placeRegions() {
  struct stat st {};
  if (::fstat(out_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_blksize <= 0) return false;
  // Whole blocks of the file system, at least 4 KiB: the room that finish
  // keeps behind each member then always holds the pax header it needs.
  block_ = static_cast<std::uint64_t>(st.st_blksize);
  if (block_ < 4096 && 4096 % block_ == 0) block_ = 4096;
  if (block_ % kTarBlock != 0 || block_ > kInitialRegion) return false;
  const std::uint64_t capacity = roundUp(kInitialRegion, block_);
  // Emptied first: the room between members must read as zeros.
  if (regions_.size() < 2 || ::ftruncate(out_, 0) != 0 ||
      ::ftruncate(out_, static_cast<off_t>((regions_.size() - 1) * capacity + block_)) != 0)
    return false;
  // Whether the file system inserts blocks: one more for the index, which
  // may use it.
  if (::fallocate(out_, FALLOC_FL_INSERT_RANGE, static_cast<off_t>(capacity), static_cast<off_t>(block_)) != 0) {
    [[maybe_unused]] const int ignored = ::ftruncate(out_, 0);
    return false;
  }
  for (std::size_t k = 0; k < regions_.size(); k++) regions_[k]->place(this, k, k * capacity + (k > 0 ? block_ : 0));
  return true;
}

bool UmbWriter::reserve(std::size_t region, std::uint64_t bytes) {
  // The last region grows with the file.
  if (region + 1 >= regions_.size()) return true;
  const std::uint64_t start = regions_[region]->header();
  const std::uint64_t limit = regions_[region + 1]->header();
  // Two blocks beyond the data: room for the padding and the pax header
  // that finish puts there.
  const std::uint64_t end = start + kTarBlock + bytes + 2 * block_;
  if (end <= limit) return true;
  // At least double the region, so that an array of n bytes moves the
  // regions behind it O(log n) times (an insertion writes them back to the
  // disk first).
  const std::uint64_t grow = std::max(roundUp(end - limit, block_), roundUp(limit - start, block_));
  if (::fallocate(out_, FALLOC_FL_INSERT_RANGE, static_cast<off_t>(limit), static_cast<off_t>(grow)) != 0) return false;
  for (std::size_t k = region + 1; k < regions_.size(); k++) regions_[k]->shift(grow);
  return true;
}

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

UmbWriter::~UmbWriter() {
  if (out_ >= 0) ::close(out_);
}

Status UmbWriter::finish(int out) {
  if (out < 0) return Error{"Error: Could not open output file " + reportedName_ + ": " + systemText(errno)};
  out_ = out;
  return finish();
}

Status UmbWriter::finish() {
  if (detStateStarts_) detBranchStarts_->put<std::uint64_t>(detBranches_);
  const std::string text = writeIndex(index());
  indexPart_->append(text.data(), text.size());
  // The initial state, index 0, alone in a bitset of 64-bit words.
  std::string initial(static_cast<std::size_t>((states_ + 63) / 64 * 8), '\0');
  if (!initial.empty()) initial[0] = 1;
  initialPart_->append(initial.data(), initial.size());
  const Status written = inPlace_ ? finishInPlace() : copyParts();
  if (!written) return written;
  if (::fsync(out_) != 0 && errno != EINVAL) return failure(errno);
  const int out = out_;
  out_ = -1;
  if (::close(out) != 0) return failure(errno);
  return okStatus();
}

Status UmbWriter::copyParts() {
  const long long now = static_cast<long long>(std::time(nullptr));
  char header[kTarBlock];
  const char zeros[kTarBlock] = {};
  auto pad = [&](std::uint64_t size) {
    const std::size_t rest = static_cast<std::size_t>(size % kTarBlock);
    return rest == 0 || writeAll(out_, zeros, kTarBlock - rest);
  };
  for (const auto& [name, part] : members()) {
    part->flush();
    if (part->error() != 0) return failure(part->error());
    tarHeader(header, name, part->size(), now);
    if (!writeAll(out_, header, kTarBlock) || !part->copyTo(out_) || !pad(part->size())) return failure(errno);
  }
  for (int i = 0; i < 2; i++)
    if (!writeAll(out_, zeros, kTarBlock)) return failure(errno);
  return okStatus();
}

Status UmbWriter::finishInPlace() {
  const auto order = members();
  for (const auto& [name, part] : order) {
    part->flush();
    if (part->error() != 0) return failure(part->error());
  }
  const long long now = static_cast<long long>(std::time(nullptr));
  char header[kTarBlock];
  // From the last member to the first, so that a removal moves only the
  // members already complete.
  for (std::size_t k = order.size(); k-- > 0;) {
    const Part& part = *order[k].second;
    tarHeader(header, order[k].first, part.size(), now);
    if (!writeAll(out_, header, kTarBlock, static_cast<std::int64_t>(part.header()))) return failure(errno);
    // Where the member ends, its padding included: holes (zeros) so far.
    const std::uint64_t end = part.header() + kTarBlock + roundUp(part.size(), kTarBlock);
    if (k + 1 == order.size()) {
      // The two zero blocks that end the tar.
      if (::ftruncate(out_, static_cast<off_t>(end + 2 * kTarBlock)) != 0) return failure(errno);
      continue;
    }
    const std::uint64_t next = order[k + 1].second->header();
    // The next whole block, with a comment at least one tar block long
    // (reserve kept two blocks free behind the data).
    std::uint64_t room = roundUp(end, block_);
    if (room - end == kTarBlock) room += block_;
    if (room > end && !writeRoom(end, room - end, now)) return failure(errno);
    if (next > room && !removeRange(room, next - room)) return failure(errno);
  }
  return okStatus();
}

bool UmbWriter::writeRoom(std::uint64_t at, std::uint64_t length, long long now) {
  // One pax record, "<length> comment=<text>\n", its length counting its own digits.
  const std::size_t size = static_cast<std::size_t>(length - kTarBlock);
  const std::string digits = std::to_string(size);
  std::string record = digits + " comment=gen: room of a member written in place";
  record.resize(size - 1, ' ');
  record += '\n';
  char header[kTarBlock];
  tarHeader(header, "PaxHeader/room", size, now, 'x');
  return writeAll(out_, header, kTarBlock, static_cast<std::int64_t>(at)) &&
         writeAll(out_, record.data(), record.size(), static_cast<std::int64_t>(at + kTarBlock));
}

bool UmbWriter::removeRange(std::uint64_t at, std::uint64_t length) {
  if (::fallocate(out_, FALLOC_FL_COLLAPSE_RANGE, static_cast<off_t>(at), static_cast<off_t>(length)) == 0) return true;
  if (errno != EOPNOTSUPP && errno != EINVAL) return false;
  // A file system that inserts but does not remove: the rest moves down by hand.
  struct stat st {};
  if (::fstat(out_, &st) != 0) return false;
  const std::uint64_t fileEnd = static_cast<std::uint64_t>(st.st_size);
  std::vector<char> chunk(1 << 20);
  for (std::uint64_t from = at + length; from < fileEnd;) {
    const ssize_t n =
        ::pread(out_, chunk.data(), std::min<std::uint64_t>(chunk.size(), fileEnd - from), static_cast<off_t>(from));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    if (!writeAll(out_, chunk.data(), static_cast<std::size_t>(n), static_cast<std::int64_t>(from - length)))
      return false;
    from += static_cast<std::uint64_t>(n);
  }
  return ::ftruncate(out_, static_cast<off_t>(fileEnd - length)) == 0;
}

}  // namespace umb
