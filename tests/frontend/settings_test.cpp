// Saved settings and the command line: a value that slips through loading unchecked, or
// a flag saved as something other than 0 or 1, changes every later conversion.
#include <gtest/gtest.h>

#include "frontend/memory_settings_store.h"
#include "frontend/settings.h"

using Binary = MemorySettingsStore::Binary;

TEST(LoadSettings, MissingOrUnreadableKeyGivesEveryDefault) {
    MemorySettingsStore store;
    const ConverterSettings loaded = loadSettings(store);
    EXPECT_EQ(LocationAutoInstall, loaded.destinationLocation);
    EXPECT_EQ("", loaded.destinationUserName);
    EXPECT_EQ("", loaded.destinationFolder);
    EXPECT_TRUE(loaded.removeCR);
    EXPECT_FALSE(loaded.removeLF);
    EXPECT_FALSE(loaded.convertCRtoLF);
    EXPECT_FALSE(loaded.convertSingleLB);
    EXPECT_EQ(1, loaded.slbToSpace);
    EXPECT_EQ(TabsKept, loaded.tabConversion);
    EXPECT_EQ(2, loaded.tabToLB);
    EXPECT_EQ(8, loaded.tabToSpace);
    EXPECT_EQ(1, loaded.maxDepth);
    EXPECT_EQ(0, loaded.browseFilterIndex);
    EXPECT_FALSE(loaded.followLinksOutside);

    store.put(kSettingsKeyPath, "MaxDepth", uint32_t{5});
    store.refuseReading(true);
    EXPECT_EQ(ConverterSettings(), loadSettings(store));
}

TEST(LoadSettings, NumbersOutsideTheirRangeKeepTheDefault) {
    struct Row { const char* name; uint32_t stored; int32_t ConverterSettings::*field; int32_t expected; };
    const Row rows[] = {
        {"DestinationLocation", 3, &ConverterSettings::destinationLocation, 0},
        {"DestinationLocation", 2, &ConverterSettings::destinationLocation, 2},
        {"TabToSpace", 10000, &ConverterSettings::tabToSpace, 8},
        {"TabToSpace", 9999, &ConverterSettings::tabToSpace, 9999},
        {"TabToLB", 0xFFFFFFFF, &ConverterSettings::tabToLB, 2},  // not read as -1
        {"SLBToSpace", 10000, &ConverterSettings::slbToSpace, 1},
        {"SLBToSpace", 0, &ConverterSettings::slbToSpace, 0},
        {"TabConversion", 3, &ConverterSettings::tabConversion, 0},
        {"MaxDepth", 10000, &ConverterSettings::maxDepth, 1},
        {"MaxDepth", 0, &ConverterSettings::maxDepth, 0},
        {"BrowseFilterIndex", 6, &ConverterSettings::browseFilterIndex, 0},
        {"BrowseFilterIndex", 5, &ConverterSettings::browseFilterIndex, 5},
    };
    for (const Row& row : rows) {
        MemorySettingsStore store;
        store.put(kSettingsKeyPath, row.name, row.stored);
        EXPECT_EQ(row.expected, loadSettings(store).*row.field) << row.name << " = " << row.stored;
    }
}

TEST(LoadSettings, ValuesOfTheWrongTypeKeepTheDefault) {
    MemorySettingsStore store;
    store.put(kSettingsKeyPath, "MaxDepth", std::string("5"));
    store.put(kSettingsKeyPath, "RemoveCR", Binary{0});
    store.put(kSettingsKeyPath, "DestinationFolder", uint32_t{7});
    store.put(kSettingsKeyPath, "DestinationUserName", Binary{'a', 0});
    EXPECT_EQ(ConverterSettings(), loadSettings(store));
}

TEST(LoadSettings, AnyNonzeroFlagIsOnAndStringsAreTakenAsStored) {
    MemorySettingsStore store;
    store.put(kSettingsKeyPath, "RemoveCR", uint32_t{0});
    store.put(kSettingsKeyPath, "RemoveLF", uint32_t{7});
    store.put(kSettingsKeyPath, "ConvertCRtoLF", uint32_t{0x80000000});
    store.put(kSettingsKeyPath, "ConvertSingleLB", uint32_t{1});
    store.put(kSettingsKeyPath, "FollowLinksOutside", uint32_t{2});
    store.put(kSettingsKeyPath, "KeepNavigation", uint32_t{0x100});
    store.put(kSettingsKeyPath, "DestinationUserName", std::string("Ann Lee"));
    store.put(kSettingsKeyPath, "DestinationFolder", std::string(" D:\\books\\ "));
    const ConverterSettings loaded = loadSettings(store);
    EXPECT_FALSE(loaded.removeCR);
    EXPECT_TRUE(loaded.removeLF);
    EXPECT_TRUE(loaded.convertCRtoLF);
    EXPECT_TRUE(loaded.convertSingleLB);
    EXPECT_TRUE(loaded.followLinksOutside);
    EXPECT_TRUE(loaded.keepNavigation);
    EXPECT_EQ("Ann Lee", loaded.destinationUserName);
    EXPECT_EQ(" D:\\books\\ ", loaded.destinationFolder);
}

