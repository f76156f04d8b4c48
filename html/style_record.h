// html/style_record.h -- the effective text style derived from the open-element stack.
// It is also the payload of a style-change record in a temporary stream, so its layout
// is fixed: fourteen fields, 56 bytes, host byte order.
#pragma once
#include <cstddef>
#include <cstdint>

struct StyleRecord {
    int32_t alignment;    // 0 left, 1 center, 2 right
    int32_t heading;      // 1 inside H1-H6
    int32_t fontSize;     // 1..7, default 3
    int32_t monospace;    // 0/1
    int32_t bold;         // 0/1
    int32_t underline;    // 0 none, 1 underlined, 2 link
    int32_t italic;       // 0/1
    int32_t strike;       // 0/1
    int32_t subscript;    // 0/1
    int32_t superscript;  // 0/1
    int32_t indent;       // nesting level 0..7
    int32_t listMarker;   // 1 while a list-item marker is pending
    int32_t listType;     // numbering style of the innermost list
    int16_t listNumber;   // number of the current list item
    int16_t reserved;     // always 0
};
static_assert(sizeof(StyleRecord) == 56, "a style record is 56 bytes");
static_assert(offsetof(StyleRecord, listNumber) == 52, "listNumber sits at offset 52");

// The default style: left, not a heading, size 3, everything else 0.
inline StyleRecord defaultStyle() {
    StyleRecord style{};
    style.fontSize = 3;
    return style;
}
