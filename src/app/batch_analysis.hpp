// One recording analysed without an operator: the whole dialogue of the
// program, answered and clicked by decisions made from what the program has
// at each wait — the beat whose template correlates best with the others,
// averaging with the recognition coefficient, automatic marks on the averaged
// beat, a baseline through the Q onset and the T end, the save with its ARI
// file. The session runs in a folder of its own, which keeps the recording's
// link, the session's script, transcript and fort.12, and the result files.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/lead_flags.hpp"
#include "beats/automatic_marks.hpp"
#include "dialogue/settings.hpp"
#include "store/store.hpp"

namespace mapari {

struct BatchSettings {
    int display_second = 0;
    std::array<int, display_lead_count> leads = dialogue_display_leads;
    std::string coefficient;                  // as typed, e.g. "0.95"; empty: the default 0.99
    std::optional<AriSettings> ari_settings;  // none: the defaults, taken without asking
};

enum class AnalysisStatus { ok, check, failed };

struct RecordingAnalysis {
    std::string name;  // the recording's file name without .dat: its folder and its rows
    AnalysisStatus status = AnalysisStatus::failed;
    std::string reason;  // why check or failed
    // The display leads the session was given: those asked, each without a
    // signal in the stretch replaced by a lead with one.
    std::array<int, display_lead_count> display_leads{};
    std::string note;  // what the batch decided that the reader should know; empty for nothing
    int beats_found = 0;
    int template_beat = 0;
    std::vector<AcceptedBeat> accepted;  // of one pass, as averaging recorded them
    int averaging_count = 0;
    AutomaticMarks marks;
    AriSettings ari_settings;  // as the computation used them
    std::array<float, lead_count> activation_ms{};
    std::array<float, lead_count> recovery_ms{};
    std::array<LeadFlags, lead_count> flags{};
};

// What keeps a finished analysis from being reported as fine: too few beats
// averaged, marks that are doubtful, out of order or too close for the
// recovery search, or more than a quarter of the leads with a signal without
// a T upstroke (leads without a signal count for nothing). Empty when nothing does.
std::string doubt_about(const RecordingAnalysis& analysis);

// Analyses `recording` in `folder` (made afresh). Display leads asked for that
// carry no signal in the stretch are replaced (display_leads_with_signal), and
// the note says so. Never throws: every failure is in the result's status and reason.
RecordingAnalysis analyse_recording(const std::filesystem::path& recording,
                                    const std::filesystem::path& folder,
                                    const BatchSettings& settings);

}  // namespace mapari
