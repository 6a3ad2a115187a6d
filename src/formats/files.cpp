#include "formats/files.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "formats/messages.hpp"

namespace mapari {
namespace {

std::string temporary_path(const std::string& path) {
    return path + std::string(partial_suffix);
}

std::string folder_of(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

// Writes bytes to a new file at path; on failure removes it and gives the reason.
bool write_new_file(const std::string& path, std::string_view bytes, Flush flush,
                    std::string& reason) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fflush(file) == 0 && written;
    if (written && flush == Flush::by_writer) written = ::fdatasync(::fileno(file)) == 0;
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

}  // namespace

bool write_file_atomically(const std::string& path, std::string_view bytes, std::string& reason,
                           Flush flush) {
    const std::string temporary = temporary_path(path);
    if (!write_new_file(temporary, bytes, flush, reason)) return false;
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        reason = std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return flush == Flush::by_caller || flush_folder(folder_of(path), reason);
}

bool write_files_atomically(const std::vector<FileContent>& files, std::string& failed_path,
                            std::string& reason) {
    PendingFiles pending;
    for (const FileContent& file : files)
        if (!pending.write(file.path, file.bytes, reason)) {
            failed_path = file.path;
            return false;
        }
    return pending.commit(failed_path, reason);
}

PendingFiles::~PendingFiles() {
    remove_temporaries();
}

void PendingFiles::remove_temporaries() const {
    for (std::size_t i = committed_; i < paths_.size(); ++i)
        std::remove(temporary_path(paths_[i]).c_str());
}

bool PendingFiles::write(const std::string& path, std::string_view bytes, std::string& reason) {
    if (!write_new_file(temporary_path(path), bytes, Flush::by_caller, reason)) return false;
    paths_.push_back(path);
    return true;
}

bool PendingFiles::commit(std::string& failed_path, std::string& reason) {
    if (committed_ < paths_.size() && !flush_file_system(folder_of(paths_[committed_]), reason)) {
        failed_path = paths_[committed_];
        remove_temporaries();
        return false;
    }
    std::set<std::string> folders;
    for (; committed_ < paths_.size(); ++committed_) {
        const std::string& path = paths_[committed_];
        folders.insert(folder_of(path));
        if (std::rename(temporary_path(path).c_str(), path.c_str()) == 0) continue;
        reason = std::strerror(errno);
        failed_path = path;
        remove_temporaries();
        return false;
    }
    for (const std::string& folder : folders)
        if (!flush_folder(folder, reason)) {
            failed_path = folder;
            return false;
        }
    return true;
}

bool flush_file_system(const std::string& path, std::string& reason) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    bool flushed = descriptor >= 0 && ::syncfs(descriptor) == 0;
    if (!flushed) reason = std::strerror(errno);
    if (descriptor >= 0) ::close(descriptor);
    return flushed;
}

bool flush_folder(const std::string& folder, std::string& reason) {
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool flushed = descriptor >= 0 && ::fsync(descriptor) == 0;
    if (!flushed) reason = std::strerror(errno);
    if (descriptor >= 0) ::close(descriptor);
    return flushed;
}

bool rename_without_replacing(const std::string& from, const std::string& to, std::string& reason) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    reason = std::strerror(errno);
    return false;
}

bool open_for_reading(const std::string& path, std::ifstream& file, std::string& reason) {
    std::error_code status;
    if (std::filesystem::is_directory(path, status)) {
        reason = message("it is a folder, not a file");
        return false;
    }
    file.open(path, std::ios::binary);
    if (file) return true;
    reason = std::strerror(errno);
    return false;
}

bool read_whole_file(const std::string& path, std::string& text, std::string& reason) {
    std::ifstream file;
    if (!open_for_reading(path, file, reason)) return false;
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
