// The values of the review per lead: activation time, recovery time and the
// activation-recovery interval ARI = RT − AT, all in ms, each with the flags
// that mark a value as the computation's default rather than a finding:
//
//   no downstroke  AT = 0: no negative slope was found from P + a to J, so
//                  the activation sample stayed at P;
//   no upstroke    RT = J + r − P: no rising positive slope of the smoothed
//                  T wave was found from J + r to E, so the recovery sample
//                  stayed at J + r.
//
// The minimum recovery delay r is not written in the .ari file; the session's
// default (default_ari_settings) is assumed unless the caller gives the one used. A
// true recovery at exactly J + r cannot be told apart from the default and is
// flagged as well.
//
//   no signal      the lead's saved beat holds one value at every sample: its
//                  AT and RT are the computation's defaults on nothing, no
//                  findings, and neither default flag is given.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "formats/ari_file.hpp"

namespace mapari::review {

struct LeadValues {
    float activation_ms = 0.0f;
    float recovery_ms = 0.0f;
    float ari_ms = 0.0f;  // recovery_ms − activation_ms
    bool no_downstroke = false;
    bool no_upstroke = false;
    bool no_signal = false;  // the values are not findings of any kind
};

// Values of a lead without a signal.
inline constexpr LeadValues without_signal{.no_signal = true};

using LeadTable = std::array<LeadValues, lead_count>;  // element l - 1: lead l

LeadTable lead_values(const AriRecord& record, std::int32_t recovery_delay_samples);

// "no_downstroke", "no_upstroke", both joined by ';', "no_signal", or empty.
std::string flags_text(const LeadValues& values);

// A value in ms as the CSV and the pictures write it: the shortest text that
// reads back as the same float ("25", "-3.5").
std::string ms_text(float value);

// One header line "lead,AT_ms,RT_ms,ARI_ms,flags", then one row per lead; the
// values of a lead without a signal are empty.
std::string review_csv(const LeadTable& table);

}  // namespace mapari::review
