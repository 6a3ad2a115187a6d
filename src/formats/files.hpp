// Whole files in and out. Every file the programs write goes through one
// writer: the content is written under a temporary name beside the file
// (name + ".partial"), flushed to the disk, and renamed into place once
// complete; the folder is flushed after the rename. So a failed write (a full
// disk, a read-only folder) never leaves half a file and never replaces a good
// one, and a power cut never leaves a named file without its content.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace mapari {

inline constexpr std::string_view partial_suffix = ".partial";

// Who brings a written file to the disk: the writer, or a caller that flushes
// a whole folder of files at once before it gives that folder its name.
enum class Flush { by_writer, by_caller };

// Writes bytes to path through its temporary name; on failure returns false
// with the reason, the file as it was and no temporary left.
bool write_file_atomically(const std::string& path, std::string_view bytes, std::string& reason,
                           Flush flush = Flush::by_writer);

struct FileContent {
    std::string path;
    std::string bytes;
};

// Writes every file under its temporary name, then renames them into place:
// when one cannot be written, none is renamed. On failure returns false with
// the path that failed and the reason; no temporary is left.
bool write_files_atomically(const std::vector<FileContent>& files, std::string& failed_path,
                            std::string& reason);

// Files written one after another under their temporary names and renamed
// into place together by commit(), which flushes them all to the disk first, for a set too large to
// hold in memory at once: each file's bytes can go as soon as they are written. Temporaries not
// renamed are removed when the set goes, so a set abandoned half-way leaves
// nothing behind.
class PendingFiles {
  public:
    PendingFiles() = default;
    PendingFiles(const PendingFiles&) = delete;
    PendingFiles& operator=(const PendingFiles&) = delete;
    ~PendingFiles();

    // Writes bytes under the temporary name of path; false with the reason,
    // and no temporary of it left, when it cannot be written.
    bool write(const std::string& path, std::string_view bytes, std::string& reason);
    // Flushes every file written to the disk, then renames them into place in
    // the order written and flushes their folders. False with the path that
    // failed and the reason: the files before it are in place, no temporary
    // is left.
    bool commit(std::string& failed_path, std::string& reason);
    // The paths written, in order.
    const std::vector<std::string>& paths() const { return paths_; }

  private:
    void remove_temporaries() const;

    std::vector<std::string> paths_;
    std::size_t committed_ = 0;  // how many of paths_ are renamed into place
};

// Brings every file written on the file system that holds path (a file or a
// folder) to the disk:
// one flush for many files, cheaper than one for each. False with the reason.
bool flush_file_system(const std::string& path, std::string& reason);
// Brings a folder's entries (names made, renamed or removed) to the disk.
bool flush_folder(const std::string& folder, std::string& reason);
// Renames from to to, refusing (with the reason) when to already exists:
// nothing is ever replaced, a folder included.
bool rename_without_replacing(const std::string& from, const std::string& to, std::string& reason);

// The whole content of a file, read in one piece; false with the reason ("No
// such file or directory", "it is a folder, not a file") when it cannot be read.
bool read_whole_file(const std::string& path, std::string& text, std::string& reason);

// Opens a file to be read in parts; false with the reason as above.
bool open_for_reading(const std::string& path, std::ifstream& file, std::string& reason);

}  // namespace mapari
