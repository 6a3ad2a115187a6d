#include "review/svg_picture.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "review/picture_style.hpp"

namespace mapari::review {
namespace {

enum class Across { left, centre, right };
enum class Down { top, middle, bottom };

// How a text sits in its box, and how it is drawn.
struct TextStyle {
    int pixels = style::body_pixels;
    bool bold = false;
    Rgb colour = style::ink;
    Across across = Across::left;
    Down down = Down::middle;
    bool wrap = false;
};

// Estimated width of a character and height of a line, as fractions of the
// text size (a sans-serif font's average advance and its usual leading).
constexpr double character_width = 0.6;
constexpr double line_spacing = 1.2;
// Where the baseline of a line stands below its top, as a fraction of the text size.
constexpr double ascent = 0.8;

// A coordinate to one decimal, without a trailing zero: a tenth of a pixel is
// a hundredth of a millimetre on the picture printed across a page, and the
// 64 traces of a sheet take a third less text than at two decimals. Written
// from the whole number of tenths, halves away from zero, without printf,
// whose formatting of reals takes most of the time of a sheet's traces.
std::string number(double value) {
    const long long tenths = std::llround(value * 10.0);
    const long long whole = tenths / 10, tenth = tenths % 10;
    std::string text = tenths < 0 && whole == 0 ? "-0" : std::to_string(whole);
    if (tenth != 0) text += "." + std::to_string(tenth < 0 ? -tenth : tenth);
    return text;
}

std::string colour(Rgb rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", rgb.red, rgb.green, rgb.blue);
    return text;
}

// Counts the characters of UTF-8 text, not its bytes.
std::size_t characters(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

double estimated_width(std::string_view text, double pixels) {
    return static_cast<double>(characters(text)) * character_width * pixels;
}

// The text's lines: the whole text, or, to wrap, its words gathered greedily
// into lines that fit the width.
std::vector<std::string> wrapped_lines(const std::string& text, double width, double pixels) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!lines.empty() && estimated_width(lines.back() + " " + word, pixels) <= width)
            lines.back() += " " + word;
        else
            lines.push_back(word);
        start = end + 1;
    }
    return lines;
}

class SvgWriter {
  public:
    SvgWriter(std::string_view id_prefix, const PaintStyle& style)
        : prefix_(id_prefix), style_(style) {}

    bool tints_defaults() const { return style_.tint_defaults; }

    std::string id(std::string_view name) const { return std::string(prefix_) + std::string(name); }

    void open(double width, double top, double height) {
        out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(width) +
                "\" height=\"" + number(height) + "\" viewBox=\"0 " + number(top) + " " +
                number(width) + " " + number(height) +
                "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n";
    }

    // The diagonal hatching of a default value over its grey.
    void hatching_pattern() {
        out_ += "<defs><pattern id=\"" + id("hatch") +
                "\" patternUnits=\"userSpaceOnUse\" width=\"8\" height=\"8\">"
                "<rect width=\"8\" height=\"8\" fill=\"" +
                colour(style::flagged_fill) +
                "\"/><path d=\"M-2,2 l4,-4 M0,8 l8,-8 M6,10 l4,-4\" "
                "stroke=\"" +
                colour(style::hatch_ink) + "\" stroke-width=\"1\"/></pattern></defs>\n";
    }

    // The colour bar's ramp from the scale's low end at the bottom to its high
    // end at the top; the stops in per cent, as a tenth of the whole would
    // put several stops on one place and band the ramp.
    void ramp_gradient(std::string_view name) {
        out_ +=
            "<defs><linearGradient id=\"" + id(name) + "\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">";
        for (int k = 0; k <= style::colour_bar_stops; ++k) {
            const double t = static_cast<double>(k) / style::colour_bar_stops;
            out_ += "<stop offset=\"" + number(100 * t) + "%\" stop-color=\"" + colour(viridis(t)) +
                    "\"/>";
        }
        out_ += "</linearGradient></defs>\n";
    }

