#include "formats/files.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "formats/messages.hpp"

namespace mapari {
namespace {

std::string temporary_path(const std::string& path) {
    return path + std::string(partial_suffix);
}

// Writes bytes to a new file at path; on failure removes it and gives the reason.
bool write_new_file(const std::string& path, std::string_view bytes, std::string& reason) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fflush(file) == 0 && written;
    int write_error = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        write_error = errno;
    }
    if (written) return true;
    reason = std::strerror(write_error);
    std::remove(path.c_str());
    return false;
}

void remove_temporaries(const std::vector<FileContent>& files, std::size_t first,
                        std::size_t last) {
    for (std::size_t i = first; i < last; ++i) std::remove(temporary_path(files[i].path).c_str());
}

}  // namespace

bool write_file_atomically(const std::string& path, std::string_view bytes, std::string& reason) {
    const std::string temporary = temporary_path(path);
    if (!write_new_file(temporary, bytes, reason)) return false;
    if (std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    reason = std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
}

bool write_files_atomically(const std::vector<FileContent>& files, std::string& failed_path,
                            std::string& reason) {
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (write_new_file(temporary_path(files[i].path), files[i].bytes, reason)) continue;
        failed_path = files[i].path;
        remove_temporaries(files, 0, i);
        return false;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (std::rename(temporary_path(files[i].path).c_str(), files[i].path.c_str()) == 0)
            continue;
        reason = std::strerror(errno);
        failed_path = files[i].path;
        remove_temporaries(files, i, files.size());
        return false;
    }
    return true;
}

bool read_whole_file(const std::string& path, std::string& text, std::string& reason) {
    std::error_code status;
    if (std::filesystem::is_directory(path, status)) {
        reason = message("it is a folder, not a file");
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        reason = std::strerror(errno);
        return false;
    }
    // One string of the file's size, filled by one read: a .ds is about a megabyte.
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    file.seekg(0, std::ios::beg);
    text.assign(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (file.gcount() != static_cast<std::streamsize>(text.size())) {
        reason = message("it cannot be read to the end");
        return false;
    }
    return true;
}

}  // namespace mapari
