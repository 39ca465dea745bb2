#include "Regenerative.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "Components.h"
#include "FoxGlynn.h"

namespace solver {

namespace {

using umb::DeterministicPart;
using umb::UmbReader;

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

// A delay in the fewest digits that read back as the same double, so that
// two delays a refusal names apart never print alike.
std::string exactly(double v) { return umb::numberText(v); }

// A state as the model names it: its number and its markings.
std::string stateName(const UmbReader& umb, std::size_t s) {
  std::string name = "State " + std::to_string(s);
  const std::size_t places = umb.places.size();
  if (places == 0 || umb.valuations.size() < (s + 1) * places) return name;
  name += " (";
  for (std::size_t p = 0; p < places; p++)
    name += (p ? ", " : "") + umb.places[p] + " = " + std::to_string(umb.valuations[s * places + p]);
  return name + ")";
}

constexpr const char* kSimulatorHint =
    "; the simulator answers such a model with confidence intervals: simulate (make simulate)";

// The share of the iterate that stays put in each step: it makes the
// iteration converge on embedded chains that are periodic (a queue that
// alternates between idle and busy periods, say) at the price of slowing the
// slowest modes by a fifth.
constexpr double kLaziness = 0.2;

// One deterministic activity: its delay, the states where it is enabled and
// the uniformisation of its subordinated chain over the delay.
struct Delay {
  double tau = 0;
  std::vector<int> states;
  double rate = 0;  // uniformisation rate: the largest rate out of its states
  DelayTerms terms;
};

class Embedded {
 public:
  Embedded(const UmbReader& umb, const Chain& chain, std::vector<int> activityOf, std::vector<std::uint64_t> enabling,
           std::vector<Delay> delays, double unit)
      : time(chain.states, 0.0),
        completions(chain.states, 0.0),
        unit(unit),
        det_(umb.det),
        chain_(chain),
        activityOf_(std::move(activityOf)),
        enabling_(std::move(enabling)),
        delays_(std::move(delays)),
        y_(chain.states, 0.0),
        next_(chain.states, 0.0),
        timeBlocks_(chain.states, 0.0),
        completionBlocks_(chain.states, 0.0) {}

  // out = x P, the embedded chain's step; leaves in `time` the expected
  // time the periods started from x spend in each state (x Psi, and x_s /
  // rate_s for the others) in units of `unit`, and in `completions` where
  // they end by a completion (x Omega).
  void product(const std::vector<double>& x, std::vector<double>& out) {
    const int n = chain_.states;
    std::fill(out.begin(), out.end(), 0.0);
    for (int s = 0; s < n; s++) {
      if (activityOf_[s] >= 0) continue;
      completions[s] = 0;
      const double rate = chain_.outRate[s];
      if (rate > 0) {
        time[s] = x[s] / rate / unit;
      } else {
        // Absorbing: it stays, and its time only counts within its own
        // component, where it is all there is.
        time[s] = x[s];
        out[s] += x[s];
      }
    }
    for (Delay& d : delays_) uniformise(d, x);
    // Completions branch by the activity's probabilities.
    for (const Delay& d : delays_)
      for (int s : d.states) {
        const std::uint64_t e = enabling_[s];
        for (std::uint64_t b = det_.branchStart[e]; b < det_.branchStart[e + 1]; b++)
          out[det_.target[b]] += completions[s] * det_.probability[b];
      }
    // Exponential jumps that start a period: out of a state without a
    // delay, or out of the states of a delay into a state where it is not
    // enabled (a preemption). Moves inside a subordinated chain are not.
    for (int j = 0; j < n; j++) {
      const int mine = activityOf_[j];
      double sum = 0;
      chain_.incoming.forEach(j, [&](int i, double rate) {
        if (mine < 0 || activityOf_[i] != mine) sum += rate * time[i];
      });
      out[j] += sum * unit;
    }
  }

  std::vector<double> time, completions;
  // The unit of `time`: the shortest delay where that is below 1, so that
  // the time of a period over a delay as short as 1e-300 neither underflows
  // nor loses its relative accuracy.
  const double unit;

