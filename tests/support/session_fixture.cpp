#include "session_fixture.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "app/session.hpp"
#include "formats/map_recording.hpp"

namespace mapari::test_support {
namespace {

constexpr int spike_half_width = 10;

// Where channel c of frame t (both from 1) stands among samples in file order.
std::size_t sample_index(int frame, int channel) {
    return static_cast<std::size_t>(frame - 1) * channel_count +
           static_cast<std::size_t>(channel - 1);
}

}  // namespace

SyntheticRecording::SyntheticRecording(int frames)
    : frames_(frames), samples_(static_cast<std::size_t>(frames) * channel_count, 0) {}

std::int16_t& SyntheticRecording::lead(int lead_number, int frame) {
    return samples_[sample_index(frame, channel_of_lead(lead_number))];
}

std::int16_t SyntheticRecording::lead(int lead_number, int frame) const {
    return samples_[sample_index(frame, channel_of_lead(lead_number))];
}

void SyntheticRecording::add_spike(int lead_number, int centre_frame, int peak) {
    for (int d = -spike_half_width; d <= spike_half_width; ++d) {
        int frame = centre_frame + d;
        if (frame < 1 || frame > frames_) continue;
        lead(lead_number, frame) = static_cast<std::int16_t>(
            lead(lead_number, frame) +
            peak * (spike_half_width + 1 - std::abs(d)) / (spike_half_width + 1));
    }
}

void SyntheticRecording::add_spike_train(const std::vector<int>& leads, int first_frame, int period,
                                         int peak) {
    for (int frame = first_frame; frame <= frames_; frame += period)
        for (int l : leads) add_spike(l, frame, peak);
}

float SyntheticRecording::potmax(int lead_number, int second) const {
    float largest = 0.0f;
    for (int i = 100; i <= 1000; ++i)
        largest =
            std::max(largest, std::fabs(static_cast<float>(lead(lead_number, 1000 * second + i))));
    return largest;
}

void SyntheticRecording::write(const std::filesystem::path& file, int extra_bytes) const {
    std::string bytes = encode_frames(samples_);
    bytes.append(static_cast<std::size_t>(extra_bytes), '\0');
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << file;
}

float potmax_in_file(const std::filesystem::path& file, int lead_number, int second) {
    std::string bytes = read_bytes(file);
    float largest = 0.0f;
    for (int i = 100; i <= 1000; ++i) {
        const long long frame = 1000LL * second + i;
        const std::int16_t sample = frame_sample(bytes, frame, channel_of_lead(lead_number));
        largest = std::max(largest, std::fabs(static_cast<float>(sample)));
    }
    return largest;
}

std::string padded_path(const std::string& path) {
    std::string padded = path;
    padded.resize(30, ' ');
    return padded;
}

Lines first_lines(const Lines& lines, std::size_t count) {
    return Lines(lines.begin(),
                 lines.begin() + static_cast<std::ptrdiff_t>(std::min(count, lines.size())));
}

Lines concat(std::initializer_list<Lines> blocks) {
    Lines all;
    for (const Lines& block : blocks) all.insert(all.end(), block.begin(), block.end());
    return all;
}

void SessionTest::SetUp() {
    root_ = folder_.path();
    data_dir_ = folder_.folder("data");
    work_dir_ = folder_.folder("work");
    session_data_dir_ = data_dir_;
}

SessionResult SessionTest::run(const Lines& script, const std::string& record_path,
                               TraceWait on_trace_wait) {
    std::string text;
    for (const std::string& line : script) text += line + '\n';  // a last empty answer stays one
    return run_script_text(text, record_path, std::move(on_trace_wait));
}

SessionResult SessionTest::run_script_text(const std::string& script,
                                           const std::string& record_path,
                                           TraceWait on_trace_wait) {
    std::istringstream in(script);
    std::ostringstream transcript, errors;
    SessionResult result;
    result.exit_code =
        run_headless_session(in, transcript, errors,
                             SessionFiles{session_data_dir_.string(), work_dir_.string(),
                                          record_path, std::move(on_trace_wait)});
    std::istringstream lines(transcript.str());
    for (std::string line; std::getline(lines, line);) result.transcript.push_back(line);
    show_data_folder(result.transcript, session_data_dir_);
    result.errors = errors.str();
    return result;
}

void show_data_folder(Lines& lines, const std::filesystem::path& data_folder) {
    std::string folder = data_folder.string();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder.empty()) return;
    for (std::string& line : lines)
        for (std::size_t at = line.find(folder); at != std::string::npos;
             at = line.find(folder, at + 6))
            line.replace(at, folder.size(), "<data>");
}

std::string named(const std::string& program_path) {
    const std::string prefix = "d:\\data\\map\\";
    const std::string name =
        program_path.starts_with(prefix) ? program_path.substr(prefix.size()) : program_path;
    return program_path + " (<data>/" + name + ")";
}

std::string SessionTest::fort12() const {
    return read_bytes(fort12_path());
}

}  // namespace mapari::test_support
