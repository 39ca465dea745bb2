#include "SteadyState.h"

#include <Eigen/IterativeLinearSolvers>
#include <Eigen/SparseLU>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <optional>

#include "Gth.h"
#include "Ilu0.h"
#include "Parallel.h"

namespace solver {

const char* methodName(Method method) {
  switch (method) {
    case Method::Automatic: return "auto";
    case Method::GaussSeidel: return "gs";
    case Method::Sor: return "sor";
    case Method::Power: return "power";
    case Method::Direct: return "direct";
    case Method::Krylov: return "bicgstab";
  }
  return "?";
}

void Contraction::add(double change) { changes_[count_++ % kWindow] = change; }

double Contraction::remaining() const {
  if (count_ == 0) return 0;
  const double last = changes_[(count_ - 1) % kWindow];
  if (count_ == 1 || last == 0) return last;
  const long span = std::min<long>(count_, kWindow) - 1;
  const double first = changes_[(count_ - 1 - span) % kWindow];
  const double most = 1.0 - 1.0 / static_cast<double>(count_);
  double ratio = first > 0 ? std::pow(last / first, 1.0 / static_cast<double>(span)) : most;
  if (!(ratio < most)) ratio = most;
  return last * ratio / (1.0 - ratio);
}

namespace {

std::string scientific(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3g", v);
  return buf;
}

// "sor(1.2)": the method with the relaxation its solution was reached at.
std::string sorName(double omega) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "sor(%g)", omega);
  return buf;
}

double relativeChange(double before, double after) {
  const double d = std::fabs(after - before);
  return after != 0.0 ? d / std::fabs(after) : d;
}

// Both systems solved here read, for a state j of the set, the sum over its
// predecessors i of x_i q_ij: the set's own linear system in the form
//   x_j * outRate_j = b_j + sum_i x_i q_ij.
// x is a whole-chain vector, zero outside the set, so predecessors outside
// the set add nothing.
double inflow(const Chain& chain, const std::vector<double>& x, int j) { return chain.incoming.dot(j, x.data()); }

struct System {
  std::string what;                // for messages: "stationary distribution of ..."
  const std::vector<int>& states;  // the set, increasing
  int source = -1;                 // j with b_j = 1 (the sojourn system), or -1 (b = 0)
  bool normalise = false;          // the stationary system: sum x = 1 after each sweep
};

Error notConverged(const System& s, const SteadyStateSettings& settings, long iterations, double change) {
  return Error{
      "The " + s.what + " did not converge: after " + std::to_string(iterations) +
      " iterations the largest relative change of a component is " + scientific(change) + " (epsilon " +
      scientific(settings.epsilon) +
      "). Raise the iteration limit (-i), try another method (-m), or loosen epsilon (-e); no value is given."};
}

// Divides by `sum`, the sum of x over the states taken in their order.
void normaliseBy(std::vector<double>& x, const std::vector<int>& states, double sum) {
  if (sum > 0)
    for (int s : states) x[s] /= sum;
}

void normaliseOn(std::vector<double>& x, const std::vector<int>& states) {
  double sum = 0;
  for (int s : states) sum += x[s];
  normaliseBy(x, states, sum);
}

// The end of an iteration of either sweep: normalises a stationary iterate
// (by `sum` where the sweep has added it up already), reports progress, and
// gives the outcome once the iterate has converged, has stopped being finite
// or has used the last iteration allowed.
std::optional<Outcome<SolveAccount>> afterIteration(const System& s, const SteadyStateSettings& settings, long it,
                                                    double change, std::vector<double>& x, Progress& progress,
                                                    Contraction& contraction,
                                                    std::optional<double> sum = std::nullopt) {
  contraction.add(change);
  if (s.normalise) {
    if (sum)
      normaliseBy(x, s.states, *sum);
    else
      normaliseOn(x, s.states);
  }
  progress.report(s.what, it, "relative change", change, settings.epsilon);
  if (!std::isfinite(change)) return notConverged(s, settings, it, change);
  if (change <= settings.epsilon) {
    SolveAccount account;
    account.iterations = it;
    account.errorBound = std::max(change, contraction.remaining());
    return account;
  }
  if (it == settings.maxIterations) return notConverged(s, settings, it, change);
  return std::nullopt;
}

