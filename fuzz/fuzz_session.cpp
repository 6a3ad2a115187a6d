// The whole headless program with the input as its script. The data folder
// holds recordings made once per process: "demo01" (4 seconds), "demo32"
// (32 seconds), "demo00" (too short) and "demo99" (a folder). Every session
// must end with 0 (stopped), 2 (script error) or 3 (script ended), never
// otherwise, and must leave the recordings as they were. Files a session
// writes are removed before the next, so each input runs alone.
//
// The script is cut at its 200th line: a line may start a reading or an
// averaging of several milliseconds, and longer scripts add little.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>

#include "app/session.hpp"
#include "fuzz/fuzz_support.hpp"
#include "synthesis/synth_model.hpp"
#include "window/headless_runtime.hpp"

namespace {

using namespace mapari;
using fuzz::check;

constexpr int longest_script_lines = 200;

struct Folders {
    std::string data;
    std::string working;
    std::map<std::string, std::uintmax_t> recordings;  // name and size
};

void write_recording(Folders& folders, const std::string& name, const std::string& bytes) {
    std::ofstream out(folders.data + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    check(static_cast<bool>(out));
    folders.recordings[name] = bytes.size();
}

std::string synthetic_recording(int seconds) {
    synth::SynthSettings settings;
    settings.seconds = seconds;
    return encode_frames(synth::render_samples(synth::make_model(settings)));
}

const Folders& folders() {
    static const Folders made = [] {
        Folders f;
        f.data = fuzz::ProcessFolder::path() + "/map";
        f.working = fuzz::ProcessFolder::path() + "/work";
        std::filesystem::create_directories(f.data);
        std::filesystem::create_directories(f.working);
        write_recording(f, "demo01.dat", synthetic_recording(4));
        write_recording(f, "demo32.dat", synthetic_recording(32));
        write_recording(f, "demo00.dat", std::string(1000, '\x01'));
        std::filesystem::create_directories(f.data + "/demo99.dat");
        return f;
    }();
    return made;
}

// Removes what the last session wrote, and checks it left the recordings alone.
void clear_session_files(const Folders& f) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(f.data)) {
        const std::string name = entry.path().filename().string();
        if (name == "demo99.dat") continue;
        const auto recording = f.recordings.find(name);
        if (recording == f.recordings.end()) {
            std::filesystem::remove_all(entry.path(), ignored);
        } else {
            check(std::filesystem::file_size(entry.path()) == recording->second);
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(f.working))
        std::filesystem::remove_all(entry.path(), ignored);
}

std::string first_lines(std::string_view text, int count) {
    std::size_t end = 0;
    for (int line = 0; line < count && end < text.size(); ++line) {
        const std::size_t line_end = text.find('\n', end);
        end = line_end == std::string_view::npos ? text.size() : line_end + 1;
    }
    return std::string(text.substr(0, end));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Folders& f = folders();
    std::istringstream script(first_lines(
        std::string_view(reinterpret_cast<const char*>(data), size), longest_script_lines));
    std::ostream discarded(nullptr);
    SessionFiles files;
    files.data_directory = f.data;
    files.default_file_directory = f.working;
    const int exit_code = run_headless_session(script, discarded, discarded, files);
    check(exit_code == exit_normal || exit_code == exit_usage || exit_code == exit_script_ended);
    clear_session_files(f);
    return 0;
}
