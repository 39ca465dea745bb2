#ifndef UMB_SCHEMA_H
#define UMB_SCHEMA_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The unified Markov binary format as gen writes and solve reads it: an
// uncompressed POSIX tar of index.json followed by little-endian arrays.
// Every member name, index key and kind name is spelled here and nowhere
// else.
namespace umb {

// Members of the tar.
inline constexpr std::string_view kIndexMember = "index.json";
inline constexpr std::string_view kStateIsInitial = "state-is-initial.bin";            // bitset of 64-bit words
inline constexpr std::string_view kStateToChoices = "state-to-choices.bin";            // optional; one choice per state
inline constexpr std::string_view kStateToExitRate = "state-to-exit-rate.bin";         // double per state
inline constexpr std::string_view kChoiceToBranches = "choice-to-branches.bin";        // states + 1 offsets
inline constexpr std::string_view kBranchToTarget = "branch-to-target.bin";            // uint64 per branch
inline constexpr std::string_view kBranchToProbability = "branch-to-probability.bin";  // double per branch
inline constexpr std::string_view kStateValuations = "valuations/states/valuations.bin";  // int16 per place

// The deterministic part of a model with fixed delays, beside the
// exponential part that the members above hold. An enabling is one
// deterministic activity enabled in one state; its branches are where the
// activity's completion leads (after zero-time resolution) with their
// probabilities.
inline constexpr std::string_view kDetStateToEnablings = "deterministic/state-to-enablings.bin";        // states + 1
inline constexpr std::string_view kDetEnablingToActivity = "deterministic/enabling-to-activity.bin";    // uint64
inline constexpr std::string_view kDetEnablingToDelay = "deterministic/enabling-to-delay.bin";          // double
inline constexpr std::string_view kDetEnablingToBranches = "deterministic/enabling-to-branches.bin";    // enablings + 1
inline constexpr std::string_view kDetBranchToTarget = "deterministic/branch-to-target.bin";            // uint64
inline constexpr std::string_view kDetBranchToProbability = "deterministic/branch-to-probability.bin";  // double
// A reward variable's expected impulse on each deterministic branch.
std::string deterministicImpulseMember(const std::string& id);

// What a reward annotation applies to, and where its values lie.
enum class AppliesTo { States, Branches };
const char* appliesToName(AppliesTo what);  // "states", "branches"
std::string rewardValuesMember(const std::string& id, AppliesTo what);

// The kinds of reward variable, in the numbering of the model's files.
// Reached: whether the condition (the rate reward, nonzero where it holds)
// held at some time up to each instant. FirstPassage: the reward earned
// until the condition of the Until variable right after it first holds
// (with neither rate nor impulse, the time until then).
enum class RewardKind {
  Instant = 0,
  Interval = 1,
  TimeAveraged = 2,
  SteadyState = 3,
  Reached = 4,
  FirstPassage = 5,
  Until = 6
};
// "instant", "interval", "time_averaged", "steady_state", "reached", "first_passage", "until"
const char* kindName(RewardKind kind);
std::optional<RewardKind> kindFromName(std::string_view name);
// The annotation's description: "instant of time", "steady state", ...
const char* kindText(RewardKind kind);
// A variable's kind and times in words, for its annotation's description:
// "instant of time at 1, 2", "interval of time over [0, 5]".
std::string rewardDescription(RewardKind kind, const std::vector<std::pair<double, double>>& times);

// Keys of index.json.
namespace key {
inline constexpr const char* kFormatVersion = "format-version";
inline constexpr const char* kFormatRevision = "format-revision";
inline constexpr const char* kModelData = "model-data";
inline constexpr const char* kName = "name";
inline constexpr const char* kFileData = "file-data";
inline constexpr const char* kTool = "tool";
inline constexpr const char* kToolVersion = "tool-version";
inline constexpr const char* kCreationDate = "creation-date";
inline constexpr const char* kParameters = "parameters";
inline constexpr const char* kTransitionSystem = "transition-system";
inline constexpr const char* kTime = "time";
inline constexpr const char* kPlayers = "#players";
inline constexpr const char* kStates = "#states";
inline constexpr const char* kInitialStates = "#initial-states";
inline constexpr const char* kChoices = "#choices";
inline constexpr const char* kChoiceActions = "#choice-actions";
inline constexpr const char* kBranches = "#branches";
inline constexpr const char* kBranchActions = "#branch-actions";
inline constexpr const char* kObservations = "#observations";
inline constexpr const char* kBranchProbabilityType = "branch-probability-type";
inline constexpr const char* kExitRateType = "exit-rate-type";
inline constexpr const char* kType = "type";
inline constexpr const char* kSize = "size";
inline constexpr const char* kAnnotations = "annotations";
inline constexpr const char* kRewards = "rewards";
inline constexpr const char* kAlias = "alias";
inline constexpr const char* kDescription = "description";
inline constexpr const char* kAppliesTo = "applies-to";
inline constexpr const char* kValuations = "valuations";
inline constexpr const char* kValuationStates = "states";
inline constexpr const char* kUnique = "unique";
inline constexpr const char* kClasses = "classes";
inline constexpr const char* kVariables = "variables";
// gen's own list of reward variables: name, annotation id, kind, times.
inline constexpr const char* kGenRewardVariables = "gen-reward-variables";
inline constexpr const char* kAnnotation = "annotation";
inline constexpr const char* kKind = "kind";
inline constexpr const char* kTimes = "times";
// gen's description of the deterministic part: the activities' names (an
// enabling's activity indexes this list) and the counts of enablings and
// branches.
inline constexpr const char* kGenDeterministic = "gen-deterministic";
inline constexpr const char* kActivities = "activities";
inline constexpr const char* kEnablings = "#enablings";
inline constexpr const char* kImpulses = "impulses";
}  // namespace key

// Values of index.json.
inline constexpr const char* kStochasticTime = "stochastic";  // a CTMC
// With 0 players, a time the format pairs with no model type (a Markov
// automaton has 1 player): a reader that knows only the format's types
// refuses the file instead of taking its exponential part for a CTMC.
inline constexpr const char* kDeterministicTime = "urgent-stochastic";
inline constexpr const char* kDoubleType = "double";
inline constexpr const char* kIntType = "int";
inline constexpr unsigned kFormatVersion = 1;

// An annotation id: the name lowercased, every other character than
// [0-9a-z_-] replaced by '_', short enough for a tar member name.
std::string annotationId(const std::string& name);
bool isAnnotationId(const std::string& id);

// The index of a CTMC with its rewards and state valuations.
struct Index {
  std::string modelName;
  std::string tool = "gen";
  std::string toolVersion = "1";
  long long creationDate = 0;
  std::vector<std::string> parameters;  // the writer's command line
  std::uint64_t states = 0;
  std::uint64_t branches = 0;
  struct Reward {
    std::string id;
    std::string alias;  // the reward variable's exact name
    std::string description;
    bool states = false;    // has a rate per state
    bool branches = false;  // has an impulse per branch
  };
  std::vector<Reward> rewards;
  bool uniqueValuations = true;
  std::vector<std::string> places;  // the valuation's 16-bit variables
  struct Variable {
    std::string name;
    std::string annotation;
    RewardKind kind = RewardKind::Instant;
    std::vector<std::pair<double, double>> times;  // start and stop, at full precision
  };
  std::vector<Variable> variables;
  // The deterministic part; none when `deterministic` is false.
  bool deterministic = false;
  std::vector<std::string> activities;
  std::uint64_t enablings = 0;
  std::uint64_t deterministicBranches = 0;
  std::vector<std::string> impulseIds;  // annotations with impulses on the deterministic branches
};

// index.json as gen writes it. Numbers are written in the shortest form that
// reads back as the same double.
std::string writeIndex(const Index& index);
// A double as writeIndex writes it.
std::string numberText(double value);

}  // namespace umb

#endif
