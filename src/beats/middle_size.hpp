// The middle value of many sizes (magnitudes, 0 or more) taken without a
// partitioning selection, which on such values mispredicts about every other
// comparison: the values are counted out by the bytes of their bit patterns,
// high byte first, as floats of one sign order as their bit patterns do.
#pragma once

namespace mapari {

// The value std::nth_element would put at index count / 2 of the count
// sizes (count 1 or more). A NaN or a negative value among them, which has no
// place in that order, leaves the choice to std::nth_element itself, which
// then reorders the sizes; otherwise they are left as they are.
float middle_size(float* sizes, int count);

}  // namespace mapari
