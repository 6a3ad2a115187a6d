// The review picture as SVG: a well-formed document (read by Qt's XML reader)
// that carries every text of the laid-out picture as text, one shape for each
// the painter draws, ids that can stand beside another picture's, and the
// sheet alone cut to its height.
#include <gtest/gtest.h>

#include <QXmlStreamReader>
#include <algorithm>
#include <cstdio>
#include <map>

#include "review/picture_style.hpp"
#include "review/svg_picture.hpp"
#include "review_support.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

// What a well-formed SVG document holds: the texts of its text elements
// (their lines joined by a space), how many of each element, and the
// attributes of its root and of every element with an id.
struct SvgContents {
    std::vector<std::string> texts;
    std::map<std::string, int> elements;
    std::map<std::string, std::string> root;
    std::vector<std::string> ids;
    std::map<std::string, int> fills;  // how many elements have each fill
};

void take_attributes(const QXmlStreamReader& reader, SvgContents& contents) {
    for (const QXmlStreamAttribute& attribute : reader.attributes()) {
        const std::string name = attribute.name().toString().toStdString();
        const std::string value = attribute.value().toString().toStdString();
        if (reader.name() == QStringLiteral("svg")) contents.root[name] = value;
        if (name == "id") contents.ids.push_back(value);
        if (name == "fill") ++contents.fills[value];
    }
}

// Reads the document; a failure of the test when it is not well-formed.
SvgContents read_svg(const std::string& svg) {
    SvgContents contents;
    QXmlStreamReader reader(QByteArray::fromStdString(svg));
    std::string text;
    int text_depth = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            ++contents.elements[reader.name().toString().toStdString()];
            take_attributes(reader, contents);
            if (reader.name() == QStringLiteral("text")) text_depth = 1, text.clear();
            if (reader.name() == QStringLiteral("tspan") && !text.empty()) text += ' ';
        } else if (reader.isCharacters() && text_depth > 0) {
            text += reader.text().toString().toStdString();
        } else if (reader.isEndElement() && reader.name() == QStringLiteral("text")) {
            contents.texts.push_back(text);
            text_depth = 0;
        }
    }
    EXPECT_FALSE(reader.hasError())
        << reader.errorString().toStdString() << " at line " << reader.lineNumber();
    return contents;
}

// The hand-made record with the indexed saved beat: the picture with its
// sheet, its maps in the given forms.
ReviewPicture picture_with_sheet(MapForms forms = MapForms::values) {
    ReviewData data = hand_made_review();
    BeatTraces beat;
    for (int l = 1; l <= lead_count; ++l)
        for (int k = 1; k <= averaged_rows; ++k) beat.values.push_back(k % 50 + l);
    data.beat = beat;
    return lay_out_review(data, {forms});
}

// Every text the laid-out picture shows, as the painter draws it.
std::vector<std::string> picture_texts(const ReviewPicture& picture) {
    std::vector<std::string> texts = {picture.heading, picture.details,
                                      std::string(style::hatching_legend_prefix) + picture.legend};
    for (const MapPanel& map : picture.maps) {
        texts.insert(texts.end(), {map.title, map.note, map.bar.label});
        for (const Tick& tick : map.bar.ticks) texts.push_back(tick.label);
        for (const MapCell& cell : map.cells)
            texts.insert(texts.end(), {std::to_string(cell.lead), cell.value_text});
    }
    texts.push_back(picture.sheet->title);
    for (const style::LegendEntry& entry : style::sheet_legend) texts.emplace_back(entry.text);
    for (const SheetPanel& panel : picture.sheet->panels) {
        texts.push_back(std::to_string(panel.lead));
        if (!panel.tag.empty()) texts.push_back(panel.tag);
    }
    return texts;
}

TEST(SvgPicture, IsWellFormedAndCarriesEveryTextOfThePicture) {
    const ReviewPicture picture = picture_with_sheet();
    SvgContents svg = read_svg(svg_picture(picture));
    for (const std::string& text : picture_texts(picture))
        EXPECT_NE(std::find(svg.texts.begin(), svg.texts.end(), text), svg.texts.end())
            << "missing text \"" << text << "\"";
    EXPECT_EQ(svg.root["width"], "1640");
    EXPECT_EQ(svg.root["viewBox"], "0 0 1640 " + std::to_string(static_cast<int>(picture.height)));
}

// The hand-made record flags AT of leads 1 and 3 and RT of leads 2 and 3: 2 +
// 2 + 3 hatched cells on the three maps, and the legend's swatch. Its 64 traces
// are 64 polylines; each panel's P, J and E are 3 lines.
TEST(SvgPicture, DrawsOneShapeForEachThePainterDraws) {
    const ReviewPicture picture = picture_with_sheet();
    SvgContents svg = read_svg(svg_picture(picture));
    EXPECT_EQ(svg.fills.at("url(#hatch)"), 2 + 2 + 3 + 1);
    const int scale_strokes = static_cast<int>(picture.sheet->scale.strokes.size());
    const int map_count = static_cast<int>(picture.maps.size() + picture.integral_maps.size());
    EXPECT_EQ(svg.elements.at("polyline"), 64 + scale_strokes);  // the traces, the sheet's scale
    EXPECT_EQ(svg.elements.at("linearGradient"), map_count);
    // Every map cell is a rectangle of the grid; the bars, the panels and the background too.
    EXPECT_EQ(svg.elements.at("rect"), map_count * (64 + 1) + 64 + 2 + 1);
    // An activation and a recovery mark on each panel with a beat: a triangle each.
    EXPECT_EQ(svg.elements.at("polygon"), 2 * 64);
    for (const MapPanel& map : picture.maps)
        for (const MapCell& cell : map.cells) {
            if (cell.flagged) continue;
            char fill[8];
            std::snprintf(fill, sizeof fill, "#%02x%02x%02x", cell.fill.red, cell.fill.green,
                          cell.fill.blue);
            EXPECT_EQ(svg.fills.count(fill), 1u) << map.title << " lead " << cell.lead;
        }
}

