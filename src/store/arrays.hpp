// One-based fixed-size arrays, so that loops over samples, leads and rows read
// as "for i = 1 to n". No array allocates; an index out of range is a
// programming error and is caught by an assertion in debug builds. Indices are
// ints, as the callers count samples, leads and rows; the one conversion to an
// offset into the values is the arrays' own.
#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <string_view>

namespace mapari {

template <typename T, std::size_t N>
struct Array1 {
    static constexpr std::size_t capacity = N;
    std::array<T, N> values{};

    T& operator()(int i) { return values[offset(i)]; }
    const T& operator()(int i) const { return values[offset(i)]; }
    // The element of index 1, for callers that hand the array to a routine taking a pointer.
    T* data() { return values.data(); }
    const T* data() const { return values.data(); }
    void fill(const T& value) { values.fill(value); }

  private:
    static std::size_t offset(int i) {
        assert(i >= 1 && static_cast<std::size_t>(i) <= N);
        return static_cast<std::size_t>(i) - 1;
    }
};

// Rows by columns, the row index varying fastest: element (i, j) and element
// (i + 1, j) are neighbours in memory, as in the recording file where the
// channel of one sample instant varies fastest.
template <typename T, std::size_t Rows, std::size_t Cols>
struct Array2 {
    static constexpr std::size_t rows = Rows;
    static constexpr std::size_t cols = Cols;
    std::array<T, Rows * Cols> values{};

    T& operator()(int i, int j) { return values[offset(i, j)]; }
    const T& operator()(int i, int j) const { return values[offset(i, j)]; }
    // Column j as a contiguous run of Rows values, element 1 first.
    T* column(int j) { return &(*this)(1, j); }
    const T* column(int j) const { return &(*this)(1, j); }
    void fill(const T& value) { values.fill(value); }

  private:
    static std::size_t offset(int i, int j) {
        assert(i >= 1 && static_cast<std::size_t>(i) <= Rows);
        assert(j >= 1 && static_cast<std::size_t>(j) <= Cols);
        return (static_cast<std::size_t>(j) - 1) * Rows + (static_cast<std::size_t>(i) - 1);
    }
};

// A blank-padded text field of fixed width, as typed answers and paths are held.
template <std::size_t Width>
struct TextField {
    static constexpr std::size_t width = Width;
    std::array<char, Width> chars = blanks();

    static constexpr std::array<char, Width> blanks() {
        std::array<char, Width> b{};
        b.fill(' ');
        return b;
    }
    // Replaces the content with text, cut to the width or padded with blanks.
    void assign(std::string_view text) {
        chars = blanks();
        for (std::size_t k = 0; k < text.size() && k < Width; ++k) chars[k] = text[k];
    }
    // The whole field, trailing blanks included.
    std::string_view view() const { return {chars.data(), Width}; }
    // The field up to its first blank: how a name part or a path is used.
    std::string_view stem() const {
        std::size_t blank = first_blank();
        return blank == 0 ? view() : view().substr(0, blank - 1);
    }
    char operator()(std::size_t i) const { return chars[i - 1]; }
    // Position (1-based) of the first blank, or 0 when the field holds none.
    std::size_t first_blank() const {
        for (std::size_t i = 1; i <= Width; ++i)
            if ((*this)(i) == ' ') return i;
        return 0;
    }
};

}  // namespace mapari
