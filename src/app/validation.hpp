// The arithmetic of measuring the automatic marks against cardiologists'
// marks: which stretches of an imported record to analyse, where a moment of
// the source lies on the averaged beat's rows, the cardiologists' mark of an
// averaged beat, and the summary of the errors.
//
// A moment of the source, in ms from its start, lies in its piece at frame
// (ms - piece's first frame + 1), in the stretch of display second s at sample
// k = frame - 1000 s, and on the averaged beat of an accepted beat at row
// k - (position + shift) + 201: averaging sums row i of the beat aligned at
// q = position + shift from sample q - 201 + i. The cardiologists' mark of an
// averaged beat is the median of that row over the accepted beats whose own
// marks the cardiologist placed; a second cardiologist's marks of the same
// beats are put on the rows alike, to compare the two. Check: the planted marks of a synthetic
// recording put on the rows fall where the automatic marks find them
// (tests/app/test_validation.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "beats/heart_intervals.hpp"
#include "importing/wfdb_annotations.hpp"
#include "store/store.hpp"

namespace mapari {

// A 4-s display stretch of an imported record.
struct StretchPlace {
    std::size_t piece = 0;            // index into the import's pieces, from 0
    long long piece_first_frame = 0;  // the piece's first frame, in source ms from 0
    int display_second = 0;           // of the piece
    bool operator==(const StretchPlace&) const = default;
};

// An accepted beat is the cardiologists' beat whose `N` lies nearest to it,
// when within this many ms.
inline constexpr double beat_match_ms = 150.0;

struct PieceSpan {
    long long first_frame = 0;  // source ms from 0
    long long frames = 0;
};

// The stretches, one every 4 s of the source from the first cardiologists'
// beat to the last (`beats_ms`, source ms in time order) and none overlapping,
// that have a beat of theirs among the samples averaging takes beats at (within
// beat_match_ms), each in the latest piece that holds it whole.
std::vector<StretchPlace> stretches_within(const std::vector<double>& beats_ms,
                                           const std::vector<PieceSpan>& pieces);

// Where an accepted beat lies, in source ms from 0.
double beat_source_ms(const StretchPlace& place, const AcceptedBeat& beat);
// The averaged beat's row of a moment of the source, seen from an accepted beat.
double row_of(double source_ms, const StretchPlace& place, const AcceptedBeat& beat);

enum class MarkKind { q_onset, j_point, t_end };
inline constexpr std::array<MarkKind, 3> mark_kinds = {MarkKind::q_onset, MarkKind::j_point,
                                                       MarkKind::t_end};
const char* mark_name(MarkKind kind);  // "Q onset", "J point", "T end"

struct ExpertRows {
    std::array<std::optional<double>, 3> rows;     // by MarkKind; none: no accepted beat has it
    std::array<std::vector<double>, 3> beat_rows;  // by MarkKind: each marked beat's own row
    int marked_beats = 0;                          // accepted beats matched to a cardiologist's
};

// The cardiologists' marks of the averaged beat of `accepted`; the beats'
// samples are at `rate_hz`.
ExpertRows expert_rows(const std::vector<importing::ExpertBeat>& beats, double rate_hz,
                       const StretchPlace& place, const std::vector<AcceptedBeat>& accepted);

// The difference of two annotators' marks of the same averaged beat, in ms
// (rows are ms apart): `reference`'s row less `annotator`'s, for mark index
// `m` (by MarkKind); none unless both marked it.
std::optional<double> reference_error_ms(const ExpertRows& reference, const ExpertRows& annotator,
                                         std::size_t m);

// The accepted beats that the record's beat labels (RECORD.atr) call
// premature ventricular (`V`): those whose nearest beat label within
// beat_match_ms is one. Averaging should have kept every such beat out.
int premature_ventricular_beats(const std::vector<importing::Annotation>& labels, double rate_hz,
                                const StretchPlace& place,
                                const std::vector<AcceptedBeat>& accepted);

// How far a cardiologist's marks of the beats averaged together scatter about
// their mean, for mark index `m`: the SD pooled over the stretches with two or
// more such marks, sqrt(sum of the squares about each stretch's mean / sum of
// (marks - 1)). Averaging accepts beats of one QRS shape; what their marks
// still differ by is the cardiologist's hand and what truly differs from one
// beat to the next, and a mark of the averaged beat follows neither. A
// stretch compared on the mark of one beat carries that spread whole; a
// median of more, less of it.
struct MarkSpread {
    std::size_t stretches = 0;  // with two or more marks
    std::size_t beats = 0;      // the marks in them
    double sd_ms = 0.0;         // 0 without such a stretch
};
MarkSpread pooled_spread(const std::vector<const ExpertRows*>& stretches, std::size_t m);

// The least SD that marks with no error of their own would show against the
// cardiologist's on the compared stretches, whose marks are over
// `marks_per_stretch` beats: spread * sqrt(mean of 1 / marks). A mean of n
// marks scattering by s scatters by s / sqrt(n); their median, by no less
// when the marks scatter normally. 0 without a compared stretch.
double spread_floor_ms(const MarkSpread& spread, const std::vector<std::size_t>& marks_per_stretch);

struct ErrorSummary {
    std::size_t count = 0;
    double mean_ms = 0.0;
    double sd_ms = 0.0;  // the sample standard deviation; 0 for fewer than two
    double mean_absolute_ms = 0.0;
};
ErrorSummary summarise_errors(const std::vector<double>& errors_ms);

}  // namespace mapari
