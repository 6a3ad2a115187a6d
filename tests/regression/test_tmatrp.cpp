// The positive-definite solver: factor, forward and back solve, R^-1 and
// A^-1 in the shifted lower part of a, the determinant, dropped pivots and
// the two refusals with their messages.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "regression/tmatrp.hpp"
#include "regression_support.hpp"

namespace mapari::regression_tests {
namespace {

using Vector = Array1<float, regression_rows>;

// A matrix whose every element holds the sentinel, with A's upper triangle and b set.
SolverMatrix matrix_of(const std::vector<std::vector<float>>& upper, const std::vector<float>& b) {
    SolverMatrix a;
    a.fill(sentinel);
    const int n = static_cast<int>(b.size());
    for (int i = 1; i <= n; ++i) {
        for (int j = i; j <= n; ++j) a(i, j) = upper[i - 1][j - 1];
        a(i, n + 1) = b[i - 1];
    }
    return a;
}

Vector sentinel_vector() {
    Vector x;
    x.fill(sentinel);
    return x;
}

struct Solve {
    TextWindow window;
    Vector x = sentinel_vector();
    float det = sentinel;
    std::int32_t ier = 12345;
    void run(SolverMatrix& a, std::int32_t n, float eps, std::int32_t inv, std::int32_t sol,
             std::int32_t nn = regression_rows) {
        tmatrp(window, n, a, eps, inv, sol, x, det, nn, ier);
    }
};

// The upper triangle and column n + 1 are the caller's: never written.
void expect_input_kept(const SolverMatrix& a, const SolverMatrix& before, int n) {
    for (int j = 1; j <= n + 1; ++j)
        for (int i = 1; i <= std::min(j, n); ++i) EXPECT_EQ(a(i, j), before(i, j)) << i << "," << j;
}

// n = 2, A = [[4, 2], [2, 3]], b = (2, 1). By hand: R(1,1) = 2, R(1,2) = 2/2 = 1,
// R(2,2) = sqrt(3 - 1*1) = sqrt 2; pivots 4 and 2, det = 8. Forward half:
// x1 = 2 * 1/2 = 1, x2 = (1 - 1*1) / sqrt 2 = 0. Back half: x2 = 0,
// x1 = (1 - 0) * 1/2 = 0.5. R^-1(1,2) = -R(1,2) R^-1(1,1) / R(2,2) = -1/(2 sqrt 2).
// A^-1 = [[3, -2], [-2, 4]] / 8 = [[0.375, -0.25], [-0.25, 0.5]].
TEST(Tmatrp, WorkedExampleForEveryInverseAndSolveOption) {
    const float root_half = static_cast<float>(1.0 / std::sqrt(2.0));
    for (std::int32_t inv : {-1, 0, 1, 2, 3}) {
        for (std::int32_t sol : {-2, 0, 1, 2, 5}) {
            SCOPED_TRACE("inv " + std::to_string(inv) + " sol " + std::to_string(sol));
            SolverMatrix a = matrix_of({{4, 2}, {0, 3}}, {2, 1});
            const SolverMatrix before = a;
            Solve s;
            s.run(a, 2, 1e-6f, inv, sol);
            EXPECT_EQ(s.ier, 0);
            EXPECT_EQ(s.det, 8.0f);
            expect_input_kept(a, before, 2);
            if (inv >= 2) {
                EXPECT_EQ(a(2, 1), 0.5f);
                EXPECT_EQ(a(3, 1), 1.0f);
                EXPECT_FLOAT_EQ(a(3, 2), root_half);
            } else if (inv == 1) {
                EXPECT_EQ(a(2, 1), 0.5f);
                EXPECT_FLOAT_EQ(a(3, 1), -0.5f * root_half);
                EXPECT_FLOAT_EQ(a(3, 2), root_half);
            } else {
                EXPECT_FLOAT_EQ(a(2, 1), 0.375f);
                EXPECT_FLOAT_EQ(a(3, 1), -0.25f);
                EXPECT_FLOAT_EQ(a(3, 2), 0.5f);
            }
            if (sol >= 2) {
                EXPECT_EQ(s.x(1), sentinel);
                EXPECT_EQ(s.x(2), sentinel);
            } else if (sol == 1) {
                EXPECT_EQ(s.x(1), 1.0f);
                EXPECT_EQ(s.x(2), 0.0f);
            } else {
                EXPECT_EQ(s.x(1), 0.5f);
                EXPECT_EQ(s.x(2), 0.0f);
            }
            EXPECT_EQ(s.x(3), sentinel);
            EXPECT_EQ(a(4, 1), sentinel);  // nothing below row n + 1
            EXPECT_TRUE(s.window.lines().empty());
        }
    }
}

// A 5 by 5 matrix with a known solution: A x = b and A A^-1 = I checked by
// multiplying back in 64 bits, R^T R = A from the factor.
TEST(Tmatrp, LargerSystemMultipliesBack) {
    const int n = 5;
    std::vector<std::vector<float>> full(n, std::vector<float>(n));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            full[i][j] =
                (i == j) ? 10.0f + static_cast<float>(i) : 1.0f / static_cast<float>(1 + i + j);
    const std::vector<double> solution = {1, -2, 0.5, 3, -1};
    std::vector<float> b(n);
    for (int i = 0; i < n; ++i) {
        double sum = 0;
        for (int j = 0; j < n; ++j) sum += double(full[i][j]) * solution[j];
        b[i] = static_cast<float>(sum);
    }
    SolverMatrix factored = matrix_of(full, b);
    SolverMatrix inverted = factored;
    Solve s;
    s.run(factored, n, 1e-6f, 2, 0);
    ASSERT_EQ(s.ier, 0);
    for (int i = 1; i <= n; ++i) EXPECT_NEAR(s.x(i), solution[i - 1], 1e-5) << i;
    // R^T R = A, R(k, i) at a(i + 1, k) with the diagonal as its reciprocal.
    auto r = [&](int k, int i) { return k == i ? 1.0 / factored(i + 1, k) : factored(i + 1, k); };
    double det = 1;
    for (int i = 1; i <= n; ++i) {
        det *= r(i, i) * r(i, i);
        for (int j = i; j <= n; ++j) {
            double sum = 0;
            for (int k = 1; k <= i; ++k) sum += r(k, i) * r(k, j);
            EXPECT_NEAR(sum, full[i - 1][j - 1], 1e-5) << i << "," << j;
        }
    }
    EXPECT_NEAR(s.det, det, det * 1e-5);

    Solve t;
    t.run(inverted, n, 1e-6f, 0, 2);
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) {
            double sum = 0;
            for (int k = 1; k <= n; ++k) {
                const double inverse_kj = k <= j ? inverted(j + 1, k) : inverted(k + 1, j);
                sum += double(full[i - 1][k - 1]) * inverse_kj;
            }
            EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, 1e-5) << i << "," << j;
        }
}

