#include "app/batch_command.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <thread>

#include "app/bad_leads.hpp"
#include "app/batch_analysis.hpp"
#include "app/batch_tables.hpp"
#include "app/command_options.hpp"
#include "app/study_correction.hpp"
#include "app/study_folder.hpp"
#include "app/study_record.hpp"
#include "formats/exit_codes.hpp"
#include "formats/files.hpp"
#include "formats/messages.hpp"

namespace mapari {

const char* const batch_usage_text =
    "usage: mapari-batch RECORDING.dat... --out DIR [--jobs N] [--shard K/N]\n"
    "                    [--display-second S] [--leads A,B,C] [--coefficient C]\n"
    "                    [--settings H,A,R] [--again NAME,...|all] [--bad-leads L,...]\n"
    "                    [--good-leads L,...] [--layout FILE|none] [--report] [--lang ja|en]\n"
    "       mapari-batch --correct DIR NAME [--ref R] [--q-onset Q] [--j-point J]\n"
    "                    [--t-end T] [--bad-leads L,...|none] [--lang ja|en]\n"
    "       mapari-batch --help | --version\n"
    "  --out DIR           each recording is analysed in DIR/NAME/; DIR/results.csv,\n"
    "                      DIR/recordings.csv and DIR/beats.csv (every beat) hold the\n"
    "                      results of every recording in DIR.\n"
    "                      A recording analysed there before with the same source and\n"
    "                      settings is not analysed again\n"
    "  --jobs N            recordings analysed at once (default: the cores)\n"
    "  --shard K/N         only the K-th of N equal shares of the list; its own tables are\n"
    "                      DIR/results-K-of-N.csv and DIR/recordings-K-of-N.csv\n"
    "  --display-second S  the stretch analysed, 0 to 28 (default 0)\n"
    "  --leads A,B,C       the display leads (default 13,23,37)\n"
    "  --coefficient C     the recognition coefficient, e.g. 0.95 (default 0.99)\n"
    "  --settings H,A,R    T-wave smoothing, QRS points, minimum RT after J (default 20,7,100)\n"
    "  --again NAME,...    analyse these recordings of the study anew (all: every one);\n"
    "                      the earlier folder is kept as DIR/NAME.1 (.2, ...)\n"
    "  --bad-leads L,...   leads 1 to 64 taken as bad: their AT and RT are filled in\n"
    "                      from their good neighbours, or left empty\n"
    "  --good-leads L,...  leads whose values are used as measured, whatever the\n"
    "                      bad-lead rules find\n"
    "  --layout FILE|none  the electrode positions of the outlier rule and the filling\n"
    "                      in (lead,x,y lines; default the 8 x 8 grid, none for a\n"
    "                      recording imported from fewer signals); none: neither\n"
    "  --report            also write the study in a browser: DIR/report/index.html, a\n"
    "                      table of every recording and a page each (a report there is\n"
    "                      written anew whenever the tables change)\n"
    "  --lang ja|en        the language of the sessions' transcripts (default ja)\n"
    "  --correct DIR NAME  the recording NAME of the study DIR corrected by hand: its\n"
    "                      session played again with the marks given (rows of the\n"
    "                      averaged beat; --ref is the stimulus mark) and the others as\n"
    "                      they were, its files, its record and the tables rewritten,\n"
    "                      its status corrected. --bad-leads gives its new hand list\n"
    "                      (none: no lead). A later batch keeps a corrected recording\n";

namespace {

namespace fs = std::filesystem;

std::atomic<bool> stop_asked = false;

// Finished analyses wait to be named this many at a time, so that one flush
// of the file system brings all their files to the disk.
constexpr std::size_t analyses_named_together = 16;

extern "C" void ask_to_stop(int) {
    stop_asked = true;
}

struct BatchOptions {
    std::vector<fs::path> recordings;
    fs::path out;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    int shard = 1, shards = 1;
    BatchSettings settings;
    Language language = Language::japanese;
    std::vector<std::string> again;  // names analysed anew, their earlier folders set aside
    bool again_all = false;
    bool report = false;  // write the study's report, report/
};

// Three whole numbers "A,B,C", each within its range.
bool read_three(const std::string& text, const int (&ranges)[3][2], std::array<int, 3>& values) {
    std::size_t from = 0;
    for (int k = 0; k < 3; ++k) {
        const std::size_t comma = k < 2 ? text.find(',', from) : text.size();
        if (comma == std::string::npos) return false;
        const auto value = whole_number(std::string_view(text).substr(from, comma - from),
                                        ranges[k][0], ranges[k][1]);
        if (!value) return false;
        values[static_cast<std::size_t>(k)] = static_cast<int>(*value);
        from = comma + 1;
    }
    return true;
}

bool read_coefficient(const std::string& text, BatchSettings& settings) {
    const std::optional<double> value = real_number(text);
    // The dialogue reads the coefficient from a field of four characters.
    if (!value || text.size() > 4 || *value < 0.0 || *value > 1.0) return false;
    settings.coefficient = text;
    return true;
}

bool read_shard(const std::string& text, BatchOptions& options) {
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    const auto shards = whole_number(std::string_view(text).substr(slash + 1), 1, 1000000);
    const auto shard =
        shards ? whole_number(std::string_view(text).substr(0, slash), 1, *shards) : std::nullopt;
    if (!shard) return false;
    options.shard = static_cast<int>(*shard);
    options.shards = static_cast<int>(*shards);
    return true;
}

// NAME[,NAME...] or all; the option may be given more than once.
bool read_again(const std::string& text, BatchOptions& options) {
    if (text == "all") {
        options.again_all = true;
        return true;
    }
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        if (comma == from) return false;
        options.again.push_back(text.substr(from, comma - from));
        from = comma + 1;
    }
    return true;
}

// L[,L...], each a lead from 1 to 64; the option may be given more than once.
bool read_leads(const std::string& text, std::vector<int>& leads) {
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        const auto lead =
            whole_number(std::string_view(text).substr(from, comma - from), 1, lead_count);
        if (!lead) return false;
        leads.push_back(static_cast<int>(*lead));
        from = comma + 1;
    }
    return true;
}

