// Values put in place in a translation that orders them otherwise than the
// text it translates. The shipped catalogues keep every text's order, so a
// catalogue of the test's own (reordered.po, compiled by the build) stands in
// for the program's.
#include <gtest/gtest.h>
#include <libintl.h>

#include <string>
#include <utility>

#include "formats/messages.hpp"

namespace mapari::messages_tests {
namespace {

class ReorderedValues : public testing::Test {
  protected:
    // English, with the test's catalogue bound to the program's text domain
    // (the name of its catalogue files) in the place of the program's own.
    void SetUp() override {
        std::string reason;
        ASSERT_TRUE(use_language(Language::english, reason)) << reason;
        ASSERT_NE(::bindtextdomain("mapari", MAPARI_TEST_LOCALE_DIR), nullptr);
    }
};

TEST_F(ReorderedValues, EachValueGoesWhereItsNumberStands) {
    const std::pair<std::string, std::string> cases[] = {
        {message("Cannot open {1}: {2}.", {"d:\\data\\map\\x.dat", "No such file"}),
         "No such file: cannot open d:\\data\\map\\x.dat."},
        {message("{1} holds {2}; a display needs {3}.", {"x.dat", "3000 frames", "4000"}),
         "A display needs 4000; x.dat holds 3000 frames."},
        {message("The display second must be from 0 to {1}: {2} holds {3}.",
                 {"28", "x.dat", "32 s"}),
         "x.dat holds 32 s; the display second must be from 0 to 28, 28 included."},
        // A value is written as it is, never read for numbers in its turn.
        {message("Cannot open {1}: {2}.", {"{2}", "{1}"}), "{1}: cannot open {2}."},
        // A number without its value stays as written.
        {message("Cannot open {1}: {2}.", {"x.dat"}), "{2}: cannot open x.dat."},
        // A text the catalogue does not translate keeps its own order.
        {message("No ARI file: {1}.", {"J + 2 = 1025"}), "No ARI file: J + 2 = 1025."},
    };
    for (const auto& [filled, expected] : cases) EXPECT_EQ(filled, expected);
}

}  // namespace
}  // namespace mapari::messages_tests
