#include "app/batch_analysis.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>

#include "app/bad_leads.hpp"
#include "app/driver.hpp"
#include "app/study_record.hpp"
#include "app/unattended_clicks.hpp"
#include "ari/ari_computation.hpp"
#include "beats/averaging.hpp"
#include "beats/beat_choice.hpp"
#include "beats/detection.hpp"
#include "beats/heart_intervals.hpp"
#include "beats/lead_quality.hpp"
#include "beats/marks.hpp"
#include "beats/selection.hpp"
#include "formats/exit_codes.hpp"
#include "formats/files.hpp"
#include "formats/map_recording.hpp"
#include "formats/messages.hpp"
#include "formats/quoted.hpp"
#include "importing/recording_check.hpp"
#include "recording/recording.hpp"
#include "window/headless_runtime.hpp"

namespace mapari {
namespace {

namespace fs = std::filesystem;

constexpr int fewest_beats_a_pass = 3;

}  // namespace

RecordingNames session_names(const std::string& stem) {
    const bool usable = !stem.empty() && stem.size() <= 12 && unsafe_name_reason(stem).empty() &&
                        stem.find_first_of(" \t") == std::string::npos &&
                        save_name_problem(stem).empty();
    if (!usable) return {"rec", "01", "rec01"};
    const std::size_t common = std::min<std::size_t>(6, stem.size());
    return {stem.substr(0, common), stem.substr(common), stem};
}

namespace {

[[noreturn]] void give_up(const std::string& why) {
    throw SessionEnded(why, exit_failure);
}

// One script line (an answer, or "@click COLUMN"), decided when it is due. A
// decision that finds the session cannot go on throws SessionEnded.
using Decision = std::function<std::string()>;

std::string click_at(int column) {
    return "@click " + std::to_string(column);
}

std::deque<Decision> settings_answers(const BatchSettings& settings) {
    std::deque<Decision> answers;
    const auto answer = [&answers](const std::string& text) {
        answers.emplace_back([text] { return text; });
    };
    const bool default_leads = settings.leads == dialogue_display_leads;
    answer(default_leads ? "1" : "0");
    if (!default_leads)
        for (int lead : settings.leads) answer(std::to_string(lead));
    answer(settings.coefficient.empty() ? "1" : "0");
    if (!settings.coefficient.empty()) answer(settings.coefficient);
    answer("1");  // the ARI file is made with the save
    answer(settings.ari_settings ? "0" : "1");
    return answers;
}

// The decisions of one session, made from the store of the program they
// answer, each when the program waits for it.
class UnattendedSession {
  public:
    UnattendedSession(Store& store, RecordingAnalysis& analysis, const BatchSettings& settings,
                      const RecordingNames& names)
        : store_(store),
          analysis_(analysis),
          settings_(settings),
          names_(names),
          decisions_(decisions()) {}
    UnattendedSession(const UnattendedSession&) = delete;  // its decisions point to it
    UnattendedSession& operator=(const UnattendedSession&) = delete;

    // The next line of the session's script; none once every decision is made.
    std::optional<std::string> next_line() {
        if (decisions_.empty()) return std::nullopt;
        const Decision decide = std::move(decisions_.front());
        decisions_.pop_front();
        return decide();
    }

  private:
    std::deque<Decision> decisions() {
        std::deque<Decision> all = settings_answers(settings_);
        for (const std::string& answer :
             {names_.common, names_.variable, std::to_string(settings_.display_second),
              std::string("s")})
            all.emplace_back([answer] { return answer; });
        all.emplace_back([this] { return select_template(); });
        add_answers(all, {"y", "x", "b", "s"});
        all.emplace_back([this] { return mark_first(); });
        for (int mark = 2; mark <= fiducial_count; ++mark)
            all.emplace_back([this, mark] { return click_row(marked_row(mark)); });
        add_answers(all, {"y", "t"});
        all.emplace_back([this] { return click_row(analysis_.marks.q_onset); });
        all.emplace_back([this] { return click_row(analysis_.marks.t_end); });
        add_answers(all, {"y", "d", names_.save_name, "y"});
        if (const std::optional<AriSettings>& ari = settings_.ari_settings)
            for (std::int32_t value : {ari->smoothing_half_width_samples,
                                       ari->activation_offset_samples, ari->recovery_delay_samples})
                all.emplace_back([value] { return std::to_string(value); });
        add_answers(all, {"x", "x", "0", "0"});
        return all;
    }

