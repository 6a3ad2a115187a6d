// The folders of one whole-program test: a root named after the test and the
// process, so that two test runs on one machine do not meet, holding a fresh
// data folder and a fresh working folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace mapari::test_folders {

struct TestFolders {
    std::filesystem::path root, data, work;
};

inline TestFolders fresh_test_folders(const std::string& prefix) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    TestFolders folders;
    folders.root =
        std::filesystem::temp_directory_path() / (prefix + "-" + info->test_suite_name() + "-" +
                                                  info->name() + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folders.root);
    folders.data = folders.root / "data";
    folders.work = folders.root / "work";
    std::filesystem::create_directories(folders.data);
    std::filesystem::create_directories(folders.work);
    return folders;
}

// The whole file, or "<missing>" when it cannot be opened.
inline std::string read_bytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace mapari::test_folders
