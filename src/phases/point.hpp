// The points at which the driver goes on after a phase. Every phase is a
// plain function of (Store&, Runtime&) that returns the next point.
#pragma once

namespace mapari {

enum class Point {
    series_start,        // S: settings and the common part of the name
    next_recording,      // F: the variable part of the name
    reading,             // R: the display second, reading and beat detection
    display,             // D: the recording drawn, the view menu
    waveform_selection,  // the view menu's "s": a beat clicked becomes the working beat
    signal_averaging,    // the view menu's "b": matching beats averaged into the working beat
    correction_menu,     // P: marking, correction and saving of the working beat
    end_of_recording,    // the two questions whether to go on
    stop,
};

}  // namespace mapari
