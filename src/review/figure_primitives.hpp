// The few drawing primitives the review's pictures are made of, in pixels of
// the picture at 100 %: boxes, filled polygons, lines with a width, colour and
// dash style, dots and text at a point. Any painter or vector writer can draw
// them without knowing what they show.
#pragma once

#include <string>
#include <vector>

#include "review/colour_scale.hpp"

namespace mapari::review {

struct Box {
    double left = 0.0;
    double top = 0.0;
    double width = 0.0;
    double height = 0.0;
    double right() const { return left + width; }
    double bottom() const { return top + height; }
};

struct Point {
    double x = 0.0;
    double y = 0.0;
};

// Dashes of a line, as the outlines of flagged leads tell their flag by them.
enum class LineStyle { solid, dashed, dotted, dash_dot, dash_dot_dot };

// A polygon filled with one colour, no edge.
struct FilledShape {
    std::vector<Point> outline;
    Rgb fill;
};

// A line through the points in order; `closed` joins the last to the first.
struct Stroke {
    std::vector<Point> points;
    double width_pixels = 1.0;
    Rgb colour;
    LineStyle style = LineStyle::solid;
    bool closed = false;
};

// A round dot; hollow ones are drawn as a ring of the colour on white.
struct Dot {
    Point centre;
    double radius_pixels = 2.0;
    Rgb colour;
    bool hollow = false;
};

// Text centred on a point, or starting at it (vertically centred) when
// left_aligned; with a halo, on a white box just its size, so that it stays
// legible where it crosses a line or a coloured field.
struct TextMark {
    Point at;
    std::string text;
    double size_pixels = 11.0;
    Rgb colour;
    bool halo = false;
    bool left_aligned = false;
};

// A piece of a picture made of primitives, drawn in this order: shapes,
// strokes, dots, then texts on top.
struct Drawing {
    std::vector<FilledShape> shapes;
    std::vector<Stroke> strokes;
    std::vector<Dot> dots;
    std::vector<TextMark> texts;
};

}  // namespace mapari::review
