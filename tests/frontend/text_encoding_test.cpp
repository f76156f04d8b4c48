// How a page's bytes name their encoding, read as browsers read them: labels, marks, the
// pre-scan of the first bytes and the XML declaration; the UTF-8 rule's sequences; and
// the conversions between the front ends' UTF-8 and the engine's Windows-1252.
#include <gtest/gtest.h>

#include "frontend/text_encoding.h"

namespace {

using E = TextEncoding;

std::optional<TextEncoding> prescan(const std::string& page) {
    return prescanEncoding(reinterpret_cast<const uint8_t*>(page.data()), page.size());
}

TEST(EncodingLabels, LabelsMatchAsBrowsersMatchThem) {
    struct Row { const char* label; std::optional<TextEncoding> encoding; };
    const Row rows[] = {
        {"latin1", E::Windows1252},        {"ISO-8859-1", E::Windows1252},
        {"us-ascii", E::Windows1252},      {" \t\nWindows-1252\f\r", E::Windows1252},
        {"ascii", E::Windows1252},         {"ansi_x3.4-1968", E::Windows1252},
        {"UTF8", E::Utf8},                 {"unicode-1-1-utf-8", E::Utf8},
        {"x-unicode20utf8", E::Utf8},      {"866", E::Ibm866},
        {"l2", E::Iso8859_2},              {"iso_8859-2:1987", E::Iso8859_2},
        {"cyrillic", E::Iso8859_5},        {"iso-8859-6-i", E::Iso8859_6},
        {"sun_eu_greek", E::Iso8859_7},    {"visual", E::Iso8859_8},
        {"logical", E::Iso8859_8I},        {"latin6", E::Iso8859_10},
        {"iso885913", E::Iso8859_13},      {"l9", E::Iso8859_15},
        {"koi", E::Koi8R},                 {"koi8-ru", E::Koi8U},
        {"x-mac-roman", E::Macintosh},     {"tis-620", E::Windows874},
        {"x-cp1250", E::Windows1250},      {"latin5", E::Windows1254},
        {"x-mac-ukrainian", E::XMacCyrillic}, {"gb2312", E::Gbk},
        {"chinese", E::Gbk},               {"GB18030", E::Gb18030},
        {"big5-hkscs", E::Big5},           {"x-euc-jp", E::EucJp},
        {"csiso2022jp", E::Iso2022Jp},     {"windows-31j", E::ShiftJis},
        {"SJIS", E::ShiftJis},             {"ks_c_5601-1987", E::EucKr},
        {"iso-2022-kr", E::Replacement},   {"hz-gb-2312", E::Replacement},
        {"unicodefffe", E::Utf16Be},       {"utf-16", E::Utf16Le},
        {"ucs-2", E::Utf16Le},             {"x-user-defined", E::XUserDefined},
        // Not labels of the standard.
        {"latin-1", std::nullopt},         {"utf-7", std::nullopt},
        {"utf 8", std::nullopt},           {"\vutf-8", std::nullopt},
        {"", std::nullopt},                {"utf-8x", std::nullopt},
        {"x", std::nullopt},               {"zzz", std::nullopt},
    };
    for (const Row& row : rows) EXPECT_EQ(row.encoding, encodingForLabel(row.label)) << row.label;
}

TEST(EncodingLabels, EveryNameIsItsOwnLabelAndTheHelpListsAllButReplacement) {
    for (int i = 0; i < static_cast<int>(E::Count); ++i) {
        const auto encoding = static_cast<TextEncoding>(i);
        if (encoding == E::Replacement) continue;  // a name, but no label of its own
        EXPECT_EQ(encoding, encodingForLabel(encodingName(encoding))) << encodingName(encoding);
    }
    const std::vector<const char*> names = acceptedEncodingNames();
    EXPECT_EQ(static_cast<size_t>(E::Count) - 1, names.size());
    for (const char* name : names) EXPECT_STRNE("replacement", name);
}

TEST(ByteOrderMarks, EachMarkAndItsLength) {
    struct Row { std::string bytes; std::optional<TextEncoding> encoding; int length; };
    const Row rows[] = {
        {"\xEF\xBB\xBF<p>", E::Utf8, 3},
        {std::string("\xFF\xFE<\0", 4), E::Utf16Le, 2},
        {std::string("\xFE\xFF\0<", 4), E::Utf16Be, 2},
        {"\xEF\xBB", std::nullopt, 0},   // cut short
        {"\xBB\xEF\xBF", std::nullopt, 0},
        {"<p>", std::nullopt, 0},
    };
    for (const Row& row : rows) {
        const auto mark = findByteOrderMark(reinterpret_cast<const uint8_t*>(row.bytes.data()), row.bytes.size());
        ASSERT_EQ(row.encoding.has_value(), mark.has_value()) << row.bytes;
        if (mark) {
            EXPECT_EQ(*row.encoding, mark->encoding);
            EXPECT_EQ(row.length, mark->length);
        }
    }
}

TEST(Prescan, MetaDeclarationsAreFoundAsBrowsersFindThem) {
    struct Row { const char* page; std::optional<TextEncoding> encoding; };
    const Row rows[] = {
        {"<meta charset=\"koi8-r\">", E::Koi8R},
        {"<META CHARSET=KOI8-R>", E::Koi8R},
        {"<meta charset='iso-8859-2'/><p>", E::Iso8859_2},
        {"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=ISO-8859-2\">",
         E::Iso8859_2},
        {"<meta content=\"text/html;charset = 'windows-1251'\" http-equiv=content-type>", E::Windows1251},
        // A content attribute without the pragma is no declaration.
        {"<meta content=\"text/html; charset=koi8-r\"><meta charset=big5>", E::Big5},
        {"<meta content=\"charset=koi8-r\" http-equiv=\"content-type\" charset=\"big5\">", E::Big5},
        // UTF-16 declared in an ASCII-readable page is UTF-8; x-user-defined is Windows-1252.
        {"<meta charset=utf-16>", E::Utf8},
        {"<meta charset=\"UTF-16BE\">", E::Utf8},
        {"<meta charset=x-user-defined>", E::Windows1252},
        // Comments, other tags and their attribute values, and <! <? </ constructs are skipped.
        {"<!-- <meta charset=koi8-r> --><meta charset=gbk>", E::Gbk},
        {"<!--><meta charset=gbk>", E::Gbk},
        {"<p title=\"<meta charset=koi8-r>\"><meta charset=euc-kr>", E::EucKr},
        {"<?php echo '<meta charset=koi8-r'?><meta charset=euc-jp>", E::EucJp},
        {"</p <meta charset=koi8-r>><meta charset=shift_jis>", E::ShiftJis},
        {"<!DOCTYPE html><meta charset=gb18030>", E::Gb18030},
        // An unknown label lets the scan go on; a second charset attribute is ignored.
        {"<meta charset=\"bogus\"><meta charset=\"macintosh\">", E::Macintosh},
        {"<meta charset=koi8-u charset=big5>", E::Koi8U},
        // Not a <meta> at all, or one the bytes end inside.
        {"<metacharset=koi8-r>", std::nullopt},
        {"<meta charset=koi8-r", std::nullopt},
        {"<!-- <meta charset=koi8-r>", std::nullopt},
        {"text with charset=koi8-r in it", std::nullopt},
        {"", std::nullopt},
    };
    for (const Row& row : rows) EXPECT_EQ(row.encoding, prescan(row.page)) << row.page;
}

TEST(Prescan, TheXmlDeclarationAtTheVeryStart) {
    struct Row { const char* page; std::optional<TextEncoding> encoding; };
    const Row rows[] = {
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-7\"?><html>", E::Iso8859_7},
        {"<?xml version='1.0' encoding = 'koi8-r' ?>", E::Koi8R},
        {"<?xml version=\"1.0\" encoding=\"UTF-16\"?>", E::Utf8},
        {"<?xml version=\"1.0\"?><meta charset=big5>", E::Big5},  // the meta decides first
        {"<?xml encoding=\"big5\"?><meta charset=gbk>", E::Gbk},
        {" <?xml version=\"1.0\" encoding=\"koi8-r\"?>", std::nullopt},
        {"<?xml version=\"1.0\"?> encoding=\"koi8-r\"", std::nullopt},
        {"<?xml encoding=koi8-r?>", std::nullopt},
        {"<?xml encoding=\" koi8-r\"?>", std::nullopt},
        {"<?XML encoding=\"koi8-r\"?>", std::nullopt},
    };
    for (const Row& row : rows) EXPECT_EQ(row.encoding, prescan(row.page)) << row.page;
    // "<?x" in UTF-16 at the start names that UTF-16.
    EXPECT_EQ(E::Utf16Le, prescan(std::string("<\0?\0x\0m\0l\0", 10)));
    EXPECT_EQ(E::Utf16Be, prescan(std::string("\0<\0?\0x\0m\0l", 10)));
}

