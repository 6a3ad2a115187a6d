// The Language menu, which remembers the dialogue's language for the next
// start and leaves the running session's alone; the reader of .po catalogues;
// and the user guide, whose table of prompts is the program's own catalogue.
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextTable>
#include <fstream>
#include <sstream>

#include "desktop/language_choice.hpp"
#include "desktop/po_catalogue.hpp"
#include "desktop/user_guide.hpp"
#include "support/desktop_fixture.hpp"

namespace mapari::desktop_tests {

using namespace test_support;
namespace {

const std::string known_prompt = "表示する誘導はこれでいいですか？ y or n  (1/0)";

struct CatalogueCase {
    const char* what;
    std::string text;
    std::vector<qt::CatalogueEntry> entries;  // when read
    std::string error;                        // when refused
};

std::string describe(const std::vector<qt::CatalogueEntry>& entries) {
    std::string text;
    for (const qt::CatalogueEntry& entry : entries)
        text += "[" + entry.original + "|" + entry.translation + (entry.fuzzy ? "|fuzzy]" : "]");
    return text;
}

TEST(PoCatalogue, ReadsEntriesAndRefusesWhatIsNotACatalogue) {
    const std::string header = "msgid \"\"\nmsgstr \"\"\n\"Language: en\\n\"\n\n";
    const CatalogueCase cases[] = {
        {"header left out",
         header + "msgid \"終了\"\nmsgstr \"end\"\n",
         {{"終了", "end", false}},
         ""},
        {"continued strings and escapes",
         "msgid \"\"\n\"a \\\"b\\\" \"\n\"c\\\\d\\n\"\nmsgstr \"x\"\n\"y\\tz\"\n",
         {{"a \"b\" c\\d\n", "xy\tz", false}},
         ""},
        {"flags, comments, obsolete and plural entries",
         header + "# note\n#, fuzzy, c-format\nmsgid \"a\"\nmsgstr \"A\"\n\n#~ msgid \"old\"\n"
                  "#~ msgstr \"OLD\"\nmsgctxt \"menu\"\nmsgid \"b\"\nmsgid_plural \"bs\"\n"
                  "msgstr[0] \"B\"\nmsgstr[1] \"Bs\"\n",
         {{"a", "A", true}, {"b", "B", false}},
         ""},
        {"untranslated", "msgid \"c\"\nmsgstr \"\"\n", {{"c", "", false}}, ""},
        {"unknown escape",
         header + "msgid \"a\\q\"\nmsgstr \"\"\n",
         {},
         "line 5: unknown escape \\q"},
        {"no closing quote", "msgid \"a\nmsgstr \"\"\n", {}, "line 1: a string in double quotes"},
        {"quote left bare", "msgid \"a\"b\"\nmsgstr \"\"\n", {}, "line 1: a double quote inside"},
        {"msgstr first", "msgstr \"a\"\n", {}, "line 1: a msgid_plural or msgstr without a msgid"},
        {"string alone", "\"a\"\n", {}, "line 1: a string outside an entry"},
        {"two msgids", "msgid \"a\"\nmsgid \"b\"\nmsgstr \"\"\n", {}, "line 2: a new entry begins"},
        {"two msgstrs", "msgid \"a\"\nmsgstr \"b\"\nmsgstr \"c\"\n", {}, "line 3: a second msgstr"},
        {"no msgstr at the end", "msgid \"a\"\n", {}, "the last entry has no msgstr"},
        {"other text", "msgid \"a\"\nmsgstr \"\"\nhello\n", {}, "line 3: neither a keyword"},
    };
    for (const CatalogueCase& test : cases) {
        std::vector<qt::CatalogueEntry> entries;
        std::string error;
        const bool read = qt::read_po_catalogue(test.text, entries, error);
        EXPECT_EQ(read, test.error.empty()) << test.what << ": " << error;
        if (read)
            EXPECT_EQ(describe(entries), describe(test.entries)) << test.what;
        else
            EXPECT_TRUE(error.starts_with(test.error)) << test.what << ": " << error;
    }
    EXPECT_EQ(qt::shown_text({"a", "A", false}), "A");
    EXPECT_EQ(qt::shown_text({"a", "A", true}), "a");  // a fuzzy entry is not compiled
    EXPECT_EQ(qt::shown_text({"a", "", false}), "a");
}

QAction* action_named(QMenuBar* bar, const QString& menu, const QString& action) {
    for (QAction* title : bar->actions()) {
        if (title->text() != menu) continue;
        for (QAction* item : title->menu()->actions())
            if (item->text() == action) return item;
    }
    return nullptr;
}

class LanguageMenuTest : public DesktopTest {
  protected:
    void start_in(Language language) {
        qt::DesktopOptions options;
        options.language = language;
        start([](Runtime& runtime) { runtime.read_line(Channel::text); }, options);
    }
    QAction* choice(const char* label) {
        return action_named(frame().menuBar(), "&Language", QString::fromUtf8(label));
    }
};

TEST_F(LanguageMenuTest, ChoiceIsRememberedForTheNextStartAndSaidInItsLanguage) {
    start_in(Language::english);
    ASSERT_NE(choice("English"), nullptr);
    ASSERT_NE(choice("日本語"), nullptr);
    EXPECT_TRUE(choice("English")->isChecked());
    const std::string before = message(known_prompt.c_str());

    choice("日本語")->trigger();
    EXPECT_EQ(QSettings().value("language").toString(), "ja");
    EXPECT_EQ(frame().statusBar()->currentMessage(),
              "次に mapari を起動したときから、対話は日本語になります。");
    EXPECT_TRUE(choice("日本語")->isChecked());
    EXPECT_FALSE(choice("English")->isChecked());

    choice("English")->trigger();
    EXPECT_EQ(QSettings().value("language").toString(), "en");
    EXPECT_EQ(frame().statusBar()->currentMessage(),
              "The dialogue will be in English from the next start of mapari.");
    std::string problem;
    EXPECT_EQ(qt::remembered_language(problem), Language::english);

    // The running session keeps its language: its lines are not mixed.
    EXPECT_EQ(frame().session_language(), Language::english);
    EXPECT_EQ(message(known_prompt.c_str()), before);

    QSettings().setValue("language", "fr");
    EXPECT_EQ(qt::remembered_language(problem), std::nullopt);
    EXPECT_NE(problem.find("\"fr\" is neither ja nor en"), std::string::npos) << problem;
}

// The English of the known prompt and the number of entries, read from
// po/en.po line by line, apart from the program's reader.
struct EnglishCatalogue {
    int entries = -1;  // less the header
    std::string known_prompt_english;
};

EnglishCatalogue read_english_catalogue() {
    EnglishCatalogue catalogue;
    std::ifstream in(MAPARI_ENGLISH_CATALOGUE);
    const std::string known_line = "msgid \"" + known_prompt + "\"";
    bool after_known = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("msgid \"")) ++catalogue.entries;
        if (after_known && line.starts_with("msgstr \"") && line.ends_with("\""))
            catalogue.known_prompt_english = line.substr(8, line.size() - 9);
        after_known = line == known_line;
    }
    return catalogue;
}