// Iterations over which a sweep that is to give way when it stalls must at
// least halve its smallest change. A sweep slower than that would need some
// 400,000 iterations from a change of 1 down to 1e-12, past the default
// limit, so a run that converged within the limit is never cut short; a
// periodic chain, whose change does not fall at all, gives way at once.
constexpr long kStallWindow = 10000;

// Over-relaxation that does not suit a chain stalls at once, its change of a
// component hovering far from epsilon (near 0.1 on fms n = 3 at omega 1.2).
// SOR's relaxation is lowered when the smallest change of the last
// kRelaxationWindow iterations is not below kRelaxationGain times the
// smallest before. A run that goes from a change of 1 to 1e-12 within the
// default limit gains a factor 0.76 per window on average, so a run that
// converged within the limit keeps its relaxation.
constexpr long kRelaxationWindow = 1000;
constexpr double kRelaxationGain = 0.9;

// 1 - 2^-40: far enough below 1 to cover the rounding of a product and a
// quotient of doubles.
constexpr double kJustBelowOne = 1.0 - 0x1p-40;

// Gauss-Seidel, or SOR with omega != 1: each component in turn from the
// newest values of the others. With giveWay, a stalled sweep ends early
// with an error saying so. A stalled SOR goes on from the same iterate with
// omega halfway to 1 (the same fixed point), down to plain Gauss-Seidel,
// and says so in `notes`; `relaxation` ends as the one that converged.
Outcome<SolveAccount> sweepInPlace(const Chain& chain, const System& s, const SteadyStateSettings& settings,
                                   double& relaxation, std::vector<double>& x, Progress& progress,
                                   std::vector<std::string>& notes, bool giveWay = false) {
  // A copy the sweep can keep in a register: x's stores could alias the
  // caller's variable.
  double omega = relaxation;
  double bestBefore = INFINITY, bestInWindow = INFINITY;
  double relaxedBest = INFINITY, relaxedWindowBest = INFINITY;
  // Over-relaxation may overshoot below 0, where the value is cut at 0. If
  // that empties every component of a stationary iterate (which would then
  // look converged), the sweep starts again taking the plain Gauss-Seidel
  // value wherever the relaxed one would be negative: the same fixed point.
  bool plainWhereNegative = false;
  Contraction contraction;
  for (long it = 1; it <= settings.maxIterations; it++) {
    double change = 0, sum = 0;
    bool anyPositive = false;
    chain.incoming.withLayout([&](const auto& rows) {
      // Locals the loop keeps in registers: the stores to x could alias
      // anything reached through a reference.
      double largest = 0, total = 0;
      bool positive = false;
      const double w = omega;
      const bool plain = plainWhereNegative;
      const int source = s.source;
      const double* out = chain.outRate.data();
      double* xs = x.data();
      for (int j : s.states) {
        double next = (rows.dot(j, xs) + (j == source ? 1.0 : 0.0)) / out[j];
        if (w != 1.0) {
          const double relaxed = (1.0 - w) * xs[j] + w * next;
          if (!plain || relaxed >= 0.0) next = relaxed;
        }
        if (!(next >= 0.0)) next = 0.0;
        positive = positive || next > 0.0;
        // relativeChange(xs[j], next), divided out only where it may be
        // the largest yet: the test passes whenever the quotient exceeds
        // `largest`, rounding included (a product below the normal range
        // loses its relative accuracy, so it always divides), so the
        // maximum is the same.
        const double d = std::fabs(next - xs[j]);
        const double bar = largest * next;
        if (next == 0.0)
          largest = std::max(largest, d);
        else if (d > bar * kJustBelowOne || bar < DBL_MIN)
          largest = std::max(largest, d / next);
        total += next;
        xs[j] = next;
      }
      change = largest;
      sum = total;
      anyPositive = positive;
    });
    if (s.normalise && !anyPositive && omega != 1.0 && !plainWhereNegative) {
      plainWhereNegative = true;
      const double start = 1.0 / static_cast<double>(s.states.size());
      for (int st : s.states) x[st] = start;
      it = 0;
      contraction = Contraction();
      continue;
    }
    if (auto end = afterIteration(s, settings, it, change, x, progress, contraction, sum)) return *end;
    if (omega != 1.0) {
      relaxedWindowBest = std::min(relaxedWindowBest, change);
      if (it % kRelaxationWindow == 0) {
        if (!(relaxedWindowBest < kRelaxationGain * relaxedBest) && std::isfinite(relaxedBest)) {
          const double lowered = omega - 1.0 > -0.01 && omega - 1.0 < 0.01 ? 1.0 : 1.0 + (omega - 1.0) / 2;
          notes.push_back("SOR at omega " + scientific(omega) + " stalled on the " + s.what + ": after " +
                          std::to_string(it) + " iterations the largest relative change of a component is " +
                          scientific(change) + ", and the smallest of the last " + std::to_string(kRelaxationWindow) +
                          " iterations " + scientific(relaxedWindowBest) + " is no better than the smallest before, " +
                          scientific(relaxedBest) + "; went on from the same iterate at omega " + scientific(lowered));
          relaxation = omega = lowered;
          relaxedBest = INFINITY;
        } else {
          relaxedBest = std::min(relaxedBest, relaxedWindowBest);
        }
        relaxedWindowBest = INFINITY;
      }
    }
    bestInWindow = std::min(bestInWindow, change);
    if (giveWay && it % kStallWindow == 0) {
      if (!(bestInWindow < 0.5 * bestBefore) && std::isfinite(bestBefore)) {
        return Error{"Gauss-Seidel stalled on the " + s.what + ": after " + std::to_string(it) +
                     " iterations the largest relative change of a component is " + scientific(change) +
                     ", and the smallest of the last " + std::to_string(kStallWindow) + " iterations " +
                     scientific(bestInWindow) + " is not half the smallest before, " + scientific(bestBefore)};
      }
      bestBefore = std::min(bestBefore, bestInWindow);
      bestInWindow = INFINITY;
    }
  }
  return notConverged(s, settings, 0, INFINITY);
}

