// The variables of the file are listed through matio; the numeric matrix
// named, or the only one, is read whole, its longer side taken as time and
// each line along it as a signal.
#include "importing/matlab_reader.hpp"

#include <matio.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <vector>

namespace mapari::importing {
namespace {

constexpr double microvolts_per_millivolt = 1000.0;
constexpr std::string_view numeric_matrix_wanted = "; only a real numeric 2-D matrix is read";

struct MatFileCloser {
    void operator()(mat_t* file) const { Mat_Close(file); }
};
using MatFile = std::unique_ptr<mat_t, MatFileCloser>;

struct VariableFreer {
    void operator()(matvar_t* variable) const { Mat_VarFree(variable); }
};
using Variable = std::unique_ptr<matvar_t, VariableFreer>;

// A file descriptor, closed when it goes.
class Descriptor {
  public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (descriptor_ >= 0) close(descriptor_);
    }
    int get() const { return descriptor_; }

  private:
    int descriptor_;
};

// ---- variable names that matio misreads ----
//
// Some programs other than MATLAB write a level-5 variable's name as miUINT8
// where MATLAB writes miINT8. matio 1.5 then drops the name and reads the
// values from the name's bytes onward: zeros or nonsense, without a word.
// Such a file is read from a copy in memory whose name tags say miINT8, the
// only change.

constexpr std::size_t level5_header_bytes = 128;
constexpr std::uint32_t matrix_element = 14;  // miMATRIX
constexpr char signed_bytes_type = 1;         // miINT8
constexpr char unsigned_bytes_type = 2;       // miUINT8
using Tag = std::array<unsigned char, 8>;     // a data element's type and size

std::uint32_t little_endian_word(const unsigned char* bytes) {
    std::uint32_t word = 0;
    for (int k = 3; k >= 0; --k) word = word << 8u | bytes[k];
    return word;
}

bool read_tag_at(std::istream& in, std::streamoff offset, Tag& tag) {
    in.clear();
    in.seekg(offset);
    const auto tag_bytes = static_cast<std::streamsize>(tag.size());
    in.read(reinterpret_cast<char*>(tag.data()), tag_bytes);
    return in.gcount() == tag_bytes;
}

// The bytes a data element takes, tag and padding included; a small element
// (its size in the tag's upper half) lives in the tag itself.
std::streamoff element_bytes(const Tag& tag) {
    if ((little_endian_word(tag.data()) >> 16u) != 0) return 8;
    const std::uint32_t size = little_endian_word(tag.data() + 4);
    return 8 + static_cast<std::streamoff>((size + 7u) / 8u * 8u);
}

// Where a top-level matrix of a little-endian level-5 file has a name tag
// typed miUINT8; empty for any other file.
std::vector<std::streamoff> byte_typed_name_tags(std::istream& in) {
    std::array<char, level5_header_bytes> header{};
    if (!in.read(header.data(), header.size()) || header[126] != 'I' || header[127] != 'M')
        return {};
    std::vector<std::streamoff> offsets;
    Tag element{}, dimensions{}, name{};
    for (auto at = static_cast<std::streamoff>(level5_header_bytes); read_tag_at(in, at, element);
         at += 8 + static_cast<std::streamoff>(little_endian_word(element.data() + 4))) {
        if (little_endian_word(element.data()) != matrix_element) continue;
        // The matrix's tag, its array flags (a tag and 8 bytes), its dimensions, its name.
        const std::streamoff dimensions_at = at + 8 + 16;
        if (!read_tag_at(in, dimensions_at, dimensions)) break;
        const std::streamoff name_at = dimensions_at + element_bytes(dimensions);
        if (!read_tag_at(in, name_at, name)) break;
        if (name[0] == unsigned_bytes_type && name[1] == 0) offsets.push_back(name_at);
    }
    return offsets;
}

bool write_all(int descriptor, const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t written = write(descriptor, bytes, count);
        if (written <= 0) return false;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

bool copy_with_signed_names(std::istream& in, const std::vector<std::streamoff>& name_tags,
                            int copy) {
    in.clear();
    in.seekg(0);
    std::vector<char> chunk(1 << 20);
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0)
        if (!write_all(copy, chunk.data(), static_cast<std::size_t>(in.gcount()))) return false;
    if (in.bad()) return false;
    for (std::streamoff offset : name_tags)
        if (pwrite(copy, &signed_bytes_type, 1, offset) != 1) return false;
    return true;
}

// ---- opening ----

MatFile opened_by_matio(const std::string& path, std::string& reason) {
    MatFile mat(Mat_Open(path.c_str(), MAT_ACC_RDONLY));
    const bool readable = mat && (Mat_GetVersion(mat.get()) == MAT_FT_MAT5 ||
                                  Mat_GetVersion(mat.get()) == MAT_FT_MAT73);
    if (readable) return mat;
    reason = "is not a MATLAB file matio can read";
    return nullptr;
}

// matio opens the copy in memory by its path under /proc and keeps it alive
// through its own descriptor, so the one made here can go on return.
MatFile opened_corrected_copy(std::istream& in, const std::vector<std::streamoff>& name_tags,
                              std::string& reason) {
    const Descriptor copy(memfd_create("mapari-matlab-file", MFD_CLOEXEC));
    if (copy.get() < 0 || !copy_with_signed_names(in, name_tags, copy.get())) {
        reason = std::string(
                     "names its variables in a form matio misreads, and no corrected "
                     "copy could be made: ") +
                 std::strerror(errno);
        return nullptr;
    }
    return opened_by_matio("/proc/self/fd/" + std::to_string(copy.get()), reason);
}

// The file as matio opens it; null, with the reason, when the file cannot be
// opened or matio cannot read it.
MatFile open_mat_file(const std::filesystem::path& file, std::string& reason) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        reason = std::string("cannot be opened: ") + std::strerror(errno);
        return nullptr;
    }
    const std::vector<std::streamoff> name_tags = byte_typed_name_tags(in);
    if (!name_tags.empty()) return opened_corrected_copy(in, name_tags, reason);
    return opened_by_matio(file.string(), reason);
}

