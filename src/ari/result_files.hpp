// The save step and the layouts of the result files, all in the data
// directory and named after one save name:
//
//   .ds  the working beat: 1024 records (rows), each the 64 leads' values in
//        free form (15 characters a value, at most 5 values a line; a reader
//        takes the file as a stream of numbers)
//   .se  the fiducial record: one line of 4 integers in 5 columns each,
//        Q onset, stimulus, J point, T end (the Q onset first: it is the
//        reference of the ARI computation)
//
// Every file is written under a temporary name and renamed into place, so a
// failed write (a full disk, a read-only folder) never leaves half a file and
// never replaces a good one.
#pragma once

#include <string>
#include <string_view>

#include "dialogue/free_form.hpp"
#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

inline constexpr std::size_t longest_save_stem =
    17;  // keeps the ".ds"/".se" of a 32-character path
inline constexpr int values_per_line = 5;

// Free-form records: values in their free form, at most 5 a line; each
// record begins on a new line.
class FreeFormWriter {
  public:
    // Room for the given number of characters, so a large file is built without copies.
    void reserve(std::size_t characters) { text_.reserve(characters); }
    void add(std::int32_t value);
    void add(float value);
    // Ends the record in hand: the next value begins a new line.
    void end_record();
    // All records written; the writer is empty again afterwards.
    std::string take();

  private:
    char* next_field(std::size_t width);
    std::string text_;
    int on_line_ = 0;
};

// "d:\data\map\" + stem + extension, cut to 32 characters.
TextField<32> result_path(std::string_view stem, std::string_view extension);

// The text of the .ds and .se files.
std::string ds_file_text(const Beat& beat);
// Empty when a mark does not fit its 5 columns.
std::string se_file_text(const Beat& beat);

// Writes text to the host file through a temporary name; on failure returns
// false with the reason, and the file as it was.
bool write_file_safely(const std::string& host_file, const std::string& text, std::string& reason);

// The whole content of a file, read in one piece; false with the reason ("No
// such file or directory", "it is a folder, not a file") when it cannot be read.
bool read_text_file(const std::string& host_file, std::string& text, std::string& reason);

// The correction menu's "d": asks the save name and writes the result files.
void save_results(Store& store, Runtime& runtime);

}  // namespace mapari
