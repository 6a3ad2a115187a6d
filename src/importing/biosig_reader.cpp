#include "importing/biosig_reader.hpp"

namespace mapari::importing {

bool read_biosig_file(const std::filesystem::path&, SourceRecording&, std::string& reason) {
    reason = "BioSig formats are not read yet";
    return false;
}

}  // namespace mapari::importing
