// The registry behind the settings and the desktop values: what the core reads must
// come through only with the right type, and what it writes must land with the type and
// bytes other readers of the registry expect.
#include <gtest/gtest.h>

#include "frontend/install.h"
#include "frontend/settings.h"
#include "frontend/win32/registry_store.h"
#include "tests/frontend/fakes.h"
#include "tests/win32/win32_fixtures.h"

using RegistryStore = ScratchRegistry;

TEST_F(RegistryStore, ValuesReadOnlyWithTheirOwnType) {
    const DWORD one = 1;
    const uint64_t wide = 5;
    putRaw("k", "binaryDword", REG_BINARY, &one, sizeof one);
    putRaw("k", "shortDword", REG_DWORD, &one, 2);
    putRaw("k", "qword", REG_QWORD, &wide, sizeof wide);
    putRaw("k", "expand", REG_EXPAND_SZ, "x", 2);
    putRaw("k", "multi", REG_MULTI_SZ, "x\0", 3);
    putRaw("k", "unterminated", REG_SZ, "abc", 3);
    putRaw("k", "empty", REG_SZ, "", 0);
    putDword("k", "dword", 4000000000u);
    putString("k", "text", "C:\\Program Files\\x");

    RegistrySettingsStore store(root_);
    const std::unique_ptr<SettingsKey> key = store.openForReading("k");
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->getDword("binaryDword"));
    EXPECT_FALSE(key->getDword("shortDword"));
    EXPECT_FALSE(key->getDword("qword"));
    EXPECT_FALSE(key->getDword("text"));
    EXPECT_FALSE(key->getDword("missing"));
    EXPECT_EQ(4000000000u, key->getDword("dword").value_or(0));
    EXPECT_FALSE(key->getString("expand"));
    EXPECT_FALSE(key->getString("multi"));
    EXPECT_FALSE(key->getString("dword"));
    EXPECT_EQ("abc", key->getString("unterminated").value_or("?"));
    EXPECT_EQ("", key->getString("empty").value_or("?"));
    EXPECT_EQ("C:\\Program Files\\x", key->getString("text").value_or("?"));
    EXPECT_FALSE(store.openForReading("no such key"));
}

TEST_F(RegistryStore, SettingsAreWrittenWithTheirTypesAndReadBack) {
    RegistrySettingsStore store(root_);
    ConverterSettings changed;
    changed.destinationLocation = LocationChosenFolder;
    changed.destinationUserName = "Ann Smith";
    changed.destinationFolder = "D:\\Books";
    changed.removeCR = false;
    changed.convertSingleLB = true;
    changed.slbToSpace = 9999;
    changed.tabConversion = TabsToSpaces;
    changed.maxDepth = 0;
    changed.browseFilterIndex = 4;
    ASSERT_TRUE(saveSettings(store, changed));
    EXPECT_EQ(changed, loadSettings(store));

    EXPECT_EQ(std::make_pair(DWORD{REG_DWORD}, std::string("\x02\0\0\0", 4)),
              getRaw(kSettingsKeyPath, "DestinationLocation"));
    EXPECT_EQ(std::make_pair(DWORD{REG_DWORD}, std::string("\0\0\0\0", 4)), getRaw(kSettingsKeyPath, "RemoveCR"));
    // Strings carry their terminating zero.
    EXPECT_EQ(std::make_pair(DWORD{REG_SZ}, std::string("Ann Smith\0", 10)),
              getRaw(kSettingsKeyPath, "DestinationUserName"));
}

TEST_F(RegistryStore, WrongTypesAndRangesKeepTheDefaults) {
    const DWORD bytes = 2;
    putString(kSettingsKeyPath, "DestinationLocation", "1");
    putRaw(kSettingsKeyPath, "MaxDepth", REG_BINARY, &bytes, sizeof bytes);
    putDword(kSettingsKeyPath, "TabToSpace", 10000);
    putDword(kSettingsKeyPath, "TabConversion", 3);
    putDword(kSettingsKeyPath, "BrowseFilterIndex", 0xFFFFFFFFu);
    putDword(kSettingsKeyPath, "DestinationFolder", 7);
    putRaw(kSettingsKeyPath, "RemoveCR", REG_SZ, "0", 2);
    RegistrySettingsStore store(root_);
    EXPECT_EQ(ConverterSettings(), loadSettings(store));
}

