#include "app/demo.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/files.hpp"
#include "formats/map_recording.hpp"
#include "formats/messages.hpp"
#include "synthesis/synth_model.hpp"

namespace mapari {
namespace {

constexpr int averaged_beat_row = 201;  // the row of the working beat that holds its position
const int shown_leads[] = {1, 13, 23, 37, 64};

bool write_file(const std::filesystem::path& path, const std::string& content,
                std::ostream& errors) {
    std::string reason;
    if (write_file_atomically(path.string(), content, reason)) return true;
    errors << "mapari: cannot write " << path.string() << ": " << reason << '\n';
    return false;
}

// The value after a label on the first transcript line that starts with it, or -1.
long value_after(const std::string& transcript, const std::string& label) {
    std::istringstream lines(transcript);
    std::string line;
    while (std::getline(lines, line))
        if (line.starts_with(label)) return std::strtol(line.c_str() + label.size(), nullptr, 10);
    return -1;
}

// The planted beat nearest to a sample of the recording.
const synth::BeatMarks& planted_beat_near(const synth::SynthModel& model, long sample) {
    const synth::BeatMarks* nearest = &model.beats.front();
    for (const synth::BeatMarks& beat : model.beats)
        if (std::labs(beat.qrs_peak - sample) < std::labs(nearest->qrs_peak - sample))
            nearest = &beat;
    return *nearest;
}

void write_lead_table(const std::vector<double>& ari, const synth::SynthModel& model,
                      int planted_offset_ms, std::ostream& out) {
    char line[160];
    const auto activation_of = [&](int lead) { return ari[static_cast<std::size_t>(3 + lead)]; };
    const auto recovery_of = [&](int lead) { return ari[static_cast<std::size_t>(3 + 64 + lead)]; };
    out << "  lead   AT ms (planted)   RT ms (planted)   ARI ms (planted)\n";
    for (int lead : shown_leads) {
        const double at = activation_of(lead), rt = recovery_of(lead);
        const int planted_at = model.shape_of(lead).activation_ms + planted_offset_ms;
        const int planted_rt = model.shape_of(lead).recovery_ms + planted_offset_ms;
        std::snprintf(line, sizeof line, "  %4d   %5.0f (%5d)     %5.0f (%5d)     %5.0f (%5d)\n",
                      lead, at, planted_at, rt, planted_rt, rt - at, planted_rt - planted_at);
        out << line;
    }
    int at_close = 0, rt_close = 0;
    for (int lead = 1; lead <= 64; ++lead) {
        at_close += std::abs(activation_of(lead) - model.shape_of(lead).activation_ms -
                             planted_offset_ms) <= 3;
        rt_close +=
            std::abs(recovery_of(lead) - model.shape_of(lead).recovery_ms - planted_offset_ms) <= 3;
    }
    out << "  leads within 3 ms of the planted times: activation " << at_close << "/64, recovery "
        << rt_close << "/64\n";
}

}  // namespace

bool make_demo_data(std::ostream& errors) {
    std::filesystem::path data = std::filesystem::path(demo_folder) / "data";
    std::error_code error;
    std::filesystem::create_directories(data, error);
    if (error) {
        errors << "mapari: cannot create " << data.string() << ": " << error.message() << '\n';
        return false;
    }
    synth::SynthModel model = synth::make_model(synth::SynthSettings{});
    return write_file(data / "demo01.dat", encode_frames(synth::render_samples(model)), errors) &&
           write_file(data / "demo01.truth.json", synth::truth_json(model), errors);
}

void write_demo_summary(const std::string& transcript, std::ostream& out) {
    const synth::SynthModel model = synth::make_model(synth::SynthSettings{});
    out << "\nDemo summary\n";
    const long count = value_after(transcript, message("number of averaging:{1}", {""}));
    out << "  beats averaged: " << count / 8 << " in each of 8 passes (count " << count << ")\n";
    std::ifstream ari_file(std::filesystem::path(demo_folder) / "data" / "demo01.ari");
    std::vector<double> ari;
    for (double value; ari_file >> value;) ari.push_back(value);
    const long selected = value_after(transcript, message("選択した点（msec）{1}", {""}));
    if (ari.size() != 4 + 2 * 64 || selected < 0) {
        out << "  no ARI file was made\n";
        return;
    }
    // Planted times count from the true Q onset; measured ones from the clicked reference.
    const synth::BeatMarks& beat = planted_beat_near(model, selected);
    const long true_q_row = averaged_beat_row - (selected - beat.q_onset);
    const int offset_ms = static_cast<int>(true_q_row - static_cast<long>(ari[0]));
    out << "  reference (Q onset) clicked at row " << static_cast<long>(ari[0])
        << ", planted at row " << true_q_row << "; J at row " << static_cast<long>(ari[1])
        << ", T end at row " << static_cast<long>(ari[2]) << "\n";
    write_lead_table(ari, model, offset_ms, out);
    out << "  result files: " << demo_folder << "/data/demo01.ds, .se, .ari\n";
    out << "  pictures of the trace window: " << demo_folder << "/pictures\n";
}

}  // namespace mapari
