#include "DelayTransient.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "FoxGlynn.h"

namespace solver {

namespace {

// The fewest steps per shortest delay: with the error of order h^2, a
// 32nd of the delay leaves about 1e-3 of the effect of one clock start
// before extrapolation.
constexpr long kFewestSteps = 32;
// How far the search for a step that divides every delay and time goes.
constexpr long kMostSteps = 32 * 64;
// The memory the ages of the finest solution may take.
constexpr double kMostBytes = 2e9;
// The work allowed, in multiply-adds: some minutes at most.
constexpr double kMostWork = 1e11;

// Whether x is a whole number of steps h, and which.
bool wholeSteps(double x, double h, long& count) {
  const double r = x / h;
  const double nearest = std::round(r);
  if (std::fabs(r - nearest) > 1e-9 * std::max(1.0, r)) return false;
  count = static_cast<long>(nearest);
  return true;
}

struct Pass {
  std::vector<std::vector<double>> instant, cumulative;  // [reward][time]
  double lost = 0;                                       // Poisson mass left out over all steps
};

class Stepper {
 public:
  Stepper(const UmbReader& umb, const Chain& chain, const DelaySlots& slots, std::vector<long> length)
      : umb_(umb), chain_(chain), slots_(slots), length_(std::move(length)) {
    n_ = chain.states;
    for (long m : length_) ages_ = std::max(ages_, m);
    for (double r : chain.outRate) q_ = std::max(q_, r);
  }

  Outcome<Pass> run(double h, long steps, const std::vector<long>& at,
                    const std::vector<const std::vector<double>*>& rewards, double epsilon, Progress& progress) {
    const std::size_t V = rewards.size(), T = at.size();
    const int n = n_;
    Pass out;
    out.instant.assign(V, std::vector<double>(T, 0.0));
    out.cumulative.assign(V, std::vector<double>(T, 0.0));
    // Over h the uniformisation weighs step k by p_k and the time by h u_k;
    // the terms are cut where both what they leave of the probability and
    // of the step's time are within epsilon / 2.
    std::vector<double> weight{1.0}, stay{1.0};
    if (q_ > 0) {
      auto terms = delayTerms(q_ * h, epsilon);
      if (!terms) return terms.error();
      weight = terms->weight;
      stay = terms->stay;
      double kept = 0;
      for (std::size_t k = 0; k < weight.size(); k++) {
        kept += weight[k];
        if (1 - kept <= epsilon / 2 && k + 1 < weight.size() && stay[k + 1] <= epsilon / 2) {
          weight.resize(k + 1);
          stay.resize(k + 1);
          break;
        }
      }
      out.lost = std::max(0.0, 1 - kept) * static_cast<double>(steps);
    }
    // x[a * n + s]: mass in s whose clock has run a steps; f: the mass of
    // states without a clock and of clocks started during this step.
    std::vector<double> x(static_cast<std::size_t>(ages_) * n, 0.0), f(n, 0.0);
    std::vector<double> y, g, ny, ng, sx, sf, z(n);
    if (slots_.activityOf[chain_.initial] >= 0)
      x[chain_.initial] = 1.0;
    else
      f[chain_.initial] = 1.0;
    std::vector<double> accumulated(V, 0.0);
    std::size_t next = 0;  // the first time point not yet read
    auto read = [&](long step) {
      for (; next < T && at[next] == step; next++)
        for (std::size_t v = 0; v < V; v++) {
          const std::vector<double>& rho = *rewards[v];
          double sum = 0;
          for (int s = 0; s < n; s++) {
            double mass = f[s];
            if (slots_.activityOf[s] >= 0)
              for (long a = 0; a < ages_; a++) mass += x[a * n + s];
            sum += mass * rho[s];
          }
          out.instant[v][next] = sum;
          out.cumulative[v][next] = accumulated[v];
        }
    };
    read(0);
    for (long step = 0; step < steps; step++) {
      // The exponential transitions over h.
      y = x;
      g = f;
      sx.assign(x.size(), 0.0);
      sf.assign(n, 0.0);
      for (std::size_t k = 0;; k++) {
        for (std::size_t i = 0; i < y.size(); i++) sx[i] += weight[k] * y[i];
        for (int s = 0; s < n; s++) sf[s] += weight[k] * g[s];
        for (std::size_t v = 0; v < V; v++) {
          const std::vector<double>& rho = *rewards[v];
          double sum = 0;
          for (int s = 0; s < n; s++) {
            double mass = g[s];
            if (slots_.activityOf[s] >= 0)
              for (long a = 0; a < ages_; a++) mass += y[a * n + s];
            sum += mass * rho[s];
          }
          accumulated[v] += h * stay[k] * sum;
        }
        if (k + 1 == weight.size()) break;
        uniformStep(y, g, ny, ng, z);
        y.swap(ny);
        g.swap(ng);
      }
      x.swap(sx);
      f.swap(sf);
      // Every clock one step older; those that reach their delay complete.
      for (int s = 0; s < n; s++) {
        const int d = slots_.activityOf[s];
        if (d < 0) continue;
        const long m = length_[static_cast<std::size_t>(d)];
        const double done = x[(m - 1) * n + s];
        for (long a = m - 1; a > 0; a--) x[a * n + s] = x[(a - 1) * n + s];
        x[s] = f[s] / 2;
        x[n + s] += f[s] / 2;
        f[s] = 0;
        z[s] = done;
      }
      for (int s = 0; s < n; s++) {
        if (slots_.activityOf[s] < 0 || z[s] == 0) continue;
        const std::uint64_t e = slots_.enabling[s];
        for (std::uint64_t b = umb_.det.branchStart[e]; b < umb_.det.branchStart[e + 1]; b++) {
          const int t = static_cast<int>(umb_.det.target[b]);
          (slots_.activityOf[t] >= 0 ? x[t] : f[t]) += z[s] * umb_.det.probability[b];
        }
      }
      read(step + 1);
      progress.reportSteps("delay steps", step + 1, steps, "h", h);
    }
    return out;
  }