 private:
  // From x on the delay's states: completions = x Omega and time = x Psi by
  // uniformisation, y_(k+1) = y_k (I + Q_d / rate),
  //   x Omega = sum_k p_k y_k,  x Psi = tau sum_k u_k y_k
  // with u_k = P(N > k) / (rate tau), kept apart from tau so that neither
  // sum loses its relative accuracy however short the delay. A delay
  // uniformised over a million steps adds a million terms, whose rounding
  // would mostly go the same way (1e-11 relative on the time of a
  // delay of 7e5 steps): each sum is taken in blocks of about sqrt(right)
  // steps, each block's sum added to the blocks' total, so that rounding
  // grows with 2 sqrt(right) additions instead of right, for one addition
  // more per state and block (compensated summation cost half the time
  // again).
  void uniformise(Delay& d, const std::vector<double>& x) {
    const double length = d.tau / unit;
    for (int s : d.states) {
      y_[s] = x[s];
      completions[s] = completionBlocks_[s] = 0;
      time[s] = timeBlocks_[s] = 0;
    }
    if (d.rate == 0) {
      for (int s : d.states) {
        completions[s] = y_[s];
        time[s] = length * y_[s];
        y_[s] = 0;
      }
      return;
    }
    const long right = d.terms.right;
    const long block = std::max(1L, static_cast<long>(std::sqrt(static_cast<double>(right))));
    for (long k = 0;; k++) {
      const double p = d.terms.weight[static_cast<std::size_t>(k)];
      const double stay = length * d.terms.stay[static_cast<std::size_t>(k)];
      for (int s : d.states) {
        completions[s] += p * y_[s];
        time[s] += stay * y_[s];
      }
      if (k == right) break;
      if ((k + 1) % block == 0)
        for (int s : d.states) {
          completionBlocks_[s] += completions[s];
          timeBlocks_[s] += time[s];
          completions[s] = time[s] = 0;
        }
      // y is 0 outside the delay's states, so the inflow counts only moves
      // inside its subordinated chain.
      for (int j : d.states) {
        const double in = chain_.incoming.dot(j, y_.data());
        next_[j] = y_[j] * (1.0 - chain_.outRate[j] / d.rate) + in / d.rate;
      }
      for (int s : d.states) y_[s] = next_[s];
    }
    for (int s : d.states) {
      y_[s] = 0;
      completions[s] += completionBlocks_[s];
      time[s] += timeBlocks_[s];
    }
  }

