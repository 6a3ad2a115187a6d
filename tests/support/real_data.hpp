// The real recordings the tests read: the folder the build names (the shared
// data beside the repository), and the annotated records beside them. Tests
// skip where a recording is absent.
#pragma once

#include <filesystem>

namespace mapari::test_support {

inline std::filesystem::path real_data_folder() {
    return std::filesystem::path(MAPARI_REAL_DATA_DIR);
}

// Real records with cardiologists' marks, beside the real recordings.
inline std::filesystem::path expert_data_folder() {
    return real_data_folder().parent_path() / "expert";
}

}  // namespace mapari::test_support
