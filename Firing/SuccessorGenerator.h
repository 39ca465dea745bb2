#ifndef SUCCESSOR_GENERATOR_H
#define SUCCESSOR_GENERATOR_H

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "BaseActionClass.h"
#include "BaseGroupClass.h"
#include "Expansion.h"
#include "List.h"

class PVModel;
class TraceFileContainer;

// The two ways of recording a state's transitions. Normal: rates, with
// zero-time branches split by normalised weights. Deterministic: the
// transitions of deterministic actions as probabilities marked by a minus
// sign, every zero-time branch weighed by its case probability, and the
// delays enabled in each state reported.
enum class Procedure { Normal, Deterministic };

// The firing rules of the model behind one operation: given a state vector,
// report every stable successor with its value (and, in the deterministic
// procedure, the delays enabled) to an Expansion. Timed firing, Erlang
// ageing, zero-time resolution by rank and weight and case probabilities all
// live here; the explorer only numbers what comes out.
//
// Each instance drives one reward model and must be used from one thread.
// Expanding a state depends on nothing but its vector, so any instance may
// expand any state, in any order.
//
// The vector is the model's own, followed, when the model has Erlang
// actions, by the phase of each Erlang action (an int16_t each, in the order
// of the model's action list): the chain is then the phase-type expansion,
// and states that differ only in a phase are different states. Markings
// stay the model's: rewards and valuations read the model's places alone.
class SuccessorGenerator {
 public:
  // Longest zero-time path accepted: 23 firings in a row.
  static constexpr int kMaxInstantFirings = 23;

  // Lists the model's actions and groups; every reward variable takes part.
  explicit SuccessorGenerator(PVModel& model);
  SuccessorGenerator(const SuccessorGenerator&) = delete;
  SuccessorGenerator& operator=(const SuccessorGenerator&) = delete;

  // Trace output for the run, or null; the trace level is fixed from here on.
  void setTrace(TraceFileContainer* trace);
  void setProcedure(Procedure procedure) { procedure_ = procedure; }
  // How messages name the model ("model file ..." or "model ..."); none unless set.
  void setModelLabel(std::string label) { modelLabel_ = std::move(label); }
  // Whether expansions carry, per successor and reward variable, the sum of
  // value times impulse over the paths that reach it (Expansion::impulseSums):
  // the impulse of every firing on a path, the timed one and each zero-time
  // one after it, evaluated on the marking that firing left. Costs an impulse
  // evaluation per firing, so it is off unless asked for; replicas are then
  // fired, not replayed.
  void setBranchImpulses(bool on);
  bool branchImpulses() const { return impulseCount_ > 0; }

  // Bytes of a state vector: the model's state size, plus the phases.
  std::size_t vectorSize() const { return stateSize_; }
  // The vector of the model's current marking with every Erlang action in
  // its first phase: the initial state.
  void initialVector(char* vector);

  // Reports the successors of `state`, the explored state numbered `number`
  // (named in messages), as one state of `out`. Leaves the model in a state
  // of its own choosing. A value that cannot be right stops with GenError.
  void expand(const char* state, std::uint32_t number, Expansion& out);

  PVModel& model() { return model_; }
  int numActions() const { return actionList_.getNumItems(); }
  // OR of 1 (exponential or instantaneous), 2 (deterministic), 4 (Erlang);
  // 0xF000 when an action has any other distribution.
  std::uint32_t distributionFlags() const { return distributionFlags_; }
  bool hasInstantActions() const { return !instantActions_.empty(); }
  // The names of the deterministic actions, in the model's order: the
  // activity numbers that Expansion::addDelay gets index this list.
  std::vector<std::string> deterministicNames() const;
  // Whether an instantaneous action is enabled in the model's current state.
  bool anyInstantEnabled();

  // --- Running the model along one path instead of exploring it ---
  // The simulator draws where the generator branches; the rules of which
  // action may fire and with what weight stay the ones above.

  // A timed activity: its actions (one per case) timedAction(first) to
  // timedAction(first + count - 1), which share its enabling and its delay.
  struct TimedActivity {
    std::uint32_t first, count;
  };
  const std::vector<TimedActivity>& timedActivities() const { return activities_; }
  BaseActionClass* timedAction(std::size_t i) const { return timedActions_[i]; }
  // Numbers uniform on [0, 1), one per draw.
  class Uniform {
   public:
    virtual double next() = 0;

