// Questions: what the operator sees when an answer is passed over or cannot be read.
#include <gtest/gtest.h>

#include <sstream>

#include "dialogue/ask.hpp"
#include "support/temporary_folder.hpp"
#include "window/headless_runtime.hpp"

namespace mapari::unit_tests {
namespace {

struct Dialogue {
    explicit Dialogue(const std::string& script_text) : script(script_text) {}
    test_support::TemporaryFolder folder;
    std::istringstream script;
    std::ostringstream transcript;
    HeadlessRuntime runtime{script, transcript, nullptr, folder.path()};
};

TEST(Ask, FreeIntegerPassesOverEmptyLinesAndAsksAgainAfterLetters) {
    Dialogue d("\n  , \nabc\n2 5\n");
    EXPECT_EQ(ask_free_integer(d.runtime, Channel::text, "q (1/0)  :"), 2);
    EXPECT_EQ(d.transcript.str(),
              "q (1/0)  :\n"
              "> \n"
              ">   , \n"
              "> abc\n"
              "Cannot read \"abc\" as a whole number; please answer again.\n"
              "q (1/0)  :\n"
              "> 2 5\n");
}

TEST(Ask, IntegerFieldTakesAnEmptyLineAsZero) {
    Dialogue d("\n");
    EXPECT_EQ(ask_integer_field(d.runtime, Channel::text, "enter first_lead  :", 3), 0);
    EXPECT_EQ(d.transcript.str(), "enter first_lead  :\n> \n");
}

TEST(Ask, RealFieldAsksAgainAfterLetters) {
    Dialogue d("ab\n95\n");
    EXPECT_EQ(ask_real_field(d.runtime, Channel::text, "coefficient  :", 4, 2), 0.95f);
    EXPECT_EQ(d.transcript.str(),
              "coefficient  :\n"
              "> ab\n"
              "Cannot read \"ab\" as a number; please answer again.\n"
              "coefficient  :\n"
              "> 95\n");
}

TEST(Ask, LetterInTraceWindowPassesOverEmptyLines) {
    Dialogue d("\n   \nS\n");
    d.runtime.open_trace_window();
    TextField<10> answer = ask_letter(d.runtime, Channel::trace, "menu");
    EXPECT_EQ(answer.view(), "S         ");
    EXPECT_EQ(d.transcript.str(), "Unit 12| menu\nUnit 12> \nUnit 12>    \nUnit 12> S\n");
}

TEST(Ask, FreeRealWaitsForAValue) {
    Dialogue d("\n1.5\n");
    EXPECT_EQ(ask_free_real(d.runtime, Channel::text, "No data!  Hit"), 1.5f);
}

TEST(Ask, YesOneAndYesNonzeroTests) {
    EXPECT_TRUE(is_yes_one(1));
    EXPECT_FALSE(is_yes_one(2));
    EXPECT_FALSE(is_yes_one(0));
    EXPECT_FALSE(is_yes_one(-1));
    EXPECT_TRUE(is_yes_nonzero(2));
    EXPECT_TRUE(is_yes_nonzero(-1));
    EXPECT_FALSE(is_yes_nonzero(0));
}

}  // namespace
}  // namespace mapari::unit_tests
