#include "app/driver.hpp"

#include <string>

#include "formats/messages.hpp"
#include "phases/averaging.hpp"
#include "phases/correction_menu.hpp"
#include "phases/selection.hpp"
#include "phases/series.hpp"
#include "phases/view_menu.hpp"

namespace mapari {
namespace {

constexpr const char* banner_rule = "+++++++++++++++++++++++++++++++++++++++++++++++++++++++";

}  // namespace

void write_banner(Runtime& runtime) {
    runtime.write_line(Channel::text, banner_rule);
    runtime.write_line(Channel::text,
                       message("このプログラムは波形認識、区分点認識、加算平均、基線補正"));
    runtime.write_line(Channel::text, message("ARIの認識、データ保存などを行うものです。"));
    runtime.write_line(Channel::text,
                       message("動かす前に.datがドライブd:のフォルダ\\data\\mapにあることを"));
    runtime.write_line(Channel::text, message("確認してください。"));
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