   protected:
    ~Uniform() = default;
  };
  // The model's marking and the phases from a vector, and back. A vector
  // orders a Rep's replicas, so loading one may hand a replica's part to
  // another: only what the vector holds survives the round trip.
  void loadState(const char* vector) { setState(vector); }
  void saveState(char* vector);
  // The case of `activity` that completes, drawn by the case probabilities.
  BaseActionClass* drawCase(const TimedActivity& activity, Uniform& uniform);
  // The probability of the case `action` among its activity's cases.
  double caseShare(BaseActionClass* action) { return caseProbability(action); }
  // An Erlang activity not yet in its last phase moves to its next one
  // (every case with it); no marking changes.
  void agePhase(BaseActionClass* action);
  // Fires the timed action `action` on the model as it stands, then the
  // instantaneous actions after it until none is enabled, each drawn among
  // the competitors of the highest rank by its weight; Erlang phases settle
  // as in expand. Returns the number of firings on the path, the timed one
  // included. With branch impulses on, pathImpulses then holds each reward
  // variable's impulses summed over the path. A value that cannot be right
  // stops with GenError, as in expand; a marking outside its bounds with
  // the ModelFault, which the caller completes with where it happened.
  int firePath(BaseActionClass* action, Uniform& uniform);
  // Timed activities (indices into timedActivities) whose enabling firePath
  // also tests in the vanishing markings of a path; interrupted(a) then says
  // whether activity a was disabled in one of them, if only for an instant.
  void watchInterruptions(std::vector<std::uint32_t> activities);
  bool interrupted(std::size_t activity) const { return interrupted_[activity] != 0; }
  const double* pathImpulses(int firings) const {
    return pathImpulse_.data() + static_cast<std::size_t>(firings - 1) * impulseCount_;
  }

 private:
  BaseGroupClass* groupOf(BaseActionClass* action);
  // The case probability of a timed or instantaneous action, once the
  // weight it rests on is known to be usable.
  double caseProbability(BaseActionClass* action);
  // Sets the model's marking and the Erlang actions' phases from a vector.
  void setState(const char* vector);
  // Writes the Erlang actions' phases after the model's part of `vector`.
  void writePhases(char* vector) const;
  // Writes the model's marking and the phases into next_.
  void readNext();
  // After `fired` (timed or instantaneous) fired: the activity it belongs
  // to starts again at phase 1, and so does every Erlang action the new
  // marking disables. An Erlang action that stays enabled keeps its phase:
  // its time so far is not lost because another activity completed.
  void settlePhases(BaseActionClass* fired);
  // Fires one enabled timed action into next_; its value is the rate
  // (normal) or the signed case probability (deterministic).
  double fireTimed(BaseActionClass* action, const char* state, Expansion& out);
  // Follows every zero-time path out of the vector in next_, which the model
  // also holds, recording the stable states at their ends.
  void resolveZeroTime(double probability, int depth, Expansion& out);
  void recordStable(double value, int depth, Expansion& out);
  // The impulses of a path after `action`, its firing number `level` (0: the
  // timed one): those of the path before it plus what this firing earns.
  void recordImpulses(BaseActionClass* action, int level);

  // Interchangeable replicas. In a state where a replica of a Rep holds the
  // same part as the replica before it, its actions lead where the same
  // actions of that replica led, with the same values: their firings are
  // replayed from the log (value by value, in the same order, so that every
  // sum is formed exactly as firing them would form it) instead of done
  // again. A Rep of n replicas in a few local states then costs a few
  // firings per state instead of n. Off while tracing (each firing is
  // traced), with Erlang actions (their phases lie outside the replicas' parts) and
  // with a last-fired-action suffix in the vector.
  void findReplicas();
  // Stops with GenError when an Erlang action lies in a Rep of several
  // replicas: the Rep sorts its replicas' parts of the vector, and the
  // phases, which lie after the model's part, would not move with them.
  void refuseErlangReplicas();
  // When a replica starts at timed action `timed` and equals the one
  // before, replays that one's actions and returns how many; else 0.
  std::size_t replayReplica(std::size_t timed, const char* state, Expansion& out);
  void logArrival(std::uint32_t successor, double value) {
    if (replicasOn_) firingLog_.push_back(Logged{successor, value});
  }

  // The rules in which the two procedures differ.
  // The path probability after a lone enabled instantaneous action fires.
  double afterLoneFiring(BaseActionClass* action, double probability);
  // When `action` wins a competition of several: its share of the branching
  // and the probability of the path after it.
  struct Branch {
    double share;
    double path;
  };
  Branch afterBranch(BaseActionClass* action, double probability, double totalWeight);
  // Moves the enabled actions of the highest rank among the `count` in
  // `enabled` to its front: only they compete. Returns how many.
  int highestRank(BaseActionClass** enabled, int count) const;
  // Whether a transition of this value is written at all.
  bool recorded(double value) const;

