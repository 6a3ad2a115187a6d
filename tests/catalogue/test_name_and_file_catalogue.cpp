// The bad-input catalogue, names and files: name parts and save names that
// cannot be used or name no file, recordings that cannot be read, result
// files that cannot be written, and marks or answers outside the limits of
// the ARI computation. Each case is a whole session compared line by line
// with the good one, and its data folder byte by byte with the good one's.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <streambuf>
#include <utility>
#include <vector>

#include "app/session.hpp"
#include "catalogue_support.hpp"
#include "formats/map_recording.hpp"
#include "support/dialogue_texts.hpp"

namespace mapari::catalogue_tests {
namespace {

namespace fs = std::filesystem;
namespace texts = test_support::texts;

const std::string save_prompt = "Unit 12| 保存ファイル名を入れてください。：";
const std::string correction_menu =
    "Unit 12| 保存処理(d), 区分点(s),一点補正(z),二点補正(t),戻る(x)";
const std::string se_announced = "Unit 12| SE_fileを保存します。";
const std::string ari_written = "Unit 12| ARI_fileを作成保存しました。";
const std::string ari_writing = "writing a filed:\\data\\map\\demo01.ari";
const std::string ds_path = "d:\\data\\map\\demo01.ds";

const char* const separator = "it holds a path separator";
const char* const colon = "it holds a colon";
const char* const two_dots = "it holds \"..\"";
const char* const control = "it holds a control character";
const char* const too_long = "it is longer than 17 bytes";

const std::string escape = "\x1b";
const std::string del = "\x7f";
const std::string invalid_utf8 = "\xff\xfe";

std::string refused_part(const std::string& quoted, const char* reason) {
    return "\"" + quoted + "\" cannot be part of a file name: " + reason + ".";
}

std::string refused_save_name(const std::string& quoted, const char* reason) {
    return "Unit 12| \"" + quoted + "\" cannot be a save name: " + reason + ".";
}

std::string cannot_open(const std::string& path) {
    return "Cannot open " + test_support::named(path) + ": " + std::strerror(ENOENT) + ".";
}

std::string padded(std::string text, std::size_t width_bytes) {
    if (text.size() < width_bytes) text.append(width_bytes - text.size(), ' ');
    return text;
}

// "データ" + the .ds path blank-padded to its 32-byte field + the question.
std::string save_question(const std::string& path) {
    return "Unit 12| データ" + padded(path, 32) + "を保存します。yes or no?  <y/n>";
}

std::string second_refused(int last_second, int frames) {
    return "The display second must be from 0 to " + std::to_string(last_second) + ": " +
           test_support::named("d:\\data\\map\\demo01.dat") + " holds " + std::to_string(frames) +
           " frames.";
}

std::string too_short(const std::string& path, int frames) {
    return test_support::named(path) + " holds " + std::to_string(frames) +
           " frames; a display needs 4000 frames.";
}

std::string int12(int value) {
    char field[16];
    std::snprintf(field, sizeof field, "%12d", value);
    return field;
}

std::size_t line_starting(const Lines& lines, const std::string& start, std::size_t from = 0) {
    for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i].starts_with(start)) return i;
    return lines.size();
}

Lines slice(const Lines& lines, std::size_t from, std::size_t count) {
    from = std::min(from, lines.size());
    count = std::min(count, lines.size() - from);
    return Lines(lines.begin() + static_cast<std::ptrdiff_t>(from),
                 lines.begin() + static_cast<std::ptrdiff_t>(from + count));
}

// Where a transcript first differs from the one expected, for a failure message.
std::string first_difference(const Lines& actual, const Lines& expected) {
    std::size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
    return "first difference at line " + std::to_string(i + 1) + ": \"" +
           (i < actual.size() ? actual[i] : "<end>") + "\" where \"" +
           (i < expected.size() ? expected[i] : "<end>") + "\" was expected";
}

// Expects the folder to hold exactly these entries; a failure names the
// entries that differ rather than printing a megabyte of bytes.
void expect_folder_holds(const fs::path& folder, const FolderBytes& expected) {
    const FolderBytes actual = folder_bytes(folder);
    std::string differences;
    for (const auto& [name, bytes] : expected) {
        const auto found = actual.find(name);
        if (found == actual.end())
            differences += " " + name + " is missing;";
        else if (found->second != bytes)
            differences += " " + name + " differs (" + std::to_string(found->second.size()) +
                           " bytes, " + std::to_string(bytes.size()) + " expected);";
    }
    for (const auto& [name, bytes] : actual)
        if (!expected.contains(name)) differences += " " + name + " should not be there;";
    EXPECT_TRUE(differences.empty()) << folder << ":" << differences;
}

