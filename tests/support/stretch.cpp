#include "stretch.hpp"

#include <gtest/gtest.h>

#include <cstring>

#include "recording/recording.hpp"

namespace mapari::test_support {

std::unique_ptr<Store> read_stretch(const std::filesystem::path& folder, const std::string& common,
                                    const std::string& variable, int second) {
    auto store = std::make_unique<Store>();
    for (int k = 1; k <= display_lead_count; ++k)
        store->settings.lead_channel(k) = static_cast<std::int16_t>(
            channel_of_lead(default_leads[static_cast<std::size_t>(k - 1)]));
    const std::string host_folder = folder.string();
    EXPECT_LT(host_folder.size(), static_cast<std::size_t>(data_directory_capacity));
    std::memcpy(store->naming.data_directory.data(), host_folder.c_str(), host_folder.size() + 1);
    store->naming.common_part.assign(common);
    store->naming.variable_part.assign(variable);
    store->naming.recording_path =
        build_recording_path(store->naming.common_part, store->naming.variable_part);
    store->naming.display_second = second;
    std::string message;
    const ReadOutcome outcome = read_recording(store->naming, store->recording, message);
    EXPECT_EQ(outcome, ReadOutcome::read) << message;
    return store;
}

std::vector<int> beat_list(const Store& store) {
    std::vector<int> positions;
    for (int s = 1; s <= beat_slots && store.display.beat_list(s) != 0; ++s)
        positions.push_back(store.display.beat_list(s));
    return positions;
}

}  // namespace mapari::test_support
