// The vocabulary tables: a misspelt or misplaced name makes a binary search miss with
// no error, so every name is looked up in every letter case against their fixed ids,
// and every reference name exactly as written.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "html/html_tables.h"
#include "tests/support/generated_table.h"

namespace {

std::vector<std::string> words(const char* text) {
    std::istringstream in(text);
    std::vector<std::string> result;
    for (std::string word; in >> word;) result.push_back(word);
    return result;
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(foldAscii(static_cast<uint8_t>(c)));
    return text;
}

// Every other letter lower case: "BlOcKqUoTe".
std::string mixed(std::string text) {
    for (size_t i = 0; i < text.size(); i += 2)
        text[i] = static_cast<char>(foldAscii(static_cast<uint8_t>(text[i])));
    return text;
}

// In table order: the position is the id.
const char* const kTagNamesById =
    "A ADDRESS APPLET AREA ARTICLE ASIDE B BASE BASEFONT BIG BLINK BLOCKQUOTE BODY BR "
    "CAPTION CENTER CITE CODE DD DEL DETAILS DFN DIR DIV DL DT EM EMBED FIGCAPTION "
    "FIGURE FONT FOOTER FORM FRAME FRAMESET H1 H2 H3 H4 H5 H6 HEAD HEADER HGROUP HR HTML "
    "I ILAYER IMG INPUT INS ISINDEX KBD KEYGEN LAYER LI LINK MAIN MAP MARK MENU META "
    "MULTICOL NAV NOBR NOEMBED NOFRAMES NOLAYER NOSCRIPT OBJECT OL OPTION P PARAM "
    "PLAINTEXT PRE Q S SAMP SCRIPT SECTION SELECT SERVER SMALL SPACER SPAN STRIKE STRONG "
    "STYLE SUB SUMMARY SUP SVG TABLE TD TEMPLATE TEXTAREA TH TITLE TR TT U UL VAR WBR "
    "XMP";
const char* const kAttributeNamesById =
    "ALIGN ALT BORDER CELLPADDING CELLSPACING COLS COLSPAN COORDS FACE HEIGHT HREF "
    "HSPACE HTML ID NAME NOHREF NOSHADE NOWRAP ROLE ROWSPAN SHAPE SIZE SRC START TYPE "
    "USEMAP VALIGN VALUE VSPACE WEIGHT WIDTH WRAP";

}  // namespace

TEST(TagTable, EveryNameIsFoundInEveryLetterCaseAsStartAndEndTag) {
    const std::vector<std::string> names = words(kTagNamesById);
    ASSERT_EQ(106u, names.size());
    for (int id = 0; id < 106; ++id) {
        for (const std::string& form : {names[id], lower(names[id]), mixed(names[id])}) {
            int32_t isEnd = 7;
            EXPECT_EQ(id, lookupTag(form.c_str(), isEnd)) << form;
            EXPECT_EQ(0, isEnd) << form;
            EXPECT_EQ(id, lookupTag(("/" + form).c_str(), isEnd)) << "/" << form;
            EXPECT_EQ(1, isEnd) << "/" << form;
        }
    }
}

TEST(TagTable, EdgeCasesAndNearMisses) {
    struct Row { const char* name; int id; int isEnd; };
    const Row rows[] = {
        {"table", 93, 0}, {"Table", 93, 0}, {"TABLE", 93, 0}, {"/td", 94, 1},
        {"/", -1, 1}, {"!DOCTYPE", -1, 0}, {"!--", -1, 0}, {"", -1, 0},
        {"TABLES", -1, 0}, {"TABL", -1, 0}, {"H7", -1, 0}, {"@", -1, 0}, {"~", -1, 0},
        {"\xC1", -1, 0}, {"BLOCKQUOTEBLOCKQUOTE", -1, 0},
        // XHTML empty elements: one trailing slash is dropped before the search.
        {"br/", TagBr, 0}, {"HR/", TagHr, 0}, {"/p/", TagP, 1}, {"br//", -1, 0},
        {"svg/", TagSvg, 0}, {"FIGCAPTION", TagFigcaption, 0}, {"figcaptions", -1, 0},
        {"//", -1, 1}, {"br /", -1, 0},
    };
    for (const Row& row : rows) {
        int32_t isEnd = 7;
        EXPECT_EQ(row.id, lookupTag(row.name, isEnd)) << '"' << row.name << '"';
        EXPECT_EQ(row.isEnd, isEnd) << '"' << row.name << '"';
    }
}

