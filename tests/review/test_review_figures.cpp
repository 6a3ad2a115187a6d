// The maps beyond cells and the sheet's scale, laid out: isochrones where the
// planted times put them, integral maps against hand-worked areas, the forms
// a map takes, the time axis and amplitude bar, the outlines' legend.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "review/map_panels.hpp"
#include "review/review_layout.hpp"
#include "review_support.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

// The hand-made review with every lead's AT planted as a linear function of
// its place on the grid, at = a + bx·x + by·y ms, and RT = AT + 250 ms; no flags.
ReviewData planted_review(double a, double bx, double by) {
    ReviewData data = hand_made_review();
    for (std::size_t k = 0; k < lead_count; ++k) {
        const Position p = data.layout.positions[k];
        LeadValues& lead = (*data.leads)[k];
        lead.activation_ms = static_cast<float>(a + bx * p.x + by * p.y);
        lead.recovery_ms = lead.activation_ms + 250.0f;
        lead.ari_ms = 250.0f;
        lead.no_downstroke = lead.no_upstroke = false;
    }
    return data;
}

// The place of a pixel of the surface's field, in layout units.
Position layout_place(const FieldPlacement& place, Point pixel) {
    return {(pixel.x - place.left) / place.scale_x - place.spacing / 2 + place.low.x,
            (pixel.y - place.top) / place.scale_y - place.spacing / 2 + place.low.y};
}

TEST(ReviewFigures, IsochronesLieWherePlantedTimesPutThem) {
    // AT = 5 + 4x + 6y ms on the 8 × 8 grid, 5 to 75 ms: the isochrone of
    // level L is the line 4x + 6y = L − 5. Every point drawn lies within one
    // node step (1/12 of a spacing) of it, measured across the line.
    struct Case {
        double a, bx, by, step;
        std::vector<double> levels;
    };
    const Case cases[] = {
        {5, 4, 6, 10, {10, 20, 30, 40, 50, 60, 70}},
        {3, 10, 0, 20, {20, 40, 60}},  // a plane wave from the left: straight columns
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        const ReviewPicture picture =
            lay_out_review(planted_review(c.a, c.bx, c.by), {MapForms::isochrones, c.step});
        ASSERT_EQ(picture.surfaces.size(), 3u);
        const SurfacePanel& at = picture.surfaces[0];
        EXPECT_EQ(at.title, "Isochrones of AT every " + std::to_string(int(c.step)) + " ms");
        const FieldPlacement place = field_placement(grid_layout(), at.field, true);
        const double node_step = 1.0 / 12, gradient = std::hypot(c.bx, c.by);
        std::vector<double> levels_seen;
        for (const Stroke& line : at.drawing.strokes) {
            if (line.closed) continue;  // the outlines of flagged leads (none here)
            ASSERT_GE(line.points.size(), 2u);
            const Position first = layout_place(place, line.points.front());
            const double level = c.a + c.bx * first.x + c.by * first.y;
            const double nearest = std::round(level / c.step) * c.step;
            levels_seen.push_back(nearest);
            for (const Point& pixel : line.points) {
                const Position p = layout_place(place, pixel);
                EXPECT_LE(std::fabs(c.a + c.bx * p.x + c.by * p.y - nearest) / gradient, node_step)
                    << p.x << ", " << p.y;
            }
        }
        std::sort(levels_seen.begin(), levels_seen.end());
        EXPECT_EQ(levels_seen, c.levels);
        // Each line is labelled with its level.
        for (double level : c.levels)
            EXPECT_TRUE(std::any_of(
                at.drawing.texts.begin(), at.drawing.texts.end(),
                [&](const TextMark& m) { return m.text == std::to_string(int(level)); }))
                << level;
    }
}

TEST(ReviewFigures, ElectrodesAreDotsHollowWhereLeftOut) {
    // The hand-made review: AT defaults on leads 1 and 3, RT defaults on 2 and 3.
    const ReviewPicture picture = lay_out_review(hand_made_review(), {MapForms::isochrones, 10});
    const Drawing& at = picture.surfaces[0].drawing;
    ASSERT_EQ(at.dots.size(), 64u);
    std::vector<int> hollow;
    for (std::size_t k = 0; k < at.dots.size(); ++k)
        if (at.dots[k].hollow) hollow.push_back(static_cast<int>(k) + 1);
    EXPECT_EQ(hollow, (std::vector<int>{1, 3}));
    EXPECT_EQ(picture.surfaces[0].note,
              "Thin-plate spline; 2 leads (hollow) left out: defaults, or without a signal.");
    EXPECT_EQ(picture.surfaces[2].note,  // ARI: leads 1, 2 and 3
              "Thin-plate spline; 3 leads (hollow) left out: defaults, or without a signal.");
}