Lines lines_of(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string text_of(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + '\n';
    return text;
}

// Bad answers slipped in before one event of the good script, with the lines
// each adds to the transcript; the blocks stand one after another.
struct Block {
    std::string label;
    Lines answers;
    Lines lines;
};
struct Insertion {
    Event before;
    std::vector<Block> blocks;
};

// A transcript that runs an action once a line starting with a given text has
// been written. The program goes on from a line without waiting, so the action
// falls between that line and the program's next step: between "SE_file..."
// and the writing of the .se file, say. The actions run in the order given.
class WatchedTranscript : public std::streambuf {
  public:
    void after_line(std::string start, std::function<void()> action) {
        actions_.emplace_back(std::move(start), std::move(action));
    }
    const Lines& lines() const { return lines_; }

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char written = traits_type::to_char_type(c);
        if (written != '\n') {
            line_ += written;
            return c;
        }
        lines_.push_back(std::move(line_));
        line_.clear();
        if (next_ < actions_.size() && lines_.back().starts_with(actions_[next_].first))
            actions_[next_++].second();
        return c;
    }

  private:
    std::string line_;
    Lines lines_;
    std::vector<std::pair<std::string, std::function<void()>>> actions_;
    std::size_t next_ = 0;
};

// A name that is refused: `quoted` is what the message quotes, the field's
// first bytes up to its first blank.
struct Refusal {
    const char* label;
    std::string typed;
    std::string quoted;
    const char* reason;
};

// A name that is taken as cut, and the path the program then tries.
struct Trial {
    const char* label;
    std::string typed;
    std::string path;
};

// One line of the good script replaced: a click at `column`, which the
// program shows as the beat row `row`, or an answer.
struct Change {
    Event event;
    std::string answer;
    int column = -1;
    int row = 0;
};

Change answer(Event event, std::string typed) {
    return {event, std::move(typed)};
}

Change click(Event event, int column, int row) {
    return {event, "", column, row};
}

// The marks a save holds, as beat rows.
struct Marks {
    int q_onset, j_point, t_end;
};
constexpr Marks good_marks = {148, 243, 601};

struct LimitCase {
    const char* label;
    std::vector<Change> changes;
    Marks marks;
    std::string broken;  // the limit as the message states it
};

class NameAndFileCatalogue : public CatalogueTest {
  protected:
    std::string recording() const { return good_files_.at("demo01.dat"); }

    // The data folder holds the recording alone, then these entries too; a
    // name ending in '/' is a folder.
    void reset_data_folder_with(const FolderBytes& entries) {
        reset_data_folder();
        for (const auto& [name, bytes] : entries) {
            if (name.ends_with('/'))
                fs::create_directories(data_dir_ / name);
            else
                std::ofstream(data_dir_ / name, std::ios::binary) << bytes;
        }
    }

    FolderBytes good_files_with(const FolderBytes& entries) const {
        FolderBytes files = good_files_;
        for (const auto& [name, bytes] : entries) files[name] = bytes;
        return files;
    }

    SessionResult run_watched(const Lines& script, WatchedTranscript& watched) {
        std::istringstream in(text_of(script));
        std::ostream transcript(&watched);
        std::ostringstream errors;
        SessionResult result;
        result.exit_code = run_headless_session(
            in, transcript, errors,
            SessionFiles{session_data_dir_.string(), work_dir_.string(), "", {}});
        result.transcript = watched.lines();
        test_support::show_data_folder(result.transcript, session_data_dir_);
        result.errors = errors.str();
        return result;
    }

    // Runs the script in a child process, so that a limit on the size of the
    // files it writes stays there; the child hands back its transcript and
    // errors through files and its exit code as its own.
    SessionResult run_in_child(const Lines& script, WatchedTranscript& watched) {
        const fs::path transcript_file = root_ / "child-transcript";
        const fs::path errors_file = root_ / "child-errors";
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const SessionResult result = run_watched(script, watched);
            std::ofstream(transcript_file, std::ios::binary) << text_of(result.transcript);
            std::ofstream(errors_file, std::ios::binary) << result.errors;
            ::_exit(result.exit_code);
        }
        SessionResult result;
        int status = 0;
        if (child == -1 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
            ADD_FAILURE() << "the child session did not end by itself: " << status;
            return result;
        }
        result.exit_code = WEXITSTATUS(status);
        result.transcript = lines_of(test_support::read_bytes(transcript_file));
        result.errors = test_support::read_bytes(errors_file);
        return result;
    }

    // Expects the good session with the blocks before their events: each
    // block first on its own under its label, then the whole transcript, the
    // data folder and fort.12.
    void expect_good_session_with_blocks(const SessionResult& result,
                                         const std::vector<Insertion>& insertions,
                                         const FolderBytes& files) {
        EXPECT_EQ(result.exit_code, 0) << result.errors;
        Lines expected = good_transcript_;
        std::size_t inserted_lines = 0;
        for (const Insertion& insertion : insertions) {
            std::size_t at = echo_line(good_transcript_, insertion.before) + inserted_lines;
            for (const Block& block : insertion.blocks) {
                SCOPED_TRACE(block.label);
                EXPECT_EQ(slice(result.transcript, at, block.lines.size()), block.lines);
                expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(at),
                                block.lines.begin(), block.lines.end());
                at += block.lines.size();
                inserted_lines += block.lines.size();
            }
        }
        EXPECT_TRUE(result.transcript == expected) << first_difference(result.transcript, expected);
        expect_folder_holds(data_dir_, files);
        EXPECT_EQ(fort12(), good_fort12_);
    }

    void expect_common_part_tried(const Trial& trial);
    void expect_limit_broken(const LimitCase& limit);
    void expect_wide_smoothing();
    void expect_unmarked_j_point();

    // The good transcript with some of its lines replaced, by index.
    void expect_good_session_with_lines(const SessionResult& result,
                                        const std::map<std::size_t, std::string>& replaced) {
        EXPECT_EQ(result.exit_code, 0) << result.errors;
        Lines expected = good_transcript_;
        for (const auto& [at, line] : replaced) expected.at(at) = line;
        EXPECT_TRUE(result.transcript == expected) << first_difference(result.transcript, expected);
        expect_folder_holds(data_dir_, good_files_);
        EXPECT_EQ(fort12(), good_fort12_);
    }
};

