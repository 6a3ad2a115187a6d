#include "beats/automatic_marks.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "beats/quantile.hpp"
#include "beats/selection.hpp"

namespace mapari {
namespace {

using RowCurve = Array1<double, averaged_rows>;

constexpr int beat_row = window_rows_before_beat + 1;  // where averaging puts the beat
constexpr int last_clickable_row = beat_window_rows;
constexpr double flat_lead_variance = 1e-6;  // raw units squared
constexpr int iso_window_rows = 20;
constexpr int iso_window_last_row = beat_row - 10;
constexpr double quiet_window_tolerance = 1.2;
constexpr int smoothing_half_width = 2;
constexpr double noise_margin = 2.0;
constexpr int qrs_search_rows = 50;
constexpr double edge_top_fraction = 0.5;
constexpr double edge_bottom_fraction = 0.02;
// Rows over which a curve is seen to level off: longer for the slow T wave,
// so that noise on its tail does not look like its end.
constexpr int qrs_flattening_rows = 10;
constexpr int t_flattening_rows = 20;
constexpr int peak_half_width = 10;  // a peak is no lower than any row this near
// Below these fractions of its peak a wave may level off before the iso-electric
// level (an ST segment, a U wave); a QRS higher up is only between two lobes.
constexpr double qrs_flattening_fraction = 0.25;
constexpr double t_flattening_fraction = 0.5;
constexpr int fewest_fitted_rows = 3;
// Rows each side of a lead's slope and smoothing: 20 ms, shorter than any T
// wave's fall, smooth the noise of a few beats averaged.
constexpr int slope_half_width = 10;
// A lead's T peak lies this near the T peak of all leads; leads whose T wave
// reaches this share of the largest one's have their T end measured: as with
// the QRS's end, a small lead's wave still going on is the heart still
// recovering, and a tenth keeps out leads that hold noise and no T wave.
constexpr int lead_t_peak_spread_rows = 60;
constexpr double lead_t_share = 0.1;
// The steepest point of a fall lies near its middle, well above this fraction of the peak.
constexpr double lead_t_fall_fraction = 0.2;
// How far the trapezium's chord reaches past the steepest point of a fall: a
// T wave has levelled off within 150 ms of its steepest fall, a QRS edge
// within 80.
constexpr int trapezium_reach_rows = 150;
constexpr int qrs_trapezium_rows = 80;
// On a fall shaped as an erf of width w (the integral of a Gaussian), the
// trapezium with the QRS's chord turns 2.5 w past the steepest point when the
// fall is as sharp as a QRS's edge (w 5 ms); the fall has ended, to the eye,
// at 3 w: 3 / 2.5 times as far.
constexpr double fall_end_per_turn = 3.0 / 2.5;
// The trapezium sees a curve smoothed over 20 rows, so where it finds the QRS
// turning up lies at most that far after the QRS's foot: a cube-root line
// reaching further back was carried out by a small early lobe (a Q wave).
constexpr int q_onset_before_turn_rows = 2 * slope_half_width;
// Of the tallest QRS: a lead whose QRS onset counts, and one whose QRS end
// counts. Before the QRS a small lead may still show the end of the P wave,
// which its own onset cannot be told from; after the QRS's peak nothing of the
// atria follows, and a small lead's S wave still going on is the QRS going on
// (the slow ST segment after it the trapezium sees level).
constexpr double qrs_onset_lead_share = 0.25;
constexpr double qrs_end_lead_share = 0.1;
constexpr int settled_rows = 40;  // at rest this long, the beat has come to rest
// No beat follows another this soon: the ventricles cannot yet be excited
// again. A beat found sooner was a large T wave taken for one.
constexpr int refractory_rows = 300;
// Of the largest wave after J: a wave before a found beat that reaches it is a T wave.
constexpr double t_share_before_found_beat = 0.25;
// Of that wave's peak: a wave that has not come down below it before a found
// beat's QRS would begin is still falling there, and the found beat stands on
// its fall.
constexpr double wave_down_share = 0.5;
// A curve rising to this many times its lowest since a lobe's peak climbs a further lobe.
constexpr double lobe_rise = 2.0;
// Of the QRS's largest velocity: above it the QRS is still going on. Lower
// than the rest velocity: the late lobe of a split QRS moves slowly beside its
// sharp first one, yet still several times faster than a T wave.
constexpr double moving_velocity_fraction = 0.1;
constexpr double quiet_velocity_fraction = 0.3;  // of the QRS's largest velocity
constexpr int t_peak_search_rows = 400;          // after J; a later hump belongs to the next beat
constexpr int stimulus_search_rows = 100;
constexpr double spike_to_qrs_curvature = 3.0;
constexpr double spike_to_noise_curvature = 5.0;
constexpr int spike_rows = 2;  // a pacing spike rises and falls within a few rows
constexpr int spike_widest_rows = 16;
constexpr int paced_qrs_search_rows = 150;  // from the spike to the peak of its QRS
constexpr double paced_qrs_share = 0.1;     // of the spike's height

struct BeatCurves {
    Array1<bool, lead_count> active{};
    int active_leads = 0;
    Array1<double, lead_count> baseline{};
    int iso_first_row = 0;
    double noise_variance = 0.0;  // per lead, in the iso-electric window
    double noise_level = 0.0;     // signal RMS up to this is taken as noise
    RowCurve deviation{};         // RMS over the leads about their baselines, as it stands
    RowCurve signal_rms{};        // the same smoothed, the noise taken out
    RowCurve velocity{};          // RMS over the leads of the central first difference
    RowCurve curvature{};         // RMS over the leads of the second difference
};

// Leads whose sums over the rows are formed side by side: each lead's sums
// still run down its rows in order, but the additions of four leads overlap
// rather than each waiting for the one before.
constexpr int leads_side_by_side = 4;
static_assert(lead_count % leads_side_by_side == 0);

void mark_active_leads(const Beat& beat, const LeadsLeftOut& left_out, BeatCurves& curves) {
    constexpr auto side_by_side = static_cast<std::size_t>(leads_side_by_side);
    for (int first = 1; first <= lead_count; first += leads_side_by_side) {
        std::array<const float*, side_by_side> columns{};
        for (std::size_t j = 0; j < side_by_side; ++j)
            columns[j] = beat.averaged.column(first + static_cast<int>(j));
        std::array<double, side_by_side> sum{}, mean{}, squares{};
        for (std::size_t r = 0; r < averaged_rows; ++r)
            for (std::size_t j = 0; j < side_by_side; ++j) sum[j] += columns[j][r];
        for (std::size_t j = 0; j < side_by_side; ++j) mean[j] = sum[j] / averaged_rows;
        for (std::size_t r = 0; r < averaged_rows; ++r)
            for (std::size_t j = 0; j < side_by_side; ++j)
                squares[j] += (columns[j][r] - mean[j]) * (columns[j][r] - mean[j]);
        for (std::size_t j = 0; j < side_by_side; ++j)
            curves.active(first + static_cast<int>(j)) =
                squares[j] / averaged_rows > flat_lead_variance;
    }
    const auto kept = [&](int l) { return !left_out[static_cast<std::size_t>(l - 1)]; };
    bool any_kept = false;
    for (int l = 1; l <= lead_count; ++l) any_kept = any_kept || (curves.active(l) && kept(l));
    for (int l = 1; l <= lead_count; ++l) {
        if (any_kept && !kept(l)) curves.active(l) = false;
        if (curves.active(l)) ++curves.active_leads;
    }
}

constexpr int last_iso_first_row = iso_window_last_row - iso_window_rows + 1;
using WindowVariances = std::array<double, last_iso_first_row>;  // element first row - 1

// The variance of the active leads about their own means over each window of
// iso_window_rows rows from first row 1 to last_iso_first_row, averaged over
// them. Each window's sums run over its rows in order and its total over the
// leads in order, as they would for that window alone; taking the windows
// side by side lets the compiler form several at once.
WindowVariances window_variances(const Beat& beat, const BeatCurves& curves) {
    WindowVariances total{};
    for (int l = 1; l <= lead_count; ++l) {
        if (!curves.active(l)) continue;
        const float* column = beat.averaged.column(l);
        WindowVariances sum{}, squares{};
        for (std::size_t r = 0; r < iso_window_rows; ++r)
            for (std::size_t w = 0; w < sum.size(); ++w) sum[w] += column[w + r];
        WindowVariances mean{};
        for (std::size_t w = 0; w < sum.size(); ++w) mean[w] = sum[w] / iso_window_rows;
        for (std::size_t r = 0; r < iso_window_rows; ++r)
            for (std::size_t w = 0; w < sum.size(); ++w)
                squares[w] += (column[w + r] - mean[w]) * (column[w + r] - mean[w]);
        for (std::size_t w = 0; w < sum.size(); ++w) total[w] += squares[w] / iso_window_rows;
    }
    for (double& variance : total) variance /= curves.active_leads;
    return total;
}

// The latest quiet window before the beat: the nearest to the QRS of those
// about as quiet as the quietest, so a wave before it cannot shift the baseline.
void find_iso_window(const Beat& beat, BeatCurves& curves) {
    const WindowVariances variances = window_variances(beat, curves);
    const auto variance_from = [&variances](int first_row) {
        return variances[static_cast<std::size_t>(first_row - 1)];
    };
    double quietest = std::numeric_limits<double>::max();
    for (int first = 1; first <= last_iso_first_row; ++first)
        quietest = std::min(quietest, variance_from(first));
    int first = last_iso_first_row;
    while (first > 1 && variance_from(first) > quiet_window_tolerance * quietest) --first;
    curves.iso_first_row = first;
    curves.noise_variance = variance_from(first);
    for (int l = 1; l <= lead_count; ++l) {
        double sum = 0.0;
        for (int r = first; r < first + iso_window_rows; ++r) sum += beat.averaged(r, l);
        curves.baseline(l) = sum / iso_window_rows;
    }
}

// Each row's sums over the active leads in the order of the leads, the rows
// side by side: a lead at a time down its rows, which the compiler takes
// several rows at once, where a row at a time read the leads 4 KB apart.
void form_spatial_curves(const Beat& beat, BeatCurves& curves) {
    const double leads = curves.active_leads;
    using RowSums = std::array<double, averaged_rows>;  // element row - 1
    RowSums power{}, first_power{}, second_power{};
    for (int l = 1; l <= lead_count; ++l) {
        if (!curves.active(l)) continue;
        const float* column = beat.averaged.column(l);
        const double baseline = curves.baseline(l);
        RowSums values;
        for (std::size_t at = 0; at < averaged_rows; ++at) {
            values[at] = column[at];
            power[at] += (values[at] - baseline) * (values[at] - baseline);
        }
        // The inner rows, 2 to averaged_rows - 1, with a row on either side.
        for (std::size_t at = 1; at + 1 < averaged_rows; ++at) {
            const double value = values[at], before = values[at - 1], after = values[at + 1];
            first_power[at] += (after - before) * (after - before) / 4.0;
            second_power[at] += (after - 2.0 * value + before) * (after - 2.0 * value + before);
        }
    }
    for (int r = 1; r <= averaged_rows; ++r) {
        const auto at = static_cast<std::size_t>(r - 1);
        curves.deviation(r) = std::sqrt(power[at] / leads);
        curves.velocity(r) = std::sqrt(first_power[at] / leads);
        curves.curvature(r) = std::sqrt(second_power[at] / leads);
    }
}

void form_signal_rms(BeatCurves& curves) {
    for (int r = 1; r <= averaged_rows; ++r) {
        const int first = std::max(1, r - smoothing_half_width);
        const int last = std::min(averaged_rows, r + smoothing_half_width);
        double power = 0.0;
        for (int k = first; k <= last; ++k) power += curves.deviation(k) * curves.deviation(k);
        power = power / (last - first + 1) - curves.noise_variance;
        curves.signal_rms(r) = std::sqrt(std::max(power, 0.0));
    }
    // Rows whose smoothing reaches out of the window could take in a pacing spike beside it.
    double largest_noise = 0.0;
    const int first = curves.iso_first_row + smoothing_half_width;
    for (int r = first; r < curves.iso_first_row + iso_window_rows - smoothing_half_width; ++r)
        largest_noise = std::max(largest_noise, curves.signal_rms(r));
    curves.noise_level = noise_margin * largest_noise;
}

// Row of the largest value of a curve over first..last, the earliest on ties.
int row_of_largest(const RowCurve& curve, int first, int last) {
    int best = first;
    for (int r = first + 1; r <= last; ++r)
        if (curve(r) > curve(best)) best = r;
    return best;
}

// One edge of a wave, followed from the wave's peak one row at a time in
// direction `step` (-1 toward the onset, +1 toward the end), never past `bound`.
struct Edge {
    int peak_row = 0;
    int step = 1;
    int bound_row = 1;
    double bottom_level = 0.0;      // the edge has reached the iso-electric level below this
    double flattening_level = 0.0;  // below this the curve may level off above that level
    int flattening_rows = 0;
    double busy_velocity = 0.0;  // where the velocity reaches this, the wave is still going on

