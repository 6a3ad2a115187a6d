// Reading an .ari record back: the numbers in their places, whatever the line
// breaks, and a reason that names the number at fault.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "formats/ari_file.hpp"
#include "formats/quoted.hpp"
#include "review_support.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

// The words of the hand-made record.
std::vector<std::string> hand_made_words() {
    std::istringstream text(hand_made_ari_text());
    std::vector<std::string> words;
    for (std::string word; text >> word;) words.push_back(word);
    return words;
}

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) text += word + ' ';
    return text;
}

// The first n numbers of the hand-made record.
std::string first_numbers(std::size_t n) {
    std::vector<std::string> words = hand_made_words();
    words.resize(n);
    return joined(words);
}

// The hand-made record with number n (from 1) replaced by word.
std::string with_number(std::size_t n, const std::string& word) {
    std::vector<std::string> words = hand_made_words();
    words[n - 1] = word;
    return joined(words);
}

TEST(AriRecord, ReadsHeaderThenActivationThenRecoveryTimes) {
    AriRecord record;
    std::string reason;
    ASSERT_TRUE(parse_ari_text(hand_made_ari_text(), record, reason)) << reason;
    EXPECT_EQ(record.reference_point, 150);
    EXPECT_EQ(record.j_point, 250);
    EXPECT_EQ(record.t_end, 600);
    EXPECT_EQ(record.smoothing_half_width, 20);
    EXPECT_EQ(record.activation_ms[0], 0.0f);    // lead 1
    EXPECT_EQ(record.activation_ms[1], 40.0f);   // lead 2
    EXPECT_EQ(record.activation_ms[7], 12.5f);   // lead 8
    EXPECT_EQ(record.activation_ms[63], 61.0f);  // lead 64
    EXPECT_EQ(record.recovery_ms[0], 300.0f);    // lead 1
    EXPECT_EQ(record.recovery_ms[1], 200.0f);    // lead 2
    EXPECT_EQ(record.recovery_ms[7], 287.25f);   // lead 8
    EXPECT_EQ(record.recovery_ms[63], 199.0f);   // lead 64
}

TEST(AriRecord, LineBreaksAndTabsDoNotMatter) {
    std::string one_line = hand_made_ari_text();
    for (char& c : one_line)
        if (c == '\n') c = '\t';
    AriRecord split, joined;
    std::string reason;
    ASSERT_TRUE(parse_ari_text(hand_made_ari_text(), split, reason)) << reason;
    ASSERT_TRUE(parse_ari_text(one_line + "\r\n", joined, reason)) << reason;
    EXPECT_EQ(joined.recovery_ms, split.recovery_ms);
    EXPECT_EQ(joined.activation_ms, split.activation_ms);
}

TEST(AriRecord, RealsWithAnExponentAreRead) {
    // "0.1234568E+03" is how a value is written that needs an exponent.
    AriRecord record;
    std::string reason;
    ASSERT_TRUE(parse_ari_text(with_number(5, "0.1234568E+03"), record, reason)) << reason;
    EXPECT_FLOAT_EQ(record.activation_ms[0], 123.4568f);
}

TEST(AriRecord, EmptyFileHoldsNoNumbers) {
    AriRecord record;
    std::string reason;
    EXPECT_FALSE(parse_ari_text("  \n", record, reason));
    EXPECT_EQ(reason, "it holds no numbers; an .ari record holds 132");
}

TEST(AriRecord, ShortRecordNamesTheFirstMissingNumber) {
    AriRecord record;
    std::string reason;
    // 70 numbers: P, J, E, h, 64 activation times and the recovery times of leads 1 and 2.
    EXPECT_FALSE(parse_ari_text(first_numbers(70), record, reason));
    EXPECT_EQ(reason,
              "it ends after 70 of its 132 numbers (the recovery time of lead 3 is missing)");
    EXPECT_FALSE(parse_ari_text(first_numbers(3), record, reason));
    EXPECT_EQ(reason, "it ends after 3 of its 132 numbers (the smoothing half-width h is missing)");
}

TEST(AriRecord, AWordThatIsNoNumberIsNamedWithItsPlace) {
    AriRecord record;
    std::string reason;
    EXPECT_FALSE(parse_ari_text(with_number(7, "4O.0"), record, reason));
    EXPECT_EQ(reason,
              "number 7 (the activation time of lead 3) reads \"4O.0\", which is not a number "
              "of ms");
}

TEST(AriRecord, TheHeaderNeedsWholeNumbers) {
    AriRecord record;
    std::string reason;
    EXPECT_FALSE(parse_ari_text(with_number(2, "250.5"), record, reason));
    EXPECT_EQ(reason, "number 2 (the J point) reads \"250.5\", which is not a whole number");
}

TEST(AriRecord, MoreThanOneRecordIsAnotherKindOfFile) {
    AriRecord record;
    std::string reason;
    EXPECT_FALSE(parse_ari_text(hand_made_ari_text() + "   1.000000\n", record, reason));
    EXPECT_EQ(reason,
              "it goes on after the 132 numbers of an .ari record (number 133 reads "
              "\"1.000000\")");
}

TEST(AriRecord, NamesOfThePlaces) {
    EXPECT_EQ(ari_number_name(1), "the reference point P");
    EXPECT_EQ(ari_number_name(3), "the T end");
    EXPECT_EQ(ari_number_name(5), "the activation time of lead 1");
    EXPECT_EQ(ari_number_name(68), "the activation time of lead 64");
    EXPECT_EQ(ari_number_name(69), "the recovery time of lead 1");
    EXPECT_EQ(ari_number_name(132), "the recovery time of lead 64");
}

TEST(Quoted, WordsAreShownQuotedAndCutAfter24Bytes) {
    EXPECT_EQ(quoted_word("4O.0"), "\"4O.0\"");
    EXPECT_EQ(quoted_word(std::string(30, '7')), "\"" + std::string(24, '7') + "…\"");
    EXPECT_EQ(quoted_word(std::string(24, '7')), "\"" + std::string(24, '7') + "\"");
}

TEST(Quoted, BytesThatDoNotPrintAreWrittenInHex) {
    EXPECT_EQ(quoted_word(std::string("a\tb\xff\0", 5)), "\"a\\x09b\\xFF\\x00\"");
    EXPECT_EQ(quoted_word("\x7f~"), "\"\\x7F~\"");
}

}  // namespace
}  // namespace mapari::review_tests