// Power iteration on the uniformised chain (stationary system) or Jacobi
// (sojourn system): every component from the previous iterate.
Outcome<SolveAccount> sweepCopy(const Chain& chain, const System& s, const SteadyStateSettings& settings,
                                std::vector<double>& x, Progress& progress) {
  double q = 0;
  for (int j : s.states) q = std::max(q, chain.outRate[j]);
  // A uniformisation rate above every exit rate leaves each state a self-loop,
  // which makes the uniformised chain aperiodic.
  q *= 1.02;
  if (!std::isfinite(q))
    return Error{"The uniformisation rate of the " + s.what +
                 " (1.02 times its largest exit rate) overflows; use another method (-m direct)."};
  std::vector<double> next(s.states.size());
  Parallel parallel;
  const auto count = static_cast<std::int64_t>(s.states.size());
  const auto step = [&](std::int64_t, std::int64_t first, std::int64_t last) {
    for (std::int64_t k = first; k < last; k++) {
      const int j = s.states[static_cast<std::size_t>(k)];
      if (s.normalise) {
        next[k] = x[j] * (1.0 - chain.outRate[j] / q) + inflow(chain, x, j) / q;
      } else {
        next[k] = (inflow(chain, x, j) + (j == s.source ? 1.0 : 0.0)) / chain.outRate[j];
      }
    }
  };
  // The convergence check and the copy back on the threads too: a maximum
  // is the same whatever order it is taken in.
  std::vector<double> blockChange(static_cast<std::size_t>(Parallel::blocks(count)));
  const auto check = [&](std::int64_t block, std::int64_t first, std::int64_t last) {
    double change = 0;
    for (std::int64_t k = first; k < last; k++) {
      const int j = s.states[static_cast<std::size_t>(k)];
      change = std::max(change, relativeChange(x[j], next[k]));
      x[j] = next[k];
    }
    blockChange[static_cast<std::size_t>(block)] = change;
  };
  Contraction contraction;
  for (long it = 1; it <= settings.maxIterations; it++) {
    parallel.forBlocks(count, step);
    parallel.forBlocks(count, check);
    double change = 0;
    for (double c : blockChange) change = std::max(change, c);
    if (auto end = afterIteration(s, settings, it, change, x, progress, contraction)) return *end;
  }
  return notConverged(s, settings, 0, INFINITY);
}

