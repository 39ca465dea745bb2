#include "Measures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>

#include "Chain.h"
#include "Components.h"
#include "DelayTransient.h"
#include "FoxGlynn.h"
#include "Passage.h"
#include "Regenerative.h"
#include "SteadyState.h"
#include "Transient.h"

namespace solver {

namespace {

std::string format(const char* pattern, double a, double b = 0, double c = 0) {
  char buf[200];
  std::snprintf(buf, sizeof buf, pattern, a, b, c);
  return buf;
}

// Every figure of the input is finite, but sums of them may not be: a state
// whose rates out overflow is refused, named, before any method runs.
std::optional<Error> overflowingState(const Chain& chain, UmbReader& umb) {
  for (int s = 0; s < chain.states; s++)
    if (!std::isfinite(chain.outRate[s]))
      return Error{
          "State " + std::to_string(s) +
          format(" (exit rate %g): the rates out of it sum past the largest number solve holds.", umb.exitRate[s])};
  return std::nullopt;
}

// A reward variable with its rewards and times.
struct Wanted {
  const RewardVariable* variable;
  const UmbReward* reward;
  std::vector<std::pair<double, double>> times;
  const UmbReward* until = nullptr;  // a first passage's condition
};

bool isPassage(const Wanted& w) {
  return w.variable->kind == RewardKind::Reached || w.variable->kind == RewardKind::FirstPassage;
}

Outcome<std::vector<Wanted>> match(const UmbReader& umb, const std::vector<std::string>& chosen) {
  std::vector<Wanted> out;
  for (std::size_t k = 0; k < umb.variables.size(); k++) {
    const RewardVariable& v = umb.variables[k];
    // A condition is read with its first passage, and is no answer itself.
    if (v.kind == RewardKind::Until) continue;
    if (!chosen.empty() && std::find(chosen.begin(), chosen.end(), v.name) == chosen.end()) continue;
    Wanted w{&v, v.reward, v.times};
    if (v.kind == RewardKind::FirstPassage) {
      if (k + 1 == umb.variables.size() || umb.variables[k + 1].kind != RewardKind::Until)
        return Error{"The first-passage variable " + v.name + " is not followed by its condition."};
      w.until = umb.variables[k + 1].reward;
    }
    if (v.kind == RewardKind::Reached && w.times.empty())
      return Error{"The reached variable " + v.name + " lists no times."};
    for (const auto& [start, stop] : w.times) {
      if (!(start >= 0) || !std::isfinite(start) || !std::isfinite(stop) || stop < start ||
          ((v.kind == RewardKind::Instant || v.kind == RewardKind::Reached) && start != stop) ||
          (v.kind == RewardKind::TimeAveraged && !(stop > start)))
        return Error{"The variable " + v.name +
                     " has a time that does not fit its kind: " + format("[%g, %g]", start, stop)};
    }
    if (v.kind == RewardKind::SteadyState && !w.times.empty())
      return Error{"The steady-state variable " + v.name + " lists times."};
    out.push_back(std::move(w));
  }
  return out;
}

// A model with deterministic delays: the steady-state variables by the
// embedded Markov regenerative chain. With the long-run time shares p and
// completion frequencies c (per unit of time, by the state a deterministic
// activity completes in), a variable is sum_i p_i rho_i + sum_i c_i delta_i:
// rho as for a CTMC over the exponential transitions, delta_i the impulse a
// completion in state i earns on average over its branches.
Outcome<std::vector<ResultRow>> regenerativeSteadyState(UmbReader& umb, const Options& options, const NoteSink& note,
                                                        const std::vector<Wanted>& wanted) {
  if (options.steady.method != Method::Automatic && options.steady.method != Method::Power)
    note(std::string("-m ") + methodName(options.steady.method) +
         " is for CTMCs: a model with deterministic delays is solved by power iteration on its embedded chain");
  Chain chain = buildChain(umb);
  if (auto overflow = overflowingState(chain, umb)) return *overflow;
  std::vector<std::vector<double>> rho, delta;
  for (const Wanted& w : wanted) {
    rho.push_back(rewardRates(umb, *w.reward));
    std::vector<double> d(umb.det.target.empty() || w.reward->deterministicValues.empty() ? 0 : umb.states(), 0.0);
    for (std::size_t s = 0; s < d.size(); s++)
      for (std::uint64_t e = umb.det.stateStart[s]; e < umb.det.stateStart[s + 1]; e++)
        for (std::uint64_t b = umb.det.branchStart[e]; b < umb.det.branchStart[e + 1]; b++)
          d[s] += umb.det.probability[b] * w.reward->deterministicValues[b];
    for (std::size_t s = 0; s < rho.back().size(); s++)
      if (!std::isfinite(rho.back()[s]) || (!d.empty() && !std::isfinite(d[s])))
        return Error{"The variable " + w.variable->name + " earns in state " + std::to_string(s) +
                     " a reward rate past the largest number solve holds: its rate reward plus each impulse times "
                     "the rate of its branch overflows."};
    delta.push_back(std::move(d));
  }
  Progress progress;
  progress.restart();
  auto solved = solveRegenerative(umb, chain, options.steady, options.transient.epsilon, options.transient.maxSteps,
                                  progress, note);
  if (!solved) return solved.error();
  const RegenerativeResult& r = *solved;
  note(format("embedded chain: lazy power iteration to epsilon %g: ", options.steady.epsilon) +
       std::to_string(r.account.iterations) +
       format(" iterations, largest relative change %g at the end; each uniformisation over a delay leaves out at "
              "most %g of Poisson mass",
              r.account.lastChange, options.transient.epsilon));
  note(std::to_string(r.reachable) + " states reachable: " + std::to_string(r.bottomComponents) +
       " bottom strongly connected component(s), " + std::to_string(r.transientStates) + " transient states");
  std::vector<ResultRow> rows;
  for (std::size_t v = 0; v < wanted.size(); v++) {
    ResultRow row;
    row.variable = wanted[v].variable->name;
    row.kind = RewardKind::SteadyState;
    double value = 0, magnitude = 0;
    for (int s = 0; s < chain.states; s++) {
      value += r.probability[s] * rho[v][s];
      magnitude += r.probability[s] * std::fabs(rho[v][s]);
      if (!delta[v].empty()) {
        value += r.completions[s] * delta[v][s];
        magnitude += r.completions[s] * std::fabs(delta[v][s]);
      }
    }
    row.value = value;
    row.method = r.account.method;
    row.iterations = r.account.iterations;
    // Each share and frequency off by at most the relative error estimated
    // for them, so the value by that share of the sum of its terms' sizes.
    row.errorBound = r.account.errorBound * magnitude;
    if (!std::isfinite(row.value))
      return Error{"The value of " + row.variable +
                   " in the long run overflows: the sum of reward rates weighted by probability; no value is given."};
    rows.push_back(row);
  }
  return rows;
}

// The rows of a variable that solve leaves to the simulator: one per time
// point (one for steady state), in their places.
void leaveToSimulator(const Wanted& w, const std::string& reason, std::vector<ResultRow>& rows) {
  ResultRow row;
  row.variable = w.variable->name;
  row.kind = w.variable->kind;
  row.value = NAN;
  row.method = "simulate";
  row.leftForSimulator = reason;
  if (row.kind == RewardKind::SteadyState || row.kind == RewardKind::FirstPassage) {
    rows.push_back(row);
    return;
  }
  for (const auto& [start, stop] : w.times) {
    row.start = start;
    row.stop = stop;
    rows.push_back(row);
  }
}

// A model with deterministic delays in the class of the embedded chain:
// the transient variables by the supplementary variable (see
// DelayTransient.h), one row per time; or why not, for the simulator.
Outcome<std::vector<ResultRow>> delayTransientMeasures(UmbReader& umb, const Options& options, const NoteSink& note,
                                                       const std::vector<Wanted>& wanted) {
  Chain chain = buildChain(umb);
  if (auto overflow = overflowingState(chain, umb)) return *overflow;
  auto slots = delaySlots(umb);
  if (!slots) return slots.error();
  std::vector<std::vector<double>> rho;
  std::vector<const std::vector<double>*> rewards;
  std::map<double, std::size_t> timeIndex;
  for (const Wanted& w : wanted) {
    rho.push_back(rewardRates(umb, *w.reward));
    for (std::size_t s = 0; s < rho.back().size(); s++)
      if (!std::isfinite(rho.back()[s]))
        return Error{"The variable " + w.variable->name + " earns in state " + std::to_string(s) +
                     " a reward rate past the largest number solve holds."};
    for (const auto& [start, stop] : w.times) {
      timeIndex.emplace(stop, 0);
      if (w.variable->kind != RewardKind::Instant) timeIndex.emplace(start, 0);
    }
  }
  for (const auto& r : rho) rewards.push_back(&r);
  std::vector<double> times;
  for (auto& [t, index] : timeIndex) {
    index = times.size();
    times.push_back(t);
  }
  Progress progress;
  progress.restart();
  auto solved = solveDelayTransient(umb, chain, *slots, rewards, times, options.transient.epsilon,
                                    options.transient.maxSteps, progress);
  if (!solved) return solved.error();
  note("transient by the clock's age in steps of 1/" + std::to_string(solved->stepsPerDelay / 4) + ", 1/" +
       std::to_string(solved->stepsPerDelay / 2) + " and 1/" + std::to_string(solved->stepsPerDelay) +
       " of the shortest delay, extrapolated: " + std::to_string(solved->steps) + " steps of the finest");
  std::vector<ResultRow> rows;
  for (std::size_t v = 0; v < wanted.size(); v++) {
    ResultRow row;
    row.variable = wanted[v].variable->name;
    row.kind = wanted[v].variable->kind;
    row.method = "age steps";
    row.iterations = solved->steps;
    for (const auto& [start, stop] : wanted[v].times) {
      row.start = start;
      row.stop = stop;
      const std::size_t b = timeIndex.at(stop);
      if (row.kind == RewardKind::Instant) {
        row.value = solved->instant[v][b];
        row.errorBound = solved->instantError[v][b];
      } else {
        const std::size_t a = timeIndex.at(start);
        row.value = solved->cumulative[v][b] - solved->cumulative[v][a];
        row.errorBound = solved->cumulativeError[v][b] + solved->cumulativeError[v][a];
        if (row.kind == RewardKind::TimeAveraged) {
          row.value /= stop - start;
          row.errorBound /= stop - start;
        }
      }
      rows.push_back(row);
    }
  }
  return rows;
}

// A model with deterministic delays: what the embedded chain gives exactly
// (the steady-state variables of a model in its class) and the transient
// variables of that class by the clock's age, the rest left to the
// simulator with the reason.
Outcome<std::vector<ResultRow>> regenerativeMeasures(UmbReader& umb, const Options& options, const NoteSink& note,
                                                     const std::vector<Wanted>& wanted) {
  const std::string outside = outsideRegenerativeClass(umb);
  std::vector<Wanted> steady, transient;
  // A completion's impulse at an instant of time is a rate of an atom:
  // those variables stay with the simulator, as do intervals with one.
  auto completionImpulses = [&](const Wanted& w) {
    for (double d : w.reward->deterministicValues)
      if (d != 0) return true;
    return false;
  };
  auto isTransient = [&](const Wanted& w) {
    return outside.empty() && w.variable->kind != RewardKind::SteadyState && !w.times.empty() && !completionImpulses(w);
  };
  for (const Wanted& w : wanted) {
    if (w.variable->kind == RewardKind::SteadyState && outside.empty()) steady.push_back(w);
    if (isTransient(w)) transient.push_back(w);
  }
  std::vector<ResultRow> solved, stepped;
  std::string notStepped;
  if (!steady.empty()) {
    auto rows = regenerativeSteadyState(umb, options, note, steady);
    if (!rows) return rows.error();
    solved = std::move(*rows);
  }
  if (!transient.empty()) {
    auto rows = delayTransientMeasures(umb, options, note, transient);
    if (rows)
      stepped = std::move(*rows);
    else
      notStepped = rows.error().message;
  }
  std::vector<ResultRow> rows;
  std::size_t next = 0, nextStepped = 0;
  for (const Wanted& w : wanted) {
    if (w.variable->kind == RewardKind::SteadyState && outside.empty()) {
      rows.push_back(solved[next++]);
      continue;
    }
    if (isTransient(w) && notStepped.empty()) {
      for (std::size_t t = 0; t < w.times.size(); t++) rows.push_back(stepped[nextStepped++]);
      continue;
    }
    leaveToSimulator(w,
                     !outside.empty()        ? outside
                     : !notStepped.empty()   ? "the transient solution by the clock's age: " + notStepped
                     : completionImpulses(w) ? std::string("a transient variable with an impulse on a deterministic "
                                                           "completion")
                                             : std::string("a variable of kind ") + kindName(w.variable->kind) +
                                                   " of a model with fixed delays",
                     rows);
  }
  return rows;
}

// The reached and first-passage variables: exactly for a CTMC, left to the
// simulator for a model with fixed delays.
Outcome<std::vector<ResultRow>> passageRows(UmbReader& umb, const Options& options, const NoteSink& note,
                                            const std::vector<Wanted>& wanted) {
  std::vector<ResultRow> rows;
  if (umb.deterministic && !umb.det.activity.empty()) {
    for (const Wanted& w : wanted)
      leaveToSimulator(w,
                       std::string("a variable of kind ") + kindName(w.variable->kind) +
                           " of a model with fixed delays: solve gives these for CTMCs only",
                       rows);
    return rows;
  }
  Chain chain = buildChain(umb);
  if (auto overflow = overflowingState(chain, umb)) return *overflow;
  std::vector<PassageVariable> variables;
  for (const Wanted& w : wanted) {
    PassageVariable p{w.variable, {}, {}};
    const bool reached = w.variable->kind == RewardKind::Reached;
    p.condition = rewardRates(umb, reached ? *w.reward : *w.until);
    // Neither rate nor impulse: the time until the condition holds.
    if (!reached && (!w.reward->stateValues.empty() || !w.reward->branchValues.empty()))
      p.rho = rewardRates(umb, *w.reward);
    for (const std::vector<double>* values : {&p.condition, &p.rho})
      for (std::size_t s = 0; s < values->size(); s++)
        if (!std::isfinite((*values)[s]))
          return Error{"The variable " + w.variable->name + " has in state " + std::to_string(s) +
                       " a condition or reward rate past the largest number solve holds."};
    variables.push_back(std::move(p));
  }
  return passageMeasures(chain, variables, options, note);
}

Outcome<std::vector<ResultRow>> ordinaryMeasures(UmbReader& umb, const Options& options, const NoteSink& note,
                                                 const std::vector<Wanted>& wanted);

}  // namespace

Outcome<std::vector<ResultRow>> computeMeasures(UmbReader& umb, const Options& options, const NoteSink& note) {
  auto matched = match(umb, options.variables);
  if (!matched) return matched.error();
  std::vector<Wanted> ordinary, passage;
  for (const Wanted& w : *matched) (isPassage(w) ? passage : ordinary).push_back(w);
  if (passage.empty()) return ordinaryMeasures(umb, options, note, ordinary);
  // The passages first: the ordinary solve lets go of the file's pages.
  auto first = passageRows(umb, options, note, passage);
  if (!first) return first.error();
  std::vector<ResultRow> rest;
  if (!ordinary.empty()) {
    auto solved = ordinaryMeasures(umb, options, note, ordinary);
    if (!solved) return solved.error();
    rest = std::move(*solved);
  }
  // Both in the variables' order: merged back into it.
  std::vector<ResultRow> rows;
  std::size_t a = 0, b = 0;
  for (const Wanted& w : *matched) {
    std::vector<ResultRow>& from = isPassage(w) ? *first : rest;
    std::size_t& at = isPassage(w) ? a : b;
    while (at < from.size() && from[at].variable == w.variable->name) rows.push_back(std::move(from[at++]));
  }
  return rows;
}

namespace {

Outcome<std::vector<ResultRow>> ordinaryMeasures(UmbReader& umb, const Options& options, const NoteSink& note,
                                                 const std::vector<Wanted>& wanted) {
  // A file with a deterministic part none of whose activities is enabled in
  // any state (gen writes reachable states only) is a CTMC.
  if (umb.deterministic && !umb.det.activity.empty()) return regenerativeMeasures(umb, options, note, wanted);

  Chain chain = buildChain(umb);
  if (auto overflow = overflowingState(chain, umb)) return *overflow;
  bool anySteady = false, anyTransient = false;
  for (const Wanted& w : wanted) {
    if (w.variable->kind == RewardKind::SteadyState)
      anySteady = true;
    else if (!w.times.empty())
      anyTransient = true;
  }
  // The component search comes before the reward vectors, so that its
  // scratch vectors and they are never held together.
  Components components;
  if (anySteady) {
    components = findComponents(chain.incoming, chain.initial);
    std::vector<int>().swap(components.classOf);
  }
  std::vector<std::vector<double>> rho;
  std::vector<double> largest;  // max |rho| per variable, for the error bounds
  for (const Wanted& w : wanted) {
    rho.push_back(rewardRates(umb, *w.reward));
    double m = 0;
    for (std::size_t s = 0; s < rho.back().size(); s++) {
      const double r = rho.back()[s];
      if (!std::isfinite(r))
        return Error{"The variable " + w.variable->name + " earns in state " + std::to_string(s) +
                     format(" (exit rate %g) a reward rate past the largest number solve holds: its rate reward plus "
                            "each impulse times the rate of its branch overflows.",
                            umb.exitRate[s])};
      m = std::max(m, std::fabs(r));
    }
    largest.push_back(m);
    // A steady-state variable needs its rates only once the long-run
    // vector is there: they are read again then, so that the solve does not
    // hold a vector per variable beside it.
    if (w.variable->kind == RewardKind::SteadyState) std::vector<double>().swap(rho.back());
  }
  umb.release();
  Progress progress;

  std::vector<ResultRow> rows;
  // Steady state: one long-run distribution serves every such variable.
  LongRun longRun;
  if (anySteady) {
    std::size_t reachable = components.transient.size();
    for (const auto& b : components.bottom) reachable += b.size();
    note(std::to_string(reachable) + " states reachable: " + std::to_string(components.bottom.size()) +
         " bottom strongly connected component(s), " + std::to_string(components.transient.size()) +
         " transient states");
    progress.restart();
    auto solved = solveLongRun(chain, components, options.steady, progress);
    if (!solved) return solved.error();
    longRun = std::move(*solved);
    for (const std::string& line : longRun.switches) note(line);
    // What the values are taken from next is read again from the .umb: let
    // go of what the solve alone needed, the matrix too unless a transient
    // solution still needs it.
    components = Components();
    if (!anyTransient) chain.incoming = RateMatrix();
  }

  // Transient: every time point any variable needs, in one pass.
  TransientValues transient;
  std::vector<double> times;
  std::map<double, std::size_t> timeIndex;
  std::vector<const std::vector<double>*> transientRewards;
  std::vector<std::size_t> rewardIndex(wanted.size(), 0);
  if (anyTransient) {
    for (std::size_t v = 0; v < wanted.size(); v++) {
      if (wanted[v].variable->kind == RewardKind::SteadyState || wanted[v].times.empty()) continue;
      rewardIndex[v] = transientRewards.size();
      transientRewards.push_back(&rho[v]);
      for (const auto& [start, stop] : wanted[v].times) {
        timeIndex.emplace(stop, 0);
        if (wanted[v].variable->kind != RewardKind::Instant) timeIndex.emplace(start, 0);
      }
    }
    for (auto& [t, index] : timeIndex) {
      index = times.size();
      times.push_back(t);
    }
    const UniformisationPlan plan = planUniformisation(chain, times.back(), options.transient.epsilon);
    note(format("uniformisation at rate q = %.6g: the latest time, %g, needs up to ", plan.rate, times.back()) +
         (plan.steps == kTooManySteps ? "more than " : "") + std::to_string(plan.steps) +
         format(" steps (q*t = %.6g)", plan.rate * times.back()));
    progress.restart();
    auto solved = solveTransient(chain, transientRewards, times, options.transient, progress);
    if (!solved) return solved.error();
    transient = std::move(*solved);
    if (transient.detectedAt >= 0)
      note("uniformisation: the distribution stopped changing at step " + std::to_string(transient.detectedAt));
  }

  for (std::size_t v = 0; v < wanted.size(); v++) {
    const Wanted& w = wanted[v];
    ResultRow row;
    row.variable = w.variable->name;
    row.kind = w.variable->kind;
    if (row.kind == RewardKind::SteadyState) {
      double value = 0, magnitude = 0;
      if (rho[v].empty()) rho[v] = rewardRates(umb, *w.reward);
      for (int s = 0; s < chain.states; s++) {
        value += longRun.probability[s] * rho[v][s];
        magnitude += longRun.probability[s] * std::fabs(rho[v][s]);
      }
      std::vector<double>().swap(rho[v]);
      row.value = value;
      row.method = longRun.account.method;
      row.iterations = longRun.account.iterations;
      // Each probability off by at most the relative error estimated for
      // the solve, so the value by that share of the sum of its terms' sizes.
      row.errorBound = longRun.account.errorBound * magnitude;
      rows.push_back(row);
      continue;
    }
    const std::size_t r = rewardIndex[v];
    // The share of the answer uniformisation left out: the truncated Poisson
    // mass times the largest reward rate (times the length for accumulated
    // reward).
    const double detection = transient.detectedAt >= 0 ? options.transient.epsilon : 0.0;
    for (const auto& [start, stop] : w.times) {
      row.start = start;
      row.stop = stop;
      row.method = "uniformisation";
      const std::size_t b = timeIndex.at(stop);
      row.iterations = transient.stepsFor[b];
      if (row.kind == RewardKind::Instant) {
        row.value = transient.instant[r][b];
        row.errorBound = (transient.instantTruncated[b] + detection) * largest[v];
      } else {
        const std::size_t a = timeIndex.at(start);
        row.value = transient.cumulative[r][b] - transient.cumulative[r][a];
        row.errorBound =
            ((transient.truncated[b] + detection) * stop + (transient.truncated[a] + detection) * start) * largest[v];
        if (row.kind == RewardKind::TimeAveraged) {
          row.value /= stop - start;
          row.errorBound /= stop - start;
        }
      }
      rows.push_back(row);
    }
  }
  for (const ResultRow& row : rows) {
    if (!row.leftForSimulator.empty() || (std::isfinite(row.value) && std::isfinite(row.errorBound))) continue;
    const std::string when = row.kind == RewardKind::SteadyState ? "in the long run"
                             : row.kind == RewardKind::Instant   ? format("at time %g", row.stop)
                                                                 : format("over [%g, %g]", row.start, row.stop);
    return Error{"The value of " + row.variable + " " + when + format(" is %g", row.value) +
                 format(" with error bound %g: the sum of reward rates weighted by probability (or time) overflows; no "
                        "value is given.",
                        row.errorBound)};
  }
  return rows;
}

}  // namespace

}  // namespace solver
