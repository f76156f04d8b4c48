// html/formatted_output.cpp -- see formatted_output.h. Every search runs from the top
// (count - 1) down to entry 0.
#include "html/formatted_output.h"

#include <cstring>

namespace {

constexpr int32_t kMaxFontSize = 7;
constexpr int32_t kMinFontSize = 1;
constexpr int32_t kMaxIndent = 7;

bool isListKind(int32_t kind) {
    return kind == ElementDir || kind == ElementMenu || kind == ElementOl || kind == ElementUl;
}

bool isHeadingKind(int32_t kind) { return kind >= ElementH1 && kind <= ElementH6; }

// Removes entry `index`; the entries above it move down one place.
void removeAt(FormattedOutput& output, int index) {
    std::memmove(&output.entries[index], &output.entries[index + 1],
                 sizeof(ElementEntry) * static_cast<size_t>(output.count - index - 1));
    --output.count;
}

bool push(FormattedOutput& output, int32_t kind, int32_t value1, int32_t value2,
          int32_t value3) {
    if (output.count < 0 || output.count >= kMaxElements) return false;
    output.entries[output.count] = ElementEntry{kind, value1, value2, value3};
    ++output.count;
    return true;
}

// Index of the topmost list entry, or -1.
int nearestList(const FormattedOutput& output) {
    for (int i = output.count - 1; i >= 0; --i)
        if (isListKind(output.entries[i].kind)) return i;
    return -1;
}

// Index of the topmost entry of `kind` above the topmost entry of `barrier`, or -1.
int topmostAbove(const FormattedOutput& output, int32_t kind, bool (*barrier)(int32_t)) {
    for (int i = output.count - 1; i >= 0; --i) {
        if (output.entries[i].kind == kind) return i;
        if (barrier(output.entries[i].kind)) return -1;
    }
    return -1;
}

bool isDlKind(int32_t kind) { return kind == ElementDl; }

int32_t olType(int32_t type) { return type >= ListUpperAlpha && type <= ListDecimal ? type : ListDecimal; }
int32_t bulletType(int32_t type) { return type >= ListDisc && type <= ListSquare ? type : ListDisc; }

// Only the low 16 bits of a list number are kept; the count wraps there.
int32_t nextListNumber(int32_t number) {
    return static_cast<int32_t>(static_cast<uint16_t>(static_cast<uint32_t>(number) + 1u));
}

int32_t clampFontSize(int64_t size) {
    if (size < kMinFontSize) return kMinFontSize;
    if (size > kMaxFontSize) return kMaxFontSize;
    return static_cast<int32_t>(size);
}

// BASEFONT and FONT: a size of 0 leaves the size alone; a relative size adjusts it.
// Wide arithmetic, since the size comes straight from the page.
void applyFontSize(const ElementEntry& entry, StyleRecord& style) {
    if (entry.value2 == 0) return;
    const int64_t size = entry.value1 != 0 ? int64_t{style.fontSize} + entry.value2
                                           : int64_t{entry.value2};
    style.fontSize = clampFontSize(size);
}

void indentOnce(StyleRecord& style) {
    if (style.indent < kMaxIndent) ++style.indent;
}

void alignIfGiven(StyleRecord& style, int32_t alignment) {
    if (alignment != kAlignNotGiven) style.alignment = alignment;
}

}  // namespace

FormattedOutput* createFormattedOutput(const IoOps& io) {
    auto* output = static_cast<FormattedOutput*>(
        io.allocBlock(io.userData, static_cast<int32_t>(sizeof(FormattedOutput))));
    if (output != nullptr) std::memset(output, 0, sizeof(FormattedOutput));
    return output;
}

void destroyFormattedOutput(const IoOps& io, FormattedOutput* output) {
    if (output != nullptr) io.freeBlock(io.userData, output);
}

void resetElements(FormattedOutput& output) { output.count = 0; }

bool pushElement(FormattedOutput& output, int32_t kind) { return push(output, kind, 0, 0, 0); }

bool pushElementValue(FormattedOutput& output, int32_t kind, int32_t value) {
    return push(output, kind, value, 0, 0);
}

