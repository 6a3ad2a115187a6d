#include "app/batch_command.hpp"

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>

#include "app/batch_analysis.hpp"
#include "app/batch_tables.hpp"
#include "app/command_options.hpp"
#include "formats/exit_codes.hpp"
#include "formats/files.hpp"
#include "formats/messages.hpp"

namespace mapari {

const char* const batch_usage_text =
    "usage: mapari-batch RECORDING.dat... --out DIR [--jobs N] [--shard K/N]\n"
    "                    [--display-second S] [--leads A,B,C] [--coefficient C]\n"
    "                    [--settings H,A,R] [--lang ja|en]\n"
    "       mapari-batch --help | --version\n"
    "  --out DIR           each recording is analysed in DIR/NAME/; DIR/results.csv and\n"
    "                      DIR/recordings.csv hold the results of all\n"
    "  --jobs N            recordings analysed at once (default: the cores)\n"
    "  --shard K/N         only the K-th of N equal shares of the list; the tables are then\n"
    "                      DIR/results-K-of-N.csv and DIR/recordings-K-of-N.csv\n"
    "  --display-second S  the stretch analysed, 0 to 28 (default 0)\n"
    "  --leads A,B,C       the display leads (default 13,23,37)\n"
    "  --coefficient C     the recognition coefficient, e.g. 0.95 (default 0.99)\n"
    "  --settings H,A,R    T-wave smoothing, QRS points, minimum RT after J (default 20,7,100)\n"
    "  --lang ja|en        the language of the sessions' transcripts (default ja)\n";

namespace {

namespace fs = std::filesystem;

std::atomic<bool> stop_asked = false;

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
    return reading;
}

}  // namespace

namespace {

struct Job {
    fs::path recording;
    std::string name;  // of its folder and its rows: the file's stem, made unique
};

// The recordings of this shard: the K-th of N equal shares of the list.
std::vector<Job> jobs_of(const BatchOptions& options) {
    const std::size_t total = options.recordings.size();
    // The option reader takes 1 <= shard <= shards.
    const auto shard = static_cast<std::size_t>(options.shard);
    const auto shards = static_cast<std::size_t>(options.shards);
    const std::size_t first = (shard - 1) * total / shards;
    const std::size_t last = shard * total / shards;
    std::map<std::string, int> uses;
    std::vector<Job> jobs;
    for (std::size_t k = first; k < last; ++k) {
        const std::string stem = options.recordings[k].stem().string();
        const int use = ++uses[stem];
        jobs.push_back({options.recordings[k], use == 1 ? stem : stem + "_" + std::to_string(use)});
    }
    return jobs;
}

// The recording analysed in a folder that gets its name only once complete,
// so a stopped batch leaves no half-made folder under a recording's name.
RecordingAnalysis analyse_job(const Job& job, const BatchOptions& options) {
    const fs::path partial = options.out / ("." + job.name + partial_suffix.data());
    const fs::path folder = options.out / job.name;
    RecordingAnalysis analysis = analyse_recording(job.recording, partial, options.settings);
    analysis.name = job.name;
    std::error_code error;
    if (!fs::exists(partial, error)) return analysis;
    fs::remove_all(folder, error);
    fs::rename(partial, folder, error);
    if (error) {
        analysis.status = AnalysisStatus::failed;
        analysis.reason = "cannot name its folder " + folder.string() + ": " + error.message();
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

std::vector<RecordingAnalysis> analyse_all(const std::vector<Job>& jobs,
                                           const BatchOptions& options, std::ostream& errors,
                                           bool progress_shown) {
    std::vector<RecordingAnalysis> analyses(jobs.size());
    std::atomic<std::size_t> next = 0;
    std::mutex tally_lock;
    Tally tally;
    const auto start = std::chrono::steady_clock::now();
    const auto work = [&] {
        for (std::size_t k; !stop_asked && (k = next++) < jobs.size();) {
            analyses[k] = analyse_job(jobs[k], options);
            const std::lock_guard<std::mutex> hold(tally_lock);
            ++tally.done;
            tally.failed += analyses[k].status == AnalysisStatus::failed;
            tally.to_check += analyses[k].status == AnalysisStatus::check;
            if (!analyses[k].note.empty())
                errors << (progress_shown ? "\r" : "") << "mapari-batch: " << analyses[k].name
                       << ": " << analyses[k].note << '\n';
            if (progress_shown)
                show_progress(errors, tally, jobs.size(), std::chrono::steady_clock::now() - start);
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned k = 1; k < std::min<std::size_t>(options.jobs, jobs.size()); ++k)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
    if (progress_shown) errors << '\n';
    for (std::size_t k = 0; k < jobs.size(); ++k)
        if (analyses[k].name.empty()) {
            analyses[k].name = jobs[k].name;
            analyses[k].reason = "not analysed: the batch was stopped";
        }
    return analyses;
}

std::string table_name(const BatchOptions& options, const char* table) {
    if (options.shards == 1) return std::string(table) + ".csv";
    return std::string(table) + "-" + std::to_string(options.shard) + "-of-" +
           std::to_string(options.shards) + ".csv";
}

int run_batch(const BatchOptions& options, std::ostream& out, std::ostream& errors,
              bool progress_shown) {
    std::error_code error;
    fs::create_directories(options.out, error);
    if (!fs::is_directory(options.out, error)) {
        errors << "mapari-batch: cannot make the folder " << options.out.string() << '\n';
        return exit_failure;
    }
    std::string no_catalogue;
    use_language(options.language, no_catalogue);
    std::signal(SIGINT, ask_to_stop);
    std::signal(SIGTERM, ask_to_stop);
    const std::vector<Job> jobs = jobs_of(options);
    const std::vector<RecordingAnalysis> analyses =
        analyse_all(jobs, options, errors, progress_shown);
    const std::string results = (options.out / table_name(options, "results")).string();
    const std::string recordings = (options.out / table_name(options, "recordings")).string();
    std::string failed_path, reason;
    if (!write_files_atomically(
            {{results, results_table(analyses)},
             {recordings, recordings_table(analyses, options.settings.display_second)}},
            failed_path, reason)) {
        errors << "mapari-batch: cannot write " << failed_path << ": " << reason << '\n';
        return exit_failure;
    }
    Tally tally;
    for (const RecordingAnalysis& analysis : analyses) {
        tally.failed += analysis.status == AnalysisStatus::failed;
        tally.to_check += analysis.status == AnalysisStatus::check;
    }
    out << "analysed " << analyses.size()
        << " recordings: " << analyses.size() - tally.failed - tally.to_check << " ok, "
        << tally.to_check << " to check, " << tally.failed << " failed\n"
        << "tables: " << results << ", " << recordings << '\n';
    return tally.failed + tally.to_check == 0 ? exit_normal : exit_failure;
}

}  // namespace

int run_batch_command(const std::vector<std::string>& arguments, std::ostream& out,
                      std::ostream& errors, bool progress_shown) {
    BatchOptions options;
    const CommandLineReading reading = parse_batch_arguments(arguments, options);
    if (const std::optional<int> exit_code =
            first_answer("mapari-batch", reading, batch_usage_text, out, errors))
        return *exit_code;
    return run_batch(options, out, errors, progress_shown);
}

}  // namespace mapari