    std::string fill_of(Rgb rgb) const { return colour(rgb); }
    std::string hatched() const { return "url(#" + id("hatch") + ")"; }
    std::string reference(std::string_view name) const { return "url(#" + id(name) + ")"; }

    void rect(const Box& box, const std::string& fill, const std::string& stroke = "none",
              double stroke_width = 1.0) {
        out_ += "<rect x=\"" + number(box.left) + "\" y=\"" + number(box.top) + "\" width=\"" +
                number(box.width) + "\" height=\"" + number(box.height) + "\"" +
                paint(fill, stroke, stroke_width) + "/>\n";
    }

    void ellipse(const Box& box, const std::string& fill, const std::string& stroke,
                 double stroke_width) {
        out_ += "<ellipse cx=\"" + number(box.left + box.width / 2) + "\" cy=\"" +
                number(box.top + box.height / 2) + "\" rx=\"" + number(box.width / 2) + "\" ry=\"" +
                number(box.height / 2) + "\"" + paint(fill, stroke, stroke_width) + "/>\n";
    }

    void circle(Point centre, double radius, const std::string& fill,
                const std::string& stroke = "none") {
        out_ += "<circle cx=\"" + number(centre.x) + "\" cy=\"" + number(centre.y) + "\" r=\"" +
                number(radius) + "\"" + paint(fill, stroke, 1.0) + "/>\n";
    }

    void line(Point from, Point to, Rgb ink, double width, LineStyle dashes = LineStyle::solid) {
        out_ += "<line x1=\"" + number(from.x) + "\" y1=\"" + number(from.y) + "\" x2=\"" +
                number(to.x) + "\" y2=\"" + number(to.y) + "\"" +
                paint("none", colour(ink), width) + dash(dashes, width) + "/>\n";
    }

    void polyline(const std::vector<Point>& points, Rgb ink, double width,
                  LineStyle dashes = LineStyle::solid, bool closed = false) {
        if (points.empty()) return;
        out_ += std::string(closed ? "<polygon" : "<polyline") + " points=\"" + point_list(points) +
                "\"" + paint("none", colour(ink), width) + dash(dashes, width) +
                " stroke-linejoin=\"round\"/>\n";
    }

    // A band of a surface: filled without an edge, its edges not smoothed, so
    // that neighbouring bands meet without a seam.
    void band(const std::vector<Point>& points, Rgb fill) {
        out_ += "<polygon points=\"" + point_list(points) + "\" fill=\"" + colour(fill) +
                "\" shape-rendering=\"crispEdges\"/>\n";
    }

    void polygon(const std::vector<Point>& points, const std::string& fill, Rgb ink) {
        out_ += "<polygon points=\"" + point_list(points) + "\"" + paint(fill, colour(ink), 1.0) +
                "/>\n";
    }

    void text(const Box& box, const std::string& text, const TextStyle& style) {
        if (text.empty()) return;
        const double pixels = scaled(style.pixels);
        const std::vector<std::string> lines =
            style.wrap ? wrapped_lines(text, box.width, pixels) : std::vector<std::string>{text};
        const double spacing = line_spacing * pixels;
        const double block = spacing * static_cast<double>(lines.size() - 1) + pixels;
        double top = box.top;
        if (style.down == Down::middle) top += (box.height - block) / 2;
        if (style.down == Down::bottom) top = box.bottom() - block;
        const double x = style.across == Across::left     ? box.left
                         : style.across == Across::centre ? box.left + box.width / 2
                                                          : box.right();
        out_ += "<text" + text_attributes(style, pixels) + ">";
        for (std::size_t k = 0; k < lines.size(); ++k)
            out_ += "<tspan x=\"" + number(x) + "\" y=\"" +
                    number(top + ascent * pixels + spacing * static_cast<double>(k)) + "\">" +
                    xml_escaped(lines[k]) + "</tspan>";
        out_ += "</text>\n";
    }

