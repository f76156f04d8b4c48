// html/formatted_output.h -- the open-element stack of one page and the text style
// derived from it. Tag handlers push and remove entries as start and end tags arrive;
// before text is written they ask for the effective StyleRecord. The stack writes to no
// stream: recording style changes is the caller's business. It is one fixed record of
// 256 entries, allocated through IoOps once per conversion; no operation allocates.
#pragma once
#include <cstdint>

#include "engine/io_ops.h"
#include "html/style_record.h"

// What an entry stands for, named after the tag whose handler pushes it. The values
// are fixed; 28 is unassigned and kinds above 44 contribute nothing to the style.
enum ElementKind : int32_t {
    ElementA = 0,  // only an A with HREF: a link
    ElementAddress = 1,
    ElementB = 2,
    ElementBasefont = 3,
    ElementBig = 4,
    ElementBlink = 5,
    ElementBlockquote = 6,
    ElementCenter = 7,
    ElementCite = 8,
    ElementCode = 9,
    ElementDir = 10,
    ElementDiv = 11,
    ElementDd = 12,
    ElementDl = 13,
    ElementEm = 14,
    ElementFont = 15,
    ElementH1 = 16, ElementH2 = 17, ElementH3 = 18, ElementH4 = 19, ElementH5 = 20,
    ElementH6 = 21,
    ElementI = 22,
    ElementKbd = 23,
    ElementLi = 24,
    ElementMenu = 25,
    ElementOl = 26,
    ElementP = 27,
    ElementPre = 29,
    ElementS = 30,
    ElementSmall = 31,
    ElementStrike = 32,
    ElementStrong = 33,
    ElementSub = 34,
    ElementSup = 35,
    ElementTable = 36,
    ElementTd = 37,
    ElementTh = 38,
    ElementTr = 39,
    ElementTt = 40,
    ElementU = 41,
    ElementUl = 42,
    ElementVar = 43,
    ElementXmp = 44,
};

constexpr int kMaxElements = 256;

// Text alignment values (value1 of DIV, P, H1-H6, TABLE, TD, TH, TR entries).
constexpr int32_t kAlignLeft = 0, kAlignCenter = 1, kAlignRight = 2, kAlignNotGiven = -1;
// List numbering styles (value1 of a list entry): 0-2 for DIR, MENU and UL; 3-7 for OL.
enum ListType : int32_t {
    ListDisc = 0, ListCircle = 1, ListSquare = 2, ListUpperAlpha = 3, ListLowerAlpha = 4,
    ListUpperRoman = 5, ListLowerRoman = 6, ListDecimal = 7,
};

struct ElementEntry {
    int32_t kind;    // an ElementKind
    int32_t value1;  // alignment, list style, relative-size flag or list-item marker flag
    int32_t value2;  // font size, or the last list item's number (low 16 bits, wrapping)
    int32_t value3;  // font weight class: -1 none, 0 normal, 1 bold
};

struct FormattedOutput {
    int32_t count;  // entries in use; entry 0 is the outermost, count - 1 the top
    ElementEntry entries[kMaxElements];
};

// A new empty stack from allocBlock, or nullptr when that fails.
FormattedOutput* createFormattedOutput(const IoOps& io);
// Releases it with freeBlock; nullptr is ignored.
void destroyFormattedOutput(const IoOps& io, FormattedOutput* output);
// Empties the stack.
void resetElements(FormattedOutput& output);

// Pushes fail (false) when the stack is full (256 entries); a failed push changes
// nothing. Entries pushed by pushElement carry zero values.
bool pushElement(FormattedOutput& output, int32_t kind);
bool pushElementValue(FormattedOutput& output, int32_t kind, int32_t value);
// value1 = relative flag, value2 = size (0 = no change), value3 = the weight class: -1
// below 100, 0 from 100 to 199, 1 (bold) from 200.
bool pushFontElement(FormattedOutput& output, int32_t kind, int32_t relative, int32_t size,
                     int32_t weight);
// kind is DIR, MENU, OL or UL. OL keeps a type of 3-7 (else 7) and numbers from
// start - 1 (from 0 when the low 16 bits of start are 0); the others keep a type of
// 0-2 (else 0) and number from 0. Handlers pass -1 for no TYPE and 0 for no START.
bool pushListElement(FormattedOutput& output, int32_t kind, int32_t type, int32_t start);

// Removes the topmost entry of `kind`; the entries above move down one place. True
// if one was removed.
bool popElement(FormattedOutput& output, int32_t kind);
// From the top down removes every LI entry met, then the first list entry (DIR, MENU,
// OL, UL), returning true; false when there is none (the LI entries met stay removed).
bool popList(FormattedOutput& output);
// Arms the markers of the LI entries above the nearest list entry, or pushes an armed
// LI entry when there is none (false when the stack is full). Then updates the nearest list
// entry: an OL takes a type of 3-7 (else 7); DIR, MENU and UL take 0-2 (else 0); an OL's
// number becomes `value` when its low 16 bits are non-zero, else goes up by one. True
// only when there is no list entry at all.
bool beginListItem(FormattedOutput& output, int32_t type, int32_t value);
// Removes the topmost LI entry above the nearest list entry; false when a list entry
// (or the bottom) comes first.
bool endListItem(FormattedOutput& output);
// Disarms the marker of the topmost LI entry above the nearest list entry, if any.
void clearListItemMarker(FormattedOutput& output);
// From the top down removes every DD entry met, then the first DL entry, returning
// true; false when there is none (the DD entries met stay removed).
bool endDefinitionList(FormattedOutput& output);
// Pushes a DD entry unless one lies above the nearest DL entry; false when a
// push was needed and the stack is full.
bool beginDefinitionData(FormattedOutput& output);
// Removes the topmost DD entry above the nearest DL entry; false when a DL entry (or
// the bottom) comes first.
bool endDefinitionData(FormattedOutput& output);
// Removes the topmost TABLE entry and everything above it; false when there is none.
bool popTable(FormattedOutput& output);
// The topmost TABLE, TD, TH or TR entry decides: a TD or TH is removed with everything
// above it (true); a TABLE or TR, or none at all, changes nothing (false).
bool popTableCell(FormattedOutput& output);
// Removes the topmost TR entry with everything above it (true), unless a TABLE entry
// lies above it or there is none (false).
bool popTableRow(FormattedOutput& output);
// Removes the topmost H1-H6 or P entry wherever it lies; entries above move down.
// False when there is none.
bool popBlockElement(FormattedOutput& output);
// Entries of kind DIR, DL, MENU, OL or UL.
int countListLevels(const FormattedOutput& output);

// The effective style: the default style with each entry's contribution applied from
// the bottom to the top. One linear pass, no allocation.
void computeStyle(const FormattedOutput& output, StyleRecord& style);
// True when the styles agree in every field but listType and listNumber, which count
// only when both carry a pending list-item marker.
bool styleEquals(const StyleRecord& left, const StyleRecord& right);
// Computes the style; when it differs from `current` (styleEquals), copies it over
// `current` and returns true; else false.
bool updateStyle(const FormattedOutput& output, StyleRecord& current);
