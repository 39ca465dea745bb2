#ifndef SOLVER_ILU0_H
#define SOLVER_ILU0_H

#include <Eigen/Sparse>
#include <cstdint>
#include <vector>

// The incomplete LU factorisation with no fill, ILU(0), as a preconditioner
// for Eigen's iterative solvers: L and U keep the matrix's own pattern, so
// the factors cost one more array of values, and making them costs a few
// passes over each row's neighbours. Eigen's IncompleteLUT keeps the largest
// entries wherever they fall, which on chains of millions of states spends
// minutes choosing them (Kanban N = 4: 140 s, against 3 s for the whole
// Gauss-Seidel solve).
//
// On the balance equations (diagonal the exit rate, off the diagonal minus
// the rates in, columns weakly diagonally dominant) with one equation
// pinned, the matrix is a nonsingular M-matrix, where ILU(0) exists and its
// pivots are positive; a pivot that is not is reported as a failure.
namespace solver {

class Ilu0 {
 public:
  using StorageIndex = int;
  enum { ColsAtCompileTime = Eigen::Dynamic, MaxColsAtCompileTime = Eigen::Dynamic };

  Ilu0() = default;
  template <typename Matrix>
  explicit Ilu0(const Matrix& a) {
    compute(a);
  }

  Eigen::Index rows() const { return static_cast<Eigen::Index>(start_.empty() ? 0 : start_.size() - 1); }
  Eigen::Index cols() const { return rows(); }

  template <typename Matrix>
  Ilu0& analyzePattern(const Matrix&) {
    return *this;
  }
  template <typename Matrix>
  Ilu0& factorize(const Matrix& a) {
    return compute(a);
  }
  template <typename Matrix>
  Ilu0& compute(const Matrix& matrix) {
    const Eigen::SparseMatrix<double, Eigen::RowMajor, int> a(matrix);
    const int n = static_cast<int>(a.rows());
    start_.assign(a.outerIndexPtr(), a.outerIndexPtr() + n + 1);
    column_.assign(a.innerIndexPtr(), a.innerIndexPtr() + a.nonZeros());
    value_.assign(a.valuePtr(), a.valuePtr() + a.nonZeros());
    diagonal_.assign(n, -1);
    info_ = Eigen::Success;
    std::vector<int> at(n, -1);
    for (int i = 0; i < n && info_ == Eigen::Success; i++) {
      for (int p = start_[i]; p < start_[i + 1]; p++) {
        at[column_[p]] = p;
        if (column_[p] == i) diagonal_[i] = p;
      }
      // Row i minus multiples of the rows above it, in column order, kept to
      // row i's own pattern.
      for (int p = start_[i]; p < start_[i + 1] && column_[p] < i; p++) {
        const int k = column_[p];
        const double l = value_[p] / value_[diagonal_[k]];
        value_[p] = l;
        for (int q = diagonal_[k] + 1; q < start_[k + 1]; q++)
          if (at[column_[q]] >= 0) value_[at[column_[q]]] -= l * value_[q];
      }
      for (int p = start_[i]; p < start_[i + 1]; p++) at[column_[p]] = -1;
      if (diagonal_[i] < 0 || !(value_[diagonal_[i]] > 0)) info_ = Eigen::NumericalIssue;
    }
    return *this;
  }

  Eigen::ComputationInfo info() const { return info_; }

  // (LU)^-1 b: forward through L (unit diagonal), back through U.
  template <typename Rhs>
  Eigen::VectorXd solve(const Eigen::MatrixBase<Rhs>& b) const {
    const int n = static_cast<int>(rows());
    Eigen::VectorXd x = b;
    for (int i = 0; i < n; i++) {
      double sum = x[i];
      for (int p = start_[i]; p < diagonal_[i]; p++) sum -= value_[p] * x[column_[p]];
      x[i] = sum;
    }
    for (int i = n - 1; i >= 0; i--) {
      double sum = x[i];
      for (int p = diagonal_[i] + 1; p < start_[i + 1]; p++) sum -= value_[p] * x[column_[p]];
      x[i] = sum / value_[diagonal_[i]];
    }
    return x;
  }

 private:
  std::vector<int> start_, column_, diagonal_;
  std::vector<double> value_;
  Eigen::ComputationInfo info_ = Eigen::Success;
};

}  // namespace solver

#endif