    bool reaches(int row) const { return step > 0 ? row <= bound_row : row >= bound_row; }
};

// The rows of an edge from half the peak down to the bottom level (the last
// such run, after any later lobe of the wave), and where the walk stopped.
struct EdgeWalk {
    int fit_first = 0, fit_last = 0;
    int lobe_peak_row = 0;  // of the last lobe walked down
    int stop_row = 0;
    bool stopped_above = false;  // where the curve flattened or at the bound
};

// A straight line through the cube root of the curve: slope × (row − zero_row).
struct CubeRootLine {
    double slope = 0.0;
    double zero_row = 0.0;

    double value_cubed(int row) const {
        const double root = slope * (row - zero_row);
        return root * root * root;
    }
};

// Whether the curve no longer falls away from the peak: its mean over the next
// `flattening_rows` rows is as high as over the last ones up to here (means, so
// that noise on a slow tail does not end the edge), with the velocity low all
// the while (so that the dip between two lobes of a QRS does not end it either).
bool has_flattened(const BeatCurves& curves, const Edge& edge, int row) {
    if (!edge.reaches(row + edge.step * edge.flattening_rows)) return false;
    double last_sum = 0.0, next_sum = 0.0;
    for (int k = 0; k < edge.flattening_rows; ++k) {
        if (curves.velocity(row + edge.step * k) >= edge.busy_velocity) return false;
        last_sum += curves.signal_rms(row - edge.step * k);
        next_sum += curves.signal_rms(row + edge.step * (k + 1));
    }
    return next_sum >= last_sum;
}

// Whether the beat is still moving at the row: a low curve there is a dip
// between two lobes of the wave (a notched or split QRS), not its end.
bool is_busy(const BeatCurves& curves, const Edge& edge, int row) {
    return curves.velocity(row) >= edge.busy_velocity;
}

EdgeWalk follow_edge(const BeatCurves& curves, const Edge& edge) {
    const RowCurve& rms = curves.signal_rms;
    // The lobe being walked down: its peak, and the lowest the curve has come since.
    double lobe_peak = rms(edge.peak_row), lobe_low = lobe_peak;
    EdgeWalk walk;
    int row = edge.peak_row;
    while (rms(row) > edge.bottom_level || (is_busy(curves, edge, row) && row != edge.bound_row)) {
        lobe_low = std::min(lobe_low, rms(row));
        if (rms(row) > lobe_rise * lobe_low + edge.bottom_level) lobe_peak = lobe_low = rms(row);
        if (rms(row) >= lobe_peak) {
            lobe_peak = rms(row);
            walk.lobe_peak_row = row;
        }
        if (rms(row) > edge_top_fraction * lobe_peak)
            walk.fit_first = 0;
        else if (walk.fit_first == 0)
            walk.fit_first = row;
        const bool low = rms(row) <= edge.flattening_level;
        if (row == edge.bound_row || (low && has_flattened(curves, edge, row))) {
            walk.stopped_above = true;
            break;
        }
        row += edge.step;
    }
    walk.stop_row = row;
    if (walk.fit_first == 0) walk.fit_first = row;
    walk.fit_last = walk.stopped_above ? row : row - edge.step;
    return walk;
}

// The least-squares line through the cube root of the curve over the walk's
// fitted rows; false when there are too few or the line does not fall away
// from the peak.
bool fit_cube_root_line(const RowCurve& rms, const Edge& edge, const EdgeWalk& walk,
                        CubeRootLine& line) {
    const int lower = std::min(walk.fit_first, walk.fit_last);
    const int upper = std::max(walk.fit_first, walk.fit_last);
    if ((walk.fit_last - walk.fit_first) * edge.step + 1 < fewest_fitted_rows) return false;
    const double count = upper - lower + 1;
    double row_sum = 0.0, root_sum = 0.0;
    for (int r = lower; r <= upper; ++r) {
        row_sum += r;
        root_sum += std::cbrt(rms(r));
    }
    const double row_mean = row_sum / count, root_mean = root_sum / count;
    double cross = 0.0, spread = 0.0;
    for (int r = lower; r <= upper; ++r) {
        cross += (r - row_mean) * (std::cbrt(rms(r)) - root_mean);
        spread += (r - row_mean) * (r - row_mean);
    }
    line.slope = cross / spread;
    if (!(line.slope * edge.step < 0.0)) return false;
    line.zero_row = row_mean - root_mean / line.slope;
    return true;
}

// The line's zero, or nearer: walking out from the fitted rows, the first row
// where the curve lies well below a line that still stands above the bottom
// level shows that the wave ended more sharply than the line assumes; it ends
// there.
double believed_end(const BeatCurves& curves, const Edge& edge, const CubeRootLine& line,
                    int from_row) {
    int row = from_row + edge.step;
    for (; (row - line.zero_row) * edge.step < 0.0; row += edge.step) {
        if (!edge.reaches(row)) return row - edge.step;
        const double expected = line.value_cubed(row);
        if (expected > edge.bottom_level && curves.signal_rms(row) < 0.5 * expected &&
            !is_busy(curves, edge, row))
            return row;
    }
    return line.zero_row;
}

// The row where the edge ends: the zero of the cube-root line, held back to
// where the walk stopped when the curve flattened or met the bound above the
// bottom level.
double edge_end(const BeatCurves& curves, const Edge& edge) {
    const EdgeWalk walk = follow_edge(curves, edge);
    double end = walk.stop_row;
    CubeRootLine line;
    if (fit_cube_root_line(curves.signal_rms, edge, walk, line))
        end = believed_end(curves, edge, line, walk.fit_last);
    if (walk.stopped_above) {
        const double stop = walk.stop_row;
        end = edge.step > 0 ? std::min(end, stop) : std::max(end, stop);
    }
    return end;
}

// Where a fall that turned level at `turn` after its steepest point ends:
// the trapezium turns where a fall shaped as an erf still has 0.6 % of it to
// go (2.5 widths past its steepest point with the QRS's chord); the eye sees
// that much and puts the end where no fall is left to see, three widths on,
// `fall_end_per_turn` times as far from the steepest point. The end goes no
// further than the curve keeps from rising: a rise is the next lobe or the ST
// segment, not the fall.
int fall_end(const RowCurve& curve, const Edge& edge, int steepest, int turn) {
    const int farthest =
        steepest + static_cast<int>(std::lround(fall_end_per_turn * (turn - steepest)));
    int end = turn;
    while (end < farthest && end < averaged_rows && edge.reaches(end + 1) &&
           curve(end + 1) <= curve(end))
        ++end;
    return end;
}

// Where the curve turns level after the steepest fall of the edge's last
// lobe: the row k that gives the trapezium under the chord from the steepest
// row to k, and on level to a row well past the fall, the largest area. It
// needs no level to fall to, so an ST segment above the baseline ends the QRS
// where it begins, and a slowly fading tail does not carry the end along.
double trapezium_end(const RowCurve& rms, const Edge& edge, const EdgeWalk& walk) {
    const int step = edge.step;
    int steepest = walk.lobe_peak_row;
    for (int r = walk.lobe_peak_row; r != walk.stop_row && edge.reaches(r + step); r += step)
        if (rms(r - step) - rms(r + step) > rms(steepest - step) - rms(steepest + step))
            steepest = r;
    int reach = steepest;
    while (std::abs(reach - steepest) < qrs_trapezium_rows && edge.reaches(reach + step) &&
           reach + step >= 1 && reach + step <= averaged_rows)
        reach += step;
    int end = steepest;
    double largest_area = 0.0;
    for (int k = steepest + step; k != reach + step; k += step) {
        const double area =
            (rms(steepest) - rms(k)) * (std::abs(reach - k) + std::abs(reach - steepest));
        if (area > largest_area) {
            largest_area = area;
            end = k;
        }
    }
    return step > 0 ? fall_end(rms, edge, steepest, end) : end;
}

// The latest of the leads' ends of a wave that is no outlier: not beyond the
// upper quartile by more than one and a half times the spread between the
// quartiles (Tukey's fence). A small lead whose QRS edge is lost in a slow
// wave beside it (a P wave before, an ST segment after) ends far out from the
// others and is left out; leads that end late together are kept. 0 for no ends.
double latest_within_fence(std::vector<double> ends) {
    if (ends.empty()) return 0.0;
    std::sort(ends.begin(), ends.end());
    const double upper = sorted_quantile(ends, 0.75);
    const double fence = upper + 1.5 * (upper - sorted_quantile(ends, 0.25));
    double latest = ends.front();
    for (double end : ends)
        if (end <= fence) latest = end;
    return latest;
}

// Where the QRS of the leads with a fair QRS ends in the direction `step`,
// the outermost over them (within Tukey's fence): in each lead, the trapezium
// end of what is left of its deflections from each row on in that direction
// up to `bound` (the largest share of its height there), which falls as each
// of its lobes ends and lies level once the last one has. A lead whose QRS
// starts early or ends late counts however small it is beside the others.
double outermost_lead_qrs_edge(const Beat& beat, const BeatCurves& curves, int qrs_peak, int step,
                               int bound) {
    const int near = step > 0 ? std::max(1, qrs_peak - qrs_search_rows)
                              : std::min(averaged_rows, qrs_peak + qrs_search_rows);
    Array1<double, lead_count> height{};
    double tallest = 0.0;
    for (int l = 1; l <= lead_count; ++l) {
        if (!curves.active(l)) continue;
        for (int r = near; r != bound + step; r += step)
            height(l) = std::max(height(l), std::abs(beat.averaged(r, l) - curves.baseline(l)));
        tallest = std::max(tallest, height(l));
    }
    const Edge edge{qrs_peak, step, bound, 0.0, 0.0, 0, 0.0};
    const double share = step > 0 ? qrs_end_lead_share : qrs_onset_lead_share;
    std::vector<double> ends;
    RowCurve left{};
    for (int l = 1; l <= lead_count; ++l) {
        if (!curves.active(l) || height(l) < share * tallest) continue;
        double most = 0.0;
        for (int r = bound; r != near - step; r -= step) {
            most = std::max(most, std::abs(beat.averaged(r, l) - curves.baseline(l)) / height(l));
            left(r) = most;
        }
        EdgeWalk walk;
        walk.lobe_peak_row = near;
        while (left(walk.lobe_peak_row + step) >= 1.0) walk.lobe_peak_row += step;
        walk.stop_row = bound;
        ends.push_back(step * trapezium_end(left, edge, walk));
    }
    return step * latest_within_fence(ends);
}

// The end of an edge of the QRS: where it turns level, held back to where
// the walk stopped when the curve flattened or met the bound.
double qrs_edge_end(const BeatCurves& curves, const Edge& edge) {
    const EdgeWalk walk = follow_edge(curves, edge);
    double end = trapezium_end(curves.signal_rms, edge, walk);
    if (walk.stopped_above) {
        const double stop = walk.stop_row;
        end = edge.step > 0 ? std::min(end, stop) : std::max(end, stop);
    }
    return end;
}

std::int32_t nearest_row(double row) {
    const double held = std::clamp(row, 1.0, double(averaged_rows));
    return static_cast<std::int32_t>(std::lround(held));
}

// Largest curve value over rows first..last.
double largest_in(const RowCurve& curve, int first, int last) {
    return curve(row_of_largest(curve, first, last));
}

// Smallest curve value over rows first..last.
double smallest_in(const RowCurve& curve, int first, int last) {
    double smallest = curve(first);
    for (int r = first + 1; r <= last; ++r) smallest = std::min(smallest, curve(r));
    return smallest;
}

// The largest local maximum over first..last: a row no lower than any within
// `peak_half_width` of it, all of them inside the range; 0 when there is none.
int largest_local_peak(const RowCurve& curve, int first, int last) {
    int best = 0;
    for (int r = first + peak_half_width; r <= last - peak_half_width; ++r) {
        if (best != 0 && curve(r) <= curve(best)) continue;
        bool highest_around = true;
        for (int k = r - peak_half_width; k <= r + peak_half_width && highest_around; ++k)
            highest_around = curve(k) <= curve(r);
        if (highest_around) best = r;
    }
    return best;
}

// The mean velocity over the iso-electric window: how fast the noise moves.
double iso_window_velocity(const BeatCurves& curves) {
    double velocity = 0.0;
    for (int r = curves.iso_first_row + 1; r < curves.iso_first_row + iso_window_rows - 1; ++r)
        velocity += curves.velocity(r) / (iso_window_rows - 2);
    return velocity;
}

// The QRS peak, and the velocity below which the beat is at rest.
struct Qrs {
    int peak_row = 0;
    double quiet_velocity = 0.0;
    double moving_velocity = 0.0;  // at or above it, the QRS goes on
    // Rising to it again after J, the beat moves as the next beat begins.
    double next_beat_velocity = 0.0;
};

// The QRS peaking at `peak_row` whose largest velocity is `fastest`: the
// velocities at rest and moving are fractions of it, but clear of the noise.
Qrs qrs_at(const BeatCurves& curves, int peak_row, double fastest) {
    const double iso_velocity = iso_window_velocity(curves);
    const double quiet = std::max(quiet_velocity_fraction * fastest, noise_margin * iso_velocity);
    return {peak_row, quiet,
            std::max(moving_velocity_fraction * fastest, noise_margin * iso_velocity), quiet};
}

Qrs find_qrs_peak(const BeatCurves& curves) {
    const int first = beat_row - qrs_search_rows, last = beat_row + qrs_search_rows;
    return qrs_at(curves, row_of_largest(curves.signal_rms, first, last),
                  largest_in(curves.velocity, first, last));
}

// The rows of a pacing spike: from the first to the last at half its height.
struct Spike {
    int first_row = 0, last_row = 0;
};

// A pacing spike larger than its QRS, which the QRS search took for the QRS:
// narrow (at half its height for no more rows than a spike sampled as slowly
// as 250 Hz spreads over, fewer than any QRS), and followed, within the time
// a paced QRS takes to peak, by a wave of a fair share of its height that
// turns far less sharply. Then `qrs` becomes that wave.
bool spike_before_qrs(const BeatCurves& curves, Qrs& qrs, Spike& spike) {
    const double half = 0.5 * curves.deviation(qrs.peak_row);
    spike.first_row = spike.last_row = qrs.peak_row;
    while (spike.first_row > 1 && curves.deviation(spike.first_row - 1) >= half) --spike.first_row;
    while (spike.last_row < averaged_rows && curves.deviation(spike.last_row + 1) >= half)
        ++spike.last_row;
    if (spike.last_row - spike.first_row + 1 > spike_widest_rows) return false;
    const int after = std::min(averaged_rows, spike.last_row + spike_rows);
    const int wave_peak = largest_local_peak(
        curves.signal_rms, after, std::min(averaged_rows, qrs.peak_row + paced_qrs_search_rows));
    if (wave_peak == 0 ||
        curves.signal_rms(wave_peak) < paced_qrs_share * curves.signal_rms(qrs.peak_row))
        return false;
    // The wave about its peak, clear of the spike's tail.
    const int core_first = std::max(after, wave_peak - spike_widest_rows);
    const int core_last = std::min(averaged_rows, wave_peak + spike_widest_rows);
    if (spike_to_qrs_curvature * largest_in(curves.curvature, core_first, core_last) >
        largest_in(curves.curvature, spike.first_row, spike.last_row))
        return false;
    const int wave_last = std::min(averaged_rows, wave_peak + qrs_search_rows);
    // The next paced beat begins with a spike as fast as this one; the fall of
    // a T wave can be faster than the slow paced QRS at its rest.
    const double next_beat_velocity = qrs.next_beat_velocity;
    qrs = qrs_at(curves, wave_peak, largest_in(curves.velocity, core_first, wave_last));
    qrs.next_beat_velocity = next_beat_velocity;
    // A paced QRS spreads slowly from one site, with no sharp lobe beside a
    // slow one: where it moves slower than at rest, it has ended.
    qrs.moving_velocity = qrs.quiet_velocity;
    return true;
}

// The first row after J where the velocity, having come to rest for a while,
// rises again: the next beat (its spike or its QRS). A moment of rest within a
// wide QRS is no rest.
int next_beat_row(const BeatCurves& curves, const Qrs& qrs, int j_point) {
    int row = std::max(j_point, 2), rest_rows = 0;
    for (; row < averaged_rows && rest_rows < settled_rows; ++row)
        rest_rows = curves.velocity(row) < qrs.quiet_velocity ? rest_rows + 1 : 0;
    while (row < averaged_rows && curves.velocity(row) < qrs.next_beat_velocity) ++row;
    return row;
}

// The first row of a pacing spike before the Q onset, or 0 when there is none.
std::int32_t find_stimulus(const BeatCurves& curves, int q_onset, double qrs_curvature) {
    const int first = std::max(2, q_onset - stimulus_search_rows), last = q_onset - 1;
    if (last < first) return 0;
    const int spike_row = row_of_largest(curves.curvature, first, last);
    // The window's inner rows: the curvature of its edge rows takes in the rows beside it.
    double iso_curvature = 0.0;
    for (int r = curves.iso_first_row + 1; r < curves.iso_first_row + iso_window_rows - 1; ++r)
        iso_curvature += curves.curvature(r) / (iso_window_rows - 2);
    const double spike = curves.curvature(spike_row);
    if (spike < spike_to_qrs_curvature * qrs_curvature ||
        spike < spike_to_noise_curvature * iso_curvature || spike == 0.0)
        return 0;
    const int spike_first = std::max(1, spike_row - spike_rows);
    const double top = largest_in(curves.deviation, spike_first, spike_row + spike_rows);
    int row = spike_first;
    while (curves.deviation(row) < 0.5 * top) ++row;
    return row;
}

// An edge of the QRS peaking at `qrs`, followed in the direction `step`.
Edge qrs_edge(const BeatCurves& curves, const Qrs& qrs, int step) {
    const double peak = curves.signal_rms(qrs.peak_row);
    return {qrs.peak_row,
            step,
            step < 0 ? 1 : averaged_rows,
            std::max(curves.noise_level, edge_bottom_fraction * peak),
            qrs_flattening_fraction * peak,
            qrs_flattening_rows,
            qrs.moving_velocity};
}

// The earliest row the Q onset may take, whatever the leads' onsets.
double q_onset_floor_of(const BeatCurves& curves, const Edge& onset_edge) {
    return qrs_edge_end(curves, onset_edge) - q_onset_before_turn_rows;
}

// The Q onset and the J point; `q_onset_floor` is the earliest row the Q
// onset may take, whatever the leads' onsets.
void find_qrs_edges(const Beat& beat, const BeatCurves& curves, const Qrs& qrs,
                    AutomaticMarks& marks, double& q_onset_floor) {
    const Edge onset_edge = qrs_edge(curves, qrs, -1);
    marks.q_onset = nearest_row(edge_end(curves, onset_edge));
    q_onset_floor = q_onset_floor_of(curves, onset_edge);
    const Edge end_edge = qrs_edge(curves, qrs, +1);
    const double rms_end = qrs_edge_end(curves, end_edge);
    const int last = std::min(averaged_rows, nearest_row(rms_end) + qrs_trapezium_rows);
    marks.j_point = nearest_row(
        std::max(rms_end, outermost_lead_qrs_edge(beat, curves, qrs.peak_row, +1, last)));
}

// Where a paced QRS ends, no later than `j_point`: the first row after its
// peak, once the curve has come down to a quarter of that peak (higher up, a
// slow moment lies between two lobes), where the beat, on the mean over the
// rows about it, moves no faster than twice the iso-electric window's noise.
// What moves slower is lost in the noise: no fall is left to see there. A
// paced QRS spreads slowly from one site and its last edge ends abruptly in
// an ST segment that slopes on at about the pace of the noise (the secondary
// repolarisation of a paced beat); the trapezium and the end of the fall
// follow that slope until it levels off, where readers end the QRS at the
// turn. Without noise nothing sinks into it, and the J point stays.
int paced_qrs_end(const BeatCurves& curves, const Qrs& qrs, int j_point) {
    const double rest = noise_margin * iso_window_velocity(curves);
    const double low = qrs_flattening_fraction * curves.signal_rms(qrs.peak_row);
    for (int row = qrs.peak_row; row < j_point; ++row) {
        const int first = std::max(1, row - smoothing_half_width);
        const int last = std::min(averaged_rows, row + smoothing_half_width);
        double sum = 0.0;
        for (int r = first; r <= last; ++r) sum += curves.velocity(r);
        if (sum < rest * (last - first + 1) && curves.signal_rms(row) <= low) return row;
    }
    return j_point;
}

// Whether a spike's tail runs into its QRS: once the spike's own fall is
// over, one width past its last row at half height (for a Gaussian spike 3.5
// standard deviations from its peak, where 0.2 % of it is left), the leads
// stay off their baselines over the next width of rows, on the mean, by as
// large a share of the spike's height as makes a wave after a spike its QRS
// (paced_qrs_share). The signal does not come back to the iso-electric level
// between the two, so the QRS's own onset cannot be seen. Ringing about the
// baseline, as a spike resampled from a low rate shows, averages out.
bool tail_runs_into_qrs(const Beat& beat, const BeatCurves& curves, const Spike& spike) {
    const int width = spike.last_row - spike.first_row + 1;
    const int first = spike.last_row + width + 1;
    const int last = std::min(averaged_rows, first + width - 1);
    if (first > last) return false;
    double power = 0.0;
    for (int l = 1; l <= lead_count; ++l) {
        if (!curves.active(l)) continue;
        double sum = 0.0;
        for (int r = first; r <= last; ++r) sum += beat.averaged(r, l) - curves.baseline(l);
        const double offset = sum / (last - first + 1);
        power += offset * offset;
    }
    const double tail = std::sqrt(power / curves.active_leads);
    return tail >= paced_qrs_share * largest_in(curves.deviation, spike.first_row, spike.last_row);
}

// The stimulus and the Q onset of a beat led by a spike larger than its QRS
// (`spike_qrs`, the spike taken for a QRS). Where the signal comes back to the
// iso-electric level after the spike, the QRS begins as the spike ends: what
// lies between is the spike's own tail. Where the tail runs into the QRS, the
// QRS's own onset is hidden, and the complex begins where the spike leaves
// the iso-electric level, found as any QRS onset is with the spike as its
// first lobe: a paced QRS is measured from its stimulus; a spike spread over
// many rows by a slow sampling rate rises well before its half height; a
// fusion beat's own QRS may begin before the pacer fires. The Q onset there
// is a baseline point on the iso-electric level, as every Q onset is, where
// the end of the spike lies far off it. The stimulus is no later than it.
void mark_paced_onset(const Beat& beat, const BeatCurves& curves, const Qrs& spike_qrs,
                      const Spike& spike, AutomaticMarks& marks) {
    marks.stimulus = spike.first_row;
    marks.q_onset = spike.last_row + 1;
    if (!tail_runs_into_qrs(beat, curves, spike)) return;
    const Edge onset_edge = qrs_edge(curves, spike_qrs, -1);
    marks.q_onset = std::max(nearest_row(edge_end(curves, onset_edge)),
                             nearest_row(q_onset_floor_of(curves, onset_edge)));
    marks.stimulus = std::min(marks.stimulus, marks.q_onset);
}

// The QRS goes on wherever the beat moves as fast as a QRS still going on
// (its moving velocity), and no P wave moves that fast: a row that does,
// between the onset found and `earliest` (the floor: as far before the QRS's
// turn as the trapezium's smoothing can hide its foot), belongs to the QRS. A
// small sharp first deflection, a few per cent of the QRS's height, set apart
// from its rise by a pause, is seen so, which the cube-root line, ending
// where the curve levels off in the pause, does not see. The onset is the row
// before the earliest such row (the velocity is a central difference).
int first_deflection_row(const BeatCurves& curves, const Qrs& qrs, int q_onset, int earliest) {
    int onset = q_onset;
    for (int r = q_onset - 1; r > std::max(1, earliest); --r)
        if (curves.velocity(r) >= qrs.moving_velocity) onset = r - 1;
    return onset;
}

// One lead's T wave about its baseline, and the slope of the line through
// its rows from `slope_half_width` before a row to as many after.
struct LeadWave {
    const Beat& beat;
    int lead;
    double baseline;