// Why the layout file asked cannot be taken; empty for none asked, none or a
// file that reads. It is read now, so that no batch starts with one it cannot read.
std::string layout_refusal(const std::string& layout) {
    if (layout.empty() || layout == no_layout) return {};
    review::ElectrodeLayout read;
    std::string reason;
    if (!load_layout(layout, read, reason)) return "--layout " + layout + ": " + reason;
    return {};
}

bool read_ari_settings(const std::string& text, BatchSettings& settings) {
    static constexpr int setting_ranges[3][2] = {{2, 99}, {0, 9999}, {1, 200}};
    std::array<int, 3> values{};
    if (!read_three(text, setting_ranges, values)) return false;
    settings.ari_settings = AriSettings{values[0], values[1], values[2]};
    return true;
}

CommandLineReading parse_batch_arguments(const std::vector<std::string>& arguments,
                                         BatchOptions& options) {
    static constexpr int lead_ranges[3][2] = {{1, 64}, {1, 64}, {1, 64}};
    BatchSettings& settings = options.settings;
    const CommandOptions table = {
        text_option("--out", options.out),
        whole_number_option("--jobs", options.jobs, 1, 256),
        {"--shard", true, [&options](const std::string& text) { return read_shard(text, options); },
         "K/N, two whole numbers with 1 <= K <= N"},
        whole_number_option("--display-second", settings.display_second, 0, 28),
        {"--leads", true,
         [&settings](const std::string& text) {
             return read_three(text, lead_ranges, settings.leads);
         },
         "three leads A,B,C, each from 1 to 64"},
        {"--coefficient", true,
         [&settings](const std::string& text) { return read_coefficient(text, settings); },
         "a number from 0 to 1 of at most four characters"},
        {"--settings", true,
         [&settings](const std::string& text) { return read_ari_settings(text, settings); },
         "three settings H,A,R with H from 2 to 99, A from 0 to 9999 and R from 1 to 200"},
        {"--again", true, [&options](const std::string& text) { return read_again(text, options); },
         "the names of recordings of the study, NAME[,NAME...], or all"},
        {"--bad-leads", true,
         [&settings](const std::string& text) { return read_leads(text, settings.bad_leads); },
         "leads L[,L...], each from 1 to 64"},
        {"--good-leads", true,
         [&settings](const std::string& text) { return read_leads(text, settings.good_leads); },
         "leads L[,L...], each from 1 to 64"},
        {"--layout", true,
         [&settings](const std::string& text) {
             settings.layout = text;
             return true;
         },
         "a layout file or none"},
        flag_option("--report", options.report),
        language_option([&options](Language language) { options.language = language; }),
    };
    const CommandWord take_recording = [&options](const std::string& word) {
        options.recordings.emplace_back(word);
        return std::string();
    };
    CommandLineReading reading = read_command_line(arguments, table, take_recording);
    if (!reading.goes_on()) return reading;
    if (options.recordings.empty())
        reading.error = "name the recordings to analyse";
    else if (options.out.empty())
        reading.error = "--out DIR is needed";
    else if (reading.error = hand_lists_refusal(settings); reading.error.empty())
        reading.error = layout_refusal(settings.layout);
    return reading;
}

}  // namespace

