// The samples of a WFDB record's signal files, decoded by the terms of its
// header and calibrated to microvolts, a block of frames at a time: each
// block reads only the bytes that hold it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "importing/source_stream.hpp"
#include "importing/wfdb_header.hpp"

namespace mapari::importing {

// The bytes of a record's signal files, by the names its header gives them:
// files on disk, or files already in memory.
class WfdbFiles {
  public:
    virtual ~WfdbFiles() = default;
    // How many bytes the file holds; false, with the reason (not naming the
    // file), when it cannot be read.
    virtual bool size(const std::string& name, std::size_t& bytes, std::string& reason) = 0;
    // The file's bytes from `offset` on: `count` of them, or as many as it
    // holds. False, with the reason, when it cannot be read.
    virtual bool read(const std::string& name, std::size_t offset, std::size_t count,
                      std::string& bytes, std::string& reason) = 0;
};

// The record's signals, one for each signal of the header, labelled and in
// microvolts: as many samples as the header says, or, when it says none, as
// the files hold. `description` brings the format, rate and unit note; the
// labels and length are filled in here. Null, with the reason naming the
// file ("100.dat: holds 10 samples of signal \"MLII\"; the header says 20"),
// when a file is missing or short, or the files differ in length and the
// header gives no count. A file that has shrunk since it was opened is
// refused with its reason when a block reaches beyond its end.
std::unique_ptr<SourceStream> open_wfdb_signals(const WfdbHeader& header,
                                                std::unique_ptr<WfdbFiles> files,
                                                SourceDescription description, std::string& reason);

}  // namespace mapari::importing