Lines script_with_blocks(const std::vector<Insertion>& insertions) {
    Lines script = good_script();
    // From the last insertion back, so that each one's line number still holds.
    for (std::size_t k = insertions.size(); k-- > 0;) {
        const Insertion& insertion = insertions[k];
        Lines answers;
        for (const Block& block : insertion.blocks)
            answers.insert(answers.end(), block.answers.begin(), block.answers.end());
        script.insert(script.begin() + static_cast<std::ptrdiff_t>(insertion.before),
                      answers.begin(), answers.end());
    }
    return script;
}

// ---- 1. name parts and save names ----

std::vector<Block> refusal_blocks(const std::vector<Refusal>& refusals, const std::string& prompt) {
    std::vector<Block> blocks;
    for (const Refusal& refusal : refusals)
        blocks.push_back(
            {refusal.label,
             {refusal.typed},
             {text_echo(refusal.typed), refused_part(refusal.quoted, refusal.reason), prompt}});
    return blocks;
}

const std::vector<Refusal> common_part_refusals = {
    {"slash", "de/mo", "de/mo", separator},
    {"backslash", "de\\mo", "de\\mo", separator},
    {"colon", "c:demo", "c:demo", colon},
    {"two dots", "..", "..", two_dots},
    {"tab", "de\tmo", "de\tmo", control},
    {"escape", "de" + escape + "mo", "de" + escape + "mo", control},
    {"delete", "de" + del + "mo", "de" + del + "mo", control},
    {"carriage return inside", "de\rmo", "de\rmo", control},
    {"40 characters, a slash among the first six", "de/" + std::string(37, 'x'), "de/xxx",
     separator},
    {"300 characters, a tab among the first six", "demo\t" + std::string(295, 'x'), "demo\tx",
     control},
};

const std::vector<Refusal> variable_part_refusals = {
    {"slash", "0/1", "0/1", separator},
    {"backslash", "0\\1", "0\\1", separator},
    {"colon", "0:1", "0:1", colon},
    {"two dots", "0..1", "0..1", two_dots},
    {"tab", "0\t1", "0\t1", control},
    {"escape", "0" + escape + "1", "0" + escape + "1", control},
    {"delete", "0" + del + "1", "0" + del + "1", control},
    {"carriage return inside", "0\r1", "0\r1", control},
    {"300 characters of slashes after 01", "01" + std::string(298, '/'), "01////", separator},
};

// A variable part is cut to 6 bytes, a character the cut would split left out whole.
const std::vector<Trial> variable_part_trials = {
    {"Japanese, 9 bytes cut to 6", "心電図", "d:\\data\\map\\demo心電.dat"},
    {"a 3-byte character split by the cut", "01心電図", "d:\\data\\map\\demo01心.dat"},
    {"invalid UTF-8", invalid_utf8, "d:\\data\\map\\demo" + invalid_utf8 + ".dat"},
    {"40 characters", std::string(40, 'x'), "d:\\data\\map\\demoxxxxxx.dat"},
};

std::vector<Block> variable_part_blocks() {
    std::vector<Block> blocks = refusal_blocks(variable_part_refusals, texts::kVariable);
    for (const Trial& trial : variable_part_trials)
        blocks.push_back({trial.label,
                          {trial.typed, "0"},
                          {text_echo(trial.typed), texts::kSecond, text_echo("0"),
                           cannot_open(trial.path), texts::kVariable}});
    return blocks;
}