TEST(ReviewFigures, FormsChooseCellsSurfacesOrBoth) {
    struct Case {
        MapForms forms;
        bool beat;
        std::size_t maps, surfaces, integral_maps;
    };
    const Case cases[] = {
        {MapForms::values, false, 3, 0, 0},    {MapForms::isochrones, false, 0, 3, 0},
        {MapForms::both, false, 3, 3, 0},      {MapForms::values, true, 3, 0, 3},
        {MapForms::isochrones, true, 0, 6, 0}, {MapForms::both, true, 3, 6, 3},
    };
    for (const Case& c : cases) {
        ReviewData data = hand_made_review();
        if (c.beat) data.beat = stepped_beat();
        const ReviewPicture picture = lay_out_review(data, {c.forms, 10});
        EXPECT_EQ(picture.maps.size(), c.maps);
        EXPECT_EQ(picture.surfaces.size(), c.surfaces);
        EXPECT_EQ(picture.integral_maps.size(), c.integral_maps);
        // Each row of maps lies below the one before.
        double bottom = picture.legend_box.bottom();
        for (const auto* row : {c.maps ? &picture.maps[0].note_box : nullptr,
                                c.surfaces ? &picture.surfaces[0].note_box : nullptr,
                                c.integral_maps ? &picture.integral_maps[0].note_box : nullptr,
                                c.surfaces == 6 ? &picture.surfaces[3].note_box : nullptr}) {
            if (!row) continue;
            EXPECT_GT(row->top, bottom);
            bottom = row->bottom();
        }
    }
}

TEST(ReviewFigures, IntegralMapsGiveEachLeadsAreaInMicrovoltMs) {
    // ref = 150, J = 250, T end = 600; lead 2 is 2 counts to row 399, 52 from
    // 400. QRS: 100 intervals × 2 = 200. STT: 149 × 2 + (2 + 52)/2 + 200 × 52
    // = 298 + 27 + 10400 = 10725. QRST = 200 + 10725 = 10925. At 2 µV a count,
    // twice each.
    ReviewData data = hand_made_review();
    data.beat = stepped_beat();
    data.microvolts_per_count = 2.0;
    const ReviewPicture picture = lay_out_review(data, {MapForms::values, 10});
    ASSERT_EQ(picture.integral_maps.size(), 3u);
    const char* const expected[] = {"400", "21850", "21450"};
    const char* const titles[] = {"QRS area (µV·ms)", "QRST area (µV·ms)", "STT area (µV·ms)"};
    for (std::size_t m = 0; m < 3; ++m) {
        EXPECT_EQ(picture.integral_maps[m].title, titles[m]);
        EXPECT_EQ(picture.integral_maps[m].cells[1].value_text, expected[m]);
        EXPECT_EQ(picture.integral_maps[m].bar.label, "µV·ms");
        EXPECT_FALSE(picture.integral_maps[m].cells[1].flagged);  // areas have no defaults
    }
    EXPECT_EQ(picture.integral_maps[0].note,
              "Area from ref to J, rows 150 to 250, at 2 µV a count.");
    EXPECT_EQ(picture.integral_maps[2].note,
              "Area from J to T end, rows 250 to 600, at 2 µV a count.");
}

TEST(ReviewFigures, SheetScaleHasATimeAxisAfterRefAndAnAmplitudeBar) {
    // Samples 110 to 1024 with ref = 150: −40 to 874 ms. A step of at least
    // 914 / 5 = 182.8 rounds to 200: ticks at 0, 200, 400, 600 and 800 ms.
    // The common span is lead 1's step of 100 counts; at 3 µV a count that is
    // 300 µV, of which 60 % is 180 and the bar 100 µV, a third of the trace's height.
    ReviewData data = hand_made_review();
    data.beat = stepped_beat();
    data.microvolts_per_count = 3.0;
    const ReviewPicture picture = lay_out_review(data);
    const ReviewSheet& sheet = *picture.sheet;
    std::vector<std::string> texts;
    for (const TextMark& mark : sheet.scale.texts) texts.push_back(mark.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"0", "200", "400", "600", "800", "ms after ref",
                                               "100 µV"}));
    // The axis runs as wide as a trace; its tick for 0 ms sits at ref's place in a panel.
    const SheetPanel& lead1 = sheet.panels[0];
    const Stroke& axis = sheet.scale.strokes[0];
    const Point trace_start = lead1.trace.front(), trace_end = lead1.trace.back();
    EXPECT_NEAR(axis.points[1].x - axis.points[0].x, trace_end.x - trace_start.x, 1e-9);
    EXPECT_NEAR(sheet.scale.strokes[1].points[0].x - axis.points[0].x,
                *lead1.reference_x - trace_start.x, 1e-9);
    const Stroke& bar = sheet.scale.strokes.back();
    const double trace_height = lead1.box.height - 16 - 4;  // below the label, inside the padding
    EXPECT_NEAR(bar.points[1].y - bar.points[0].y, trace_height / 3, 1e-9);
    EXPECT_GT(bar.points[0].y, sheet.field.bottom());
}

