// The one temporary folder of the tests, and whole files read and written as
// bytes.
#pragma once

#include <filesystem>
#include <string>

namespace mapari::test_support {

// A fresh folder of its own under the system's temporary folder (a unique
// name, so that tests running side by side never meet), removed with
// everything in it when the object goes. Folders a test made unwritable are
// made writable again first, so that they go too.
class TemporaryFolder {
  public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of a file in the folder, as text.
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // A folder inside it, made when it is not there yet.
    std::filesystem::path folder(const std::string& name) const;

  private:
    std::filesystem::path path_;
};

// The whole file, or "<missing>" when it cannot be opened.
std::string read_bytes(const std::filesystem::path& file);
// Writes the bytes as the whole file; a failed write fails the test.
void write_bytes(const std::filesystem::path& file, const std::string& bytes);

}  // namespace mapari::test_support
