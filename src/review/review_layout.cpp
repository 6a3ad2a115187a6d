#include "review/review_layout.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>
#include <numeric>

#include "formats/quoted.hpp"
#include "review/integral_maps.hpp"
#include "review/map_panels.hpp"

namespace mapari::review {
namespace {

// Sizes in pixels of the picture at 100 %; text sizes are in the painter.
constexpr double margin = 16.0;
constexpr double panel_width = 520.0;
constexpr double panel_gap = 24.0;
constexpr double content_width = 3 * panel_width + 2 * panel_gap;
constexpr double line_height = 24.0;
constexpr double title_height = 28.0;
constexpr double field_side = 416.0;  // 52 pixels a cell of the 8 × 8 grid
constexpr double bar_gap = 16.0;
constexpr double bar_width = 22.0;
constexpr double sheet_row_height = 124.0;
constexpr double sheet_height = 8 * sheet_row_height;  // the most the sheet's panels take
// Panels are kept about as much wider than tall as those of the grid (201 × 124),
// but never lower than a trace can be read in.
constexpr double panel_height_per_width = sheet_row_height / 201.0;
constexpr double lowest_panel = 90.0;
constexpr double narrowest_long_tag = 180.0;  // a panel this wide says "no downstroke" in full
constexpr double sheet_context_samples = 40.0;
constexpr double smallest_marker = 14.0;
constexpr double largest_marker = 60.0;
constexpr double smallest_value_marker = 40.0;  // a marker this wide has room for its value
constexpr double panel_inset = 3.0;
constexpr double trace_label_height = 16.0;
constexpr double trace_padding = 4.0;
// A quarter pixel off the drawn trace is not seen, and keeps a PDF of 64
// traces a fraction of the size.
constexpr double trace_tolerance = 0.25;

enum class Quantity { activation, recovery, interval };

double value_of(const LeadValues& lead, Quantity quantity) {
    switch (quantity) {
        case Quantity::activation:
            return lead.activation_ms;
        case Quantity::recovery:
            return lead.recovery_ms;
        case Quantity::interval:
            break;
    }
    return lead.ari_ms;
}

bool flagged_for(const LeadValues& lead, Quantity quantity) {
    switch (quantity) {
        case Quantity::activation:
            return lead.no_downstroke;
        case Quantity::recovery:
            return lead.no_upstroke;
        case Quantity::interval:
            break;
    }
    return lead.no_downstroke || lead.no_upstroke;
}

Box square_around(Point centre, double side) {
    return {centre.x - side / 2, centre.y - side / 2, side, side};
}

// A time to a tenth of a ms at most: a value filled in from the neighbours
// (46.3333) would not fit its cell, and a tenth is finer than any mark.
std::string time_text(double ms) {
    return ms_text(static_cast<float>(std::round(ms * 10.0) / 10.0));
}

std::string area_text(double microvolt_ms) {
    return std::to_string(std::lround(microvolt_ms));
}

// The outlines of the flagged leads, the same on every map.
std::array<std::optional<LineStyle>, lead_count> lead_outlines(const ReviewData& data) {
    std::array<std::optional<LineStyle>, lead_count> outlines;
    for (std::size_t k = 0; k < outlines.size(); ++k)
        outlines[k] = outline_style_of(data.lead_flags[k], data.bad_leads[k]);
    return outlines;
}

MapValues time_map(const ReviewData& data, Quantity quantity, const std::string& name) {
    MapValues map{name, "ms", {}, {}, lead_outlines(data), time_text};
    for (std::size_t k = 0; k < lead_count; ++k) {
        const LeadValues& lead = (*data.leads)[k];
        if (lead.no_signal) continue;
        map.values[k] = value_of(lead, quantity);
        map.defaults[k] = flagged_for(lead, quantity);
    }
    return map;
}

MapValues area_map(const ReviewData& data, IntegralStretch stretch, const std::string& name) {
    MapValues map{name, "µV·ms", {}, {}, lead_outlines(data), area_text};
    const auto areas = integral_map(*data.beat, *data.record, stretch, data.microvolts_per_count);
    for (std::size_t k = 0; k < lead_count; ++k)
        if (!(*data.leads)[k].no_signal) map.values[k] = areas[k];
    return map;
}

MapCell map_cell(const MapValues& map, int number, const ColourBar& bar) {
    MapCell cell;
    cell.lead = number;
    const std::optional<double>& value = map.values[static_cast<std::size_t>(number - 1)];
    if (!value) {
        cell.no_signal = true;
        cell.value_text = "no signal";
        cell.fill = {240, 240, 240};
        return cell;
    }
    cell.flagged = map.defaults[static_cast<std::size_t>(number - 1)];
    cell.value_text = map.text_of(*value);
    cell.fill = cell.flagged ? Rgb{205, 205, 205} : viridis(bar.range.fraction(*value));
    cell.light_text = !cell.flagged && wants_light_text(cell.fill);
    return cell;
}

std::vector<MapCell> map_cells(const MapValues& map, const ElectrodeLayout& layout,
                               const Box& field, const ColourBar& bar) {
    Point cell_size;
    const auto centres = place_leads(layout, field, true, cell_size);
    const double side = layout.is_grid
                            ? cell_size.x
                            : std::clamp(cell_size.x * 0.9, smallest_marker, largest_marker);
    std::vector<MapCell> cells;
    for (int l = 1; l <= lead_count; ++l) {
        const auto k = static_cast<std::size_t>(l - 1);
        MapCell cell = map_cell(map, l, bar);
        cell.box = square_around(centres[k], side);
        cell.round = !layout.is_grid;
        cell.shows_value = layout.is_grid || side >= smallest_value_marker;
        cell.outlined = map.outlines[k].has_value();
        cell.outline_style = map.outlines[k].value_or(LineStyle::solid);
        cells.push_back(cell);
    }
    return cells;
}

std::string flag_note(const LeadTable& leads, Quantity quantity) {
    const auto count = std::count_if(leads.begin(), leads.end(), [&](const LeadValues& lead) {
        return flagged_for(lead, quantity);
    });
    if (count == 0)
        return std::any_of(leads.begin(), leads.end(),
                           [](const LeadValues& lead) { return lead.no_signal; })
                   ? "Every lead with a signal has a finding."
                   : "Every lead has a finding.";
    const std::string leads_text = count == 1 ? "1 lead" : std::to_string(count) + " leads";
    switch (quantity) {
        case Quantity::activation:
            return leads_text + " hatched: no downstroke after the reference point.";
        case Quantity::recovery:
            return leads_text + " hatched: no upstroke after the minimum recovery delay.";
        case Quantity::interval:
            break;
    }
    return leads_text + " hatched: AT or RT is a default.";
}

MapGeometry map_geometry(double left, double top) {
    MapGeometry geometry;
    geometry.title_box = {left, top, panel_width, title_height};
    geometry.field = {left, top + title_height, field_side, field_side};
    geometry.bar_box = {geometry.field.right() + bar_gap, geometry.field.top, bar_width,
                        field_side};
    geometry.note_box = {left, geometry.field.bottom() + 6, panel_width, line_height};
    return geometry;
}

MapPanel cell_panel(const MapValues& map, const ElectrodeLayout& layout, const std::string& title,
                    const std::string& note, const MapGeometry& geometry) {
    MapPanel panel;
    panel.title = title;
    panel.title_box = geometry.title_box;
    panel.field = geometry.field;
    panel.bar = colour_bar(map, geometry.bar_box);
    panel.cells = map_cells(map, layout, panel.field, panel.bar);
    panel.note = note;
    panel.note_box = geometry.note_box;
    return panel;
}

// Each lead's trace over the samples shown, on one amplitude scale for all
// leads (so that sizes compare), each centred on its own middle value.
double common_span(const BeatTraces& beat, int first, int last) {
    double span = 0.0;
    for (int l = 1; l <= lead_count; ++l) {
        std::int32_t low = beat.at(first, l), high = low;
        for (int k = first; k <= last; ++k) {
            low = std::min(low, beat.at(k, l));
            high = std::max(high, beat.at(k, l));
        }
        span = std::max(span, static_cast<double>(high) - static_cast<double>(low));
    }
    return span > 0.0 ? span : 1.0;
}

std::vector<Point> trace_points(const BeatTraces& beat, int lead, int first, int last, double span,
                                const Box& area) {
    std::int32_t low = beat.at(first, lead), high = low;
    for (int k = first; k <= last; ++k) {
        low = std::min(low, beat.at(k, lead));
        high = std::max(high, beat.at(k, lead));
    }
    const double middle = (static_cast<double>(low) + static_cast<double>(high)) / 2;
    const double centre_y = area.top + area.height / 2;
    std::vector<Point> points;
    points.reserve(static_cast<std::size_t>(last - first + 1));
    for (int k = first; k <= last; ++k)
        points.push_back({area.left + area.width * (k - first) / std::max(1, last - first),
                          centre_y - (beat.at(k, lead) - middle) / span * area.height});
    return simplified(points, trace_tolerance);
}

// The square of the distance, which orders points as the distance does
// without a square root for each.
double squared_distance_to_segment(Point p, Point a, Point b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length_squared = dx * dx + dy * dy;
    const double t =
        length_squared > 0
            ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length_squared, 0.0, 1.0)
            : 0.0;
    const double across = p.x - (a.x + t * dx), down = p.y - (a.y + t * dy);
    return across * across + down * down;
}

class SampleAxis {
  public:
    SampleAxis(int first, int last, const Box& area) : first_(first), last_(last), area_(area) {}
    std::optional<double> x(double sample) const {
        if (!(sample >= first_ && sample <= last_)) return std::nullopt;
        return area_.left + area_.width * (sample - first_) / std::max(1, last_ - first_);
    }