  const DeterministicPart& det_;
  const Chain& chain_;
  std::vector<int> activityOf_;                        // per state: its enabled activity, or -1
  std::vector<std::uint64_t> enabling_;                // per state with one: its enabling
  std::vector<Delay> delays_;                          // by activity that is enabled somewhere
  std::vector<double> y_, next_;                       // the subordinated chain's iterate, 0 outside it
  std::vector<double> timeBlocks_, completionBlocks_;  // the sums of the blocks finished
};

}  // namespace

namespace {

// Each state's deterministic activity (its slot among the delays, or -1)
// and enabling, and each delay with its states; or why the model is outside
// the class solved here.
struct Assignment {
  std::vector<int> activityOf;
  std::vector<std::uint64_t> enabling;
  std::vector<Delay> delays;
};

Outcome<Assignment> assignDelays(const UmbReader& umb) {
  const DeterministicPart& det = umb.det;
  const int n = static_cast<int>(umb.states());
  Assignment out;
  out.activityOf.assign(n, -1);
  out.enabling.assign(n, 0);
  // Activities are told apart by name: the replicas of a Rep are kept
  // sorted, so the same activity of a replica that moves in the order
  // would otherwise look like another one, preempting its own delay.
  std::vector<int> slot(det.activities.size(), -1);
  std::map<std::string, std::size_t> byName;
  std::vector<std::size_t> named(det.activities.size());
  for (std::size_t a = 0; a < det.activities.size(); a++) named[a] = byName.emplace(det.activities[a], a).first->second;
  std::vector<Delay>& delays = out.delays;
  std::vector<int> firstState;  // by slot: where its delay was first seen
  for (int s = 0; s < n; s++) {
    const std::uint64_t from = det.stateStart[s], to = det.stateStart[s + 1];
    if (to - from >= 2) {
      std::string names;
      for (std::uint64_t e = from; e < to; e++)
        names += (e > from ? (e + 1 < to ? ", " : " and ") : "") + det.activities[det.activity[e]];
      return Error{stateName(umb, s) + " has the deterministic activities " + names +
                   " enabled together: the exact solution needs at most one deterministic activity enabled in "
                   "each state"};
    }
    if (to == from) continue;
    const std::size_t a = named[det.activity[from]];
    if (slot[a] < 0) {
      slot[a] = static_cast<int>(delays.size());
      delays.push_back(Delay{});
      delays.back().tau = det.delay[from];
      firstState.push_back(s);
    }
    Delay& d = delays[slot[a]];
    if (det.delay[from] != d.tau)
      return Error{"The deterministic activity " + det.activities[a] + " has delay " + exactly(d.tau) + " in " +
                   stateName(umb, firstState[slot[a]]) + " and " + exactly(det.delay[from]) + " in " +
                   stateName(umb, s) + ": the exact solution needs one delay per activity, whatever the marking"};
    out.activityOf[s] = slot[a];
    out.enabling[s] = from;
    d.states.push_back(s);
  }
  return out;
}

}  // namespace

std::string outsideRegenerativeClass(const UmbReader& umb) {
  auto assigned = assignDelays(umb);
  return assigned ? std::string() : assigned.error().message;
}

Outcome<DelaySlots> delaySlots(const UmbReader& umb) {
  auto assigned = assignDelays(umb);
  if (!assigned) return assigned.error();
  DelaySlots out{std::move(assigned->activityOf), std::move(assigned->enabling), {}};
  for (const Delay& d : assigned->delays) out.tau.push_back(d.tau);
  return out;
}

Outcome<RegenerativeResult> solveRegenerative(const UmbReader& umb, Chain& chain, const SteadyStateSettings& settings,
                                              double delayEpsilon, long maxSteps, Progress& progress,
                                              const std::function<void(const std::string&)>& note) {
  const DeterministicPart& det = umb.det;
  const int n = chain.states;
  auto assigned = assignDelays(umb);
  if (!assigned) return Error{assigned.error().message + kSimulatorHint + "."};
  std::vector<int> activityOf = std::move(assigned->activityOf);
  std::vector<std::uint64_t> enabling = std::move(assigned->enabling);
  std::vector<Delay> delays = std::move(assigned->delays);
  for (std::size_t a = 0; a < delays.size(); a++) {
    Delay& d = delays[a];
    for (int s : d.states) d.rate = std::max(d.rate, chain.outRate[s]);
    const std::string name = det.activities[det.activity[enabling[d.states[0]]]];
    if (d.rate > 0) {
      auto terms = delayTerms(d.rate * d.tau, delayEpsilon);
      if (!terms) return terms.error();
      d.terms = std::move(*terms);
      if (d.terms.right > maxSteps)
        return Error{"The deterministic activity " + name + " (delay " + exactly(d.tau) + ") needs " +
                     std::to_string(d.terms.right) + " uniformisation steps per product (rate " + number(d.rate) +
                     "), more than -u allows (" + std::to_string(maxSteps) + ")."};
    }
    note("deterministic activity " + name + ": delay " + number(d.tau) + ", enabled in " +
         std::to_string(d.states.size()) + " states, uniformised at rate " + number(d.rate) + " in " +
         std::to_string(d.rate > 0 ? d.terms.right : 0) + " steps");
  }

  // The long-run classes: components of the graph of every jump, the
  // exponential ones and the completions.
  Components components;
  {
    PredecessorGraph graph;
    graph.start.assign(static_cast<std::size_t>(n) + 1, 0);
    auto eachCompletion = [&](auto&& f) {
      for (int s = 0; s < n; s++)
        for (std::uint64_t e = det.stateStart[s]; e < det.stateStart[s + 1]; e++)
          for (std::uint64_t b = det.branchStart[e]; b < det.branchStart[e + 1]; b++)
            if (det.target[b] != static_cast<std::uint64_t>(s) && det.probability[b] > 0)
              f(s, static_cast<int>(det.target[b]));
    };
    for (int j = 0; j < n; j++) graph.start[j + 1] = chain.incoming.end(j) - chain.incoming.begin(j);
    eachCompletion([&](int, int j) { graph.start[j + 1]++; });
    for (int j = 0; j < n; j++) graph.start[j + 1] += graph.start[j];
    graph.source.resize(graph.start[n]);
    std::vector<std::uint64_t> fill(graph.start.begin(), graph.start.end() - 1);
    for (int j = 0; j < n; j++) chain.incoming.forEach(j, [&](int i, double) { graph.source[fill[j]++] = i; });
    eachCompletion([&](int s, int j) { graph.source[fill[j]++] = s; });
    components = findComponents(graph, chain.initial);
  }
  RegenerativeResult result;
  result.bottomComponents = components.bottom.size();
  result.transientStates = components.transient.size();
  result.reachable = components.transient.size();
  for (const auto& b : components.bottom) result.reachable += b.size();

  // Power iteration on the embedded chain from the initial state: its limit
  // weighs each bottom component by the probability of ending there.
  double unit = 1;
  for (const Delay& d : delays) unit = std::min(unit, d.tau);
  Embedded embedded(umb, chain, std::move(activityOf), std::move(enabling), std::move(delays), unit);
  std::vector<double> x(n, 0.0), out(n, 0.0);
  x[chain.initial] = 1.0;
  // Components this small are left out of the convergence test: a
  // transient state's mass shrinks by the same share in every step.
  const double floor = settings.epsilon * 1e-3;
  long it = 0;
  double change = 1;
  Contraction contraction;
  for (;;) {
    if (it >= settings.maxIterations)
      return Error{"The embedded chain's stationary distribution did not converge: after " + std::to_string(it) +
                   " iterations the largest relative change of a component is " + number(change) + " (epsilon " +
                   number(settings.epsilon) +
                   "). Raise the iteration limit (-i) or loosen epsilon (-e); no value is given."};
    embedded.product(x, out);
    it++;
    double sum = 0;
    for (int s = 0; s < n; s++) {
      out[s] = kLaziness * x[s] + (1 - kLaziness) * out[s];
      sum += out[s];
    }
    change = 0;
    for (int s = 0; s < n; s++) {
      out[s] /= sum;
      if (out[s] > floor || x[s] > floor) change = std::max(change, std::fabs(out[s] - x[s]) / std::max(out[s], floor));
    }
    std::swap(x, out);
    if (!std::isfinite(change) || !(sum > 0))
      return Error{"The embedded chain's iteration stopped being finite at iteration " + std::to_string(it) +
                   "; no value is given."};
    contraction.add(change);
    progress.report("embedded chain", it, "relative change", change, settings.epsilon);
    if (change <= settings.epsilon) break;
  }
  embedded.product(x, out);

  // Time shares within each bottom component: its embedded mass spread in
  // proportion to the time the periods started in it spend in each state.
  result.probability.assign(n, 0.0);
  result.completions.assign(n, 0.0);
  for (const auto& b : components.bottom) {
    double mass = 0, time = 0;
    for (int s : b) {
      mass += x[s];
      time += embedded.time[s];
    }
    if (!(time > 0)) continue;
    const double scale = mass / time;
    for (int s : b) {
      result.probability[s] = embedded.time[s] * scale;
      result.completions[s] = embedded.completions[s] * scale / unit;
    }
  }
  result.account.method = "regenerative";
  result.account.iterations = it;
  result.account.lastChange = change;
  // The embedded chain's changes still to come, and the time and
  // completions each uniformisation over a delay leaves out.
  result.account.errorBound = std::max(change, contraction.remaining()) + delayEpsilon;
  return result;
}

}  // namespace solver