    static void add_answers(std::deque<Decision>& all, std::initializer_list<std::string> answers) {
        for (const std::string& answer : answers) all.emplace_back([answer] { return answer; });
    }

    std::string select_template() {
        double mean_correlation = 0.0;
        const std::int32_t chosen = choose_template_beat(store_.settings, store_.recording,
                                                         store_.display, mean_correlation);
        analysis_.beats_found = count_sorted_beats(store_.display);
        if (chosen == 0) give_up("no beat from 201 to 3000 ms to take as the template");
        analysis_.template_beat = chosen;
        const int column =
            column_selecting_beat(store_.display, chosen, store_.beat.selected_position);
        if (column < 0)
            give_up("no column of the drawing selects the beat at " + std::to_string(chosen) +
                    " ms");
        return click_at(column);
    }

    // The marks are found once the averaged beat is there, at the first mark's click.
    std::string mark_first() {
        analysis_.marks =
            find_automatic_marks(store_.beat, found_beat_rows(store_.beat, store_.display),
                                 leads_left_out_of_marks(store_.beat, store_.recording, settings_));
        for (int mark = 1; mark <= fiducial_count; ++mark)
            if (marked_row(mark) < 1 || marked_row(mark) > beat_window_rows)
                give_up("automatic marks: " + (analysis_.marks.problem.empty()
                                                   ? std::string("a mark outside the beat")
                                                   : analysis_.marks.problem));
        return click_row(marked_row(1));
    }

    std::int32_t marked_row(int mark) const {
        const AutomaticMarks& marks = analysis_.marks;
        const std::int32_t rows[fiducial_count] = {marks.stimulus, marks.q_onset, marks.j_point,
                                                   marks.t_end};
        return rows[mark - 1];
    }

    std::string click_row(std::int32_t row) const {
        return click_at(column_marking_row(store_.display, store_.beat, row));
    }

