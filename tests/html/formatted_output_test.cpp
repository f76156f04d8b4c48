// The open-element stack: which entries the closing rules remove, and the style they
// add up to. Styles are compared field by field against hand-derived expectations.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "html/formatted_output.h"
#include "tests/support/counting_io.h"
#include "tests/support/memory_io.h"

namespace {

class Stack : public ::testing::Test {
protected:
    void SetUp() override {
        output = createFormattedOutput(io.ops());
        ASSERT_NE(nullptr, output);
    }
    void TearDown() override {
        destroyFormattedOutput(io.ops(), output);
        expectNothingHeld(io);
    }
    std::vector<int32_t> kinds() const {
        std::vector<int32_t> result;
        for (int i = 0; i < output->count; ++i) result.push_back(output->entries[i].kind);
        return result;
    }
    StyleRecord style() const {
        StyleRecord computed;
        computeStyle(*output, computed);
        return computed;
    }

    MemoryIo memory;
    CountingIo io{memory.ops()};
    FormattedOutput* output = nullptr;
};

using Kinds = std::vector<int32_t>;

}  // namespace

TEST(FormattedOutputLife, FailedAllocationGivesNoneAndHoldsNothing) {
    MemoryIo memory;
    CountingIo io(memory.ops());
    io.failAt(IoOp::Alloc, 1);
    EXPECT_EQ(nullptr, createFormattedOutput(io.ops()));
    expectNothingHeld(io);
}

TEST_F(Stack, EmptyStackGivesTheDefaultStyle) {
    const StyleRecord computed = style();
    const StyleRecord expected = defaultStyle();
    EXPECT_EQ(0, std::memcmp(&expected, &computed, sizeof computed));
    EXPECT_EQ(3, computed.fontSize);
    EXPECT_EQ(0, computed.alignment);
    EXPECT_EQ(0, computed.indent);
}

TEST_F(Stack, The257thPushFailsAndLeaves256Entries) {
    for (int i = 0; i < 256; ++i) ASSERT_TRUE(pushElement(*output, i % 2 ? ElementB : ElementI));
    EXPECT_FALSE(pushElement(*output, ElementU));
    EXPECT_FALSE(pushElementValue(*output, ElementP, 1));
    EXPECT_FALSE(pushFontElement(*output, ElementFont, 0, 5, 700));
    EXPECT_FALSE(pushListElement(*output, ElementOl, 3, 1));
    EXPECT_FALSE(beginDefinitionData(*output));
    EXPECT_FALSE(beginListItem(*output, -1, 0));
    EXPECT_EQ(256, output->count);
    EXPECT_EQ(ElementB, output->entries[255].kind);
    EXPECT_EQ(0, style().underline);
    // The lost U leaves nothing to pop; the next older entry of a kind is the one taken.
    EXPECT_FALSE(popElement(*output, ElementU));
    EXPECT_TRUE(popElement(*output, ElementI));
    EXPECT_EQ(255, output->count);
    EXPECT_EQ(ElementB, output->entries[253].kind);
    EXPECT_EQ(ElementB, output->entries[254].kind);
}

TEST_F(Stack, PopElementTakesTheTopmostOfItsKindAndKeepsTheOrderAbove) {
    pushElement(*output, ElementB);
    pushElement(*output, ElementI);
    pushElement(*output, ElementB);
    pushElement(*output, ElementU);
    EXPECT_TRUE(popElement(*output, ElementB));
    EXPECT_EQ((Kinds{ElementB, ElementI, ElementU}), kinds());
    EXPECT_FALSE(popElement(*output, ElementCode));
    EXPECT_FALSE(popBlockElement(*output));  // no heading or paragraph
    pushElementValue(*output, ElementH2, 1);
    pushElement(*output, ElementEm);
    pushElementValue(*output, ElementP, -1);
    pushElement(*output, ElementTt);
    EXPECT_TRUE(popBlockElement(*output));  // the P, though TT lies above it
    EXPECT_EQ((Kinds{ElementB, ElementI, ElementU, ElementH2, ElementEm, ElementTt}), kinds());
    EXPECT_TRUE(popBlockElement(*output));
    EXPECT_EQ((Kinds{ElementB, ElementI, ElementU, ElementEm, ElementTt}), kinds());
    resetElements(*output);
    EXPECT_FALSE(popElement(*output, ElementB));
    EXPECT_EQ(0, output->count);
}

