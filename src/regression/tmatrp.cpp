#include "regression/tmatrp.hpp"

#include <cmath>

#include "regression/report_format.hpp"

namespace mapari {
namespace {

using Vector = Array1<float, regression_rows>;

// The result part of a: entry (i, j), i <= j, of R, R^-1 or A^-1 lives one row
// below its mirror image, at a(j + 1, i); the diagonal entry (i, i) of R is
// kept as its reciprocal there.
float& result(SolverMatrix& a, int i, int j) {
    return a(j + 1, i);
}

void write_order_message(ReportSink& report, std::int32_t n, std::int32_t nn) {
    ReportLine line(control_skip_line);
    line.text("*** n =").integer(n, 4).blanks(3).text(" nn =").integer(nn, 4).blanks(3);
    line.text("n should be positive and  less than nn in tmatrp  ");
    write_record(report, line);
}

void write_not_positive_definite(ReportSink& report) {
    write_record(report,
                 ReportLine(control_skip_line).text("*** matrix a is not positive definite   "));
}

// s = a(i, j) - sum over k < i of R(k, i) R(k, j), in 64 bits.
double reduced_entry(SolverMatrix& a, int i, int j) {
    double s = a(i, j);
    for (int k = 1; k < i; ++k) s -= double(result(a, k, i)) * double(result(a, k, j));
    return s;
}

enum class Pivot { usable, dropped, negative };

// A pivot must reach the tolerance and be above 0: a zero pivot on a zero
// diagonal meets a tolerance of 0 but has no finite reciprocal, so it is
// dropped like any other pivot too small to use.
Pivot classify_pivot(float pivot, float tolerance) {
    if (pivot >= tolerance && pivot > 0.0f) return Pivot::usable;
    if (pivot < -tolerance) return Pivot::negative;
    return Pivot::dropped;
}

// Row i of the factor: its reciprocal pivot and R(i, j) for j > i. Returns
// false when the pivot is negative beyond the tolerance.
bool factor_row(SolverMatrix& a, int n, int i, float eps, float& det, std::int32_t& ier) {
    const double s = reduced_entry(a, i, i);
    const float pivot = static_cast<float>(s);
    det = det * pivot;
    const float tolerance = eps * std::fabs(a(i, i));
    const Pivot kind = classify_pivot(pivot, tolerance);
    if (kind == Pivot::negative) return false;
    float reciprocal = 0.0f;
    if (kind == Pivot::usable) reciprocal = static_cast<float>(1.0 / std::sqrt(s));
    if (kind == Pivot::dropped) ++ier;
    result(a, i, i) = reciprocal;
    for (int j = i + 1; j <= n; ++j)
        result(a, i, j) = static_cast<float>(reduced_entry(a, i, j) * double(reciprocal));
    return true;
}

// x = R^-1 x, completing A x = b.
void back_half(SolverMatrix& a, int n, Vector& x) {
    for (int i = n; i >= 1; --i) {
        double s = x(i);
        for (int k = i + 1; k <= n; ++k) s -= double(x(k)) * double(result(a, i, k));
        x(i) = static_cast<float>(s * double(result(a, i, i)));
    }
}

// R^-1 over R, row by row: R^-1(i, j) needs R(k, j) for k >= i (rows not yet
// inverted) and R^-1(i, k) for k < j (already inverted in this row).
void invert_factor(SolverMatrix& a, int n) {
    for (int i = 1; i < n; ++i) {
        for (int j = i + 1; j <= n; ++j) {
            double sum = 0.0;
            for (int k = j - 1; k >= i; --k)
                sum += double(result(a, k, j)) * double(result(a, i, k));
            result(a, i, j) = static_cast<float>(-sum * double(result(a, j, j)));
        }
    }
}

// A^-1 = R^-1 R^-T over R^-1: entry (i, j) reads only row i from column j on
// and rows below i, none of which is overwritten yet.
void form_inverse(SolverMatrix& a, int n) {
    for (int i = 1; i <= n; ++i) {
        for (int j = i; j <= n; ++j) {
            double sum = 0.0;
            for (int k = j; k <= n; ++k) sum += double(result(a, i, k)) * double(result(a, j, k));
            result(a, i, j) = static_cast<float>(sum);
        }
    }
}

}  // namespace

void tmatrp(ReportSink& report, const std::int32_t& n, SolverMatrix& a, const float& eps,
            const std::int32_t& inv, const std::int32_t& sol, Vector& x, float& det,
            const std::int32_t& nn, std::int32_t& ier) {
    ier = 0;
    // Row n + 1 holds results, so the order must stay below the declared rows
    // and below the rows the matrix really has.
    if (n < 1 || nn <= n || n >= regression_rows) {
        ier = -1;
        write_order_message(report, n, nn);
        return;
    }
    det = 1.0f;
    for (int i = 1; i <= n; ++i) {
        if (!factor_row(a, n, i, eps, det, ier)) {
            ier = -2;
            write_not_positive_definite(report);
            return;
        }
    }
    if (sol <= 1) forward_substitution(a, n, a.column(n + 1), x.data());
    if (sol <= 0) back_half(a, n, x);
    if (inv <= 1 && n > 1) invert_factor(a, n);
    if (inv <= 0) form_inverse(a, n);
}

}  // namespace mapari