namespace {

struct Job {
    fs::path recording;
    std::string name;        // of its folder and its rows: the file's stem, made unique
    bool again = false;      // an earlier analysis under its name is set aside
    bool corrected = false;  // the earlier analysis was corrected by hand
};

// stem, or stem_2, stem_3, ...: the first that is not taken. A leading dot
// becomes '_' (the batch's own hidden folders begin with one), no stem "recording".
std::string free_name(std::string stem, const std::set<std::string>& taken) {
    if (stem.empty()) stem = "recording";
    if (stem.starts_with('.')) stem[0] = '_';
    if (!taken.contains(stem)) return stem;
    for (int number = 2;; ++number) {
        std::string name = stem + "_" + std::to_string(number);
        if (!taken.contains(name)) return name;
    }
}

// The whole list named, so that every share names it alike: a recording in
// the study already (the same path as given) keeps its name; another gets its
// stem, made unique against the folder's entries and the recordings before it.
// The same path twice is one recording.
std::vector<Job> name_recordings(const std::vector<fs::path>& recordings,
                                 const StudyContents& study) {
    std::map<std::string, std::string> name_of_source;
    for (const auto& [name, record] : study.records) name_of_source.emplace(record.source, name);
    std::set<std::string> taken = study.entry_names, sources;
    std::vector<Job> jobs;
    for (const fs::path& recording : recordings) {
        if (!sources.insert(recording.string()).second) continue;
        const auto known = name_of_source.find(recording.string());
        std::string name = known != name_of_source.end()
                               ? known->second
                               : free_name(recording.stem().string(), taken);
        taken.insert(name);
        jobs.push_back({recording, std::move(name)});
    }
    return jobs;
}

// The jobs of this share: the K-th of N equal shares of the list.
std::vector<Job> share_of(const std::vector<Job>& all, const BatchOptions& options) {
    const std::size_t total = all.size(), shard = static_cast<std::size_t>(options.shard),
                      shards = static_cast<std::size_t>(options.shards);
    return {all.begin() + static_cast<std::ptrdiff_t>((shard - 1) * total / shards),
            all.begin() + static_cast<std::ptrdiff_t>(shard * total / shards)};
}

// The names --again gives that no recording of the list has; empty when none.
std::string unknown_again_name(const BatchOptions& options, const std::vector<Job>& jobs) {
    for (const std::string& name : options.again)
        if (std::none_of(jobs.begin(), jobs.end(),
                         [&](const Job& job) { return job.name == name; }))
            return name;
    return {};
}

std::string checksum_of_file(const fs::path& file) {
    std::string bytes, reason;
    return read_whole_file(file.string(), bytes, reason) ? source_checksum(bytes) : std::string();
}

// Why an earlier analysis stands for a recording of the list rather than
// being made again; empty when it is simply the same.
std::string why_earlier_stands(const RecordingAnalysis& record, const Job& job,
                               const BatchSettings& settings) {
    const std::string again = "; --again " + job.name + " analyses it anew";
    if (!(record.settings == settings)) return "analysed before with other settings" + again;
    if (record.source_checksum != checksum_of_file(job.recording))
        return "its source has changed since it was analysed" + again;
    return {};
}

struct Plan {
    std::vector<Job> jobs;                    // of this share
    std::vector<RecordingAnalysis> analyses;  // one a job; the earlier ones already there
    std::vector<bool> to_analyse;             // one a job
    std::size_t skipped = 0;
};

// What each job of the share needs: an analysis, or none, its earlier one
// standing (with a note when it does not fit the list as it is now). A failed
// analysis is made again, in case what failed was mended; one corrected by
// hand stands unless asked again by name or with all.
Plan plan_jobs(std::vector<Job> jobs, const StudyContents& study, const BatchOptions& options) {
    Plan plan{std::move(jobs), {}, {}, 0};
    plan.analyses.resize(plan.jobs.size());
    plan.to_analyse.assign(plan.jobs.size(), true);
    for (std::size_t k = 0; k < plan.jobs.size(); ++k) {
        Job& job = plan.jobs[k];
        const auto record = study.records.find(job.name);
        if (record == study.records.end()) continue;
        job.again =
            options.again_all || record->second.status == AnalysisStatus::failed ||
            std::find(options.again.begin(), options.again.end(), job.name) != options.again.end();
        job.corrected = record->second.status == AnalysisStatus::corrected;
        if (job.again) continue;
        plan.analyses[k] = record->second;
        plan.to_analyse[k] = false;
        if (job.corrected) continue;
        plan.analyses[k].run_note = why_earlier_stands(record->second, job, options.settings);
        ++plan.skipped;
    }
    return plan;
}

// The recording analysed in its hidden folder, with its record; the folder
// waits to be named. A stale hidden folder of the same name is the batch's own.
RecordingAnalysis analyse_job(const Job& job, const BatchOptions& options, AnalysisStores& stores) {
    const fs::path partial = partial_folder(options.out, job.name);
    std::error_code error;
    fs::remove_all(partial, error);
    RecordingAnalysis analysis =
        analyse_recording(job.recording, partial, options.settings, stores);
    analysis.name = job.name;
    analysis.program_version = MAPARI_VERSION;
    analysis.analysed_at = now_in_utc();
    if (!fs::exists(partial, error)) return analysis;
    const MessagesAsWritten in_english;
    std::string reason;
    if (!write_file_atomically((partial / study_record_name).string(), study_record_text(analysis),
                               reason, Flush::by_caller)) {
        fs::remove_all(partial, error);
        analysis.status = AnalysisStatus::failed;
        analysis.reason = "cannot write its record: " + reason;
    }
    return analysis;
}

struct Tally {
    std::size_t done = 0, failed = 0, to_check = 0;
};

void show_progress(std::ostream& errors, const Tally& tally, std::size_t total,
                   std::chrono::steady_clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const auto done = static_cast<double>(tally.done);
    const double left =
        tally.done == 0 ? 0.0 : seconds / done * static_cast<double>(total - tally.done);
    errors << '\r' << tally.done << '/' << total << " done, " << tally.failed << " failed, "
           << tally.to_check << " to check, about " << std::lround(left) << " s left   "
           << std::flush;
}

// The analyses of a run, named in groups as they finish. A thread of its own
// names them (one flush of the file system for a group, the renames), so that
// the analyses go on while it waits for the disk.
class Analysing {
  public:
    Analysing(Plan& plan, const BatchOptions& options)
        : plan_(plan),
          options_(options),
          unnamed_(options.out),
          set_aside_(plan.jobs.size()),
          namer_([this] { name_groups(); }) {}
    Analysing(const Analysing&) = delete;
    Analysing& operator=(const Analysing&) = delete;
    ~Analysing() { name_the_rest(); }