    Store& store_;
    RecordingAnalysis& analysis_;
    const BatchSettings& settings_;
    const RecordingNames& names_;
    std::deque<Decision> decisions_;
};

}  // namespace

namespace {

std::string recording_problem(std::string_view bytes, std::span<const std::int16_t> frames,
                              int display_second) {
    const importing::RecordingCheck check = importing::check_recording_bytes(bytes, frames);
    if (!check.plausible()) return "not a recording: " + check.problems.front();
    const long long needed = 1000LL * (display_second + 4);
    if (check.frames < needed)
        return "holds " + std::to_string(check.frames) + " frames; display second " +
               std::to_string(display_second) + " needs " + std::to_string(needed);
    return {};
}

// The recording's stretch of the display second into `stretch`'s samples,
// from its frames decoded; 0 past the frames' end.
void take_stretch(std::span<const std::int16_t> frames, int display_second, Recording& stretch) {
    // The frames and the store both hold a frame's channels side by side, frame after frame.
    const std::span<const std::int16_t> from = frames.subspan(
        std::min(frames.size(), static_cast<std::size_t>(frames_per_second) *
                                    static_cast<std::size_t>(display_second) * channel_count));
    auto& samples = stretch.samples.values;
    const auto copied =
        std::copy_n(from.begin(), std::min(from.size(), samples.size()), samples.begin());
    std::fill(copied, samples.end(), std::int16_t{0});
}

// "display leads 13, 23, 37 carry no signal: took 1, 2, 3", or empty when
// every lead asked carries one.
std::string display_leads_note(const Recording& stretch, const DisplayLeads& asked,
                               const DisplayLeads& taken) {
    std::vector<int> empty;
    for (int lead : asked)
        if (!carries_signal(stretch, lead)) empty.push_back(lead);
    if (empty.empty()) return {};
    const bool one = empty.size() == 1;
    return std::string(one ? "display lead " : "display leads ") + joined_numbers(empty, ", ") +
           (one ? " carries" : " carry") + " no signal: took " +
           joined_numbers({taken.begin(), taken.end()}, ", ");
}

// The display leads of the session, with the note on those replaced; false
// with the reason when no lead carries a signal.
bool choose_display_leads(std::span<const std::int16_t> frames, const BatchSettings& settings,
                          RecordingAnalysis& analysis, Recording& stretch) {
    take_stretch(frames, settings.display_second, stretch);
    bool any_signal = false;
    for (int lead = 1; lead <= lead_count; ++lead) any_signal |= carries_signal(stretch, lead);
    if (!any_signal) {
        analysis.reason = "no lead carries a signal in the stretch of display second " +
                          std::to_string(settings.display_second);
        return false;
    }
    analysis.display_leads = display_leads_with_signal(stretch, settings.leads);
    analysis.note = display_leads_note(stretch, settings.leads, analysis.display_leads);
    return true;
}

// The source read, decoded into the stores' frames, checked and linked into
// the folder, with the reasons in English; false with the reason when the
// analysis cannot begin.
bool begin_analysis(const fs::path& recording, const fs::path& folder, const RecordingNames& names,
                    RecordingAnalysis& analysis, AnalysisStores& stores) {
    std::vector<std::int16_t>& frames = stores.frames;
    const MessagesAsWritten in_english;
    std::string bytes;
    if (!read_whole_file(recording.string(), bytes, analysis.reason)) {
        analysis.reason = "cannot be read: " + analysis.reason;
        return false;
    }
    analysis.source_checksum = source_checksum(bytes);
    decode_frames(bytes, frames);
    analysis.reason = recording_problem(bytes, frames, analysis.settings.display_second);
    return analysis.reason.empty() &&
           choose_display_leads(frames, analysis.settings, analysis, *stores.stretch) &&
           prepare_session_folder(recording, folder, names, analysis.reason);
}

void gather_lead_results(Store& store, RecordingAnalysis& analysis) {
    const AriWork& work = store.ari;
    analysis.ari_settings = work.settings;
    auto scratch = std::make_unique<std::array<float, samples_per_reading>>();
    const LeadQualities qualities = judge_leads(store.beat, store.recording, *scratch);
    for (int l = 1; l <= lead_count; ++l) {
        const auto at = static_cast<std::size_t>(l - 1);
        analysis.activation_ms[at] = work.activation_ms(l);
        analysis.recovery_ms[at] = work.recovery_ms(l);
        analysis.flags[at] = lead_flags(work, l, qualities[at]);
    }
}

// Every matching beat of the recording analysed as the averaged beat was,
// once the marks make a beat the computation and a two-point baseline take,
// and the confidence of each lead's AT and RT that their noise and spread give.
void add_every_beat(std::span<const std::int16_t> frames, const Store& store,
                    RecordingAnalysis& analysis, Store& work_area) {
    if (!broken_limit(store.ari).empty() || analysis.marks.q_onset >= analysis.marks.t_end) return;
    analysis.beats =
        analyse_every_beat(frames, {store.settings, store.beat, store.ari.settings}, work_area);
    std::array<bool, lead_count> with_signal{};
    for (std::size_t at = 0; at < lead_count; ++at)
        with_signal[at] = !analysis.flags[at].has(LeadFlag::no_signal);
    flag_beats(analysis.beats, analysis.activation_ms, with_signal);
    analysis.confidence =
        lead_confidences(store.beat, static_cast<int>(analysis.accepted.size()),
                         analysis.activation_ms, analysis.recovery_ms, analysis.beats, with_signal,
                         store.ari.settings.smoothing_half_width_samples);
}

// Rows of the averaged beat and samples of the stretch are frames of the
// recording, which holds 1000 a second: a row is a millisecond.
static_assert(frames_per_second == 1000);

// Physiological limits: a QT or QTc outside them (a QT below about 200 ms, a
// QTc above about 600 ms) is essentially never seen in a recording one would
// analyse, so a mark that gives one is wrong.
constexpr int shortest_qt_ms = 200, longest_qt_ms = 600;
constexpr int shortest_qtc_ms = 300, longest_qtc_ms = 600;
// Bazett's square root overcorrects the QT of a heart faster than 100 a
// minute, where Fridericia's cube root holds: the QTc judged is Bazett's from
// this RR up, Fridericia's below it.
constexpr int shortest_rr_for_bazett_ms = 600;
// Beyond the CSE tolerance of the spread of a T end among readers (30.6 ms),
// two estimates of one T end that differ more than this cannot both be right.
constexpr int largest_t_end_disagreement_ms = 40;

int whole_ms(double ms) {
    return static_cast<int>(std::lround(ms));
}

// "QT 650 ms lies outside 200-600 ms", or empty when the value lies within.
std::string outside_text(const std::string& interval, int value_ms, int lowest_ms, int highest_ms) {
    if (value_ms >= lowest_ms && value_ms <= highest_ms) return {};
    return interval + " " + std::to_string(value_ms) + " ms lies outside " +
           std::to_string(lowest_ms) + "-" + std::to_string(highest_ms) + " ms";
}

// A QT, or a QTc where the RR is known, that no heart shows.
std::string interval_doubt(const HeartIntervals& intervals) {
    if (!intervals.qt_ms) return {};
    std::string doubt = outside_text("QT", *intervals.qt_ms, shortest_qt_ms, longest_qt_ms);
    if (!doubt.empty() || !intervals.qtc_bazett_ms) return doubt;
    if (*intervals.rr_ms >= shortest_rr_for_bazett_ms)
        return outside_text("QTc (Bazett)", *intervals.qtc_bazett_ms, shortest_qtc_ms,
                            longest_qtc_ms);
    return outside_text("QTc (Fridericia)", *intervals.qtc_fridericia_ms, shortest_qtc_ms,
                        longest_qtc_ms);
}

// The T end against the independent estimate, where there is one.
std::string t_end_doubt(const AutomaticMarks& marks) {
    if (marks.t_end_independent == 0) return {};
    const int difference_ms = std::abs(marks.t_end - marks.t_end_independent);
    if (difference_ms <= largest_t_end_disagreement_ms) return {};
    return "the T end (row " + std::to_string(marks.t_end) + ") and an independent estimate (row " +
           std::to_string(marks.t_end_independent) + ") differ by " +
           std::to_string(difference_ms) + " ms";
}

}  // namespace

HeartIntervals heart_intervals(const RecordingAnalysis& analysis) {
    HeartIntervals intervals;
    if (const std::optional<double> rr_samples = median_rr_samples(analysis.accepted))
        intervals.rr_ms = whole_ms(*rr_samples);
    const AutomaticMarks& marks = analysis.marks;
    if (marks.q_onset >= 1 && marks.t_end > marks.q_onset)
        intervals.qt_ms = marks.t_end - marks.q_onset;
    if (intervals.qt_ms && intervals.rr_ms && *intervals.rr_ms > 0) {
        intervals.qtc_bazett_ms = whole_ms(qtc_bazett_ms(*intervals.qt_ms, *intervals.rr_ms));
        intervals.qtc_fridericia_ms =
            whole_ms(qtc_fridericia_ms(*intervals.qt_ms, *intervals.rr_ms));
    }
    return intervals;
}

std::string doubt_about(const RecordingAnalysis& analysis) {
    const AutomaticMarks& marks = analysis.marks;
    const int accepted_a_pass = analysis.averaging_count / averaging_passes;
    if (accepted_a_pass < fewest_beats_a_pass)
        return "only " + std::to_string(accepted_a_pass) + " beats accepted for the average";
    if (!marks.problem.empty()) return marks.problem;
    if (!(marks.stimulus <= marks.q_onset && marks.q_onset < marks.j_point &&
          marks.j_point < marks.t_end))
        return "the marks are out of order";
    if (marks.t_end <= marks.t_peak) return "the T end lies before the T wave's peak";
    if (marks.j_point + analysis.ari_settings.recovery_delay_samples >= marks.t_end)
        return "the T end lies within the minimum recovery delay of the J point";
    // More than a quarter of the leads with a signal without a T upstroke: the
    // T wave was not where the marks say.
    int without_upstroke = 0, with_signal = 0;
    for (LeadFlags flags : analysis.flags) {
        without_upstroke += flags.has(LeadFlag::no_upstroke);
        with_signal += !flags.has(LeadFlag::no_signal);
    }
    if (4 * without_upstroke > with_signal)
        return std::to_string(without_upstroke) + " leads without an upstroke in the T wave";
    if (std::string doubt = interval_doubt(heart_intervals(analysis)); !doubt.empty()) return doubt;
    return t_end_doubt(marks);
}

bool prepare_session_folder(const fs::path& recording, const fs::path& folder,
                            const RecordingNames& names, std::string& reason) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (!error)
        fs::create_symlink(fs::absolute(recording, error), folder / names.file_name(), error);
    if (error) {
        error.clear();
        fs::copy_file(recording, folder / names.file_name(), error);
    }
    if (error) reason = "cannot prepare " + folder.string() + ": " + error.message();
    return !error;
}

