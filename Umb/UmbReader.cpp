#include "UmbReader.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string_view>

#include "Tar.h"

static_assert(std::endian::native == std::endian::little, "the .umb arrays are little-endian and mapped as they are");

namespace umb {

namespace {

// Members in file order, so that faults are reported in the order written.
using Json = nlohmann::ordered_json;

std::string errnoText(int e) { return std::strerror(e); }

// How deeply the index may nest: gen writes five levels, and the parser
// recurses once per level.
constexpr int kMaxDepth = 64;

bool nestsTooDeeply(std::string_view text) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); i++) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        i++;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxDepth) return true;
    } else if (c == ']' || c == '}') {
      depth--;
    }
  }
  return false;
}

const Json* find(const Json& object, const char* name) {
  if (!object.is_object()) return nullptr;
  auto it = object.find(name);
  return it == object.end() ? nullptr : &*it;
}

// A non-negative integer written with the digits of an integer.
bool asCount(const Json* value, unsigned long long& out) {
  if (!value || !value->is_number_unsigned()) return false;
  out = value->get<unsigned long long>();
  return true;
}

bool isDouble64(const Json* type) {
  if (!type || !type->is_object()) return false;
  const Json* t = find(*type, key::kType);
  if (!t || !t->is_string() || t->get_ref<const std::string&>() != kDoubleType) return false;
  const Json* size = find(*type, key::kSize);
  unsigned long long bits = 64;
  return !size || (asCount(size, bits) && bits == 64);
}

const std::string& text(const Json& value) { return value.get_ref<const std::string&>(); }

// The deterministic part: every offset rising within its array, targets
// inside the state range, activities among those named, delays finite and
// positive, and each enabling's probabilities summing to 1.
template <class ArrayFn>
Status readDeterministic(UmbReader& umb, const Json& described, ArrayFn& array, std::size_t R,
                         const std::string& path) {
  auto fault = [&path](const std::string& what) { return Error{path + ": " + what}; };
  const Json* names = find(described, key::kActivities);
  unsigned long long E = 0, B = 0;
  if (!names || !names->is_array() || !asCount(find(described, key::kEnablings), E) ||
      !asCount(find(described, key::kBranches), B) || !find(described, key::kImpulses) ||
      !described[key::kImpulses].is_array())
    return fault("index.json: gen-deterministic lacks activities, #enablings, #branches or impulses");
  DeterministicPart& d = umb.det;
  for (const Json& n : *names) {
    if (!n.is_string()) return fault("index.json: gen-deterministic names an activity by other than a string");
    d.activities.push_back(text(n));
  }
  const unsigned char* raw = nullptr;
  auto u64 = [&raw](std::size_t n) {
    return std::span<const std::uint64_t>(reinterpret_cast<const std::uint64_t*>(raw), n);
  };
  auto f64 = [&raw](std::size_t n) { return std::span<const double>(reinterpret_cast<const double*>(raw), n); };
  if (auto s = array(kDetStateToEnablings, R + 1, 8, true, raw); !s) return s;
  d.stateStart = u64(R + 1);
  if (auto s = array(kDetEnablingToActivity, E, 8, true, raw); !s) return s;
  d.activity = u64(E);
  if (auto s = array(kDetEnablingToDelay, E, 8, true, raw); !s) return s;
  d.delay = f64(E);
  if (auto s = array(kDetEnablingToBranches, E + 1, 8, true, raw); !s) return s;
  d.branchStart = u64(E + 1);
  if (auto s = array(kDetBranchToTarget, B, 8, true, raw); !s) return s;
  d.target = u64(B);
  if (auto s = array(kDetBranchToProbability, B, 8, true, raw); !s) return s;
  d.probability = f64(B);
  auto rising = [](std::span<const std::uint64_t> offsets, std::uint64_t last) {
    if (offsets.front() != 0 || offsets.back() != last) return false;
    for (std::size_t i = 1; i < offsets.size(); i++)
      if (offsets[i] < offsets[i - 1]) return false;
    return true;
  };
  if (!rising(d.stateStart, E)) return fault(std::string(kDetStateToEnablings) + " does not rise from 0 to #enablings");
  if (!rising(d.branchStart, B))
    return fault(std::string(kDetEnablingToBranches) + " does not rise from 0 to #branches");
  for (std::size_t e = 0; e < E; e++) {
    if (d.activity[e] >= d.activities.size())
      return fault(std::string(kDetEnablingToActivity) + ": enabling " + std::to_string(e) +
                   " names no listed activity");
    if (!(d.delay[e] > 0) || !std::isfinite(d.delay[e]))
      return fault(std::string(kDetEnablingToDelay) + ": enabling " + std::to_string(e) + " has delay " +
                   std::to_string(d.delay[e]));
    double sum = 0;
    for (std::uint64_t b = d.branchStart[e]; b < d.branchStart[e + 1]; b++) {
      if (d.target[b] >= R)
        return fault(std::string(kDetBranchToTarget) + ": branch " + std::to_string(b) + " goes past the last state");
      const double p = d.probability[b];
      if (!(p >= 0.0 && p <= 1.0))
        return fault(std::string(kDetBranchToProbability) + ": branch " + std::to_string(b) + " has probability " +
                     std::to_string(p));
      sum += p;
    }
    if (std::fabs(sum - 1.0) > 1e-6)
      return fault("enabling " + std::to_string(e) + " (activity " + d.activities[d.activity[e]] +
                   "): its completion's probabilities sum to " + std::to_string(sum) + ", not 1");
  }
  return okStatus();
}

}  // namespace