 private:
  // One uniformisation step of the mass of each age and of f: a move
  // between two states of the same delay keeps the age, any other move
  // lands in f (a clock starts, or the target has none).
  void uniformStep(const std::vector<double>& y, const std::vector<double>& g, std::vector<double>& ny,
                   std::vector<double>& ng, std::vector<double>& z) const {
    const int n = n_;
    ny.assign(y.size(), 0.0);
    ng.assign(n, 0.0);
    for (int s = 0; s < n; s++) {
      z[s] = 0;
      if (slots_.activityOf[s] >= 0)
        for (long a = 0; a < ages_; a++) z[s] += y[a * n + s];
    }
    for (int j = 0; j < n; j++) {
      const int mine = slots_.activityOf[j];
      const double stays = 1.0 - chain_.outRate[j] / q_;
      double in = 0;
      chain_.incoming.forEach(j, [&](int i, double rate) {
        in += g[i] * rate;
        if (mine < 0 || slots_.activityOf[i] != mine) in += z[i] * rate;
      });
      ng[j] = g[j] * stays + in / q_;
      if (mine < 0) continue;
      const long m = length_[static_cast<std::size_t>(mine)];
      for (long a = 0; a < m; a++) {
        double inside = 0;
        chain_.incoming.forEach(j, [&](int i, double rate) {
          if (slots_.activityOf[i] == mine) inside += y[a * n + i] * rate;
        });
        ny[a * n + j] = y[a * n + j] * stays + inside / q_;
      }
    }
  }