  private:
    int first_, last_;
    Box area_;
};

// What a sheet panel says of its lead's defaults, in full when the panel is wide.
std::string flag_tag(const LeadValues& values, bool wide) {
    if (values.no_signal) return "no signal";
    if (values.no_downstroke && values.no_upstroke)
        return wide ? "no downstroke, no upstroke" : "no down/up";
    if (values.no_downstroke) return wide ? "no downstroke" : "no down";
    if (values.no_upstroke) return wide ? "no upstroke" : "no up";
    return {};
}

// The trace area of a sheet panel: below its label, inside its padding.
Box trace_area(const Box& box) {
    return {box.left + trace_padding, box.top + trace_label_height, box.width - 2 * trace_padding,
            box.height - trace_label_height - trace_padding};
}

SheetPanel sheet_panel(const ReviewData& data, int lead, const Box& box,
                       std::pair<int, int> samples, double span) {
    SheetPanel panel;
    panel.lead = lead;
    panel.box = box;
    const Box area = trace_area(box);
    panel.trace = trace_points(*data.beat, lead, samples.first, samples.second, span, area);
    const SampleAxis axis(samples.first, samples.second, area);
    const AriRecord& record = *data.record;
    const LeadValues& values = (*data.leads)[static_cast<std::size_t>(lead - 1)];
    panel.reference_x = axis.x(record.reference_point);
    panel.j_x = axis.x(record.j_point);
    panel.t_end_x = axis.x(record.t_end);
    // A lead without a signal has no activation or recovery to mark.
    if (!values.no_signal) {
        panel.activation_x =
            axis.x(record.reference_point + static_cast<double>(values.activation_ms));
        panel.recovery_x = axis.x(record.reference_point + static_cast<double>(values.recovery_ms));
    }
    panel.no_downstroke = values.no_downstroke;
    panel.no_upstroke = values.no_upstroke;
    panel.tag = flag_tag(values, box.width >= narrowest_long_tag);
    return panel;
}

// The sheet's field: the full width, and the height that gives panels of the
// grid's proportions (no higher than the grid's, no lower than lowest_panel).
Box sheet_field(const ElectrodeLayout& layout, double top) {
    Box field{margin, top, content_width, sheet_height};
    Point cell;
    place_leads(layout, field, false, cell);
    const double wanted =
        std::clamp(cell.x * panel_height_per_width, lowest_panel, sheet_row_height);
    field.height = std::min(sheet_height, sheet_height * wanted / cell.y);
    return field;
}

// The largest 1, 2 or 5 × 10^n no greater than the amplitude.
double round_amplitude(double microvolts) {
    const double power = std::pow(10.0, std::floor(std::log10(microvolts)));
    for (double factor : {5.0, 2.0})
        if (factor * power <= microvolts) return factor * power;
    return power;
}

// The least 1, 2 or 5 × 10^n no less than the step.
double round_step_above(double step) {
    const double power = std::pow(10.0, std::floor(std::log10(step)));
    for (double factor : {1.0, 2.0, 5.0})
        if (factor * power >= step) return factor * power;
    return 10 * power;
}

std::string amplitude_text(double microvolts) {
    char text[32];
    if (microvolts >= 1000)
        std::snprintf(text, sizeof text, "%g mV", microvolts / 1000);
    else
        std::snprintf(text, sizeof text, "%g µV", microvolts);
    return text;
}

// The sheet's scale under its panels, from `top`: a time axis as wide as a
// panel's trace with ticks in ms after ref, then a bar of a round amplitude
// as high as that amplitude is drawn in every panel.
void lay_out_sheet_scale(const ReviewData& data, std::pair<int, int> samples, double span,
                         const Box& area, double top, ReviewSheet& sheet) {
    const Rgb ink{30, 30, 30};
    constexpr double tick_pixels = 5.0, label_pixels = 11.0, text_pixels = 13.0;
    Drawing& scale = sheet.scale;
    const double axis_y = top + 6;
    const double left = margin + trace_padding + panel_inset;
    scale.strokes.push_back({{{left, axis_y}, {left + area.width, axis_y}}, 1.0, ink});
    const int reference = data.record->reference_point;
    const double first_ms = (samples.first - reference) * beat_row_ms;
    const double last_ms = (samples.second - reference) * beat_row_ms;
    // A round step that leaves room for five labels at most.
    const double step_ms = round_step_above((last_ms - first_ms) / 5);
    for (double ms = std::ceil(first_ms / step_ms) * step_ms; ms <= last_ms; ms += step_ms) {
        const double x = left + area.width * (ms - first_ms) / (last_ms - first_ms);
        scale.strokes.push_back({{{x, axis_y}, {x, axis_y + tick_pixels}}, 1.0, ink});
        scale.texts.push_back(
            {{x, axis_y + tick_pixels + 8}, std::to_string(std::lround(ms)), label_pixels, ink});
    }
    scale.texts.push_back(
        {{left + area.width + 10, axis_y + 4}, "ms after ref", text_pixels, ink, false, true});
    const double span_microvolts = span * data.microvolts_per_count;
    const double microvolts = round_amplitude(0.6 * span_microvolts);
    const double bar_pixels = microvolts / span_microvolts * area.height;
    const double bar_x = left + area.width + 130;
    scale.strokes.push_back({{{bar_x, axis_y}, {bar_x, axis_y + bar_pixels}}, 2.0, ink});
    scale.texts.push_back({{bar_x + 8, axis_y + bar_pixels / 2},
                           amplitude_text(microvolts),
                           text_pixels,
                           ink,
                           false,
                           true});
    sheet.scale_box = {margin, top, content_width, std::max(36.0, bar_pixels + 12)};
}

ReviewSheet review_sheet(const ReviewData& data, double top) {
    ReviewSheet sheet;
    const auto samples = sheet_samples(data);
    sheet.title = "Review sheet: the saved beat of each lead, samples " +
                  std::to_string(samples.first) + " to " + std::to_string(samples.second) +
                  ", one amplitude scale for all leads";
    sheet.title_box = {margin, top, content_width, title_height};
    sheet.legend_box = {margin, top + title_height, content_width, line_height};
    sheet.field = sheet_field(data.layout, sheet.legend_box.bottom());
    Point cell;
    const auto centres = place_leads(data.layout, sheet.field, false, cell);
    const double span = common_span(*data.beat, samples.first, samples.second);
    for (int l = 1; l <= lead_count; ++l) {
        const Point centre = centres[static_cast<std::size_t>(l - 1)];
        const Box box{centre.x - cell.x / 2 + panel_inset, centre.y - cell.y / 2 + panel_inset,
                      cell.x - 2 * panel_inset, cell.y - 2 * panel_inset};
        sheet.panels.push_back(sheet_panel(data, l, box, samples, span));
    }
    lay_out_sheet_scale(data, samples, span, trace_area(sheet.panels.front().box),
                        sheet.field.bottom() + 8, sheet);
    return sheet;
}

std::string record_details(const AriRecord& record, std::int32_t r) {
    return "ref = " + std::to_string(record.reference_point) +
           ", J = " + std::to_string(record.j_point) + ", T end = " + std::to_string(record.t_end) +
           " (samples of the saved beat);  h = " + std::to_string(record.smoothing_half_width) +
           ";  r = " + std::to_string(r) + ", so the default RT is J + r − ref = " +
           std::to_string(record.j_point + r - record.reference_point) + " ms";
}

// "Status check: the T end is doubtful.  ": a study's recording's status and
// its reason; nothing for other data.
std::string status_details(const ReviewData& data) {
    if (!data.summary) return {};
    std::string text = "Status " + data.summary->status;
    if (!data.summary->reason.empty()) text += ": " + data.summary->reason;
    return text + ".  ";
}

// Where a recording's values come from when there is no record to give P, J and E.
std::string table_details(const ReviewData& data) {
    if (!data.leads)
        return status_details(data) +
               "The results table gives no values for this recording: the batch analysis failed "
               "on it.";
    return status_details(data) +
           "Values of the batch analysis's results table, whose flags no-downstroke and "
           "no-upstroke mark the defaults";
}

// "; 60 leads carry no signal", or nothing when every lead carries one.
std::string no_signal_details(const ReviewData& data) {
    if (!data.leads) return {};
    const auto count = std::count_if(data.leads->begin(), data.leads->end(),
                                     [](const LeadValues& lead) { return lead.no_signal; });
    if (count == 0) return {};
    return count == 1 ? ";  1 lead carries no signal"
                      : ";  " + std::to_string(count) + " leads carry no signal";
}

void lay_out_heading(const ReviewData& data, ReviewPicture& picture) {
    picture.heading = "Review of " + data.title;
    picture.heading_box = {margin, margin, content_width, title_height};
    picture.details = (data.record ? record_details(*data.record, data.recovery_delay_samples)
                                   : table_details(data)) +
                      no_signal_details(data);
    picture.details_box = {margin, picture.heading_box.bottom(), content_width, line_height};
    if (data.leads)
        picture.legend =
            "a default, not a finding: AT = 0 (no downstroke after the reference point), "
            "RT = J + r − ref (no upstroke after the minimum recovery delay r)";
    picture.legend_box = {margin, picture.details_box.bottom(), content_width, line_height};
}

// "weak: leads 3, 17": the flag and its leads, at most most_named_leads
// named and the rest counted, so that a flag on every lead keeps to its line.
std::string flagged_leads_text(const FlagCount& flagged) {
    constexpr std::size_t most_named_leads = 16;
    const std::vector<int>& leads = flagged.leads;
    const std::size_t named = std::min(leads.size(), most_named_leads);
    std::string text =
        flagged.flag + (leads.size() == 1 ? ": lead " : ": leads ") +
        joined_numbers({leads.begin(), leads.begin() + static_cast<long>(named)}, ", ");
    if (leads.size() > named) text += " and " + std::to_string(leads.size() - named) + " more";
    return text;
}

std::string other_flags_text(const std::vector<FlagCount>& counts) {
    std::string text = "Other flags of the batch analysis:";
    if (counts.empty()) return text + " none.";
    for (std::size_t k = 0; k < counts.size(); ++k)
        text += (k == 0 ? " " : "; ") + flagged_leads_text(counts[k]);
    return text + ".";
}

// A lead's lower confidence and which mark has it.
struct LeadRank {
    int lead = 0;
    const char* mark = "AT";
    float confidence = 0.0f;
};

std::optional<LeadRank> lower_confidence(const LeadConfidence& confidence, int lead) {
    std::optional<LeadRank> rank;
    if (confidence.activation) rank = LeadRank{lead, "AT", *confidence.activation};
    if (confidence.recovery && (!rank || *confidence.recovery < rank->confidence))
        rank = LeadRank{lead, "RT", *confidence.recovery};
    return rank;
}

constexpr double plot_height = 260.0;

struct Range {
    double low = 0.0;
    double high = 0.0;
};

// The points' range on an axis, widened by 1 ms either way so that a single
// value still spans the plot.
Range range_of(const std::vector<const std::vector<DataPoint>*>& sets, double DataPoint::*axis) {
    Range range{HUGE_VAL, -HUGE_VAL};
    for (const std::vector<DataPoint>* points : sets)
        for (const DataPoint& point : *points)
            range = {std::min(range.low, point.*axis), std::max(range.high, point.*axis)};
    return {range.low - 1.0, range.high + 1.0};
}

double mean_of(const std::vector<DataPoint>& points, double DataPoint::*axis) {
    const double sum =
        std::accumulate(points.begin(), points.end(), 0.0,
                        [&](double total, const DataPoint& p) { return total + p.*axis; });
    return sum / static_cast<double>(points.size());
}

// The one conversion of a plot from ms to pixels: x grows to the right, y up.
Point plot_pixel(const Box& field, Range x, Range y, double x_ms, double y_ms) {
    return {field.left + (x_ms - x.low) / (x.high - x.low) * field.width,
            field.bottom() - (y_ms - y.low) / (y.high - y.low) * field.height};
}

std::string whole_ms_text(double ms) {
    return std::to_string(static_cast<long>(std::lround(ms)));
}

PlotPanel plot_panel(const std::string& title, const std::vector<PlotSeries>& series, bool joined,
                     const char* x_name, double left, double top) {
    PlotPanel panel;
    panel.title = title;
    panel.title_box = {left, top, panel_width, title_height};
    panel.field = {left, panel.title_box.bottom(), panel_width, plot_height};
    std::vector<const std::vector<DataPoint>*> sets;
    for (const PlotSeries& one : series) sets.push_back(&one.points);
    const Range x = range_of(sets, &DataPoint::x_ms), y = range_of(sets, &DataPoint::y_ms);
    for (std::size_t k = 0; k < series.size(); ++k) {
        PlotCurve curve{series[k].label, static_cast<int>(k), joined, {}, std::nullopt};
        for (const DataPoint& point : series[k].points)
            curve.points.push_back(plot_pixel(panel.field, x, y, point.x_ms, point.y_ms));
        if (const std::optional<LineFit>& fit = series[k].fit) {
            // A least-squares line runs through the points' mean.
            const double mean_x = mean_of(series[k].points, &DataPoint::x_ms);
            const double mean_y = mean_of(series[k].points, &DataPoint::y_ms);
            const auto at = [&](double x_ms) {
                return plot_pixel(panel.field, x, y, x_ms, mean_y + fit->slope * (x_ms - mean_x));
            };
            curve.fitted = std::pair{at(x.low), at(x.high)};
            char slope[32];
            std::snprintf(slope, sizeof slope, ": slope %.2f", fit->slope);
            curve.label += slope;
        }
        panel.curves.push_back(std::move(curve));
    }
    panel.axes = std::string(x_name) + " " + whole_ms_text(x.low + 1.0) + " to " +
                 whole_ms_text(x.high - 1.0) + " ms; ARI " + whole_ms_text(y.low + 1.0) + " to " +
                 whole_ms_text(y.high - 1.0) + " ms";
    panel.axes_box = {left, panel.field.bottom(), panel_width, line_height};
    panel.legend_box = {left, panel.axes_box.bottom(), panel_width,
                        line_height * static_cast<double>(series.size())};
    return panel;
}

// The two plots of the recording's beats side by side from `top`.
void lay_out_beat_panels(const BeatPlots& plots, double top, ReviewPicture& picture) {
    picture.beat_panels.push_back(plot_panel("ARI against the preceding RR (ms)", plots.restitution,
                                             false, "RR", margin, top));
    picture.beat_panels.push_back(plot_panel("ARI of the mean beat after beat (ms)",
                                             {{"mean", plots.mean_over_time, std::nullopt}}, true,
                                             "time", margin + panel_width + panel_gap, top));
}

// The outline styles, each with the flag it stands for, in the legend's order.
struct OutlineKey {
    LineStyle style;
    const char* flag;
    const char* meaning;
};
constexpr OutlineKey outline_keys[] = {
    {LineStyle::dash_dot_dot, "interpolated", "interpolated"},
    {LineStyle::dash_dot, "clipped", "clipped"},
    {LineStyle::dotted, "noisy", "noisy"},
    {LineStyle::dashed, "weak", "weak"},
    {LineStyle::solid, nullptr, "bad (flat, steps, outlier or marked bad)"},
};

constexpr double key_width = 150.0;
constexpr double key_swatch = 14.0;

// "Outlined leads:" and a swatch and name for each outline style the maps use.
void lay_out_outline_legend(const ReviewData& data, double top, ReviewPicture& picture) {
    const auto outlines = lead_outlines(data);
    picture.outline_legend_box = {margin, top, content_width, line_height};
    const double middle = top + line_height / 2;
    Drawing& legend = picture.outline_legend;
    legend.texts.push_back({{margin, middle}, "Outlined leads:", 13.0, {30, 30, 30}, false, true});
    double left = margin + 120.0;
    for (const OutlineKey& key : outline_keys) {
        if (std::none_of(outlines.begin(), outlines.end(),
                         [&](const std::optional<LineStyle>& s) { return s == key.style; }))
            continue;
        const double half = key_swatch / 2;
        legend.strokes.push_back({{{left, middle - half},
                                   {left + key_swatch, middle - half},
                                   {left + key_swatch, middle + half},
                                   {left, middle + half}},
                                  2.0,
                                  {0, 0, 0},
                                  key.style,
                                  true});
        legend.texts.push_back(
            {{left + key_swatch + 6, middle}, key.meaning, 13.0, {30, 30, 30}, false, true});
        left += key_width;
    }
    if (legend.strokes.empty()) picture.outline_legend = {};
}

const std::array<std::string, 3> time_titles = {"Activation time AT (ms)", "Recovery time RT (ms)",
                                                "Activation-recovery interval ARI = RT − AT (ms)"};

std::array<MapValues, 3> time_maps(const ReviewData& data) {
    return {time_map(data, Quantity::activation, "AT"), time_map(data, Quantity::recovery, "RT"),
            time_map(data, Quantity::interval, "ARI")};
}

std::array<MapValues, 3> area_maps(const ReviewData& data) {
    return {area_map(data, IntegralStretch::qrs, "QRS area"),
            area_map(data, IntegralStretch::qrst, "QRST area"),
            area_map(data, IntegralStretch::stt, "STT area")};
}

std::string area_note(const ReviewData& data, IntegralStretch stretch) {
    const char* const names[] = {"ref to J", "ref to T end", "J to T end"};
    const auto [first, last] = stretch_rows(*data.record, stretch);
    char text[160];
    std::snprintf(text, sizeof text, "Area from %s, rows %d to %d, at %g µV a count.",
                  names[static_cast<int>(stretch)], first, last, data.microvolts_per_count);
    return text;
}

MapGeometry map_geometry_in_row(std::size_t m, double top) {
    return map_geometry(margin + static_cast<double>(m) * (panel_width + panel_gap), top);
}

// A row of three maps drawn as cells from `top`; returns the top of the next row.
double cell_row(const std::array<MapValues, 3>& maps, const ReviewData& data,
                const std::array<std::string, 3>& titles, const std::array<std::string, 3>& notes,
                double top, std::vector<MapPanel>& panels) {
    for (std::size_t m = 0; m < maps.size(); ++m)
        panels.push_back(
            cell_panel(maps[m], data.layout, titles[m], notes[m], map_geometry_in_row(m, top)));
    return map_geometry_in_row(0, top).note_box.bottom() + 12;
}

// A row of three maps drawn as surfaces, each at its step, from `top`;
// returns the top of the next row.
double surface_row(const std::array<MapValues, 3>& maps, const ReviewData& data,
                   const std::array<double, 3>& steps, double top, ReviewPicture& picture) {
    for (std::size_t m = 0; m < maps.size(); ++m)
        picture.surfaces.push_back(
            surface_panel(maps[m], data.layout, map_geometry_in_row(m, top), steps[m]));
    return map_geometry_in_row(0, top).note_box.bottom() + 12;
}

// A step for each area map: round, some five lines over its range.
std::array<double, 3> area_steps(const std::array<MapValues, 3>& areas) {
    std::array<double, 3> steps{};
    for (std::size_t m = 0; m < areas.size(); ++m) {
        const ColourBar bar = colour_bar(areas[m], {});
        steps[m] = bar.range.empty ? 1.0 : automatic_step(bar.range);
    }
    return steps;
}

// The maps in rows from `top`: AT, RT and ARI as cells and as surfaces, then,
// with a beat, the QRS, QRST and STT areas the same ways; returns the bottom.
double lay_out_maps(const ReviewData& data, const FigureOptions& options, double top,
                    ReviewPicture& picture) {
    const bool cells = options.forms != MapForms::isochrones;
    const bool surfaces = options.forms != MapForms::values;
    const auto times = time_maps(data);
    if (cells)
        top = cell_row(times, data, time_titles,
                       {flag_note(*data.leads, Quantity::activation),
                        flag_note(*data.leads, Quantity::recovery),
                        flag_note(*data.leads, Quantity::interval)},
                       top, picture.maps);
    const double step = options.isochrone_step_ms;
    if (surfaces) top = surface_row(times, data, {step, step, step}, top, picture);
    if (!(data.beat && data.record)) return top - 12;
    const auto areas = area_maps(data);
    if (cells)
        top = cell_row(
            areas, data,
            {areas[0].name + " (µV·ms)", areas[1].name + " (µV·ms)", areas[2].name + " (µV·ms)"},
            {area_note(data, IntegralStretch::qrs), area_note(data, IntegralStretch::qrst),
             area_note(data, IntegralStretch::stt)},
            top, picture.integral_maps);
    if (surfaces) top = surface_row(areas, data, area_steps(areas), top, picture);
    return top - 12;
}

}  // namespace