    // Text centred on a point, or starting at it; on a white box its size with a halo.
    void text_mark(const TextMark& mark) {
        const double pixels = mark.size_pixels * style_.text_scale;
        const double width = estimated_width(mark.text, pixels);
        const double left = mark.left_aligned ? mark.at.x : mark.at.x - width / 2;
        if (mark.halo)
            rect(
                {left - 2, mark.at.y - line_spacing * pixels / 2, width + 4, line_spacing * pixels},
                colour(style::white));
        out_ += "<text font-size=\"" + number(pixels) + "\" fill=\"" + colour(mark.colour) + "\"" +
                (mark.left_aligned ? "" : " text-anchor=\"middle\"") + " x=\"" + number(mark.at.x) +
                "\" y=\"" + number(mark.at.y + (ascent - 0.5) * pixels) + "\">" +
                xml_escaped(mark.text) + "</text>\n";
    }

    std::string finish() {
        out_ += "</svg>\n";
        return std::move(out_);
    }

  private:
    double scaled(int pixels) const { return pixels * style_.text_scale; }

    std::string paint(const std::string& fill, const std::string& stroke, double width) const {
        std::string attributes = " fill=\"" + fill + "\"";
        if (stroke != "none")
            attributes += " stroke=\"" + stroke + "\" stroke-width=\"" +
                          number(width * style_.line_scale) + "\"";
        return attributes;
    }

    // Dashes as long as Qt's pen styles: a dash four widths of ink, a dot
    // one, each followed by a gap of two.
    std::string dash(LineStyle dashes, double width) const {
        std::vector<int> pattern;
        switch (dashes) {
            case LineStyle::solid:
                return {};
            case LineStyle::dashed:
                pattern = {4, 2};
                break;
            case LineStyle::dotted:
                pattern = {1, 2};
                break;
            case LineStyle::dash_dot:
                pattern = {4, 2, 1, 2};
                break;
            case LineStyle::dash_dot_dot:
                pattern = {4, 2, 1, 2, 1, 2};
                break;
        }
        std::string attribute = " stroke-dasharray=\"";
        for (std::size_t k = 0; k < pattern.size(); ++k) {
            if (k > 0) attribute += ' ';
            attribute += number(pattern[k] * width * style_.line_scale);
        }
        return attribute + "\"";
    }

    static std::string point_list(const std::vector<Point>& points) {
        std::string list;
        list.reserve(points.size() * 14);
        for (const Point& point : points) {
            if (!list.empty()) list += ' ';
            list += number(point.x);
            list += ',';
            list += number(point.y);
        }
        return list;
    }

    static std::string text_attributes(const TextStyle& style, double pixels) {
        std::string attributes =
            " font-size=\"" + number(pixels) + "\" fill=\"" + colour(style.colour) + "\"";
        if (style.bold) attributes += " font-weight=\"bold\"";
        if (style.across == Across::centre) attributes += " text-anchor=\"middle\"";
        if (style.across == Across::right) attributes += " text-anchor=\"end\"";
        return attributes;
    }

    std::string_view prefix_;
    PaintStyle style_;
    std::string out_;
};

Box inset(const Box& box, double by) {
    return {box.left + by, box.top + by, box.width - 2 * by, box.height - 2 * by};
}

// A cell's value: large and bold, or "no signal" small and wrapped to fit.
void write_value(SvgWriter& svg, const MapCell& cell, const Box& box, Rgb ink, Across across,
                 Down down) {
    if (cell.no_signal)
        svg.text(box, cell.value_text,
                 {style::small_pixels, false, style::muted, across, down, true});
    else
        svg.text(box, cell.value_text, {style::value_pixels, true, ink, across, down});
}

