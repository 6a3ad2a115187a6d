// The records of the regression report, each laid out field by field; the
// values arrive formed by the arithmetic (polynomial_regression.cpp).
#include "regression/regression_report.hpp"

namespace mapari::regression {
namespace {

void write_coefficient_table(ReportSink& report, const RegressionWork& work, std::int32_t k,
                             OneBased<const float> b, OneBased<const float> se) {
    write_record(report, ReportLine(control_skip_line)
                             .text("order term")
                             .blanks(10)
                             .text("  regression")
                             .blanks(8)
                             .text("standard error")
                             .blanks(11)
                             .text("t"));
    write_record(report, ReportLine(control_none)
                             .blanks(20)
                             .text(" coefficient")
                             .blanks(8)
                             .text(" of reg. coef.")
                             .blanks(11)
                             .text("value"));
    for (std::int32_t i = 1; i <= k; ++i)
        write_record(report, ReportLine(control_none)
                                 .integer(i, 10)
                                 .fixed(b(i), 22, 8)
                                 .fixed(se(i), 22, 8)
                                 .fixed(work.t_values(i), 16, 4));
}

void write_variance_table(ReportSink& report, const RegressionWork& work, std::int32_t k,
                          std::int32_t m) {
    const DegreeFit& fit = work.fit;
    write_record(report, ReportLine(control_skip_line)
                             .blanks(10)
                             .text("analysis of variance  for")
                             .integer(k, 4)
                             .text(" degree polynomial  "));
    write_record(report, ReportLine(control_skip_line)
                             .text("     source of      degrees of")
                             .blanks(4)
                             .text("sum of")
                             .blanks(10)
                             .text("mean")
                             .blanks(9)
                             .text("f"));
    write_record(report, ReportLine(control_none)
                             .blanks(5)
                             .text("variation ")
                             .blanks(8)
                             .text("freedom")
                             .text("   squares")
                             .blanks(7)
                             .text("squares")
                             .blanks(9)
                             .text("value"));
    write_record(report, ReportLine(control_none));
    if (k == m) {
        for (std::int32_t i = 1; i <= m; ++i)
            write_record(report, ReportLine(control_none)
                                     .integer(i, 5)
                                     .text(" order term .......    1 ")
                                     .general(work.term_ss(i), 14)
                                     .general(work.term_ss(i), 14));
    }
    write_record(report, ReportLine(control_none)
                             .text("due to regression  .....")
                             .integer(fit.regression_df, 5)
                             .blanks(1)
                             .general(fit.regression_ss, 14)
                             .general(fit.regression_ms, 14)
                             .general(fit.overall_f, 14));
    write_record(report, ReportLine(control_none)
                             .text("residual about reg. ....")
                             .integer(fit.residual_df, 5)
                             .blanks(1)
                             .general(work.residual_ss, 14)
                             .general(fit.residual_ms, 14));
    write_record(report, ReportLine(control_none)
                             .text("total     ..............")
                             .integer(work.count - 1, 5)
                             .blanks(1)
                             .general(work.corrected_yy_32, 14));
}

// The mean and the variance of one variable, on two records.
void write_mean_and_variance(ReportSink& report, std::string_view variable, float mean,
                             float variance) {
    write_record(
        report,
        ReportLine(control_skip_line).text(variable).text("      mean =").fixed(mean, 25, 8));
    write_record(report,
                 ReportLine(control_none).blanks(25).text("variance =").fixed(variance, 25, 8));
}

}  // namespace

void write_parameter_error(ReportSink& report, std::int32_t first, std::int32_t last,
                           std::int32_t m) {
    ReportLine line(control_skip_line);
    line.text("*** parameter error m1 =").integer(first, 4).blanks(3).text("m =").integer(last, 4);
    line.blanks(3).text("  =,").integer(m, 4).text(" .lt.  ").integer(regression_rows, 3);
    write_record(report, line);
}

void write_data_summary(ReportSink& report, const RegressionWork& work) {
    write_record(report, ReportLine(control_new_page));
    write_record(report, ReportLine(control_skip_line).text(" *** polynomial regression ***"));
    write_record(report, ReportLine(control_skip_line)
                             .text("number of datas")
                             .blanks(19)
                             .text("= ")
                             .integer(work.count, 10));
    write_mean_and_variance(report, "independent variable  x", work.mean_x, work.variance_x);
    write_mean_and_variance(report, "dependent variable    y", work.mean_y, work.variance_y);
    write_record(report, ReportLine(control_skip_line)
                             .text("          correlation coefficient =")
                             .fixed(work.correlation, 25, 8));
}

void write_warning(ReportSink& report, std::string_view warning) {
    write_record(report, ReportLine(control_skip_line).text(warning));
}

void write_degree_block(ReportSink& report, const RegressionWork& work, std::int32_t k,
                        std::int32_t m, float intercept, OneBased<const float> b,
                        OneBased<const float> se) {
    const DegreeFit& fit = work.fit;
    write_record(report, ReportLine(control_skip_line)
                             .text(" *** polynomial regression of degree ")
                             .integer(k, 2)
                             .text(" ***"));
    write_record(report, ReportLine(control_skip_line)
                             .text("multiple regression coeffcient    =")
                             .fixed(fit.multiple_r, 20, 8));
    write_record(report, ReportLine(control_none)
                             .text("standard error of estimate        =")
                             .fixed(fit.estimate_error, 20, 8));
    write_record(report, ReportLine(control_none)
                             .text("f-value ( sequential f-test )     =")
                             .fixed(fit.sequential_f, 20, 8));
    write_record(report, ReportLine(control_skip_line)
                             .text("intercept constant                =")
                             .fixed(intercept, 20, 8));
    write_coefficient_table(report, work, k, b, se);
    write_variance_table(report, work, k, m);
}

void write_residual_table(ReportSink& report, const RegressionWork& work, std::int32_t last,
                          OneBased<const float> x, OneBased<const float> y,
                          OneBased<const float> residuals) {
    write_record(report, ReportLine(control_new_page));
    write_record(report, ReportLine(control_skip_line).blanks(10).text("table of residuals  "));
    write_record(report, ReportLine(control_skip_line)
                             .text("  no.")
                             .blanks(9)
                             .text("x value")
                             .blanks(9)
                             .text("y value")
                             .blanks(5)
                             .text("y predicted")
                             .blanks(8)
                             .text("residual"));
    for (std::int32_t i = work.first; i <= last; ++i)
        write_record(report, ReportLine(control_none)
                                 .integer(i, 5)
                                 .fixed(x(i), 16, 5)
                                 .fixed(y(i), 16, 5)
                                 .fixed(y(i) - residuals(i), 16, 5)
                                 .fixed(residuals(i), 16, 5));
}

}  // namespace mapari::regression
