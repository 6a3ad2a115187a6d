// The review picture laid out in pixels, ready to paint: a heading, three
// maps side by side (activation time, recovery time, ARI = RT − AT, each on
// its own colour scale) and, when the saved beat was read, the review sheet
// of the 64 averaged-beat traces as small multiples in the same layout. A
// recording of a results table has a line of its other flags under the maps
// instead of the sheet, and no maps when the table gives it no values.
//
// Everything the picture shows is decided here — places, colours, texts,
// which values are defaults — so the painter only draws it, and the raster
// picture and the PDF cannot differ.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "review/colour_scale.hpp"
#include "review/figure_primitives.hpp"
#include "review/review_input.hpp"

namespace mapari::review {

// One lead on a map: a cell of the grid, or the marker of an electrode.
struct MapCell {
    int lead = 0;
    Box box;                 // the cell, or the square the round marker fills
    bool round = false;      // marker of an electrode array
    bool flagged = false;    // a default value, not a finding: drawn hatched grey
    bool no_signal = false;  // the lead carries none: drawn pale, "no signal" for its value
    bool outlined = false;   // a bad or flagged lead: drawn with a dark outline
    LineStyle outline_style = LineStyle::solid;  // which flag (outline_style_of)
    Rgb fill;  // the value's colour (a flagged cell is grey instead)
    bool light_text = false;
    std::string value_text;   // the value in ms, or "no signal"
    bool shows_value = true;  // false on markers too small for it
};

struct Tick {
    double y = 0.0;  // on the bar
    std::string label;
};

struct ColourBar {
    Box box;           // the ramp, low value at the bottom
    ValueRange range;  // empty when every lead is flagged
    std::vector<Tick> ticks;
    std::string label;  // "ms", "µV·ms"
};

struct MapPanel {
    std::string title;  // "Activation time AT (ms)"
    Box title_box;
    Box field;  // where the cells are
    std::vector<MapCell> cells;
    ColourBar bar;
    std::string note;  // how many leads are flagged, and why
    Box note_box;
};

// A map drawn as a surface over the electrodes: bands of colour one contour
// step wide, the labelled contour lines, the electrodes as dots (hollow where
// the lead was left out of the surface) and the flagged leads' outlines.
struct SurfacePanel {
    std::string title;  // "AT isochrones every 10 ms"
    Box title_box;
    Box field;
    Drawing drawing;
    ColourBar bar;
    std::string note;  // what was left out, or why there is no surface
    Box note_box;
};

// One lead's small multiple. Marks are horizontal positions of samples inside
// the panel; a sample outside the samples shown has none.
struct SheetPanel {
    int lead = 0;
    Box box;
    std::vector<Point> trace;
    std::optional<double> reference_x, j_x, t_end_x;  // P, J, E
    std::optional<double> activation_x, recovery_x;   // P + AT, P + RT
    bool no_downstroke = false;
    bool no_upstroke = false;
    std::string tag;  // "no downstroke", "no up", "no signal", ...; empty without a default
};

// A curve of a plot in pixels: dots, or a line through the points in order;
// with its fitted line across the plot's x range when it has one.
struct PlotCurve {
    std::string label;  // "lead 12: slope 0.31", "mean: slope 0.29"
    int colour = 0;     // the painter's colour of this curve, 0 for the first
    bool joined = false;
    std::vector<Point> points;
    std::optional<std::pair<Point, Point>> fitted;
};

// A plot of the beats: its frame, curves, and the ranges of its axes as text.
struct PlotPanel {
    std::string title;
    Box title_box;
    Box field;
    std::vector<PlotCurve> curves;
    std::string axes;  // "RR 780 to 860 ms; ARI 200 to 260 ms"
    Box axes_box;
    Box legend_box;  // the curves' labels, one line each
};

struct ReviewSheet {
    std::string title;
    Box title_box;
    Box legend_box;
    Box field;  // where the panels are
    std::vector<SheetPanel> panels;
    // The scale every panel shares, drawn once under the panels: a time axis
    // in ms after ref the width of a panel's trace, and an amplitude bar.
    Drawing scale;
    Box scale_box;
};

// Which forms the maps take: cells with each lead's value, the interpolated
// surfaces with their contour lines, or both (each map in both forms).
enum class MapForms { values, isochrones, both };

// screen: sizes that read at 100 %; paper: text a third larger, lines half
// again as wide and panels with a default untinted, so that one map cut out
// at a journal's column width (about 85 mm) keeps text of about 7 pt.
enum class FigureStyle { screen, paper };

struct FigureOptions {
    MapForms forms = MapForms::both;
    double isochrone_step_ms = 10.0;
    FigureStyle style = FigureStyle::screen;
};

// What the painter scales by the style.
struct PaintStyle {
    double text_scale = 1.0;
    double line_scale = 1.0;
    bool tint_defaults = true;  // tint the sheet panels of leads with a default
};

struct ReviewPicture {
    double width = 0.0;
    double height = 0.0;
    PaintStyle style;
    std::string heading;  // the .ari file or the recording
    Box heading_box;
    // P, J, E, h, r; or where a recording's values come from; then how many
    // leads carry no signal, when any.
    std::string details;
    Box details_box;
    std::string legend;          // what the hatching means; empty without maps
    Box legend_box;              // a hatched swatch at its left, then the text
    std::vector<MapPanel> maps;  // AT, RT and ARI, or none without values or cells
    // AT, RT and ARI as surfaces, then the integral maps as surfaces; none
    // without values or surfaces.
    std::vector<SurfacePanel> surfaces;
    // The QRS, QRST and STT areas as cells; none without a beat or cells.
    std::vector<MapPanel> integral_maps;
    // What each outline style of a flagged lead means; empty when no lead has one.
    Drawing outline_legend;
    Box outline_legend_box;
    std::string other_flags;  // "Other flags: 2 leads weak."; empty for a record
    Box other_flags_box;
    // The least confident leads, first the least; empty without confidences.
    std::string least_confident;
    Box least_confident_box;
    // ARI against the preceding RR, then the mean's ARI over time; empty
    // without the recording's beats (ReviewData::beat_plots).
    std::vector<PlotPanel> beat_panels;
    std::optional<ReviewSheet> sheet;
};

ReviewPicture lay_out_review(const ReviewData& data, const FigureOptions& options = {});

// The outline of a lead with these flags of a results table, or none: the
// flags that say a lead's trace may mislead (interpolated, clipped, noisy,
// weak), the first of them in that order; a bad lead with none of them is
// outlined solid.
std::optional<LineStyle> outline_style_of(const std::vector<std::string>& flags, bool bad_lead);

// The lead whose cell or marker on one of the picture's maps holds the
// point; 0 for none.
int lead_at(const ReviewPicture& picture, Point point);

// "Least confident: lead 12 (RT 0.21), lead 40 (AT 0.35)." — the leads whose
// AT or RT confidence is below 0.8, by their lower one, least first, at most
// five named and the rest counted; "Every lead's AT and RT has a confidence of
// 0.8 or more." when none is; empty when no lead has a confidence.
std::string least_confident_text(const std::array<LeadConfidence, lead_count>& confidence);

// The samples the sheet shows: from 40 before the earliest mark (P or an
// activation), from 1 at the earliest, to the last saved row, 1024. What
// follows the T end (the end of the T wave, a U wave, the next beat) is drawn
// so that a T end placed too early or too late can be seen. The saved beat
// does not say where the next beat starts, so the sheet runs to its end.
// Only for data with a record and values.
std::pair<int, int> sheet_samples(const ReviewData& data);

// The centre of each lead's cell or marker placed in the field. With
// keep_aspect the layout's x and y units stay equal (the maps); without it,
// each axis fills the field (the sheet). `cell` is set to the size of a cell.
std::array<Point, lead_count> place_leads(const ElectrodeLayout& layout, const Box& field,
                                          bool keep_aspect, Point& cell);

// The polyline with the points left out that lie within `tolerance` pixels of
// the segment between the points kept on either side (Ramer–Douglas–Peucker);
// the first and the last point stay. A trace's flat stretches shrink to a few
// points while every turn stays where it was drawn.
std::vector<Point> simplified(const std::vector<Point>& points, double tolerance);

}  // namespace mapari::review
