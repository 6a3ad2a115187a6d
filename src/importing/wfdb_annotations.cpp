#include "importing/wfdb_annotations.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "formats/files.hpp"
#include "formats/messages.hpp"

namespace mapari::importing {
namespace {

constexpr int skip_type = 59;
constexpr int num_type = 60;
constexpr int sub_type = 61;
constexpr int chan_type = 62;
constexpr int aux_type = 63;
constexpr unsigned data_bits = 10;
constexpr unsigned data_mask = (1U << data_bits) - 1U;
constexpr std::size_t word_bytes = 2;

// The stream of words, read from the front; every read checks what is left.
class AnnotationDecoder {
  public:
    explicit AnnotationDecoder(std::string_view bytes) : bytes_(bytes) {}

    // Reads one word and what belongs to it; false at the end word or a fault.
    bool step(std::vector<Annotation>& annotations, std::string& reason) {
        const std::size_t word_offset = offset_;
        if (bytes_.size() - offset_ < word_bytes) {
            reason = message("it ends at byte offset {1} before its end word",
                             {std::to_string(offset_)});
            return false;
        }
        const unsigned word = next_word();
        if (word == 0) return false;
        const int type = static_cast<int>(word >> data_bits);
        const int data = static_cast<int>(word & data_mask);
        if (type == skip_type) return skip(word_offset, reason);
        if (type < skip_type) return annotate(type, data, word_offset, annotations, reason);
        if (annotations.empty()) {
            reason = message("the field at byte offset {1} comes before any annotation",
                             {std::to_string(word_offset)});
            return false;
        }
        return set_field(type, data, word_offset, annotations.back(), reason);
    }

  private:
    unsigned next_word() {
        const auto low = static_cast<unsigned char>(bytes_[offset_]);
        const auto high = static_cast<unsigned char>(bytes_[offset_ + 1]);
        offset_ += word_bytes;
        return low | (static_cast<unsigned>(high) << 8U);
    }

    // The signed 32-bit step of the next two words, high word first.
    bool skip(std::size_t word_offset, std::string& reason) {
        if (bytes_.size() - offset_ < 2 * word_bytes) {
            reason = message("the skip at byte offset {1} runs past the end of the file",
                             {std::to_string(word_offset)});
            return false;
        }
        const unsigned high = next_word();
        const unsigned low = next_word();
        time_ += static_cast<std::int32_t>((high << 16U) | low);
        return true;
    }

    bool annotate(int type, int step, std::size_t word_offset, std::vector<Annotation>& annotations,
                  std::string& reason) {
        time_ += step;
        if (time_ < 0) {
            reason = message("the annotation at byte offset {1} lies before the record's start",
                             {std::to_string(word_offset)});
            return false;
        }
        annotations.push_back(Annotation{time_, type, 0, chan_, num_, ""});
        return true;
    }

    bool set_field(int type, int data, std::size_t word_offset, Annotation& annotation,
                   std::string& reason) {
        if (type == num_type) annotation.num = num_ = data;
        if (type == sub_type) annotation.sub = data;
        if (type == chan_type) annotation.chan = chan_ = data;
        if (type != aux_type) return true;
        const auto count = static_cast<std::size_t>(data);
        const std::size_t padded = count + count % 2;
        if (bytes_.size() - offset_ < padded) {
            reason = message("the text at byte offset {1} runs past the end of the file",
                             {std::to_string(word_offset)});
            return false;
        }
        annotation.aux.assign(bytes_.substr(offset_, count));
        offset_ += padded;
        return true;
    }