TEST(SaveSettings, WritesEveryValueWithItsTypeAndFlagsAsZeroOrOne) {
    MemorySettingsStore store;
    ConverterSettings settings;
    settings.destinationLocation = LocationChosenFolder;
    settings.destinationFolder = "D:\\out";
    settings.destinationUserName = "Ann";
    settings.removeCR = false;
    settings.convertSingleLB = true;
    settings.slbToSpace = 3;
    settings.tabConversion = TabsToSpaces;
    settings.tabToSpace = 4;
    settings.maxDepth = 1000;
    settings.browseFilterIndex = 4;
    ASSERT_TRUE(saveSettings(store, settings));
    EXPECT_EQ(13u, store.valueCount(kSettingsKeyPath));
    EXPECT_EQ(MemorySettingsStore::Value(uint32_t{0}), *store.find(kSettingsKeyPath, "RemoveCR"));
    EXPECT_EQ(MemorySettingsStore::Value(uint32_t{1}), *store.find(kSettingsKeyPath, "ConvertSingleLB"));
    EXPECT_EQ(MemorySettingsStore::Value(std::string("D:\\out")),
              *store.find(kSettingsKeyPath, "DestinationFolder"));
    EXPECT_EQ(MemorySettingsStore::Value(uint32_t{1000}), *store.find(kSettingsKeyPath, "MaxDepth"));
    EXPECT_EQ(settings, loadSettings(store));  // what is saved is what comes back
}

// No page shows them: a value set by hand is neither added nor replaced by saving.
TEST(SaveSettings, KeepNavigationIsReadOnlyAndOffByDefault) {
    MemorySettingsStore store;
    EXPECT_FALSE(loadSettings(store).keepNavigation);
    store.put(kSettingsKeyPath, "KeepNavigation", std::string("1"));  // wrong type: default
    EXPECT_FALSE(loadSettings(store).keepNavigation);
    ConverterSettings settings;
    settings.keepNavigation = true;
    ASSERT_TRUE(saveSettings(store, settings));
    EXPECT_EQ(MemorySettingsStore::Value(std::string("1")), *store.find(kSettingsKeyPath, "KeepNavigation"));
    store.put(kSettingsKeyPath, "KeepNavigation", uint32_t{1});
    EXPECT_TRUE(loadSettings(store).keepNavigation);
}

TEST(SaveSettings, FollowLinksOutsideIsLeftAsItWasSet) {
    MemorySettingsStore store;
    ConverterSettings settings;
    settings.followLinksOutside = true;
    ASSERT_TRUE(saveSettings(store, settings));
    EXPECT_EQ(nullptr, store.find(kSettingsKeyPath, "FollowLinksOutside"));
    store.put(kSettingsKeyPath, "FollowLinksOutside", std::string("set by hand"));
    settings.followLinksOutside = false;
    ASSERT_TRUE(saveSettings(store, settings));
    EXPECT_EQ(MemorySettingsStore::Value(std::string("set by hand")),
              *store.find(kSettingsKeyPath, "FollowLinksOutside"));
    store.put(kSettingsKeyPath, "FollowLinksOutside", uint32_t{0});
    EXPECT_FALSE(loadSettings(store).followLinksOutside);
}

// MaxPages has no control either: loaded in 1..2^31-1, never written.
TEST(SaveSettings, MaxPagesIsLoadedInRangeAndNeverWritten) {
    MemorySettingsStore store;
    EXPECT_EQ(32000, loadSettings(store).maxPages);
    struct Row { uint32_t stored; int32_t loaded; };
    const Row rows[] = {{50000, 50000}, {1, 1}, {0x7FFFFFFF, 0x7FFFFFFF},
                        {0, 32000} /* no pages at all */, {0x80000000, 32000}};
    for (const Row& row : rows) {
        store.put(kSettingsKeyPath, "MaxPages", row.stored);
        EXPECT_EQ(row.loaded, loadSettings(store).maxPages) << row.stored;
    }
    store.put(kSettingsKeyPath, "MaxPages", uint32_t{777});
    ConverterSettings settings;
    settings.maxPages = 5;
    ASSERT_TRUE(saveSettings(store, settings));
    EXPECT_EQ(MemorySettingsStore::Value(uint32_t{777}), *store.find(kSettingsKeyPath, "MaxPages"));
}