namespace {

// The line a bus error writes, set before the handler is installed.
char busMessage[2048];
std::size_t busMessageLength = 0;

extern "C" void onBusError(int) {
  const ssize_t ignored = ::write(STDERR_FILENO, busMessage, busMessageLength);
  (void)ignored;
  _exit(1);
}

}  // namespace

void UmbReader::endOnShortenedFile(const std::string& program, const std::string& path) {
  const std::string line = program + ": " + path +
                           ": the file changed while it was read (another program shortened it); no value is given\n";
  busMessageLength = std::min(line.size(), sizeof busMessage);
  std::memcpy(busMessage, line.data(), busMessageLength);
  struct sigaction action {};
  action.sa_handler = onBusError;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, nullptr);
}

UmbReader::~UmbReader() {
  if (base_) munmap(base_, length_);
}

void UmbReader::release() {
  if (base_) madvise(base_, length_, MADV_DONTNEED);
}

void UmbReader::release(const void* from, const void* to) const {
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t a = (reinterpret_cast<std::uintptr_t>(from) + page - 1) / page * page;
  const std::uintptr_t b = reinterpret_cast<std::uintptr_t>(to) / page * page;
  if (b > a) madvise(reinterpret_cast<void*>(a), b - a, MADV_DONTNEED);
}