TEST(ReviewFigures, AmplitudeBarsAreRound) {
    struct Case {
        double microvolts_per_count;
        const char* text;
    };
    // A span of 100 counts: 60 % of it at each size, rounded down to 1, 2 or 5 × 10^n.
    const Case cases[] = {{1, "50 µV"}, {2, "100 µV"}, {5, "200 µV"},
                          {20, "1 mV"}, {40, "2 mV"},  {0.01, "0.5 µV"}};
    for (const Case& c : cases) {
        ReviewData data = hand_made_review();
        data.beat = stepped_beat();
        data.microvolts_per_count = c.microvolts_per_count;
        EXPECT_EQ(lay_out_review(data).sheet->scale.texts.back().text, c.text);
    }
}

TEST(ReviewFigures, OutlinesAreExplainedInALegendOfTheStylesUsed) {
    ReviewData data = hand_made_review();
    data.lead_flags[4] = {"weak"};
    data.lead_flags[9] = {"clipped", "weak"};  // clipped goes first
    data.bad_leads[20] = true;
    const ReviewPicture picture = lay_out_review(data, {MapForms::values, 10});
    std::vector<std::string> texts;
    for (const TextMark& mark : picture.outline_legend.texts) texts.push_back(mark.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"Outlined leads:", "clipped", "weak",
                                               "bad (flat, steps, outlier or marked bad)"}));
    std::vector<LineStyle> styles;
    for (const Stroke& swatch : picture.outline_legend.strokes) styles.push_back(swatch.style);
    EXPECT_EQ(styles,
              (std::vector<LineStyle>{LineStyle::dash_dot, LineStyle::dashed, LineStyle::solid}));
    EXPECT_EQ(picture.maps[0].cells[9].outline_style, LineStyle::dash_dot);
    EXPECT_GT(picture.outline_legend_box.top, picture.maps[0].note_box.top);
    EXPECT_TRUE(lay_out_review(hand_made_review()).outline_legend.texts.empty());
}

TEST(ReviewFigures, PaperStyleEnlargesTextAndLinesAndDropsTheTint) {
    const ReviewPicture screen = lay_out_review(hand_made_review());
    EXPECT_EQ(screen.style.text_scale, 1.0);
    EXPECT_EQ(screen.style.line_scale, 1.0);
    EXPECT_TRUE(screen.style.tint_defaults);
    const ReviewPicture paper =
        lay_out_review(hand_made_review(), {MapForms::both, 10, FigureStyle::paper});
    EXPECT_DOUBLE_EQ(paper.style.text_scale, 4.0 / 3.0);
    EXPECT_EQ(paper.style.line_scale, 1.5);
    EXPECT_FALSE(paper.style.tint_defaults);
    // The places stay those of the screen picture.
    EXPECT_EQ(paper.height, screen.height);
    EXPECT_EQ(paper.surfaces[0].field.left, screen.surfaces[0].field.left);
}

TEST(ReviewFigures, OutlineStylesFollowTheFlags) {
    struct Case {
        std::vector<std::string> flags;
        bool bad;
        std::optional<LineStyle> style;
    };
    const Case cases[] = {
        {{}, false, std::nullopt},
        {{"steps"}, false, std::nullopt},
        {{}, true, LineStyle::solid},
        {{"weak"}, false, LineStyle::dashed},
        {{"noisy"}, true, LineStyle::dotted},
        {{"clipped"}, false, LineStyle::dash_dot},
        {{"interpolated", "noisy"}, true, LineStyle::dash_dot_dot},
    };
    for (const Case& c : cases) EXPECT_EQ(outline_style_of(c.flags, c.bad), c.style);
}

}  // namespace
}  // namespace mapari::review_tests