TEST(Utf8Rule, WellFormedSequencesAndEveryKindOfIllFormedOne) {
    struct Row { std::string bytes; int length; uint32_t codePoint; };
    const Row rows[] = {
        {"A", 1, 0x41},
        {"\xC2\xA9", 2, 0xA9},
        {"\xDF\xBF", 2, 0x7FF},
        {"\xE2\x82\xAC", 3, 0x20AC},
        {"\xEF\xBF\xBF", 3, 0xFFFF},
        {"\xF0\x9F\x98\x80", 4, 0x1F600},
        {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
        {"\xC0\xAF", 0, 0},          // overlong "/"
        {"\xC1\xBF", 0, 0},          // overlong
        {"\xE0\x80\xAF", 0, 0},      // overlong
        {"\xE0\x9F\xBF", 0, 0},      // overlong
        {"\xF0\x80\x80\xAF", 0, 0},  // overlong
        {"\xF0\x8F\xBF\xBF", 0, 0},  // overlong
        {"\xED\xA0\x80", 0, 0},      // a surrogate
        {"\xED\xBF\xBF", 0, 0},      // a surrogate
        {"\xF4\x90\x80\x80", 0, 0},  // above U+10FFFF
        {"\xF5\x80\x80\x80", 0, 0},
        {"\xFF", 0, 0},
        {"\x80", 0, 0},              // a stray continuation byte
        {"\xE2\x82\x41", 0, 0},      // broken off by an ASCII byte
        {"\xC3\xC3\xA9", 0, 0},
        {"\xE2\x82", -1, 0},         // cut by the end of the bytes: more must decide
        {"\xF0\x9F\x98", -1, 0},
        {"\xF0", -1, 0},
    };
    for (const Row& row : rows) {
        uint32_t codePoint = 0;
        EXPECT_EQ(row.length, utf8Sequence(reinterpret_cast<const uint8_t*>(row.bytes.data()),
                                           row.bytes.size(), codePoint))
            << testing::PrintToString(row.bytes);
        if (row.length > 0) {
            EXPECT_EQ(row.codePoint, codePoint);
        }
    }
}

TEST(StringConversions, BetweenUtf8AndTheHandheldsCharacters) {
    EXPECT_EQ("Caf\xC3\xA9 \xE2\x80\x93 \xE2\x82\xAC \xC2\x81", windows1252ToUtf8("Caf\xE9 \x96 \x80 \x81"));
    // Windows-1252 characters become their bytes, the rest transliterations or "?", and
    // bytes of no UTF-8 sequence stay as they are.
    EXPECT_EQ("Caf\xE9 \x96 -> Zivago ? caf\xE9",
              utf8ToWindows1252("Caf\xC3\xA9 \xE2\x80\x93 \xE2\x86\x92 \xD0\x96ivago \xF0\x9F\x98\x80 caf\xE9"));
    EXPECT_EQ("ab", utf8ToWindows1252("a\xE2\x80\x8B" "b"));  // a zero-width space vanishes
    for (int byte = 0x20; byte < 0x100; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        EXPECT_EQ(one, utf8ToWindows1252(windows1252ToUtf8(one))) << byte;
    }
}

TEST(StringConversions, FirstCharactersNeverCutASequence) {
    EXPECT_EQ("Jos\xC3\xA9", firstCharacters("Jos\xC3\xA9 notes", 4));
    EXPECT_EQ("\xE4\xB9\xA6\xE4\xB9\xA6", firstCharacters("\xE4\xB9\xA6\xE4\xB9\xA6\xE4\xB9\xA6", 2));
    EXPECT_EQ("ab", firstCharacters("ab", 32));
    EXPECT_EQ("a\xE9", firstCharacters("a\xE9z", 2));  // a stray byte counts as one
}

}  // namespace
