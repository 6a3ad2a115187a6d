#include "beats/middle_size.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <vector>

namespace mapari {
namespace {

constexpr std::uint32_t infinity_bits = 0x7F800000u;  // above it: a NaN or a negative value
constexpr int bits_a_byte = 8;
constexpr int byte_values = 256;

// Of the candidates, those of each value of the byte at shift.
std::array<int, byte_values> count_by_byte(const std::vector<std::uint32_t>& candidates,
                                           int shift) {
    std::array<int, byte_values> counts{};
    for (std::uint32_t bits : candidates) ++counts[(bits >> shift) & 0xFFu];
    return counts;
}

// Keeps the candidates whose byte at shift is `byte`, in order; whether one is
// kept is added, not branched on.
void keep_with_byte(std::vector<std::uint32_t>& candidates, int shift, std::uint32_t byte) {
    std::size_t kept = 0;
    for (std::uint32_t bits : candidates) {
        candidates[kept] = bits;
        kept += static_cast<std::size_t>(((bits >> shift) & 0xFFu) == byte);
    }
    candidates.resize(kept);
}

}  // namespace

float middle_size(float* sizes, int count) {
    // The sizes still in the running, as bits: those that agree with the bytes
    // chosen so far, fewer after each byte.
    std::vector<std::uint32_t> candidates(static_cast<std::size_t>(count));
    std::uint32_t largest = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        candidates[i] = std::bit_cast<std::uint32_t>(sizes[i]);
        largest = std::max(largest, candidates[i]);
    }
    if (largest > infinity_bits) {
        std::nth_element(sizes, sizes + count / 2, sizes + count);
        return sizes[count / 2];
    }
    int below = count / 2;  // candidates before the middle one in their order
    std::uint32_t prefix = 0;
    for (int shift = 32 - bits_a_byte; shift >= 0; shift -= bits_a_byte) {
        const std::array<int, byte_values> counts = count_by_byte(candidates, shift);
        std::uint32_t byte = 0;
        for (; below >= counts[byte]; ++byte) below -= counts[byte];
        prefix |= byte << shift;
        if (shift > 0) keep_with_byte(candidates, shift, byte);
    }
    return std::bit_cast<float>(prefix);
}

}  // namespace mapari