    void finish(std::size_t k, RecordingAnalysis analysis) {
        const std::lock_guard<std::mutex> hold(lock_);
        plan_.analyses[k] = std::move(analysis);
        std::error_code error;
        if (!fs::exists(partial_folder(options_.out, plan_.jobs[k].name), error)) return;
        unnamed_.add(k, plan_.jobs[k].name, plan_.jobs[k].again);
        if (unnamed_.waiting() >= analyses_named_together) group_waits_.notify_one();
    }

    // Names the analyses still waiting, once every analysis has ended.
    void name_the_rest() {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            every_analysis_ended_ = true;
        }
        group_waits_.notify_one();
        if (namer_.joinable()) namer_.join();
    }

    const std::vector<fs::path>& set_aside() const { return set_aside_; }
    const std::string& not_flushed() const { return not_flushed_; }

  private:
    // The namer's work: each group as it fills, then what is left.
    void name_groups() {
        for (;;) {
            UnnamedAnalyses group(options_.out);
            {
                std::unique_lock<std::mutex> hold(lock_);
                group_waits_.wait(hold, [this] {
                    return unnamed_.waiting() >= analyses_named_together || every_analysis_ended_;
                });
                if (unnamed_.waiting() == 0) return;
                std::swap(group, unnamed_);
            }
            name(group);
        }
    }

