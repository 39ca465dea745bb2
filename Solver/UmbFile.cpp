#include "UmbFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <string_view>

#include "Json.h"

static_assert(std::endian::native == std::endian::little, "the .umb arrays are little-endian and mapped as they are");

namespace solver {

namespace {

constexpr std::size_t kBlock = 512;

struct Entry {
  std::size_t offset = 0;
  std::size_t size = 0;
};

std::string errnoText(int e) { return std::strerror(e); }

// A tar header's numeric field: octal digits (space or NUL padded), or a
// base-256 number when the first byte has its high bit set.
bool tarNumber(const unsigned char* field, std::size_t width, std::uint64_t& out) {
  out = 0;
  if (field[0] & 0x80) {
    if (field[0] != 0x80) return false;  // negative or beyond 63 bits
    for (std::size_t i = 1; i < width; i++) {
      if (out >> 55) return false;
      out = (out << 8) | field[i];
    }
    return true;
  }
  std::size_t i = 0;
  while (i < width && field[i] == ' ') i++;
  bool any = false;
  for (; i < width && field[i] >= '0' && field[i] <= '7'; i++) {
    if (out >> 60) return false;
    out = out * 8 + (field[i] - '0');
    any = true;
  }
  for (; i < width; i++)
    if (field[i] != ' ' && field[i] != '\0') return false;
  return any;
}

std::string fieldText(const unsigned char* field, std::size_t width) {
  std::size_t n = 0;
  while (n < width && field[n] != '\0') n++;
  return std::string(reinterpret_cast<const char*>(field), n);
}

bool checksumMatches(const unsigned char* h) {
  std::uint64_t stored = 0;
  if (!tarNumber(h + 148, 8, stored)) return false;
  std::uint64_t unsignedSum = 0;
  std::int64_t signedSum = 0;
  for (std::size_t i = 0; i < kBlock; i++) {
    const unsigned char c = (i >= 148 && i < 156) ? ' ' : h[i];
    unsignedSum += c;
    signedSum += static_cast<signed char>(c);
  }
  return stored == unsignedSum || static_cast<std::int64_t>(stored) == signedSum;
}

std::string normalName(std::string name) {
  while (name.rfind("./", 0) == 0) name.erase(0, 2);
  return name;
}

// The value of one key of a pax extended header ("<length> key=value\n" records).
bool paxValue(std::string_view data, std::string_view key, std::string& out) {
  while (!data.empty()) {
    std::size_t length = 0, i = 0;
    while (i < data.size() && data[i] >= '0' && data[i] <= '9') {
      length = length * 10 + static_cast<std::size_t>(data[i] - '0');
      if (length > data.size()) return false;
      i++;
    }
    if (i == 0 || length <= i + 1 || length > data.size() || data[length - 1] != '\n') return false;
    const std::string_view record = data.substr(i + 1, length - i - 2);
    const std::size_t eq = record.find('=');
    if (eq != std::string_view::npos && record.substr(0, eq) == key) {
      out = std::string(record.substr(eq + 1));
      return true;
    }
    data.remove_prefix(length);
  }
  return false;
}

// Lists the regular files of an uncompressed tar held in memory.
Outcome<std::map<std::string, Entry>> listTar(const unsigned char* data, std::size_t length) {
  std::map<std::string, Entry> entries;
  std::size_t offset = 0;
  std::string longName;
  std::string paxPath;
  std::string paxSize;
  for (;;) {
    if (length - offset < kBlock) return Error{"the tar ends inside a header at byte " + std::to_string(offset)};
    const unsigned char* h = data + offset;
    bool zero = true;
    for (std::size_t i = 0; i < kBlock && zero; i++) zero = h[i] == 0;
    if (zero) break;
    if (!checksumMatches(h)) return Error{"the tar header at byte " + std::to_string(offset) + " is damaged (checksum)"};
    std::uint64_t size = 0;
    if (!tarNumber(h + 124, 12, size)) return Error{"the tar header at byte " + std::to_string(offset) + " has a bad size"};
    if (!paxSize.empty()) {
      char* end = nullptr;
      errno = 0;
      size = std::strtoull(paxSize.c_str(), &end, 10);
      if (errno != 0 || *end != '\0') return Error{"a pax header has a bad size"};
    }
    const std::size_t start = offset + kBlock;
    if (size > length - start) {
      return Error{"the tar member at byte " + std::to_string(offset) + " claims " + std::to_string(size) +
                   " bytes, past the end of the file"};
    }
    std::string name = fieldText(h, 100);
    if (std::memcmp(h + 257, "ustar", 5) == 0 && h[345] != '\0') name = fieldText(h + 345, 155) + "/" + name;
    if (!longName.empty()) name = longName;
    if (!paxPath.empty()) name = paxPath;
    const char type = static_cast<char>(h[156]);
    const std::string_view body(reinterpret_cast<const char*>(data + start), size);
    const bool header = type == 'x' || type == 'L';
    if (type == 'x') {
      paxValue(body, "path", paxPath);
      paxValue(body, "size", paxSize);
    } else if (type == 'L') {
      longName = std::string(body.substr(0, body.find('\0')));
    } else if (type == '0' || type == '\0' || type == '7') {
      name = normalName(name);
      if (!entries.emplace(name, Entry{start, static_cast<std::size_t>(size)}).second)
        return Error{"the tar holds " + name + " twice"};
    }
    if (!header) {
      longName.clear();
      paxPath.clear();
      paxSize.clear();
    }
    const std::size_t padded = (static_cast<std::size_t>(size) + kBlock - 1) / kBlock * kBlock;
    if (padded > length - start) {
      // The last member may end without its padding; nothing can follow it.
      break;
    }
    offset = start + padded;
    if (offset == length) break;
  }
  return entries;
}

bool isDouble64(const JsonValue* type) {
  if (!type || !type->isObject()) return false;
  const JsonValue* t = type->find("type");
  if (!t || !t->isString() || t->text != "double") return false;
  const JsonValue* size = type->find("size");
  unsigned long long bits = 64;
  return !size || (size->asCount(bits) && bits == 64);
}

bool validId(const std::string& id) {
  if (id.empty()) return false;
  for (char c : id)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || c == '_' || c == '-')) return false;
  return true;
}

}  // namespace

