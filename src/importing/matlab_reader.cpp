#include "importing/matlab_reader.hpp"

namespace mapari::importing {

bool read_matlab_file(const std::filesystem::path&, const std::string&, SourceRecording&,
                      std::string& reason) {
    reason = "MATLAB files are not read yet";
    return false;
}

}  // namespace mapari::importing
