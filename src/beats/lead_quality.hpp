// What a reader of an unattended analysis must know about each lead of the
// averaged beat: no signal (its recording holds one value over the whole
// stretch: an electrode or signal the recording does not have), flat (its
// averaged beat never moves), weak (a tenth of the median lead's swing or
// less), noisy, clipped (its recording reaches the ends of the 16-bit range),
// steps. A lead without a signal is that alone: the other qualities describe a
// signal.
//
// Noisy: the lead's recording moves from sample to sample by more than a
// tenth of its beat's swing, on the median; or its averaged beat carries noise
// more than four times the median lead's (and at least four raw units) and
// above a fiftieth of its swing: a fault of the lead's own, such as a poor
// contact, rather than of the recording. A beat's noise is the RMS of white
// noise estimated from its median second difference, which a beat's smooth
// waves barely move. On synthetic recordings of noise RMS 0 to 45 every clean
// lead's beat noise lies within a quarter of the median's, while a noise lead
// (20 times the noise, at least 200) carries about 20 times it, or about 100
// units where the others carry none; its averaged beat swings by up to about
// 2000, so the first rule alone misses it.
//
// Steps: the recording jumps from one sample to the next by more than its
// beat's whole swing, and the median of the 10 samples from the jump on
// differs from the median of the 10 before it by more than the swing too: a
// loose electrode's change of level. Within a beat no sample-to-sample change
// reaches the beat's swing, a spike or a stimulus artifact of a few samples
// leaves the medians of ten where they were, and noise large enough to jump by
// the swing from one sample to the next moves them by a third of that.
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
    bool steps = false;
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
// not displayed yet (the lowest numbered of equal swings), a lead whose
// recording is noisy (its median step from sample to sample more than four
// times the median lead's) only after every other. Once those run out the
// leads with a signal are taken again in that order. `asked` as it is when
// no lead carries a signal.
DisplayLeads display_leads_with_signal(const Recording& recording, const DisplayLeads& asked);

}  // namespace mapari
