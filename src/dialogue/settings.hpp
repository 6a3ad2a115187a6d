// The settings of a data series, asked at its start: display leads,
// recognition coefficient, whether ARI files are made, and whether the ARI
// defaults are accepted. Each question offers a default that 1 accepts.
#pragma once

#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

inline constexpr std::int16_t default_lead_channels[display_lead_count] = {21, 31, 45};
inline constexpr float default_recognition_coefficient = 0.99f;

void ask_settings(Store& store, Runtime& runtime);

}  // namespace mapari
