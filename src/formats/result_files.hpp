// The layouts of the result files of one save, each written and read here:
//
//   .ds  the working beat: 1024 records (rows), each the 64 leads' values in
//        free form (15 characters a value, at most 5 values a line; a reader
//        takes the file as a stream of numbers)
//   .se  the fiducial record: one line of 4 integers in 5 columns each,
//        Q onset, stimulus, J point, T end (the Q onset first: it is the
//        reference of the ARI computation)
// The .ari layout is in formats/ari_file.hpp.
#pragma once

#include <string>

#include "store/store.hpp"

namespace mapari {

inline constexpr int se_column_width = 5;

// The text of the .ds file of the working beat.
std::string ds_file_text(const Beat& beat);
// What read_ds_text gives from ds_file_text(beat), taken from the beat
// without the text (whole_number_as_written); false, the matrix partly
// filled, when a value is one only the text's reader can judge.
bool ds_whole_numbers(const Beat& beat, Array2<std::int32_t, averaged_rows, lead_count>& matrix);
// Reads .ds text into the matrix, each value rounded to the nearest whole
// number (halves away from zero) as from_chars and lround round it; false with
// the reason when the text holds fewer than 1024 × 64 numbers, something that
// is no number, or a value beyond 2e9. The plain decimals the file is written
// in are rounded from their digits, without a double between.
bool read_ds_text(const std::string& text, Array2<std::int32_t, averaged_rows, lead_count>& matrix,
                  std::string& reason);

// The text of the .se record of the marks (stimulus, Q onset, J point, T end
// as the beat holds them); empty when a mark does not fit its 5 columns.
std::string se_file_text(const Array1<std::int32_t, fiducial_count>& marks);
// Reads the .se record into P (the Q onset), the second value, J and E.
bool read_se_text(const std::string& text, AriWork& work, std::string& reason);

}  // namespace mapari
