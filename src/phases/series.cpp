#include "phases/series.hpp"

#include <string>

#include "dialogue/ask.hpp"
#include "dialogue/settings.hpp"
#include "formats/messages.hpp"
#include "phases/recording_questions.hpp"
#include "phases/trace_drawing.hpp"

namespace mapari {
namespace {

// A recording without signal on its first display lead: say so in the trace
// window and wait for the operator before asking for another recording.
Point no_data_pause(Store& store, Runtime& runtime) {
    if (!runtime.trace_window_open()) runtime.open_trace_window();
    ask_free_real(runtime, Channel::trace,
                  message("{1}No data!  Hit", {store.naming.recording_path.view()}));
    return Point::next_recording;
}

}  // namespace

Point series_start(Store& store, Runtime& runtime) {
    ask_settings(store, runtime);
    runtime.clear_window();
    runtime.write_line(Channel::text, message("では、解析する　　"));
    ask_common_part(store, runtime);
    return Point::next_recording;
}

Point next_recording(Store& store, Runtime& runtime) {
    ask_variable_part(store, runtime);
    return Point::reading;
}

Point reading(Store& store, Runtime& runtime) {
    store.beat.fiducial_marks.fill(0);
    if (!ask_second_and_read(store, runtime)) return Point::next_recording;
    if (!prepare_display(store, runtime)) return no_data_pause(store, runtime);
    runtime.open_trace_window();
    return Point::display;
}

Point end_of_recording(Store& store, Runtime& runtime) {
    runtime.write_line(Channel::text, message(" 終了"));
    runtime.clear_window();
    runtime.close_trace_window();
    runtime.clear_window();
    runtime.write_line(Channel::text,
                       message("{1}を処理しました。", {store.naming.recording_path.view()}));
    store.answers.yes_no = ask_free_integer(runtime, Channel::text,
                                            message("この続きのデータを処理しますか？　(1/0)  :"));
    if (is_yes_nonzero(store.answers.yes_no)) return Point::next_recording;
    store.answers.yes_no = ask_free_integer(runtime, Channel::text,
                                            message("別のデータシリーズを処理しますか？ (1/0)  :"));
    if (is_yes_nonzero(store.answers.yes_no)) return Point::series_start;
    return Point::stop;
}

}  // namespace mapari