    void name(UnnamedAnalyses& group) {
        std::string not_flushed;
        const std::vector<UnnamedAnalyses::Named> outcomes = group.name_all(not_flushed);
        const std::lock_guard<std::mutex> hold(lock_);
        if (!not_flushed.empty()) not_flushed_ = not_flushed;
        for (const UnnamedAnalyses::Named& named : outcomes) {
            set_aside_[named.job] = named.set_aside;
            if (named.reason.empty()) continue;
            RecordingAnalysis& analysis = plan_.analyses[named.job];
            analysis.status = AnalysisStatus::failed;
            analysis.reason = named.reason;
            std::error_code error;
            fs::remove_all(partial_folder(options_.out, plan_.jobs[named.job].name), error);
        }
    }

    Plan& plan_;
    const BatchOptions& options_;
    std::mutex lock_;
    std::condition_variable group_waits_;  // a group is full, or every analysis has ended
    bool every_analysis_ended_ = false;
    UnnamedAnalyses unnamed_;
    std::vector<fs::path> set_aside_;  // a job's earlier folder, where it went
    std::string not_flushed_;          // why the study folder's names may not be on the disk
    std::thread namer_;                // last: it starts once the rest is made
};

// Analyses the planned jobs, options.jobs at once, until done or stopped;
// the folders set aside, one a job.
std::vector<fs::path> analyse_all(Plan& plan, const BatchOptions& options, std::ostream& errors,
                                  bool progress_shown, const std::function<void()>& after_each) {
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < plan.jobs.size(); ++k)
        if (plan.to_analyse[k]) order.push_back(k);
    Analysing analysing(plan, options);
    std::atomic<std::size_t> next = 0;
    std::mutex tally_lock;
    Tally tally;
    const auto start = std::chrono::steady_clock::now();
    const auto work = [&] {
        AnalysisStores stores;  // each worker's own, from one recording to the next
        for (std::size_t at; !stop_asked && (at = next++) < order.size();) {
            RecordingAnalysis analysis = analyse_job(plan.jobs[order[at]], options, stores);
            const AnalysisStatus status = analysis.status;
            const std::string name = analysis.name, note = analysis.note;
            analysing.finish(order[at], std::move(analysis));
            const std::lock_guard<std::mutex> hold(tally_lock);
            ++tally.done;
            tally.failed += status == AnalysisStatus::failed;
            tally.to_check += status == AnalysisStatus::check;
            if (!note.empty())
                errors << (progress_shown ? "\r" : "") << "mapari-batch: " << name << ": " << note
                       << '\n';
            if (progress_shown)
                show_progress(errors, tally, order.size(),
                              std::chrono::steady_clock::now() - start);
            if (after_each) after_each();
        }
    };
    std::vector<std::thread> helpers;
    for (std::size_t k = 1; k < std::min<std::size_t>(options.jobs, order.size()); ++k)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
    analysing.name_the_rest();
    if (progress_shown) errors << '\n';
    if (!analysing.not_flushed().empty())
        errors << "mapari-batch: " << analysing.not_flushed() << '\n';
    return analysing.set_aside();
}