TEST(AttributeTable, EveryNameIsFoundInEveryLetterCaseAndNothingElse) {
    const std::vector<std::string> names = words(kAttributeNamesById);
    ASSERT_EQ(32u, names.size());
    for (int id = 0; id < 32; ++id)
        for (const std::string& form : {names[id], lower(names[id]), mixed(names[id])})
            EXPECT_EQ(id, lookupAttribute(form.c_str())) << form;
    for (const char* miss : {"", "HREFS", "HRE", "AALIGN", "WRAPPED", "/HREF", "HREF/", "ZZZ"})
        EXPECT_EQ(-1, lookupAttribute(miss)) << miss;
    EXPECT_EQ(-1, lookupAttribute(nullptr));
}

TEST(ListType, SingleCharactersAreExactCaseWordsAreAnyCase) {
    struct Row { const char* value; int type; };
    const Row rows[] = {
        {"1", 7}, {"A", 3}, {"a", 4}, {"I", 5}, {"i", 6}, {"b", -1}, {"2", -1}, {" ", -1},
        {"disc", 0}, {"DISC", 0}, {"Circle", 1}, {"Square", 2}, {"1.", -1}, {"", -1},
        {"DISCS", -1}, {"SQUAREST", -1}, {"circl", -1}, {"disc ", -1},
    };
    for (const Row& row : rows) EXPECT_EQ(row.type, lookupListType(row.value)) << row.value;
    EXPECT_EQ(-1, lookupListType(nullptr));
}

TEST(NamedReferences, EveryNameIsFoundAndNothingElse) {
    ASSERT_EQ(2125, namedReferenceCount());
    for (int i = 0; i < namedReferenceCount(); ++i) {
        const NamedReference& entry = namedReferenceAt(i);
        const auto length = static_cast<int32_t>(std::strlen(entry.name));
        EXPECT_EQ(&entry, findNamedReference(entry.name, length)) << entry.name;
        // One letter short or one more never finds this entry.
        EXPECT_NE(&entry, findNamedReference(entry.name, length - 1)) << entry.name;
        const std::string longer = std::string(entry.name) + "x";
        EXPECT_NE(&entry, findNamedReference(longer.c_str(), length + 1)) << entry.name;
    }
    struct Row { const char* name; int32_t length; uint32_t codePoint; uint32_t second; };
    const Row rows[] = {
        {"AElig", 5, 0xC6, 0}, {"zwnj", 4, 0x200C, 0}, {"not", 3, 0xAC, 0},
        {"notin", 5, 0x2209, 0}, {"fjlig", 5, 0x66, 0x6A}, {"NotEqualTilde", 13, 0x2242, 0x338},
        {"CounterClockwiseContourIntegral", 31, 0x2233, 0}, {"notinx", 3, 0xAC, 0},
    };
    for (const Row& row : rows) {
        const NamedReference* found = findNamedReference(row.name, row.length);
        ASSERT_NE(nullptr, found) << row.name;
        EXPECT_EQ(row.codePoint, found->codePoint) << row.name;
        EXPECT_EQ(row.second, found->secondCodePoint) << row.name;
    }
    for (const char* miss : {"", "AMp", "amP", "notinx", "zz", "Aelig", "AEli", "0"})
        EXPECT_EQ(nullptr, findNamedReference(miss, static_cast<int32_t>(std::strlen(miss)))) << miss;
    EXPECT_EQ(nullptr, findNamedReference("CounterClockwiseContourIntegralX", 32));
}

TEST(NamedReferences, CheckedInTableIsWhatTheGeneratorMakes) {
    EXPECT_EQ("", generatedTableDiffers("make-named-references", "html/named_references.inc"));
}
