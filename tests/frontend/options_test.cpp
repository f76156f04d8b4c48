// The Options page's commit: its order decides which settings a refusal leaves changed,
// and an empty count under an active choice must stop the run with the right message.
#include <gtest/gtest.h>

#include "frontend/options.h"
#include "tests/frontend/fakes.h"

TEST(OptionsPage, ShowsTheSettingsAndCommitsThemBackUnchanged) {
    ConverterSettings settings;
    settings.maxDepth = 12;
    settings.tabConversion = TabsToLineBreaks;
    settings.convertSingleLB = true;
    const OptionsFields fields = optionsFieldsFrom(settings);
    EXPECT_EQ("12", fields.maxDepth);
    EXPECT_EQ("1", fields.slbToSpace);
    EXPECT_EQ("2", fields.tabToLB);
    EXPECT_EQ("8", fields.tabToSpace);
    ConverterSettings committed;
    RecordingSink messages;
    ASSERT_TRUE(commitOptions(fields, committed, messages));
    EXPECT_EQ(settings, committed);
}

TEST(OptionsPage, LinkDepthIsReadWholeAndEmptyIsZero) {
    ConverterSettings settings;
    RecordingSink messages;
    OptionsFields fields = optionsFieldsFrom(settings);
    fields.maxDepth = "";
    ASSERT_TRUE(commitOptions(fields, settings, messages));
    EXPECT_EQ(0, settings.maxDepth);
    fields.maxDepth = "1000";
    ASSERT_TRUE(commitOptions(fields, settings, messages));
    EXPECT_EQ(1000, settings.maxDepth);
    fields.maxDepth = "0042";
    ASSERT_TRUE(commitOptions(fields, settings, messages));
    EXPECT_EQ(42, settings.maxDepth);
    EXPECT_TRUE(messages.shown.empty());
}

TEST(OptionsPage, EmptyCountUnderItsChoiceRefusesWithItsMessage) {
    struct Row { bool singleLB; const char* slb; int32_t choice; const char* lb; const char* spaces; MessageId expected; };
    const Row rows[] = {
        {true, "", TabsKept, "2", "8", MsgSlbCountMissing},
        {false, "", TabsToLineBreaks, "", "8", MsgTabLbCountMissing},
        {false, "", TabsToSpaces, "2", "", MsgTabSpaceCountMissing},
        {true, "", TabsToSpaces, "2", "", MsgSlbCountMissing},  // the first refusal wins
    };
    for (const Row& row : rows) {
        ConverterSettings settings;
        RecordingSink messages;
        OptionsFields fields = optionsFieldsFrom(settings);
        fields.convertSingleLB = row.singleLB;
        fields.slbToSpace = row.slb;
        fields.tabChoice = row.choice;
        fields.tabToLB = row.lb;
        fields.tabToSpace = row.spaces;
        EXPECT_FALSE(commitOptions(fields, settings, messages));
        ASSERT_EQ(1u, messages.shown.size());
        EXPECT_EQ(row.expected, messages.shown[0].id);
        EXPECT_EQ(TabsKept, settings.tabConversion);  // the choice is stored last
    }
}

TEST(OptionsPage, ARefusalKeepsWhatEarlierStepsChanged) {
    ConverterSettings settings;
    RecordingSink messages;
    OptionsFields fields = optionsFieldsFrom(settings);
    fields.maxDepth = "7";
    fields.removeCR = false;
    fields.removeLF = true;
    fields.convertSingleLB = true;
    fields.slbToSpace = "3";
    fields.tabChoice = TabsToSpaces;
    fields.tabToSpace = "";
    EXPECT_FALSE(commitOptions(fields, settings, messages));
    EXPECT_EQ(7, settings.maxDepth);
    EXPECT_FALSE(settings.removeCR);
    EXPECT_TRUE(settings.removeLF);
    EXPECT_TRUE(settings.convertSingleLB);
    EXPECT_EQ(3, settings.slbToSpace);
    EXPECT_EQ(TabsKept, settings.tabConversion);

    // The single-line-break flag is set before its count is found missing.
    ConverterSettings second;
    fields = optionsFieldsFrom(second);
    fields.convertSingleLB = true;
    fields.slbToSpace = "";
    EXPECT_FALSE(commitOptions(fields, second, messages));
    EXPECT_TRUE(second.convertSingleLB);
    EXPECT_EQ(1, second.slbToSpace);
}

TEST(OptionsPage, OnlyTheChosenTabCountIsRead) {
    ConverterSettings settings;
    RecordingSink messages;
    OptionsFields fields = optionsFieldsFrom(settings);
    fields.tabChoice = TabsToSpaces;
    fields.tabToSpace = "4";
    fields.tabToLB = "9";
    ASSERT_TRUE(commitOptions(fields, settings, messages));
    EXPECT_EQ(4, settings.tabToSpace);
    EXPECT_EQ(2, settings.tabToLB);  // left as it was
    EXPECT_EQ(TabsToSpaces, settings.tabConversion);

    fields.tabChoice = TabsKept;  // no count needed
    fields.tabToLB = "";
    fields.tabToSpace = "";
    fields.convertSingleLB = false;
    fields.slbToSpace = "";
    ASSERT_TRUE(commitOptions(fields, settings, messages));
    EXPECT_EQ(TabsKept, settings.tabConversion);
    EXPECT_EQ(4, settings.tabToSpace);
    EXPECT_TRUE(messages.shown.empty());

    fields.tabChoice = 3;  // refused without a message
    EXPECT_FALSE(commitOptions(fields, settings, messages));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(TabsKept, settings.tabConversion);
}