std::string table_name(const BatchOptions& options, const char* table) {
    if (options.shards == 1) return std::string(table) + ".csv";
    return std::string(table) + "-" + std::to_string(options.shard) + "-of-" +
           std::to_string(options.shards) + ".csv";
}

// Every recording of the study by name, from its record, with what this run
// adds: its notes, and the rows of recordings it left without a folder.
std::vector<RecordingAnalysis> study_rows(StudyContents study, const Plan& plan) {
    for (const RecordingAnalysis& analysis : plan.analyses) {
        const auto record = study.records.find(analysis.name);
        if (record == study.records.end())
            study.records.emplace(analysis.name, analysis);
        else
            record->second.run_note = analysis.run_note;
    }
    std::vector<RecordingAnalysis> rows;
    for (auto& [name, analysis] : study.records) rows.push_back(std::move(analysis));
    return rows;
}

bool holds(const fs::path& file, const std::string& bytes) {
    std::string now, reason;
    return read_whole_file(file.string(), now, reason) && now == bytes;
}

// The tables of a run: the study's whole tables, and a share's own.
std::vector<FileContent> tables_of(const std::vector<RecordingAnalysis>& rows, const Plan& plan,
                                   const BatchOptions& options) {
    std::vector<FileContent> tables = study_tables(options.out, rows);
    if (options.shards > 1) {
        tables.push_back({(options.out / table_name(options, "results")).string(),
                          results_table(plan.analyses)});
        tables.push_back({(options.out / table_name(options, "recordings")).string(),
                          recordings_table(plan.analyses)});
    }
    return tables;
}

// The study's tables rebuilt from every record in it and written where they
// change, with the files derived from the whole tables removed then. False
// with a message when a table cannot be written.
bool rebuild_tables(const Plan& plan, const BatchOptions& options, std::ostream& out,
                    std::ostream& errors) {
    const TablesLock lock(options.out);
    const StudyContents study = read_study(options.out);
    for (const std::string& unreadable : study.unreadable)
        errors << "mapari-batch: " << unreadable << "; left out of the tables\n";
    std::vector<FileContent> tables = tables_of(study_rows(study, plan), plan, options);
    const bool whole_tables_change =
        !holds(tables[0].path, tables[0].bytes) || !holds(tables[1].path, tables[1].bytes);
    std::erase_if(tables, [](const FileContent& table) { return holds(table.path, table.bytes); });
    std::string failed_path, reason;
    const MessagesAsWritten in_english;
    if (!write_files_atomically(tables, failed_path, reason)) {
        errors << "mapari-batch: cannot write " << failed_path << ": " << reason << '\n';
        return false;
    }
    if (whole_tables_change)
        for (const fs::path& removed : remove_derived_files(options.out))
            out << "removed " << removed.string()
                << ": it was made from the earlier tables (mapari-review --results "
                << (options.out / "results.csv").string() << " makes it anew)\n";
    std::string report;
    const bool reported = !(whole_tables_change || options.report) ||
                          refresh_report(options.out, options.report, report);
    if (!report.empty())
        (reported ? out : errors) << (reported ? "" : "mapari-batch: ") << report << '\n';
    return reported;
}

