#include "app/study_folder.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <thread>

#include "app/batch_tables.hpp"
#include "app/study_record.hpp"
#include "formats/files.hpp"
#include "formats/messages.hpp"
#include "review/study_report.hpp"

namespace mapari {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view partial_prefix = ".";

// Whether an entry of the study is the hidden folder of an unnamed analysis.
bool is_unnamed_analysis(const std::string& entry) {
    return entry.starts_with(partial_prefix) && entry.ends_with(partial_suffix) &&
           entry.size() > partial_prefix.size() + partial_suffix.size();
}

// What a folder of the study holds: a record of its recording, a record
// that cannot be read ("PATH: reason"), or neither.
struct FolderRecord {
    std::optional<RecordingAnalysis> record;
    std::string unreadable;
};

FolderRecord record_of(const fs::path& entry) {
    const fs::path record = entry / study_record_name;
    std::error_code error;
    if (!fs::is_regular_file(record, error)) return {};
    std::string text, reason;
    RecordingAnalysis analysis;
    if (!read_whole_file(record.string(), text, reason) ||
        !read_study_record(text, analysis, reason))
        return {std::nullopt, record.string() + ": " + reason};
    // A folder set aside keeps the record of the name it had: not a recording of the study now.
    if (analysis.name != entry.filename().string()) return {};
    return {std::move(analysis), {}};
}

// The records of the folders, in their order, read and parsed by two threads
// at once: a batch ends by reading every record of its study, some 15 KB of
// JSON each, which one thread would read while the other core waited.
std::vector<FolderRecord> records_of(const std::vector<fs::path>& folders) {
    std::vector<FolderRecord> records(folders.size());
    const auto read_every_other = [&folders, &records](std::size_t first) {
        const MessagesAsWritten in_english;
        for (std::size_t k = first; k < folders.size(); k += 2) records[k] = record_of(folders[k]);
    };
    std::thread helper(read_every_other, 1);
    read_every_other(0);
    helper.join();
    return records;
}

int open_lock(const fs::path& study, const char* name) {
    return ::open((study / name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
}

// Removes the hidden folders of analyses that never got their names (a
// batch killed, a power cut); they are the batch's own.
void remove_unnamed_analyses(const fs::path& study) {
    std::error_code error;
    std::vector<fs::path> unnamed;
    for (fs::directory_iterator entry(study, error), end; !error && entry != end;
         entry.increment(error))
        if (is_unnamed_analysis(entry->path().filename().string()) && entry->is_directory(error))
            unnamed.push_back(entry->path());
    for (const fs::path& folder : unnamed) fs::remove_all(folder, error);
}

}  // namespace

StudyContents read_study(const fs::path& folder) {
    StudyContents contents;
    std::vector<fs::path> folders;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        contents.entry_names.insert(name);
        if (entry->is_directory(error) && !is_unnamed_analysis(name))
            folders.push_back(entry->path());
    }
    for (FolderRecord& found : records_of(folders)) {
        if (!found.unreadable.empty()) contents.unreadable.push_back(std::move(found.unreadable));
        if (found.record) contents.records.emplace(found.record->name, std::move(*found.record));
    }
    return contents;
}

std::vector<FileContent> study_tables(const fs::path& study,
                                      const std::vector<RecordingAnalysis>& rows) {
    return {{(study / "results.csv").string(), results_table(rows)},
            {(study / "recordings.csv").string(), recordings_table(rows)},
            {(study / "beats.csv").string(), beats_table(rows)}};
}

std::vector<fs::path> remove_derived_files(const fs::path& study) {
    std::vector<fs::path> removed;
    for (const char* name : derived_files) {
        std::error_code error;
        if (fs::remove(study / name, error)) removed.push_back(study / name);
    }
    return removed;
}

bool refresh_report(const fs::path& study, bool asked, std::string& line) {
    const fs::path table = study / "results.csv";
    const fs::path index = fs::path(review::report_folder(table.string())) / "index.html";
    std::error_code error;
    const bool existed = fs::exists(index, error);
    line.clear();
    if (!asked && !existed) return true;
    int pages = 0;
    std::string message;
    if (!review::write_study_report({table.string(), ""}, pages, message)) {
        line = "cannot write the report " + index.string() + ": " + message;
        return false;
    }
    line = (existed && !asked ? "rewrote " : "wrote ") + index.string() + " and the pages of " +
           (pages == 1 ? std::string("1 recording") : std::to_string(pages) + " recordings") +
           (existed && !asked ? ": the tables changed" : "");
    return true;
}

fs::path partial_folder(const fs::path& study, const std::string& name) {
    return study / (std::string(partial_prefix) + name + std::string(partial_suffix));
}

fs::path correction_folder(const fs::path& study, const std::string& name) {
    return study / (std::string(partial_prefix) + name + ".correcting");
}

fs::path set_aside(const fs::path& study, const std::string& name, std::string& reason) {
    for (int number = 1;; ++number) {
        fs::path aside = study / (name + "." + std::to_string(number));
        std::error_code error;
        if (fs::exists(fs::symlink_status(aside, error))) continue;
        if (rename_without_replacing((study / name).string(), aside.string(), reason)) return aside;
        if (errno != EEXIST) return {};
    }
}

UnnamedAnalyses::Named UnnamedAnalyses::name_one(const Waiting& waiting) const {
    const MessagesAsWritten in_english;
    Named named{waiting.job, {}, {}};
    const fs::path folder = study_ / waiting.name;
    std::error_code error;
    if (waiting.again && fs::exists(fs::symlink_status(folder, error))) {
        named.set_aside = set_aside(study_, waiting.name, named.reason);
        if (named.set_aside.empty()) {
            named.reason = "cannot set the earlier " + folder.string() + " aside: " + named.reason;
            return named;
        }
    }
    if (!rename_without_replacing(partial_folder(study_, waiting.name).string(), folder.string(),
                                  named.reason))
        named.reason = "cannot name its folder " + folder.string() + ": " + named.reason;
    return named;
}

std::vector<UnnamedAnalyses::Named> UnnamedAnalyses::name_all(std::string& not_flushed) {
    std::vector<Named> outcomes;
    if (waiting_.empty()) return outcomes;
    std::string reason;
    const bool flushed = flush_file_system(study_.string(), reason);
    for (const Waiting& waiting : waiting_) {
        if (!flushed) {
            outcomes.push_back({waiting.job, {}, "cannot bring its files to the disk: " + reason});
            continue;
        }
        outcomes.push_back(name_one(waiting));
    }
    waiting_.clear();
    if (flushed && !flush_folder(study_.string(), reason))
        not_flushed = "cannot bring the names in " + study_.string() + " to the disk: " + reason;
    return outcomes;
}

TablesLock::TablesLock(const fs::path& study) : descriptor_(open_lock(study, ".study.lock")) {
    if (descriptor_ >= 0) ::flock(descriptor_, LOCK_EX);
}

TablesLock::~TablesLock() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

BatchPresence::BatchPresence(const fs::path& study) : descriptor_(open_lock(study, ".batch.lock")) {
    if (descriptor_ < 0) return;
    if (::flock(descriptor_, LOCK_EX | LOCK_NB) == 0) remove_unnamed_analyses(study);
    ::flock(descriptor_, LOCK_SH);
}

BatchPresence::~BatchPresence() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

}  // namespace mapari