TEST_F(Stack, ListItemsNumberFromStartValueAndWrapAt16Bits) {
    // OL START=5: items 5, then VALUE=10 gives 10, then 11.
    pushListElement(*output, ElementOl, -1, 5);
    EXPECT_FALSE(beginListItem(*output, -1, 0));
    StyleRecord s = style();
    EXPECT_EQ(1, s.listMarker);
    EXPECT_EQ(5, s.listNumber);
    EXPECT_EQ(ListDecimal, s.listType);
    EXPECT_EQ(2, s.indent);  // the list level and the item
    clearListItemMarker(*output);
    EXPECT_EQ(0, style().listMarker);
    EXPECT_FALSE(beginListItem(*output, 4, 10));  // re-arms the open LI, no second LI
    EXPECT_EQ((Kinds{ElementOl, ElementLi}), kinds());
    s = style();
    EXPECT_EQ(1, s.listMarker);
    EXPECT_EQ(10, s.listNumber);
    EXPECT_EQ(ListLowerAlpha, s.listType);
    EXPECT_FALSE(beginListItem(*output, 99, 0));  // unknown type falls back to decimal
    EXPECT_EQ(11, style().listNumber);
    EXPECT_EQ(ListDecimal, style().listType);
    // Only the low 16 bits of a number count; 65535 + 1 wraps to 0.
    EXPECT_FALSE(beginListItem(*output, -1, 0x1FFFF));
    EXPECT_EQ(-1, style().listNumber);
    EXPECT_FALSE(beginListItem(*output, -1, 0));
    EXPECT_EQ(0, style().listNumber);
    EXPECT_FALSE(beginListItem(*output, -1, 0x10000));  // low bits 0: counts on
    EXPECT_EQ(1, style().listNumber);
}

TEST_F(Stack, ListDefaultsAndUnorderedListsKeepTheirNumber) {
    pushListElement(*output, ElementOl, 2, 0);  // a bullet type on OL: decimal from 1
    EXPECT_EQ(ListDecimal, output->entries[0].value1);
    EXPECT_EQ(0, output->entries[0].value2);
    pushListElement(*output, ElementOl, 5, 0x10000);  // low 16 bits 0: from 1 as well
    EXPECT_EQ(0, output->entries[1].value2);
    pushListElement(*output, ElementUl, 5, 9);  // an OL type on UL: disc, no number
    EXPECT_EQ(ListDisc, output->entries[2].value1);
    EXPECT_EQ(0, output->entries[2].value2);
    EXPECT_FALSE(beginListItem(*output, ListSquare, 7));
    const StyleRecord s = style();
    EXPECT_EQ(ListSquare, s.listType);
    EXPECT_EQ(0, s.listNumber);
    EXPECT_EQ(4, s.indent);
    EXPECT_FALSE(beginListItem(*output, 4, 0));  // UL keeps only 0-2
    EXPECT_EQ(ListDisc, style().listType);
}

TEST_F(Stack, ItemsWithoutATypeKeepTheirListsStyle) {
    pushListElement(*output, ElementOl, ListLowerRoman, 3);  // <OL TYPE=i START=3>
    EXPECT_FALSE(beginListItem(*output, -1, 0));
    EXPECT_EQ(ListLowerRoman, style().listType);
    EXPECT_EQ(3, style().listNumber);
    EXPECT_FALSE(beginListItem(*output, -1, 0));
    EXPECT_EQ(ListLowerRoman, style().listType);
    EXPECT_EQ(4, style().listNumber);
    pushListElement(*output, ElementUl, ListCircle, 0);  // <UL TYPE=circle> inside it
    EXPECT_FALSE(beginListItem(*output, -1, 0));
    EXPECT_EQ(ListCircle, style().listType);
}

TEST_F(Stack, ListItemOutsideAnyListIsPushedAndReportsNoList) {
    EXPECT_TRUE(beginListItem(*output, 3, 4));
    EXPECT_EQ((Kinds{ElementLi}), kinds());
    EXPECT_EQ(1, style().listMarker);
    EXPECT_EQ(1, style().indent);
    EXPECT_TRUE(endListItem(*output));
    EXPECT_FALSE(endListItem(*output));
}