// Jobs never started, the batch being stopped first, get rows that say so.
std::size_t mark_stopped(Plan& plan, const BatchSettings& settings) {
    std::size_t stopped = 0;
    for (std::size_t k = 0; k < plan.jobs.size(); ++k) {
        RecordingAnalysis& analysis = plan.analyses[k];
        if (!plan.to_analyse[k] || !analysis.name.empty()) continue;
        analysis.name = plan.jobs[k].name;
        analysis.source = plan.jobs[k].recording.string();
        analysis.settings = settings;
        analysis.display_leads = settings.leads;
        analysis.status = AnalysisStatus::stopped;
        analysis.reason = "not analysed: the batch was stopped";
        ++stopped;
    }
    return stopped;
}

// The summary on `out`; the exit code: stopped, or whether every recording of the list is ok.
int summarise(const Plan& plan, std::size_t stopped, const BatchOptions& options,
              std::ostream& out) {
    std::size_t analysed = 0, failed = 0, to_check = 0, not_ok = 0;
    for (std::size_t k = 0; k < plan.jobs.size(); ++k) {
        const AnalysisStatus status = plan.analyses[k].status;
        not_ok += status != AnalysisStatus::ok && status != AnalysisStatus::corrected;
        if (!plan.to_analyse[k] || status == AnalysisStatus::stopped) continue;
        ++analysed;
        failed += status == AnalysisStatus::failed;
        to_check += status == AnalysisStatus::check;
    }
    out << "analysed " << analysed << " recordings: " << analysed - failed - to_check << " ok, "
        << to_check << " to check, " << failed << " failed\n";
    if (plan.skipped > 0) out << "skipped (analysed before): " << plan.skipped << '\n';
    if (stopped > 0) out << "not analysed (stopped): " << stopped << '\n';
    out << "tables: " << (options.out / "results.csv").string() << ", "
        << (options.out / "recordings.csv").string() << ", " << (options.out / "beats.csv").string()
        << '\n';
    if (options.shards > 1)
        out << "this share's tables: " << (options.out / table_name(options, "results")).string()
            << ", " << (options.out / table_name(options, "recordings")).string() << '\n';
    if (stopped > 0) return exit_batch_stopped;
    return not_ok == 0 ? exit_normal : exit_failure;
}

void say_what_stands(const Plan& plan, const std::vector<fs::path>& set_aside, std::ostream& out) {
    for (std::size_t k = 0; k < plan.jobs.size(); ++k) {
        if (!plan.analyses[k].run_note.empty())
            out << plan.jobs[k].name << ": " << plan.analyses[k].run_note << '\n';
        if (!plan.to_analyse[k] && plan.jobs[k].corrected)
            out << "kept (corrected by hand): " << plan.jobs[k].name << '\n';
        if (!set_aside[k].empty())
            out << "kept the earlier analysis of " << plan.jobs[k].name
                << (plan.jobs[k].corrected ? " (corrected by hand)" : "") << " as "
                << set_aside[k].string() << '\n';
    }
}

bool make_study_folder(const fs::path& folder, std::ostream& errors) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (fs::is_directory(folder, error)) return true;
    errors << "mapari-batch: cannot make the folder " << folder.string() << '\n';
    return false;
}

