// What a reader of an unattended analysis must know about each lead of the
// averaged beat: no signal (its recording holds one value over the whole
// stretch: an electrode or signal the recording does not have), flat (its
// averaged beat never moves), weak (a tenth of the median lead's swing or
// less), noisy (its recording moves from sample to sample by more than a tenth
// of its beat's swing, on the median), clipped (its recording reaches the ends
// of the 16-bit range). A lead without a signal is that alone: the other
// qualities describe a signal.
//
// And which leads to display when those asked for carry no signal: the leads
// whose recording swings most, peak to peak over the stretch, where the QRS
// complexes are the largest excursions of a lead.
#pragma once

#include <array>

#include "store/store.hpp"

namespace mapari {

struct LeadQuality {
    bool no_signal = false;
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

// False when every sample of lead l (1 to 64) in the recording's stretch holds
// the same value.
bool carries_signal(const Recording& recording, int lead);

using DisplayLeads = std::array<int, display_lead_count>;

// The display leads `asked`, each that carries no signal replaced by the lead
// of largest peak-to-peak swing over the stretch among the leads with a signal
// not displayed yet (the lowest numbered of equal swings). Once those run out
// the leads with a signal are taken again, largest first. `asked` as it is
// when no lead carries a signal.
DisplayLeads display_leads_with_signal(const Recording& recording, const DisplayLeads& asked);

}  // namespace mapari