TEST_F(Stack, ListItemRulesStopAtTheNearestList) {
    pushListElement(*output, ElementUl, -1, 0);
    beginListItem(*output, -1, 0);
    pushListElement(*output, ElementOl, -1, 0);  // a nested list inside the item
    pushElement(*output, ElementB);
    // The outer item is not reached across the inner list.
    EXPECT_FALSE(endListItem(*output));
    clearListItemMarker(*output);
    EXPECT_EQ(1, output->entries[1].value1);
    EXPECT_FALSE(beginListItem(*output, -1, 0));  // pushes an item for the inner list
    EXPECT_EQ((Kinds{ElementUl, ElementLi, ElementOl, ElementB, ElementLi}), kinds());
    EXPECT_EQ(1, output->entries[2].value2);
    EXPECT_TRUE(endListItem(*output));
    // popList drops the LI entries it passes and the list, keeping other entries.
    beginListItem(*output, -1, 0);
    pushElement(*output, ElementI);
    EXPECT_TRUE(popList(*output));
    EXPECT_EQ((Kinds{ElementUl, ElementLi, ElementB, ElementI}), kinds());
    EXPECT_TRUE(popList(*output));
    EXPECT_EQ((Kinds{ElementB, ElementI}), kinds());
    beginListItem(*output, -1, 0);
    EXPECT_FALSE(popList(*output));  // no list: the LI met stays removed
    EXPECT_EQ((Kinds{ElementB, ElementI}), kinds());
    EXPECT_EQ(0, countListLevels(*output));
}

TEST_F(Stack, CountListLevelsCountsListsAndDefinitionLists) {
    for (int32_t kind : {ElementDir, ElementDl, ElementB, ElementMenu, ElementLi, ElementOl,
                         ElementDd, ElementUl, ElementBlockquote})
        pushElement(*output, kind);
    EXPECT_EQ(5, countListLevels(*output));
}

TEST_F(Stack, DefinitionDataOpensOncePerListAndClosesWithIt) {
    EXPECT_TRUE(beginDefinitionData(*output));  // no DL: pushed anyway
    EXPECT_TRUE(beginDefinitionData(*output));  // already open
    EXPECT_EQ((Kinds{ElementDd}), kinds());
    pushElement(*output, ElementDl);
    EXPECT_FALSE(endDefinitionData(*output));  // the DL comes first
    EXPECT_TRUE(beginDefinitionData(*output));  // the outer DD lies below the DL
    pushElement(*output, ElementB);
    EXPECT_TRUE(beginDefinitionData(*output));
    EXPECT_EQ((Kinds{ElementDd, ElementDl, ElementDd, ElementB}), kinds());
    EXPECT_EQ(2, style().indent);
    EXPECT_TRUE(endDefinitionData(*output));
    EXPECT_EQ((Kinds{ElementDd, ElementDl, ElementB}), kinds());
    beginDefinitionData(*output);
    EXPECT_TRUE(endDefinitionList(*output));
    EXPECT_EQ((Kinds{ElementDd, ElementB}), kinds());
    EXPECT_FALSE(endDefinitionList(*output));  // no DL: the DD met stays removed
    EXPECT_EQ((Kinds{ElementB}), kinds());
}

TEST_F(Stack, TableClosersDoNotReachAcrossAnInnerTableOrRow) {
    pushElementValue(*output, ElementTable, 0);
    pushElementValue(*output, ElementTr, -1);
    pushElementValue(*output, ElementTd, -1);
    pushElementValue(*output, ElementTable, 0);  // an inner table inside the cell
    pushElement(*output, ElementB);
    EXPECT_FALSE(popTableCell(*output));
    EXPECT_FALSE(popTableRow(*output));
    EXPECT_EQ(5, output->count);
    pushElementValue(*output, ElementTr, -1);
    pushElementValue(*output, ElementTh, 2);
    pushElement(*output, ElementI);
    EXPECT_TRUE(popTableCell(*output));  // the TH and the I
    EXPECT_EQ(6, output->count);
    EXPECT_FALSE(popTableCell(*output));  // the TR comes first
    EXPECT_TRUE(popTableRow(*output));
    EXPECT_EQ(5, output->count);
    EXPECT_TRUE(popTable(*output));  // the inner table and the B
    EXPECT_EQ((Kinds{ElementTable, ElementTr, ElementTd}), kinds());
    EXPECT_TRUE(popTableCell(*output));
    EXPECT_TRUE(popTableRow(*output));
    EXPECT_TRUE(popTable(*output));
    EXPECT_EQ(0, output->count);
    EXPECT_FALSE(popTable(*output));
    EXPECT_FALSE(popTableCell(*output));
    EXPECT_FALSE(popTableRow(*output));
    // A row opened inside a cell (no TABLE between) shields the cell as well.
    pushElementValue(*output, ElementTd, -1);
    pushElementValue(*output, ElementTr, -1);
    EXPECT_FALSE(popTableCell(*output));
    EXPECT_EQ(2, output->count);
}

