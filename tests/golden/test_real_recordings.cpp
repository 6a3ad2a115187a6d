// The whole analysis on the real recordings of the shared data folder: beats
// found where the cardiologists annotated them, averaging that accepts the
// real beats that match the selected one, and an activation map whose order
// follows the recorded downstrokes. Every expected value is worked out here
// from the recording's bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "beats/detection.hpp"
#include "formats/map_recording.hpp"
#include "golden_support.hpp"
#include "phases/trace_drawing.hpp"
#include "store/store.hpp"

namespace mapari::golden_tests {
namespace {

// Why a test on a real recording is skipped.
std::string missing(const std::string& file_name) {
    return "real recording " + (real_data_dir() / file_name).string() +
           " not found: the shared data folder is expected beside the repository";
}

// A store that has read the display second of "real" + variable part from
// the shared data folder.
std::unique_ptr<Store> read_real_stretch(const std::string& variable, int second) {
    return read_stretch(real_data_dir(), "real", variable, second);
}

int nearest(const std::vector<int>& positions, int sample) {
    int best = 0;
    for (int p : positions)
        if (best == 0 || std::abs(p - sample) < std::abs(best - sample)) best = p;
    return best;
}

// ---- realmit100: beats against the reference annotations ----

struct Annotation {
    double ms = 0.0;  // from the start of the file: frame number − 1
    int sample_360 = 0;
    std::string label;
};

// Reads realmit100.beats.csv, whose comment lines state the columns; the test
// relies on the time base they name, so it checks that it is still stated.
std::vector<Annotation> read_annotations(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<Annotation> annotations;
    bool time_base_stated = false;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        if (line[0] == '#') {
            time_base_stated =
                time_base_stated || (line.find("time in ms") != std::string::npos &&
                                     line.find("(frame number - 1)") != std::string::npos);
            continue;
        }
        std::istringstream fields(line);
        Annotation a;
        std::string ms, sample;
        std::getline(fields, ms, ',');
        std::getline(fields, sample, ',');
        std::getline(fields, a.label);
        a.ms = std::stod(ms);
        a.sample_360 = std::stoi(sample);
        annotations.push_back(a);
    }
    EXPECT_TRUE(time_base_stated) << file << " no longer states its time base as expected";
    return annotations;
}

class RealMit100 : public ::testing::TestWithParam<int> {};

// The README sets the tolerance: annotations sit at the R peak, beats are
// found at the steepest fall of the lead magnitude.
constexpr double annotation_tolerance_ms = 60.0;

TEST_P(RealMit100, EveryAnnotatedBeatIsFoundAndNothingElse) {
    const std::optional<std::filesystem::path> file = real_recording("realmit100.dat");
    if (!file) GTEST_SKIP() << missing("realmit100.dat");
    const std::optional<std::filesystem::path> csv = real_recording("realmit100.beats.csv");
    ASSERT_TRUE(csv) << "realmit100.beats.csv is missing beside the recording";
    const int second = GetParam();
    const std::vector<Annotation> annotations = read_annotations(*csv);
    ASSERT_GE(annotations.size(), 30u);
    for (const Annotation& a : annotations)
        ASSERT_NEAR(a.ms, a.sample_360 * 1000.0 / 360.0, 0.051) << "time base of " << a.ms;

    auto store = read_real_stretch("mit100", second);
    ASSERT_FALSE(HasFailure());
    // The stretch read is the one of the display second, lead for lead.
    const RecordingFile recording(*file);
    const Stretch stretch(recording, second);
    for (int l = 1; l <= map_leads; ++l)
        for (int i = 1; i <= stretch_samples; ++i)
            ASSERT_EQ(store->recording.samples(channel_of_lead(l), i), stretch(l, i))
                << "lead " << l << " sample " << i;

    detect_beats(store->settings, store->recording, store->display, display_last_candidate);
    const std::vector<int> found = beat_list(*store);
    ASSERT_GE(found.size(), 2u);
    // Beat finding written again from its definition gives the same list.
    EXPECT_EQ(found, find_beats(stretch, default_leads, 3800));

    // Annotation times as samples of the stretch: frame = ms + 1, sample =
    // frame − 1000 s.
    std::vector<double> annotated;
    for (const Annotation& a : annotations) annotated.push_back(a.ms + 1.0 - 1000.0 * second);

    int inside = 0;
    double worst = 0.0;
    for (double sample : annotated) {
        if (sample < 100.0 || sample > 3800.0) continue;
        ++inside;
        double distance = 1e9;
        for (int p : found) distance = std::min(distance, std::fabs(p - sample));
        worst = std::max(worst, distance);
        EXPECT_LE(distance, annotation_tolerance_ms)
            << "no beat found near the annotation at sample " << sample;
    }
    EXPECT_GE(inside, 4);
    // The last position is where the search stopped; every other one is a beat.
    for (std::size_t k = 0; k + 1 < found.size(); ++k) {
        double distance = 1e9;
        for (double sample : annotated) distance = std::min(distance, std::fabs(found[k] - sample));
        EXPECT_LE(distance, annotation_tolerance_ms)
            << "position " << found[k] << " (found " << k + 1 << ") is no annotated beat";
    }
    RecordProperty("annotated_beats", inside);
    RecordProperty("found_positions", static_cast<int>(found.size()));
    RecordProperty("largest_distance_ms", std::to_string(worst));
    std::cout << "realmit100 second " << second << ": " << inside << " annotated beats, "
              << found.size() << " positions found, largest distance " << worst << " ms\n";
}

INSTANTIATE_TEST_SUITE_P(DisplaySeconds, RealMit100, ::testing::Values(0, 12, 28),
                         [](const ::testing::TestParamInfo<int>& param_info) {
                             return "Second" + std::to_string(param_info.param);
                         });

// ---- realptb010: averaging the real beats that match the selected one ----

struct BeatMatch {
    int position = 0;  // as found
    Alignment alignment;
};

// The beats of one averaging pass: found with last candidate 3900, each
// aligned to the template.
std::vector<BeatMatch> matches(const Stretch& stretch, const std::vector<double>& templ) {
    std::vector<BeatMatch> beats;
    for (int p : find_beats(stretch, default_leads, 3900))
        beats.push_back({p, align(stretch, default_leads[0], templ, p)});
    return beats;
}

bool accepted(const BeatMatch& beat) {
    const int aligned = beat.position + beat.alignment.shift;
    return beat.alignment.coefficient >= 0.99 && aligned >= 201 && aligned <= 3000;
}

TEST(RealPtb010, AveragingAcceptsTheRealBeatsThatMatchTheSelectedOne) {
    const std::optional<std::filesystem::path> file = real_recording("realptb010.dat");
    if (!file) GTEST_SKIP() << missing("realptb010.dat");
    const RecordingFile recording(*file);
    const Stretch stretch(recording, 0);
    auto store = read_real_stretch("ptb010", 0);
    ASSERT_FALSE(HasFailure());
    detect_beats(store->settings, store->recording, store->display, display_last_candidate);
    const std::vector<int> shown = beat_list(*store);

    // The beat to select: of the beats shown from 201 to 3000, the one that
    // most other beats match.
    int q = 0;
    std::size_t most = 0;
    for (int p : shown) {
        if (p < 201 || p > 3000) continue;
        const std::vector<BeatMatch> beats = matches(stretch, segment51(stretch, 13, p));
        const auto count =
            static_cast<std::size_t>(std::count_if(beats.begin(), beats.end(), accepted));
        if (count > most) {
            most = count;
            q = p;
        }
    }
    ASSERT_NE(q, 0) << "no beat shown from 201 to 3000";
    const std::vector<BeatMatch> beats = matches(stretch, segment51(stretch, 13, q));
    std::vector<int> aligned;
    int near_threshold = 0;
    for (const BeatMatch& beat : beats) {
        if (accepted(beat)) aligned.push_back(beat.position + beat.alignment.shift);
        near_threshold += std::fabs(beat.alignment.coefficient - 0.99) < 1e-3;
    }
    ASSERT_GE(aligned.size(), 2u) << "fewer than two beats of the recording match beat " << q;

    const int column = column_nearest_sample(q);
    ASSERT_EQ(nearest(shown, sample_of_column(column)), q);
    ScratchFolder folder;
    place_recording(*file, folder.data());
    const std::string script = session_start("real", "ptb010", 0) + "s\n@click " +
                               std::to_string(column) + "\ny\nx\nb\nd\nptbavg\ny\nx\nx\n0\n0\n";
    const SessionRun run = run_session(script, folder);
    ASSERT_EQ(run.exit_code, 0) << run.errors << joined(run.transcript);
    EXPECT_EQ(value_after(run.transcript, selected_label), q);
    const std::optional<int> count = value_after(run.transcript, averaging_label);
    ASSERT_TRUE(count) << joined(run.transcript);
    EXPECT_EQ(*count % 8, 0) << *count;
    const int per_pass = *count / 8;
    const int expected = static_cast<int>(aligned.size());
    RecordProperty("selected_beat", q);
    RecordProperty("averaging_count", *count);
    RecordProperty("expected_per_pass", expected);
    std::cout << "realptb010: beat " << q << " selected, " << per_pass
              << " beats averaged per pass, " << expected << " expected (" << near_threshold
              << " near the coefficient)\n";
    EXPECT_GE(per_pass, 2);
    EXPECT_LE(std::abs(per_pass - expected), 1);
    if (per_pass != expected) {
        EXPECT_GE(near_threshold, 1) << "the counts differ but no beat lies near the coefficient";
        return;
    }

    // The averaged beat saved is the mean of the accepted beats at their
    // aligned positions. Tolerance: 7 significant digits of values below 4000
    // (0.002) and the 32-bit running sum over 8 passes (below 0.01).
    const std::vector<double> ds = read_numbers(folder.data() / "ptbavg.ds");
    ASSERT_EQ(ds.size(), 1024u * 64u);
    double worst = 0.0;
    for (int i = 1; i <= 1024; ++i) {
        for (int l = 1; l <= map_leads; ++l) {
            double sum = 0.0;
            for (int a : aligned) sum += stretch(l, a - beat_row + i);
            const double mean = sum / static_cast<double>(aligned.size());
            worst = std::max(
                worst, std::fabs(ds[static_cast<std::size_t>((i - 1) * 64 + (l - 1))] - mean));
        }
    }
    RecordProperty("ds_max_abs_error", std::to_string(worst));
    std::cout << "realptb010: saved averaged beat within " << worst << " of the mean of the "
              << expected << " beats\n";
    EXPECT_LE(worst, 0.02) << "largest difference of the saved averaged beat";
}

// ---- realsock01: the activation map of 64 real electrograms ----

// Rows where some lead changes fast: the largest central difference of any
// lead over the rows, and the first and last rows of a window where it
// exceeds a fraction of that.
struct Span {
    int first = 0, last = 0;
};

TEST(RealSock01, ActivationOrderOfTheAriFileFollowsTheRecordedDownstrokes) {
    const std::optional<std::filesystem::path> file = real_recording("realsock01.dat");
    if (!file) GTEST_SKIP() << missing("realsock01.dat");
    const RecordingFile recording(*file);
    const Stretch stretch(recording, 0);
    auto store = read_real_stretch("sock01", 0);
    ASSERT_FALSE(HasFailure());
    detect_beats(store->settings, store->recording, store->display, display_last_candidate);
    const std::vector<int> shown = beat_list(*store);

    // Each copy of the beat starts at frame 800 k + 1; its QRS lies 100 to 160
    // frames later.
    int q = 0;
    for (int p : shown)
        if (q == 0 && p >= 201 && p <= 3000 && (p - 1) % 800 >= 100 && (p - 1) % 800 <= 160) q = p;
    ASSERT_NE(q, 0) << "no QRS shown from 201 to 3000";

    // The working beat: row i is sample q − 201 + i of every lead (all copies
    // are the same, so the average is the beat itself).
    auto W = [&](int row, int lead) { return stretch(lead, q - beat_row + row); };
    auto central = [&](int row, int lead) { return W(row + 1, lead) - W(row - 1, lead); };
    auto fastest = [&](int row) {
        int largest = 0;
        for (int l = 1; l <= map_leads; ++l) largest = std::max(largest, std::abs(central(row, l)));
        return largest;
    };
    // The QRS: rows within 100 of the beat where some lead's slope exceeds 5 %
    // of the steepest slope there.
    int steepest = 0;
    for (int row = beat_row - 100; row <= beat_row + 100; ++row)
        steepest = std::max(steepest, fastest(row));
    Span qrs;
    for (int row = beat_row - 100; row <= beat_row + 100; ++row) {
        if (fastest(row) * 20 <= steepest) continue;
        if (qrs.first == 0) qrs.first = row;
        qrs.last = row;
    }
    // The end of the T wave: the last row within 300 after the QRS where some
    // lead still lies 2 % of the largest excursion away from zero.
    int excursion = 0;
    for (int row = qrs.first; row <= qrs.last + 300; ++row)
        for (int l = 1; l <= map_leads; ++l) excursion = std::max(excursion, std::abs(W(row, l)));
    int t_end = 0;
    for (int row = qrs.last; row <= qrs.last + 300; ++row)
        for (int l = 1; l <= map_leads; ++l)
            if (std::abs(W(row, l)) * 50 > excursion) t_end = row;
    ASSERT_GT(qrs.first, 0);
    ASSERT_GT(t_end, qrs.last + 100) << "no T wave after the QRS";

    // P a little before the QRS, J a little after it, E at the end of the T
    // wave; the stimulus mark before P.
    const int c_stimulus = column_nearest_row(qrs.first - 15);
    const int c_p = column_nearest_row(qrs.first - 5);
    const int c_j = column_nearest_row(qrs.last + 5);
    const int c_e = column_nearest_row(t_end);
    const int P = row_of_column(c_p), J = row_of_column(c_j), E = row_of_column(c_e);

    ScratchFolder folder;
    place_recording(*file, folder.data());
    const std::string script = session_start("real", "sock01", 0) + "s\n@click " +
                               std::to_string(column_nearest_sample(q)) + "\ny\nx\nb\ns\n@click " +
                               std::to_string(c_stimulus) + "\n@click " + std::to_string(c_p) +
                               "\n@click " + std::to_string(c_j) + "\n@click " +
                               std::to_string(c_e) + "\ny\nd\nsock\ny\nx\nx\n0\n0\n";
    const SessionRun run = run_session(script, folder);
    ASSERT_EQ(run.exit_code, 0) << run.errors << joined(run.transcript);
    EXPECT_EQ(value_after(run.transcript, selected_label), q);
    int copies = 0;
    for (int p = q - 800 * (q / 800); p <= 3000; p += 800) copies += p >= 201;
    EXPECT_EQ(value_after(run.transcript, averaging_label), 8 * copies);

    const std::optional<AriFile> ari = read_ari(folder.data() / "sock.ari");
    ASSERT_TRUE(ari) << joined(run.transcript);
    EXPECT_EQ(ari->p, P);
    EXPECT_EQ(ari->j, J);
    EXPECT_EQ(ari->e, E);
    EXPECT_EQ(ari->h, 20);

    // Each lead's steepest downstroke: the most negative central difference
    // from P + 7 to J, the earliest of equal ones; AT is its row after P.
    std::vector<double> downstroke(map_leads);
    int equal = 0;
    for (int l = 1; l <= map_leads; ++l) {
        int row = P, most_negative = 0;
        for (int k = P + 7; k <= J; ++k) {
            if (central(k, l) < most_negative) {
                most_negative = central(k, l);
                row = k;
            }
        }
        downstroke[static_cast<std::size_t>(l - 1)] = row - P;
        equal += ari->at[static_cast<std::size_t>(l - 1)] == row - P;
        // Recovery lies where the search may put it: from J + 100 to E.
        EXPECT_GE(ari->rt[static_cast<std::size_t>(l - 1)], J + 100 - P) << "lead " << l;
        EXPECT_LE(ari->rt[static_cast<std::size_t>(l - 1)], E - P) << "lead " << l;
    }
    const double rho = spearman(ari->at, downstroke);
    RecordProperty("selected_beat", q);
    RecordProperty("marks_p_j_e",
                   std::to_string(P) + " " + std::to_string(J) + " " + std::to_string(E));
    RecordProperty("at_spearman", std::to_string(rho));
    RecordProperty("at_equal_to_downstroke", equal);
    std::cout << "realsock01: beat " << q << ", P " << P << " J " << J << " E " << E
              << "; AT rank correlation with the steepest downstrokes " << rho << ", " << equal
              << " of 64 leads equal\n";
    EXPECT_GE(rho, 0.95);
    // The search takes the five-point difference, which may put a downstroke
    // one sample from the central one; lead 27 is the weak electrode, whose
    // slopes are mostly noise.
    std::string differing;
    for (int l = 1; l <= map_leads; ++l) {
        const auto k = static_cast<std::size_t>(l - 1);
        if (ari->at[k] != downstroke[k])
            differing += " lead " + std::to_string(l) + ": " + std::to_string(ari->at[k]) +
                         " for " + std::to_string(downstroke[k]) + ";";
        if (l != 27) {
            EXPECT_LE(std::fabs(ari->at[k] - downstroke[k]), 2.0) << "lead " << l;
        }
    }
    EXPECT_GE(equal, 48) << "AT equal to the steepest central-difference downstroke;" << differing;
}

}  // namespace
}  // namespace mapari::golden_tests
