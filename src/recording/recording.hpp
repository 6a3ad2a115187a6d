// Recording files: naming, program paths and their host files, and reading a
// stretch of 4000 frames into the channel store.
//
// The file's frame layout is in formats/map_recording.hpp. The stretch of
// display second s is frames 1000·s + 1 to 1000·s + 4000.
//
// Program paths keep the data directory "d:\data\map\"; only opening a file
// maps that prefix to the host folder held in the store.
#pragma once

#include <string>
#include <string_view>

#include "formats/map_recording.hpp"
#include "store/store.hpp"

namespace mapari {

inline constexpr std::string_view program_data_directory = "d:\\data\\map\\";
inline constexpr int last_display_second = 28;

// "d:\data\map\" + the common part up to its first blank + the variable part
// up to its first blank + ".dat", blank-padded to 30 characters.
TextField<30> build_recording_path(const TextField<6>& common_part,
                                   const TextField<6>& variable_part);

// Why a typed name part or save name cannot be used in a path, or empty when
// it can: path separators, a colon, "..", and control characters are refused.
std::string unsafe_name_reason(std::string_view name);

inline constexpr std::size_t longest_save_stem =
    17;  // keeps the ".ds"/".se" of a 32-character path

// "d:\data\map\" + stem + extension, cut to 32 characters.
TextField<32> result_path(std::string_view stem, std::string_view extension);

// Why a typed save name's stem cannot name the result files, or empty when it can.
std::string save_name_problem(std::string_view stem);

// Makes the host folder stand for "d:\data\map\". False, with the reason,
// when its path does not fit the store.
bool set_data_directory(Naming& naming, std::string_view folder, std::string& reason);

// The host file that a program path ("d:\data\map\name") stands for.
std::string host_path(const Naming& naming, std::string_view program_path);
// A program path as the program's own messages name it: the path, then the
// file on this computer that it stands for in brackets.
std::string path_and_host_file(const Naming& naming, std::string_view program_path);

enum class ReadOutcome {
    read,            // the stretch is in the channel store
    cannot_open,     // the file is missing or unreadable
    too_short,       // the file holds fewer than 4000 frames
    second_not_held  // the file is long enough, but not for this display second
};

// Reads the stretch of the display second from the recording path into the
// channel store. On any outcome but `read`, message says why and the channel
// store is unchanged.
ReadOutcome read_recording(const Naming& naming, Recording& recording, std::string& message);

}  // namespace mapari