// A save name is cut to 32 bytes and refused past 17 bytes: 12 + 17 + 3 = 32,
// the whole .ds path with its extension.
const std::vector<Refusal> save_name_refusals = {
    {"slash", "de/mo01", "de/mo01", separator},
    {"backslash", "de\\mo01", "de\\mo01", separator},
    {"colon", "c:demo01", "c:demo01", colon},
    {"two dots", "demo..01", "demo..01", two_dots},
    {"tab", "de\tmo01", "de\tmo01", control},
    {"escape", "de" + escape + "mo01", "de" + escape + "mo01", control},
    {"delete", "de" + del + "mo01", "de" + del + "mo01", control},
    {"carriage return inside", "de\rmo01", "de\rmo01", control},
    {"18 characters", "abcdefghijklmnopqr", "abcdefghijklmnopqr", too_long},
    {"40 characters, quoted as the 32 kept", std::string(40, 'x'), std::string(32, 'x'), too_long},
    {"300 characters", std::string(300, 'y'), std::string(32, 'y'), too_long},
    {"a 3-byte character split at byte 32", std::string(31, 'x') + "心電図", std::string(31, 'x'),
     too_long},
    {"six Japanese characters, 18 bytes", "心電図心電図", "心電図心電図", too_long},
};

// Taken save names show their path in the question; "n" writes nothing.
const std::vector<Trial> save_name_trials = {
    {"Japanese, 9 bytes", "心電図", "d:\\data\\map\\心電図.ds"},
    {"invalid UTF-8", invalid_utf8, "d:\\data\\map\\" + invalid_utf8 + ".ds"},
    {"17 bytes", "abcdefghijklmnopq", "d:\\data\\map\\abcdefghijklmnopq.ds"},
};

std::vector<Block> save_name_blocks() {
    std::vector<Block> blocks;
    for (const Refusal& refusal : save_name_refusals)
        blocks.push_back({refusal.label,
                          {refusal.typed},
                          {trace_echo(refusal.typed),
                           refused_save_name(refusal.quoted, refusal.reason), save_prompt}});
    for (const Trial& trial : save_name_trials)
        blocks.push_back({trial.label,
                          {trial.typed, "n", "d"},
                          {trace_echo(trial.typed), save_question(trial.path), trace_echo("n"),
                           correction_menu, trace_echo("d"), save_prompt}});
    return blocks;
}

// A common part that is taken but names no recording: the variable part is
// asked again and again, and only a readable recording leads on, so the
// script ends there.
const Trial common_part_trials[] = {
    {"Japanese, 9 bytes cut to 6", "心電図", "d:\\data\\map\\心電01.dat"},
    {"invalid UTF-8", invalid_utf8, "d:\\data\\map\\" + invalid_utf8 + "01.dat"},
    {"40 characters", "demo" + std::string(36, 'x'), "d:\\data\\map\\demoxx01.dat"},
};

void NameAndFileCatalogue::expect_common_part_tried(const Trial& trial) {
    Lines script = script_until(common_part);
    script.insert(script.end(), {trial.typed, "01", "0"});
    const SessionResult result = run_fresh(script);
    EXPECT_EQ(result.exit_code, 3);
    EXPECT_EQ(result.errors,
              "mapari: the script ended while the program waited for an answer to \"" +
                  texts::kVariable + "\"\n");
    EXPECT_EQ(result.transcript,
              test_support::concat(
                  {slice(good_transcript_, 0, echo_line(good_transcript_, common_part)),
                   {text_echo(trial.typed), texts::kVariable, text_echo("01"), texts::kSecond,
                    text_echo("0"), cannot_open(trial.path), texts::kVariable}}));
    expect_folder_holds(data_dir_, {{"demo01.dat", recording()}});
    EXPECT_EQ(fort12(), "<missing>");
}

TEST_F(NameAndFileCatalogue, BadNamesAreAskedAgainOrTriedAsCutAndLeaveNoFile) {
    play_good_session();
    const std::vector<Insertion> chains[] = {
        {{common_part, refusal_blocks(common_part_refusals, texts::kCommon)}},
        {{variable_part, variable_part_blocks()}},
        {{save_name, save_name_blocks()}},
    };
    for (const std::vector<Insertion>& chain : chains) {
        SCOPED_TRACE("before event " + std::to_string(chain.front().before));
        const SessionResult result = run_fresh(script_with_blocks(chain));
        expect_good_session_with_blocks(result, chain, good_files_);
    }
    // Whatever follows the first blank is dropped, separators and dots too; the
    // ARI computation shows the save name's first 12 characters as typed.
    const std::string common_part_typed = "demo  /../../etc/" + std::string(283, 'x');
    const std::string save_name_typed = "demo01 ../../" + std::string(27, 'z');
    {
        SCOPED_TRACE("300-character common part cut at its blank");
        expect_good_session_with_lines(
            run_fresh(script_replacing(common_part, {common_part_typed})),
            {{echo_line(good_transcript_, common_part), text_echo(common_part_typed)}});
    }
    {
        SCOPED_TRACE("40-character save name cut at its blank");
        expect_good_session_with_lines(
            run_fresh(script_replacing(save_name, {save_name_typed})),
            {{echo_line(good_transcript_, save_name), trace_echo(save_name_typed)},
             {line_starting(good_transcript_, "demo01      "), "demo01 ../.."}});
    }
    for (const Trial& trial : common_part_trials) {
        SCOPED_TRACE(std::string("common part: ") + trial.label);
        expect_common_part_tried(trial);
    }
}

