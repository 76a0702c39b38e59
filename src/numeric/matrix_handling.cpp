// The matrix routines and the sort of the Monte Carlo sample.
//
// Sources of the methods:
// - MatrixInverse: Gauss-Jordan elimination with row exchanges, reducing A
//   to the identity while the same row operations turn the identity into
//   the inverse (W. H. Press, S. A. Teukolsky, W. T. Vetterling and
//   B. P. Flannery, "Numerical Recipes: The Art of Scientific Computing",
//   3rd ed., Cambridge University Press 2007, section 2.1; N. J. Higham,
//   "Accuracy and Stability of Numerical Algorithms", 2nd ed., SIAM 2002,
//   section 14.4).  The pivot rule (the first entry above a threshold, else
//   the largest) is this program's own.
// - Cholesky2x2: the Cholesky factorization A = L L^T written out for two
//   rows (G. H. Golub and C. F. Van Loan, "Matrix Computations", 4th ed.,
//   Johns Hopkins University Press 2013, section 4.2; Higham, chapter 10).
// - QuickSort: C. A. R. Hoare's quicksort ("Quicksort", The Computer
//   Journal 5(1), 1962, 10-16) with R. Sedgewick's refinements: scans from
//   both ends that stop at keys equal to the pivot, median-of-three pivots,
//   insertion sort for short ranges and the smaller part first so that the
//   stack stays logarithmic ("Implementing Quicksort Programs",
//   Communications of the ACM 21(10), 1978, 847-857); and D. R. Musser's
//   depth limit beyond which a range is heap-sorted ("Introspective Sorting
//   and Selection Algorithms", Software: Practice and Experience 27(8),
//   1997, 983-993).  The heap sort is J. W. J. Williams's ("Algorithm 232:
//   Heapsort", Communications of the ACM 7(6), 1964, 347-348) with
//   R. W. Floyd's bottom-up heap construction ("Algorithm 245: Treesort 3",
//   Communications of the ACM 7(12), 1964, 701).
#include "numeric/matrix_handling.h"

#include <cmath>
#include <cstddef>
#include <utility>

#include "numeric/float_faults.h"
#include "numeric/kernels.h"

#include <cfenv>

namespace {

kernels::tMatrix2 Block(const Matrix20& m) {
  return {m(1, 1), m(1, 2), m(2, 1), m(2, 2)};
}

void SetBlock(const kernels::tMatrix2& b, Matrix20& m) {
  m(1, 1) = b.a11;
  m(1, 2) = b.a12;
  m(2, 1) = b.a21;
  m(2, 2) = b.a22;
}

// Smallest magnitude the pivot search accepts before it looks for the
// largest entry instead.
constexpr tReal kPivotThreshold = 1e-10L;

// Copies the leading n x n block: the only entries the routines read, so an
// output may be one of the inputs.
void CopyBlock(const Matrix20& from, int n, Matrix20& to) {
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      to(i, j) = from(i, j);
}

}  // namespace

void MatrixZero(Matrix20& M) {
  for (auto& row : M.e)
    for (tReal& entry : row)
      entry = 0;
}

// The engines' 2 x 2 steps serve n = 2 (the same operations as the loops).
void MatrixMultiply(const Matrix20& A, const Matrix20& B, int n, Matrix20& C) {
  if (n == 2) {
    SetBlock(kernels::Multiply(Block(A), Block(B)), C);
    return;
  }
  Matrix20 product;
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      tReal sum = 0;
      for (int k = 1; k <= n; ++k)
        sum = sum + A(i, k) * B(k, j);
      product(i, j) = sum;
    }
  }
  CopyBlock(product, n, C);
}

void MatrixTranspose(const Matrix20& A, int n, Matrix20& T) {
  if (n == 2) {
    SetBlock(kernels::Transpose(Block(A)), T);
    return;
  }
  Matrix20 copy;
  CopyBlock(A, n, copy);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      T(j, i) = copy(i, j);
}

