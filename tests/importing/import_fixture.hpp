// Whole imports into a data folder of a temporary folder, and the pieces they
// write read back lead by lead: what the tests of whole imports share.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/map_recording.hpp"
#include "importing/import.hpp"
#include "support/real_data.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::importing_tests {

inline std::filesystem::path source_folder() {
    return test_support::real_data_folder() / "source";
}

class Import : public ::testing::Test {
  protected:
    bool import(const std::filesystem::path& source, const std::string& name, double rate_hz = 0.0,
                const std::string& lead_map = "") {
        importing::ImportRequest request;
        request.source = source;
        request.data_directory = data_;
        request.name = name;
        request.rate_hz = rate_hz;
        if (!lead_map.empty()) {
            request.lead_map = folder_.path() / "map.csv";
            test_support::write_bytes(request.lead_map, lead_map);
        }
        request.repeat_every_ms = repeat_every_ms_;
        request.block_samples = block_samples_;
        return importing::import_recording(request, progress_, report_, reason_);
    }
    // The samples of a map lead (1 to 64) in a piece, frame by frame.
    std::vector<int> lead_samples(const std::string& piece, int lead) const {
        const std::string bytes = test_support::read_bytes(data_ / piece);
        std::vector<int> samples;
        const long long frames = static_cast<long long>(bytes.size()) / bytes_per_frame;
        for (long long frame = 1; frame <= frames; ++frame)
            samples.push_back(frame_sample(bytes, frame, channel_of_lead(lead)));
        return samples;
    }
    std::vector<std::string> data_files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(data_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test_support::TemporaryFolder folder_;
    std::filesystem::path data_ = folder_.folder("data");
    int repeat_every_ms_ = 0;  // what the next import() asks for
    std::size_t block_samples_ = importing::default_block_samples;
    importing::ImportProgress progress_;
    importing::ImportReport report_;
    std::string reason_;
};

}  // namespace mapari::importing_tests
