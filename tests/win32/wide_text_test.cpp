// The one crossing between the program's UTF-8 and the UTF-16 of Windows: every
// character survives the round trip, and damaged input of either kind shows as
// replacement characters instead of failing.
#include <windows.h>

#include <gtest/gtest.h>

#include "frontend/win32/wide_text.h"

TEST(WideText, CharactersOfEveryLengthSurviveTheRoundTrip) {
    const std::string text = "a\u00e9\u4e66\xf0\x9f\x93\x9a";  // sequences of 1 to 4 bytes
    const std::wstring wide = utf8ToWide(text);
    EXPECT_EQ((std::wstring{L'a', 0xe9, 0x4e66, 0xd83d, 0xdcda}), wide);
    EXPECT_EQ(text, wideToUtf8(wide));
    EXPECT_EQ(text, wideToUtf8(wide.c_str()));
    // A counted string keeps an inner zero; a zero-terminated one ends there.
    EXPECT_EQ(std::string("a\0b", 3), wideToUtf8(L"a\0b", 3));
    EXPECT_EQ("a", wideToUtf8(L"a\0b"));
    EXPECT_EQ(std::wstring(L"a\0b", 3), utf8ToWide(std::string("a\0b", 3)));
    EXPECT_TRUE(utf8ToWide("").empty());
    EXPECT_TRUE(wideToUtf8(nullptr).empty());
}

TEST(WideText, DamageBecomesReplacementCharacters) {
    const wchar_t kReplacement = 0xfffd;
    // A Windows-1252 byte, a cut sequence, an overlong slash, an encoded surrogate.
    for (const std::string damaged : {"caf\xe9!", "caf\xe4\xb9", "caf\xc0\xaf!", "caf\xed\xa0\x80!"}) {
        const std::wstring wide = utf8ToWide(damaged);
        ASSERT_GE(wide.size(), 4u) << damaged;
        EXPECT_EQ(L"caf", wide.substr(0, 3)) << damaged;
        EXPECT_EQ(kReplacement, wide[3]) << damaged;
        EXPECT_EQ(std::wstring::npos, wide.find(L'/')) << damaged;
    }
    EXPECT_EQ("a\xef\xbf\xbd" "b", wideToUtf8(std::wstring{L'a', 0xd800, L'b'}));
    EXPECT_EQ("a\xef\xbf\xbd", wideToUtf8(std::wstring{L'a', 0xdc00}));
}
