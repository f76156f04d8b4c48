// The vocabulary tables: a misspelt or misplaced name makes a binary search miss with
// no error, so every name is looked up in every letter case against their fixed ids.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "html/html_tables.h"

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
    "A ADDRESS APPLET AREA B BASE BASEFONT BIG BLINK BLOCKQUOTE BODY BR CAPTION CENTER "
    "CITE CODE DD DIR DIV DL DT EM EMBED FONT FORM FRAME FRAMESET H1 H2 H3 H4 H5 H6 HEAD "
    "HR HTML I ILAYER IMG INPUT ISINDEX KBD KEYGEN LAYER LI LINK MAP MENU META MULTICOL "
    "NOBR NOEMBED NOFRAMES NOLAYER NOSCRIPT OBJECT OL OPTION P PARAM PLAINTEXT PRE S "
    "SCRIPT SELECT SERVER SMALL SPACER SPAN STRIKE STRONG STYLE SUB SUP TABLE TD TEXTAREA "
    "TH TITLE TR TT U UL VAR WBR XMP";
const char* const kAttributeNamesById =
    "ALIGN ALT BORDER CELLPADDING CELLSPACING COLS COLSPAN COORDS FACE HEIGHT HREF HSPACE "
    "HTML NAME NOHREF NOSHADE NOWRAP ROWSPAN SHAPE SIZE SRC START TYPE USEMAP VALIGN "
    "VALUE VSPACE WEIGHT WIDTH WRAP";

}  // namespace

TEST(TagTable, EveryNameIsFoundInEveryLetterCaseAsStartAndEndTag) {
    const std::vector<std::string> names = words(kTagNamesById);
    ASSERT_EQ(86u, names.size());
    for (int id = 0; id < 86; ++id) {
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
        {"table", 74, 0}, {"Table", 74, 0}, {"TABLE", 74, 0}, {"/td", 75, 1},
        {"/", -1, 1}, {"!DOCTYPE", -1, 0}, {"!--", -1, 0}, {"", -1, 0},
        {"TABLES", -1, 0}, {"TABL", -1, 0}, {"H7", -1, 0}, {"@", -1, 0}, {"~", -1, 0},
        {"\xC1", -1, 0}, {"BLOCKQUOTEBLOCKQUOTE", -1, 0},
        // XHTML empty elements: one trailing slash is dropped before the search.
        {"br/", TagBr, 0}, {"HR/", TagHr, 0}, {"/p/", TagP, 1}, {"br//", -1, 0},
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
    ASSERT_EQ(30u, names.size());
    for (int id = 0; id < 30; ++id)
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

TEST(CodePointTable, HoldsExactlyTheNonLatin1EntitiesIncludingTheBullet) {
    struct Row { uint32_t codePoint; int byte; };
    const Row rows[] = {
        {338, 0x8C},  {339, 0x9C},  {352, 0x8A},  {353, 0x9A},  {376, 0x9F},  {710, 0x88},
        {732, 0x98},  {8211, 0x96}, {8212, 0x97}, {8216, 0x91}, {8217, 0x92}, {8218, 0x82},
        {8220, 0x93}, {8221, 0x94}, {8222, 0x84}, {8224, 0x86}, {8225, 0x87}, {8226, 0x95},
        {8230, 0x85}, {8240, 0x89}, {8249, 0x8B}, {8250, 0x9B}, {8482, 0x99}, {9824, 0x90},
        {9827, 0x8E}, {9829, 0x8F}, {9830, 0x8D},
    };
    for (const Row& row : rows) EXPECT_EQ(row.byte, lookupCodePoint(row.codePoint)) << row.codePoint;
    // The euro sign and the other Windows-1252 characters above 255 stay out.
    for (uint32_t missing : {0u, 255u, 256u, 337u, 402u, 381u, 382u, 8213u, 8364u, 9831u, 99999u})
        EXPECT_EQ(-1, lookupCodePoint(missing)) << missing;
}