    std::string_view bytes_;
    std::size_t offset_ = 0;
    std::int64_t time_ = 0;  // the time of the last annotation, plus any skip since
    int num_ = 0;
    int chan_ = 0;
};

// The `)` that closes the `t` after annotation `beat`: the first wave bracket
// after that `t`, when it is an end. None when no `t` comes before the next `N`.
std::optional<std::int64_t> t_end_after(const std::vector<Annotation>& annotations,
                                        std::size_t beat) {
    std::size_t next = beat + 1;
    while (next < annotations.size() && annotations[next].type != annotation_t_wave &&
           annotations[next].type != annotation_normal_beat)
        ++next;
    if (next == annotations.size() || annotations[next].type != annotation_t_wave) return {};
    for (++next; next < annotations.size(); ++next) {
        const int type = annotations[next].type;
        if (type == annotation_wave_end) return annotations[next].sample;
        if (type == annotation_wave_onset || type == annotation_normal_beat) return {};
    }
    return {};
}

// Where a beat's QRS complex begins and ends as far as its marks say: from
// the earliest to the latest of its onset, `N` and J point.
std::int64_t qrs_start(const ExpertBeat& beat) {
    return std::min(beat.qrs_onset_sample.value_or(beat.qrs_sample), beat.qrs_sample);
}
std::int64_t qrs_stop(const ExpertBeat& beat) {
    return std::max(beat.j_point_sample.value_or(beat.qrs_sample), beat.qrs_sample);
}

// The earlier (or later) of two marks, either of which may be absent.
std::optional<std::int64_t> earlier(std::optional<std::int64_t> a, std::optional<std::int64_t> b) {
    if (!a || !b) return a ? a : b;
    return std::min(*a, *b);
}
std::optional<std::int64_t> later(std::optional<std::int64_t> a, std::optional<std::int64_t> b) {
    if (!a || !b) return a ? a : b;
    return std::max(*a, *b);
}

void join(ExpertBeat& beat, const ExpertBeat& lead) {
    beat.qrs_sample = std::min(beat.qrs_sample, lead.qrs_sample);
    beat.qrs_onset_sample = earlier(beat.qrs_onset_sample, lead.qrs_onset_sample);
    beat.j_point_sample = later(beat.j_point_sample, lead.j_point_sample);
    beat.t_end_sample = later(beat.t_end_sample, lead.t_end_sample);
}

}  // namespace

bool decode_wfdb_annotations(std::string_view bytes, std::vector<Annotation>& annotations,
                             std::string& reason) {
    if (bytes.size() % 2 != 0) {
        reason = message("it holds {1} bytes, an odd number: not whole 16-bit words",
                         {std::to_string(bytes.size())});
        return false;
    }
    std::vector<Annotation> decoded;
    AnnotationDecoder decoder(bytes);
    std::string fault;
    while (decoder.step(decoded, fault)) {
    }
    if (!fault.empty()) {
        reason = fault;
        return false;
    }
    annotations = std::move(decoded);
    return true;
}

bool read_wfdb_annotations(const std::filesystem::path& file, std::vector<Annotation>& annotations,
                           std::string& reason) {
    std::string bytes;
    return read_whole_file(file.string(), bytes, reason) &&
           decode_wfdb_annotations(bytes, annotations, reason);
}

std::vector<ExpertBeat> expert_beats(const std::vector<Annotation>& annotations) {
    std::vector<ExpertBeat> beats;
    for (std::size_t k = 0; k < annotations.size(); ++k) {
        if (annotations[k].type != annotation_normal_beat) continue;
        ExpertBeat beat;
        beat.qrs_sample = annotations[k].sample;
        if (k > 0 && annotations[k - 1].type == annotation_wave_onset)
            beat.qrs_onset_sample = annotations[k - 1].sample;
        if (k + 1 < annotations.size() && annotations[k + 1].type == annotation_wave_end)
            beat.j_point_sample = annotations[k + 1].sample;
        beat.t_end_sample = t_end_after(annotations, k);
        beats.push_back(beat);
    }
    return beats;
}

std::vector<ExpertBeat> beats_over_leads(const std::vector<std::vector<ExpertBeat>>& leads) {
    std::vector<ExpertBeat> all;
    for (const std::vector<ExpertBeat>& lead : leads)
        all.insert(all.end(), lead.begin(), lead.end());
    std::stable_sort(all.begin(), all.end(), [](const ExpertBeat& a, const ExpertBeat& b) {
        return qrs_start(a) < qrs_start(b);
    });
    std::vector<ExpertBeat> beats;
    std::int64_t group_stop = 0;
    for (const ExpertBeat& lead : all) {
        if (beats.empty() || qrs_start(lead) > group_stop) {
            beats.push_back(lead);
            group_stop = qrs_stop(lead);
            continue;
        }
        join(beats.back(), lead);
        group_stop = std::max(group_stop, qrs_stop(lead));
    }
    return beats;
}

}  // namespace mapari::importing
