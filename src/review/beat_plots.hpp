// The review's beat-to-beat plots of a recording, from the study's beats.csv
// (one row per recording, beat and lead: recording,beat,time_ms,rr_ms,lead,
// AT_ms,RT_ms,ARI_ms,flags): ARI against the preceding RR for a few leads and
// for the mean over the leads, each with its least-squares line and slope,
// and the mean's ARI beat after beat over the recording's time.
//
// Only the unflagged beats count, as in the summaries of results.csv. The
// mean of a beat is over the leads with a value on it; the leads shown are
// three of those with a value on every unflagged beat, the first, the middle
// and the last by number, so that they spread over the layout.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "beats/beat_series.hpp"
#include "store/store.hpp"

namespace mapari::review {

inline constexpr const char* beats_table_header =
    "recording,beat,time_ms,rr_ms,lead,AT_ms,RT_ms,ARI_ms,flags";
inline constexpr std::size_t leads_plotted = 3;

struct TableBeat {
    std::int32_t time_ms = 0;
    std::optional<std::int32_t> rr_ms;  // none for the first beat
    bool flagged = false;
    std::array<std::optional<float>, lead_count> ari_ms{};  // element l - 1: lead l
};

// Reads beats.csv's text into each recording's beats in the table's order;
// false with "line N: reason" for the first row that cannot be used.
bool read_beats_table(std::string_view text,
                      std::map<std::string, std::vector<TableBeat>, std::less<>>& beats,
                      std::string& reason);

// A point of a plot in the data's units: ms on both axes.
struct DataPoint {
    double x_ms = 0.0;
    double y_ms = 0.0;
};

struct PlotSeries {
    std::string label;  // "lead 12" or "mean"
    std::vector<DataPoint> points;
    std::optional<LineFit> fit;  // ARI against RR; none for fewer than 3 points
};

struct BeatPlots {
    std::vector<PlotSeries> restitution;    // the leads shown, then the mean
    std::vector<DataPoint> mean_over_time;  // (time of the beat, mean ARI)
};

// The plots of a recording's beats; none when no unflagged beat has a value.
std::optional<BeatPlots> beat_plots(const std::vector<TableBeat>& beats);

}  // namespace mapari::review