bool MatrixInverse(const Matrix20& A, int n, Matrix20& R) {
  if (n == 2) {
    // The engines' 2 x 2 inverse, whenever it gives a finite result.  A
    // singular or overflowing matrix takes the loops below instead, from
    // the flags as they stood, for their partial result or their fault.
    const tFloatingPointFlags flags = SaveFloatingPointFlags();
    kernels::tMatrix2 inverse;
    if (kernels::Inverse(Block(A), inverse) && real_math::isfinite(inverse.a11) &&
        real_math::isfinite(inverse.a12) && real_math::isfinite(inverse.a21) &&
        real_math::isfinite(inverse.a22)) {
      MatrixZero(R);
      SetBlock(inverse, R);
      return true;
    }
    RestoreFloatingPointFlags(flags);
  }
  Matrix20 W;
  CopyBlock(A, n, W);
  MatrixZero(R);
  for (int i = 1; i <= n; ++i)
    R(i, i) = 1;

  for (int k = 1; k <= n; ++k) {
    // The first entry at or below the diagonal of magnitude at least 1e-10.
    // A matrix whose entries are all small (a covariance matrix of small
    // standard deviations) may have none although it is invertible: then
    // the entry of largest magnitude (the first of equal ones) serves, and
    // only a column of zeros makes the matrix singular.
    int r = k;
    while (r <= n && !(real_math::fabs(W(r, k)) >= kPivotThreshold))
      ++r;
    if (r > n) {
      r = k;
      tReal largest = real_math::fabs(W(k, k));
      for (int i = k + 1; i <= n; ++i) {
        if (real_math::fabs(W(i, k)) > largest) {
          largest = real_math::fabs(W(i, k));
          r = i;
        }
      }
      // Not "== 0": a column of NaNs is no pivot either.
      if (!(largest > 0)) return false;
    }
    if (r != k) {
      for (int j = 1; j <= n; ++j) {
        std::swap(W(r, j), W(k, j));
        std::swap(R(r, j), R(k, j));
      }
    }
    // Only a fallback pivot (below 1e-10) can be so small that its
    // reciprocal overflows; the infinity would spread through R as NaNs.
    const tReal t = 1 / W(k, k);
    CheckFinite(t);
    for (int j = 1; j <= n; ++j) {
      W(k, j) = W(k, j) * t;
      R(k, j) = R(k, j) * t;
    }
    for (int i = 1; i <= n; ++i) {
      if (i == k) continue;
      const tReal f = -W(i, k);
      for (int j = 1; j <= n; ++j) {
        W(i, j) = f * W(k, j) + W(i, j);
        R(i, j) = f * R(k, j) + R(i, j);
      }
    }
  }
  return true;
}

// Not the engines' kernel: this one stops at the first entry that faults,
// with the flags of that entry alone.
void Cholesky2x2(const Matrix20& A, Matrix20& L) {
  const tReal a11 = A(1, 1);
  const tReal a21 = A(2, 1);
  const tReal a22 = A(2, 2);
  // No test of positive definiteness: a negative square root argument or
  // a11 = 0 is the arithmetic fault that ends the computation, raised before
  // the entry it would have spoilt is written (entries written before stay).
  const tReal l11 = real_math::sqrt(a11);
  CheckFinite(l11);
  L(1, 1) = l11;
  L(1, 2) = 0;
  const tReal l21 = a21 / L(1, 1);
  CheckFinite(l21);
  L(2, 1) = l21;
  const tReal l22 = real_math::sqrt(a22 - L(2, 1) * L(2, 1));
  CheckFinite(l22);
  L(2, 2) = l22;
}