TEST_F(Stack, FontSizesAreClampedAndHeadingsAssign) {
    // H2 inside FONT +2 inside BIG: 3 -> 4 -> 6 -> 6.
    pushElement(*output, ElementBig);
    pushFontElement(*output, ElementFont, 1, 2, 0);
    pushElementValue(*output, ElementH2, -1);
    StyleRecord s = style();
    EXPECT_EQ(6, s.fontSize);
    EXPECT_EQ(1, s.heading);
    resetElements(*output);
    for (int i = 0; i < 5; ++i) pushElement(*output, ElementSmall);
    EXPECT_EQ(1, style().fontSize);
    for (int i = 0; i < 9; ++i) pushElement(*output, ElementBig);
    EXPECT_EQ(7, style().fontSize);
    struct Row { int32_t relative, size, expected; };
    const Row rows[] = {{1, 9, 7}, {1, -9, 1}, {0, 0, 3}, {1, 0, 3}, {0, 5, 5}, {0, 12, 7},
                        {0, -4, 1}, {1, 2147483647, 7}, {1, -2147483647 - 1, 1}};
    for (const Row& row : rows) {
        for (int32_t kind : {ElementFont, ElementBasefont}) {
            resetElements(*output);
            pushFontElement(*output, kind, row.relative, row.size, 0);
            EXPECT_EQ(row.expected, style().fontSize) << row.relative << " " << row.size;
        }
    }
    resetElements(*output);
    pushElementValue(*output, ElementH6, 2);
    pushElement(*output, ElementBig);
    s = style();
    EXPECT_EQ(3, s.fontSize);  // H6 assigns 2, BIG adds one
    EXPECT_EQ(2, s.alignment);
}

TEST_F(Stack, FontWeightClassDecidesBold) {
    struct Row { int32_t weight, weightClass, bold; };
    const Row rows[] = {{0, -1, 1}, {99, -1, 1}, {100, 0, 0}, {199, 0, 0}, {200, 1, 1}, {700, 1, 1}};
    for (const Row& row : rows) {
        resetElements(*output);
        pushElement(*output, ElementB);
        pushFontElement(*output, ElementFont, 0, 0, row.weight);
        EXPECT_EQ(row.weightClass, output->entries[1].value3) << row.weight;
        EXPECT_EQ(row.bold, style().bold) << row.weight;  // -1 keeps the outer B
    }
    resetElements(*output);
    pushFontElement(*output, ElementBasefont, 0, 0, 700);
    EXPECT_EQ(0, style().bold);  // BASEFONT never sets bold
}

TEST_F(Stack, IndentStopsAtSevenAndFlagsAddUp) {
    for (int i = 0; i < 8; ++i) pushElement(*output, ElementBlockquote);
    EXPECT_EQ(7, style().indent);
    resetElements(*output);
    for (int32_t kind : {ElementCenter, ElementAddress, ElementStrong, ElementKbd, ElementS,
                         ElementSub, ElementSup, ElementBlink, ElementDl})
        pushElement(*output, kind);
    pushElement(*output, 28);
    pushElement(*output, 45);
    pushElement(*output, -3);
    StyleRecord expected = defaultStyle();
    expected.alignment = 1;
    expected.italic = 1;
    expected.bold = 1;
    expected.monospace = 1;
    expected.strike = 1;
    expected.subscript = 1;
    expected.superscript = 1;
    const StyleRecord s = style();
    EXPECT_EQ(0, std::memcmp(&expected, &s, sizeof s));
    resetElements(*output);
    pushElementValue(*output, ElementDiv, 2);
    pushElementValue(*output, ElementP, -1);  // not given: the DIV's alignment stays
    EXPECT_EQ(2, style().alignment);
    pushElementValue(*output, ElementTable, 0);
    EXPECT_EQ(0, style().alignment);
}

