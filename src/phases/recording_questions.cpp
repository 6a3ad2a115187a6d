#include "phases/recording_questions.hpp"

#include <string>

#include "dialogue/ask.hpp"
#include "formats/messages.hpp"
#include "recording/recording.hpp"

namespace mapari {
namespace {

constexpr int second_field_width = 2;

// Reads a name part; a part that would leave the data directory is refused.
TextField<6> ask_name_part(Runtime& runtime, const std::string& prompt) {
    runtime.write_line(Channel::text, prompt);
    for (;;) {
        TextField<6> part = read_text_field<6>(runtime.read_line(Channel::text));
        std::string reason = unsafe_name_reason(part.stem());
        if (reason.empty()) return part;
        runtime.write_line(Channel::text, message("\"{1}\" cannot be part of a file name: {2}.",
                                                  {part.stem(), reason}));
        runtime.write_line(Channel::text, prompt);
    }
}

}  // namespace

void ask_common_part(Store& store, Runtime& runtime) {
    store.naming.common_part = ask_name_part(runtime, message("fileの共通部分をいれてください  :"));
}

void ask_variable_part(Store& store, Runtime& runtime) {
    store.naming.variable_part =
        ask_name_part(runtime, message("fileの可変部分をいれてください。(xxx.dat):"));
    store.naming.recording_path =
        build_recording_path(store.naming.common_part, store.naming.variable_part);
}

bool ask_second_and_read(Store& store, Runtime& runtime) {
    for (;;) {
        store.naming.display_second = ask_integer_field(
            runtime, Channel::text, message("記録開始から何秒の時点を表示しますか？(0-28) :"),
            second_field_width);
        std::string refusal;
        ReadOutcome outcome = read_recording(store.naming, store.recording, refusal);
        if (outcome == ReadOutcome::read) return true;
        runtime.write_line(Channel::text, refusal);
        if (outcome != ReadOutcome::second_not_held) return false;
    }
}

}  // namespace mapari