std::string version_name(mat_t* mat) {
    return Mat_GetVersion(mat) == MAT_FT_MAT73 ? "MATLAB 7.3" : "MATLAB 5";
}

// ---- choosing the matrix ----

std::string name_of(const matvar_t& variable) {
    return variable.name == nullptr ? std::string() : std::string(variable.name);
}

std::string shown_name(const std::string& name) {
    return name.empty() ? "(unnamed)" : name;
}

bool is_numeric_class(matio_classes class_type) {
    switch (class_type) {
        case MAT_C_DOUBLE:
        case MAT_C_SINGLE:
        case MAT_C_INT8:
        case MAT_C_UINT8:
        case MAT_C_INT16:
        case MAT_C_UINT16:
        case MAT_C_INT32:
        case MAT_C_UINT32:
        case MAT_C_INT64:
        case MAT_C_UINT64:
            return true;
        default:
            return false;
    }
}

// What the variable is when it is no real numeric 2-D matrix; empty when it is one.
std::string kind_of(const matvar_t& variable) {
    switch (variable.class_type) {
        case MAT_C_CELL:
            return "a cell array";
        case MAT_C_STRUCT:
            return "a struct";
        case MAT_C_CHAR:
            return "text (a char array)";
        case MAT_C_SPARSE:
            return "a sparse matrix";
        case MAT_C_FUNCTION:
            return "a function handle";
        case MAT_C_EMPTY:
            return "an empty value";
        default:
            if (!is_numeric_class(variable.class_type)) return "an object";
    }
    if (variable.isLogical) return "a logical matrix";
    if (variable.isComplex) return "a complex matrix";
    if (variable.rank != 2) return "a " + std::to_string(variable.rank) + "-D array";
    return {};
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + shown_name(name);
    return text;
}

// The matrix named `wanted`, or the only numeric one when `wanted` is empty,
// its values not read yet. Null, with the reason, when there is no such one.
Variable choose_matrix(mat_t* mat, const std::string& wanted, std::string& reason) {
    std::vector<std::string> numeric_names;
    Variable chosen;
    while (Variable variable{Mat_VarReadNextInfo(mat)}) {
        const std::string name = name_of(*variable);
        const std::string kind = kind_of(*variable);
        if (kind.empty()) numeric_names.push_back(name);
        const bool wanted_here = wanted.empty() ? kind.empty() : name == wanted;
        if (chosen || !wanted_here) continue;
        if (!kind.empty()) {
            reason = "variable \"" + name + "\" is " + kind + std::string(numeric_matrix_wanted);
            return nullptr;
        }
        chosen = std::move(variable);
    }
    if (!wanted.empty() && !chosen)
        reason = "holds no variable \"" + wanted + "\"" +
                 (numeric_names.empty() ? " (and no numeric matrix)"
                                        : " (numeric matrices: " + joined(numeric_names) + ")");
    else if (numeric_names.empty())
        reason = "holds no numeric matrix";
    else if (wanted.empty() && numeric_names.size() > 1)
        reason = "holds " + std::to_string(numeric_names.size()) + " numeric matrices (" +
                 joined(numeric_names) + "); name one with --variable";
    else
        return chosen;
    return nullptr;
}

// ---- the values ----

