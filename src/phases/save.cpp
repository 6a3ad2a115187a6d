#include "phases/save.hpp"

#include <string>
#include <string_view>

#include "ari/ari_computation.hpp"
#include "beats/marks.hpp"
#include "dialogue/answer_forms.hpp"
#include "dialogue/ask.hpp"
#include "dialogue/text_report.hpp"
#include "formats/ari_file.hpp"
#include "formats/files.hpp"
#include "formats/free_form.hpp"
#include "formats/messages.hpp"
#include "formats/result_files.hpp"
#include "recording/recording.hpp"

namespace mapari {
namespace {

constexpr const char* save_prompt = translatable("保存ファイル名を入れてください。：");
constexpr std::size_t shown_save_name_length = 12;
constexpr std::size_t ds_path_width = 30;
constexpr std::size_t se_path_width = 32;
constexpr std::size_t ari_path_width = 33;

std::string padded(std::string_view text, std::size_t width) {
    std::string line(text);
    if (line.size() < width) line.append(width - line.size(), ' ');
    return line;
}

void ask_save_name(Store& store, Runtime& runtime) {
    runtime.write_line(Channel::trace, message(save_prompt));
    for (;;) {
        store.results.save_name = read_text_field<32>(runtime.read_line(Channel::trace));
        std::string_view stem = store.results.save_name.stem();
        std::string problem = save_name_problem(stem);
        if (problem.empty()) return;
        runtime.write_line(Channel::trace,
                           message("\"{1}\" cannot be a save name: {2}.", {stem, problem}));
        runtime.write_line(Channel::trace, message(save_prompt));
    }
}

Flush result_file_flush(const Naming& naming) {
    return naming.result_files_flushed_by_caller ? Flush::by_caller : Flush::by_writer;
}

// Writes one result file; says why on the trace window when it cannot.
bool write_result(Store& store, Runtime& runtime, const TextField<32>& path,
                  const std::string& text) {
    std::string reason;
    if (write_file_atomically(host_path(store.naming, path.stem()), text, reason,
                              result_file_flush(store.naming)))
        return true;
    runtime.write_line(Channel::trace,
                       message("Cannot write {1}: {2}. The beat and the marks are kept.",
                               {path_and_host_file(store.naming, path.stem()), reason}));
    return false;
}

void ask_ari_settings(Store& store, Runtime& runtime) {
    AriSettings& settings = store.ari.settings;
    settings = default_ari_settings;
    if (is_yes_one(store.settings.settings_answer)) return;
    settings.smoothing_half_width_samples =
        ask_integer_field(runtime, Channel::text, message("number of smoothing :"), 2);
    settings.activation_offset_samples =
        ask_integer_field(runtime, Channel::text, message(" time to act after stim:"), 4);
    settings.recovery_delay_samples =
        ask_integer_field(runtime, Channel::text, message(" enter minimum rt after j (1-200):"), 4);
}

// Says which result file cannot be read and why; false.
bool unreadable(Store& store, Runtime& runtime, const TextField<32>& path,
                const std::string& reason) {
    runtime.write_line(Channel::trace,
                       message("Cannot read {1}: {2}; no ARI file.",
                               {path_and_host_file(store.naming, path.stem()), reason}));
    return false;
}

// Reads one result file back and parses it; on failure says which file and why.
template <typename Parse>
bool read_result(Store& store, Runtime& runtime, const std::string& label,
                 const TextField<32>& path, std::string& text, Parse parse) {
    runtime.write_line(Channel::text, label);
    std::string reason;
    if (read_whole_file(host_path(store.naming, path.stem()), text, reason) && parse(text, reason))
        return true;
    return unreadable(store, runtime, path, reason);
}

// Where the ARI computation takes the beat matrix from: the .ds file read
// back, or the beat the save has just written whole to it, which gives what
// reading the file back gives (a megabyte neither read nor parsed again).
enum class DsSource { file, written_beat };

// The .ds (file_text holds its text when written_beat) and the .se file
// taken into the ARI's work; false with a message when one cannot be had.
bool read_result_files(Store& store, Runtime& runtime, std::string& file_text, DsSource ds_source) {
    const Results& results = store.results;
    AriWork& work = store.ari;
    const std::string ds_label =
        message("reading a file  :{1}", {padded(results.ds_path.stem(), ds_path_width)});
    const auto parse_ds = [&work](const std::string& text, std::string& reason) {
        return read_ds_text(text, work.beat_matrix, reason);
    };
    if (ds_source == DsSource::file) {
        if (!read_result(store, runtime, ds_label, results.ds_path, file_text, parse_ds))
            return false;
    } else {
        runtime.write_line(Channel::text, ds_label);
        std::string reason;
        if (!ds_whole_numbers(store.beat, work.beat_matrix) && !parse_ds(file_text, reason))
            return unreadable(store, runtime, results.ds_path, reason);
    }
    return read_result(
        store, runtime,
        message("reading a file{1}", {padded(results.se_path.stem(), se_path_width)}),
        results.se_path, file_text, [&work](const std::string& text, std::string& reason) {
            return read_se_text(text, work, reason);
        });
}

// The first 12 bytes of the save name as typed, cut between whole characters.
std::string_view shown_save_name(const Results& results) {
    const std::string_view name = results.save_name.view();
    return name.substr(0, utf8_safe_cut(name, shown_save_name_length));
}

// The ARI part of the save, the .ds taken from `ds_source`.
bool make_ari_file_from(Store& store, Runtime& runtime, std::string& file_text,
                        DsSource ds_source) {
    AriWork& work = store.ari;
    ask_ari_settings(store, runtime);
    runtime.write_line(Channel::text, shown_save_name(store.results));
    std::string_view stem = store.results.save_name.stem();
    work.ari_path.assign(std::string(program_data_directory) + std::string(stem) + ".ari");
    if (!read_result_files(store, runtime, file_text, ds_source)) return false;
    runtime.write_line(Channel::text, padded(store.results.ds_path.stem(), ds_path_width) +
                                          free_form(work.reference_point) +
                                          free_form(work.j_point) + free_form(work.t_end) +
                                          free_form(work.second_value));
    std::string limit = broken_limit(work);
    if (!limit.empty()) {
        runtime.write_line(Channel::trace, message("No ARI file: {1}.", {limit}));
        return false;
    }
    TextWindowReport report(runtime);
    compute_ari(work, report);
    runtime.write_line(Channel::text, message("writing a file{1}",
                                              {padded(work.ari_path.stem(), ari_path_width)}));
    std::string reason;
    if (write_file_atomically(host_path(store.naming, work.ari_path.stem()), ari_file_text(work),
                              reason, result_file_flush(store.naming)))
        return true;
    runtime.write_line(Channel::trace,
                       message("Cannot write {1}: {2}.",
                               {path_and_host_file(store.naming, work.ari_path.stem()), reason}));
    return false;
}

}  // namespace

bool make_ari_file(Store& store, Runtime& runtime, std::string& file_text) {
    return make_ari_file_from(store, runtime, file_text, DsSource::file);
}

void save_results(Store& store, Runtime& runtime) {
    Results& results = store.results;
    ask_save_name(store, runtime);
    std::string_view stem = results.save_name.stem();
    results.ds_path = result_path(stem, ".ds");
    store.answers.letter =
        ask_letter(runtime, Channel::trace,
                   message("データ{1}を保存します。yes or no?  <y/n>", {results.ds_path.view()}));
    if (!is_letter(store.answers.letter, 'y')) return;
    const bool marked = all_marks_set(store.beat);
    const std::string se_text = se_file_text(store.beat.fiducial_marks);
    // Refused before any file is written, so the .ds and .se of one name always belong together.
    if (marked && se_text.empty()) {
        runtime.write_line(Channel::trace,
                           message("A mark does not fit the 5 columns of the .se record; nothing "
                                   "was saved. Mark again."));
        return;
    }
    // The ARI computation takes the beat matrix from the beat this text is written from.
    std::string file_text = ds_file_text(store.beat);
    if (!write_result(store, runtime, results.ds_path, file_text)) return;
    if (!marked) return;
    results.se_path = result_path(stem, ".se");
    runtime.write_line(Channel::trace, message("SE_fileを保存します。"));
    if (!write_result(store, runtime, results.se_path, se_text)) return;
    if (store.settings.ari_file_switch == 0) return;
    if (make_ari_file_from(store, runtime, file_text, DsSource::written_beat))
        runtime.write_line(Channel::trace, message("ARI_fileを作成保存しました。"));
}

}  // namespace mapari
