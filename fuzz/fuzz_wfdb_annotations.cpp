// WFDB annotation files of any bytes. A file that decodes gives annotations at
// times from 0 on, with fields of 10 bits and texts no longer than the file;
// one that does not gives a reason and leaves the list as it was. The marks
// of the beats, alone and over two leads, keep every mark where the file put
// an annotation.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.hpp"
#include "importing/wfdb_annotations.hpp"

namespace {

using mapari::fuzz::check;
using mapari::importing::Annotation;
using mapari::importing::ExpertBeat;

constexpr int field_limit = 1 << 10;

void check_beats(const std::vector<ExpertBeat>& beats) {
    for (const ExpertBeat& beat : beats) {
        check(beat.qrs_sample >= 0);
        if (beat.qrs_onset_sample) check(*beat.qrs_onset_sample >= 0);
        if (beat.j_point_sample) check(*beat.j_point_sample >= 0);
        if (beat.t_end_sample) check(*beat.t_end_sample >= 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<Annotation> annotations = {Annotation{7, 1, 0, 0, 0, "untouched"}};
    std::string reason;
    if (!mapari::importing::decode_wfdb_annotations(bytes, annotations, reason)) {
        check(!reason.empty());
        check(annotations.size() == 1 && annotations[0].aux == "untouched");
        return 0;
    }
    check(annotations.size() <= size / 2);
    for (const Annotation& a : annotations) {
        check(a.sample >= 0 && a.type >= 0 && a.type < 59);
        check(a.sub >= 0 && a.sub < field_limit && a.chan >= 0 && a.chan < field_limit);
        check(a.num >= 0 && a.num < field_limit && a.aux.size() < size);
    }
    const std::vector<ExpertBeat> beats = mapari::importing::expert_beats(annotations);
    check_beats(beats);
    const std::vector<ExpertBeat> joined = mapari::importing::beats_over_leads({beats, beats});
    check(joined.size() <= beats.size());
    check_beats(joined);
    return 0;
}