bool pushFontElement(FormattedOutput& output, int32_t kind, int32_t relative, int32_t size,
                     int32_t weight) {
    const int32_t weightClass = weight < 100 ? -1 : (weight < 200 ? 0 : 1);
    return push(output, kind, relative, size, weightClass);
}

bool pushListElement(FormattedOutput& output, int32_t kind, int32_t type, int32_t start) {
    if (kind == ElementOl) {
        const int32_t number =
            (start & 0xFFFF) != 0 ? static_cast<int32_t>(static_cast<uint32_t>(start) - 1u) : 0;
        return push(output, kind, olType(type), number, 0);
    }
    return push(output, kind, bulletType(type), 0, 0);
}

bool popElement(FormattedOutput& output, int32_t kind) {
    for (int i = output.count - 1; i >= 0; --i) {
        if (output.entries[i].kind == kind) {
            removeAt(output, i);
            return true;
        }
    }
    return false;
}

bool popList(FormattedOutput& output) {
    for (int i = output.count - 1; i >= 0; --i) {
        const int32_t kind = output.entries[i].kind;
        if (kind == ElementLi) {
            removeAt(output, i);
        } else if (isListKind(kind)) {
            removeAt(output, i);
            return true;
        }
    }
    return false;
}

bool beginListItem(FormattedOutput& output, int32_t type, int32_t value) {
    bool armed = false;
    for (int i = output.count - 1; i >= 0 && !isListKind(output.entries[i].kind); --i) {
        if (output.entries[i].kind == ElementLi) {
            output.entries[i].value1 = 1;
            armed = true;
        }
    }
    if (!armed && !push(output, ElementLi, 1, 0, 0)) return false;
    const int list = nearestList(output);
    if (list < 0) return true;
    ElementEntry& entry = output.entries[list];
    // An item without a TYPE of its own keeps its list's style: resetting it would turn
    // every <OL TYPE=a> back into numbers at its first item. A TYPE of the other family
    // still falls back to the list's default.
    if (entry.kind == ElementOl) {
        if (type != -1) entry.value1 = olType(type);
        entry.value2 = (value & 0xFFFF) != 0 ? value : nextListNumber(entry.value2);
    } else if (type != -1) {
        entry.value1 = bulletType(type);
    }
    return false;
}

bool endListItem(FormattedOutput& output) {
    const int item = topmostAbove(output, ElementLi, isListKind);
    if (item < 0) return false;
    removeAt(output, item);
    return true;
}

void clearListItemMarker(FormattedOutput& output) {
    const int item = topmostAbove(output, ElementLi, isListKind);
    if (item >= 0) output.entries[item].value1 = 0;
}

bool endDefinitionList(FormattedOutput& output) {
    for (int i = output.count - 1; i >= 0; --i) {
        const int32_t kind = output.entries[i].kind;
        if (kind == ElementDd) {
            removeAt(output, i);
        } else if (kind == ElementDl) {
            removeAt(output, i);
            return true;
        }
    }
    return false;
}

bool beginDefinitionData(FormattedOutput& output) {
    if (topmostAbove(output, ElementDd, isDlKind) >= 0) return true;
    return pushElement(output, ElementDd);
}

bool endDefinitionData(FormattedOutput& output) {
    const int data = topmostAbove(output, ElementDd, isDlKind);
    if (data < 0) return false;
    removeAt(output, data);
    return true;
}

bool popTable(FormattedOutput& output) {
    for (int i = output.count - 1; i >= 0; --i) {
        if (output.entries[i].kind == ElementTable) {
            output.count = i;
            return true;
        }
    }
    return false;
}

bool popTableCell(FormattedOutput& output) {
    for (int i = output.count - 1; i >= 0; --i) {
        const int32_t kind = output.entries[i].kind;
        if (kind == ElementTd || kind == ElementTh) {
            output.count = i;
            return true;
        }
        // A cell of an outer table is never closed across an inner table or row.
        if (kind == ElementTable || kind == ElementTr) return false;
    }
    return false;
}

bool popTableRow(FormattedOutput& output) {
    for (int i = output.count - 1; i >= 0; --i) {
        const int32_t kind = output.entries[i].kind;
        if (kind == ElementTr) {
            output.count = i;
            return true;
        }
        if (kind == ElementTable) return false;
    }
    return false;
}

