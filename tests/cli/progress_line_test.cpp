// tests/cli/progress_line_test.cpp -- the progress line's layout: what it shows in which
// order, and that it never takes more columns than it is given nor passes a control
// character of a name on to the terminal.
#include <gtest/gtest.h>

#include "cli/progress_line.h"

namespace {

const std::string kBar45 = " [#########-----------]  45%";  // 45 of 20 cells is 9

TEST(ProgressLineLayout, StepCountAndPageBeforeTheBar) {
    EXPECT_EQ("Step 1 of 3: Parsing HTML page(s)... page 37 of 173 known site/a.htm" + kBar45,
              progressLine("", "Step 1 of 3: Parsing HTML page(s)...", "page 37 of 173 known",
                           "site/a.htm", 45, 100));
    EXPECT_EQ("[1/2] a.htm: page 2 of 9 known" + kBar45,
              progressLine("[1/2] a.htm: ", "", "page 2 of 9 known", "", 45, 100));
    EXPECT_EQ("Step 2 of 2: Compressing text..." + kBar45,
              progressLine("", "Step 2 of 2: Compressing text...", "", "", 45, 100));
}

// The step and the count are cut from their end; a name that does not fit keeps its own
// end, after "...", when four columns are left for it, and is left out otherwise.
TEST(ProgressLineLayout, CutByColumns) {
    struct Row { const char* page; int columns; const char* shown; };
    const Row rows[] = {
        {"site/a.htm", 36, "Step 1:"},            // 36 - 1 - 28 = 7 columns for the text
        {"site/a.htm", 40, "Step 1:"},            // three columns are too few for a name
        {"site/a.htm", 41, "Step 1: ...m"},
        {"site/a.htm", 46, "Step 1: .../a.htm"},
        {"site/a.htm", 47, "Step 1: site/a.htm"},
        {"\xE6\xBC\xA2\xE5\xAD\x97\xE6\xBC\xA2", 41, "Step 1: ..."},  // a wide one never half
        {"\xE6\xBC\xA2\xE5\xAD\x97\xE6\xBC\xA2", 42, "Step 1: ...\xE6\xBC\xA2"},
        {"\xC3\xA9t\xC3\xA9", 40, "Step 1: \xC3\xA9t\xC3\xA9"},  // é is one column, two bytes
        {"http://127.0.0.1:8000/docs/sub/page.html?x=1", 60, "Step 1: ...cs/sub/page.html?x=1"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.shown + kBar45, progressLine("", "Step 1:", "", row.page, 45, row.columns))
            << row.columns;
    EXPECT_EQ("Step 1 of 3: Parsing" + kBar45, progressLine("", "Step 1 of 3: Parsing HTML page(s)...", "", "", 45, 49));
    EXPECT_EQ("[#########-----------]", progressLine("", "Step 1:", "", "a", 45, 23))
        << "the bar alone, cut, when nothing else fits";
    EXPECT_EQ("", progressLine("", "Step 1:", "", "a", 45, 1));
}

TEST(ProgressLineLayout, ControlCharactersOfNamesAreShownAsQuestionMarks) {
    struct Row { const char* page; const char* shown; };
    const Row rows[] = {
        {"a\033[2Jb", "a?[2Jb"},
        {"a\rb\nc\x7F", "a?b?c?"},
        {"a\xC2\x9B" "2J", "a?2J"},   // U+009B, the one-byte CSI
        {"a\xFF\xC3", "a??"},         // no UTF-8: each byte alone
        {"\xF5\x80\x80\x80", "????"}, // beyond Unicode
    };
    for (const Row& row : rows)
        EXPECT_EQ(std::string(row.shown) + kBar45, progressLine("", "", "", row.page, 45, 100)) << row.shown;
}

}  // namespace
