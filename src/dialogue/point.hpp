// The points at which the driver goes on after a phase. Every phase is a
// plain function of (Store&, Runtime&) that returns the next point.
#pragma once

namespace mapari {

enum class Point {
    series_start,      // S: settings and the common part of the name
    next_recording,    // F: the variable part of the name
    reading,           // R: the display second, reading and beat detection
    display,           // D: the recording drawn, the view menu
    correction_menu,   // P: marking, correction and saving of the working beat
    end_of_recording,  // the two questions whether to go on
    stop,
};

}  // namespace mapari
