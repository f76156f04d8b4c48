// frontend/text_encoding.cpp -- see text_encoding.h.
#include "frontend/text_encoding.h"

#include <cstring>

#include "engine/windows1252.h"

namespace {

using E = TextEncoding;

const char* const kNames[] = {
    "utf-8",        "ibm866",       "iso-8859-2",   "iso-8859-3",   "iso-8859-4",
    "iso-8859-5",   "iso-8859-6",   "iso-8859-7",   "iso-8859-8",   "iso-8859-8-i",
    "iso-8859-10",  "iso-8859-13",  "iso-8859-14",  "iso-8859-15",  "iso-8859-16",
    "koi8-r",       "koi8-u",       "macintosh",    "windows-874",  "windows-1250",
    "windows-1251", "windows-1252", "windows-1253", "windows-1254", "windows-1255",
    "windows-1256", "windows-1257", "windows-1258", "x-mac-cyrillic", "gbk",
    "gb18030",      "big5",         "euc-jp",       "iso-2022-jp",  "shift_jis",
    "euc-kr",       "replacement",  "utf-16be",     "utf-16le",     "x-user-defined",
};
static_assert(sizeof kNames / sizeof kNames[0] == static_cast<size_t>(E::Count),
              "one name per encoding");

struct Label {
    const char* label;
    TextEncoding encoding;
};

// Every label of the Encoding Standard, in byte order (a test checks the order and that
// each encoding's own name is among them).
const Label kLabels[] = {
    {"866", E::Ibm866}, {"ansi_x3.4-1968", E::Windows1252}, {"arabic", E::Iso8859_6},
    {"ascii", E::Windows1252}, {"asmo-708", E::Iso8859_6}, {"big5", E::Big5},
    {"big5-hkscs", E::Big5}, {"chinese", E::Gbk}, {"cn-big5", E::Big5},
    {"cp1250", E::Windows1250}, {"cp1251", E::Windows1251}, {"cp1252", E::Windows1252},
    {"cp1253", E::Windows1253}, {"cp1254", E::Windows1254}, {"cp1255", E::Windows1255},
    {"cp1256", E::Windows1256}, {"cp1257", E::Windows1257}, {"cp1258", E::Windows1258},
    {"cp819", E::Windows1252}, {"cp866", E::Ibm866}, {"csbig5", E::Big5},
    {"cseuckr", E::EucKr}, {"cseucpkdfmtjapanese", E::EucJp}, {"csgb2312", E::Gbk},
    {"csibm866", E::Ibm866}, {"csiso2022jp", E::Iso2022Jp}, {"csiso2022kr", E::Replacement},
    {"csiso58gb231280", E::Gbk}, {"csiso88596e", E::Iso8859_6}, {"csiso88596i", E::Iso8859_6},
    {"csiso88598e", E::Iso8859_8}, {"csiso88598i", E::Iso8859_8I},
    {"csisolatin1", E::Windows1252}, {"csisolatin2", E::Iso8859_2},
    {"csisolatin3", E::Iso8859_3}, {"csisolatin4", E::Iso8859_4},
    {"csisolatin5", E::Windows1254}, {"csisolatin6", E::Iso8859_10},
    {"csisolatin9", E::Iso8859_15}, {"csisolatinarabic", E::Iso8859_6},
    {"csisolatincyrillic", E::Iso8859_5}, {"csisolatingreek", E::Iso8859_7},
    {"csisolatinhebrew", E::Iso8859_8}, {"cskoi8r", E::Koi8R}, {"csksc56011987", E::EucKr},
    {"csmacintosh", E::Macintosh}, {"csshiftjis", E::ShiftJis}, {"csunicode", E::Utf16Le},
    {"cyrillic", E::Iso8859_5}, {"dos-874", E::Windows874}, {"ecma-114", E::Iso8859_6},
    {"ecma-118", E::Iso8859_7}, {"elot_928", E::Iso8859_7}, {"euc-jp", E::EucJp},
    {"euc-kr", E::EucKr}, {"gb18030", E::Gb18030}, {"gb2312", E::Gbk}, {"gb_2312", E::Gbk},
    {"gb_2312-80", E::Gbk}, {"gbk", E::Gbk}, {"greek", E::Iso8859_7}, {"greek8", E::Iso8859_7},
    {"hebrew", E::Iso8859_8}, {"hz-gb-2312", E::Replacement}, {"ibm819", E::Windows1252},
    {"ibm866", E::Ibm866}, {"iso-10646-ucs-2", E::Utf16Le}, {"iso-2022-cn", E::Replacement},
    {"iso-2022-cn-ext", E::Replacement}, {"iso-2022-jp", E::Iso2022Jp},
    {"iso-2022-kr", E::Replacement}, {"iso-8859-1", E::Windows1252},
    {"iso-8859-10", E::Iso8859_10}, {"iso-8859-11", E::Windows874},
    {"iso-8859-13", E::Iso8859_13}, {"iso-8859-14", E::Iso8859_14},
    {"iso-8859-15", E::Iso8859_15}, {"iso-8859-16", E::Iso8859_16},
    {"iso-8859-2", E::Iso8859_2}, {"iso-8859-3", E::Iso8859_3}, {"iso-8859-4", E::Iso8859_4},
    {"iso-8859-5", E::Iso8859_5}, {"iso-8859-6", E::Iso8859_6}, {"iso-8859-6-e", E::Iso8859_6},
    {"iso-8859-6-i", E::Iso8859_6}, {"iso-8859-7", E::Iso8859_7}, {"iso-8859-8", E::Iso8859_8},
    {"iso-8859-8-e", E::Iso8859_8}, {"iso-8859-8-i", E::Iso8859_8I},
    {"iso-8859-9", E::Windows1254}, {"iso-ir-100", E::Windows1252},
    {"iso-ir-101", E::Iso8859_2}, {"iso-ir-109", E::Iso8859_3}, {"iso-ir-110", E::Iso8859_4},
    {"iso-ir-126", E::Iso8859_7}, {"iso-ir-127", E::Iso8859_6}, {"iso-ir-138", E::Iso8859_8},
    {"iso-ir-144", E::Iso8859_5}, {"iso-ir-148", E::Windows1254}, {"iso-ir-149", E::EucKr},
    {"iso-ir-157", E::Iso8859_10}, {"iso-ir-58", E::Gbk}, {"iso8859-1", E::Windows1252},
    {"iso8859-10", E::Iso8859_10}, {"iso8859-11", E::Windows874},
    {"iso8859-13", E::Iso8859_13}, {"iso8859-14", E::Iso8859_14},
    {"iso8859-15", E::Iso8859_15}, {"iso8859-2", E::Iso8859_2}, {"iso8859-3", E::Iso8859_3},
    {"iso8859-4", E::Iso8859_4}, {"iso8859-5", E::Iso8859_5}, {"iso8859-6", E::Iso8859_6},
    {"iso8859-7", E::Iso8859_7}, {"iso8859-8", E::Iso8859_8}, {"iso8859-9", E::Windows1254},
    {"iso88591", E::Windows1252}, {"iso885910", E::Iso8859_10}, {"iso885911", E::Windows874},
    {"iso885913", E::Iso8859_13}, {"iso885914", E::Iso8859_14}, {"iso885915", E::Iso8859_15},
    {"iso88592", E::Iso8859_2}, {"iso88593", E::Iso8859_3}, {"iso88594", E::Iso8859_4},
    {"iso88595", E::Iso8859_5}, {"iso88596", E::Iso8859_6}, {"iso88597", E::Iso8859_7},
    {"iso88598", E::Iso8859_8}, {"iso88599", E::Windows1254}, {"iso_8859-1", E::Windows1252},
    {"iso_8859-15", E::Iso8859_15}, {"iso_8859-1:1987", E::Windows1252},
    {"iso_8859-2", E::Iso8859_2}, {"iso_8859-2:1987", E::Iso8859_2},
    {"iso_8859-3", E::Iso8859_3}, {"iso_8859-3:1988", E::Iso8859_3},
    {"iso_8859-4", E::Iso8859_4}, {"iso_8859-4:1988", E::Iso8859_4},
    {"iso_8859-5", E::Iso8859_5}, {"iso_8859-5:1988", E::Iso8859_5},
    {"iso_8859-6", E::Iso8859_6}, {"iso_8859-6:1987", E::Iso8859_6},
    {"iso_8859-7", E::Iso8859_7}, {"iso_8859-7:1987", E::Iso8859_7},
    {"iso_8859-8", E::Iso8859_8}, {"iso_8859-8:1988", E::Iso8859_8},
    {"iso_8859-9", E::Windows1254}, {"iso_8859-9:1989", E::Windows1254}, {"koi", E::Koi8R},
    {"koi8", E::Koi8R}, {"koi8-r", E::Koi8R}, {"koi8-ru", E::Koi8U}, {"koi8-u", E::Koi8U},
    {"koi8_r", E::Koi8R}, {"korean", E::EucKr}, {"ks_c_5601-1987", E::EucKr},
    {"ks_c_5601-1989", E::EucKr}, {"ksc5601", E::EucKr}, {"ksc_5601", E::EucKr},
    {"l1", E::Windows1252}, {"l2", E::Iso8859_2}, {"l3", E::Iso8859_3}, {"l4", E::Iso8859_4},
    {"l5", E::Windows1254}, {"l6", E::Iso8859_10}, {"l9", E::Iso8859_15},
    {"latin1", E::Windows1252}, {"latin2", E::Iso8859_2}, {"latin3", E::Iso8859_3},
    {"latin4", E::Iso8859_4}, {"latin5", E::Windows1254}, {"latin6", E::Iso8859_10},
    {"logical", E::Iso8859_8I}, {"mac", E::Macintosh}, {"macintosh", E::Macintosh},
    {"ms932", E::ShiftJis}, {"ms_kanji", E::ShiftJis}, {"shift-jis", E::ShiftJis},
    {"shift_jis", E::ShiftJis}, {"sjis", E::ShiftJis}, {"sun_eu_greek", E::Iso8859_7},
    {"tis-620", E::Windows874}, {"ucs-2", E::Utf16Le}, {"unicode", E::Utf16Le},
    {"unicode-1-1-utf-8", E::Utf8}, {"unicode11utf8", E::Utf8}, {"unicode20utf8", E::Utf8},
    {"unicodefeff", E::Utf16Le}, {"unicodefffe", E::Utf16Be}, {"us-ascii", E::Windows1252},
    {"utf-16", E::Utf16Le}, {"utf-16be", E::Utf16Be}, {"utf-16le", E::Utf16Le},
    {"utf-8", E::Utf8}, {"utf8", E::Utf8}, {"visual", E::Iso8859_8},
    {"windows-1250", E::Windows1250}, {"windows-1251", E::Windows1251},
    {"windows-1252", E::Windows1252}, {"windows-1253", E::Windows1253},
    {"windows-1254", E::Windows1254}, {"windows-1255", E::Windows1255},
    {"windows-1256", E::Windows1256}, {"windows-1257", E::Windows1257},
    {"windows-1258", E::Windows1258}, {"windows-31j", E::ShiftJis},
    {"windows-874", E::Windows874}, {"windows-949", E::EucKr}, {"x-cp1250", E::Windows1250},
    {"x-cp1251", E::Windows1251}, {"x-cp1252", E::Windows1252}, {"x-cp1253", E::Windows1253},
    {"x-cp1254", E::Windows1254}, {"x-cp1255", E::Windows1255}, {"x-cp1256", E::Windows1256},
    {"x-cp1257", E::Windows1257}, {"x-cp1258", E::Windows1258}, {"x-euc-jp", E::EucJp},
    {"x-gbk", E::Gbk}, {"x-mac-cyrillic", E::XMacCyrillic}, {"x-mac-roman", E::Macintosh},
    {"x-mac-ukrainian", E::XMacCyrillic}, {"x-sjis", E::ShiftJis},
    {"x-unicode20utf8", E::Utf8}, {"x-user-defined", E::XUserDefined}, {"x-x-big5", E::Big5},
};

constexpr bool isAsciiWhitespace(uint8_t c) {
    return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20;
}

constexpr bool isAsciiLetter(uint8_t c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

// Whether the bytes after a "<" open a start or end tag: a letter, or "/" and a letter.
bool startsTag(const uint8_t* after, size_t length) {
    if (length >= 1 && isAsciiLetter(after[0])) return true;
    return length >= 2 && after[0] == '/' && isAsciiLetter(after[1]);
}

constexpr uint8_t lowerAscii(uint8_t c) {
    return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + 0x20) : c;
}

// Compares the lower-cased `label` with the table's (already lower-case) entry.
int compareLabel(std::string_view label, const char* entry) {
    size_t i = 0;
    for (; i < label.size() && entry[i] != '\0'; ++i) {
        const uint8_t a = lowerAscii(static_cast<uint8_t>(label[i]));
        const uint8_t b = static_cast<uint8_t>(entry[i]);
        if (a != b) return a < b ? -1 : 1;
    }
    if (i < label.size()) return 1;
    return entry[i] == '\0' ? 0 : -1;
}

// The pre-scan reads a bounded buffer; every step that runs past its end ends the scan.
struct Scan {
    const uint8_t* bytes;
    size_t length;
    size_t position = 0;
    bool more() const { return position < length; }
    uint8_t at() const { return bytes[position]; }
    bool startsWithFolded(const char* text) const {
        const size_t n = std::strlen(text);
        if (length - position < n) return false;
        for (size_t i = 0; i < n; ++i)
            if (lowerAscii(bytes[position + i]) != static_cast<uint8_t>(text[i])) return false;
        return true;
    }
};

struct Attribute {
    std::string name;
    std::string value;
};

// The standard's "get an attribute": false when there is none (a ">" or the end).
bool getAttribute(Scan& scan, Attribute& attribute) {
    attribute.name.clear();
    attribute.value.clear();
    while (scan.more() && (isAsciiWhitespace(scan.at()) || scan.at() == '/')) ++scan.position;
    if (!scan.more() || scan.at() == '>') return false;
    // The name.
    for (;;) {
        if (!scan.more()) return false;
        const uint8_t c = scan.at();
        if (c == '=' && !attribute.name.empty()) {
            ++scan.position;
            break;
        }
        if (isAsciiWhitespace(c)) {
            while (scan.more() && isAsciiWhitespace(scan.at())) ++scan.position;
            if (!scan.more()) return false;
            if (scan.at() != '=') return true;  // a name without a value
            ++scan.position;
            break;
        }
        if (c == '/' || c == '>') return true;
        attribute.name += static_cast<char>(lowerAscii(c));
        ++scan.position;
    }
    // The value.
    while (scan.more() && isAsciiWhitespace(scan.at())) ++scan.position;
    if (!scan.more()) return false;
    const uint8_t first = scan.at();
    if (first == '"' || first == '\'') {
        for (;;) {
            ++scan.position;
            if (!scan.more()) return false;
            if (scan.at() == first) {
                ++scan.position;
                return true;
            }
            attribute.value += static_cast<char>(lowerAscii(scan.at()));
        }
    }
    if (first == '>') return true;
    for (;;) {
        attribute.value += static_cast<char>(lowerAscii(scan.at()));
        ++scan.position;
        if (!scan.more()) return false;
        if (isAsciiWhitespace(scan.at()) || scan.at() == '>') return true;
    }
}

// The standard's "extracting a character encoding from a meta element" on a content
// attribute's (already lower-cased) value; nullopt for none or an unknown label.
std::optional<TextEncoding> encodingFromContent(const std::string& value) {
    size_t position = 0;
    for (;;) {
        const size_t found = value.find("charset", position);
        if (found == std::string::npos) return std::nullopt;
        position = found + 7;
        while (position < value.size() && isAsciiWhitespace(static_cast<uint8_t>(value[position])))
            ++position;
        if (position < value.size() && value[position] == '=') break;
        // Not "charset=": look again from just before that character.
    }
    ++position;
    while (position < value.size() && isAsciiWhitespace(static_cast<uint8_t>(value[position])))
        ++position;
    if (position >= value.size()) return std::nullopt;
    const char quote = value[position];
    if (quote == '"' || quote == '\'') {
        const size_t end = value.find(quote, position + 1);
        if (end == std::string::npos) return std::nullopt;
        return encodingForLabel(std::string_view(value).substr(position + 1, end - position - 1));
    }
    size_t end = position;
    while (end < value.size() && !isAsciiWhitespace(static_cast<uint8_t>(value[end])) &&
           value[end] != ';')
        ++end;
    return encodingForLabel(std::string_view(value).substr(position, end - position));
}

// After a <meta>'s attributes: what a declaration the standard accepts gives.
std::optional<TextEncoding> declared(std::optional<TextEncoding> charset) {
    if (charset == E::Utf16Be || charset == E::Utf16Le) return E::Utf8;
    if (charset == E::XUserDefined) return E::Windows1252;
    return charset;
}

// The pre-scan's loop; nullopt when it ran out of bytes without a declaration.
std::optional<TextEncoding> scanForMeta(const uint8_t* bytes, size_t length) {
    Scan scan{bytes, length};
    Attribute attribute;
    for (; scan.more(); ++scan.position) {
        if (scan.startsWithFolded("<!--")) {
            // The end of the first "-->", whose dashes may be those of "<!--".
            size_t end = scan.position + 2;
            while (end + 2 < length &&
                   !(bytes[end] == '-' && bytes[end + 1] == '-' && bytes[end + 2] == '>'))
                ++end;
            if (end + 2 >= length) return std::nullopt;
            scan.position = end + 2;
        } else if (scan.startsWithFolded("<meta") && length - scan.position > 5 &&
                   (isAsciiWhitespace(bytes[scan.position + 5]) || bytes[scan.position + 5] == '/')) {
            scan.position += 5;
            bool seenHttpEquiv = false, seenContent = false, seenCharset = false;
            bool gotPragma = false;
            int needPragma = -1;  // -1 null, 0 false, 1 true
            bool haveCharset = false;
            std::optional<TextEncoding> charset;  // while haveCharset: nullopt is failure
            while (getAttribute(scan, attribute)) {
                if (attribute.name == "http-equiv") {
                    if (seenHttpEquiv) continue;
                    seenHttpEquiv = true;
                    if (attribute.value == "content-type") gotPragma = true;
                } else if (attribute.name == "content") {
                    if (seenContent) continue;
                    seenContent = true;
                    const std::optional<TextEncoding> found = encodingFromContent(attribute.value);
                    if (found && !haveCharset) {
                        charset = found;
                        haveCharset = true;
                        needPragma = 1;
                    }
                } else if (attribute.name == "charset") {
                    if (seenCharset) continue;
                    seenCharset = true;
                    charset = encodingForLabel(attribute.value);
                    haveCharset = true;
                    needPragma = 0;
                }
            }
            if (!scan.more()) return std::nullopt;
            if (needPragma == -1 || (needPragma == 1 && !gotPragma) || !charset) continue;
            return declared(charset);
        } else if (scan.at() == '<' && startsTag(bytes + scan.position + 1,
                                                 length - scan.position - 1)) {
            while (scan.more() && !isAsciiWhitespace(scan.at()) && scan.at() != '>') ++scan.position;
            while (getAttribute(scan, attribute)) {
            }
            if (!scan.more()) return std::nullopt;
        } else if (scan.startsWithFolded("<!") || scan.startsWithFolded("</") ||
                   scan.startsWithFolded("<?")) {
            const void* end = std::memchr(bytes + scan.position + 1, '>', length - scan.position - 1);
            if (end == nullptr) return std::nullopt;
            scan.position = static_cast<size_t>(static_cast<const uint8_t*>(end) - bytes);
        }
    }
    return std::nullopt;
}

}  // namespace

