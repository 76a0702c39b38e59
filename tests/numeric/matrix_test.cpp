// The 2 x 2 (and n x n) matrix algebra and the sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "numeric/float_faults.h"
#include "numeric/matrix_handling.h"

namespace {

// A matrix full of 7s with the given leading block.
Matrix20 Filled(std::initializer_list<std::initializer_list<long double>> rows) {
  Matrix20 m;
  for (auto& row : m.e)
    std::fill(std::begin(row), std::end(row), 7.0L);
  int i = 1;
  for (auto row : rows) {
    int j = 1;
    for (long double v : row)
      m(i, j++) = v;
    ++i;
  }
  return m;
}

// Expects the leading n x n block of a to be b, and the rest of a to be
// `outside` (NaN: not checked).
void ExpectBlock(const Matrix20& a, const Matrix20& b, int n, long double outside) {
  for (int i = 1; i <= 20; ++i)
    for (int j = 1; j <= 20; ++j) {
      if (i <= n && j <= n) {
        EXPECT_EQ(a(i, j), b(i, j)) << i << "," << j;
      } else if (!std::isnan(outside)) {
        EXPECT_EQ(a(i, j), outside) << i << "," << j;
      }
    }
}

// |A R - I| on the n x n block, relative to the product's scale.
long double InverseError(const Matrix20& A, const Matrix20& R, int n) {
  Matrix20 P;
  MatrixMultiply(A, R, n, P);
  long double worst = 0;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      worst = std::max(worst, std::fabs(P(i, j) - (i == j)));
  return worst;
}

TEST(Matrix, MultiplyTransposeCholeskyInPlaceAndBlockOnly) {
  Matrix20 a = Filled({{1, 2}, {3, 4}});
  MatrixMultiply(a, a, 2, a);
  ExpectBlock(a, Filled({{7, 10}, {15, 22}}), 2, 7);
  Matrix20 b = Filled({{1, 2}, {3, 4}});
  MatrixTranspose(b, 2, b);
  ExpectBlock(b, Filled({{1, 3}, {2, 4}}), 2, 7);
  Matrix20 c = Filled({{1, 2, 0}, {0, 1, 0}, {0, 0, 2}});
  Matrix20 d = Filled({{1, 0, 1}, {1, 1, 0}, {0, 3, 1}});
  MatrixMultiply(c, d, 3, d);
  ExpectBlock(d, Filled({{3, 2, 1}, {1, 1, 0}, {0, 6, 2}}), 3, 7);
  // Cholesky ignores A(1, 2), writes L(1, 2) = 0 and nothing outside.
  Matrix20 s = Filled({{4, 99}, {2, 3}});
  Matrix20 L = Filled({});
  Cholesky2x2(s, L);
  ExpectBlock(L, Filled({{2, 0}, {1, std::sqrt(2.0L)}}), 2, 7);
  Cholesky2x2(s, s);
  ExpectBlock(s, L, 2, 7);
}

TEST(Matrix, InverseExamples) {
  Matrix20 r = Filled({});
  ASSERT_TRUE(MatrixInverse(Filled({{4, 2}, {2, 3}}), 2, r));
  ExpectBlock(r, Filled({{0.375L, -0.25L}, {-0.25L, 0.5L}}), 2, 0);
  Matrix20 swap = Filled({{0, 1}, {1, 0}});
  ASSERT_TRUE(MatrixInverse(swap, 2, swap));  // in place
  ExpectBlock(swap, Filled({{0, 1}, {1, 0}}), 2, 0);
  // No pivot at all in column 1: singular, reported, R still the identity.
  EXPECT_FALSE(MatrixInverse(Filled({{0, 1}, {0, 1}}), 2, r));
  ExpectBlock(r, Filled({{1, 0}, {0, 1}}), 2, 0);
  // Singular in the second column after the first step: R partly reduced.
  EXPECT_FALSE(MatrixInverse(Filled({{1, 2}, {2, 4}}), 2, r));
  ExpectBlock(r, Filled({{1, 0}, {-2, 1}}), 2, 0);
  const Matrix20 a3 = Filled({{2, 1, 0}, {1, 3, 1}, {0, 1, 4}});
  ASSERT_TRUE(MatrixInverse(a3, 3, r));
  EXPECT_LT(InverseError(a3, r, 3), 1e-18);
  EXPECT_EQ(r(1, 1), 11.0L / 18);
}

TEST(Matrix, InverseOfSmallButRegularMatrices) {
  // A first entry below the 1e-10 threshold with a usable one further down
  // takes the usual rule; entries all below it take the largest pivot.
  for (long double scale : {1.0L, 1e-9L, 1e-11L, 1e-30L, 1e30L}) {
    const Matrix20 a = Filled({{4 * scale, 2 * scale}, {2 * scale, 3 * scale}});
    Matrix20 r;
    ASSERT_TRUE(MatrixInverse(a, 2, r)) << static_cast<double>(scale);
    EXPECT_LT(InverseError(a, r, 2), 1e-18) << static_cast<double>(scale);
  }
  const Matrix20 a = Filled({{1e-12L, 0}, {3e-12L, 2e-12L}});
  Matrix20 r;
  ASSERT_TRUE(MatrixInverse(a, 2, r));
  EXPECT_LT(InverseError(a, r, 2), 1e-18);
  const Matrix20 b = Filled({{1e-11L, 1}, {1, 1}});
  ASSERT_TRUE(MatrixInverse(b, 2, r));
  EXPECT_LT(InverseError(b, r, 2), 1e-18);
  EXPECT_FALSE(MatrixInverse(Filled({{1e-12L, 0}, {1e-12L, 0}}), 2, r));
  // A pivot whose reciprocal overflows is a fault, not a matrix of NaNs.
  ClearFloatingPointFlags();
  EXPECT_THROW((void)MatrixInverse(Filled({{1e-4940L, 0}, {0, 1}}), 2, r), EOverflow);
}

TEST(Matrix, CholeskyOfAMatrixThatIsNotPositiveDefinite) {
  ClearFloatingPointFlags();
  Matrix20 L = Filled({});
  EXPECT_THROW(Cholesky2x2(Filled({{1, 0}, {2, 3}}), L), EInvalidOp);
  ExpectBlock(L, Filled({{1, 0}, {2, 7}}), 2, 7);  // stops before L(2, 2)
  L = Filled({});
  EXPECT_THROW(Cholesky2x2(Filled({{-1, 0}, {0, 1}}), L), EInvalidOp);
  ExpectBlock(L, Filled({}), 2, 7);
  EXPECT_THROW(Cholesky2x2(Filled({{0, 0}, {1, 1}}), L), EZeroDivide);
}

bool Sorted(const std::vector<double>& x) {
  return std::is_sorted(x.begin(), x.end());
}

TEST(QuickSort, ExamplesAndRangeBounds) {
  std::vector<double> x{3, 1, 2, 1, 0};
  QuickSort(1, 5, x.data());
  EXPECT_EQ(x, (std::vector<double>{0, 1, 1, 2, 3}));
  std::vector<double> y{5, 4, 3};
  QuickSort(1, 1, y.data());
  QuickSort(3, 2, y.data());
  EXPECT_EQ(y, (std::vector<double>{5, 4, 3}));
  // Only entries 3 ... 6 take part; all exceed the pivot but the pivot.
  std::vector<double> z{-1, -2, 9, 8, 7, 1, -3};
  QuickSort(3, 6, z.data());
  EXPECT_EQ(z, (std::vector<double>{-1, -2, 1, 7, 8, 9, -3}));
}

TEST(QuickSort, MillionsInAnyOrder) {
  const int n = 1000000;
  std::mt19937_64 random(12345);
  std::normal_distribution<double> normal;
  std::vector<double> x(n);
  for (double& v : x)
    v = normal(random);
  std::vector<double> expected = x;
  std::sort(expected.begin(), expected.end());
  std::vector<double> work = x;
  QuickSort(1, n, work.data());
  EXPECT_EQ(work, expected);
  // Already sorted, reversed, all equal, organ pipe: no deep recursion.
  QuickSort(1, n, work.data());
  EXPECT_EQ(work, expected);
  std::reverse(work.begin(), work.end());
  QuickSort(1, n, work.data());
  EXPECT_EQ(work, expected);
  std::vector<double> equal(n, 2.5);
  QuickSort(1, n, equal.data());
  EXPECT_TRUE(std::all_of(equal.begin(), equal.end(), [](double v) { return v == 2.5; }));
  for (int i = 0; i < n; ++i)
    work[i] = std::min(i, n - i);
  QuickSort(1, n, work.data());
  EXPECT_TRUE(Sorted(work));
  // NaNs make no order, but the sort stays inside the range and keeps the
  // values.
  std::vector<double> nan(1000);
  for (int i = 0; i < 1000; ++i)
    nan[i] = i % 7 ? i : std::numeric_limits<double>::quiet_NaN();
  QuickSort(1, 1000, nan.data());
  EXPECT_EQ(std::count_if(nan.begin(), nan.end(), [](double v) { return std::isnan(v); }), 143);
}

}  // namespace