bool popBlockElement(FormattedOutput& output) {
    for (int i = output.count - 1; i >= 0; --i) {
        const int32_t kind = output.entries[i].kind;
        if (isHeadingKind(kind) || kind == ElementP) {
            removeAt(output, i);
            return true;
        }
    }
    return false;
}

int countListLevels(const FormattedOutput& output) {
    int levels = 0;
    for (int i = 0; i < output.count; ++i)
        if (isListKind(output.entries[i].kind) || output.entries[i].kind == ElementDl) ++levels;
    return levels;
}

void computeStyle(const FormattedOutput& output, StyleRecord& style) {
    style = defaultStyle();
    int links = 0;  // A entries seen so far; a table cell's reset keeps it
    for (int i = 0; i < output.count; ++i) {
        const ElementEntry& entry = output.entries[i];
        switch (entry.kind) {
            case ElementA:
                style.underline = 2;
                ++links;
                break;
            case ElementAddress:
            case ElementCite:
            case ElementEm:
            case ElementI:
            case ElementVar:
                style.italic = 1;
                break;
            case ElementB:
            case ElementStrong:
                style.bold = 1;
                break;
            case ElementBasefont:
                applyFontSize(entry, style);
                break;
            case ElementBig:
                if (style.fontSize < kMaxFontSize) ++style.fontSize;
                break;
            case ElementSmall:
                if (style.fontSize > kMinFontSize) --style.fontSize;
                break;
            case ElementBlockquote:
            case ElementDd:
                indentOnce(style);
                break;
            case ElementCenter:
                style.alignment = kAlignCenter;
                break;
            case ElementCode:
            case ElementKbd:
            case ElementPre:
            case ElementTt:
            case ElementXmp:
                style.monospace = 1;
                break;
            case ElementDir:
            case ElementMenu:
            case ElementOl:
            case ElementUl:
                indentOnce(style);
                style.listType = entry.value1;
                style.listNumber = static_cast<int16_t>(static_cast<uint16_t>(entry.value2));
                break;
            case ElementDiv:
            case ElementP:
            case ElementTable:
                alignIfGiven(style, entry.value1);
                break;
            case ElementFont:
                applyFontSize(entry, style);
                if (entry.value3 != -1) style.bold = entry.value3;
                break;
            case ElementH1:
            case ElementH2:
            case ElementH3:
            case ElementH4:
            case ElementH5:
            case ElementH6:
                style.fontSize = kMaxFontSize - (entry.kind - ElementH1);
                style.heading = 1;
                alignIfGiven(style, entry.value1);
                break;
            case ElementLi:
                indentOnce(style);
                style.listMarker = entry.value1 != 0 ? 1 : 0;
                break;
            case ElementS:
            case ElementStrike:
                style.strike = 1;
                break;
            case ElementSub:
                style.subscript = 1;
                break;
            case ElementSup:
                style.superscript = 1;
                break;
            case ElementTd:
            case ElementTr:
                style = defaultStyle();
                alignIfGiven(style, entry.value1);
                break;
            case ElementTh:
                style = defaultStyle();
                alignIfGiven(style, entry.value1);
                style.bold = 1;
                break;
            case ElementU:
                if (links == 0) style.underline = 1;
                break;
            default:  // BLINK, DL, the unassigned 28 and unknown kinds
                break;
        }
    }
}

bool styleEquals(const StyleRecord& left, const StyleRecord& right) {
    const bool same = left.alignment == right.alignment && left.heading == right.heading &&
                      left.fontSize == right.fontSize && left.monospace == right.monospace &&
                      left.bold == right.bold && left.underline == right.underline &&
                      left.italic == right.italic && left.strike == right.strike &&
                      left.subscript == right.subscript &&
                      left.superscript == right.superscript && left.indent == right.indent &&
                      left.listMarker == right.listMarker;
    if (!same) return false;
    // The list style and number only matter where a marker is drawn.
    if (left.listMarker == 1 && right.listMarker == 1)
        return left.listType == right.listType && left.listNumber == right.listNumber;
    return true;
}

bool updateStyle(const FormattedOutput& output, StyleRecord& current) {
    StyleRecord computed;
    computeStyle(output, computed);
    if (styleEquals(computed, current)) return false;
    current = computed;
    return true;
}
