#include "results_support.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "beats/selection.hpp"
#include "formats/map_recording.hpp"
#include "phases/correction_menu.hpp"
#include "phases/selection.hpp"
#include "phases/trace_drawing.hpp"

namespace mapari::ari_tests {

std::string int12(int value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%12d", value);
    return buffer;
}

int row_of_column(int column) {
    const float x = static_cast<float>(column) * 0.001f;
    const float step = (0.6f - 0.0f) / 1000.0f;
    return static_cast<int>((x - 0.0f) / step);
}

int column_for_row(int row) {
    for (int column = 0; column < 1000; ++column)
        if (row_of_column(column) == row) return column;
    return -1;
}

int pixel_x(float fraction) {
    return static_cast<int>(static_cast<double>(fraction) * 1000.0);
}

int pixel_y(float fraction) {
    return static_cast<int>(static_cast<double>(fraction) * 300.0);
}

float pattern_value(int row, int lead) {
    return static_cast<float>((37 * row + 11 * lead * lead) % 2001 - 1000) * 0.125f;
}

Lines listing(const std::filesystem::path& folder) {
    Lines names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        names.push_back(entry.is_directory() ? name + "/" : name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

void WorkingBeatTest::SetUp() {
    root_ = folder_.path();
    data_ = folder_.folder("data");
    store_ = std::make_unique<Store>();
    const int leads[display_lead_count] = {13, 23, 37};
    for (int j = 1; j <= display_lead_count; ++j)
        store_->settings.lead_channel(j) = static_cast<std::int16_t>(channel_of_lead(leads[j - 1]));
    set_data_directory(data_);
    // Every channel varies with channel and sample, so the first display lead has signal.
    for (int c = 1; c <= channel_count; ++c)
        for (int t = 1; t <= samples_per_reading; ++t)
            store_->recording.samples(c, t) =
                static_cast<std::int16_t>((37 * c + 13 * t) % 2001 - 1000);
}

void WorkingBeatTest::set_data_directory(const std::filesystem::path& folder) {
    const std::string text = folder.string();
    ASSERT_LT(text.size(), static_cast<std::size_t>(data_directory_capacity));
    store_->naming.data_directory.fill('\0');
    std::memcpy(store_->naming.data_directory.data(), text.c_str(), text.size());
}

void WorkingBeatTest::start(const std::string& script) {
    script_.str(script);
    script_.clear();
    transcript_.str("");
    waits_.clear();
    selection_lines_ = 0;
    runtime_ = std::make_unique<HeadlessRuntime>(script_, transcript_, nullptr, root_.string());
    runtime_->on_trace_wait([this](const WindowModel& windows) {
        const WindowContent& trace = windows.trace_window();
        TraceWait wait{windows.pending_prompt(Channel::trace), 0, 0};
        for (const Polyline& line : trace.drawing) {
            wait.cyan_lines += line.colour == cyan;
            wait.blue_lines += line.colour == blue;
        }
        waits_.push_back(wait);
    });
    ASSERT_TRUE(prepare_display(*store_, *runtime_));
    runtime_->open_trace_window();
    store_->beat.selected_position = 1000;
    take_and_draw_beat(*store_, *runtime_);
    for (int l = 1; l <= lead_count; ++l)
        for (int k = 1; k <= averaged_rows; ++k) store_->beat.averaged(k, l) = pattern_value(k, l);
    selection_lines_ = transcript().size();
}

int WorkingBeatTest::run_menu() {
    int shown = 1;
    while (correction_menu(*store_, *runtime_) == Point::correction_menu) ++shown;
    return shown;
}

Lines WorkingBeatTest::transcript() const {
    Lines lines;
    std::istringstream in(transcript_.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (selection_lines_ >= lines.size()) return {};
    return Lines(lines.begin() + static_cast<std::ptrdiff_t>(selection_lines_), lines.end());
}

void WorkingBeatTest::set_marks(int stimulus, int q_onset, int j_point, int t_end) {
    store_->beat.fiducial_marks(1) = stimulus;
    store_->beat.fiducial_marks(2) = q_onset;
    store_->beat.fiducial_marks(3) = j_point;
    store_->beat.fiducial_marks(4) = t_end;
}

void WorkingBeatTest::expect_redrawn_beat(const WindowContent& trace) const {
    const float step = (0.6f - 0.0f) / 1000.0f;
    const float scale = (0.9f - 0.1f) / (store_->display.potmax * 2.0f);
    const int leads[display_lead_count] = {13, 23, 37};
    ASSERT_EQ(trace.drawing.size(), 3u);
    for (int j = 0; j < display_lead_count; ++j) {
        const Polyline& line = trace.drawing[static_cast<std::size_t>(j)];
        EXPECT_EQ(line.colour, blue);
        ASSERT_EQ(line.points.size(), 1001u);  // the move to row 1, then a line to each row
        for (int i = 1; i <= 1000; ++i) {
            float y = scale * store_->beat.averaged(i, leads[j]) + 0.5f;
            y = y <= 0.0f ? 0.001f : (y >= 1.0f ? 0.999f : y);
            const PixelPoint expected{pixel_x(step * static_cast<float>(i) + 0.0f), pixel_y(y)};
            ASSERT_EQ(line.points[static_cast<std::size_t>(i)], expected)
                << "display lead " << j + 1 << " row " << i;
        }
    }
}

}  // namespace mapari::ari_tests
