#include "Passage.h"

#include <cmath>
#include <cstdio>
#include <map>

#include "Components.h"
#include "SteadyState.h"
#include "Transient.h"

namespace solver {

namespace {

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// Per instant of a reached variable, its probability and error bound.
Outcome<std::vector<ResultRow>> reachedRows(const Chain& chain, const PassageVariable& p, const Options& options,
                                            const NoteSink& note) {
  const std::vector<double>& c = p.condition;
  Chain absorbing = rewireChain(chain, [&](int i, int j) { return c[i] != 0 ? -1 : j; });
  std::vector<double> indicator(c.size());
  for (std::size_t s = 0; s < c.size(); s++) indicator[s] = c[s] != 0 ? 1.0 : 0.0;
  std::map<double, std::size_t> index;
  for (const auto& t : p.variable->times) index.emplace(t.second, 0);
  std::vector<double> times;
  for (auto& [t, k] : index) {
    k = times.size();
    times.push_back(t);
  }
  const UniformisationPlan plan = planUniformisation(absorbing, times.back(), options.transient.epsilon);
  note(p.variable->name + ": the condition's states made absorbing; " +
       "uniformisation at rate q = " + number(plan.rate) + ", up to " + std::to_string(plan.steps) + " steps");
  Progress progress;
  progress.restart();
  auto solved = solveTransient(absorbing, {&indicator}, times, options.transient, progress);
  if (!solved) return solved.error();
  const double detection = solved->detectedAt >= 0 ? options.transient.epsilon : 0.0;
  std::vector<ResultRow> rows;
  for (const auto& [start, stop] : p.variable->times) {
    ResultRow row;
    row.variable = p.variable->name;
    row.kind = RewardKind::Reached;
    row.start = start;
    row.stop = stop;
    const std::size_t b = index.at(stop);
    row.value = solved->instant[0][b];
    row.method = "uniformisation";
    row.iterations = solved->stepsFor[b];
    row.errorBound = solved->instantTruncated[b] + detection;
    rows.push_back(row);
  }
  return rows;
}

Outcome<ResultRow> firstPassageRow(const Chain& chain, const PassageVariable& p, const Options& options,
                                   const NoteSink& note) {
  const std::vector<double>& c = p.condition;
  ResultRow row;
  row.variable = p.variable->name;
  row.kind = RewardKind::FirstPassage;
  if (c[chain.initial] != 0) {
    // Nothing is earned before time 0.
    row.value = 0;
    row.method = "initial state";
    return row;
  }
  const int initial = chain.initial;
  Chain restarting = rewireChain(chain, [&](int, int j) { return c[j] != 0 ? initial : j; });
  std::vector<double> into(c.size(), 0.0);  // per state, the rate of entering the condition
  for (int j = 0; j < chain.states; j++)
    if (c[j] != 0) chain.incoming.forEach(j, [&](int i, double rate) { into[i] += rate; });
  Components components = findComponents(restarting.incoming, restarting.initial);
  std::vector<int>().swap(components.classOf);
  // The states reached before the condition all lead back to the initial
  // state, through the condition, exactly when they form one closed class.
  const bool recurrent = components.bottom.size() == 1 && components.transient.empty();
  bool enters = false;
  if (recurrent)
    for (const int s : components.bottom[0]) enters = enters || into[s] > 0;
  if (!recurrent || !enters) {
    row.value = INFINITY;
    row.method = "graph search";
    row.infinite = enters || !recurrent ? "from the initial state, the chain may reach states from which the "
                                          "condition never holds"
                                        : "the condition never holds in a state reachable from the initial one";
    return row;
  }
  note(p.variable->name + ": " + std::to_string(components.bottom[0].size()) +
       " states before the condition; the long run of the chain restarted at each passage");
  Progress progress;
  progress.restart();
  auto solved = solveLongRun(restarting, components, options.steady, progress);
  if (!solved) return solved.error();
  double hits = 0, earned = 0, magnitude = 0;
  for (int s = 0; s < chain.states; s++) {
    const double pi = solved->probability[s];
    if (pi == 0) continue;
    hits += pi * into[s];
    const double r = p.rho.empty() ? 1.0 : p.rho[s];
    earned += pi * r;
    magnitude += pi * std::fabs(r);
  }
  row.value = earned / hits;
  row.method = "renewal/" + solved->account.method;
  row.iterations = solved->account.iterations;
  row.errorBound = 2 * solved->account.errorBound * magnitude / hits;
  return row;
}

}  // namespace

Outcome<std::vector<ResultRow>> passageMeasures(const Chain& chain, const std::vector<PassageVariable>& variables,
                                                const Options& options, const NoteSink& note) {
  std::vector<ResultRow> rows;
  for (const PassageVariable& p : variables) {
    if (p.variable->kind == RewardKind::Reached) {
      auto reached = reachedRows(chain, p, options, note);
      if (!reached) return reached.error();
      rows.insert(rows.end(), reached->begin(), reached->end());
      continue;
    }
    auto row = firstPassageRow(chain, p, options, note);
    if (!row) return row.error();
    if (!row->infinite.empty()) note(p.variable->name + ": infinite: " + row->infinite);
    rows.push_back(std::move(*row));
  }
  return rows;
}

}  // namespace solver