  const UmbReader& umb_;
  const Chain& chain_;
  const DelaySlots& slots_;
  std::vector<long> length_;  // per slot: its delay in steps
  int n_ = 0;
  long ages_ = 1;
  double q_ = 0;
};

}  // namespace

Outcome<DelayTransientValues> solveDelayTransient(const UmbReader& umb, const Chain& chain, const DelaySlots& slots,
                                                  const std::vector<const std::vector<double>*>& rewards,
                                                  const std::vector<double>& times, double epsilon, long maxSteps,
                                                  Progress& progress) {
  double shortest = INFINITY, latest = 0;
  for (double tau : slots.tau) shortest = std::min(shortest, tau);
  for (double t : times) latest = std::max(latest, t);
  if (!(shortest > 0) || !std::isfinite(shortest)) return Error{"no delay to step over"};
  // The coarse step h = shortest / m, the fewest m from kFewestSteps up
  // with every delay and time a whole number of steps.
  long m = 0;
  std::vector<long> length(slots.tau.size()), at(times.size());
  for (long c = kFewestSteps; c <= kMostSteps && m == 0; c++) {
    const double h = shortest / static_cast<double>(c);
    bool fits = true;
    for (std::size_t d = 0; d < slots.tau.size() && fits; d++) fits = wholeSteps(slots.tau[d], h, length[d]);
    for (std::size_t t = 0; t < times.size() && fits; t++) fits = wholeSteps(times[t], h, at[t]);
    if (fits) m = c;
  }
  char buf[300];
  if (m == 0) {
    std::snprintf(buf, sizeof buf,
                  "no step of %ld to %ld per shortest delay (%g) divides every delay and every time asked for",
                  kFewestSteps, kMostSteps, shortest);
    return Error{buf};
  }
  const double h = shortest / static_cast<double>(m);
  long steps = 0;
  for (long a : at) steps = std::max(steps, a);
  if (!(latest / h * 4 < static_cast<double>(maxSteps))) {
    std::snprintf(buf, sizeof buf,
                  "time %g needs %.0f steps of %g (%ld per shortest delay), more than the limit of %ld (-u)", latest,
                  4 * latest / h, h / 4, 4 * m, maxSteps);
    return Error{buf};
  }
  // The finest solution holds four vectors of every age of every state;
  // beyond this the simulator is the better way.
  long ages = 1;
  for (long l : length) ages = std::max(ages, 4 * l);
  const double bytes = 4.0 * 8.0 * static_cast<double>(ages) * chain.states;
  if (bytes > kMostBytes) {
    std::snprintf(buf, sizeof buf, "%ld ages of %d states need %.3g GB, more than %.3g GB", ages, chain.states,
                  bytes / 1e9, kMostBytes / 1e9);
    return Error{buf};
  }
  // The finest solution's work, which is 16/21 of the whole: per step and
  // Poisson term, a product over every age of the rates.
  {
    double q = 0;
    for (double r : chain.outRate) q = std::max(q, r);
    long terms = 1;
    if (q > 0) {
      auto finest = delayTerms(q * h / 4, epsilon);
      if (!finest) return finest.error();
      terms = finest->right + 1;
    }
    const double transitions = chain.states > 0 ? static_cast<double>(chain.incoming.end(chain.states - 1)) : 0.0;
    const double work = 21.0 / 16.0 * 4.0 * static_cast<double>(steps) * static_cast<double>(terms) *
                        static_cast<double>(ages) * (transitions + chain.states);
    if (work > kMostWork) {
      std::snprintf(buf, sizeof buf,
                    "%.3g operations (%ld steps of %g, %ld Poisson terms each, %ld ages), more than %.3g", work,
                    4 * steps, h / 4, terms, ages, kMostWork);
      return Error{buf};
    }
  }
  // Three solutions, with h, h/2 and h/4.
  std::vector<Pass> pass;
  for (long factor = 1; factor <= 4; factor *= 2) {
    std::vector<long> lengthNow(length.size()), atNow(at.size());
    for (std::size_t d = 0; d < length.size(); d++) lengthNow[d] = factor * length[d];
    for (std::size_t t = 0; t < at.size(); t++) atNow[t] = factor * at[t];
    Stepper stepper(umb, chain, slots, lengthNow);
    auto run = stepper.run(h / static_cast<double>(factor), factor * steps, atNow, rewards, epsilon, progress);
    if (!run) return run.error();
    pass.push_back(std::move(*run));
  }

  DelayTransientValues out;
  out.stepsPerDelay = 4 * m;
  out.steps = 4 * steps;
  const std::size_t V = rewards.size(), T = times.size();
  out.instant.assign(V, std::vector<double>(T));
  out.cumulative = out.instantError = out.cumulativeError = out.instant;
  // The error is c1 h + c2 h^2 + ...: the first extrapolations w = 2 v_(h/2)
  // - v_h leave c2' h^2, the second, (4 w_(h/4) - w_(h/2)) / 3, removes it;
  // (w_(h/4) - w_(h/2)) / 3 estimates the error of w_(h/4), which the
  // value's error is below (on the renewal closed form of the tests by 10
  // to 1000 times).
  auto extrapolate = [](double a, double b, double c, double& error) {
    const double first = 2 * b - a, second = 2 * c - b;
    error = std::fabs(second - first) / 3;
    return (4 * second - first) / 3;
  };
  for (std::size_t v = 0; v < V; v++) {
    double largest = 0;
    for (double r : *rewards[v]) largest = std::max(largest, std::fabs(r));
    double lost = 0;
    for (const Pass& p : pass) lost = std::max(lost, p.lost * largest);
    for (std::size_t t = 0; t < T; t++) {
      double error = 0;
      out.instant[v][t] = extrapolate(pass[0].instant[v][t], pass[1].instant[v][t], pass[2].instant[v][t], error);
      out.instantError[v][t] = error + lost;
      out.cumulative[v][t] =
          extrapolate(pass[0].cumulative[v][t], pass[1].cumulative[v][t], pass[2].cumulative[v][t], error);
      out.cumulativeError[v][t] = error + lost * times[t];
    }
  }
  return out;
}

}  // namespace solver
