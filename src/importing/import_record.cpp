#include "importing/import_record.hpp"

#include <cstdio>

namespace mapari::importing {
namespace {

std::string json_text(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string json_number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The name of channel c as the map names it: "aux3" or "12".
std::string lead_name(int channel) {
    return channel <= auxiliary_channel_count ? "aux" + std::to_string(channel)
                                              : std::to_string(lead_of_channel(channel));
}

std::string channels_json(const ImportReport& report) {
    std::string text;
    for (int c = 1; c <= channel_count; ++c) {
        const int signal = report.map.signal_of_channel[static_cast<std::size_t>(c - 1)];
        if (signal < 0) continue;
        text += std::string(text.empty() ? "" : ",\n") + "    {\"channel\": " + std::to_string(c) +
                ", \"lead\": " + json_text(lead_name(c)) +
                ", \"signal\": " + std::to_string(signal + 1) +
                ", \"label\": " + json_text(report.labels[static_cast<std::size_t>(signal)]) + "}";
    }
    return text;
}

std::string pieces_json(const ImportReport& report) {
    std::string text;
    for (const ImportedPiece& piece : report.pieces)
        text += std::string(text.empty() ? "" : ",\n") +
                "    {\"file\": " + json_text(piece.file_name) +
                ", \"start_s\": " + json_number(static_cast<double>(piece.first_frame) / 1000.0) +
                ", \"frames\": " + std::to_string(piece.frames) + "}";
    return text;
}

std::string clipped_json(const ImportReport& report) {
    std::string text;
    for (const auto& [channel, samples] : report.clipped)
        text += std::string(text.empty() ? "" : ", ") +
                "{\"lead\": " + json_text(lead_name(channel)) +
                ", \"samples\": " + std::to_string(samples) + "}";
    return text;
}

// ",\n  \"unused_signals\": {...}" when a signal is left out; nothing when none is.
std::string unused_signals_json(const ImportReport& report) {
    if (report.unused_signals.empty()) return "";
    std::string labels;
    for (std::size_t signal : report.unused_signals)
        labels += std::string(labels.empty() ? "" : ", ") + json_text(report.labels[signal]);
    return ",\n  \"unused_signals\": {\"count\": " + std::to_string(report.unused_signals.size()) +
           ", \"labels\": [" + labels + "]}";
}

std::string notes_json(const ImportReport& report) {
    std::string text;
    for (const std::string& warning : report.warnings)
        text += std::string(text.empty() ? "" : ", ") + json_text(warning);
    return text;
}

}  // namespace

std::string import_record_json(const ImportRequest& request, const ImportReport& report) {
    std::error_code error;
    const std::filesystem::path source = std::filesystem::absolute(request.source, error);
    return "{\n  \"source\": " + json_text((error ? request.source : source).string()) +
           ",\n  \"format\": " + json_text(report.format) +
           ",\n  \"source_rate_hz\": " + json_number(report.source_rate_hz) +
           ",\n  \"resampling\": " +
           json_text(report.resampled ? "to 1000 Hz, soxr very high quality" : "none") +
           (request.repeat_every_ms > 0
                ? ",\n  \"repeat_every_ms\": " + std::to_string(request.repeat_every_ms)
                : "") +
           ",\n  \"microvolts_per_count\": " + std::to_string(report.microvolts_per_count) +
           ",\n  \"channels\": [\n" + channels_json(report) + "\n  ]" +
           unused_signals_json(report) + ",\n  \"pieces\": [\n" + pieces_json(report) +
           "\n  ],\n  \"clipped\": [" + clipped_json(report) + "],\n  \"notes\": [" +
           notes_json(report) + "],\n  \"program\": " + json_text(request.program) + "\n}\n";
}

std::string record_path(const ImportRequest& request) {
    return (request.data_directory / (request.name + ".import.json")).string();
}

}  // namespace mapari::importing
