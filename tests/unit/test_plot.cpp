// Plot primitives: pixels from window positions, polylines, the click wait and
// the sequence correlation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "beats/correlation.hpp"
#include "phases/plot.hpp"
#include "support/temporary_folder.hpp"
#include "window/headless_runtime.hpp"

namespace mapari::unit_tests {
namespace {

TEST(PixelConversion, ProductIsExactAndCutTowardZero) {
    // 0.9f = 0.89999997615814..., × 300 = 269.99999284...: row 269, although the
    // product rounded to 32 bits would be 270.
    EXPECT_EQ(pixel_row(0.9f), 269);
    // 0.1f = 0.10000000149..., × 300 = 30.0000004...
    EXPECT_EQ(pixel_row(0.1f), 30);
    EXPECT_EQ(pixel_row(0.5f), 150);
    EXPECT_EQ(pixel_row(1.0f), 300);
    EXPECT_EQ(pixel_row(0.0f), 0);
    // 0.6f = 0.60000002384..., × 1000 = 600.0000238...
    EXPECT_EQ(pixel_column(0.6f), 600);
    EXPECT_EQ(pixel_column(0.0f), 0);
    // 0.9995f = 0.99949997663..., × 1000 = 999.49997...
    EXPECT_EQ(pixel_column(0.9995f), 999);
    // 0.0015f × 1000 = 1.5000000...: 1 either side of zero.
    EXPECT_EQ(pixel_column(0.0015f), 1);
    EXPECT_EQ(pixel_column(-0.0015f), -1);
    EXPECT_EQ(pixel_row(-0.5f), -150);
}

TEST(PixelConversion, OnlyTheLowSixteenBitsAreKept) {
    struct Case {
        float fraction;
        std::int16_t column;
    } cases[] = {
        {70.0f, 4464},      // 70000 - 65536
        {40.0f, -25536},    // 40000 = 0x9C40, as signed 16 bits 40000 - 65536
        {32.768f, -32768},  // 32.768f = 32.76800155..., × 1000 cut to 32768 = 0x8000
        {65.536f, 0},       // 65.536f = 65.53600311..., cut to 65536 = 0x10000
        {65.625f, 89},      // exactly 65625, minus 65536
        {-70.0f, -4464},    // -70000 + 2·65536 = 61072, as signed 16 bits 61072 - 65536
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fraction);
        EXPECT_EQ(pixel_column(c.fraction), c.column);
    }
}

TEST(PixelConversion, ClickedColumnIsColumnTimesThousandthIn32Bits) {
    EXPECT_EQ(column_fraction(600), 0.6f);
    EXPECT_EQ(column_fraction(600), 600 * 0.001f);
    EXPECT_EQ(column_fraction(0), 0.0f);
    EXPECT_EQ(column_fraction(1), 0.001f);
    // 0.001f = 0.0010000000474974513; × 10 = 0.010000000474974513, whose nearest
    // float is 0.010000000707805157, one step above 0.01f (0.0099999997764825821).
    EXPECT_EQ(column_fraction(10), 0.010000000707805157f);
    EXPECT_NE(column_fraction(10), 0.01f);
}

TEST(PixelConversion, FirstColumnAtOrRightOfAPositionInvertsTheClickedColumn) {
    constexpr float infinity = std::numeric_limits<float>::infinity();
    struct Case {
        float x_fraction;
        int column;
    } cases[] = {
        {-0.3f, 0},
        {0.0f, 0},
        {0.0005f, 1},
        // 0.01f lies one float below column 10's 0.010000000707805157.
        {0.01f, 10},
        {std::nextafter(0.010000000707805157f, infinity), 11},
        {0.6f, 600},
        {0.999f, 999},
        {0.9995f, drawing_width_pixels},  // right of the last column
        {1.0f, drawing_width_pixels},
        {7.0f, drawing_width_pixels},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x_fraction);
        EXPECT_EQ(first_column_at_or_right_of(c.x_fraction), c.column);
    }
    // Every column's own position gives it back; the next float, the column after.
    for (int column = 0; column < drawing_width_pixels; ++column) {
        SCOPED_TRACE(column);
        EXPECT_EQ(first_column_at_or_right_of(column_fraction(column)), column);
        EXPECT_EQ(first_column_at_or_right_of(std::nextafter(column_fraction(column), infinity)),
                  column + 1);
    }
}