// KeepNavigation is read with the other settings, as a DWORD only, and never written.
TEST_F(RegistryStore, KeepNavigationIsAReadOnlyDword) {
    RegistrySettingsStore store(root_);
    EXPECT_FALSE(loadSettings(store).keepNavigation);
    putRaw(kSettingsKeyPath, "KeepNavigation", REG_SZ, "1", 2);
    EXPECT_FALSE(loadSettings(store).keepNavigation);
    putDword(kSettingsKeyPath, "KeepNavigation", 1);
    ConverterSettings loaded = loadSettings(store);
    EXPECT_TRUE(loaded.keepNavigation);
    loaded.keepNavigation = false;
    ASSERT_TRUE(saveSettings(store, loaded));
    EXPECT_EQ(std::make_pair(DWORD{REG_DWORD}, std::string("\x01\0\0\0", 4)),
              getRaw(kSettingsKeyPath, "KeepNavigation"));
}

TEST_F(RegistryStore, DesktopPathNeedsAStringOfFittingSize) {
    RegistrySettingsStore store(root_);
    EXPECT_EQ("", readDesktopPath(store));  // no key
    putString(kDesktopKeyPath, "Path", "C:\\Desk");
    EXPECT_EQ("C:\\Desk\\", readDesktopPath(store));
    putString(kDesktopKeyPath, "Path", "C:\\Desk\\");
    EXPECT_EQ("C:\\Desk\\", readDesktopPath(store));
    putDword(kDesktopKeyPath, "Path", 1);
    EXPECT_EQ("", readDesktopPath(store));
    putString(kDesktopKeyPath, "Path", std::string(259, 'a'));
    EXPECT_EQ("", readDesktopPath(store));
    putRaw(kDesktopKeyPath, "Path", REG_SZ, "", 0);
    EXPECT_EQ("", readDesktopPath(store));
}

TEST_F(RegistryStore, InstallationFlagIsADwordNamedAfterTheUser) {
    RegistrySettingsStore store(root_);
    RecordingSink messages;
    ASSERT_TRUE(registerInstallation(store, 4000000000u, messages));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(std::make_pair(DWORD{REG_DWORD}, std::string("\x01\0\0\0", 4)),
              getRaw(kInstallFlagKeyPath, "Install4000000000"));

    // A key that cannot be opened for writing (here: a root handle already closed) is
    // reported, not passed over.
    HKEY gone = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_ALL_ACCESS, &gone));
    RegCloseKey(gone);
    RegistrySettingsStore refusing(gone);
    EXPECT_FALSE(registerInstallation(refusing, 7, messages));
    EXPECT_EQ(std::vector<MessageId>{MsgInstallFailed}, messages.ids());
    EXPECT_EQ(REG_NONE, getRaw(kInstallFlagKeyPath, "Install7").first);
}

// Settings beyond ASCII (beyond any ANSI code page, and beyond the Basic Multilingual
// Plane) come back as they went in, stored in UTF-16 so every reader of the registry
// sees the same characters; key and value names may be such too.
TEST_F(RegistryStore, StringsBeyondAsciiAreStoredInUtf16AndReadBackInUtf8) {
    RegistrySettingsStore store(root_);
    ConverterSettings changed;
    changed.destinationFolder = "D:\\" + kLatinName + "\\" + kChineseName + " \xf0\x9f\x93\x9a";
    changed.destinationUserName = "Zo\u00eb";
    ASSERT_TRUE(saveSettings(store, changed));
    EXPECT_EQ(changed, loadSettings(store));
    EXPECT_EQ(std::make_pair(DWORD{REG_SZ}, std::string("Z\0o\0\xeb\0\0\0", 8)),
              getRawWide(kSettingsKeyPath, L"DestinationUserName"));

    const std::string keyPath = "k\\" + kChineseName;
    {
        const std::unique_ptr<SettingsKey> key = store.openForWriting(keyPath);
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->setString(kLatinName.c_str(), kChineseName));
    }
    const std::unique_ptr<SettingsKey> key = store.openForReading(keyPath);
    ASSERT_TRUE(key);
    EXPECT_EQ(kChineseName, key->getString(kLatinName.c_str()).value_or("?"));
}

// What older versions stored through the narrow calls, and data that does not fill its
// last UTF-16 unit, still read.
TEST_F(RegistryStore, NarrowAndOddSizedStringsStillRead) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root_, L"k", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"odd", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"ab"), 5));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"inner", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"a\0b"), 6));
    RegCloseKey(key);
    putString("k", "narrow", "C:\\Caf\xe9");  // the ANSI code page's bytes

    RegistrySettingsStore store(root_);
    const std::unique_ptr<SettingsKey> settings = store.openForReading("k");
    ASSERT_TRUE(settings);
    EXPECT_EQ("ab", settings->getString("odd").value_or("?"));
    EXPECT_EQ("a", settings->getString("inner").value_or("?"));
    if (GetACP() == 1252) {
        EXPECT_EQ("C:\\Caf\u00e9", settings->getString("narrow").value_or("?"));
    }
}