const char* encodingName(TextEncoding encoding) {
    const size_t index = static_cast<size_t>(encoding);
    return index < static_cast<size_t>(E::Count) ? kNames[index] : "unknown";
}

std::optional<TextEncoding> encodingForLabel(std::string_view label) {
    while (!label.empty() && isAsciiWhitespace(static_cast<uint8_t>(label.front())))
        label.remove_prefix(1);
    while (!label.empty() && isAsciiWhitespace(static_cast<uint8_t>(label.back())))
        label.remove_suffix(1);
    int low = 0, high = static_cast<int>(sizeof kLabels / sizeof kLabels[0]) - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const int order = compareLabel(label, kLabels[middle].label);
        if (order == 0) return kLabels[middle].encoding;
        if (order < 0) high = middle - 1; else low = middle + 1;
    }
    return std::nullopt;
}

std::vector<const char*> acceptedEncodingNames() {
    std::vector<const char*> names;
    for (size_t i = 0; i < static_cast<size_t>(E::Count); ++i)
        if (static_cast<E>(i) != E::Replacement) names.push_back(kNames[i]);
    return names;
}

std::optional<ByteOrderMark> findByteOrderMark(const uint8_t* bytes, size_t length) {
    if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        return ByteOrderMark{E::Utf8, 3};
    if (length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return ByteOrderMark{E::Utf16Le, 2};
    if (length >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return ByteOrderMark{E::Utf16Be, 2};
    return std::nullopt;
}

std::optional<TextEncoding> prescanEncoding(const uint8_t* bytes, size_t length) {
    static const uint8_t kUtf16LeXml[] = {0x3C, 0x00, 0x3F, 0x00, 0x78, 0x00};
    static const uint8_t kUtf16BeXml[] = {0x00, 0x3C, 0x00, 0x3F, 0x00, 0x78};
    if (length >= 6 && std::memcmp(bytes, kUtf16LeXml, 6) == 0) return E::Utf16Le;
    if (length >= 6 && std::memcmp(bytes, kUtf16BeXml, 6) == 0) return E::Utf16Be;
    const std::optional<TextEncoding> meta = scanForMeta(bytes, length);
    if (meta) return meta;
    return xmlDeclarationEncoding(bytes, length);
}

std::optional<TextEncoding> xmlDeclarationEncoding(const uint8_t* bytes, size_t length) {
    if (length < 5 || std::memcmp(bytes, "<?xml", 5) != 0) return std::nullopt;
    const void* close = std::memchr(bytes, '>', length);
    if (close == nullptr) return std::nullopt;
    const size_t end = static_cast<size_t>(static_cast<const uint8_t*>(close) - bytes);
    const std::string_view declaration(reinterpret_cast<const char*>(bytes), end);
    size_t position = declaration.find("encoding");
    if (position == std::string_view::npos) return std::nullopt;
    position += 8;
    while (position < end && bytes[position] <= 0x20) ++position;
    if (position >= end || bytes[position] != '=') return std::nullopt;
    ++position;
    while (position < end && bytes[position] <= 0x20) ++position;
    if (position >= end) return std::nullopt;
    const char quote = static_cast<char>(bytes[position]);
    if (quote != '"' && quote != '\'') return std::nullopt;
    ++position;
    const size_t closing = declaration.find(quote, position);
    if (closing == std::string_view::npos) return std::nullopt;
    const std::string_view label = declaration.substr(position, closing - position);
    for (const char c : label)
        if (static_cast<uint8_t>(c) <= 0x20) return std::nullopt;
    const std::optional<TextEncoding> encoding = encodingForLabel(label);
    if (encoding == E::Utf16Be || encoding == E::Utf16Le) return E::Utf8;
    return encoding;
}

int utf8Sequence(const uint8_t* bytes, size_t length, uint32_t& codePoint) {
    const uint8_t lead = bytes[0];
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    int size;
    uint32_t value;
    // The second byte's range narrows for E0 (no overlong), ED (no surrogate), F0 (no
    // overlong) and F4 (nothing above U+10FFFF); C0, C1 and F5-FF start nothing.
    uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        size = 2;
        value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        size = 3;
        value = lead & 0x0Fu;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        size = 4;
        value = lead & 0x07u;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    for (int i = 1; i < size; ++i) {
        if (static_cast<size_t>(i) >= length) return -1;
        const uint8_t next = bytes[i];
        if (next < low || next > high) return 0;
        low = 0x80;
        high = 0xBF;
        value = (value << 6) | (next & 0x3Fu);
    }
    codePoint = value;
    return size;
}

void appendCodePointUtf8(std::string& out, uint32_t codePoint) {
    char bytes[4];
    out.append(bytes, static_cast<size_t>(utf8Bytes(codePoint, bytes)));
}

std::string windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) appendCodePointUtf8(out, windows1252CodePoint(static_cast<uint8_t>(c)));
    return out;
}

std::string utf8ToWindows1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    for (size_t i = 0; i < text.size();) {
        uint32_t codePoint = 0;
        const int size = utf8Sequence(bytes + i, text.size() - i, codePoint);
        if (size <= 0) {
            out += static_cast<char>(bytes[i]);  // a byte of no sequence is its own character
            ++i;
            continue;
        }
        const HandheldText handheld = handheldText(codePoint);
        out.append(handheld.bytes, handheld.length);
        i += static_cast<size_t>(size);
    }
    return out;
}

std::string firstCharacters(std::string_view text, size_t maxCharacters) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    size_t i = 0;
    for (size_t count = 0; i < text.size() && count < maxCharacters; ++count) {
        uint32_t codePoint = 0;
        const int size = utf8Sequence(bytes + i, text.size() - i, codePoint);
        i += size > 0 ? static_cast<size_t>(size) : 1;
    }
    return std::string(text.substr(0, i));
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