Outcome<std::unique_ptr<UmbReader>> UmbReader::open(const std::string& path, const MappingCheck& mayMap) {
  auto fail = [&](const std::string& what) { return Error{path + ": " + what}; };
  // Non-blocking, so that a FIFO put at the name opens at once and is
  // refused below as the special file it is.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return fail(errnoText(errno));
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    const int e = errno;
    ::close(fd);
    return fail(errnoText(e));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return fail("not a regular file (a FIFO, a device or a folder); solve reads the .umb that gen -U writes");
  }
  if (mayMap) {
    if (auto room = mayMap(static_cast<std::uint64_t>(st.st_size)); !room) {
      ::close(fd);
      return room.error();
    }
  }
  std::unique_ptr<UmbReader> umb(new UmbReader());
  umb->length_ = static_cast<std::size_t>(st.st_size);
  if (umb->length_ < kTarBlock) {
    ::close(fd);
    return fail("too short to be a .umb (an uncompressed tar)");
  }
  void* base = mmap(nullptr, umb->length_, PROT_READ, MAP_PRIVATE, fd, 0);
  const int mapError = errno;
  ::close(fd);
  if (base == MAP_FAILED) return fail("cannot map the file: " + errnoText(mapError));
  umb->base_ = base;
  madvise(base, umb->length_, MADV_WILLNEED);
  const auto* bytes = static_cast<const unsigned char*>(base);

  if (bytes[0] == 0x1F && bytes[1] == 0x8B)
    return fail("a compressed .umb; solve reads the uncompressed tar that gen -U writes");
  if (std::memcmp(bytes,
                  "\xFD"
                  "7zXZ",
                  5) == 0)
    return fail("a compressed .umb; solve reads the uncompressed tar that gen -U writes");
  if (std::memcmp(bytes + 257, "ustar", 5) != 0) return fail("not a tar file (no ustar header)");
  auto listed = listTar(bytes, umb->length_);
  if (!listed) return fail(listed.error().message);
  const auto& entries = *listed;

  auto member = [&](std::string_view name) -> const TarEntry* {
    auto it = entries.find(std::string(name));
    return it == entries.end() ? nullptr : &it->second;
  };
  const TarEntry* indexEntry = member(kIndexMember);
  if (!indexEntry) return fail("no index.json");
  const std::string_view indexText(reinterpret_cast<const char*>(bytes + indexEntry->offset), indexEntry->size);
  if (nestsTooDeeply(indexText)) return fail("index.json: nested deeper than " + std::to_string(kMaxDepth) + " levels");
  Json index;
  try {
    index = Json::parse(indexText);
  } catch (const Json::parse_error& e) {
    return fail("index.json: not valid JSON at byte " + std::to_string(e.byte));
  } catch (const Json::exception& e) {
    // A number past the range of a double (1e999999) and the like.
    return fail(std::string("index.json: not readable: ") + e.what());
  }
  if (!index.is_object()) return fail("index.json is not an object");

  unsigned long long version = 0;
  if (!asCount(find(index, key::kFormatVersion), version) || version > kFormatVersion)
    return fail("index.json: format-version missing or newer than this solve reads (1)");
  const Json* ts = find(index, key::kTransitionSystem);
  if (!ts || !ts->is_object()) return fail("index.json: no transition-system");
  auto count = [&](const char* name, unsigned long long& out) { return asCount(find(*ts, name), out); };
  const Json* time = find(*ts, key::kTime);
  unsigned long long players = 0, states = 0, initials = 0, choices = 0, branches = 0;
  if (!time || !time->is_string() || !count(key::kPlayers, players))
    return fail("index.json: transition-system lacks time or #players");
  // The model type: a CTMC is stochastic time with no players; gen marks a
  // model with deterministic delays by a time of its own, with its part.
  const Json* detIndex = find(index, key::kGenDeterministic);
  umb->deterministic = text(*time) == kDeterministicTime && players == 0 && detIndex;
  if (text(*time) == kStochasticTime && (detIndex || member(kDetStateToEnablings)))
    return fail("index.json says time \"" + text(*time) +
                "\" (a CTMC), yet the file has a deterministic part; taking it for a CTMC would leave out its fixed "
                "delays, so it is refused");
  if (!umb->deterministic && (text(*time) != kStochasticTime || players != 0)) {
    return fail("the model is not a CTMC (time \"" + text(*time) + "\", " + std::to_string(players) +
                " players); solve computes continuous-time Markov chains only");
  }
  if (!count(key::kStates, states) || !count(key::kInitialStates, initials) || !count(key::kChoices, choices) ||
      !count(key::kBranches, branches))
    return fail("index.json: transition-system lacks #states, #initial-states, #choices or #branches");
  if (states == 0) return fail("index.json: #states is 0");
  if (initials != 1)
    return fail("index.json: #initial-states is " + std::to_string(initials) + ", solve needs exactly 1");
  if (choices != states) return fail("index.json: #choices differs from #states (a CTMC has one choice per state)");
  // Sparse indices are 32-bit signed (Eigen's default), as are state numbers there.
  constexpr unsigned long long kMaxIndex = 0x7FFFFFFFull;
  if (states > kMaxIndex || branches > kMaxIndex) {
    return fail(std::to_string(states) + " states and " + std::to_string(branches) +
                " transitions: more than solve handles (2,147,483,647 of each)");
  }
  if (!isDouble64(find(*ts, key::kBranchProbabilityType)) || !isDouble64(find(*ts, key::kExitRateType)))
    return fail("index.json: branch probabilities and exit rates must be 64-bit doubles");

  // A member that must hold exactly `items` values of `width` bytes.
  auto array = [&](std::string_view name, std::size_t items, std::size_t width, bool required,
                   const unsigned char*& out) -> Status {
    out = nullptr;
    const TarEntry* e = member(name);
    if (!e) {
      if (required) return Error{path + ": no " + std::string(name)};
      return okStatus();
    }
    if (e->size != items * width) {
      return Error{path + ": " + std::string(name) + " has " + std::to_string(e->size) + " bytes, expected " +
                   std::to_string(items * width)};
    }
    out = bytes + e->offset;
    return okStatus();
  };
  const std::size_t R = states, T = branches;
  const unsigned char* raw = nullptr;

  if (auto s = array(kStateToChoices, R + 1, 8, false, raw); !s) return s.error();
  if (raw) {
    const auto* c = reinterpret_cast<const std::uint64_t*>(raw);
    for (std::size_t i = 0; i <= R; i++)
      if (c[i] != i) return fail("state-to-choices.bin: a state with other than one choice");
  }
  if (auto s = array(kChoiceToBranches, R + 1, 8, true, raw); !s) return s.error();
  umb->rowStart = {reinterpret_cast<const std::uint64_t*>(raw), R + 1};
  if (umb->rowStart[0] != 0 || umb->rowStart[R] != T)
    return fail("choice-to-branches.bin does not run from 0 to #branches");
  for (std::size_t i = 0; i < R; i++)
    if (umb->rowStart[i + 1] < umb->rowStart[i])
      return fail("choice-to-branches.bin decreases at state " + std::to_string(i));

  if (auto s = array(kBranchToTarget, T, 8, true, raw); !s) return s.error();
  umb->target = {reinterpret_cast<const std::uint64_t*>(raw), T};
  // The branch arrays are checked a slice at a time, each slice's pages
  // dropped once read, so that the check never holds a whole array.
  constexpr std::size_t kSlice = std::size_t{1} << 20;
  for (std::size_t b = 0; b < T; b++) {
    if (umb->target[b] >= R) {
      return fail("branch-to-target.bin: branch " + std::to_string(b) + " goes to state " +
                  std::to_string(umb->target[b]) + ", past the last state");
    }
    if ((b + 1) % kSlice == 0) umb->release(umb->target.data() + b + 1 - kSlice, umb->target.data() + b + 1);
  }
  umb->release(umb->target.data(), umb->target.data() + T);
  if (auto s = array(kBranchToProbability, T, 8, true, raw); !s) return s.error();
  umb->probability = {reinterpret_cast<const double*>(raw), T};
  for (std::size_t b = 0; b < T; b++) {
    const double p = umb->probability[b];
    if (!(p >= 0.0 && p <= 1.0))
      return fail("branch-to-probability.bin: branch " + std::to_string(b) + " has probability " + std::to_string(p));
    if ((b + 1) % kSlice == 0) umb->release(umb->probability.data() + b + 1 - kSlice, umb->probability.data() + b + 1);
  }
  umb->release(umb->probability.data(), umb->probability.data() + T);
  if (auto s = array(kStateToExitRate, R, 8, true, raw); !s) return s.error();
  umb->exitRate = {reinterpret_cast<const double*>(raw), R};
  std::uint64_t checked = 0;  // the probabilities below this have been let go
  for (std::size_t i = 0; i < R; i++) {
    const double e = umb->exitRate[i];
    if (!(e >= 0.0) || !std::isfinite(e))
      return fail("state-to-exit-rate.bin: state " + std::to_string(i) + " has exit rate " + std::to_string(e));
    const std::uint64_t from = umb->rowStart[i], to = umb->rowStart[i + 1];
    if (e > 0.0) {
      double sum = 0;
      for (std::uint64_t b = from; b < to; b++) sum += umb->probability[b];
      if (std::fabs(sum - 1.0) > 1e-6) {
        return fail("state " + std::to_string(i) + ": its branch probabilities sum to " + std::to_string(sum) +
                    ", not 1");
      }
    }
    if (to - checked >= kSlice || i + 1 == R) {
      umb->release(umb->probability.data() + checked, umb->probability.data() + to);
      checked = to;
    }
  }

  if (auto s = array(kStateIsInitial, (R + 63) / 64, 8, true, raw); !s) return s.error();
  const auto* bits = reinterpret_cast<const std::uint64_t*>(raw);
  std::uint64_t found = 0;
  for (std::size_t w = 0; w < (R + 63) / 64; w++) {
    for (std::uint64_t word = bits[w]; word; word &= word - 1) {
      const std::uint64_t state = w * 64 + static_cast<std::uint64_t>(std::countr_zero(word));
      if (state >= R) return fail("state-is-initial.bin: a bit set past the last state");
      umb->initialState = state;
      found++;
    }
  }
  if (found != 1) return fail("state-is-initial.bin marks " + std::to_string(found) + " states; solve needs exactly 1");

  if (umb->deterministic) {
    if (auto s = readDeterministic(*umb, *detIndex, array, R, path); !s) return s.error();
  }

  const Json* annotations = find(index, key::kAnnotations);
  const Json* rewardMap = annotations ? find(*annotations, key::kRewards) : nullptr;
  if (rewardMap) {
    if (!rewardMap->is_object()) return fail("index.json: annotations.rewards is not an object");
    for (const auto& [id, a] : rewardMap->items()) {
      if (!isAnnotationId(id)) return fail("index.json: reward annotation id \"" + id + "\" is not [0-9a-z_-]+");
      UmbReward r;
      r.id = id;
      const Json* alias = find(a, key::kAlias);
      r.alias = alias && alias->is_string() ? text(*alias) : id;
      if (!isDouble64(find(a, key::kType))) return fail("reward " + id + ": values must be 64-bit doubles");
      const Json* applies = find(a, key::kAppliesTo);
      if (!applies || !applies->is_array() || applies->empty()) return fail("reward " + id + ": no applies-to");
      for (const Json& what : *applies) {
        if (what.is_string() && text(what) == appliesToName(AppliesTo::States)) {
          if (auto s = array(rewardValuesMember(id, AppliesTo::States), R, 8, true, raw); !s) return s.error();
          r.stateValues = {reinterpret_cast<const double*>(raw), R};
        } else if (what.is_string() && text(what) == appliesToName(AppliesTo::Branches)) {
          if (auto s = array(rewardValuesMember(id, AppliesTo::Branches), T, 8, true, raw); !s) return s.error();
          r.branchValues = {reinterpret_cast<const double*>(raw), T};
        } else {
          const std::string shown = what.is_string() ? text(what) : "";
          return fail("reward " + id + ": applies-to \"" + shown + "\" is not read (only states and branches)");
        }
      }
      if (umb->deterministic) {
        const Json& ids = (*detIndex)[key::kImpulses];
        if (std::find(ids.begin(), ids.end(), id) != ids.end()) {
          const std::size_t D = umb->det.target.size();
          if (auto s = array(deterministicImpulseMember(id), D, 8, true, raw); !s) return s.error();
          r.deterministicValues = {reinterpret_cast<const double*>(raw), D};
        }
      }
      for (std::span<const double> values : {r.stateValues, r.branchValues, r.deterministicValues})
        for (std::size_t k = 0; k < values.size(); k++) {
          if (!std::isfinite(values[k]))
            return fail("reward " + id + ": value " + std::to_string(k) + " is not finite");
          if ((k + 1) % kSlice == 0) umb->release(values.data() + k + 1 - kSlice, values.data() + k + 1);
        }
      umb->release(r.branchValues.data(), r.branchValues.data() + r.branchValues.size());
      umb->rewards.push_back(std::move(r));
    }
  }

  if (umb->deterministic) {
    for (const Json& id : (*detIndex)[key::kImpulses]) {
      const bool named = id.is_string() && std::any_of(umb->rewards.begin(), umb->rewards.end(),
                                                       [&](const UmbReward& r) { return r.id == text(id); });
      if (!named)
        return fail("index.json: gen-deterministic impulses names " + (id.is_string() ? text(id) : id.dump()) +
                    ", which is no reward annotation of the file");
    }
  }

  // The valuations, for messages that name a state by its markings.
  const Json* valuations = find(index, key::kValuations);
  const Json* stateValuations = valuations ? find(*valuations, key::kValuationStates) : nullptr;
  const Json* classes = stateValuations ? find(*stateValuations, key::kClasses) : nullptr;
  if (classes && classes->is_array() && classes->size() == 1) {
    const Json* vars = find((*classes)[0], key::kVariables);
    std::vector<std::string> names;
    bool all16 = vars && vars->is_array();
    for (const Json& v : all16 ? *vars : Json::array()) {
      const Json* name = find(v, key::kName);
      const Json* type = find(v, key::kType);
      const Json* size = type ? find(*type, key::kSize) : nullptr;
      unsigned long long bits = 0;
      if (!name || !name->is_string() || !size || !asCount(size, bits) || bits != 16) {
        all16 = false;
        break;
      }
      names.push_back(text(*name));
    }
    const TarEntry* e = member(kStateValuations);
    if (all16 && e && e->size == R * names.size() * 2 && e->offset % 2 == 0) {
      umb->places = std::move(names);
      umb->valuations = {reinterpret_cast<const std::int16_t*>(bytes + e->offset), R * umb->places.size()};
    }
  }

  // The run's reward variables: gen's own list, in the order of its reward file.
  const Json* described = find(index, key::kGenRewardVariables);
  if (!described) return fail("index.json: no gen-reward-variables; solve reads the .umb that gen -U writes");
  if (!described->is_array()) return fail("index.json: gen-reward-variables is not an array");
  for (const Json& d : *described) {
    const Json* name = find(d, key::kName);
    const Json* id = find(d, key::kAnnotation);
    const Json* kind = find(d, key::kKind);
    const Json* times = find(d, key::kTimes);
    if (!name || !name->is_string() || !id || !id->is_string() || !kind || !kind->is_string() || !times ||
        !times->is_array())
      return fail("index.json: an entry of gen-reward-variables lacks name, annotation, kind or times");
    RewardVariable v;
    v.name = text(*name);
    for (const UmbReward& r : umb->rewards)
      if (r.id == text(*id)) v.reward = &r;
    if (!v.reward) return fail("index.json: reward variable " + v.name + " names no annotation " + text(*id));
    const auto known = kindFromName(text(*kind));
    if (!known) return fail("index.json: reward variable " + v.name + " has an unknown kind \"" + text(*kind) + "\"");
    v.kind = *known;
    for (const Json& pair : *times) {
      if (!pair.is_array() || pair.size() != 2 || !pair[0].is_number() || !pair[1].is_number())
        return fail("index.json: reward variable " + v.name + " has a time that is not a [start, stop] pair");
      v.times.emplace_back(pair[0].get<double>(), pair[1].get<double>());
    }
    umb->variables.push_back(std::move(v));
  }
  // The checks have read every array; what the solve reads again comes back
  // a page at a time.
  umb->release();
  return umb;
}

}  // namespace umb
