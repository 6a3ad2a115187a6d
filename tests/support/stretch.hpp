// A display stretch of a recording file read as the program reads it, and the
// beats the program finds in it.
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "store/store.hpp"

namespace mapari::test_support {

inline constexpr std::array<int, 3> default_leads{13, 23, 37};

// A store with the default display leads that has read the display second of
// common + variable part from `folder`, as the program reads it.
std::unique_ptr<Store> read_stretch(const std::filesystem::path& folder, const std::string& common,
                                    const std::string& variable, int second);
// The beat list in the order found, up to its first empty slot.
std::vector<int> beat_list(const Store& store);

}  // namespace mapari::test_support
