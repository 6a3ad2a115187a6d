#include "ari/result_files.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "ari/ari_computation.hpp"
#include "dialogue/answer_forms.hpp"
#include "dialogue/ask.hpp"
#include "recording/recording.hpp"

namespace mapari {
namespace {

constexpr int se_column_width = 5;
constexpr const char* save_prompt = "保存ファイル名を入れてください。：";

// Why a save name cannot be used, or empty when it can.
std::string save_name_problem(std::string_view stem) {
    if (stem.empty()) return "a save name is needed";
    std::string unsafe = unsafe_name_reason(stem);
    if (!unsafe.empty()) return unsafe;
    if (stem.size() > longest_save_stem)
        return "it is longer than " + std::to_string(longest_save_stem) + " bytes";
    return {};
}

void ask_save_name(Store& store, Runtime& runtime) {
    runtime.write_line(Channel::trace, save_prompt);
    for (;;) {
        store.results.save_name = read_text_field<32>(runtime.read_line(Channel::trace));
        std::string_view stem = store.results.save_name.stem();
        std::string problem = save_name_problem(stem);
        if (problem.empty()) return;
        runtime.write_line(Channel::trace,
                           "\"" + std::string(stem) + "\" cannot be a save name: " + problem + ".");
        runtime.write_line(Channel::trace, save_prompt);
    }
}

// Writes one result file; says why on the trace window when it cannot.
bool write_result(Store& store, Runtime& runtime, const TextField<32>& path,
                  const std::string& text) {
    std::string reason;
    if (write_file_safely(host_path(store, path.stem()), text, reason)) return true;
    runtime.write_line(Channel::trace, "Cannot write " + std::string(path.stem()) + ": " + reason +
                                           ". The beat and the marks are kept.");
    return false;
}

bool all_marks_set(const Beat& beat) {
    for (int mark = 1; mark <= fiducial_count; ++mark)
        if (beat.fiducial_marks(mark) == 0) return false;
    return true;
}

}  // namespace

char* FreeFormWriter::next_field(std::size_t width) {
    if (on_line_ == values_per_line) {
        text_ += '\n';
        on_line_ = 0;
    }
    ++on_line_;
    const std::size_t at = text_.size();
    text_.resize(at + width);
    return text_.data() + at;
}

void FreeFormWriter::add(std::int32_t value) {
    const std::string field = free_form(value);
    field.copy(next_field(field.size()), field.size());
}

void FreeFormWriter::add(float value) {
    write_free_form(value, next_field(free_real_width));
}

void FreeFormWriter::end_record() {
    text_ += '\n';
    on_line_ = 0;
}

std::string FreeFormWriter::take() {
    std::string text = std::move(text_);
    text_.clear();
    on_line_ = 0;
    return text;
}

TextField<32> result_path(std::string_view stem, std::string_view extension) {
    std::string path(program_data_directory);
    path += stem;
    path += extension;
    TextField<32> field;
    field.assign(path);
    return field;
}

std::string ds_file_text(const Beat& beat) {
    FreeFormWriter writer;
    constexpr std::size_t lines_per_record = (lead_count + values_per_line - 1) / values_per_line;
    writer.reserve(averaged_rows * (lead_count * free_real_width + lines_per_record));
    for (int k = 1; k <= averaged_rows; ++k) {
        for (int l = 1; l <= lead_count; ++l) writer.add(beat.averaged(k, l));
        writer.end_record();
    }
    return writer.take();
}

std::string se_file_text(const Beat& beat) {
    const int order[fiducial_count] = {2, 1, 3, 4};  // Q onset, stimulus, J point, T end
    std::string text;
    for (int mark : order) {
        char field[32];
        int written = std::snprintf(field, sizeof field, "%*d", se_column_width,
                                    static_cast<int>(beat.fiducial_marks(mark)));
        if (written > se_column_width) return {};
        text += field;
    }
    return text + '\n';
}

bool write_file_safely(const std::string& host_file, const std::string& text, std::string& reason) {
    const std::string temporary = host_file + ".partial";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = std::fflush(file) == 0 && written;
    int write_error = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        write_error = errno;
    }
    if (written && std::rename(temporary.c_str(), host_file.c_str()) == 0) return true;
    reason = std::strerror(written ? errno : write_error);
    std::remove(temporary.c_str());
    return false;
}

bool read_text_file(const std::string& host_file, std::string& text, std::string& reason) {
    std::error_code status;
    if (std::filesystem::is_directory(host_file, status)) {
        reason = "it is a folder, not a file";
        return false;
    }
    std::ifstream file(host_file, std::ios::binary);
    if (!file) {
        reason = std::strerror(errno);
        return false;
    }
    // One string of the file's size, filled by one read: a .ds is about a megabyte.
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    file.seekg(0, std::ios::beg);
    text.assign(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (file.gcount() != static_cast<std::streamsize>(text.size())) {
        reason = "it cannot be read to the end";
        return false;
    }
    return true;
}

void save_results(Store& store, Runtime& runtime) {
    Results& results = store.results;
    ask_save_name(store, runtime);
    std::string_view stem = results.save_name.stem();
    results.ds_path = result_path(stem, ".ds");
    store.answers.letter = ask_letter(
        runtime, Channel::trace,
        "データ" + std::string(results.ds_path.view()) + "を保存します。yes or no?  <y/n>");
    if (!is_letter(store.answers.letter, 'y')) return;
    const bool marked = all_marks_set(store.beat);
    const std::string se_text = se_file_text(store.beat);
    // Refused before any file is written, so the .ds and .se of one name always belong together.
    if (marked && se_text.empty()) {
        runtime.write_line(Channel::trace,
                           "A mark does not fit the 5 columns of the .se record; nothing was "
                           "saved. Mark again.");
        return;
    }
    if (!write_result(store, runtime, results.ds_path, ds_file_text(store.beat))) return;
    if (!marked) return;
    results.se_path = result_path(stem, ".se");
    runtime.write_line(Channel::trace, "SE_fileを保存します。");
    if (!write_result(store, runtime, results.se_path, se_text)) return;
    if (store.settings.ari_file_switch == 0) return;
    if (compute_ari(store, runtime))
        runtime.write_line(Channel::trace, "ARI_fileを作成保存しました。");
}

}  // namespace mapari