TEST_F(Stack, LinkUnderlineWinsOverPlainUnderlineInEitherOrder) {
    pushElement(*output, ElementU);
    pushElement(*output, ElementA);
    EXPECT_EQ(2, style().underline);
    resetElements(*output);
    pushElement(*output, ElementA);
    pushElement(*output, ElementU);
    EXPECT_EQ(2, style().underline);
    resetElements(*output);
    pushElement(*output, ElementU);
    EXPECT_EQ(1, style().underline);
    // A cell resets the style but not the link count: a U inside it stays plain.
    resetElements(*output);
    pushElement(*output, ElementA);
    pushElementValue(*output, ElementTd, -1);
    pushElement(*output, ElementU);
    EXPECT_EQ(0, style().underline);
}

TEST_F(Stack, TableCellsAndRowsResetTheStyle) {
    pushListElement(*output, ElementUl, -1, 0);
    beginListItem(*output, -1, 0);
    pushElement(*output, ElementB);
    pushElementValue(*output, ElementTd, -1);
    StyleRecord s = style();
    EXPECT_EQ(0, s.bold);
    EXPECT_EQ(0, s.indent);
    EXPECT_EQ(0, s.listMarker);
    pushElement(*output, ElementI);
    EXPECT_EQ(1, style().italic);
    resetElements(*output);
    pushElement(*output, ElementCenter);
    pushElement(*output, ElementI);
    pushElementValue(*output, ElementTh, -1);
    s = style();
    EXPECT_EQ(1, s.bold);
    EXPECT_EQ(0, s.italic);
    EXPECT_EQ(0, s.alignment);
    resetElements(*output);
    pushElement(*output, ElementB);
    pushElementValue(*output, ElementTr, 2);
    s = style();
    EXPECT_EQ(0, s.bold);
    EXPECT_EQ(2, s.alignment);
    pushElementValue(*output, ElementTd, 1);
    EXPECT_EQ(1, style().alignment);
}

TEST(StyleEquals, ListFieldsCountOnlyWhenBothCarryAMarker) {
    StyleRecord a = defaultStyle(), b = defaultStyle();
    b.listType = 5;
    b.listNumber = 9;
    EXPECT_TRUE(styleEquals(a, b));
    a.listMarker = 1;
    EXPECT_FALSE(styleEquals(a, b));  // the marker itself differs
    b.listMarker = 1;
    EXPECT_FALSE(styleEquals(a, b));
    a.listType = 5;
    EXPECT_FALSE(styleEquals(a, b));
    a.listNumber = 9;
    EXPECT_TRUE(styleEquals(a, b));
    int32_t StyleRecord::*const fields[] = {
        &StyleRecord::alignment, &StyleRecord::heading,   &StyleRecord::fontSize,
        &StyleRecord::monospace, &StyleRecord::bold,      &StyleRecord::underline,
        &StyleRecord::italic,    &StyleRecord::strike,    &StyleRecord::subscript,
        &StyleRecord::superscript, &StyleRecord::indent,
    };
    for (auto field : fields) {
        StyleRecord c = a;
        c.*field += 1;
        EXPECT_FALSE(styleEquals(a, c));
    }
}

TEST_F(Stack, UpdateStyleCopiesOnlyARealChange) {
    StyleRecord current = defaultStyle();
    EXPECT_FALSE(updateStyle(*output, current));
    pushElement(*output, ElementB);
    EXPECT_TRUE(updateStyle(*output, current));
    EXPECT_EQ(1, current.bold);
    EXPECT_FALSE(updateStyle(*output, current));
    // A new list number without a pending marker is no change.
    popElement(*output, ElementB);
    pushListElement(*output, ElementOl, -1, 0);
    EXPECT_TRUE(updateStyle(*output, current));
    output->entries[0].value2 = 4;
    EXPECT_FALSE(updateStyle(*output, current));
    EXPECT_EQ(0, current.listNumber);
}