// The set's system, x_j outRate_j - sum_i x_i q_ij = b_j, as a sparse matrix
// with its right-hand side; for the stationary system the last equation
// gives way to sum x = 1. `local` maps whole-chain numbers to the system's
// while the matrix is built (-1 outside; kept between systems, so that many
// small components cost no whole-chain vector each).
void assemble(const Chain& chain, const System& s, std::vector<int>& local, Eigen::SparseMatrix<double>& a,
              Eigen::VectorXd& b) {
  const int m = static_cast<int>(s.states.size());
  if (local.size() != static_cast<std::size_t>(chain.states)) local.assign(chain.states, -1);
  for (int k = 0; k < m; k++) local[s.states[k]] = k;
  std::vector<Eigen::Triplet<double>> entries;
  for (int k = 0; k < m; k++) {
    if (s.normalise && k == m - 1) break;
    const int j = s.states[k];
    entries.emplace_back(k, k, chain.outRate[j]);
    chain.incoming.forEach(j, [&](int i, double rate) {
      if (local[i] >= 0) entries.emplace_back(k, local[i], -rate);
    });
  }
  if (s.normalise)
    for (int k = 0; k < m; k++) entries.emplace_back(m - 1, k, 1.0);
  a.resize(m, m);
  a.setFromTriplets(entries.begin(), entries.end());
  b = Eigen::VectorXd::Zero(m);
  if (s.normalise)
    b[m - 1] = 1.0;
  else
    b[local[s.source]] = 1.0;
  for (int st : s.states) local[st] = -1;
}

// The largest relative residual of a state's equation, |x_j outRate_j -
// b_j - sum_i x_i q_ij| over the larger of the two sides: where each
// component is off by a relative delta, each equation is off by about
// delta, so this is the error estimate of a solution computed directly.
double componentwiseResidual(const Chain& chain, const System& s, const std::vector<double>& x) {
  double largest = 0;
  for (int j : s.states) {
    const double out = x[j] * chain.outRate[j];
    const double in = inflow(chain, x, j) + (j == s.source ? 1.0 : 0.0);
    const double side = std::max(out, in);
    if (side > 0) largest = std::max(largest, std::fabs(out - in) / side);
  }
  return largest;
}

// Takes a solution of the assembled system, refused where it is not
// finite; its error estimate is componentwiseResidual.
Outcome<SolveAccount> accept(const Chain& chain, const System& s, const Eigen::SparseMatrix<double>& a,
                             const Eigen::VectorXd& b, const Eigen::VectorXd& solution, const char* method,
                             std::vector<double>& x) {
  const double residual =
      (a * solution - b).lpNorm<Eigen::Infinity>() / std::max(1.0, solution.lpNorm<Eigen::Infinity>());
  if (!solution.allFinite() || !std::isfinite(residual))
    return Error{"The " + std::string(method) + " solution of the " + s.what + " is not finite."};
  for (std::size_t k = 0; k < s.states.size(); k++)
    x[s.states[k]] = std::max(0.0, solution[static_cast<Eigen::Index>(k)]);
  if (s.normalise) normaliseOn(x, s.states);
  SolveAccount account;
  account.method = method;
  account.errorBound = componentwiseResidual(chain, s, x);
  return account;
}

// The most entries GTH elimination may hold (its rows, the fill its
// rerouting adds and what it keeps for the way back): some 400 MB. A system
// whose elimination fills more goes to the sparse LU instead.
constexpr std::uint64_t kMostGthEntries = 10'000'000;

// The set's system as an irreducible generator for GTH: a bottom
// component's own rates, or for the transient states the rates among them
// with every rate that leaves them sent back to the source. The expected
// times before leaving, started at the source, are then the stationary
// distribution of that generator divided by the rate of leaving under it
// (renewal at each return to the source).
SparseRates localRates(const Chain& chain, const System& s, std::vector<int>& local, std::vector<double>& leaving) {
  const int m = static_cast<int>(s.states.size());
  if (local.size() != static_cast<std::size_t>(chain.states)) local.assign(chain.states, -1);
  for (int k = 0; k < m; k++) local[s.states[k]] = k;
  SparseRates out(static_cast<std::size_t>(m));
  leaving.assign(s.normalise ? 0 : static_cast<std::size_t>(m), 0.0);
  // A bottom component's rates are its states' rows; the rates that leave
  // the transient states are in the rows of every other state (once).
  const auto rowOf = [&](int j) {
    const int to = local[j];
    chain.incoming.forEach(j, [&](int i, double rate) {
      const int from = local[i];
      if (from < 0) return;
      if (to >= 0)
        out[from].emplace_back(to, rate);
      else
        leaving[from] += rate;
    });
  };
  if (s.normalise)
    for (int j : s.states) rowOf(j);
  else
    for (int j = 0; j < chain.states; j++) rowOf(j);
  if (!s.normalise) {
    const int source = local[s.source];
    for (int k = 0; k < m; k++) {
      if (k == source || leaving[k] == 0.0) continue;
      auto it = std::find_if(out[k].begin(), out[k].end(), [&](const auto& e) { return e.first == source; });
      if (it != out[k].end())
        it->second += leaving[k];
      else
        out[k].emplace_back(source, leaving[k]);
    }
  }
  for (int st : s.states) local[st] = -1;
  return out;
}

