// The settings of a data series, asked at its start: display leads,
// recognition coefficient, whether ARI files are made, and whether the ARI
// defaults are accepted. Each question offers a default that 1 accepts.
#pragma once

#include <array>

#include "formats/map_recording.hpp"
#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

inline constexpr std::int16_t default_lead_channels[display_lead_count] = {21, 31, 45};
// The leads on those channels: 13, 23 and 37.
inline constexpr std::array<int, display_lead_count> dialogue_display_leads{
    lead_of_channel(default_lead_channels[0]), lead_of_channel(default_lead_channels[1]),
    lead_of_channel(default_lead_channels[2])};
inline constexpr float default_recognition_coefficient = 0.99f;

void ask_settings(Store& store, Runtime& runtime);

}  // namespace mapari
