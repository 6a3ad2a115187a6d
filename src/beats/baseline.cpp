#include "beats/baseline.hpp"

namespace mapari {

void subtract_one_point_baseline(Beat& beat, std::int32_t i1) {
    for (int l = 1; l <= lead_count; ++l) {
        const float base = beat.averaged(i1, l);
        for (int k = 1; k <= averaged_rows; ++k) beat.averaged(k, l) -= base;
    }
}

void subtract_two_point_baseline(Beat& beat, std::int32_t i1, std::int32_t i2) {
    for (int l = 1; l <= lead_count; ++l) {
        const float base = beat.averaged(i1, l);
        const float slope =
            (beat.averaged(i2, l) - beat.averaged(i1, l)) / static_cast<float>(i2 - i1);
        for (int k = 1; k <= averaged_rows; ++k)
            beat.averaged(k, l) = (beat.averaged(k, l) - base) + static_cast<float>(i1 - k) * slope;
    }
}

}  // namespace mapari
