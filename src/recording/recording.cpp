#include "recording/recording.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "formats/messages.hpp"

namespace mapari {

TextField<30> build_recording_path(const TextField<6>& common_part,
                                   const TextField<6>& variable_part) {
    std::string path(program_data_directory);
    path += common_part.stem();
    path += variable_part.view();
    TextField<30> result;
    result.assign(path);
    // The path ends at its first blank, where the extension is written.
    std::size_t blank = result.first_blank();
    std::string finished(result.view().substr(0, blank - 1));
    finished += ".dat";
    result.assign(finished);
    return result;
}

std::string unsafe_name_reason(std::string_view name) {
    for (char c : name) {
        if (c == '/' || c == '\\') return message("it holds a path separator");
        if (c == ':') return message("it holds a colon");
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return message("it holds a control character");
    }
    if (name.find("..") != std::string_view::npos) return message("it holds \"..\"");
    return {};
}

TextField<32> result_path(std::string_view stem, std::string_view extension) {
    std::string path(program_data_directory);
    path += stem;
    path += extension;
    TextField<32> field;
    field.assign(path);
    return field;
}

std::string save_name_problem(std::string_view stem) {
    if (stem.empty()) return message("a save name is needed");
    std::string unsafe = unsafe_name_reason(stem);
    if (!unsafe.empty()) return unsafe;
    if (stem.size() > longest_save_stem)
        return message("it is longer than {1} bytes", {std::to_string(longest_save_stem)});
    return {};
}

bool set_data_directory(Naming& naming, std::string_view folder, std::string& reason) {
    if (folder.size() >= data_directory_capacity) {
        reason = "the data directory path is too long";
        return false;
    }
    naming.data_directory.fill('\0');
    folder.copy(naming.data_directory.data(), folder.size());
    return true;
}

std::string host_path(const Naming& naming, std::string_view program_path) {
    std::string_view name = program_path;
    if (name.starts_with(program_data_directory)) name.remove_prefix(program_data_directory.size());
    std::string path(naming.data_directory.data());
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    return path;
}

namespace {

std::string frames_text(long long frames) {
    return message("{1} frames", {std::to_string(frames)});
}

}  // namespace

std::string path_and_host_file(const Naming& naming, std::string_view program_path) {
    return std::string(program_path) + " (" + host_path(naming, program_path) + ")";
}

ReadOutcome read_recording(const Naming& naming, Recording& recording, std::string& message) {
    const std::string path = host_path(naming, naming.recording_path.stem());
    const std::string program_path = path_and_host_file(naming, naming.recording_path.stem());
    std::error_code status_error;
    if (std::filesystem::is_directory(path, status_error)) {
        message =
            mapari::message("Cannot open {1}: it is a folder, not a recording.", {program_path});
        return ReadOutcome::cannot_open;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        message = mapari::message("Cannot open {1}: {2}.", {program_path, std::strerror(errno)});
        return ReadOutcome::cannot_open;
    }
    file.seekg(0, std::ios::end);
    long long file_frames = static_cast<long long>(file.tellg()) / bytes_per_frame;
    if (file_frames < samples_per_reading) {
        message = mapari::message(
            "{1} holds {2}; a display needs {3}.",
            {program_path, frames_text(file_frames), frames_text(samples_per_reading)});
        return ReadOutcome::too_short;
    }
    const int second = naming.display_second;
    long long first_frame = static_cast<long long>(second) * frames_per_second;
    long long last_second_held =
        std::min<long long>(last_display_second, file_frames / frames_per_second - 4);
    if (second < 0 || second > last_second_held) {
        message = mapari::message(
            "The display second must be from 0 to {1}: {2} holds {3}.",
            {std::to_string(last_second_held), program_path, frames_text(file_frames)});
        return ReadOutcome::second_not_held;
    }
    file.seekg(first_frame * bytes_per_frame);
    file.read(reinterpret_cast<char*>(recording.file_bytes.data()), bytes_per_reading);
    if (file.gcount() != bytes_per_reading) {
        message = mapari::message("Cannot read {1}: the file ended early.", {program_path});
        return ReadOutcome::too_short;
    }
    decode_recording(recording);
    return ReadOutcome::read;
}

}  // namespace mapari
