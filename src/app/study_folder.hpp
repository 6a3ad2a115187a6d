// A study folder (mapari-batch --out DIR) only grows: DIR/NAME/ for each
// recording, holding its files and its record (study_record.hpp); the tables
// rebuilt from the records; the files derived from the tables. A recording is
// analysed in the hidden DIR/.NAME.partial/, which gets its name NAME once
// its files are on the disk; a folder is never deleted or replaced, and an
// earlier analysis asked for again is set aside as DIR/NAME.1/ (.2, ...).
#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/batch_analysis.hpp"
#include "formats/files.hpp"

namespace mapari {

// Made from the tables by other programs (mapari-review --results), so stale
// once the tables change: removed then, since the batch cannot make them. The
// study's report (report/, study_report.hpp) the batch makes itself: it is
// written anew instead (refresh_report).
inline constexpr const char* derived_files[] = {"results.pdf"};

struct StudyContents {
    std::map<std::string, RecordingAnalysis> records;  // by the name of their folder
    std::set<std::string> entry_names;                 // of every entry of the folder
    std::vector<std::string> unreadable;               // "PATH: reason", one a record
};

// The records of the study in folder, and the names it uses; an entry that
// is no folder of a recording (a file, a folder set aside, one without a
// record) only takes its name.
StudyContents read_study(const std::filesystem::path& folder);

// The study's tables made from the rows of its recordings: results.csv,
// recordings.csv and beats.csv, with their paths.
std::vector<FileContent> study_tables(const std::filesystem::path& study,
                                      const std::vector<RecordingAnalysis>& rows);

// Removes the derived files the study holds; the paths removed.
std::vector<std::filesystem::path> remove_derived_files(const std::filesystem::path& study);

// The study's report written from its tables: when `asked`, or when the study
// has one, so that no report shows earlier tables. The line that says what
// was done ("wrote DIR/report/index.html and the pages of 3 recordings"),
// empty when there was nothing to do; false with the line that says why the
// report could not be written.
bool refresh_report(const std::filesystem::path& study, bool asked, std::string& line);

// The hidden folder a recording is analysed in before it gets its name.
std::filesystem::path partial_folder(const std::filesystem::path& study, const std::string& name);

// The hidden folder in which a correction by hand of a recording plays its
// session before its files are renamed into place.
std::filesystem::path correction_folder(const std::filesystem::path& study,
                                        const std::string& name);

// Sets DIR/NAME aside as DIR/NAME.N, N the first number free; the path it
// got, or empty with the reason.
std::filesystem::path set_aside(const std::filesystem::path& study, const std::string& name,
                                std::string& reason);

// Gives each analysed folder its name: one flush of the file system for all,
// then the renames, then a flush of the study folder. Finished analyses wait
// here so that many share one flush.
class UnnamedAnalyses {
  public:
    struct Named {
        std::size_t job;                  // whose analysis it is
        std::filesystem::path set_aside;  // where the earlier analysis went, if any
        std::string reason;               // empty when named
    };

    explicit UnnamedAnalyses(std::filesystem::path study) : study_(std::move(study)) {}
    // The job's folder, to be named `name`; an earlier folder of that name set
    // aside first when `again`.
    void add(std::size_t job, const std::string& name, bool again) {
        waiting_.push_back({job, name, again});
    }
    std::size_t waiting() const { return waiting_.size(); }
    // Names every waiting folder; each job's outcome. A study folder whose
    // new names cannot be brought to the disk is said in not_flushed.
    std::vector<Named> name_all(std::string& not_flushed);

  private:
    struct Waiting {
        std::size_t job;
        std::string name;
        bool again;
    };
    Named name_one(const Waiting& waiting) const;
    std::filesystem::path study_;
    std::vector<Waiting> waiting_;
};

// An exclusive lock on the study's tables (DIR/.study.lock), held while it
// lives, so that shares of a batch running at once rebuild them in turn.
class TablesLock {
  public:
    explicit TablesLock(const std::filesystem::path& study);
    ~TablesLock();
    TablesLock(const TablesLock&) = delete;
    TablesLock& operator=(const TablesLock&) = delete;

  private:
    int descriptor_;
};

// Held by every batch at work in the study (DIR/.batch.lock, shared). The
// batch that finds no other at work removes the unnamed analyses first,
// holding the lock alone meanwhile, so that none of another's is touched.
class BatchPresence {
  public:
    explicit BatchPresence(const std::filesystem::path& study);
    ~BatchPresence();
    BatchPresence(const BatchPresence&) = delete;
    BatchPresence& operator=(const BatchPresence&) = delete;

  private:
    int descriptor_;
};

}  // namespace mapari
