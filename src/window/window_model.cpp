#include "window/window_model.hpp"

namespace mapari {

WindowModel::WindowModel(std::string default_file_directory)
    : default_file_directory_(std::move(default_file_directory)) {}

bool WindowModel::write_line(Channel channel, std::string_view line) {
    if (channel == Channel::text) {
        text_.lines.emplace_back(line);
        last_text_line_ = line;
        return true;
    }
    last_trace_line_ = line;
    if (trace_open_) {
        trace_.lines.emplace_back(line);
        return true;
    }
    // A channel written before it is opened is connected to "fort.<unit>" in
    // the working directory, created or replaced, as unopened units always were.
    if (!default_file_.is_open()) {
        default_file_.open(default_file_directory_ + "/fort." + std::to_string(trace_unit_number),
                           std::ios::out | std::ios::trunc | std::ios::binary);
    }
    default_file_ << line << '\n';
    default_file_.flush();
    return false;
}

void WindowModel::echo_answer(Channel channel, std::string_view answer) {
    if (channel == Channel::trace && !trace_open_) return;
    (channel == Channel::text ? text_ : trace_).lines.emplace_back(answer);
}

void WindowModel::open_trace_window() {
    if (default_file_.is_open()) default_file_.close();
    trace_ = WindowContent{};
    trace_open_ = true;
    stroke_open_ = false;
}

void WindowModel::close_trace_window() {
    trace_ = WindowContent{};
    trace_open_ = false;
    stroke_open_ = false;
}

void WindowModel::clear_active_window() {
    WindowContent& window = active();
    window.lines.clear();
    window.drawing.clear();
    stroke_open_ = false;
}

void WindowModel::move_to(int x_pixel, int y_pixel) {
    position_ = {x_pixel, y_pixel};
    stroke_open_ = false;
}

void WindowModel::line_to(int x_pixel, int y_pixel) {
    std::vector<Polyline>& drawing = active().drawing;
    if (!stroke_open_ || drawing.empty() || drawing.back().colour != colour_) {
        drawing.push_back(Polyline{colour_, {position_}});
        stroke_open_ = true;
    }
    position_ = {x_pixel, y_pixel};
    drawing.back().points.push_back(position_);
}

const std::string& WindowModel::pending_prompt(Channel channel) const {
    return channel == Channel::text ? last_text_line_ : last_trace_line_;
}

}  // namespace mapari