std::array<Point, lead_count> place_leads(const ElectrodeLayout& layout, const Box& field,
                                          bool keep_aspect, Point& cell) {
    const FieldPlacement place = field_placement(layout, field, keep_aspect);
    cell = {place.spacing * place.scale_x, place.spacing * place.scale_y};
    std::array<Point, lead_count> centres;
    for (std::size_t k = 0; k < centres.size(); ++k) centres[k] = place.pixel(layout.positions[k]);
    return centres;
}

std::optional<LineStyle> outline_style_of(const std::vector<std::string>& flags, bool bad_lead) {
    for (const OutlineKey& key : outline_keys)
        if (key.flag && std::find(flags.begin(), flags.end(), key.flag) != flags.end())
            return key.style;
    if (bad_lead) return LineStyle::solid;
    return std::nullopt;
}

std::vector<Point> simplified(const std::vector<Point>& points, double tolerance) {
    if (points.size() < 3) return points;
    std::vector<bool> kept(points.size(), false);
    kept.front() = kept.back() = true;
    // Stretches still to look at, as first and last index; no recursion, so any length is safe.
    std::vector<std::pair<std::size_t, std::size_t>> stretches{{0, points.size() - 1}};
    while (!stretches.empty()) {
        const auto [first, last] = stretches.back();
        stretches.pop_back();
        std::size_t farthest = first;
        double largest = tolerance * tolerance;
        for (std::size_t k = first + 1; k < last; ++k) {
            const double distance =
                squared_distance_to_segment(points[k], points[first], points[last]);
            if (distance > largest) largest = distance, farthest = k;
        }
        if (farthest == first) continue;
        kept[farthest] = true;
        stretches.emplace_back(first, farthest);
        stretches.emplace_back(farthest, last);
    }
    std::vector<Point> result;
    for (std::size_t k = 0; k < points.size(); ++k)
        if (kept[k]) result.push_back(points[k]);
    return result;
}