// ---- 2. recordings that cannot be read, seconds the file does not hold ----

Block recording_refused(const char* label, const std::string& variable_part,
                        const std::string& message) {
    return {label,
            {variable_part, "0"},
            {text_echo(variable_part), texts::kSecond, text_echo("0"), message, texts::kVariable}};
}

Block second_refused_block(const char* label, const std::string& typed, int last_second,
                           int frames) {
    return {
        label, {typed}, {text_echo(typed), second_refused(last_second, frames), texts::kSecond}};
}

TEST_F(NameAndFileCatalogue, UnreadableRecordingsAndSecondsPastTheFileLeaveTheFolderAsItWas) {
    play_good_session();
    const std::string four_seconds = recording();
    // The 4 s recording, then 28 s of zero frames and 77 bytes of a 32001st frame.
    const std::string thirty_two_seconds = four_seconds +
                                           std::string(std::size_t{28000} * bytes_per_frame, '\0') +
                                           std::string(77, '\x11');
    const FolderBytes unreadable = {
        {"demo03.dat", ""},
        {"demo04.dat", four_seconds.substr(0, std::size_t{3999} * bytes_per_frame)},
        {"demo05.dat", four_seconds.substr(0, 4000 * bytes_per_frame - 1)},
        {"demo06.dat/", ""},
    };
    const std::string path = "d:\\data\\map\\demo0";
    struct Setup {
        const char* label;
        FolderBytes entries;
        std::vector<Insertion> insertions;
    };
    const Setup setups[] = {
        {"4 s recording beside unreadable ones",
         unreadable,
         {{variable_part,
           {recording_refused("missing", "02", cannot_open(path + "2.dat")),
            recording_refused("empty", "03", too_short(path + "3.dat", 0)),
            recording_refused("3999 frames", "04", too_short(path + "4.dat", 3999)),
            recording_refused("an odd 575,999 bytes", "05", too_short(path + "5.dat", 3999)),
            recording_refused("a folder", "06",
                              "Cannot open " + test_support::named(path + "6.dat") +
                                  ": it is a folder, not a recording.")}},
          {display_second,
           {second_refused_block("29", "29", 0, 4000), second_refused_block("1", "1", 0, 4000),
            second_refused_block("-1", "-1", 0, 4000),
            second_refused_block("123, read as its first two characters", "123", 0, 4000)}}}},
        {"4000 frames and 100 bytes more",
         {{"demo01.dat", four_seconds + std::string(100, '\x7f')}},
         {{display_second, {second_refused_block("1", "1", 0, 4000)}}}},
        {"32 s and a partial frame",
         {{"demo01.dat", thirty_two_seconds}},
         {{display_second,
           {second_refused_block("29", "29", 28, 32000),
            second_refused_block("-1", "-1", 28, 32000)}}}},
    };
    for (const Setup& setup : setups) {
        SCOPED_TRACE(setup.label);
        reset_data_folder_with(setup.entries);
        const SessionResult result = run(script_with_blocks(setup.insertions));
        expect_good_session_with_blocks(result, setup.insertions, good_files_with(setup.entries));
    }
}

// ---- 3. result files that cannot be written ----

enum class WriteFault { folder_unwritable, folder_in_place, write_cut_short };

struct ResultFile {
    std::string name;
    std::string next_write_after;  // the transcript line after which the file is written
    Event last_answer;             // the good script's last answer before the write
    std::string reported_after;    // the good transcript's last line before the report
    rlim_t cut_at_bytes;           // a size limit that stops the write part way
    std::string closing;           // the report's words after the reason
};

// The files are 996,352, 21 and 1995 bytes long.
const ResultFile result_files[] = {
    {"demo01.ds", save_question(ds_path), save_ok, trace_echo("y"), rlim_t{100} * 1024,
     " The beat and the marks are kept."},
    {"demo01.se", se_announced, save_ok, se_announced, 10, " The beat and the marks are kept."},
    {"demo01.ari", ari_writing, recovery_delay, ari_writing, 1000, ""},
};

const FolderBytes older_results = {
    {"demo01.ds", "an older beat\n"},
    {"demo01.se", "  111  112  113  114\n"},
    {"demo01.ari", "an older ARI record\n"},
};

// Whether a folder without write permission refuses a new file: not for
// root, whom permission bits do not stop (as in a container).
bool permissions_stop_writing(const fs::path& folder) {
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    std::FILE* probe = std::fopen((folder / "probe").c_str(), "w");
    if (probe != nullptr) std::fclose(probe);
    fs::permissions(folder, fs::perms::owner_all);
    fs::remove_all(folder);
    return probe == nullptr;
}