int run_unattended_session(Store& store,
                           const std::function<std::optional<std::string>()>& next_line,
                           const fs::path& folder, std::string& reason) {
    std::ofstream transcript(folder / "transcript.txt", std::ios::binary);
    std::ofstream record(folder / "session.script", std::ios::binary);
    // Every line of the script is decided when it is due.
    std::istringstream no_script;
    HeadlessRuntime runtime(no_script, transcript, &record, folder.string());
    // No picture is made of a batch's session: its clicks are decided from the store.
    runtime.keep_no_drawing();
    runtime.when_script_runs_dry(next_line);
    try {
        run_program(store, runtime);
    } catch (const SessionEnded& ended) {
        // The question is in the transcript's language; the tables are in English.
        reason = ended.exit_code() == exit_script_ended
                     ? "the session waited for an answer the batch does not give (see its "
                       "transcript)"
                     : ended.what();
        return ended.exit_code();
    }
    transcript.close();
    record.close();
    if (!transcript || !record) {
        reason = "cannot write the session's transcript and script in " + folder.string();
        return exit_failure;
    }
    return exit_normal;
}

void take_session_results(Store& store, std::span<const std::int16_t> frames,
                          const SpatialRules& spatial, RecordingAnalysis& analysis,
                          Store& beats_work_area) {
    analysis.averaging_count = store.beat.averaging_count;
    // The rows clicked, which may lie one from the rows asked.
    analysis.marks.stimulus = store.beat.fiducial_marks(1);
    analysis.marks.q_onset = store.beat.fiducial_marks(2);
    analysis.marks.j_point = store.beat.fiducial_marks(3);
    analysis.marks.t_end = store.beat.fiducial_marks(4);
    analysis.accepted.clear();
    for (int k = 1; k <= store.beat.accepted_count; ++k)
        analysis.accepted.push_back(store.beat.accepted_beats(k));
    gather_lead_results(store, analysis);
    // The beats are judged against the measured values, before bad leads are filled in.
    add_every_beat(frames, store, analysis, beats_work_area);
    settle_bad_leads(store.beat, spatial, analysis);
}