// The direct solver: GTH elimination (Gth.h), which keeps the relative
// accuracy of the smallest probabilities; where its fill would pass
// kMostGthEntries, a sparse LU of the set's system. Its error measure is
// the relative residual of the system.
Outcome<SolveAccount> solveDirect(const Chain& chain, const System& s, const SteadyStateSettings& settings,
                                  std::vector<double>& x, std::vector<int>& local) {
  const int m = static_cast<int>(s.states.size());
  if (m > settings.directLimit) {
    return Error{"The " + s.what + " has " + std::to_string(m) + " states, more than the direct solver takes (" +
                 std::to_string(settings.directLimit) + ", set by -d); use an iterative method (-m gs)."};
  }
  Eigen::SparseMatrix<double> a;
  Eigen::VectorXd b;
  {
    std::vector<double> leaving;
    auto pi = gthStationary(localRates(chain, s, local, leaving), kMostGthEntries);
    if (pi) {
      if (!s.normalise) {
        double rate = 0;
        for (int k = 0; k < m; k++) rate += (*pi)[k] * leaving[k];
        if (!(rate > 0)) return Error{"The direct solver found no way out of the " + s.what + "."};
        for (double& p : *pi) p /= rate;
      }
      assemble(chain, s, local, a, b);
      return accept(chain, s, a, b, Eigen::Map<const Eigen::VectorXd>(pi->data(), m), "direct", x);
    }
  }
  assemble(chain, s, local, a, b);
  Eigen::SparseLU<Eigen::SparseMatrix<double>> lu;
  lu.compute(a);
  if (lu.info() != Eigen::Success)
    return Error{"The direct solver could not factorise the " + s.what + ": " + lu.lastErrorMessage()};
  Eigen::VectorXd solution = lu.solve(b);
  if (lu.info() != Eigen::Success || !solution.allFinite())
    return Error{"The direct solver failed on the " + s.what + "."};
  return accept(chain, s, a, b, solution, "direct", x);
}

// Gauss-Seidel sweeps that pick the state a Krylov solve of a stationary
// system pins: enough to find one of the likely states, far fewer than
// converging takes.
constexpr int kPinningSweeps = 10;

// The set's system for a Krylov method: as `assemble`, except that a
// stationary system keeps every balance equation sparse, the pinned state's
// own giving way to x_pin = 1 (the balance equations of an irreducible
// component are one short of full rank, and any one of them follows from
// the others). Normalising the solution afterwards gives the distribution;
// a sum row would be dense, and an incomplete factorisation fills it from
// end to end.
void assemblePinned(const Chain& chain, const System& s, int pin, std::vector<int>& local,
                    Eigen::SparseMatrix<double, Eigen::RowMajor>& a, Eigen::VectorXd& b) {
  const int m = static_cast<int>(s.states.size());
  if (local.size() != static_cast<std::size_t>(chain.states)) local.assign(chain.states, -1);
  for (int k = 0; k < m; k++) local[s.states[k]] = k;
  std::vector<Eigen::Triplet<double>> entries;
  for (int k = 0; k < m; k++) {
    if (k == pin) {
      entries.emplace_back(k, k, 1.0);
      continue;
    }
    const int j = s.states[k];
    entries.emplace_back(k, k, chain.outRate[j]);
    chain.incoming.forEach(j, [&](int i, double rate) {
      if (local[i] >= 0) entries.emplace_back(k, local[i], -rate);
    });
  }
  a.resize(m, m);
  a.setFromTriplets(entries.begin(), entries.end());
  b = Eigen::VectorXd::Zero(m);
  if (s.normalise)
    b[pin] = 1.0;
  else
    b[local[s.source]] = 1.0;
  for (int st : s.states) local[st] = -1;
}

