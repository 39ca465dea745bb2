#include "Schema.h"

#include <charconv>
#include <cstdio>

namespace umb {

namespace {

constexpr const char* kKindNames[] = {"instant", "interval",      "time_averaged", "steady_state",
                                      "reached", "first_passage", "until"};
constexpr const char* kKindTexts[] = {
    "instant of time", "interval of time", "time-averaged interval of time", "steady state",
    "reached by time", "first passage",    "condition of a first passage"};
constexpr int kKinds = 7;

int kindIndex(RewardKind kind) {
  const int k = static_cast<int>(kind);
  return k >= 0 && k < kKinds ? k : 0;
}

// The index's text: keys come from the schema, strings are escaped here, and
// the layout (one line per top-level member, rewards and places one per line)
// is the caller's.
class JsonText {
 public:
  JsonText& raw(const std::string& text) {
    out_ += text;
    return *this;
  }
  JsonText& string(const std::string& text) {
    out_ += '"';
    for (unsigned char c : text) {
      if (c == '"' || c == '\\') {
        out_ += '\\';
        out_ += static_cast<char>(c);
      } else if (c < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
        out_ += escaped;
      } else {
        out_ += static_cast<char>(c);
      }
    }
    out_ += '"';
    return *this;
  }
  // `"key": `
  JsonText& key(const char* name) {
    string(name);
    out_ += ": ";
    return *this;
  }
  JsonText& number(std::uint64_t value) { return raw(std::to_string(value)); }
  JsonText& number(double value) { return raw(numberText(value)); }
  JsonText& boolean(bool value) { return raw(value ? "true" : "false"); }
  // {"type": "<type>", "size": <bits>}
  JsonText& valueType(const char* type, int bits) {
    out_ += '{';
    key(key::kType).string(type).raw(", ").key(key::kSize).raw(std::to_string(bits));
    out_ += '}';
    return *this;
  }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

}  // namespace

const char* appliesToName(AppliesTo what) { return what == AppliesTo::States ? "states" : "branches"; }

std::string rewardValuesMember(const std::string& id, AppliesTo what) {
  return std::string("annotations/rewards/") + id + "/" + appliesToName(what) + "/values.bin";
}

std::string deterministicImpulseMember(const std::string& id) { return "deterministic/rewards/" + id + "/values.bin"; }

const char* kindName(RewardKind kind) { return kKindNames[kindIndex(kind)]; }

const char* kindText(RewardKind kind) { return kKindTexts[kindIndex(kind)]; }

std::optional<RewardKind> kindFromName(std::string_view name) {
  for (int k = 0; k < kKinds; k++)
    if (name == kKindNames[k]) return static_cast<RewardKind>(k);
  return std::nullopt;
}

std::string rewardDescription(RewardKind kind, const std::vector<std::pair<double, double>>& times) {
  std::string text = kindText(kind);
  if (kind == RewardKind::SteadyState || kind == RewardKind::Until ||
      (kind == RewardKind::FirstPassage && times.empty()))
    return text;
  const bool instant = kind == RewardKind::Instant || kind == RewardKind::Reached;
  text += instant ? " at" : " over";
  for (std::size_t i = 0; i < times.size(); i++) {
    text += i == 0 ? " " : ", ";
    if (instant) {
      text += numberText(times[i].first);
    } else {
      text += '[';
      text += numberText(times[i].first);
      text += ", ";
      text += numberText(times[i].second);
      text += ']';
    }
  }
  return text;
}

std::string numberText(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string annotationId(const std::string& name) {
  std::string id;
  for (char c : name.substr(0, 64)) {
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    const bool kept = (lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') || lower == '_' || lower == '-';
    id += kept ? lower : '_';
  }
  return id;
}

bool isAnnotationId(const std::string& id) {
  if (id.empty()) return false;
  for (char c : id)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || c == '_' || c == '-')) return false;
  return true;
}

std::string writeIndex(const Index& index) {
  JsonText j;
  j.raw("{\n  ").key(key::kFormatVersion).number(std::uint64_t{kFormatVersion});
  j.raw(",\n  ").key(key::kFormatRevision).raw("0");
  j.raw(",\n  ").key(key::kModelData).raw("{").key(key::kName).string(index.modelName).raw("}");
  j.raw(",\n  ").key(key::kFileData).raw("{").key(key::kTool).string(index.tool);
  j.raw(", ").key(key::kToolVersion).string(index.toolVersion);
  j.raw(", ").key(key::kCreationDate).raw(std::to_string(index.creationDate));
  j.raw(", ").key(key::kParameters).raw("[");
  for (std::size_t i = 0; i < index.parameters.size(); i++) j.raw(i ? ", " : "").string(index.parameters[i]);
  j.raw("]}");
  // A CTMC: one choice per state, no players, actions or observations.
  j.raw(",\n  ").key(key::kTransitionSystem).raw("{");
  j.key(key::kTime).string(index.deterministic ? kDeterministicTime : kStochasticTime);
  j.raw(", ").key(key::kPlayers).raw("0");
  j.raw(", ").key(key::kStates).number(index.states);
  j.raw(", ").key(key::kInitialStates).raw("1");
  j.raw(", ").key(key::kChoices).number(index.states);
  j.raw(", ").key(key::kChoiceActions).raw("0");
  j.raw(", ").key(key::kBranches).number(index.branches);
  j.raw(", ").key(key::kBranchActions).raw("0");
  j.raw(", ").key(key::kObservations).raw("0");
  j.raw(", ").key(key::kBranchProbabilityType).valueType(kDoubleType, 64);
  j.raw(", ").key(key::kExitRateType).valueType(kDoubleType, 64).raw("}");
  if (!index.rewards.empty()) {
    j.raw(",\n  ").key(key::kAnnotations).raw("{").key(key::kRewards).raw("{");
    for (std::size_t v = 0; v < index.rewards.size(); v++) {
      const Index::Reward& r = index.rewards[v];
      j.raw(v ? ",\n    " : "\n    ").key(r.id.c_str()).raw("{").key(key::kAlias).string(r.alias);
      j.raw(", ").key(key::kDescription).string(r.description);
      j.raw(", ").key(key::kAppliesTo).raw("[");
      if (r.states) j.string(appliesToName(AppliesTo::States));
      if (r.branches) j.raw(r.states ? ", " : "").string(appliesToName(AppliesTo::Branches));
      j.raw("], ").key(key::kType).valueType(kDoubleType, 64).raw("}");
    }
    j.raw("}}");
  }
  j.raw(",\n  ").key(key::kValuations).raw("{").key(key::kValuationStates).raw("{");
  j.key(key::kUnique).boolean(index.uniqueValuations);
  j.raw(", ").key(key::kClasses).raw("[{").key(key::kVariables).raw("[");
  for (std::size_t p = 0; p < index.places.size(); p++) {
    j.raw(p ? ",\n    {" : "\n    {").key(key::kName).string(index.places[p]);
    j.raw(", ").key(key::kType).valueType(kIntType, 16).raw("}");
  }
  j.raw("]}]}}");
  j.raw(",\n  ").key(key::kGenRewardVariables).raw("[");
  for (std::size_t v = 0; v < index.variables.size(); v++) {
    const Index::Variable& var = index.variables[v];
    j.raw(v ? ",\n    {" : "\n    {").key(key::kName).string(var.name);
    j.raw(", ").key(key::kAnnotation).string(var.annotation);
    j.raw(", ").key(key::kKind).string(kindName(var.kind));
    j.raw(", ").key(key::kTimes).raw("[");
    for (std::size_t t = 0; t < var.times.size(); t++)
      j.raw(t ? ", [" : "[").number(var.times[t].first).raw(", ").number(var.times[t].second).raw("]");
    j.raw("]}");
  }
  j.raw("]");
  if (index.deterministic) {
    j.raw(",\n  ").key(key::kGenDeterministic).raw("{").key(key::kActivities).raw("[");
    for (std::size_t a = 0; a < index.activities.size(); a++) j.raw(a ? ", " : "").string(index.activities[a]);
    j.raw("], ").key(key::kEnablings).number(index.enablings);
    j.raw(", ").key(key::kBranches).number(index.deterministicBranches);
    j.raw(", ").key(key::kImpulses).raw("[");
    for (std::size_t v = 0; v < index.impulseIds.size(); v++) j.raw(v ? ", " : "").string(index.impulseIds[v]);
    j.raw("]}");
  }
  j.raw("\n}\n");
  return j.take();
}

}  // namespace umb
