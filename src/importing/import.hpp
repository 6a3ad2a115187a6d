// A source recording turned into map recordings: NAME001.dat, NAME002.dat, …,
// pieces of 32 s starting every 28 s (so that every 4-s stretch the dialogue
// shows lies whole in one piece), at 1000 Hz, in whole microvolts a count,
// with NAME.import.json beside them saying how they were made. Every file is
// written or none.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "importing/lead_map.hpp"

namespace mapari::importing {

struct ImportRequest {
    std::filesystem::path source;
    std::filesystem::path data_directory;
    std::string name;                // the common part of the pieces' names, 1 to 6 bytes
    std::filesystem::path lead_map;  // empty: the first 64 signals on leads 1 to 64
    double rate_hz = 0.0;            // the source's rate when the file states none; 0: unsaid
    std::string variable;            // the matrix of a MATLAB file; empty: its only one
    std::string program = "mapari-import";  // written into NAME.import.json
};

struct ImportedPiece {
    std::string file_name;
    long long first_frame = 0;  // 0-based, in the 1000-Hz source
    long long frames = 0;
};

struct ImportReport {
    std::string format;
    double source_rate_hz = 0.0;
    bool resampled = false;
    int microvolts_per_count = 0;
    std::vector<std::string> labels;
    LeadMap map;
    std::vector<ImportedPiece> pieces;
    std::vector<std::pair<int, long long>> clipped;  // (channel, samples clipped)
    std::vector<std::string> warnings;
};

// Told how far the import is: what it does now, and the share done of it.
using ImportProgress = std::function<void(std::string_view stage, double share_done)>;

bool import_recording(const ImportRequest& request, const ImportProgress& progress,
                      ImportReport& report, std::string& reason);

// The microvolts a count may stand for, smallest first.
inline constexpr int count_steps_microvolts[] = {1, 2, 5, 10, 20, 50};
inline constexpr long long piece_frames = 32000;
inline constexpr long long piece_step_frames = 28000;
inline constexpr long long shortest_source_frames = 4000;
inline constexpr int most_pieces = 999;

// The pieces of a source of `frames` 1000-Hz frames: starts every 28 s, 32 s
// long, the last ending where the source ends.
std::vector<ImportedPiece> plan_pieces(const std::string& name, long long frames);

// The smallest count step that keeps every value within 16 bits; the largest
// when none does.
int microvolts_per_count(double largest_magnitude_microvolts);

}  // namespace mapari::importing