    double value(int row) const { return beat.averaged(row, lead) - baseline; }
    double smoothed(int row) const {
        double sum = 0.0;
        for (int k = row - slope_half_width; k <= row + slope_half_width; ++k) sum += value(k);
        return sum / (2 * slope_half_width + 1);
    }
    double slope(int row) const {
        return (value(row + slope_half_width) - value(row - slope_half_width)) /
               (2.0 * slope_half_width);
    }
};

// Where one lead's T wave ends, by two methods; 0 where it shows no end.
struct LeadTEnd {
    double trapezium = 0.0;
    double tangent = 0.0;
};

// Where the lead's T wave ends after its peak at the row `peak`, by the
// trapezium of largest area: from the steepest point of the fall, a chord to
// each later row and on, level, to a row well past the fall; the row where
// the area under it is largest is where the curve turns from falling to lying
// level. No end when the wave does not fall to a fifth of its peak before
// `limit` (it does not return to the baseline) or the next beat comes too
// soon. The tangent at the steepest point, met with the iso-electric level,
// is the other end, kept to measure the two against cardiologists.
LeadTEnd lead_t_end(const LeadWave& wave, int peak, int limit) {
    const double sign = wave.value(peak) > 0.0 ? 1.0 : -1.0;
    const double low = lead_t_fall_fraction * sign * wave.value(peak);
    int steepest = 0, r = peak + 1;
    for (; r <= limit - slope_half_width && sign * wave.value(r) > low; ++r)
        if (steepest == 0 || sign * wave.slope(r) < sign * wave.slope(steepest)) steepest = r;
    if (r > limit - slope_half_width || steepest == 0 || !(sign * wave.slope(steepest) < 0.0))
        return {};
    // The chord reaches a fixed time past the steepest point: reaching on with
    // a broad wave would follow a slowly fading tail as far as it fades. The
    // next beat may cut the chord short; the end of the rows may not: a wave
    // still falling there shows no end.
    int reach = steepest + trapezium_reach_rows;
    if (reach > limit - slope_half_width) {
        if (limit >= averaged_rows - smoothing_half_width) return {};
        reach = limit - slope_half_width;
    }
    int end = steepest;
    double largest_area = 0.0;
    const double at_steepest = wave.smoothed(steepest);
    for (int k = steepest + 1; k <= reach; ++k) {
        const double area = sign * (at_steepest - wave.smoothed(k)) * (2.0 * reach - k - steepest);
        if (area > largest_area) {
            largest_area = area;
            end = k;
        }
    }
    return {static_cast<double>(end), steepest - at_steepest / wave.slope(steepest)};
}

// The T end of the leads: in each lead whose T wave reaches a share of the
// largest, where its own wave ends (lead_t_end); the T wave has ended where
// the last of them has, however few leads end that late: repolarisation goes
// on as long as any part of the heart recovers, and a lead is refused only
// for what shows in that lead (a low wave, one that does not come back). The
// chord does not follow a slowly fading tail into the noise, and the sign of
// each lead's wave is its own, so T waves of either polarity end alike. The
// latest tangent of those leads comes with it.
LeadTEnd leads_t_end(const Beat& beat, const BeatCurves& curves, int t_peak, int first, int limit) {
    const int from = std::max(first, t_peak - lead_t_peak_spread_rows);
    const int to = std::min(limit, t_peak + lead_t_peak_spread_rows);
    std::vector<std::pair<double, int>> peaks;  // |amplitude| and row, by lead
    double largest = 0.0;
    for (int l = 1; l <= lead_count; ++l) {
        if (!curves.active(l)) continue;
        const LeadWave wave{beat, l, curves.baseline(l)};
        int peak = from;
        for (int r = from; r <= to; ++r)
            if (std::abs(wave.value(r)) > std::abs(wave.value(peak))) peak = r;
        peaks.emplace_back(std::abs(wave.value(peak)), peak);
        largest = std::max(largest, peaks.back().first);
    }
    LeadTEnd latest;
    std::size_t index = 0;
    for (int l = 1; l <= lead_count; ++l) {
        if (!curves.active(l)) continue;
        const auto [amplitude, peak] = peaks[index++];
        if (amplitude < lead_t_share * largest) continue;
        const LeadTEnd lead = lead_t_end({beat, l, curves.baseline(l)}, peak, limit);
        latest.trapezium = std::max(latest.trapezium, lead.trapezium);
        latest.tangent = std::max(latest.tangent, lead.tangent);
    }
    return latest;
}

// T peak and T end, before the next beat; false when no T wave stands out there.
bool find_t_wave(const Beat& beat, const BeatCurves& curves, const Qrs& qrs,
                 const std::vector<std::int32_t>& found_rows, AutomaticMarks& marks) {
    const int first = std::clamp(marks.j_point + 1, 1, averaged_rows);
    int limit = next_beat_row(curves, qrs, marks.j_point) - smoothing_half_width;
    const auto peak_before = [&curves, first](int last) {
        return largest_local_peak(curves.signal_rms, first,
                                  std::min(last, first + t_peak_search_rows));
    };
    int t_peak = peak_before(limit);
    if (t_peak == 0 || curves.signal_rms(t_peak) <= curves.noise_level) return false;
    // A found beat bounds the T wave when a wave stands out before its QRS
    // and has come down by then; with none, or one still high there, the
    // found beat was a large T wave taken for a beat.
    if (!found_rows.empty()) {
        const int onset = found_rows.front() - (beat_row - marks.q_onset);
        const int earlier_peak = onset < limit ? peak_before(onset) : 0;
        if (earlier_peak != 0 &&
            curves.signal_rms(earlier_peak) >=
                t_share_before_found_beat * curves.signal_rms(t_peak) &&
            smallest_in(curves.signal_rms, earlier_peak, onset) <
                wave_down_share * curves.signal_rms(earlier_peak)) {
            t_peak = earlier_peak;
            limit = onset;
        }
    }
    const double peak = curves.signal_rms(t_peak);
    const Edge edge{t_peak,
                    +1,
                    limit,
                    std::max(curves.noise_level, edge_bottom_fraction * peak),
                    t_flattening_fraction * peak,
                    t_flattening_rows,
                    qrs.quiet_velocity};
    marks.t_peak = t_peak;
    marks.t_end_independent = nearest_row(edge_end(curves, edge));
    // The RMS edge stands in when no lead shows its end, and is then no second estimate.
    const LeadTEnd leads_end = leads_t_end(beat, curves, t_peak, first, limit);
    if (leads_end.trapezium > t_peak) {
        marks.t_end = nearest_row(leads_end.trapezium);
        marks.t_end_tangent = nearest_row(leads_end.tangent);
    } else {
        marks.t_end = marks.t_end_independent;
        marks.t_end_independent = 0;
    }
    return true;
}

std::string order_problem(const AutomaticMarks& marks) {
    if (marks.stimulus >= 1 && marks.stimulus <= marks.q_onset && marks.q_onset < marks.j_point &&
        marks.j_point < marks.t_peak && marks.t_peak < marks.t_end) {
        if (marks.t_end <= last_clickable_row) return {};
        return "T end past row 1000 (at row " + std::to_string(marks.t_end) + ")";
    }
    return "marks out of order: stimulus " + std::to_string(marks.stimulus) + ", Q onset " +
           std::to_string(marks.q_onset) + ", J point " + std::to_string(marks.j_point) +
           ", T peak " + std::to_string(marks.t_peak) + ", T end " + std::to_string(marks.t_end);
}

}  // namespace

std::vector<std::int32_t> found_beat_rows(const Beat& beat, const Display& display) {
    std::vector<std::int32_t> rows;
    for (int a = 1; a <= beat.accepted_count; ++a) {
        const AcceptedBeat& accepted = beat.accepted_beats(a);
        for (int b = 1; b <= beat_slots; ++b) {
            const std::int32_t found = display.beat_list(b);
            const std::int32_t row =
                beat_row + found - accepted.position_ms - accepted.shift_samples;
            if (row > beat_row + refractory_rows && row <= averaged_rows) rows.push_back(row);
        }
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

AutomaticMarks find_automatic_marks(const Beat& beat, const std::vector<std::int32_t>& found_rows,
                                    const LeadsLeftOut& left_out) {
    AutomaticMarks marks;
    BeatCurves curves;
    mark_active_leads(beat, left_out, curves);
    if (curves.active_leads == 0) {
        marks.problem = "every lead of the averaged beat is flat";
        return marks;
    }
    find_iso_window(beat, curves);
    form_spatial_curves(beat, curves);
    form_signal_rms(curves);
    Qrs qrs = find_qrs_peak(curves);
    if (curves.signal_rms(qrs.peak_row) <= curves.noise_level) {
        marks.problem = "no QRS stands out of the noise within 50 rows of row 201";
        return marks;
    }
    Spike spike;
    const Qrs spike_qrs = qrs;
    const bool large_spike = spike_before_qrs(curves, qrs, spike);
    double q_onset_floor = 1.0;
    find_qrs_edges(beat, curves, qrs, marks, q_onset_floor);
    if (large_spike) {
        marks.j_point = paced_qrs_end(curves, qrs, marks.j_point);
        mark_paced_onset(beat, curves, spike_qrs, spike, marks);
    } else {
        const int qrs_first = std::clamp(marks.q_onset, 1, qrs.peak_row);
        const int qrs_last = std::clamp(marks.j_point, qrs.peak_row, averaged_rows);
        marks.stimulus =
            find_stimulus(curves, marks.q_onset, largest_in(curves.curvature, qrs_first, qrs_last));
        // The leads are looked at from the spike's end on, or from well before the onset.
        const int first = marks.stimulus != 0 ? marks.stimulus + 2 * spike_rows + 1
                                              : std::max(1, marks.q_onset - qrs_trapezium_rows);
        if (first < marks.q_onset)
            marks.q_onset = nearest_row(std::min<double>(
                marks.q_onset, outermost_lead_qrs_edge(beat, curves, qrs.peak_row, -1, first)));
        marks.q_onset = std::max(marks.q_onset, nearest_row(q_onset_floor));
        marks.q_onset = first_deflection_row(curves, qrs, marks.q_onset,
                                             std::max(first, nearest_row(q_onset_floor)));
    }
    const bool t_wave = find_t_wave(beat, curves, qrs, found_rows, marks);
    marks.stimulus_found = marks.stimulus != 0;
    if (!marks.stimulus_found) marks.stimulus = marks.q_onset;
    marks.problem =
        t_wave ? order_problem(marks) : "no T wave between the J point and the next beat";
    return marks;
}

}  // namespace mapari
