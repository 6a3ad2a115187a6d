// A source recording turned into map recordings: NAME001.dat, NAME002.dat, …,
// pieces of 32 s starting every 28 s (so that every 4-s stretch the dialogue
// shows lies whole in one piece), at 1000 Hz, in whole microvolts a count,
// with NAME.import.json beside them saying how they were made. Every file is
// written or none, and none replaces a file already there.
//
// The source is read twice, a block at a time: the first pass finds the
// largest value of the signals used, which sets the microvolts a count; the
// second resamples and converts them again and writes each piece under a
// temporary name as soon as it is complete. So the memory an import takes
// does not grow with the source's length (where its reader reads it in
// blocks), and the pieces are byte for byte those of converting the whole
// source at once.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "importing/lead_map.hpp"
#include "importing/source_stream.hpp"

namespace mapari::importing {

struct ImportRequest {
    std::filesystem::path source;
    std::filesystem::path data_directory;
    std::string name;                // the common part of the pieces' names, 1 to 6 bytes
    std::filesystem::path lead_map;  // empty: the first 64 signals on leads 1 to 64
    double rate_hz = 0.0;            // the source's rate when the file states none; 0: unsaid
    std::string variable;            // the matrix of a MATLAB file; empty: its only one
    // A source shorter than 4 s (one recorded beat) is repeated every this
    // many ms, 1 to longest_repeat_ms, into a recording of repeated_frames;
    // 0: not repeated.
    int repeat_every_ms = 0;
    std::string program = "mapari-import";  // written into NAME.import.json
    // How many source values (all signals together) are read at once.
    std::size_t block_samples = default_block_samples;
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
    long long source_frames = 0;  // the source's length at 1000 Hz
    int microvolts_per_count = 0;
    std::vector<std::string> labels;
    LeadMap map;
    std::vector<std::size_t> unused_signals;  // 0-based: the signals no channel takes
    std::vector<ImportedPiece> pieces;
    std::vector<std::pair<int, long long>> clipped;  // (channel, samples clipped)
    std::vector<std::string> warnings;
};

// Told how far the import is: what it does now ("reading" in the first pass,
// "writing" in the second), and the share done of it.
using ImportProgress = std::function<void(std::string_view stage, double share_done)>;

// Imports the source as the request says and tells what it made in the
// report. False, with the reason, when it writes nothing: a source it cannot
// read (to the end, in either pass), a lead map it cannot use, a name or
// folder it cannot use, a file there already, a write that fails.
bool import_recording(const ImportRequest& request, const ImportProgress& progress,
                      ImportReport& report, std::string& reason);

// The microvolts a count may stand for, smallest first.
inline constexpr int count_steps_microvolts[] = {1, 2, 5, 10, 20, 50};
inline constexpr long long piece_frames = 32000;
inline constexpr long long piece_step_frames = 28000;
inline constexpr long long shortest_source_frames = 4000;
inline constexpr int most_pieces = 999;
// A repeated beat makes one piece of 32 s.
inline constexpr long long repeated_frames = piece_frames;
inline constexpr int longest_repeat_ms = static_cast<int>(repeated_frames);

// The pieces of a source of `frames` 1000-Hz frames: starts every 28 s, 32 s
// long, the last ending where the source ends.
std::vector<ImportedPiece> plan_pieces(const std::string& name, long long frames);

// The smallest count step that keeps every value within 16 bits; the largest
// when none does.
int microvolts_per_count(double largest_magnitude_microvolts);

}  // namespace mapari::importing