UmbFile::~UmbFile() {
  if (base_) munmap(base_, length_);
}

void UmbFile::release() {
  if (base_) madvise(base_, length_, MADV_DONTNEED);
}

void UmbFile::release(const void* from, const void* to) const {
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t a = (reinterpret_cast<std::uintptr_t>(from) + page - 1) / page * page;
  const std::uintptr_t b = reinterpret_cast<std::uintptr_t>(to) / page * page;
  if (b > a) madvise(reinterpret_cast<void*>(a), b - a, MADV_DONTNEED);
}

Outcome<std::unique_ptr<UmbFile>> UmbFile::open(const std::string& path, const MemoryLimits& limits) {
  auto fail = [&](const std::string& what) { return Error{path + ": " + what}; };
  // Non-blocking, so that a FIFO put at the name opens at once and is
  // refused below as the special file it is.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return fail(errnoText(errno));
  struct stat st{};
  if (fstat(fd, &st) != 0) {
    const int e = errno;
    ::close(fd);
    return fail(errnoText(e));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return fail("not a regular file (a FIFO, a device or a folder); solve reads the .umb that gen -U writes");
  }
  if (auto room = checkMemory(limits, 0, static_cast<std::uint64_t>(st.st_size), "Mapping " + path); !room) {
    ::close(fd);
    return room.error();
  }
  std::unique_ptr<UmbFile> umb(new UmbFile());
  umb->length_ = static_cast<std::size_t>(st.st_size);
  if (umb->length_ < kBlock) {
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

  if (bytes[0] == 0x1F && bytes[1] == 0x8B) return fail("a compressed .umb; solve reads the uncompressed tar that gen -U writes");
  if (std::memcmp(bytes, "\xFD" "7zXZ", 5) == 0) return fail("a compressed .umb; solve reads the uncompressed tar that gen -U writes");
  if (std::memcmp(bytes + 257, "ustar", 5) != 0) return fail("not a tar file (no ustar header)");
  auto listed = listTar(bytes, umb->length_);
  if (!listed) return fail(listed.error().message);
  const auto& entries = *listed;

  auto member = [&](const std::string& name) -> const Entry* {
    auto it = entries.find(name);
    return it == entries.end() ? nullptr : &it->second;
  };
  const Entry* indexEntry = member("index.json");
  if (!indexEntry) return fail("no index.json");
  auto parsed = parseJson(std::string_view(reinterpret_cast<const char*>(bytes + indexEntry->offset), indexEntry->size));
  if (!parsed) return fail(parsed.error().message);
  const JsonValue& index = *parsed;
  if (!index.isObject()) return fail("index.json is not an object");

  unsigned long long version = 0;
  const JsonValue* v = index.find("format-version");
  if (!v || !v->asCount(version) || version > 1)
    return fail("index.json: format-version missing or newer than this solve reads (1)");
  const JsonValue* ts = index.find("transition-system");
  if (!ts || !ts->isObject()) return fail("index.json: no transition-system");
  auto count = [&](const char* key, unsigned long long& out) {
    const JsonValue* c = ts->find(key);
    return c && c->asCount(out);
  };
  const JsonValue* time = ts->find("time");
  unsigned long long players = 0, states = 0, initials = 0, choices = 0, branches = 0;
  if (!time || !time->isString() || !count("#players", players))
    return fail("index.json: transition-system lacks time or #players");
  if (time->text != "stochastic" || players != 0) {
    return fail("the model is not a CTMC (time \"" + time->text + "\", " + std::to_string(players) +
                " players); solve computes continuous-time Markov chains only");
  }
  if (!count("#states", states) || !count("#initial-states", initials) || !count("#choices", choices) ||
      !count("#branches", branches))
    return fail("index.json: transition-system lacks #states, #initial-states, #choices or #branches");
  if (states == 0) return fail("index.json: #states is 0");
  if (initials != 1) return fail("index.json: #initial-states is " + std::to_string(initials) + ", solve needs exactly 1");
  if (choices != states) return fail("index.json: #choices differs from #states (a CTMC has one choice per state)");
  // Sparse indices are 32-bit signed (Eigen's default), as are state numbers here.
  constexpr unsigned long long kMaxIndex = 0x7FFFFFFFull;
  if (states > kMaxIndex || branches > kMaxIndex) {
    return fail(std::to_string(states) + " states and " + std::to_string(branches) +
                " transitions: more than solve handles (2,147,483,647 of each)");
  }
  if (!isDouble64(ts->find("branch-probability-type")) || !isDouble64(ts->find("exit-rate-type")))
    return fail("index.json: branch probabilities and exit rates must be 64-bit doubles");

  // A member that must hold exactly `items` values of `width` bytes.
  auto array = [&](const std::string& name, std::size_t items, std::size_t width, bool required,
                   const unsigned char*& out) -> Status {
    out = nullptr;
    const Entry* e = member(name);
    if (!e) {
      if (required) return Error{path + ": no " + name};
      return okStatus();
    }
    if (e->size != items * width) {
      return Error{path + ": " + name + " has " + std::to_string(e->size) + " bytes, expected " +
                   std::to_string(items * width)};
    }
    out = bytes + e->offset;
    return okStatus();
  };
  const std::size_t R = states, T = branches;
  const unsigned char* raw = nullptr;

  if (auto s = array("state-to-choices.bin", R + 1, 8, false, raw); !s) return s.error();
  if (raw) {
    const auto* c = reinterpret_cast<const std::uint64_t*>(raw);
    for (std::size_t i = 0; i <= R; i++)
      if (c[i] != i) return fail("state-to-choices.bin: a state with other than one choice");
  }
  if (auto s = array("choice-to-branches.bin", R + 1, 8, true, raw); !s) return s.error();
  umb->rowStart = {reinterpret_cast<const std::uint64_t*>(raw), R + 1};
  if (umb->rowStart[0] != 0 || umb->rowStart[R] != T)
    return fail("choice-to-branches.bin does not run from 0 to #branches");
  for (std::size_t i = 0; i < R; i++)
    if (umb->rowStart[i + 1] < umb->rowStart[i]) return fail("choice-to-branches.bin decreases at state " + std::to_string(i));

  if (auto s = array("branch-to-target.bin", T, 8, true, raw); !s) return s.error();
  umb->target = {reinterpret_cast<const std::uint64_t*>(raw), T};
  for (std::size_t b = 0; b < T; b++)
    if (umb->target[b] >= R) {
      return fail("branch-to-target.bin: branch " + std::to_string(b) + " goes to state " +
                  std::to_string(umb->target[b]) + ", past the last state");
    }
  umb->release(umb->target.data(), umb->target.data() + T);
  if (auto s = array("branch-to-probability.bin", T, 8, true, raw); !s) return s.error();
  umb->probability = {reinterpret_cast<const double*>(raw), T};
  for (std::size_t b = 0; b < T; b++) {
    const double p = umb->probability[b];
    if (!(p >= 0.0 && p <= 1.0)) return fail("branch-to-probability.bin: branch " + std::to_string(b) + " has probability " + std::to_string(p));
  }
  umb->release(umb->probability.data(), umb->probability.data() + T);
  if (auto s = array("state-to-exit-rate.bin", R, 8, true, raw); !s) return s.error();
  umb->exitRate = {reinterpret_cast<const double*>(raw), R};
  for (std::size_t i = 0; i < R; i++) {
    const double e = umb->exitRate[i];
    if (!(e >= 0.0) || !std::isfinite(e)) return fail("state-to-exit-rate.bin: state " + std::to_string(i) + " has exit rate " + std::to_string(e));
    const std::uint64_t from = umb->rowStart[i], to = umb->rowStart[i + 1];
    if (e > 0.0) {
      double sum = 0;
      for (std::uint64_t b = from; b < to; b++) sum += umb->probability[b];
      if (std::fabs(sum - 1.0) > 1e-6) {
        return fail("state " + std::to_string(i) + ": its branch probabilities sum to " + std::to_string(sum) + ", not 1");
      }
    }
  }

  if (auto s = array("state-is-initial.bin", (R + 63) / 64, 8, true, raw); !s) return s.error();
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

  const JsonValue* annotations = index.find("annotations");
  const JsonValue* rewardMap = annotations ? annotations->find("rewards") : nullptr;
  if (rewardMap) {
    if (!rewardMap->isObject()) return fail("index.json: annotations.rewards is not an object");
    for (const auto& [id, a] : rewardMap->members) {
      if (!validId(id)) return fail("index.json: reward annotation id \"" + id + "\" is not [0-9a-z_-]+");
      UmbReward r;
      r.id = id;
      const JsonValue* alias = a.find("alias");
      r.alias = alias && alias->isString() ? alias->text : id;
      if (!isDouble64(a.find("type"))) return fail("reward " + id + ": values must be 64-bit doubles");
      const JsonValue* applies = a.find("applies-to");
      if (!applies || !applies->isArray() || applies->items.empty()) return fail("reward " + id + ": no applies-to");
      for (const JsonValue& what : applies->items) {
        const std::string dir = "annotations/rewards/" + id + "/";
        if (what.isString() && what.text == "states") {
          if (auto s = array(dir + "states/values.bin", R, 8, true, raw); !s) return s.error();
          r.stateValues = {reinterpret_cast<const double*>(raw), R};
        } else if (what.isString() && what.text == "branches") {
          if (auto s = array(dir + "branches/values.bin", T, 8, true, raw); !s) return s.error();
          r.branchValues = {reinterpret_cast<const double*>(raw), T};
        } else {
          return fail("reward " + id + ": applies-to \"" + what.text + "\" is not read (only states and branches)");
        }
      }
      for (std::span<const double> values : {r.stateValues, r.branchValues})
        for (std::size_t k = 0; k < values.size(); k++)
          if (!std::isfinite(values[k])) return fail("reward " + id + ": value " + std::to_string(k) + " is not finite");
      umb->release(r.branchValues.data(), r.branchValues.data() + r.branchValues.size());
      umb->rewards.push_back(std::move(r));
    }
  }

  if (const JsonValue* described = index.find("gen-reward-variables")) {
    if (!described->isArray()) return fail("index.json: gen-reward-variables is not an array");
    for (const JsonValue& d : described->items) {
      const JsonValue* name = d.find("name");
      const JsonValue* id = d.find("annotation");
      const JsonValue* kind = d.find("kind");
      const JsonValue* times = d.find("times");
      if (!name || !name->isString() || !id || !id->isString() || !kind || !kind->isString() || !times ||
          !times->isArray())
        return fail("index.json: an entry of gen-reward-variables lacks name, annotation, kind or times");
      UmbReward* target = nullptr;
      for (auto& r : umb->rewards)
        if (r.id == id->text) target = &r;
      if (!target) return fail("index.json: reward variable " + name->text + " names no annotation " + id->text);
      target->described = true;
      target->alias = name->text;
      target->kind = kind->text;
      for (const JsonValue& pair : times->items) {
        if (!pair.isArray() || pair.items.size() != 2 || !pair.items[0].isNumber() || !pair.items[1].isNumber())
          return fail("index.json: reward variable " + name->text + " has a time that is not a [start, stop] pair");
        target->times.emplace_back(pair.items[0].number, pair.items[1].number);
      }
    }
  }
  return umb;
}

}  // namespace solver
