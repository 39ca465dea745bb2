#include "UmbFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <system_error>

#include "GenError.h"

namespace {

constexpr const char* kToolVersion = "1";
constexpr std::size_t kBlock = 512;
const char* const kKindNames[] = {"instant", "interval", "time_averaged", "steady_state"};
const char* const kKindTexts[] = {"instant of time", "interval of time", "time-averaged interval of time",
                                  "steady state"};

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

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// The shortest text that reads back as the same double.
std::string jsonNumber(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// An annotation id: the name lowercased, every other character than
// [0-9a-z_-] replaced by '_', short enough for a tar member name.
std::string annotationId(const std::string& name) {
  std::string id;
  for (char c : name.substr(0, 64)) {
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    const bool kept = (lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') || lower == '_' || lower == '-';
    id += kept ? lower : '_';
  }
  return id;
}

std::string describe(const UmbFile::Variable& v) {
  const int kind = v.kind >= 0 && v.kind <= 3 ? v.kind : 0;
  std::string text = kKindTexts[kind];
  if (kind == 3) return text;
  text += kind == 0 ? " at" : " over";
  for (std::size_t i = 0; i < v.times.size(); i++) {
    text += i == 0 ? " " : ", ";
    if (kind == 0) {
      text += jsonNumber(v.times[i].first);
    } else {
      text += '[';
      text += jsonNumber(v.times[i].first);
      text += ", ";
      text += jsonNumber(v.times[i].second);
      text += ']';
    }
  }
  return text;
}

// The ustar header of a regular file. Sizes past the 11 octal digits of the
// field (8 GiB) take the binary form that tar readers know.
void tarHeader(char* header, const std::string& path, std::uint64_t size) {
  std::memset(header, 0, kBlock);
  std::string name = path, prefix;
  if (name.size() > 100) {
    // Split at a slash: up to 155 characters of directories, the rest up to 100.
    const auto slash = path.rfind('/', 155);
    prefix = path.substr(0, slash);
    name = path.substr(slash + 1);
  }
  std::memcpy(header, name.data(), std::min<std::size_t>(name.size(), 100));
  std::memcpy(header + 100, "0000644", 7);
  std::memcpy(header + 108, "0000000", 7);
  std::memcpy(header + 116, "0000000", 7);
  if (size < (std::uint64_t{1} << 33)) {
    std::snprintf(header + 124, 12, "%011llo", static_cast<unsigned long long>(size));
  } else {
    header[124] = static_cast<char>(0x80);
    for (int i = 0; i < 8; i++) header[135 - i] = static_cast<char>((size >> (8 * i)) & 0xff);
  }
  std::snprintf(header + 136, 12, "%011llo", static_cast<unsigned long long>(std::time(nullptr)));
  header[156] = '0';
  std::memcpy(header + 257, "ustar", 6);
  std::memcpy(header + 263, "00", 2);
  std::memcpy(header + 345, prefix.data(), std::min<std::size_t>(prefix.size(), 155));
  std::memset(header + 148, ' ', 8);
  unsigned sum = 0;
  for (std::size_t i = 0; i < kBlock; i++) sum += static_cast<unsigned char>(header[i]);
  std::snprintf(header + 148, 8, "%06o", sum);
  header[155] = ' ';
}

}  // namespace

// One array under construction: appended through a buffer to a file without
// a name in the output directory.
class UmbFile::Part {
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

UmbFile::UmbFile(std::string path, std::string reportedName, Description description, FileCreation creation)
    : path_(std::move(path)),
      reportedName_(std::move(reportedName)),
      description_(std::move(description)),
      creation_(creation) {
  const auto slash = path_.rfind('/');
  if (slash != std::string::npos) directory_ = path_.substr(0, slash + 1);
  auto part = [this] {
    auto p = std::make_unique<Part>(directory_);
    if (p->error() != 0)
      throw GenError("Error: Could not open output file " + reportedName_ + ": " + systemText(p->error()));
    return p;
  };
  exitRates_ = part();
  rowStarts_ = part();
  targets_ = part();
  probabilities_ = part();
  valuations_ = part();
  for (const Variable& v : description_.variables) {
    std::string id = annotationId(v.name);
    for (int n = 2; std::find(ids_.begin(), ids_.end(), id) != ids_.end(); n++)
      id = annotationId(v.name) + "_" + std::to_string(n);
    ids_.push_back(id);
    stateRewards_.push_back(v.rate ? part() : nullptr);
    branchRewards_.push_back(v.impulse ? part() : nullptr);
  }
  scratch_.resize(description_.variables.size());
  rowStarts_->put<std::uint64_t>(0);
}

UmbFile::~UmbFile() = default;

void UmbFile::addStateRewards(const double* values) {
  for (std::size_t v = 0; v < stateRewards_.size(); v++)
    if (stateRewards_[v]) stateRewards_[v]->put<double>(values[2 * v + 1]);
}

void UmbFile::beginState(const std::int16_t* valuation, double exitRate) {
  valuations_->append(valuation, description_.places.size() * sizeof(std::int16_t));
  exitRates_->put<double>(exitRate);
  exitRate_ = exitRate;
}

void UmbFile::addBranch(std::uint64_t target, double value, const double* impulseSums) {
  targets_->put<std::uint64_t>(target);
  probabilities_->put<double>(value / exitRate_);
  for (std::size_t v = 0; v < branchRewards_.size(); v++)
    if (branchRewards_[v]) branchRewards_[v]->put<double>(impulseSums[v] / value);
  branches_++;
}

void UmbFile::endState() {
  rowStarts_->put<std::uint64_t>(branches_);
  states_++;
}

std::string UmbFile::indexJson() const {
  std::string j = "{\n  \"format-version\": 1,\n  \"format-revision\": 0,\n";
  j += "  \"model-data\": {\"name\": " + jsonString(description_.modelName) + "},\n";
  j += "  \"file-data\": {\"tool\": \"gen\", \"tool-version\": " + jsonString(kToolVersion) +
       ", \"creation-date\": " + std::to_string(static_cast<long long>(std::time(nullptr))) + ", \"parameters\": [";
  for (std::size_t i = 0; i < description_.arguments.size(); i++)
    j += (i ? ", " : "") + jsonString(description_.arguments[i]);
  j += "]},\n";
  const std::string s = std::to_string(states_);
  j += "  \"transition-system\": {\"time\": \"stochastic\", \"#players\": 0, \"#states\": " + s +
       ", \"#initial-states\": 1, \"#choices\": " + s + ", \"#choice-actions\": 0, \"#branches\": " +
       std::to_string(branches_) +
       ", \"#branch-actions\": 0, \"#observations\": 0, "
       "\"branch-probability-type\": {\"type\": \"double\", \"size\": 64}, "
       "\"exit-rate-type\": {\"type\": \"double\", \"size\": 64}},\n";
  const std::string type = "\"type\": {\"type\": \"double\", \"size\": 64}";
  if (!ids_.empty()) j += "  \"annotations\": {\"rewards\": {";
  for (std::size_t v = 0; v < ids_.size(); v++) {
    const Variable& var = description_.variables[v];
    std::string appliesTo;
    if (var.rate) appliesTo += "\"states\"";
    if (var.impulse) appliesTo += std::string(var.rate ? ", " : "") + "\"branches\"";
    j += std::string(v ? "," : "") + "\n    " + jsonString(ids_[v]) + ": {\"alias\": " + jsonString(var.name) +
         ", \"description\": " + jsonString(describe(var)) + ", \"applies-to\": [" + appliesTo + "], " + type + "}";
  }
  if (!ids_.empty()) j += "}},\n";
  j += std::string("  \"valuations\": {\"states\": {\"unique\": ") +
       (description_.uniqueValuations ? "true" : "false") + ", \"classes\": [{\"variables\": [";
  for (std::size_t p = 0; p < description_.places.size(); p++)
    j += std::string(p ? "," : "") + "\n    {\"name\": " + jsonString(description_.places[p]) +
         ", \"type\": {\"type\": \"int\", \"size\": 16}}";
  j += "]}]}},\n";
  j += "  \"gen-reward-variables\": [";
  for (std::size_t v = 0; v < ids_.size(); v++) {
    const Variable& var = description_.variables[v];
    const int kind = var.kind >= 0 && var.kind <= 3 ? var.kind : 0;
    j += std::string(v ? "," : "") + "\n    {\"name\": " + jsonString(var.name) + ", \"annotation\": " +
         jsonString(ids_[v]) + ", \"kind\": \"" + kKindNames[kind] + "\", \"times\": [";
    for (std::size_t t = 0; t < var.times.size(); t++)
      j += std::string(t ? ", " : "") + "[" + jsonNumber(var.times[t].first) + ", " +
           jsonNumber(var.times[t].second) + "]";
    j += "]}";
  }
  j += "]\n}\n";
  return j;
}

void UmbFile::fail(int error) const {
  throw GenError("Error: writing output file " + reportedName_ + " failed: " + systemText(error));
}

void UmbFile::finish() {
  const int out = openOutputFile(path_.c_str(), creation_);
  if (out < 0) throw GenError("Error: Could not open output file " + reportedName_ + ": " + systemText(errno));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{out};

  char header[kBlock];
  const char zeros[kBlock] = {};
  auto pad = [&](std::uint64_t size) {
    const std::size_t rest = static_cast<std::size_t>(size % kBlock);
    if (rest != 0 && !writeAll(out, zeros, kBlock - rest)) fail(errno);
  };
  auto text = [&](const std::string& name, const std::string& bytes) {
    tarHeader(header, name, bytes.size());
    if (!writeAll(out, header, kBlock) || !writeAll(out, bytes.data(), bytes.size())) fail(errno);
    pad(bytes.size());
  };
  auto member = [&](const std::string& name, Part& part) {
    part.flush();
    if (part.error() != 0) fail(part.error());
    tarHeader(header, name, part.size());
    if (!writeAll(out, header, kBlock) || !part.copyTo(out)) fail(errno);
    pad(part.size());
  };

  text("index.json", indexJson());
  // The initial state, index 0, alone in a bitset of 64-bit words.
  std::string initial(static_cast<std::size_t>((states_ + 63) / 64 * 8), '\0');
  if (!initial.empty()) initial[0] = 1;
  text("state-is-initial.bin", initial);
  member("state-to-exit-rate.bin", *exitRates_);
  member("choice-to-branches.bin", *rowStarts_);
  member("branch-to-target.bin", *targets_);
  member("branch-to-probability.bin", *probabilities_);
  for (std::size_t v = 0; v < ids_.size(); v++) {
    const std::string folder = "annotations/rewards/" + ids_[v] + "/";
    if (stateRewards_[v]) member(folder + "states/values.bin", *stateRewards_[v]);
    if (branchRewards_[v]) member(folder + "branches/values.bin", *branchRewards_[v]);
  }
  member("valuations/states/valuations.bin", *valuations_);
  for (int i = 0; i < 2; i++)
    if (!writeAll(out, zeros, kBlock)) fail(errno);
  if (::fsync(out) != 0 && errno != EINVAL) fail(errno);
  closer.fd = -1;
  if (::close(out) != 0) fail(errno);
}