namespace {

// Sorts X[lo] ... X[hi] (0-based here) by sifting through a binary heap.
// Used only for a range on which the partitioning has gone too deep: its
// time is bounded whatever the order, and it never leaves the range, even
// with NaNs among the values.
void HeapSort(double* X, std::ptrdiff_t lo, std::ptrdiff_t hi) {
  double* a = X + lo;
  const std::ptrdiff_t count = hi - lo + 1;
  auto sift_down = [a](std::ptrdiff_t root, std::ptrdiff_t end) {
    for (;;) {
      std::ptrdiff_t child = 2 * root + 1;
      if (child >= end) return;
      if (child + 1 < end && a[child] < a[child + 1]) ++child;
      if (!(a[root] < a[child])) return;
      std::swap(a[root], a[child]);
      root = child;
    }
  };
  for (std::ptrdiff_t start = count / 2 - 1; start >= 0; --start)
    sift_down(start, count);
  for (std::ptrdiff_t end = count - 1; end > 0; --end) {
    std::swap(a[0], a[end]);
    sift_down(0, end);
  }
}

// Sorts a short range X[lo] ... X[hi] by straight insertion, which is faster
// than partitioning it further.
void InsertionSort(double* X, std::ptrdiff_t lo, std::ptrdiff_t hi) {
  for (std::ptrdiff_t i = lo + 1; i <= hi; ++i) {
    const double v = X[i];
    std::ptrdiff_t j = i;
    for (; j > lo && v < X[j - 1]; --j)
      X[j] = X[j - 1];
    X[j] = v;
  }
}

// Moves the median of the first, middle and last entries to the last
// position, where the partition takes its pivot.
void MedianToLast(double* X, std::ptrdiff_t lo, std::ptrdiff_t hi) {
  const std::ptrdiff_t mid = lo + (hi - lo) / 2;
  if (X[mid] < X[lo]) std::swap(X[mid], X[lo]);
  if (X[hi] < X[lo]) std::swap(X[hi], X[lo]);
  if (X[mid] < X[hi]) std::swap(X[mid], X[hi]);
}

// The partition with the last entry as pivot: both scans stop at entries
// equal to the pivot, which are exchanged, so runs of equal values split
// evenly.  Returns the pivot's final position.
std::ptrdiff_t Partition(double* X, std::ptrdiff_t lo, std::ptrdiff_t hi) {
  const double v = X[hi];
  std::ptrdiff_t i = lo - 1;
  std::ptrdiff_t j = hi;
  do {
    do
      ++i;
    while (X[i] < v);  // stops at hi at the latest, since X[hi] = v
    do
      --j;
    while (X[j] > v && j > lo);
    if (j > i) std::swap(X[i], X[j]);
  } while (j > i);
  std::swap(X[i], X[hi]);
  return i;
}

}  // namespace

void QuickSort(int32_t lo, int32_t hi, double* X) {
  if (hi <= lo) return;
  // Entries are numbered from 1; work on 0-based positions.
  std::ptrdiff_t first = static_cast<std::ptrdiff_t>(lo) - 1;
  std::ptrdiff_t last = static_cast<std::ptrdiff_t>(hi) - 1;

  // Each partition leaves two disjoint parts; the order in which they are
  // sorted does not change the result.
  struct Range {
    std::ptrdiff_t first, last;
    int depth;
  };
  // A random order partitions to a depth of about 4.3 ln(count) (about 60
  // for a million) with the last entry as pivot; an already sorted or
  // reversed range would take one level per entry.  Deeper than twice
  // log2(count) the pivot becomes the median of three, and a range that
  // still goes twice as deep again is heap-sorted, so the time stays
  // count log(count) whatever the order.
  int log2_count = 0;
  for (std::ptrdiff_t c = last - first + 1; c > 1; c >>= 1)
    ++log2_count;
  const int median_depth = 2 * log2_count + 8;
  const int heap_depth = 2 * median_depth;
  constexpr std::ptrdiff_t kShortRange = 16;

  Range stack[64];  // 32 would do for any 32-bit range
  int top = 0;
  stack[top++] = {first, last, 0};
  while (top > 0) {
    Range r = stack[--top];
    while (r.last > r.first) {
      if (r.last - r.first < kShortRange) {
        InsertionSort(X, r.first, r.last);
        break;
      }
      if (r.depth >= heap_depth) {
        HeapSort(X, r.first, r.last);
        break;
      }
      if (r.depth >= median_depth) MedianToLast(X, r.first, r.last);
      const std::ptrdiff_t p = Partition(X, r.first, r.last);
      const Range lower{r.first, p - 1, r.depth + 1};
      const Range upper{p + 1, r.last, r.depth + 1};
      // Leave the larger part for later and go on with the smaller, which
      // is at most half the range: so at most log2(count) + 1 ranges wait
      // at once, as with recursion into the smaller part.
      const bool lower_is_smaller = lower.last - lower.first < upper.last - upper.first;
      const Range& larger = lower_is_smaller ? upper : lower;
      if (larger.last > larger.first) stack[top++] = larger;
      r = lower_is_smaller ? lower : upper;
    }
  }
}
