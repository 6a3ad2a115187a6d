// The inputs of one review, read from their files: the .ari record, the
// electrode layout (the grid unless a layout file is named) and, when a .ds
// file is named, the saved beat for the review sheet; or, instead of the
// record, a batch analysis's results table with the values of many
// recordings. Every failure comes back as one message that names the file
// and what is wrong with it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/ari_file.hpp"
#include "review/beat_plots.hpp"
#include "review/electrode_layout.hpp"
#include "review/lead_values.hpp"
#include "review/recordings_table.hpp"

namespace mapari::review {

// The saved beat as the ARI computation takes it: every value rounded to the
// nearest whole number, halves away from zero, so that the sheet shows the
// samples the activation and recovery were found on.
struct BeatTraces {
    std::vector<std::int32_t> values;  // lead l's samples 1..1024 at [(l-1)·1024, l·1024)
    std::int32_t at(int sample, int lead) const {
        return values[static_cast<std::size_t>((lead - 1) * averaged_rows + (sample - 1))];
    }
};

struct ReviewRequest {
    std::string ari_path;
    std::string ds_path;      // empty: no review sheet
    std::string layout_path;  // empty: the 8 × 8 grid
    std::int32_t recovery_delay_samples = default_ari_settings.recovery_delay_samples;
};

// The leads of a recording that carry one of a results table's other flags.
struct FlagCount {
    std::string flag;        // "weak"
    std::vector<int> leads;  // their numbers, in order
};

// How far a lead's AT and RT can be trusted, from 0 to 1; none where the
// table gives none.
struct LeadConfidence {
    std::optional<float> activation;
    std::optional<float> recovery;
    bool operator==(const LeadConfidence&) const = default;
};

struct ReviewData {
    std::string title;  // the .ari file's name without its folder, or the recording's name
    // A study's recording: its row of the study's recordings.csv, with its
    // status and the reason for it; none otherwise.
    std::optional<RecordingSummary> summary;
    // None when the values come from a results table, which holds no P, J or E.
    std::optional<AriRecord> record;
    // None when a results table gives no values for the recording (the
    // analysis failed on it).
    std::optional<LeadTable> leads;
    std::vector<FlagCount> other_flags;  // a results table's, each flag once; empty for a record
    // The bad leads a results table names (filled in from their neighbours, or
    // judged or named bad and not named good): their cells are outlined.
    std::array<bool, lead_count> bad_leads{};  // element l - 1: lead l
    // A results table's confidences, for naming the least confident leads;
    // none for a record.
    std::array<LeadConfidence, lead_count> confidence{};  // element l - 1: lead l
    // The beat-to-beat plots when the study's beats.csv, beside its
    // results.csv, has the recording's beats; none otherwise.
    std::optional<BeatPlots> beat_plots;
    ElectrodeLayout layout;
    std::optional<BeatTraces> beat;  // only with a record
    std::int32_t recovery_delay_samples = default_ari_settings.recovery_delay_samples;
};

// Reads every file the request names; false with "PATH: reason" for the
// first that cannot be used. With a beat, a lead whose saved beat holds one
// value at every sample is a lead without a signal.
bool load_review(const ReviewRequest& request, ReviewData& data, std::string& message);

struct ResultsRequest {
    std::string table_path;
    std::string layout_path;  // empty: the 8 × 8 grid
};

// Reads the results table and the layout: one review per recording, in the
// table's order; false with "PATH: reason" for the first file that cannot be
// used. A beats.csv beside the table, when there is one, adds each
// recording's beat-to-beat plots. A recordings.csv beside it, when there is
// one, gives every recording its status and reason, and its order: a
// recording the analysis failed on, which has no rows of results, gets a
// review too.
bool load_results_review(const ResultsRequest& request, std::vector<ReviewData>& recordings,
                         std::string& message);

}  // namespace mapari::review