int run_batch(const BatchOptions& options, std::ostream& out, std::ostream& errors,
              bool progress_shown, const std::function<void()>& after_each) {
    if (!make_study_folder(options.out, errors)) return exit_failure;
    std::string no_catalogue;
    use_language(options.language, no_catalogue);
    stop_asked = false;
    std::signal(SIGINT, ask_to_stop);
    std::signal(SIGTERM, ask_to_stop);
    const BatchPresence presence(options.out);
    const StudyContents study = read_study(options.out);
    const std::vector<Job> all = name_recordings(options.recordings, study);
    if (const std::string unknown = unknown_again_name(options, all); !unknown.empty()) {
        errors << "mapari-batch: --again names " << unknown
               << ", which is no recording of the list\n";
        return exit_usage;
    }
    Plan plan = plan_jobs(share_of(all, options), study, options);
    const std::vector<fs::path> set_aside =
        analyse_all(plan, options, errors, progress_shown, after_each);
    const std::size_t stopped = mark_stopped(plan, options.settings);
    say_what_stands(plan, set_aside, out);
    if (!rebuild_tables(plan, options, out, errors)) return exit_failure;
    return summarise(plan, stopped, options, out);
}

}  // namespace

void ask_batch_to_stop() {
    stop_asked = true;
}

namespace {

// A mark's row: a whole number, checked against the beat by the correction.
CommandOption row_option(std::string name, std::optional<std::int32_t>& row) {
    return {std::move(name), true,
            [&row](const std::string& text) {
                const auto number = whole_number(text, -1000000, 1000000);
                if (number) row = static_cast<std::int32_t>(*number);
                return number.has_value();
            },
            "a row of the averaged beat, a whole number"};
}

CommandLineReading parse_correct_arguments(const std::vector<std::string>& arguments,
                                           CorrectionRequest& request, Language& language) {
    const CommandOptions table = {
        row_option("--ref", request.marks.stimulus),
        row_option("--q-onset", request.marks.q_onset),
        row_option("--j-point", request.marks.j_point),
        row_option("--t-end", request.marks.t_end),
        {"--bad-leads", true,
         [&request](const std::string& text) {
             request.bad_leads.emplace();
             return text == "none" || read_leads(text, *request.bad_leads);
         },
         "leads L[,L...], each from 1 to 64, or none"},
        language_option([&language](Language taken) { language = taken; }),
    };
    std::vector<std::string> words;
    const CommandWord take_word = [&words](const std::string& word) {
        if (words.size() == 2) return "unexpected argument '" + word + "'";
        words.push_back(word);
        return std::string();
    };
    CommandLineReading reading = read_command_line(arguments, table, take_word);
    if (!reading.goes_on()) return reading;
    if (words.size() < 2)
        reading.error = "--correct needs the study DIR and the recording NAME";
    else if (!request.marks.stimulus && !request.marks.q_onset && !request.marks.j_point &&
             !request.marks.t_end && !request.bad_leads)
        reading.error =
            "--correct needs a mark (--ref, --q-onset, --j-point, --t-end) or --bad-leads";
    else {
        request.study = words[0];
        request.name = words[1];
    }
    return reading;
}

int run_correct_command(const std::vector<std::string>& arguments, std::ostream& out,
                        std::ostream& errors) {
    CorrectionRequest request;
    Language language = Language::japanese;
    const CommandLineReading reading = parse_correct_arguments(arguments, request, language);
    if (const std::optional<int> exit_code =
            first_answer("mapari-batch", reading, batch_usage_text, out, errors))
        return *exit_code;
    std::string no_catalogue;
    use_language(language, no_catalogue);
    const CorrectionOutcome outcome = correct_recording(request);
    (outcome.exit_code == exit_normal ? out : errors) << outcome.message;
    return outcome.exit_code;
}

}  // namespace

int run_batch_command(const std::vector<std::string>& arguments, std::ostream& out,
                      std::ostream& errors, bool progress_shown,
                      const std::function<void()>& after_each_recording) {
    if (!arguments.empty() && arguments.front() == "--correct")
        return run_correct_command({arguments.begin() + 1, arguments.end()}, out, errors);
    BatchOptions options;
    const CommandLineReading reading = parse_batch_arguments(arguments, options);
    if (const std::optional<int> exit_code =
            first_answer("mapari-batch", reading, batch_usage_text, out, errors))
        return *exit_code;
    return run_batch(options, out, errors, progress_shown, after_each_recording);
}

}  // namespace mapari