class ResultFileFaults : public NameAndFileCatalogue {
  protected:
    // Makes the data folder refuse new files: its write permission taken
    // away, or where that does not stop this user, the folder moved aside
    // and a plain file put in its place.
    void make_folder_unwritable() {
        if (permissions_stop_writing_) {
            fs::permissions(
                data_dir_,
                fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                fs::perm_options::remove);
            return;
        }
        fs::rename(data_dir_, aside_);
        std::ofstream(data_dir_, std::ios::binary) << "not a folder\n";
    }
    void make_folder_writable_again() {
        if (permissions_stop_writing_) {
            fs::permissions(data_dir_, fs::perms::owner_write, fs::perm_options::add);
            return;
        }
        fs::remove(data_dir_);
        fs::rename(aside_, data_dir_);
    }
    void keep_folder_as_at_failure() {
        fs::copy(data_dir_, at_failure_, fs::copy_options::recursive);
    }

    std::string expected_reason(WriteFault fault) const {
        switch (fault) {
            case WriteFault::folder_unwritable:
                return std::strerror(permissions_stop_writing_ ? EACCES : ENOTDIR);
            case WriteFault::folder_in_place:
                return std::strerror(EISDIR);
            case WriteFault::write_cut_short:
                break;
        }
        return std::strerror(EFBIG);
    }

    // What the data folder holds when the write of file `failing` has failed:
    // the files before it written anew, it and those after it as they were.
    FolderBytes expected_at_failure(std::size_t failing, WriteFault fault) const {
        FolderBytes files = {{"demo01.dat", recording()}};
        for (std::size_t i = 0; i < std::size(result_files); ++i) {
            const std::string& name = result_files[i].name;
            if (i < failing)
                files[name] = good_files_.at(name);
            else if (i > failing || fault != WriteFault::folder_in_place)
                files[name] = older_results.at(name);
        }
        if (fault == WriteFault::folder_in_place) {
            files[result_files[failing].name + "/"] = "";
            files[result_files[failing].name + "/inside"] = "kept\n";
        }
        return files;
    }

    SessionResult run_with_fault(const ResultFile& file, const Lines& script, WriteFault fault);

    void SetUp() override {
        NameAndFileCatalogue::SetUp();
        permissions_stop_writing_ = permissions_stop_writing(root_ / "probe-folder");
        aside_ = root_ / "data-aside";
        at_failure_ = root_ / "at-failure";
    }

    bool permissions_stop_writing_ = false;
    fs::path aside_, at_failure_;
};