// A runtime that notes the calls the primitives make.
class NotingRuntime : public Runtime {
  public:
    void write_line(Channel, std::string_view) override {}
    std::string read_line(Channel) override { return {}; }
    void open_trace_window() override {}
    void close_trace_window() override {}
    bool trace_window_open() const override { return true; }
    void clear_window() override {}
    void set_drawing_colour(std::uint32_t value) override {
        calls.push_back("colour " + std::to_string(value));
    }
    void move_to(std::int16_t x, std::int16_t y) override {
        calls.push_back("move " + std::to_string(x) + "," + std::to_string(y));
    }
    void line_to(std::int16_t x, std::int16_t y) override {
        calls.push_back("line " + std::to_string(x) + "," + std::to_string(y));
    }
    void set_cross_cursor() override { calls.emplace_back("cross"); }
    MouseEvent wait_mouse_event(int mask) override {
        calls.push_back("wait " + std::to_string(mask));
        return reply;
    }
    void stop() override {}

    std::vector<std::string> calls;
    MouseEvent reply;
};

TEST(ClickWait, SetsCrossCursorThenWaitsForLeftOrRightDown) {
    NotingRuntime runtime;
    runtime.reply = MouseEvent{left_button_down, 0, 600, 20};
    EXPECT_EQ(wait_click(runtime), 0.6f);
    EXPECT_EQ(runtime.calls, (std::vector<std::string>{"cross", "wait 9"}));
}

TEST(ClickWait, AnythingButALeftDownGivesHalf) {
    for (int code : {int{right_button_down}, int{left_button_up}, int{pointer_moved}, -1}) {
        SCOPED_TRACE(code);
        NotingRuntime runtime;
        runtime.reply = MouseEvent{code, 0, 123, 45};
        EXPECT_EQ(wait_click(runtime), 0.5f);
    }
}

struct ScriptedWindows {
    explicit ScriptedWindows(const std::string& script_text) : script(script_text) {}
    test_support::TemporaryFolder folder;
    std::istringstream script;
    std::ostringstream transcript;
    HeadlessRuntime runtime{script, transcript, nullptr, folder.path()};
};

TEST(ClickWait, ScriptedClicksGiveHorizontalPositions) {
    ScriptedWindows w("@click 0\n@right 700 20\n@right\n@click 600 10\n@click 999\n");
    w.runtime.open_trace_window();
    EXPECT_EQ(wait_click(w.runtime), 0.0f);
    EXPECT_EQ(wait_click(w.runtime), 0.5f);
    EXPECT_EQ(wait_click(w.runtime), 0.5f);
    EXPECT_EQ(wait_click(w.runtime), 0.6f);
    EXPECT_EQ(wait_click(w.runtime), 999 * 0.001f);
    EXPECT_TRUE(w.runtime.windows().trace_window().cross_cursor);
    EXPECT_FALSE(w.runtime.windows().text_window().cross_cursor);
    EXPECT_EQ(w.transcript.str(),
              "> click 0,150 left\n> click 700,20 right\n> click 500,150 right\n"
              "> click 600,10 left\n> click 999,150 left\n");
}

TEST(ClickWait, EmptyMaskReturnsAtOnceWithoutTakingAnEvent) {
    ScriptedWindows w("@click 5\n");
    EXPECT_EQ(w.runtime.wait_mouse_event(0).code, -1);
    EXPECT_EQ(w.runtime.wait_mouse_event(click_event_mask).x_pixel, 5);
}

TEST(Polylines, TraceIsBlueFromTheMovePointThenEveryPoint) {
    ScriptedWindows w("");
    w.runtime.open_trace_window();
    const float xs[] = {0.0f, 0.5f, 0.6f};
    const float ys[] = {0.1f, 0.5f, 0.9f};
    trace_polyline(w.runtime, 3, xs, ys);

    const std::vector<Polyline>& drawing = w.runtime.windows().trace_window().drawing;
    ASSERT_EQ(drawing.size(), 1u);
    EXPECT_EQ(drawing[0].colour, 0xF00000u);  // blue 240 in the third byte
    EXPECT_EQ(drawing[0].points,
              (std::vector<PixelPoint>{{0, 30}, {0, 30}, {500, 150}, {600, 269}}));
}

TEST(Polylines, MarkerIsCyanAndOnePointSetsOnePixel) {
    ScriptedWindows w("");
    w.runtime.open_trace_window();
    const float xs[] = {0.25f};
    const float ys[] = {0.5f};
    marker_polyline(w.runtime, 1, xs, ys);
    draw_marker(w.runtime, 0.6f, 0.1f, 0.9f);

    const std::vector<Polyline>& drawing = w.runtime.windows().trace_window().drawing;
    ASSERT_EQ(drawing.size(), 2u);
    EXPECT_EQ(drawing[0].colour, 0xFFFF00u);  // green 255 second byte, blue 255 third
    EXPECT_EQ(drawing[0].points, (std::vector<PixelPoint>{{250, 150}, {250, 150}}));
    EXPECT_EQ(drawing[1].colour, 0xFFFF00u);
    EXPECT_EQ(drawing[1].points, (std::vector<PixelPoint>{{600, 30}, {600, 30}, {600, 269}}));
}

