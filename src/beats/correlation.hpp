// The sequence correlation by which averaging matches a beat to the template.
#pragma once

#include <cstdint>

namespace mapari {

// The Pearson correlation of the first n samples of a and b, with every sum
// held in 32 bits and taken in sample order. A constant sequence gives 0.
float sequence_correlation(const std::int16_t* a, const std::int16_t* b, int n);

}  // namespace mapari
