#include "importing/source_reader.hpp"

#include <cctype>
#include <fstream>
#include <utility>

#include "formats/files.hpp"
#include "importing/biosig_reader.hpp"
#include "importing/delimited_text.hpp"
#include "importing/matlab_reader.hpp"
#include "importing/wfdb_reader.hpp"

namespace mapari::importing {
namespace {

constexpr std::size_t sniffed_bytes = 1024;

std::string first_bytes_of(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes(sniffed_bytes, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

bool is_text(std::string_view bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\r' && c != '\t')
            return false;
    return !bytes.empty();
}

// The magic numbers of the formats BioSig reads that this importer expects most.
bool has_biosig_magic(std::string_view bytes) {
    return bytes.starts_with("0       ") ||
           bytes.starts_with(
               "\xff"
               "BIOSEMI") ||
           bytes.starts_with("GDF") || bytes.starts_with("Brain Vision") ||
           (bytes.starts_with("<?xml") && bytes.find("AnnotatedECG") != std::string_view::npos);
}

// A WFDB header's first line that is no comment: record name, signal count, ...
bool looks_like_wfdb_header(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == '#' || text[at] == '\n' || text[at] == '\r'))
        at = text[at] == '#' ? text.find('\n', at) : at + 1;
    if (at >= text.size()) return false;
    const std::string_view line = text.substr(at, text.find('\n', at) - at);
    const auto blank = line.find(' ');
    return blank != std::string_view::npos && blank + 1 < line.size() &&
           std::isdigit(static_cast<unsigned char>(line[blank + 1])) &&
           line.find(',') == std::string_view::npos;
}

}  // namespace

SourceFormat detect_source_format(const std::filesystem::path& file, std::string_view first_bytes) {
    if (first_bytes.starts_with("MATLAB")) return SourceFormat::matlab;
    if (has_biosig_magic(first_bytes)) return SourceFormat::biosig;
    if (is_text(first_bytes)) {
        if (file.extension() == ".hea" || looks_like_wfdb_header(first_bytes))
            return SourceFormat::wfdb_header;
        return SourceFormat::delimited_text;
    }
    if (file.extension() == ".dat") return SourceFormat::unknown_binary;
    return SourceFormat::biosig;
}

std::unique_ptr<SourceStream> open_source(const std::filesystem::path& file,
                                          const std::string& variable, std::string& reason) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        reason = std::filesystem::exists(file, error) ? "is not a file" : "there is no such file";
        return nullptr;
    }
    const std::string first = first_bytes_of(file);
    if (first.empty()) {
        reason = "is empty";
        return nullptr;
    }
    SourceRecording whole;
    std::string text;
    switch (detect_source_format(file, first)) {
        case SourceFormat::wfdb_header:
            return open_wfdb_record(file, reason);
        case SourceFormat::matlab:
            if (!read_matlab_file(file, variable, whole, reason)) return nullptr;
            return stream_of(std::move(whole));
        case SourceFormat::delimited_text:
            if (!read_whole_file(file.string(), text, reason) ||
                !read_delimited_text(text, whole, reason))
                return nullptr;
            return stream_of(std::move(whole));
        case SourceFormat::unknown_binary:
            reason = "is binary data in no format the importer knows";
            if (std::filesystem::exists(std::filesystem::path(file).replace_extension(".hea"),
                                        error))
                reason += "; if it is a WFDB signal file, name the record's .hea header";
            return nullptr;
        case SourceFormat::biosig:
            break;
    }
    return open_biosig_file(file, reason);
}

}  // namespace mapari::importing
