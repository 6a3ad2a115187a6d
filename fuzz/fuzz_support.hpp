// What the fuzz targets share: a check that stops the run when a property
// fails, and a folder of their own for the files an input makes.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace mapari::fuzz {

// A property every input must keep; a broken one is reported like a crash.
inline void check(bool holds) {
    if (!holds) std::abort();
}

// A fresh folder for this process, removed with everything in it at exit.
class ProcessFolder {
  public:
    static const std::string& path() {
        static const ProcessFolder folder;
        return folder.path_;
    }
    ProcessFolder(const ProcessFolder&) = delete;
    ProcessFolder& operator=(const ProcessFolder&) = delete;

  private:
    ProcessFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "mapari-fuzz-XXXXXX");
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) == nullptr) std::abort();
        path_ = name.data();
    }
    ~ProcessFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string path_;
};

}  // namespace mapari::fuzz
