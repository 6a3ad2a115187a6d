// Baseline correction, the correction menu's "z" and "t": reference rows are
// clicked on the drawn beat and confirmed; rows outside 1 to 1024, and two
// equal rows, are said and the clicks asked again. The correction itself is
// beats/baseline.hpp; the beat is drawn again afterwards.
#pragma once

#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

void correct_one_point(Store& store, Runtime& runtime);
void correct_two_points(Store& store, Runtime& runtime);

}  // namespace mapari