// Every drawing made of primitives: the surfaces, the outlines' legend, the sheet's scale.
std::vector<const Drawing*> drawings_of(const ReviewPicture& picture) {
    std::vector<const Drawing*> drawings = {&picture.outline_legend, &picture.sheet->scale};
    for (const SurfacePanel& surface : picture.surfaces) drawings.push_back(&surface.drawing);
    return drawings;
}

// Beside the traces and the marks' triangles: one polygon for each band of a
// surface and each closed stroke, one polyline for each open stroke, one
// circle for each electrode's dot, one text for each label; a ramp for each
// map, surface and integral map.
TEST(SvgPicture, DrawsEveryPrimitiveOfTheSurfacesAndScales) {
    const ReviewPicture picture = picture_with_sheet(MapForms::both);
    ASSERT_FALSE(picture.surfaces.empty());
    std::size_t shapes = 0, open_strokes = 0, closed_strokes = 0, dots = 0, labels = 0;
    for (const Drawing* drawing : drawings_of(picture)) {
        shapes += drawing->shapes.size();
        for (const Stroke& stroke : drawing->strokes)
            ++(stroke.closed ? closed_strokes : open_strokes);
        dots += drawing->dots.size();
        labels += drawing->texts.size();
    }
    ASSERT_GT(shapes * open_strokes * dots * labels, 0u);
    SvgContents svg = read_svg(svg_picture(picture));
    EXPECT_EQ(svg.elements.at("polyline"), static_cast<int>(64 + open_strokes));
    const std::size_t mark_triangles = 128;  // two a trace
    EXPECT_EQ(svg.elements["polygon"], static_cast<int>(mark_triangles + shapes + closed_strokes));
    EXPECT_EQ(svg.elements.at("circle"), static_cast<int>(dots));
    EXPECT_EQ(svg.elements.at("linearGradient"),
              static_cast<int>(picture.maps.size() + picture.surfaces.size() +
                               picture.integral_maps.size()));
    for (const Drawing* drawing : drawings_of(picture))
        for (const TextMark& mark : drawing->texts)
            EXPECT_NE(std::find(svg.texts.begin(), svg.texts.end(), mark.text), svg.texts.end())
                << "missing label \"" << mark.text << "\"";
}

// Each stop of a colour bar's ramp at a place of its own, in order: stops
// that share a place band the ramp.
TEST(SvgPicture, TheRampsStopsStandApart) {
    const std::string svg = svg_picture(picture_with_sheet());
    const std::string ramp = svg.substr(0, svg.find("</linearGradient>"));
    std::vector<double> offsets;
    for (auto at = ramp.find("offset=\""); at != std::string::npos;
         at = ramp.find("offset=\"", at + 1))
        offsets.push_back(std::stod(ramp.substr(at + 8)));
    ASSERT_EQ(offsets.size(), static_cast<std::size_t>(style::colour_bar_stops + 1));
    EXPECT_EQ(std::adjacent_find(offsets.begin(), offsets.end(), std::greater_equal<>()),
              offsets.end());
    EXPECT_EQ(offsets.back(), 100.0);
}

TEST(SvgPicture, IdsCarryThePrefixSoPicturesCanShareAPage) {
    const ReviewPicture picture = picture_with_sheet();
    SvgContents svg = read_svg(svg_picture(picture, "r7-"));
    std::vector<std::string> ids = {"r7-hatch"};
    for (std::size_t k = 1; k <= picture.maps.size() + picture.integral_maps.size(); ++k)
        ids.push_back("r7-ramp" + std::to_string(k));
    EXPECT_EQ(svg.ids, ids);
    EXPECT_EQ(svg.fills.at("url(#r7-hatch)"), 2 + 2 + 3 + 1);
    EXPECT_EQ(svg.fills.count("url(#hatch)"), 0u);
}

TEST(SvgPicture, SheetAloneIsCutToItsHeight) {
    const ReviewPicture picture = picture_with_sheet();
    SvgContents svg = read_svg(svg_sheet(picture, "s-"));
    EXPECT_EQ(svg.elements.at("polyline"),
              64 + static_cast<int>(picture.sheet->scale.strokes.size()));
    EXPECT_EQ(svg.elements.count("linearGradient"), 0u);
    EXPECT_EQ(std::count(svg.texts.begin(), svg.texts.end(), picture.maps[0].title), 0);
    EXPECT_EQ(std::count(svg.texts.begin(), svg.texts.end(), picture.sheet->title), 1);
    const double top = picture.sheet->title_box.top - 8;
    EXPECT_EQ(svg.root["viewBox"].substr(0, svg.root["viewBox"].find(' ', 2)),
              "0 " + std::to_string(static_cast<int>(top)));
    EXPECT_EQ(svg_sheet(lay_out_review(hand_made_review())), "");
}

TEST(SvgPicture, TextIsEscapedForXml) {
    const std::pair<std::string, std::string> cases[] = {
        {"a < b & c > d", "a &lt; b &amp; c &gt; d"},
        {"\"quoted\"", "&quot;quoted&quot;"},
        {"RT = J + r − P", "RT = J + r − P"},
        {"", ""},
    };
    for (const auto& [text, escaped] : cases) EXPECT_EQ(xml_escaped(text), escaped) << text;
}

}  // namespace
}  // namespace mapari::review_tests