// The web's settings have no control either: loaded in range, never written.
TEST(SaveSettings, TheWebsSettingsAreLoadedInRangeAndNeverWritten) {
    MemorySettingsStore store;
    const ConverterSettings defaults = loadSettings(store);
    EXPECT_FALSE(defaults.followHosts);
    EXPECT_EQ(500, defaults.webWaitMilliseconds);
    EXPECT_EQ(30, defaults.webTimeoutSeconds);
    store.put(kSettingsKeyPath, "FollowHosts", uint32_t{2});
    store.put(kSettingsKeyPath, "WebWait", uint32_t{0});
    store.put(kSettingsKeyPath, "WebTimeout", uint32_t{5});
    ConverterSettings loaded = loadSettings(store);
    EXPECT_TRUE(loaded.followHosts);
    EXPECT_EQ(0, loaded.webWaitMilliseconds);  // no wait at all is the user's to choose
    EXPECT_EQ(5, loaded.webTimeoutSeconds);
    store.put(kSettingsKeyPath, "WebWait", uint32_t{3600 * 1000 + 1});
    store.put(kSettingsKeyPath, "WebTimeout", uint32_t{0});  // no timeout would wait forever
    loaded = loadSettings(store);
    EXPECT_EQ(500, loaded.webWaitMilliseconds);
    EXPECT_EQ(30, loaded.webTimeoutSeconds);
    loaded.followHosts = false;
    loaded.webWaitMilliseconds = 7;
    ASSERT_TRUE(saveSettings(store, loaded));
    EXPECT_EQ(MemorySettingsStore::Value(uint32_t{2}), *store.find(kSettingsKeyPath, "FollowHosts"));
    EXPECT_EQ(MemorySettingsStore::Value(uint32_t{3600 * 1000 + 1}), *store.find(kSettingsKeyPath, "WebWait"));
}

TEST(SaveSettings, NothingIsWrittenWhenTheKeyCannotBeOpened) {
    MemorySettingsStore store;
    store.refuseOpeningForWriting(true);
    EXPECT_FALSE(saveSettings(store, ConverterSettings()));
    EXPECT_FALSE(store.hasKey(kSettingsKeyPath));
}

TEST(CommandLine, OptionLettersAreOneCaseSensitiveCharacterAfterDashOrSlash) {
    struct Row { std::vector<std::string> arguments; bool help, force, quiet; };
    const Row rows[] = {
        {{"-?"}, true, false, false},
        {{"/h"}, true, false, false},
        {{"-H"}, false, false, false},    // case-sensitive: opens the window
        {{"-Y", "/U"}, false, false, false},
        {{"-y", "-u"}, false, true, true},
        {{"/yes"}, false, true, false},   // only the first letter counts
        {{"-x", "-", "/"}, false, false, false},
    };
    for (const Row& row : rows) {
        const ConverterCommandLine line = parseCommandLine(row.arguments);
        EXPECT_EQ(row.help, line.showHelp) << row.arguments[0];
        EXPECT_EQ(row.force, line.forceOverwrite) << row.arguments[0];
        EXPECT_EQ(row.quiet, line.quiet) << row.arguments[0];
        EXPECT_FALSE(line.fileGiven) << row.arguments[0];
    }
}

TEST(CommandLine, FirstNameIsTheSourceAndLaterNamesAreIgnored) {
    const ConverterCommandLine line = parseCommandLine({"-y", "-u", "page.htm"});
    EXPECT_TRUE(line.fileGiven);
    EXPECT_EQ("page.htm", line.sourceFile);
    EXPECT_TRUE(line.forceOverwrite);
    EXPECT_TRUE(line.quiet);

    // A second name starting with an option letter must not act as that option.
    const ConverterCommandLine extra = parseCommandLine({"first.txt", "yes.txt", "help.txt", "u"});
    EXPECT_EQ("first.txt", extra.sourceFile);
    EXPECT_FALSE(extra.forceOverwrite);
    EXPECT_FALSE(extra.showHelp);
    EXPECT_FALSE(extra.quiet);

    const ConverterCommandLine none = parseCommandLine({});
    EXPECT_FALSE(none.fileGiven);
    EXPECT_EQ("", none.sourceFile);
}