// A grid cell: the lead number small at the top left, the value large in the middle.
void write_grid_cell_text(SvgWriter& svg, const MapCell& cell, Rgb ink) {
    const Box corner{cell.box.left + 4, cell.box.top + 2, cell.box.width - 4, cell.box.height - 2};
    svg.text(corner, std::to_string(cell.lead),
             {style::small_pixels, false, ink, Across::left, Down::top});
    write_value(svg, cell, cell.box, ink, Across::centre, Down::middle);
}

// A marker: the lead number above the value, or the number alone when the marker is small.
void write_marker_text(SvgWriter& svg, const MapCell& cell, Rgb ink) {
    const std::string lead = std::to_string(cell.lead);
    if (!cell.shows_value) {
        svg.text(cell.box, lead, {style::small_pixels, false, ink, Across::centre, Down::middle});
        return;
    }
    Box upper = cell.box;
    upper.height /= 2;
    Box lower = upper;
    lower.top += upper.height;
    svg.text(upper, lead, {style::small_pixels, false, ink, Across::centre, Down::bottom});
    write_value(svg, cell, lower, ink, Across::centre, Down::top);
}

void write_shape(SvgWriter& svg, const MapCell& cell, const Box& box, const std::string& fill,
                 const std::string& stroke, double width) {
    if (cell.round)
        svg.ellipse(box, fill, stroke, width);
    else
        svg.rect(box, fill, stroke, width);
}

// A flagged lead: a dark line of outline_pixels just inside the cell's edge,
// dashed as its flag says.
void write_outline(SvgWriter& svg, const MapCell& cell) {
    const Box box = inset(cell.box, 0.5 + style::outline_pixels / 2);
    if (cell.round) {
        svg.ellipse(box, "none", svg.fill_of(style::ink), style::outline_pixels);
        return;
    }
    svg.polyline({{box.left, box.top},
                  {box.right(), box.top},
                  {box.right(), box.bottom()},
                  {box.left, box.bottom()}},
                 style::ink, style::outline_pixels, cell.outline_style, true);
}

void write_cell(SvgWriter& svg, const MapCell& cell) {
    const std::string fill = cell.flagged ? svg.hatched() : svg.fill_of(cell.fill);
    const Rgb edge = cell.flagged ? style::hatch_ink : style::white;
    write_shape(svg, cell, inset(cell.box, 0.5), fill, svg.fill_of(edge), 1.0);
    // A bad lead: a dark line of outline_pixels just inside the cell's edge.
    if (cell.outlined) write_outline(svg, cell);
    const Rgb ink = cell.light_text ? style::white : style::ink;
    if (cell.round)
        write_marker_text(svg, cell, ink);
    else
        write_grid_cell_text(svg, cell, ink);
}

void write_ticks(SvgWriter& svg, const ColourBar& bar) {
    for (const Tick& tick : bar.ticks) {
        svg.line({bar.box.right(), tick.y}, {bar.box.right() + 5, tick.y}, style::ink, 1.0);
        svg.text({bar.box.right() + 8, tick.y - 9, 60, 18}, tick.label,
                 {style::small_pixels, false, style::ink});
    }
}

void write_colour_bar(SvgWriter& svg, const ColourBar& bar, std::string_view ramp) {
    svg.text({bar.box.left - 10, bar.box.top - 20, bar.box.width + 40, 18}, bar.label,
             {style::small_pixels, false, style::muted});
    if (bar.range.empty) {
        svg.rect(bar.box, svg.hatched());
        svg.text({bar.box.right() + 6, bar.box.top, 80, 40}, std::string(style::empty_bar_note),
                 {style::small_pixels, false, style::muted, Across::left, Down::top, true});
        return;
    }
    svg.ramp_gradient(ramp);
    svg.rect(bar.box, svg.reference(ramp), svg.fill_of(style::muted), 1.0);
    write_ticks(svg, bar);
}

