// A single recorded beat made into a recording long enough for the dialogue:
// the beat repeated every period. Between the end of one copy and the start
// of the next a straight line runs from the beat's last value to its first,
// so that the signal has no step a beat detector could take for a beat.
#pragma once

#include "importing/source_stream.hpp"

namespace mapari::importing {

// Each signal of `beat` (at 1000 Hz, all of one length, at least one value)
// repeated every `period_frames` frames (at least the beat's length) over
// `frames` frames: frame k * period_frames + j is beat frame j for every j
// the beat has.
SampleBlock repeated_beat(const SampleBlock& beat, long long period_frames, long long frames);

}  // namespace mapari::importing