RecordingAnalysis analyse_recording(const fs::path& recording, const fs::path& folder,
                                    const BatchSettings& settings) {
    AnalysisStores stores;
    return analyse_recording(recording, folder, settings, stores);
}

RecordingAnalysis analyse_recording(const fs::path& recording, const fs::path& folder,
                                    const BatchSettings& settings, AnalysisStores& stores) {
    RecordingAnalysis analysis;
    analysis.name = recording.stem().string();
    analysis.source = recording.string();
    analysis.settings = settings;
    const RecordingNames names = session_names(analysis.name);
    SpatialRules spatial;
    if (!choose_spatial_rules(recording, settings, spatial, analysis.reason) ||
        !begin_analysis(recording, folder, names, analysis, stores))
        return analysis;
    BatchSettings session_settings = settings;
    session_settings.leads = analysis.display_leads;
    Store& store = *stores.session;
    reset_store(store);
    store.naming.result_files_flushed_by_caller = true;
    if (!set_data_directory(store.naming, folder.string(), analysis.reason)) return analysis;
    UnattendedSession session(store, analysis, session_settings, names);
    if (run_unattended_session(
            store, [&session] { return session.next_line(); }, folder, analysis.reason) !=
        exit_normal)
        return analysis;
    if (!fs::exists(folder / (names.save_name + ".ari"))) {
        analysis.reason = "the session wrote no ARI file (see its transcript)";
        return analysis;
    }
    take_session_results(store, stores.frames, spatial, analysis, *stores.beats);
    analysis.reason = doubt_about(analysis);
    analysis.status = analysis.reason.empty() ? AnalysisStatus::ok : AnalysisStatus::check;
    return analysis;
}

}  // namespace mapari
