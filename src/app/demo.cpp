#include "app/demo.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/synth_model.hpp"

namespace mapari {
namespace {

bool write_file(const std::filesystem::path& path, const std::string& content,
                std::ostream& errors) {
    std::filesystem::path temporary = path;
    temporary += ".part";
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    file.close();
    std::error_code error;
    if (file) std::filesystem::rename(temporary, path, error);
    if (!file || error) {
        errors << "mapari: cannot write " << path.string() << '\n';
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
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
    return write_file(data / "demo01.dat", synth::encode_recording(synth::render_samples(model)),
                      errors) &&
           write_file(data / "demo01.truth.json", synth::truth_json(model), errors);
}

void write_demo_summary(const std::string& transcript, std::ostream& out) {
    std::istringstream lines(transcript);
    std::string line;
    const std::string averaging = "number of averaging:";
    out << "\nDemo summary\n";
    while (std::getline(lines, line)) {
        if (line.starts_with(averaging)) {
            int count = std::stoi(line.substr(averaging.size()));
            out << "  beats averaged: " << count / 8 << " in each of 8 passes (count " << count
                << ")\n";
        }
    }
    out << "  pictures of the trace window: " << demo_folder << "/pictures\n";
}

}  // namespace mapari
