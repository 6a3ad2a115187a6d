#include "importing/wfdb_reader.hpp"

namespace mapari::importing {

bool decode_wfdb_record(std::string_view, const std::map<std::string, std::string>&,
                        SourceRecording&, std::string& reason) {
    reason = "WFDB records are not read yet";
    return false;
}

bool read_wfdb_record(const std::filesystem::path&, SourceRecording&, std::string& reason) {
    reason = "WFDB records are not read yet";
    return false;
}

}  // namespace mapari::importing
