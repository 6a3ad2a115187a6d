// What a reader of an unattended analysis must know about each lead of the
// averaged beat: flat (it never moves), weak (a tenth of the median lead's
// swing or less), noisy (its recording moves from sample to sample by more
// than a tenth of its beat's swing, on the median), clipped (its recording
// reaches the ends of the 16-bit range).
#pragma once

#include <array>

#include "store/store.hpp"

namespace mapari {

struct LeadQuality {
    bool flat = false;
    bool weak = false;
    bool noisy = false;
    bool clipped = false;
};

using LeadQualities = std::array<LeadQuality, lead_count>;  // lead l at [l - 1]

// Judges rows 1 to 1000 of the averaged beat and the recording's stretch.
// `scratch` holds a lead's values while the median is taken: no allocation.
LeadQualities judge_leads(const Beat& beat, const Recording& recording,
                          std::array<float, samples_per_reading>& scratch);

}  // namespace mapari