// BiCGSTAB with the incomplete LU factorisation ILU(0) as preconditioner, on
// the pinned system, from the current iterate, until the residual relative
// to the right-hand side is within epsilon. The residual BiCGSTAB updates as
// it goes can drift from the true one, so the true residual is taken at the
// end, and the solve starts again from its answer (at most kKrylovRestarts
// times) while that is past epsilon.
constexpr int kKrylovRestarts = 3;

Outcome<SolveAccount> solveKrylov(const Chain& chain, const System& s, const SteadyStateSettings& settings,
                                  std::vector<double>& x, std::vector<int>& local) {
  const int m = static_cast<int>(s.states.size());
  int pin = -1;
  if (s.normalise) {
    for (int sweep = 0; sweep < kPinningSweeps; sweep++) {
      for (int j : s.states) x[j] = inflow(chain, x, j) / chain.outRate[j];
      normaliseOn(x, s.states);
    }
    pin = 0;
    for (int k = 1; k < m; k++)
      if (x[s.states[k]] > x[s.states[pin]]) pin = k;
  }
  Eigen::SparseMatrix<double, Eigen::RowMajor> a;
  Eigen::VectorXd b;
  assemblePinned(chain, s, pin, local, a, b);
  Eigen::VectorXd solution(m);
  for (int k = 0; k < m; k++) solution[k] = x[s.states[k]];
  if (pin >= 0) solution /= solution[pin];

  Eigen::BiCGSTAB<Eigen::SparseMatrix<double, Eigen::RowMajor>, Ilu0> krylov;
  krylov.setTolerance(settings.epsilon);
  krylov.setMaxIterations(static_cast<Eigen::Index>(std::min<long>(settings.maxIterations, 0x7FFFFFFF)));
  krylov.compute(a);
  if (krylov.info() != Eigen::Success)
    return Error{"BiCGSTAB could not prepare the " + s.what +
                 ": its incomplete LU factorisation met a pivot that is not positive."};
  long iterations = 0;
  double residual = INFINITY;
  const double bNorm = b.norm();
  for (int attempt = 0; attempt <= kKrylovRestarts; attempt++) {
    solution = krylov.solveWithGuess(b, solution);
    iterations += static_cast<long>(krylov.iterations());
    if (!solution.allFinite()) break;
    residual = (b - a * solution).norm() / bNorm;
    if (residual <= settings.epsilon || krylov.info() == Eigen::NoConvergence) break;
  }
  if (!(residual <= settings.epsilon)) {
    return Error{"The " + s.what + " did not converge by BiCGSTAB: after " + std::to_string(iterations) +
                 " iterations the relative residual is " + scientific(residual) + " (epsilon " +
                 scientific(settings.epsilon) +
                 "). Raise the iteration limit (-i), loosen epsilon (-e), or try another method (-m); no value is "
                 "given."};
  }
  for (int k = 0; k < m; k++) x[s.states[k]] = std::max(0.0, solution[k]);
  if (s.normalise) normaliseOn(x, s.states);
  SolveAccount account;
  account.method = "bicgstab";
  account.iterations = iterations;
  account.errorBound = componentwiseResidual(chain, s, x);
  return account;
}

// The automatic method: Gauss-Seidel, and from the same start the direct
// solver or BiCGSTAB where Gauss-Seidel gives no answer.
Outcome<SolveAccount> solveAutomatically(const Chain& chain, const System& s, const SteadyStateSettings& settings,
                                         std::vector<double>& x, std::vector<int>& local, Progress& progress,
                                         std::vector<std::string>& switches) {
  double omega = 1.0;
  auto swept = sweepInPlace(chain, s, settings, omega, x, progress, switches, true);
  if (swept) {
    swept->method = "gs";
    return swept;
  }
  // Back to where Gauss-Seidel started (uniform on a bottom component, 0 on
  // the transient states), rather than a saved copy of a vector as long as
  // the chain.
  const double start = s.normalise ? 1.0 / static_cast<double>(s.states.size()) : 0.0;
  for (int st : s.states) x[st] = start;
  const bool direct = s.states.size() <= static_cast<std::size_t>(settings.directLimit);
  switches.push_back(swept.error().message + "; solved instead by " + (direct ? "the direct solver" : "BiCGSTAB"));
  return direct ? solveDirect(chain, s, settings, x, local) : solveKrylov(chain, s, settings, x, local);
}

