// The operator's side of recording input: the two parts of the name and the
// display second, each asked until it can be used.
#pragma once

#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

void ask_common_part(Store& store, Runtime& runtime);
// Asks the variable part and builds the recording path.
void ask_variable_part(Store& store, Runtime& runtime);
// Asks the display second and reads its stretch into the channel store.
// Returns false, after saying why, when the recording cannot be read at all.
bool ask_second_and_read(Store& store, Runtime& runtime);

}  // namespace mapari