TEST(Tmatrp, OrderNotBelowRowCountIsRefused) {
    struct Case {
        std::int32_t n, nn;
        const char* message;
    };
    const Case cases[] = {
        {3, 3, "0*** n =   3    nn =   3   n should be positive and  less than nn in tmatrp  "},
        {0, 21, "0*** n =   0    nn =  21   n should be positive and  less than nn in tmatrp  "},
        {-5, 21, "0*** n =  -5    nn =  21   n should be positive and  less than nn in tmatrp  "},
        {5, 2, "0*** n =   5    nn =   2   n should be positive and  less than nn in tmatrp  "},
        // The matrix has 21 rows, so an order of 21 is refused even when more are declared.
        {21, 40, "0*** n =  21    nn =  40   n should be positive and  less than nn in tmatrp  "},
        {12345, 99999,
         "0*** n =****    nn =****   n should be positive and  less than nn in tmatrp  "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        SolverMatrix a;
        a.fill(3.0f);
        Solve s;
        s.run(a, c.n, 1e-6f, 0, 0, c.nn);
        EXPECT_EQ(s.ier, -1);
        EXPECT_EQ(s.window.lines(), std::vector<std::string>{c.message});
        EXPECT_EQ(s.det, sentinel);
        EXPECT_EQ(s.x(1), sentinel);
        for (float v : a.values) ASSERT_EQ(v, 3.0f);
    }
}

TEST(Tmatrp, OrderOneBelowRowCountIsAccepted) {
    // The identity of order nn - 1 (here 2 with nn = 3, and 20 with nn = 21).
    for (std::int32_t nn : {3, 21}) {
        const std::int32_t n = nn - 1;
        std::vector<std::vector<float>> identity(n, std::vector<float>(n, 0.0f));
        std::vector<float> b(n);
        for (int i = 0; i < n; ++i) {
            identity[i][i] = 1.0f;
            b[i] = static_cast<float>(i + 1);
        }
        SolverMatrix a = matrix_of(identity, b);
        Solve s;
        s.run(a, n, 1e-6f, 0, 0, nn);
        EXPECT_EQ(s.ier, 0) << nn;
        EXPECT_EQ(s.det, 1.0f);
        EXPECT_EQ(s.x(n), static_cast<float>(n));
        EXPECT_EQ(a(n + 1, n), 1.0f);  // A^-1(n, n) in row n + 1
        EXPECT_TRUE(s.window.lines().empty());
    }
}

// [[1, 1], [1, 1]]: R(1,1) = 1, R(1,2) = 1, second pivot 1 - 1*1 = 0 < 1e-6:
// dropped. det = 1 * 0. With b = (1, 1): x1 = 1, x2 = 0 * 0 = 0, and back
// x1 = (1 - 0) * 1 = 1, a solution of the singular system.
TEST(Tmatrp, SemiDefiniteMatrixDropsSecondPivot) {
    for (float eps : {1e-6f, 0.0f}) {
        SCOPED_TRACE(eps);
        SolverMatrix a = matrix_of({{1, 1}, {0, 1}}, {1, 1});
        Solve s;
        s.run(a, 2, eps, 2, 0);
        EXPECT_EQ(s.ier, 1);
        EXPECT_EQ(a(2, 1), 1.0f);
        EXPECT_EQ(a(3, 1), 1.0f);
        EXPECT_EQ(a(3, 2), 0.0f);
        EXPECT_EQ(s.x(1), 1.0f);
        EXPECT_EQ(s.x(2), 0.0f);
        EXPECT_EQ(s.det, 0.0f);
        EXPECT_TRUE(s.window.lines().empty());
    }
}

// [[4, 2], [2, 2]]: R(1,2) = 2/2 = 1, second pivot 2 - 1 = 1, and with eps = 0.5
// the tolerance is 0.5 * |2| = 1: exactly at the tolerance, so usable.
TEST(Tmatrp, PivotAtToleranceIsUsableJustAboveIsDropped) {
    SolverMatrix at = matrix_of({{4, 2}, {0, 2}}, {0, 0});
    Solve s;
    s.run(at, 2, 0.5f, 2, 2);
    EXPECT_EQ(s.ier, 0);
    EXPECT_EQ(at(3, 2), 1.0f);
    EXPECT_EQ(s.det, 4.0f);

    SolverMatrix above = matrix_of({{4, 2}, {0, 2}}, {0, 0});
    Solve t;
    t.run(above, 2, std::nextafter(0.5f, 1.0f), 2, 2);
    EXPECT_EQ(t.ier, 1);
    EXPECT_EQ(above(3, 2), 0.0f);
    EXPECT_EQ(t.det, 4.0f);
}

// [[4, 2], [2, 0.9]]: second pivot 0.9 - 1 = -0.1, within -0.45..0.45 with
// eps = 0.5: dropped, not refused; det carries the small negative pivot.
TEST(Tmatrp, SmallNegativePivotWithinToleranceIsDropped) {
    SolverMatrix a = matrix_of({{4, 2}, {0, 0.9f}}, {2, 1});
    Solve s;
    s.run(a, 2, 0.5f, 0, 0);
    EXPECT_EQ(s.ier, 1);
    EXPECT_EQ(s.det, 4.0f * (0.9f - 1.0f));
    EXPECT_EQ(a(3, 2), 0.0f);
    EXPECT_EQ(s.x(2), 0.0f);
    EXPECT_EQ(s.x(1), 0.5f);    // 2 * 1/2, then (1 - 0) * 1/2
    EXPECT_EQ(a(2, 1), 0.25f);  // A^-1(1,1) = (1/2)^2 with the dropped column zero
    EXPECT_EQ(a(3, 1), 0.0f);
    EXPECT_TRUE(s.window.lines().empty());
}

// [[4, 2, 2], [2, -1, 0], [2, 0, 5]]: row 1 gives 1/2, R(1,2) = 1, R(1,3) = 1;
// the second pivot is -1 - 1*1 = -2: refused, det = 4 * -2 = -8.
TEST(Tmatrp, NegativePivotIsNotPositiveDefinite) {
    SolverMatrix a = matrix_of({{4, 2, 2}, {0, -1, 0}, {0, 0, 5}}, {1, 1, 1});
    const SolverMatrix before = a;
    Solve s;
    s.run(a, 3, 1e-6f, 0, 0);
    EXPECT_EQ(s.ier, -2);
    EXPECT_EQ(s.window.lines(),
              std::vector<std::string>{"0*** matrix a is not positive definite   "});
    EXPECT_EQ(s.det, -8.0f);
    EXPECT_EQ(a(2, 1), 0.5f);
    EXPECT_EQ(a(3, 1), 1.0f);
    EXPECT_EQ(a(4, 1), 1.0f);
    EXPECT_EQ(a(3, 2), sentinel);  // row 2 of the factor was never finished
    EXPECT_EQ(a(4, 2), sentinel);
    EXPECT_EQ(a(4, 3), sentinel);
    expect_input_kept(a, before, 3);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(s.x(i), sentinel);
}

// [[0, 0], [0, 9]]: the first pivot is 0 on a zero diagonal, whose tolerance
// is 0. It is dropped (reciprocal 0), so nothing infinite reaches the results:
// R(1,2) = 0, the second pivot is 9 (reciprocal 1/3), det = 0 * 9 = 0.
// b = (0, 3): forward x = (0, 3/3 = 1), back x = (0, 1/3); A^-1 = diag(0, 1/9).
TEST(Tmatrp, ZeroPivotOnZeroDiagonalIsDropped) {
    SolverMatrix a = matrix_of({{0, 0}, {0, 9}}, {0, 3});
    Solve s;
    s.run(a, 2, 1e-6f, 0, 0);
    EXPECT_EQ(s.ier, 1);
    EXPECT_EQ(s.det, 0.0f);
    EXPECT_EQ(s.x(1), 0.0f);
    EXPECT_FLOAT_EQ(s.x(2), 1.0f / 3.0f);
    EXPECT_EQ(a(2, 1), 0.0f);
    EXPECT_EQ(a(3, 1), 0.0f);
    EXPECT_FLOAT_EQ(a(3, 2), 1.0f / 9.0f);

    SolverMatrix factor_only = matrix_of({{0, 0}, {0, 9}}, {0, 3});
    Solve t;
    t.run(factor_only, 2, 1e-6f, 2, 1);
    EXPECT_EQ(t.ier, 1);
    EXPECT_EQ(factor_only(2, 1), 0.0f);
    EXPECT_FLOAT_EQ(factor_only(3, 2), 1.0f / 3.0f);
    EXPECT_EQ(t.x(1), 0.0f);
    EXPECT_FLOAT_EQ(t.x(2), 1.0f);
}

// n = 1: A^-1 is the square of the reciprocal pivot, 1/4 for A = 4.
TEST(Tmatrp, OrderOneInverseIsSquaredReciprocal) {
    SolverMatrix a = matrix_of({{4}}, {6});
    Solve s;
    s.run(a, 1, 1e-6f, 0, 0);
    EXPECT_EQ(s.ier, 0);
    EXPECT_EQ(s.det, 4.0f);
    EXPECT_EQ(a(2, 1), 0.25f);
    EXPECT_EQ(s.x(1), 1.5f);
}

}  // namespace
}  // namespace mapari::regression_tests
