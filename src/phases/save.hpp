// The save step, the correction menu's "d": the save name is asked, the
// working beat is written as the .ds file and its marks as the .se file, and
// when ARI files are made, the settings of the computation are asked and the
// .ari file is written from what the two files hold: the .se read back, the
// .ds's values taken from the beat its text was just written from, as whole
// numbers just as a reader of that text rounds them.
//
// A result file that cannot be written is named with the reason and the beat
// and marks stay; the files are written through the atomic writer, so no
// half-written file is left.
#pragma once

#include <string>

#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

void save_results(Store& store, Runtime& runtime);

// The ARI part of the save, once the .ds and .se files stand: the settings,
// the files read back, the limits, the computation and the .ari file; false
// (with a message) when no .ari file was written. The files are read into
// file_text, whose memory a caller may hand on from an earlier file.
bool make_ari_file(Store& store, Runtime& runtime, std::string& file_text);

}  // namespace mapari