QString cell_text(QTextTable* table, int row, int column) {
    QTextCursor cursor = table->cellAt(row, column).firstCursorPosition();
    cursor.setPosition(table->cellAt(row, column).lastCursorPosition().position(),
                       QTextCursor::KeepAnchor);
    return cursor.selectedText();
}

QTextTable* last_table(QTextDocument* document) {
    QTextTable* table = nullptr;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        if (auto* in = qobject_cast<QTextTable*>(QTextCursor(block).currentFrame())) table = in;
    return table;
}

// Every picture the guide shows, and whether it was found.
std::vector<std::pair<QString, bool>> pictures_of(QTextDocument* document) {
    std::vector<std::pair<QString, bool>> pictures;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextCharFormat format = fragment.fragment().charFormat();
            if (!format.isImageFormat()) continue;
            const QString name = format.toImageFormat().name();
            const QVariant data = document->resource(QTextDocument::ImageResource, QUrl(name));
            const QImage image = data.canConvert<QImage>() ? qvariant_cast<QImage>(data)
                                                           : QImage::fromData(data.toByteArray());
            pictures.emplace_back(name, !image.isNull());
        }
    }
    return pictures;
}

TEST_F(LanguageMenuTest, UserGuideEndsWithTheCatalogueBesideItsJapanese) {
    const EnglishCatalogue catalogue = read_english_catalogue();
    ASSERT_GT(catalogue.entries, 0) << "cannot read " << MAPARI_ENGLISH_CATALOGUE;
    ASSERT_FALSE(catalogue.known_prompt_english.empty())
        << "po/en.po has no one-line English for " << known_prompt;
    for (Language language : {Language::english, Language::japanese}) {
        start_in(language);
        action_named(frame().menuBar(), "&Help", "&User Guide")->trigger();
        ASSERT_NE(frame().user_guide(), nullptr);
        QTextDocument* guide = frame().user_guide()->document();
        EXPECT_EQ(frame().user_guide()->parentWidget()->windowTitle(),
                  language == Language::english ? "User Guide" : "ユーザーガイド");
        QTextTable* table = last_table(guide);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->rows(), catalogue.entries + 1);  // and the heading
        int known_row = 0;
        for (int row = 1; row < table->rows() && known_row == 0; ++row)
            if (cell_text(table, row, 0).toStdString() == known_prompt) known_row = row;
        ASSERT_NE(known_row, 0) << "the guide's table has no row for " << known_prompt;
        EXPECT_EQ(cell_text(table, known_row, 1).toStdString(), catalogue.known_prompt_english);
        const auto pictures = pictures_of(guide);
        EXPECT_EQ(pictures.size(), 2u);
        for (const auto& [name, found] : pictures) EXPECT_TRUE(found) << name.toStdString();
        session_.reset();
    }
}

TEST(UserGuide, SaysWhyWhenTheCatalogueCannotBeRead) {
    EXPECT_TRUE(qt::user_guide_html(Language::english, std::string("msgid \"a"))
                    .contains("the program's catalogue cannot be read (line 1: a string in "
                              "double quotes is expected)"));
    EXPECT_TRUE(qt::user_guide_html(Language::japanese, std::nullopt)
                    .contains("カタログが読めません（it is not built into the program）"));
}

}  // namespace
}  // namespace mapari::desktop_tests