std::pair<int, int> sheet_samples(const ReviewData& data) {
    const AriRecord& record = *data.record;
    double earliest = std::min(record.reference_point, record.t_end);
    for (const LeadValues& lead : *data.leads)
        if (!lead.no_signal)
            earliest = std::min(earliest, record.reference_point + double{lead.activation_ms});
    const auto first = static_cast<int>(
        std::clamp(std::floor(earliest - sheet_context_samples), 1.0, double{averaged_rows - 1}));
    return {first, averaged_rows};
}

std::string least_confident_text(const std::array<LeadConfidence, lead_count>& confidence) {
    constexpr float trusted = 0.8f;
    constexpr std::size_t named = 5;
    std::vector<LeadRank> doubtful;
    bool any = false;
    for (int l = 1; l <= lead_count; ++l) {
        const std::optional<LeadRank> rank =
            lower_confidence(confidence[static_cast<std::size_t>(l - 1)], l);
        any = any || rank.has_value();
        if (rank && rank->confidence < trusted) doubtful.push_back(*rank);
    }
    if (!any) return {};
    if (doubtful.empty()) return "Every lead's AT and RT has a confidence of 0.8 or more.";
    std::stable_sort(doubtful.begin(), doubtful.end(), [](const LeadRank& a, const LeadRank& b) {
        return a.confidence < b.confidence;
    });
    std::string text = "Least confident (below 0.8):";
    for (std::size_t k = 0; k < std::min(named, doubtful.size()); ++k) {
        char entry[48];
        std::snprintf(entry, sizeof entry, "%s lead %d (%s %.2f)", k == 0 ? "" : ",",
                      doubtful[k].lead, doubtful[k].mark,
                      static_cast<double>(doubtful[k].confidence));
        text += entry;
    }
    if (doubtful.size() > named)
        text += " and " + std::to_string(doubtful.size() - named) + " more";
    return text + ".";
}