void write_map(SvgWriter& svg, const MapPanel& map, std::string_view ramp) {
    svg.text(map.title_box, map.title, {style::title_pixels, true});
    for (const MapCell& cell : map.cells) write_cell(svg, cell);
    write_colour_bar(svg, map.bar, ramp);
    svg.text(map.note_box, map.note, {style::body_pixels, false, style::muted});
}

// Shapes first, then strokes, dots and texts on top, as the painter draws them.
void write_drawing(SvgWriter& svg, const Drawing& drawing) {
    for (const FilledShape& shape : drawing.shapes) svg.band(shape.outline, shape.fill);
    for (const Stroke& stroke : drawing.strokes)
        svg.polyline(stroke.points, stroke.colour, stroke.width_pixels, stroke.style,
                     stroke.closed);
    for (const Dot& dot : drawing.dots)
        svg.circle(dot.centre, dot.radius_pixels,
                   svg.fill_of(dot.hollow ? style::white : dot.colour), svg.fill_of(dot.colour));
    for (const TextMark& mark : drawing.texts) svg.text_mark(mark);
}

void write_surface(SvgWriter& svg, const SurfacePanel& surface, std::string_view ramp) {
    svg.text(surface.title_box, surface.title, {style::title_pixels, true});
    write_drawing(svg, surface.drawing);
    write_colour_bar(svg, surface.bar, ramp);
    svg.text(surface.note_box, surface.note, {style::body_pixels, false, style::muted});
}

void write_curve(SvgWriter& svg, const PlotCurve& curve, Rgb ink) {
    if (curve.joined)
        svg.polyline(curve.points, ink, 1.5);
    else
        for (const Point& point : curve.points) svg.circle(point, 3.25, svg.fill_of(ink));
    if (curve.fitted) svg.line(curve.fitted->first, curve.fitted->second, ink, 1.5);
}

void write_plot(SvgWriter& svg, const PlotPanel& panel) {
    svg.text(panel.title_box, panel.title, {style::title_pixels, true});
    svg.rect(panel.field, "none", svg.fill_of(style::muted), 1.0);
    Box label = panel.legend_box;
    label.height /= static_cast<double>(std::max<std::size_t>(panel.curves.size(), 1));
    for (const PlotCurve& curve : panel.curves) {
        const Rgb ink = style::curve_ink(curve.colour, panel.curves.size());
        write_curve(svg, curve, ink);
        svg.text(label, curve.label, {style::body_pixels, false, ink});
        label.top += label.height;
    }
    svg.text(panel.axes_box, panel.axes, {style::body_pixels, false, style::muted});
}

void write_heading(SvgWriter& svg, const ReviewPicture& picture) {
    svg.text(picture.heading_box, picture.heading, {style::heading_pixels, true});
    svg.text(picture.details_box, picture.details, {});
    if (picture.legend.empty()) return;
    const Box& legend = picture.legend_box;
    svg.rect({legend.left, legend.top + 4, 34, legend.height - 8}, svg.hatched());
    svg.text({legend.left + 42, legend.top, legend.width - 42, legend.height},
             std::string(style::hatching_legend_prefix) + picture.legend, {});
}

// A mark of one sample across the trace: solid for a finding, dashed for a
// default, with a small triangle at the top, hollow for a default.
void write_sample_mark(SvgWriter& svg, double x, const Box& panel, Rgb ink, bool is_default) {
    svg.line({x, panel.top + 14}, {x, panel.bottom() - 2}, ink, 1.5,
             is_default ? LineStyle::dashed : LineStyle::solid);
    svg.polygon({{x - 4, panel.top + 10}, {x + 4, panel.top + 10}, {x, panel.top + 16}},
                svg.fill_of(is_default ? style::white : ink), ink);
}

