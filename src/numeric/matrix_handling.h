// Fixed-size dense matrices for the engines' 2 x 2 covariance algebra, and
// the in-place sort of the Monte Carlo sample.
#pragma once

#include <cstdint>

#include "numeric/real.h"

// 20 x 20 extended-precision matrix, rows and columns numbered from 1.  The
// routines act on the leading n x n block.
struct Matrix20 {
  tReal e[20][20];
  tReal& operator()(int row, int col) { return e[row - 1][col - 1]; }
  const tReal& operator()(int row, int col) const { return e[row - 1][col - 1]; }
};

// All 400 entries become 0.
void MatrixZero(Matrix20& M);
// C = A x B on the n x n block.  C may be A or B.
void MatrixMultiply(const Matrix20& A, const Matrix20& B, int n, Matrix20& C);
// T = transpose of A on the n x n block.  T may be A.
void MatrixTranspose(const Matrix20& A, int n, Matrix20& T);
// R = inverse of A on the n x n block, zeros elsewhere.  The pivot of a
// column is its first entry at or below the diagonal of magnitude at least
// 1e-10, else its largest one there.  Returns false when A is singular (a
// column without a nonzero pivot; R then holds the partly reduced matrix).
// A pivot whose reciprocal overflows raises EOverflow.  R may be A.
[[nodiscard]] bool MatrixInverse(const Matrix20& A, int n, Matrix20& R);
// Lower-triangular L with L x transpose(L) = A on the 2 x 2 block, from
// A(1, 1), A(2, 1) and A(2, 2).  A matrix that is not positive definite
// raises the floating-point error (EInvalidOp, or EZeroDivide for
// A(1, 1) = 0).
void Cholesky2x2(const Matrix20& A, Matrix20& L);

// Sorts entries lo ... hi ascending, in place.  Entries are numbered from 1:
// X[0] is entry 1.
void QuickSort(int32_t lo, int32_t hi, double* X);
