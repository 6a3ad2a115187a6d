#include "beats/middle_size.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

namespace mapari {
namespace {

constexpr std::uint32_t infinity_bits = 0x7F800000u;  // above it: a NaN or a negative value
constexpr int bits_a_byte = 8;
constexpr int byte_values = 256;

// Of the sizes whose bits agree with prefix under mask, those of each value
// of the byte at shift. Whether a size counts is added, not branched on.
std::array<int, byte_values> count_by_byte(const float* sizes, int count, std::uint32_t mask,
                                           std::uint32_t prefix, int shift) {
    std::array<int, byte_values> counts{};
    for (int i = 0; i < count; ++i) {
        const auto bits = std::bit_cast<std::uint32_t>(sizes[i]);
        counts[(bits >> shift) & 0xFFu] += (bits & mask) == prefix ? 1 : 0;
    }
    return counts;
}

bool all_ordered(const float* sizes, int count) {
    std::uint32_t largest = 0;
    for (int i = 0; i < count; ++i)
        largest = std::max(largest, std::bit_cast<std::uint32_t>(sizes[i]));
    return largest <= infinity_bits;
}

}  // namespace

float middle_size(float* sizes, int count) {
    if (!all_ordered(sizes, count)) {
        std::nth_element(sizes, sizes + count / 2, sizes + count);
        return sizes[count / 2];
    }
    int below = count / 2;  // sizes before the middle one among those still in the running
    std::uint32_t mask = 0, prefix = 0;
    for (int shift = 32 - bits_a_byte; shift >= 0; shift -= bits_a_byte) {
        const std::array<int, byte_values> counts =
            count_by_byte(sizes, count, mask, prefix, shift);
        std::uint32_t byte = 0;
        for (; below >= counts[byte]; ++byte) below -= counts[byte];
        prefix |= byte << shift;
        mask |= 0xFFu << shift;
    }
    return std::bit_cast<float>(prefix);
}

}  // namespace mapari