SessionResult ResultFileFaults::run_with_fault(const ResultFile& file, const Lines& script,
                                               WriteFault fault) {
    // The report's line up to the file's name, as the session writes it.
    const std::string report = "Unit 12| Cannot write d:\\data\\map\\" + file.name;
    WatchedTranscript watched;
    switch (fault) {
        case WriteFault::folder_unwritable:
            watched.after_line(file.next_write_after, [this] { make_folder_unwritable(); });
            watched.after_line(report, [this] {
                make_folder_writable_again();
                keep_folder_as_at_failure();
            });
            return run_watched(script, watched);
        case WriteFault::folder_in_place:
            watched.after_line(report, [this, &file] {
                keep_folder_as_at_failure();
                fs::remove_all(data_dir_ / file.name);
            });
            return run_watched(script, watched);
        case WriteFault::write_cut_short:
            break;
    }
    rlimit unlimited{};
    ::getrlimit(RLIMIT_FSIZE, &unlimited);
    watched.after_line(file.next_write_after, [&file, unlimited] {
        const rlimit limit{file.cut_at_bytes, unlimited.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    watched.after_line(report, [this, unlimited] {
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        keep_folder_as_at_failure();
    });
    return run_in_child(script, watched);
}

TEST_F(ResultFileFaults, FileThatCannotBeWrittenIsNamedWithTheReasonAndTheOlderFileStays) {
    play_good_session();
    const std::pair<WriteFault, const char*> faults[] = {
        {WriteFault::folder_unwritable, "data folder unwritable"},
        {WriteFault::folder_in_place, "a folder in the file's place"},
        {WriteFault::write_cut_short, "write cut short by a file size limit"},
    };
    const std::size_t save_echo = echo_line(good_transcript_, correction_save);
    for (std::size_t failing = 0; failing < std::size(result_files); ++failing) {
        const ResultFile& file = result_files[failing];
        const Lines save_answers(
            good_script().begin() + static_cast<std::ptrdiff_t>(correction_save),
            good_script().begin() + static_cast<std::ptrdiff_t>(file.last_answer) + 1);
        const std::size_t reported_after = line_starting(good_transcript_, file.reported_after,
                                                         echo_line(good_transcript_, save_ok));
        const Lines save_lines = slice(good_transcript_, save_echo, reported_after + 1 - save_echo);
        for (const auto& [fault, fault_label] : faults) {
            SCOPED_TRACE(file.name + ", " + fault_label);
            FolderBytes entries = older_results;
            if (fault == WriteFault::folder_in_place) {
                entries.erase(file.name);
                entries[file.name + "/"] = "";
                entries[file.name + "/inside"] = "kept\n";
            }
            reset_data_folder_with(entries);
            fs::remove_all(at_failure_);
            const Lines report = {"Unit 12| Cannot write " +
                                      test_support::named("d:\\data\\map\\" + file.name) + ": " +
                                      expected_reason(fault) + "." + file.closing,
                                  correction_menu};
            const std::vector<Insertion> failed_save = {
                {correction_save,
                 {{"the failed save", save_answers, test_support::concat({save_lines, report})}}}};
            const SessionResult result =
                run_with_fault(file, script_with_blocks(failed_save), fault);
            expect_good_session_with_blocks(result, failed_save, good_files_);
            expect_folder_holds(at_failure_, expected_at_failure(failing, fault));
        }
    }
}

// ---- 4. marks and answers outside the limits of the ARI computation ----

constexpr int stimulus_row = 143;

// The text window's line of P, J, E and the stimulus mark, after the .ds path.
std::string marks_line(const Marks& marks) {
    return padded(ds_path, 30) + int12(marks.q_onset) + int12(marks.j_point) + int12(marks.t_end) +
           int12(stimulus_row);
}

std::string se_record(const Marks& marks) {
    char record[32];
    std::snprintf(record, sizeof record, "%5d%5d%5d%5d\n", marks.q_onset, stimulus_row,
                  marks.j_point, marks.t_end);
    return record;
}

Lines changed_script(const std::vector<Change>& changes) {
    Lines script = good_script();
    for (const Change& change : changes)
        script[change.event] =
            change.column < 0 ? change.answer : "@click " + std::to_string(change.column);
    return script;
}

// The good transcript with the changed echoes (and the row after a click).
Lines changed_transcript(const Lines& good, const std::vector<Change>& changes) {
    Lines lines = good;
    for (const Change& change : changes) {
        const std::size_t at = echo_line(good, change.event);
        if (change.column < 0) {
            lines[at] = text_echo(change.answer);
            continue;
        }
        lines[at] = text_echo("click " + std::to_string(change.column) + ",150 left");
        lines[at + 1] = int12(change.row);
    }
    return lines;
}

// Column c is beat row trunc(c * 0.001 / (0.6 / 1000)) = trunc(c / 0.6); the
// good marks are P = 148, J = 243, E = 601 with h = 20, a = 7, r = 100.
const LimitCase limit_cases[] = {
    {"h = 0",
     {answer(smoothing_points, "0")},
     good_marks,
     "the smoothing half-width h = 0 must be at least 2"},
    {"h = 1",
     {answer(smoothing_points, "1")},
     good_marks,
     "the smoothing half-width h = 1 must be at least 2"},
    {"h left empty, which its fixed field reads as 0",
     {answer(smoothing_points, "")},
     good_marks,
     "the smoothing half-width h = 0 must be at least 2"},
    // 148 - 146 - 2 = 0
    {"a = -146", {answer(stimulus_delay, "-146")}, good_marks, "P + a - 2 = 0 must be at least 1"},
    // Q onset at column 1: row trunc(1.7) = 1; 1 + 0 - 2 = -1
    {"Q onset at column 1 and a = 0",
     {click(q_onset_click, 1, 1), answer(stimulus_delay, "0")},
     {1, 243, 601},
     "P + a - 2 = -1 must be at least 1"},
    // trunc(614 / 0.6) = trunc(1023.3) = 1023; 1023 + 2 = 1025
    {"J point at column 614",
     {click(j_point_click, 614, 1023)},
     {148, 1023, 601},
     "J + 2 = 1025 must be at most 1024"},
    // 999 / 0.6 = 1665; 1665 + 2 = 1667
    {"J point at column 999",
     {click(j_point_click, 999, 1665)},
     {148, 1665, 601},
     "J + 2 = 1667 must be at most 1024"},
    // trunc(604 / 0.6) = trunc(1006.7) = 1006; 1006 + 20 = 1026
    {"T end at column 604",
     {click(t_end_click, 604, 1006)},
     {148, 243, 1006},
     "E + h = 1026 must be at most 1024"},
    // 1665 + 20 = 1685
    {"T end at column 999",
     {click(t_end_click, 999, 1665)},
     {148, 243, 1665},
     "E + h = 1685 must be at most 1024"},
    // trunc(556 / 0.6) = trunc(926.7) = 926; 926 + 99 = 1025
    {"T end at column 556 and h = 99",
     {click(t_end_click, 556, 926), answer(smoothing_points, "99")},
     {148, 243, 926},
     "E + h = 1025 must be at most 1024"},
    // 243 - 242 - 1 = 0
    {"r = -242", {answer(recovery_delay, "-242")}, good_marks, "J + r - 1 = 0 must be at least 1"},
    // J point at column 1: row 1; 1 + 0 - 1 = 0
    {"J point at column 1 and r = 0",
     {click(j_point_click, 1, 1), answer(recovery_delay, "0")},
     {148, 1, 601},
     "J + r - 1 = 0 must be at least 1"},
    // 243 + 0 - 1 = 242 keeps the limit before; r itself does not
    {"r = 0",
     {answer(recovery_delay, "0")},
     good_marks,
     "the minimum recovery delay r = 0 must be at least 1"},
};

std::vector<double> numbers_in(const std::string& text) {
    std::vector<double> numbers;
    std::istringstream in(text);
    for (double number; in >> number;) numbers.push_back(number);
    return numbers;
}

void NameAndFileCatalogue::expect_limit_broken(const LimitCase& limit) {
    const std::size_t marks_at = line_starting(good_transcript_, padded(ds_path, 30));
    const std::size_t writing_at = line_starting(good_transcript_, ari_writing);
    ASSERT_EQ(good_transcript_.at(marks_at), marks_line(good_marks));
    ASSERT_EQ(good_transcript_.at(writing_at + 1), ari_written);
    const SessionResult result = run_fresh(changed_script(limit.changes));
    Lines expected = changed_transcript(good_transcript_, limit.changes);
    expected[marks_at] = marks_line(limit.marks);
    expected[writing_at] = "Unit 12| No ARI file: " + limit.broken + ".";
    expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(writing_at) + 1);
    EXPECT_EQ(result.exit_code, 0) << result.errors;
    EXPECT_TRUE(result.transcript == expected) << first_difference(result.transcript, expected);
    expect_folder_holds(data_dir_, {{"demo01.dat", recording()},
                                    {"demo01.ds", good_files_.at("demo01.ds")},
                                    {"demo01.se", se_record(limit.marks)}});
    EXPECT_EQ(fort12(), good_fort12_);
}

// h = 99 keeps every limit (E + h = 601 + 99 = 700): the .ari differs from the
// good one in h and in the recovery times, which a wider fit may move but
// which stay from J + r - P = 243 + 100 - 148 = 195 to E - P = 601 - 148 = 453.
void NameAndFileCatalogue::expect_wide_smoothing() {
    const std::vector<Change> changes = {answer(smoothing_points, "99")};
    const SessionResult result = run_fresh(changed_script(changes));
    EXPECT_EQ(result.exit_code, 0) << result.errors;
    EXPECT_EQ(result.transcript, changed_transcript(good_transcript_, changes));
    const std::string ari = test_support::read_bytes(data_file("demo01.ari"));
    expect_folder_holds(data_dir_, good_files_with({{"demo01.ari", ari}}));

    const std::vector<double> good = numbers_in(good_files_.at("demo01.ari"));
    const std::vector<double> wide = numbers_in(ari);
    ASSERT_EQ(good.size(), 132u);
    ASSERT_EQ(wide.size(), 132u);
    EXPECT_EQ(ari.size(), good_files_.at("demo01.ari").size());
    EXPECT_EQ(ari.substr(0, 48), "         148         243         601          99");
    EXPECT_EQ(good[3], 20.0);
    for (std::size_t k = 0; k < 68; ++k)
        if (k != 3) {
            EXPECT_EQ(wide[k], good[k]) << "value " << k + 1;
        }
    for (std::size_t k = 68; k < 132; ++k) {
        EXPECT_GE(wide[k], 195.0) << "recovery time of lead " << k - 67;
        EXPECT_LE(wide[k], 453.0) << "recovery time of lead " << k - 67;
    }
}

// No click can give J < 1: column 0 is row 0, which leaves the J point
// unmarked, and the save then writes the .ds alone with no .se and no ARI.
void NameAndFileCatalogue::expect_unmarked_j_point() {
    const std::vector<Change> changes = {click(j_point_click, 0, 0)};
    Lines script = changed_script(changes);
    script.erase(script.begin() + static_cast<std::ptrdiff_t>(smoothing_points),
                 script.begin() + static_cast<std::ptrdiff_t>(recovery_delay) + 1);
    const SessionResult result = run_fresh(script);
    Lines expected = changed_transcript(good_transcript_, changes);
    const std::size_t se_at = line_starting(expected, se_announced);
    const std::size_t written_at = line_starting(expected, ari_written);
    expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(se_at),
                   expected.begin() + static_cast<std::ptrdiff_t>(written_at) + 1);
    EXPECT_EQ(result.exit_code, 0) << result.errors;
    EXPECT_TRUE(result.transcript == expected) << first_difference(result.transcript, expected);
    expect_folder_holds(data_dir_,
                        {{"demo01.dat", recording()}, {"demo01.ds", good_files_.at("demo01.ds")}});
    EXPECT_EQ(fort12(), good_fort12_);
}

TEST_F(NameAndFileCatalogue, MarksOrAnswersBreakingAnAriLimitGiveTheReasonAndNoAriFile) {
    play_good_session();
    for (const LimitCase& limit : limit_cases) {
        SCOPED_TRACE(limit.label);
        expect_limit_broken(limit);
    }
    {
        SCOPED_TRACE("h = 99");
        expect_wide_smoothing();
    }
    {
        SCOPED_TRACE("J point at column 0");
        expect_unmarked_j_point();
    }
}

}  // namespace
}  // namespace mapari::catalogue_tests