  // A rate that cannot be right stops the run; a rate of 0 gets one warning
  // per activity (as a note of the expansion).
  void checkRate(BaseActionClass* action, double rate, Expansion& out);
  void noteZeroRate(BaseActionClass* action, Expansion& out);
  // The total weight of the competing actions of one branching (normal
  // procedure), each weight checked.
  double competingWeight(BaseActionClass** competing, int count) const;
  void noteOverfullBranching(BaseActionClass** fired, int count, double sum, Expansion& out);
  [[noreturn]] void zeroTimeLimitExceeded() const;
  [[noreturn]] void vanishingPathLost(BaseActionClass** enabled, int count, bool negativeRanks,
                                      double totalWeight) const;
  // Where a zero-time path was lost: the model, the explored state it
  // started from and the markings the model holds now.
  std::string vanishingPlace() const;
  [[noreturn]] void badValue(const char* what, BaseActionClass* action, double value, const char* requirement) const;

  char* scratchState(int level) { return scratch_.data() + static_cast<std::size_t>(level) * stateSize_; }
  BaseActionClass** enabledAt(int level) { return enabled_.data() + static_cast<std::size_t>(level) * instantSlots_; }

  PVModel& model_;
  Procedure procedure_ = Procedure::Normal;
  List<BaseActionClass> actionList_;
  List<BaseGroupClass> groupList_;
  BaseGroupClass** groups_ = nullptr;
  std::vector<BaseActionClass*> timedActions_;
  std::vector<BaseActionClass*> instantActions_;
  std::vector<BaseActionClass*> erlangActions_;
  std::unordered_map<const BaseActionClass*, std::uint32_t> deterministicIndex_;
  std::vector<BaseActionClass*> deterministicActions_;
  std::vector<TimedActivity> activities_;    // runs of timedActions_ with one group
  std::vector<std::uint32_t> watched_;       // activities whose interruptions firePath records
  std::vector<char> interrupted_;            // by activity: disabled in a vanishing marking of the last path
  std::vector<std::uint32_t> instantIndex_;  // by ActionNumber - instantBase_: position in instantActions_
  int instantBase_ = 0;
  std::uint32_t distributionFlags_ = 0;
  std::size_t modelSize_;  // the model's part of a vector
  std::size_t stateSize_;  // the whole vector: the model's part and the phases
  std::size_t instantSlots_;

  std::string modelLabel_;
  TraceFileContainer* trace_ = nullptr;
  // Whether the trace wants messages of level 1 and 4; the hot paths test
  // these instead of asking.
  bool trace1_ = false;
  bool trace4_ = false;

  // The state being expanded: its vector, its number and where it goes.
  const char* explored_ = nullptr;
  std::uint32_t exploredNumber_ = 0;
  double timedValue_ = 0.0;  // value of the timed transition that started the path

  struct Replicas {
    std::uint32_t timedPerReplica;
    std::size_t firstPart, partSize;
  };
  // Where replica `replica` (1 and up) of replicas_[group] begins in
  // timedActions_; ordered by position, enclosing Reps first.
  struct ReplicaStart {
    std::uint32_t timed, group, replica;
  };
  // What one firing added to the expansion, in order: a value to a
  // successor, or a delay (successor kDelay).
  struct Logged {
    std::uint32_t successor;
    double value;
  };
  static constexpr std::uint32_t kDelay = UINT32_MAX;
  struct Span {
    std::uint32_t begin, end;
  };
  std::vector<Replicas> replicas_;
  std::vector<ReplicaStart> replicaStarts_;
  std::size_t nextStart_ = 0;      // first entry of replicaStarts_ not yet passed
  bool replicasOn_ = false;        // replicas_ usable in this run
  std::vector<Logged> firingLog_;  // of the state being expanded
  ScientificText valueText_;       // the successors' values as written
  std::vector<Span> firingSpan_;   // by timed action: its part of firingLog_

  std::size_t impulseCount_ = 0;           // reward variables whose impulses are summed; 0 when off
  std::vector<double> pathImpulse_;        // per level of a path, impulseCount_ sums
  std::vector<char> next_;                 // the vector the last firing produced
  std::vector<char> scratch_;              // one state per level of a zero-time path
  std::vector<BaseActionClass*> enabled_;  // the enabled instantaneous actions, per level
  // The notes this instance made, each with the lowest state number it was
  // made for: the numbering thread expands some states ahead of others, so
  // an instance may meet a state numbered before one it noted already, and
  // the console must name the first state in number order.
  std::map<std::vector<std::uint32_t>, std::uint32_t> notedBranchings_;
  // Notes of zero rates are keyed {kZeroRateNote, action}; branching notes
  // list instantaneous actions, never this number.
  static constexpr std::uint32_t kZeroRateNote = UINT32_MAX;
  std::map<std::string, std::uint32_t> zeroRateNoted_;  // by action name
};

#endif