ReviewPicture lay_out_review(const ReviewData& data, const FigureOptions& options) {
    ReviewPicture picture;
    lay_out_heading(data, picture);
    double bottom = picture.details_box.bottom();
    if (data.leads) {
        bottom = lay_out_maps(data, options, picture.legend_box.bottom() + 12, picture);
        lay_out_outline_legend(data, bottom + 6, picture);
        if (!picture.outline_legend.texts.empty()) bottom = picture.outline_legend_box.bottom();
    }
    if (!data.record) {
        picture.other_flags = other_flags_text(data.other_flags);
        picture.other_flags_box = {margin, bottom + 6, content_width, line_height};
        bottom = picture.other_flags_box.bottom();
        picture.least_confident = least_confident_text(data.confidence);
        if (!picture.least_confident.empty()) {
            picture.least_confident_box = {margin, bottom, content_width, line_height};
            bottom = picture.least_confident_box.bottom();
        }
    }
    if (data.beat_plots) {
        lay_out_beat_panels(*data.beat_plots, bottom + 12, picture);
        for (const PlotPanel& panel : picture.beat_panels)
            bottom = std::max(bottom, panel.legend_box.bottom());
    }
    if (data.beat && data.record && data.leads) {
        picture.sheet = review_sheet(data, bottom + 20);
        bottom = picture.sheet->scale_box.bottom();
    }
    if (options.style == FigureStyle::paper) picture.style = {4.0 / 3.0, 1.5, false};
    picture.width = content_width + 2 * margin;
    picture.height = std::ceil(bottom + margin);
    return picture;
}

int lead_at(const ReviewPicture& picture, Point point) {
    for (const MapPanel& map : picture.maps)
        for (const MapCell& cell : map.cells)
            if (point.x >= cell.box.left && point.x < cell.box.right() && point.y >= cell.box.top &&
                point.y < cell.box.bottom())
                return cell.lead;
    return 0;
}

}  // namespace mapari::review
