#include "catalogue_support.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "synthesis/synth_model.hpp"

namespace mapari::catalogue_tests {
namespace {

bool is_echo(const std::string& line) {
    return line.starts_with("> ") || line == ">" || line.starts_with("Unit 12> ");
}

std::string read_all(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

const Lines& good_script() {
    static const Lines script = {
        "0", "13",   "23",        "37",         "0",         "0.99",       "1",
        "0", "demo", "01",        "0",          "s",         "@click 173", "y",
        "x", "b",    "s",         "@click 86",  "@click 89", "@click 146", "@click 361",
        "y", "t",    "@click 60", "@click 420", "y",         "z",          "@click 60",
        "y", "d",    "demo01",    "y",          "20",        "7",          "100",
        "x", "x",    "0",         "0"};
    return script;
}

Lines script_with(Event before, const Lines& inserted) {
    Lines script = good_script();
    script.insert(script.begin() + static_cast<std::ptrdiff_t>(before), inserted.begin(),
                  inserted.end());
    return script;
}

Lines script_replacing(Event event, const Lines& replacement) {
    Lines script = good_script();
    auto at = script.erase(script.begin() + static_cast<std::ptrdiff_t>(event));
    script.insert(at, replacement.begin(), replacement.end());
    return script;
}

Lines script_until(Event event) {
    const Lines& script = good_script();
    return Lines(script.begin(), script.begin() + static_cast<std::ptrdiff_t>(event));
}

std::size_t echo_line(const Lines& transcript, std::size_t event) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < transcript.size(); ++i) {
        if (!is_echo(transcript[i])) continue;
        if (seen == event) return i;
        ++seen;
    }
    return transcript.size();
}

Lines with_lines_before(const Lines& transcript, Event event, const Lines& added) {
    Lines result = transcript;
    const std::size_t at = echo_line(transcript, event);
    result.insert(result.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
    return result;
}

FolderBytes folder_bytes(const std::filesystem::path& folder) {
    FolderBytes files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().lexically_relative(folder).generic_string();
        files[entry.is_directory() ? name + "/" : name] =
            entry.is_directory() ? std::string() : read_all(entry.path());
    }
    return files;
}

std::string text_echo(const std::string& answer) {
    return "> " + answer;
}

std::string trace_echo(const std::string& answer) {
    return "Unit 12> " + answer;
}

std::string cannot_read(const std::string& typed, const char* expected) {
    return "Cannot read \"" + typed + "\" as " + expected + "; please answer again.";
}

void CatalogueTest::SetUp() {
    SessionTest::SetUp();
    reset_data_folder();
}

void CatalogueTest::reset_data_folder() {
    static const std::string recording = [] {
        synth::SynthSettings settings;
        settings.seconds = 4;
        return encode_frames(synth::render_samples(synth::make_model(settings)));
    }();
    std::filesystem::remove_all(data_dir_);
    std::filesystem::create_directories(data_dir_);
    std::ofstream(data_file("demo01.dat"), std::ios::binary) << recording;
    std::filesystem::remove(fort12_path());
}

SessionResult CatalogueTest::run_fresh(const Lines& script) {
    reset_data_folder();
    return run(script);
}

void CatalogueTest::play_good_session() {
    SessionResult good = run_fresh(good_script());
    ASSERT_EQ(good.exit_code, 0) << good.errors;
    good_transcript_ = good.transcript;
    good_files_ = folder_bytes(data_dir_);
    good_fort12_ = fort12();
}

void CatalogueTest::expect_good_session_with(const SessionResult& result, Event before,
                                             const Lines& added) {
    EXPECT_EQ(result.exit_code, 0) << result.errors;
    EXPECT_EQ(result.transcript, with_lines_before(good_transcript_, before, added));
    EXPECT_EQ(folder_bytes(data_dir_), good_files_);
    EXPECT_EQ(fort12(), good_fort12_);
}

}  // namespace mapari::catalogue_tests
