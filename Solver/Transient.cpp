#include "Transient.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "FoxGlynn.h"
#include "Parallel.h"

namespace solver {

UniformisationPlan planUniformisation(const Chain& chain, double maxTime, double epsilon) {
  UniformisationPlan plan;
  for (double r : chain.outRate) plan.rate = std::max(plan.rate, r);
  plan.steps = plan.rate > 0 ? poissonRightPoint(plan.rate * maxTime, epsilon) : 0;
  return plan;
}

Outcome<TransientValues> solveTransient(const Chain& chain, const std::vector<const std::vector<double>*>& rewards,
                                        const std::vector<double>& times, const TransientSettings& settings,
                                        Progress& progress) {
  TransientValues out;
  const std::size_t V = rewards.size(), T = times.size();
  const int n = chain.states;
  out.instant.assign(V, std::vector<double>(T, 0.0));
  out.cumulative.assign(V, std::vector<double>(T, 0.0));
  out.stepsFor.assign(T, 0);
  out.truncated.assign(T, 0.0);
  const double maxTime = T ? *std::max_element(times.begin(), times.end()) : 0.0;
  const UniformisationPlan plan = planUniformisation(chain, maxTime, settings.epsilon);
  out.rate = plan.rate;
  const double q = plan.rate;
  if (plan.steps < 0 || plan.steps == kTooManySteps || plan.steps > settings.maxSteps) {
    char buf[400];
    std::snprintf(buf, sizeof buf,
                  "Uniformisation needs %s%ld steps for time %g (rate %.6g, q*t = %.6g), more than the limit of %ld "
                  "(-u). Raise the limit with -u if the run may take that long, or ask for a steady-state variable.",
                  plan.steps == kTooManySteps ? "more than " : "", plan.steps, maxTime, q, q * maxTime,
                  settings.maxSteps);
    return Error{buf};
  }

  if (q == 0) {
    // Nothing ever moves: the initial state's reward for all time.
    for (std::size_t v = 0; v < V; v++)
      for (std::size_t t = 0; t < T; t++) {
        out.instant[v][t] = (*rewards[v])[chain.initial];
        out.cumulative[v][t] = (*rewards[v])[chain.initial] * times[t];
      }
    return out;
  }

  std::vector<PoissonWeights> weights(T);
  // time[t][k] = P(N > k) / q, the time the path spends after exactly k
  // steps, for k from weights[t].left (before it, 1 / q).
  std::vector<std::vector<double>> time(T);
  std::vector<long> timeRight(T);  // the last k whose time is counted
  long last = 0;
  for (std::size_t t = 0; t < T; t++) {
    const double lambda = q * times[t];
    auto w = foxGlynn(lambda, settings.epsilon);
    if (!w) return w.error();
    weights[t] = std::move(*w);
    double cdf = 0;
    for (double p : weights[t].weights) {
      cdf += p;
      time[t].push_back(std::max(0.0, 1.0 - cdf) / q);
    }
    timeRight[t] = weights[t].right;
    if (lambda > 0 && lambda < 1) {
      // 1 - cdf loses its relative accuracy once cdf passes 1/2, which
      // below q t = ln 2 is from the first step on (at q t = 1e-20 it is 0,
      // so an interval's value would be 0). There the tails are summed
      // from their small end instead, and over the whole series (a few
      // steps more than epsilon asks), so that a state reached within it
      // keeps the relative accuracy of its time too.
      auto tails = poissonTails(lambda);
      if (!tails) return tails.error();
      const std::vector<double>& beyond = tails->beyond;
      timeRight[t] = std::max(timeRight[t], static_cast<long>(beyond.size()) - 1);
      time[t].resize(static_cast<std::size_t>(timeRight[t] + 1 - weights[t].left), 0.0);
      cdf = 0;
      for (long k = weights[t].left; k <= timeRight[t]; k++) {
        if (k <= weights[t].right) cdf += weights[t].weights[k - weights[t].left];
        if (k > weights[t].right || cdf > 0.5)
          time[t][k - weights[t].left] =
              static_cast<std::size_t>(k) < beyond.size() ? times[t] * beyond[static_cast<std::size_t>(k)] : 0.0;
      }
    }
    out.stepsFor[t] = timeRight[t];
    out.truncated[t] = weights[t].truncated;
    last = std::max(last, timeRight[t]);
  }

  // The reward each vector earns per unit of time under pi_k, and how each
  // time point weighs step k.
  std::vector<double> earned(V);
  auto accumulate = [&](long k) {
    for (std::size_t t = 0; t < T; t++) {
      const PoissonWeights& w = weights[t];
      if (k > timeRight[t]) continue;
      const double p = k >= w.left && k <= w.right ? w.weights[k - w.left] : 0.0;
      const double c = k >= w.left ? time[t][k - w.left] : 1.0 / q;
      for (std::size_t v = 0; v < V; v++) {
        out.instant[v][t] += p * earned[v];
        out.cumulative[v][t] += c * earned[v];
      }
    }
  };
  auto measure = [&](const std::vector<double>& pi) {
    for (std::size_t v = 0; v < V; v++) {
      const std::vector<double>& rho = *rewards[v];
      double sum = 0;
      for (int s = 0; s < n; s++) sum += pi[s] * rho[s];
      earned[v] = sum;
    }
  };

  std::vector<double> pi(n, 0.0), next(n, 0.0);
  pi[chain.initial] = 1.0;
  measure(pi);
  accumulate(0);
  Parallel parallel;
  const auto step = [&](std::int64_t, std::int64_t first, std::int64_t end) {
    for (int j = static_cast<int>(first); j < static_cast<int>(end); j++)
      next[j] = pi[j] * (1.0 - chain.outRate[j] / q) + chain.incoming.dot(j, pi.data()) / q;
  };
  long k = 0;
  while (k < last) {
    parallel.forBlocks(n, step);
    // Summed in state order, as the thread count must not move it.
    double change = 0;
    for (int j = 0; j < n; j++) change += std::fabs(next[j] - pi[j]);
    pi.swap(next);
    k++;
    measure(pi);
    accumulate(k);
    progress.reportSteps("uniformisation", k, last, "change", change);
    if (settings.detectSteadyState && change <= settings.epsilon) {
      // pi_j = pi_k for every later j: the rest of each sum needs no product.
      out.detectedAt = k;
      for (long j = k + 1; j <= last; j++) accumulate(j);
      for (std::size_t t = 0; t < T; t++) out.stepsFor[t] = std::min(out.stepsFor[t], k);
      break;
    }
  }
  out.steps = k;
  return out;
}

}  // namespace solver
