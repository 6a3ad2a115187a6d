// Reading the operator's answer lines: free values, fixed fields, letters and texts.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "dialogue/answer_forms.hpp"

namespace mapari::unit_tests {
namespace {

// A free integer as the (1/0) questions read it: the first value, or nothing.
std::optional<std::int32_t> free_integer(std::string_view line) {
    std::optional<std::string_view> value = first_free_value(line);
    if (!value) return std::nullopt;
    return read_whole_number(*value);
}

TEST(AnswerForms, FreeIntegerTakesTheFirstValue) {
    struct Case {
        const char* line;
        std::int32_t expected;
    } cases[] = {
        {"1", 1},
        {"0", 0},
        {"2", 2},
        {"  7", 7},
        {"7   ", 7},
        {"12 34", 12},
        {"12,34", 12},
        {" , 5", 5},
        {",,5,6", 5},
        {"\t3", 3},
        {"+4", 4},
        {"-4", -4},
        {"0005", 5},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(free_integer(c.line), c.expected);
    }
}

TEST(AnswerForms, FreeIntegerLineWithoutValueIsPassedOver) {
    for (const char* line : {"", " ", "     ", ",", " , ,", "\t"}) {
        SCOPED_TRACE(std::string("[") + line + "]");
        EXPECT_EQ(first_free_value(line), std::nullopt);
    }
}

TEST(AnswerForms, FreeIntegerRefusesWhatIsNoWholeNumber) {
    for (const char* value : {"y", "yes", "1a", "a1", "1.5", "1.", "+", "-", "--1", "2147483648",
                              "-2147483649", "99999999999999999999"}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(read_whole_number(value), std::nullopt);
    }
}

TEST(AnswerForms, IntegerFieldUsesOnlyItsFirstCharacters) {
    struct Case {
        const char* line;
        int width;
        std::int32_t expected;
    } cases[] = {
        {"1234", 3, 123},  // a lead typed as 1234 is lead 123
        {"5", 3, 5},      {"13", 3, 13},   {"64", 3, 64},  {" 1 2", 3, 1},  // field " 1 "
        {"1 2", 3, 12},   {" 1 2", 4, 12}, {"  7", 3, 7},  {"-5", 3, -5},
        {"- 5", 3, -5},   {"12", 2, 12},   {"123", 2, 12}, {"4", 2, 4},
        {" 4", 2, 4},     {"28", 2, 28},   {"", 3, 0},     {"   ", 3, 0},
        {"", 2, 0},       {"  ", 2, 0},    {"   9", 3, 0},  // the 9 lies outside the field
        {"12x", 2, 12},                                     // so does the x
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("[") + c.line + "] width " + std::to_string(c.width));
        EXPECT_EQ(read_integer_field(c.line, c.width), c.expected);
    }
}

TEST(AnswerForms, IntegerFieldRefusesLetters) {
    for (const char* line : {"a", "ab", "1a", "a1", "y", "1.5", "+"}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(read_integer_field(line, 3), std::nullopt);
    }
}

TEST(AnswerForms, RealFieldWithoutPointIsHundredths) {
    // Width 4 with two implied decimals, as the recognition coefficient is asked.
    struct Case {
        const char* line;
        float expected;
    } cases[] = {
        {"95", 0.95f},    // 95 hundredths
        {"99", 0.99f},    // 99 hundredths
        {"1", 0.01f},     // 1 hundredth
        {"100", 1.0f},    // 100 hundredths
        {" 9 5", 0.95f},  // blanks inside the field are dropped: "95"
        {"-5", -0.05f},   // -5 hundredths
        {"", 0.0f},      {"    ", 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("[") + c.line + "]");
        std::optional<float> value = read_real_field(c.line, 4, 2);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(*value, c.expected);
    }
}

TEST(AnswerForms, RealFieldWithPointIsReadAsWritten) {
    struct Case {
        const char* line;
        float expected;
    } cases[] = {
        {".9", 0.9f},      {"1.0", 1.0f},    {"0.5", 0.5f}, {"1.", 1.0f},
        {"-.5", -0.5f},    {"0.995", 0.99f},  // cut to "0.99": the third decimal is dropped
        {"0.99", 0.99f},   {". 5", 0.5f},     // blanks inside are dropped: ".5"
        {"12.345", 12.3f},                    // cut to "12.3"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::optional<float> value = read_real_field(c.line, 4, 2);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(*value, c.expected);
    }
}

TEST(AnswerForms, RealFieldRefusesLetters) {
    for (const char* line : {"a", "y", "0.x9", "1..2", "9-"}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(read_real_field(line, 4, 2), std::nullopt);
    }
}

TEST(AnswerForms, FreeRealReadsPlainAndExponentNumbers) {
    struct Case {
        const char* value;
        float expected;
    } cases[] = {
        {"5", 5.0f},  {"1.5", 1.5f},     {"-2.25", -2.25f}, {".5", 0.5f},      {"3.", 3.0f},
        {"+7", 7.0f}, {"1.5E2", 150.0f}, {"1.5e2", 150.0f}, {"2D1", 20.0f},    {"25E-1", 2.5f},
        {"0", 0.0f},  {"0.99", 0.99f},   {"1e+3", 1000.0f}, {"-0.01", -0.01f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        std::optional<float> value = read_real_number(c.value);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(*value, c.expected);
    }
    for (const char* value : {"x", "1x", "1.2.3", "E5", "1E", "1E+", "", "1e99"}) {
        SCOPED_TRACE(std::string("refused [") + value + "]");
        EXPECT_EQ(read_real_number(value), std::nullopt);
    }
}

std::string letter_text(std::string_view line) {
    std::optional<TextField<10>> answer = read_letter_answer(line);
    return answer ? std::string(answer->view()) : "<none>";
}

TEST(AnswerForms, LetterAnswerIsFirstValueInTenCharacters) {
    EXPECT_EQ(letter_text("s"), "s         ");
    EXPECT_EQ(letter_text("x"), "x         ");
    EXPECT_EQ(letter_text("   b"), "b         ");
    EXPECT_EQ(letter_text(" ,, d"), "d         ");
    EXPECT_EQ(letter_text("s b"), "s         ");
    EXPECT_EQ(letter_text("s,b"), "s         ");
    EXPECT_EQ(letter_text("yes"), "yes       ");
    EXPECT_EQ(letter_text("abcdefghijkl"), "abcdefghij");
    EXPECT_EQ(letter_text(""), "<none>");
    EXPECT_EQ(letter_text("     "), "<none>");
    EXPECT_EQ(letter_text(" , "), "<none>");
}

TEST(AnswerForms, LetterMatchesOnlyThatLetterAlone) {
    struct Case {
        const char* line;
        char letter;
        bool matches;
    } cases[] = {
        {"s", 's', true},  {"S", 's', true},   {"  S", 's', true}, {"x", 'x', true},
        {"X", 'x', true},  {"sb", 's', false}, {"ss", 's', false}, {"s", 'b', false},
        {"n", 'y', false}, {"Y", 'y', true},   {"s b", 's', true},  // first value "s"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.line) + " vs " + c.letter);
        std::optional<TextField<10>> answer = read_letter_answer(c.line);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(is_letter(*answer, c.letter), c.matches);
    }
    TextField<10> nothing_typed;  // a blank field is no letter
    EXPECT_FALSE(is_letter(nothing_typed, 'x'));
}

TEST(AnswerForms, TextFieldIsCutOrPaddedToSix) {
    struct Case {
        const char* line;
        const char* expected;
    } cases[] = {
        {"abc", "abc   "},      {"001", "001   "},     {"", "      "},      {"abcdef", "abcdef"},
        {"abcdefgh", "abcdef"}, {"001.dat", "001.da"}, {"ab cd", "ab cd "}, {" 01", " 01   "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(read_text_field<6>(c.line).view(), c.expected);
    }
}

TEST(AnswerForms, TextFieldNeverSplitsACharacterOfSeveralBytes) {
    // Each of these kanji is three bytes in UTF-8.
    EXPECT_EQ(read_text_field<6>("日本").view(), "日本");      // exactly 6 bytes
    EXPECT_EQ(read_text_field<6>("日本語").view(), "日本");    // 9 bytes: the third kanji goes
    EXPECT_EQ(read_text_field<6>("a日本").view(), "a日  ");    // 7 bytes: 本 would be split
    EXPECT_EQ(read_text_field<6>("ab日本").view(), "ab日 ");   // 8 bytes: 本 would be split
    EXPECT_EQ(read_text_field<6>("abcdeé").view(), "abcde ");  // é is two bytes
}

}  // namespace
}  // namespace mapari::unit_tests
