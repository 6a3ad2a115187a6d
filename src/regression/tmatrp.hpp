// tmatrp: factors a symmetric positive-definite matrix A = R^T R (R upper
// triangular) by the square-root (Cholesky) method, and from the factor
// optionally solves A x = b or only its forward half R^T x = b, and optionally
// forms R^-1 or A^-1 in place. It returns the determinant (the product of the
// pivots) and counts pivots too small to use, which it treats as zero, so a
// rank-deficient matrix still gives a result with those variables dropped.
//
// Arguments, all by reference:
//   n    order, 1 <= n < nn (and n < regression_rows, the rows the matrix has);
//   a    in: the upper triangle a(i, j), i <= j <= n, and b in column n + 1;
//        out: below the diagonal, shifted down one row, R(i, j) at a(j + 1, i)
//        with the diagonal stored as 1 / R(i, i) at a(i + 1, i); with inv = 1
//        those places hold R^-1(i, j), with inv <= 0 they hold A^-1(i, j).
//        The upper triangle and column n + 1 are never written;
//   eps  relative pivot tolerance: pivot i is usable when it is at least
//        eps * |a(i, i)| and above 0, dropped (reciprocal 0) when it lies from
//        -eps * |a(i, i)| up to that, and below that the matrix is refused;
//   inv  0 or less: A^-1; 1: R^-1 only; 2 or more: no inverse;
//   sol  0 or less: full solve; 1: forward half only; 2 or more: no solve;
//   x    out: the solution (or its forward half), n values;
//   det  out: the determinant;
//   nn   rows of a as the caller declares them;
//   ier  out: 0 all pivots usable; k > 0 k pivots dropped; -1 n or nn refused
//        (a, x and det untouched); -2 not positive definite (det is the
//        product up to the negative pivot, a holds the finished factor rows).
// The refusals write a one-line message to the report sink.
//
// Arithmetic: every sum runs in a 64-bit accumulator over products of the
// stored 32-bit values, and every result is stored as a 32-bit real.
//
// Check a result: multiply R^T R back (or A by x) and compare with the input;
// n = 2, A = [[4, 2], [2, 3]], b = (2, 1) gives pivots 4 and 2, det 8 and
// x = (0.5, 0).
#pragma once

#include <cstdint>

#include "regression/report_format.hpp"
#include "store/regression_work.hpp"

namespace mapari {

void tmatrp(ReportSink& report, const std::int32_t& n, SolverMatrix& a, const float& eps,
            const std::int32_t& inv, const std::int32_t& sol, Array1<float, regression_rows>& x,
            float& det, const std::int32_t& nn, std::int32_t& ier);

// The forward half x = R^-T b, from a factor laid out as tmatrp leaves it
// (R(k, i) at (i + 1, k), 1 / R(i, i) at (i + 1, i)): tmatrp's own matrix or a
// copy of its results; b and x hold n values each, x(i) at x[i - 1].
template <typename Factor>
void forward_substitution(const Factor& a, std::int32_t n, const float* b, float* x) {
    for (std::int32_t i = 1; i <= n; ++i) {
        double s = b[i - 1];
        for (std::int32_t k = 1; k < i; ++k) s -= double(x[k - 1]) * double(a(i + 1, k));
        x[i - 1] = static_cast<float>(s * double(a(i + 1, i)));
    }
}

}  // namespace mapari
