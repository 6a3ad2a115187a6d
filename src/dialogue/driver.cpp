#include "dialogue/driver.hpp"

#include <string>

#include "beats/averaging.hpp"
#include "beats/correction_menu.hpp"
#include "beats/selection.hpp"
#include "dialogue/ask.hpp"
#include "dialogue/settings.hpp"
#include "display/trace_display.hpp"
#include "display/view_menu.hpp"
#include "recording/questions.hpp"

namespace mapari {
namespace {

constexpr const char* banner_rule = "+++++++++++++++++++++++++++++++++++++++++++++++++++++++";

Point series_start(Store& store, Runtime& runtime) {
    ask_settings(store, runtime);
    runtime.clear_window();
    runtime.write_line(Channel::text, "では、解析する　　");
    ask_common_part(store, runtime);
    return Point::next_recording;
}

Point next_recording(Store& store, Runtime& runtime) {
    ask_variable_part(store, runtime);
    return Point::reading;
}

// A recording without signal on its first display lead: say so in the trace
// window and wait for the operator before asking for another recording.
Point no_data_pause(Store& store, Runtime& runtime) {
    if (!runtime.trace_window_open()) runtime.open_trace_window();
    ask_free_real(runtime, Channel::trace,
                  std::string(store.naming.recording_path.view()) + "No data!  Hit");
    return Point::next_recording;
}

Point reading(Store& store, Runtime& runtime) {
    store.beat.fiducial_marks.fill(0);
    if (!ask_second_and_read(store, runtime)) return Point::next_recording;
    if (!prepare_display(store, runtime)) return no_data_pause(store, runtime);
    runtime.open_trace_window();
    return Point::display;
}

Point end_of_recording(Store& store, Runtime& runtime) {
    runtime.write_line(Channel::text, " 終了");
    runtime.clear_window();
    runtime.close_trace_window();
    runtime.clear_window();
    runtime.write_line(Channel::text,
                       std::string(store.naming.recording_path.view()) + "を処理しました。");
    store.answers.yes_no =
        ask_free_integer(runtime, Channel::text, "この続きのデータを処理しますか？　(1/0)  :");
    if (is_yes_nonzero(store.answers.yes_no)) return Point::next_recording;
    store.answers.yes_no =
        ask_free_integer(runtime, Channel::text, "別のデータシリーズを処理しますか？ (1/0)  :");
    if (is_yes_nonzero(store.answers.yes_no)) return Point::series_start;
    return Point::stop;
}

}  // namespace

void write_banner(Runtime& runtime) {
    runtime.write_line(Channel::text, banner_rule);
    runtime.write_line(Channel::text, "このプログラムは波形認識、区分点認識、加算平均、基線補正");
    runtime.write_line(Channel::text, "ARIの認識、データ保存などを行うものです。");
    runtime.write_line(Channel::text,
                       "動かす前に.datがドライブd:のフォルダ\\data\\mapにあることを");
    runtime.write_line(Channel::text, "確認してください。");
    runtime.write_line(Channel::text, banner_rule);
}

Point run_phase(Point point, Store& store, Runtime& runtime) {
    switch (point) {
        case Point::series_start:
            return series_start(store, runtime);
        case Point::next_recording:
            return next_recording(store, runtime);
        case Point::reading:
            return reading(store, runtime);
        case Point::display:
            return display_and_view_menu(store, runtime);
        case Point::waveform_selection:
            return select_waveform(store, runtime);
        case Point::signal_averaging:
            return average_beats(store, runtime);
        case Point::correction_menu:
            return correction_menu(store, runtime);
        case Point::end_of_recording:
            return end_of_recording(store, runtime);
        case Point::stop:
            break;
    }
    return Point::stop;
}

void run_program(Store& store, Runtime& runtime) {
    write_banner(runtime);
    Point point = Point::series_start;
    while (point != Point::stop) point = run_phase(point, store, runtime);
    runtime.stop();
}

}  // namespace mapari
