// The WFDB annotation reader: annotations and their fields from words packed
// by hand, every refusal with its message (every truncation of a file among
// them), the marks around each beat, the marks of several leads as one, and
// the real files of the QT Database and LUDB.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "importing/wfdb_annotations.hpp"
#include "support/real_data.hpp"

namespace mapari::importing_tests {
namespace {

using importing::Annotation;
using importing::ExpertBeat;
using Mark = std::optional<std::int64_t>;

constexpr unsigned N = 1, t = 27, onset = 39, end = 40;
constexpr unsigned skip = 59, num = 60, sub = 61, chn = 62, aux = 63;

// A word of the given type and data.
unsigned w(unsigned type, unsigned data) {
    return type << 10U | data;
}

// 16-bit words as the file stores them, low byte first; `text` bytes are
// appended as they stand.
std::string words(std::initializer_list<unsigned> values, const std::string& text = "") {
    std::string bytes;
    for (unsigned value : values) {
        bytes.push_back(static_cast<char>(value & 0xFFU));
        bytes.push_back(static_cast<char>(value >> 8U));
    }
    return bytes + text;
}

std::string describe(const std::vector<Annotation>& annotations) {
    std::string text;
    for (const Annotation& a : annotations)
        text += std::to_string(a.sample) + ":" + std::to_string(a.type) + " sub " +
                std::to_string(a.sub) + " chan " + std::to_string(a.chan) + " num " +
                std::to_string(a.num) + (a.aux.empty() ? "" : " aux " + a.aux) + "; ";
    return text;
}

TEST(WfdbAnnotations, WordsGiveAnnotationsAndTheirFields) {
    struct Case {
        const char* what;
        std::string bytes;
        const char* annotations;
    } cases[] = {
        {"steps add up", words({w(N, 5), w(end, 3), 0}),
         "5:1 sub 0 chan 0 num 0; 8:40 sub 0 chan 0 num 0; "},
        {"the end word ends the file, whatever follows", words({w(N, 1), 0, w(N, 2)}),
         "1:1 sub 0 chan 0 num 0; "},
        {"no annotation", words({0}), ""},
        // 0x0001 << 16 | 0x0002 = 65538, then a step of 4: 65542.
        {"skip, high word first", words({w(skip, 0), 0x0001, 0x0002, w(N, 4), 0}),
         "65542:1 sub 0 chan 0 num 0; "},
        // 10 + (-3) + 0 = 7
        {"a negative skip", words({w(N, 10), w(skip, 0), 0xFFFF, 0xFFFD, w(t, 0), 0}),
         "10:1 sub 0 chan 0 num 0; 7:27 sub 0 chan 0 num 0; "},
        {"a skip just before the end word", words({w(N, 1), w(skip, 0), 0, 9, 0}),
         "1:1 sub 0 chan 0 num 0; "},
        {"num holds until set again", words({w(N, 1), w(num, 2), w(t, 1), w(end, 1), w(num, 0), 0}),
         "1:1 sub 0 chan 0 num 2; 2:27 sub 0 chan 0 num 2; 3:40 sub 0 chan 0 num 0; "},
        {"chan holds until set again", words({w(N, 1), w(chn, 1023), w(t, 1), 0}),
         "1:1 sub 0 chan 1023 num 0; 2:27 sub 0 chan 1023 num 0; "},
        {"sub holds for its annotation alone", words({w(N, 1), w(sub, 7), w(t, 1), 0}),
         "1:1 sub 7 chan 0 num 0; 2:27 sub 0 chan 0 num 0; "},
        {"an aux text of an odd count and its pad byte",
         words({w(N, 1), w(aux, 3)}, std::string("abc\0", 4)) + words({w(t, 1), 0}),
         "1:1 sub 0 chan 0 num 0 aux abc; 2:27 sub 0 chan 0 num 0; "},
        {"an aux text of an even count", words({w(N, 1), w(aux, 2)}, "ab") + words({0}),
         "1:1 sub 0 chan 0 num 0 aux ab; "},
        {"an empty aux text", words({w(N, 1), w(aux, 0), w(t, 1), 0}),
         "1:1 sub 0 chan 0 num 0; 2:27 sub 0 chan 0 num 0; "},
        {"every field on one annotation",
         words({w(N, 1023), w(num, 1), w(sub, 2), w(chn, 3), w(aux, 1)}, std::string("x\0", 2)) +
             words({0}),
         "1023:1 sub 2 chan 3 num 1 aux x; "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Annotation> annotations;
        std::string reason;
        ASSERT_TRUE(importing::decode_wfdb_annotations(c.bytes, annotations, reason)) << reason;
        EXPECT_EQ(describe(annotations), c.annotations);
    }
}

TEST(WfdbAnnotations, FaultsAreRefusedWithTheirOffsetAndTheListKept) {
    struct Case {
        std::string bytes;
        const char* reason;
    } cases[] = {
        {words({w(N, 1), 0}) + "x", "it holds 5 bytes, an odd number: not whole 16-bit words"},
        {"", "it ends at byte offset 0 before its end word"},
        {words({w(N, 1), w(t, 2)}), "it ends at byte offset 4 before its end word"},
        {words({w(N, 1), w(skip, 0), 0x0001}),
         "the skip at byte offset 2 runs past the end of the file"},
        {words({w(skip, 0)}), "the skip at byte offset 0 runs past the end of the file"},
        {words({w(N, 1), w(aux, 5)}, "abcd"),
         "the text at byte offset 2 runs past the end of the file"},
        {words({w(N, 1), w(aux, 6)}, "abcd"),
         "the text at byte offset 2 runs past the end of the file"},
        // 3 bytes of text and their pad, and then no end word.
        {words({w(N, 1), w(aux, 3)}, std::string("abc\0", 4)),
         "it ends at byte offset 8 before its end word"},
        {words({w(N, 1), w(aux, 5)}, "abcde"),
         "it holds 9 bytes, an odd number: not whole 16-bit words"},
        {words({w(num, 1), w(N, 1), 0}), "the field at byte offset 0 comes before any annotation"},
        {words({w(aux, 0), 0}), "the field at byte offset 0 comes before any annotation"},
        {words({w(N, 2), w(skip, 0), 0xFFFF, 0xFFFC, w(t, 1), 0}),
         "the annotation at byte offset 8 lies before the record's start"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        std::vector<Annotation> annotations = {Annotation{42, 1, 0, 0, 0, "kept"}};
        std::string reason;
        EXPECT_FALSE(importing::decode_wfdb_annotations(c.bytes, annotations, reason));
        EXPECT_EQ(reason, c.reason);
        EXPECT_EQ(describe(annotations), "42:1 sub 0 chan 0 num 0 aux kept; ");
    }
}

TEST(WfdbAnnotations, EveryTruncationOfAFileIsRefused) {
    const std::string file =
        words({w(skip, 0), 0x0002, 0x4B00, w(onset, 3), w(num, 1), w(N, 14), w(aux, 3)},
              std::string("abc\0", 4)) +
        words({w(end, 4), w(chn, 2), w(t, 60), w(num, 2), w(end, 20), w(sub, 1), 0});
    std::vector<Annotation> annotations;
    std::string reason;
    ASSERT_TRUE(importing::decode_wfdb_annotations(file, annotations, reason)) << reason;
    ASSERT_EQ(annotations.size(), 5U);
    EXPECT_EQ(annotations[0].sample, 150275);  // 0x24B00 + 3
    for (std::size_t size = 0; size < file.size(); ++size) {
        SCOPED_TRACE(size);
        std::vector<Annotation> kept;
        EXPECT_FALSE(importing::decode_wfdb_annotations(file.substr(0, size), kept, reason));
        EXPECT_FALSE(reason.empty());
        EXPECT_TRUE(kept.empty());
    }
}

TEST(WfdbAnnotations, MissingFileGivesTheSystemsReason) {
    std::vector<Annotation> annotations;
    std::string reason;
    EXPECT_FALSE(importing::read_wfdb_annotations("/nonexistent/record.q1c", annotations, reason));
    EXPECT_FALSE(reason.empty());
}

std::vector<Annotation> sequence(std::initializer_list<std::pair<std::int64_t, int>> marks) {
    std::vector<Annotation> annotations;
    for (const auto& [sample, type] : marks)
        annotations.push_back(Annotation{sample, type, 0, 0, 0, ""});
    return annotations;
}

std::string describe(const std::vector<ExpertBeat>& beats) {
    const auto mark = [](Mark m) { return m ? std::to_string(*m) : std::string("-"); };
    std::string text;
    for (const ExpertBeat& b : beats)
        text += std::to_string(b.qrs_sample) + " " + mark(b.qrs_onset_sample) + " " +
                mark(b.j_point_sample) + " " + mark(b.t_end_sample) + "; ";
    return text;
}

TEST(WfdbAnnotations, BeatMarksAreTheBracketsAroundEachBeat) {
    constexpr int p = 24, u = 29, V = 5;
    struct Case {
        const char* what;
        std::vector<Annotation> annotations;
        const char* beats;  // N, QRS onset, J point, T end
    } cases[] = {
        {"a whole beat with its P wave",
         sequence({{1, onset},
                   {5, p},
                   {8, end},
                   {10, onset},
                   {14, N},
                   {18, end},
                   {30, onset},
                   {40, t},
                   {55, end}}),
         "14 10 18 55; "},
        {"a beat without its marks", sequence({{14, N}}), "14 - - -; "},
        {"the J point must follow the N at once",
         sequence({{10, onset}, {14, N}, {16, p}, {18, end}}), "14 10 - -; "},
        {"a t without its end", sequence({{14, N}, {40, t}, {50, N}, {52, end}}),
         "14 - - -; 50 - 52 -; "},
        {"the end after a t, past a u's peak", sequence({{14, N}, {40, t}, {45, u}, {55, end}}),
         "14 - - 55; "},
        {"a u wave's brackets after a t without end",
         sequence({{14, N}, {40, t}, {50, onset}, {55, u}, {60, end}}), "14 - - -; "},
        {"no t before the next beat", sequence({{14, N}, {18, end}, {50, N}, {70, t}, {80, end}}),
         "14 - 18 -; 50 - - 80; "},
        {"only N beats are beats", sequence({{10, onset}, {14, V}, {18, end}}), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(describe(importing::expert_beats(c.annotations)), c.beats);
    }
}

ExpertBeat beat(std::int64_t qrs, Mark onset_sample, Mark j, Mark t_end) {
    return ExpertBeat{qrs, onset_sample, j, t_end};
}

TEST(WfdbAnnotations, LeadsJoinWhereTheirQrsComplexesOverlap) {
    struct Case {
        const char* what;
        std::vector<std::vector<ExpertBeat>> leads;
        const char* beats;
    } cases[] = {
        {"earliest onset, latest J point and T end",
         {{beat(100, 90, 120, 300), beat(600, 590, 620, 800)},
          {beat(104, 95, 130, 280), beat(598, 585, 615, 820)}},
         "100 90 130 300; 598 585 620 820; "},
        {"a lead that misses a beat",
         {{beat(100, 90, 120, 300), beat(600, 590, 620, 800)}, {beat(602, 592, 618, {})}},
         "100 90 120 300; 600 590 620 800; "},
        {"a mark that one lead lacks comes from another",
         {{beat(100, {}, 120, {})}, {beat(101, 92, {}, 310)}},
         "100 92 120 310; "},
        // Lead 2's QRS (125-140) starts after lead 1's ends at 120: two beats.
        {"complexes that touch no other are beats of their own",
         {{beat(100, 90, 120, 300)}, {beat(130, 125, 140, 310)}},
         "100 90 120 300; 130 125 140 310; "},
        {"a beat without marks joins at its N",
         {{beat(100, 90, 120, 300)}, {beat(110, {}, {}, {})}},
         "100 90 120 300; "},
        // A J point before its onset: the complex spans 100 to 110 in both leads.
        {"marks out of order still span their complex",
         {{beat(100, 110, 95, 300)}, {beat(100, 110, 95, 290)}},
         "100 110 95 300; "},
        {"no leads", {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(describe(importing::beats_over_leads(c.leads)), c.beats);
    }
}

// The counts and the first and last beats were found once by a separate
// decoder (a few lines of Python reading the words as the format describes,
// written apart from this reader) on the files of ../shared/data/expert.
TEST(WfdbAnnotations, QtDatabaseFilesGiveTheirBeats) {
    struct Case {
        const char* file;
        std::size_t annotations;
        std::size_t beats;
        const char* first_and_last;
    } cases[] = {
        {"sel100.q1c", 240, 30, "150330 150316 150334 150419; 156110 156092 156114 156196; "},
        {"sel100.q2c", 150, 30, "150330 150316 150334 150419; 156110 156092 156114 156196; "},
        {"sel103.q2c", 210, 30, "150282 150269 150290 150368; 156492 156479 156502 156580; "},
        {"sel104.q1c", 458, 77, "150386 150367 150398 150499; 223261 223243 223274 223386; "},
        {"sel114.q1c", 401, 50, "150246 150227 150257 150351; 216002 215987 216014 216097; "},
        {"sel116.q1c", 456, 50, "150283 150272 150292 150360; 216984 216972 216992 217066; "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::filesystem::path file = test_support::expert_data_folder() / "qtdb" / c.file;
        if (!std::filesystem::exists(file)) GTEST_SKIP() << file << " is absent";
        std::vector<Annotation> annotations;
        std::string reason;
        ASSERT_TRUE(importing::read_wfdb_annotations(file, annotations, reason)) << reason;
        EXPECT_EQ(annotations.size(), c.annotations);
        const std::vector<ExpertBeat> beats = importing::expert_beats(annotations);
        ASSERT_EQ(beats.size(), c.beats);
        for (const ExpertBeat& b : beats)
            EXPECT_TRUE(b.qrs_onset_sample && b.j_point_sample && b.t_end_sample) << b.qrs_sample;
        EXPECT_EQ(describe({beats.front(), beats.back()}), c.first_and_last);
    }
}

TEST(WfdbAnnotations, LudbLeadsGiveOneMarkPerBeat) {
    struct Case {
        const char* record;
        std::size_t beats;
        std::size_t t_ends;
        const char* first_and_last;
    } cases[] = {
        {"21", 10, 9, "537 530 597 768; 4243 4233 4300 -; "},
        {"123", 9, 8, "492 483 542 658; 4147 4140 4189 -; "},
        {"44", 9, 8, "759 751 822 1006; 4361 4348 4427 -; "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        std::vector<std::vector<ExpertBeat>> leads;
        for (const char* lead :
             {"i", "ii", "iii", "avr", "avl", "avf", "v1", "v2", "v3", "v4", "v5", "v6"}) {
            const std::filesystem::path file =
                test_support::expert_data_folder() / "ludb" / (std::string(c.record) + "." + lead);
            if (!std::filesystem::exists(file)) GTEST_SKIP() << file << " is absent";
            std::vector<Annotation> annotations;
            std::string reason;
            ASSERT_TRUE(importing::read_wfdb_annotations(file, annotations, reason)) << reason;
            leads.push_back(importing::expert_beats(annotations));
        }
        const std::vector<ExpertBeat> beats = importing::beats_over_leads(leads);
        ASSERT_EQ(beats.size(), c.beats);
        std::size_t t_ends = 0;
        for (const ExpertBeat& b : beats) t_ends += b.t_end_sample ? 1U : 0U;
        EXPECT_EQ(t_ends, c.t_ends);
        EXPECT_EQ(describe({beats.front(), beats.back()}), c.first_and_last);
    }
}

}  // namespace
}  // namespace mapari::importing_tests