Outcome<SolveAccount> solveSystem(const Chain& chain, const System& s, const SteadyStateSettings& settings,
                                  std::vector<double>& x, std::vector<int>& scratch, Progress& progress,
                                  std::vector<std::string>& switches) {
  switch (settings.method) {
    case Method::Automatic: return solveAutomatically(chain, s, settings, x, scratch, progress, switches);
    case Method::Krylov: return solveKrylov(chain, s, settings, x, scratch);
    case Method::GaussSeidel: {
      double omega = 1.0;
      return sweepInPlace(chain, s, settings, omega, x, progress, switches);
    }
    case Method::Sor: {
      double omega = settings.omega;
      auto swept = sweepInPlace(chain, s, settings, omega, x, progress, switches);
      if (swept) swept->method = sorName(omega);
      return swept;
    }
    case Method::Power: return sweepCopy(chain, s, settings, x, progress);
    case Method::Direct: return solveDirect(chain, s, settings, x, scratch);
  }
  return Error{"unknown method"};
}

void add(SolveAccount& total, const SolveAccount& one) {
  if (!one.method.empty() && ("+" + total.method + "+").find("+" + one.method + "+") == std::string::npos)
    total.method += (total.method.empty() ? "" : "+") + one.method;
  total.iterations += one.iterations;
  total.errorBound = std::max(total.errorBound, one.errorBound);
}

}  // namespace

Outcome<LongRun> solveLongRun(const Chain& chain, const Components& components, const SteadyStateSettings& settings,
                              Progress& progress) {
  LongRun run;
  // The automatic method names what each system used; a chain that needs no
  // system keeps the name of the first method tried.
  const std::string named = settings.method == Method::Automatic ? "gs"
                            : settings.method == Method::Sor     ? sorName(settings.omega)
                                                                 : methodName(settings.method);
  run.bottomComponents = components.bottom.size();
  run.transientStates = components.transient.size();
  std::vector<double>& x = run.probability;
  x.assign(chain.states, 0.0);
  std::vector<int> scratch;

  // How likely the chain ends in each bottom component: from the expected
  // time y_i spent in each transient state i, the flow y_i q_ij into it.
  std::vector<double> absorbed(components.bottom.size(), 0.0);
  const int home = components.initialClass;
  if (home >= 0) {
    absorbed[home] = 1.0;
  } else {
    System sojourn{"expected time in the " + std::to_string(components.transient.size()) + " transient states",
                   components.transient, chain.initial, false};
    auto solved = solveSystem(chain, sojourn, settings, x, scratch, progress, run.switches);
    if (!solved) return solved.error();
    add(run.account, *solved);
    double total = 0;
    for (std::size_t b = 0; b < components.bottom.size(); b++) {
      for (int j : components.bottom[b]) absorbed[b] += inflow(chain, x, j);
      total += absorbed[b];
    }
    if (!(total > 0)) return Error{"The chain reaches no bottom component from its initial state."};
    for (double& a : absorbed) a /= total;
    for (int s : components.transient) x[s] = 0.0;
  }

  for (std::size_t b = 0; b < components.bottom.size(); b++) {
    if (absorbed[b] == 0.0) continue;
    const std::vector<int>& states = components.bottom[b];
    if (states.size() == 1) {
      x[states[0]] = absorbed[b];
      continue;
    }
    const double start = 1.0 / static_cast<double>(states.size());
    for (int s : states) x[s] = start;
    System stationary{"stationary distribution of the " + std::to_string(states.size()) + "-state bottom component",
                      states, -1, true};
    auto solved = solveSystem(chain, stationary, settings, x, scratch, progress, run.switches);
    if (!solved) return solved.error();
    add(run.account, *solved);
    for (int s : states) x[s] *= absorbed[b];
  }
  // SOR names the relaxation each system converged at.
  if (run.account.method.empty() || (settings.method != Method::Automatic && settings.method != Method::Sor))
    run.account.method = named;
  return run;
}

}  // namespace solver