TEST(Polylines, ColourStaysSetAfterThePolyline) {
    NotingRuntime runtime;
    const float xs[] = {0.1f, 0.2f};
    const float ys[] = {0.0f, 1.0f};
    trace_polyline(runtime, 2, xs, ys);
    EXPECT_EQ(runtime.calls, (std::vector<std::string>{"colour 15728640", "move 100,0",
                                                       "line 100,0", "line 200,300"}));
}

TEST(SequenceCorrelation, OffsetAndPositiveFactorGiveOne) {
    const std::int16_t a[] = {3, -7, 12, 0, 5, 5, -20, 31};
    std::int16_t shifted[8], scaled[8], negated[8], both[8];
    for (int i = 0; i < 8; ++i) {
        shifted[i] = static_cast<std::int16_t>(a[i] + 1000);
        scaled[i] = static_cast<std::int16_t>(a[i] * 7);
        negated[i] = static_cast<std::int16_t>(-a[i]);
        both[i] = static_cast<std::int16_t>(-3 * a[i] - 250);
    }
    EXPECT_FLOAT_EQ(sequence_correlation(a, a, 8), 1.0f);
    EXPECT_FLOAT_EQ(sequence_correlation(a, shifted, 8), 1.0f);
    EXPECT_FLOAT_EQ(sequence_correlation(a, scaled, 8), 1.0f);
    EXPECT_FLOAT_EQ(sequence_correlation(scaled, a, 8), 1.0f);
    EXPECT_FLOAT_EQ(sequence_correlation(a, negated, 8), -1.0f);
    EXPECT_FLOAT_EQ(sequence_correlation(a, both, 8), -1.0f);
}

TEST(SequenceCorrelation, SmallCasesWorkedByHand) {
    // a = 1 2 3, b = 1 3 2: means 2 and 2; deviations -1 0 1 and -1 1 0;
    // sa = sb = sqrt(2/3); r = ((-1)(-1) + 0 + 0) / (3 · 2/3) = 0.5.
    const std::int16_t a3[] = {1, 2, 3}, b3[] = {1, 3, 2};
    EXPECT_FLOAT_EQ(sequence_correlation(a3, b3, 3), 0.5f);
    // a = 1 2 3 4, b = 2 1 4 3: means 2.5; deviations -1.5 -0.5 0.5 1.5 and
    // -0.5 -1.5 1.5 0.5; products 0.75 each, sum 3; squares sum 5 each, so
    // sa = sb = sqrt(5/4); r = 3 / (4 · 5/4) = 0.6.
    const std::int16_t a4[] = {1, 2, 3, 4}, b4[] = {2, 1, 4, 3};
    EXPECT_FLOAT_EQ(sequence_correlation(a4, b4, 4), 0.6f);
    // a = 0 0 6, b = 0 6 0: means 2; deviations -2 -2 4 and -2 4 -2; products
    // 4 - 8 - 8 = -12; squares 24 each; r = -12 / (3 · 24/3) = -0.5.
    const std::int16_t a5[] = {0, 0, 6}, b5[] = {0, 6, 0};
    EXPECT_FLOAT_EQ(sequence_correlation(a5, b5, 3), -0.5f);
}

TEST(SequenceCorrelation, OnlyTheFirstNSamplesCount) {
    const std::int16_t a[] = {1, 2, 3, 100, -100};
    const std::int16_t b[] = {1, 3, 2, -5, 9};
    EXPECT_FLOAT_EQ(sequence_correlation(a, b, 3), 0.5f);  // as worked above
}

TEST(SequenceCorrelation, ConstantSequenceGivesZero) {
    const std::int16_t constant[] = {5, 5, 5, 5};
    const std::int16_t ramp[] = {1, 2, 3, 4};
    const std::int16_t zeros[] = {0, 0, 0, 0};
    EXPECT_EQ(sequence_correlation(constant, ramp, 4), 0.0f);
    EXPECT_EQ(sequence_correlation(ramp, constant, 4), 0.0f);
    EXPECT_EQ(sequence_correlation(zeros, zeros, 4), 0.0f);
}

TEST(SequenceCorrelation, FullTemplateLengthWithLargeSamples) {
    // 51 samples as the averaging compares them, near the ends of the 16-bit range.
    std::int16_t a[51], b[51];
    for (int i = 0; i < 51; ++i) {
        a[i] = static_cast<std::int16_t>(2 * ((i * 1237) % 16000) - 16000);  // even, +-16000
        b[i] = static_cast<std::int16_t>(-(a[i] / 2) + 100);                 // b = -a/2 + 100
    }
    EXPECT_FLOAT_EQ(sequence_correlation(a, b, 51), -1.0f);
}

}  // namespace
}  // namespace mapari::unit_tests
