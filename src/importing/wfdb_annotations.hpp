// WFDB annotation files (the MIT format) and the cardiologists' fiducial marks
// they hold.
//
// The file is a stream of 16-bit little-endian words. The top 6 bits of a word
// are its type, the low 10 bits its data. Types 0 to 58 are annotations whose
// data is the time step, in samples, from the annotation before; the words
// that follow an annotation set its fields: 59 (SKIP) adds the signed 32-bit
// step of the next two words (high word first) to the time of the next
// annotation, 60 (NUM), 61 (SUB) and 62 (CHN) set those fields to the data,
// 63 (AUX) is followed by that many bytes of text, padded to an even count.
// A word of 0 ends the file. NUM and CHN hold for the annotations after too,
// until set again, as writers put them only where they change.
//
// The marks: a wave is written as `(` (its onset), its peak symbol, `)` (its
// end). The QRS onset is the `(` just before an `N`, the J point the `)` just
// after it, the T end the `)` that closes the next `t` (the first `(` or `)`
// after it, when that is a `)`).
// Check a reading against the annotation counts a second decoder gives.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mapari::importing {

// The annotation codes the marks are read from.
inline constexpr int annotation_normal_beat = 1;  // N
inline constexpr int annotation_t_wave = 27;      // t
inline constexpr int annotation_wave_onset = 39;  // (
inline constexpr int annotation_wave_end = 40;    // )

struct Annotation {
    std::int64_t sample = 0;  // counted from 0 at the record's start, at the record's rate
    int type = 0;             // the annotation code, 0 to 58
    int sub = 0;              // the SUB field's 10 bits, 0 unless set for this annotation
    int chan = 0;             // the CHN field's 10 bits, as last set
    int num = 0;              // the NUM field's 10 bits, as last set
    std::string aux;          // the AUX bytes, empty when none
};

// The annotations of a file's bytes, in file order. False, with the reason
// naming the byte offset where the fault begins, for a file of an odd length,
// one that ends before its end word or inside a SKIP or AUX, a field word
// before any annotation, or a time before the record's start; the list is
// left as it was.
bool decode_wfdb_annotations(std::string_view bytes, std::vector<Annotation>& annotations,
                             std::string& reason);

// The same, read from a file; the reason names no file, the caller puts its
// name in front.
bool read_wfdb_annotations(const std::filesystem::path& file, std::vector<Annotation>& annotations,
                           std::string& reason);

// One beat's marks, in samples counted from 0; a mark is absent where the
// cardiologist did not place it.
struct ExpertBeat {
    std::int64_t qrs_sample = 0;  // the `N`
    std::optional<std::int64_t> qrs_onset_sample;
    std::optional<std::int64_t> j_point_sample;
    std::optional<std::int64_t> t_end_sample;
};

// Every `N` of the annotations with the marks around it, in time order.
std::vector<ExpertBeat> expert_beats(const std::vector<Annotation>& annotations);

// The beats of several leads' files as one mark per beat: a lead's beat joins
// another lead's when their QRS complexes (from the earliest to the latest of
// onset, `N` and J point) overlap in time. A beat's QRS onset is the earliest over
// its leads, its J point and T end the latest, its `N` the earliest.
std::vector<ExpertBeat> beats_over_leads(const std::vector<std::vector<ExpertBeat>>& leads);

}  // namespace mapari::importing