void write_panel_marks(SvgWriter& svg, const SheetPanel& panel) {
    for (const auto& x : {panel.reference_x, panel.j_x, panel.t_end_x})
        if (x)
            svg.line({*x, panel.box.top + 14}, {*x, panel.box.bottom()}, style::fiducial_ink, 1.0);
    if (panel.activation_x)
        write_sample_mark(svg, *panel.activation_x, panel.box, style::activation_ink,
                          panel.no_downstroke);
    if (panel.recovery_x)
        write_sample_mark(svg, *panel.recovery_x, panel.box, style::recovery_ink,
                          panel.no_upstroke);
}

void write_panel(SvgWriter& svg, const SheetPanel& panel) {
    // A tinted panel finds a lead with a default among the 64 at a glance.
    const bool tinted = svg.tints_defaults() && (panel.no_downstroke || panel.no_upstroke);
    svg.rect(panel.box, tinted ? svg.fill_of(style::flagged_panel_fill) : "none",
             svg.fill_of(style::panel_frame), 1.0);
    write_panel_marks(svg, panel);
    svg.polyline(panel.trace, style::ink, 1.0);
    const Box label{panel.box.left + 3, panel.box.top, panel.box.width - 6, 14};
    svg.text(label, std::to_string(panel.lead), {style::small_pixels, true});
    svg.text(label, panel.tag, {style::small_pixels, false, style::flag_tag_ink, Across::right});
}

void write_sheet_legend(SvgWriter& svg, const Box& row) {
    double left = row.left;
    for (const style::LegendEntry& entry : style::sheet_legend) {
        svg.line({left + 4, row.top + 4}, {left + 4, row.bottom() - 4}, entry.colour, 1.5,
                 entry.dashed ? LineStyle::dashed : LineStyle::solid);
        const std::string text(entry.text);
        svg.text({left + 12, row.top, 400, row.height}, text, {});
        left += 12 + estimated_width(text, style::body_pixels) + 22;
    }
}

void write_sheet(SvgWriter& svg, const ReviewSheet& sheet) {
    svg.text(sheet.title_box, sheet.title, {style::title_pixels, true});
    write_sheet_legend(svg, sheet.legend_box);
    for (const SheetPanel& panel : sheet.panels) write_panel(svg, panel);
    write_drawing(svg, sheet.scale);
}

}  // namespace

std::string xml_escaped(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string svg_picture(const ReviewPicture& picture, std::string_view id_prefix) {
    SvgWriter svg(id_prefix, picture.style);
    svg.open(picture.width, 0.0, picture.height);
    svg.hatching_pattern();
    svg.rect({0, 0, picture.width, picture.height}, svg.fill_of(style::white));
    write_heading(svg, picture);
    int ramps = 0;
    const auto next_ramp = [&ramps] { return "ramp" + std::to_string(++ramps); };
    for (const MapPanel& map : picture.maps) write_map(svg, map, next_ramp());
    for (const SurfacePanel& surface : picture.surfaces) write_surface(svg, surface, next_ramp());
    for (const MapPanel& map : picture.integral_maps) write_map(svg, map, next_ramp());
    write_drawing(svg, picture.outline_legend);
    svg.text(picture.other_flags_box, picture.other_flags, {});
    svg.text(picture.least_confident_box, picture.least_confident, {});
    for (const PlotPanel& panel : picture.beat_panels) write_plot(svg, panel);
    if (picture.sheet) write_sheet(svg, *picture.sheet);
    return svg.finish();
}

std::string svg_sheet(const ReviewPicture& picture, std::string_view id_prefix) {
    if (!picture.sheet) return {};
    const ReviewSheet& sheet = *picture.sheet;
    constexpr double margin = 8.0;
    const double top = sheet.title_box.top - margin;
    SvgWriter svg(id_prefix, picture.style);
    svg.open(picture.width, top, sheet.field.bottom() + margin - top);
    svg.rect({0, top, picture.width, sheet.field.bottom() + margin - top},
             svg.fill_of(style::white));
    write_sheet(svg, sheet);
    return svg.finish();
}

}  // namespace mapari::review
