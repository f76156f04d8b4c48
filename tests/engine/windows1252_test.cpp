// The handheld's character set: the code page's own characters come back as their
// bytes, the table agrees with ICU on the characters it holds, and the checked-in table
// is exactly what its generator makes.
#include "engine/windows1252.h"

#include <gtest/gtest.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <memory>
#include <string>

#include "tests/support/generated_table.h"

namespace {

std::string bytesOf(const HandheldText& text) { return std::string(text.bytes, text.length); }

TEST(Windows1252, EveryByteReadAsTheCodePageComesBackAsItself) {
    for (int byte = 0; byte < 256; ++byte) {
        const uint32_t codePoint = windows1252CodePoint(static_cast<uint8_t>(byte));
        EXPECT_EQ(windows1252Byte(codePoint), byte) << byte;
        const HandheldText text = handheldText(codePoint);
        EXPECT_EQ(text.form, HandheldForm::Byte);
        EXPECT_EQ(bytesOf(text), std::string(1, static_cast<char>(byte)));
    }
    // The upper half of the code page by name, as browsers read it.
    const uint32_t expected[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    for (int i = 0; i < 32; ++i) EXPECT_EQ(windows1252CodePoint(static_cast<uint8_t>(0x80 + i)), expected[i]);
    // The card suits of the handheld's font keep the bytes the HTML reader gives them.
    EXPECT_EQ(windows1252Byte(0x2666), 0x8D);
    EXPECT_EQ(windows1252Byte(0x2660), 0x90);
}

TEST(Windows1252, OtherCharactersAreTransliteratedRemovedOrReplaced) {
    struct Case {
        uint32_t codePoint;
        HandheldForm form;
        const char* bytes;
    };
    const Case cases[] = {
        {0x2192, HandheldForm::Transliterated, "->"},  {0x0151, HandheldForm::Transliterated, "o"},
        {0x0142, HandheldForm::Transliterated, "l"},   {0x0416, HandheldForm::Transliterated, "Z"},
        {0x4E2D, HandheldForm::Transliterated, "zhong"}, {0x2265, HandheldForm::Transliterated, ">="},
        {0x2264, HandheldForm::Transliterated, "<="},  {0x2260, HandheldForm::Transliterated, "!="},
        {0x2500, HandheldForm::Transliterated, "-"},   {0x2461, HandheldForm::Transliterated, "(2)"},
        {0x200B, HandheldForm::Removed, ""},           {0xFEFF, HandheldForm::Removed, ""},
        {0x0301, HandheldForm::Removed, ""},           {0xE000, HandheldForm::Replaced, "?"},
        {0xD800, HandheldForm::Replaced, "?"},         {0x1F600, HandheldForm::Replaced, "?"},
        {0x110000, HandheldForm::Replaced, "?"},       {0xFFFD, HandheldForm::Replaced, "?"},
    };
    for (const Case& c : cases) {
        const HandheldText text = handheldText(c.codePoint);
        EXPECT_EQ(text.form, c.form) << std::hex << c.codePoint;
        EXPECT_EQ(bytesOf(text), c.bytes) << std::hex << c.codePoint;
    }
}

// Every 97th character of the plane, so that every script's block is sampled.
TEST(Windows1252, TransliterationsAgreeWithIcu) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> icuLatin(icu::Transliterator::createInstance(
        "Any-Latin; Latin-ASCII", UTRANS_FORWARD, status));
    ASSERT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    int compared = 0;
    for (uint32_t codePoint = 0x100; codePoint < 0x10000; codePoint += 97) {
        const HandheldText text = handheldText(codePoint);
        if (text.form != HandheldForm::Transliterated) continue;
        icu::UnicodeString one(static_cast<UChar32>(codePoint));
        icuLatin->transliterate(one);
        std::string fromIcu;
        one.toUTF8String(fromIcu);
        bool printable = !fromIcu.empty() && fromIcu.size() <= kMaxTransliterationBytes;
        for (char c : fromIcu) printable = printable && c >= 0x20 && c <= 0x7E;
        // Where ICU gives nothing usable the table holds one of its written overrides.
        if (printable) {
            EXPECT_EQ(bytesOf(text), fromIcu) << std::hex << codePoint;
            ++compared;
        }
    }
    EXPECT_GT(compared, 300);
}

TEST(Windows1252, Utf8BytesAtEveryLengthBoundary) {
    const struct {
        uint32_t codePoint;
        const char* bytes;
    } cases[] = {{0x41, "A"},          {0x7F, "\x7F"},         {0x80, "\xC2\x80"},
                 {0xE9, "\xC3\xA9"},    {0x7FF, "\xDF\xBF"},    {0x800, "\xE0\xA0\x80"},
                 {0x20AC, "\xE2\x82\xAC"}, {0xFFFF, "\xEF\xBF\xBF"}, {0x10000, "\xF0\x90\x80\x80"},
                 {0x1F600, "\xF0\x9F\x98\x80"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"}};
    for (const auto& c : cases) {
        char out[4];
        EXPECT_EQ(std::string(c.bytes), std::string(out, static_cast<size_t>(utf8Bytes(c.codePoint, out))))
            << std::hex << c.codePoint;
    }
}

TEST(Windows1252, CheckedInTableIsWhatTheGeneratorMakes) {
    EXPECT_EQ("", generatedTableDiffers("make-transliterations", "engine/transliterations.inc"));
}

}  // namespace
