// The real recordings the tests read: the folder the build names (the shared
// data beside the repository). Tests skip where a recording is absent.
#pragma once

#include <filesystem>

namespace mapari::test_support {

inline std::filesystem::path real_data_folder() {
    return std::filesystem::path(MAPARI_REAL_DATA_DIR);
}

}  // namespace mapari::test_support
