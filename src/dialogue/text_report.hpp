// The report of the regression and its solver, written on the text window as
// the records come.
#pragma once

#include <string_view>

#include "regression/report_format.hpp"
#include "window/runtime.hpp"

namespace mapari {

class TextWindowReport final : public ReportSink {
  public:
    explicit TextWindowReport(Runtime& runtime) : runtime_(runtime) {}
    void write(std::string_view record) override { runtime_.write_line(Channel::text, record); }

  private:
    Runtime& runtime_;
};

}  // namespace mapari
