// The driver: the program's one sequence of control. It writes the banner,
// then runs phases from point to point until the operator stops.
#pragma once

#include "phases/point.hpp"
#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

void write_banner(Runtime& runtime);
// Runs the phase of one point and returns the next.
Point run_phase(Point point, Store& store, Runtime& runtime);
// The whole run: banner, then S, F, R, D, P ... until stop.
void run_program(Store& store, Runtime& runtime);

}  // namespace mapari