std::string described(const matvar_t& matrix) {
    return matrix.name == nullptr ? "the unnamed variable"
                                  : "variable \"" + std::string(matrix.name) + "\"";
}

// Whether matio handed back every value, each as `element_bytes` bytes.
bool holds_whole_matrix(const matvar_t& matrix, std::size_t element_bytes) {
    const std::size_t rows = matrix.dims[0], columns = matrix.dims[1];
    return matrix.data != nullptr && matrix.data_size == static_cast<int>(element_bytes) &&
           rows <= std::numeric_limits<std::size_t>::max() / columns / element_bytes &&
           matrix.nbytes >= rows * columns * element_bytes;
}

// The signals of the matrix in microvolts, one along each column, or one along
// each row when the rows are the longer side. The values are visited in the
// order they lie in memory (column by column), whichever side is time.
template <typename Value>
bool split_into_signals(const matvar_t& matrix, std::vector<SourceSignal>& signals,
                        std::string& reason) {
    if (!holds_whole_matrix(matrix, sizeof(Value))) {
        reason = described(matrix) + " cannot be read whole";
        return false;
    }
    const std::size_t rows = matrix.dims[0], columns = matrix.dims[1];
    const bool rows_are_signals = columns > rows;
    signals.resize(rows_are_signals ? rows : columns);
    for (std::size_t k = 0; k < signals.size(); ++k) {
        signals[k].label = std::to_string(k + 1);
        signals[k].microvolts.resize(rows_are_signals ? columns : rows);
    }
    const Value* value = static_cast<const Value*>(matrix.data);
    for (std::size_t column = 0; column < columns; ++column)
        for (std::size_t row = 0; row < rows; ++row, ++value) {
            const std::size_t signal = rows_are_signals ? row : column;
            const std::size_t sample = rows_are_signals ? column : row;
            const double microvolts = static_cast<double>(*value) * microvolts_per_millivolt;
            if (!std::isfinite(microvolts)) {
                reason = "signal " + std::to_string(signal + 1) + ", sample " +
                         std::to_string(sample + 1) + " is not a finite number";
                return false;
            }
            signals[signal].microvolts[sample] = microvolts;
        }
    return true;
}

bool signals_of(const matvar_t& matrix, std::vector<SourceSignal>& signals, std::string& reason) {
    switch (matrix.class_type) {
        case MAT_C_DOUBLE:
            return split_into_signals<double>(matrix, signals, reason);
        case MAT_C_SINGLE:
            return split_into_signals<float>(matrix, signals, reason);
        case MAT_C_INT8:
            return split_into_signals<std::int8_t>(matrix, signals, reason);
        case MAT_C_UINT8:
            return split_into_signals<std::uint8_t>(matrix, signals, reason);
        case MAT_C_INT16:
            return split_into_signals<std::int16_t>(matrix, signals, reason);
        case MAT_C_UINT16:
            return split_into_signals<std::uint16_t>(matrix, signals, reason);
        case MAT_C_INT32:
            return split_into_signals<std::int32_t>(matrix, signals, reason);
        case MAT_C_UINT32:
            return split_into_signals<std::uint32_t>(matrix, signals, reason);
        case MAT_C_INT64:
            return split_into_signals<std::int64_t>(matrix, signals, reason);
        case MAT_C_UINT64:
            return split_into_signals<std::uint64_t>(matrix, signals, reason);
        default:
            reason = described(matrix) + " is no numeric matrix";
            return false;
    }
}

bool read_matrix(mat_t* mat, matvar_t& matrix, SourceRecording& recording, std::string& reason) {
    if (matrix.dims[0] == 0 || matrix.dims[1] == 0) {
        reason = described(matrix) + " is empty";
        return false;
    }
    if (Mat_VarReadDataAll(mat, &matrix) != 0) {
        reason = described(matrix) + " cannot be read whole";
        return false;
    }
    if (!signals_of(matrix, recording.signals, reason)) return false;
    recording.format = version_name(mat) + " (" +
                       (matrix.name == nullptr ? "unnamed variable" : described(matrix)) + ")";
    recording.unit_note = "values taken as millivolts";
    if (matrix.dims[0] == matrix.dims[1])
        recording.unit_note += "; the matrix is square, so its columns are taken as signals";
    return true;
}

}  // namespace

bool read_matlab_file(const std::filesystem::path& file, const std::string& variable,
                      SourceRecording& recording, std::string& reason) {
    const MatFile mat = open_mat_file(file, reason);
    if (!mat) return false;
    const Variable matrix = choose_matrix(mat.get(), variable, reason);
    if (!matrix) return false;
    SourceRecording read;
    if (!read_matrix(mat.get(), *matrix, read, reason)) return false;
    recording = std::move(read);
    return true;
}

}  // namespace mapari::importing
