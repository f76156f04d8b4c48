// frontend/xml_reader.cpp -- the package documents' XML reader and their decoding.
#include "frontend/xml_reader.h"

#include <cstdint>
#include <optional>

#include "engine/windows1252.h"
#include "frontend/text_encoding.h"

namespace {

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool isNameChar(char c) {
    return !isXmlSpace(c) && c != '>' && c != '/' && c != '=' && c != '<' && c != '"' &&
           c != '\'';
}

// A character reference's value, or 0 when `body` (between '&#' and ';') is none.
uint32_t referenceValue(std::string_view body) {
    uint32_t base = 10;
    if (!body.empty() && (body[0] == 'x' || body[0] == 'X')) {
        base = 16;
        body.remove_prefix(1);
    }
    if (body.empty() || body.size() > 8) return 0;
    uint32_t value = 0;
    for (char c : body) {
        uint32_t digit;
        if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
        else return 0;
        value = value * base + digit;
    }
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0xFFFD;
    return value;
}

}  // namespace

std::string_view XmlReader::localNameOf(std::string_view name) {
    const size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

const std::string* XmlReader::attribute(std::string_view local) const {
    const bool prefixed = local.find(':') != std::string_view::npos;
    for (const XmlAttribute& attribute : attributes_) {
        if (prefixed ? attribute.name == local : localNameOf(attribute.name) == local)
            return &attribute.value;
    }
    return nullptr;
}

void XmlReader::expandInto(std::string& out, std::string_view raw) const {
    size_t i = 0;
    while (i < raw.size()) {
        const size_t amp = raw.find('&', i);
        if (amp == std::string_view::npos) {
            out.append(raw.substr(i));
            return;
        }
        out.append(raw.substr(i, amp - i));
        const size_t semicolon = raw.find(';', amp + 1);
        // Names and references are short: a far ';' belongs to something else.
        if (semicolon == std::string_view::npos || semicolon - amp > 34) {
            out.push_back('&');
            i = amp + 1;
            continue;
        }
        const std::string_view body = raw.substr(amp + 1, semicolon - amp - 1);
        uint32_t value = 0;
        if (body == "lt") value = '<';
        else if (body == "gt") value = '>';
        else if (body == "amp") value = '&';
        else if (body == "quot") value = '"';
        else if (body == "apos") value = '\'';
        else if (!body.empty() && body[0] == '#') value = referenceValue(body.substr(1));
        if (value == 0) {  // an entity no document type defines here stays as written
            out.push_back('&');
            i = amp + 1;
            continue;
        }
        appendCodePointUtf8(out, value);
        i = semicolon + 1;
    }
}

XmlEvent XmlReader::next() {
    if (pendingEnd_) {
        pendingEnd_ = false;
        attributes_.clear();
        return XmlEvent::EndTag;
    }
    while (position_ < text_.size()) {
        if (text_[position_] != '<') {
            readText();
            if (!textValue_.empty()) return XmlEvent::Text;
            continue;
        }
        const std::string_view rest = text_.substr(position_);
        if (rest.starts_with("<!--")) {
            const size_t end = text_.find("-->", position_ + 4);
            position_ = end == std::string_view::npos ? text_.size() : end + 3;
        } else if (rest.starts_with("<![CDATA[")) {
            const size_t end = text_.find("]]>", position_ + 9);
            const size_t stop = end == std::string_view::npos ? text_.size() : end;
            textValue_.assign(text_.substr(position_ + 9, stop - position_ - 9));
            position_ = end == std::string_view::npos ? text_.size() : end + 3;
            if (!textValue_.empty()) return XmlEvent::Text;
        } else if (rest.starts_with("<?")) {
            const size_t end = text_.find("?>", position_ + 2);
            position_ = end == std::string_view::npos ? text_.size() : end + 2;
        } else if (rest.starts_with("<!")) {
            // A declaration; an internal subset in brackets may hold '>'.
            size_t i = position_ + 2;
            int depth = 0;
            while (i < text_.size() && !(text_[i] == '>' && depth == 0)) {
                if (text_[i] == '[') ++depth;
                else if (text_[i] == ']' && depth > 0) --depth;
                ++i;
            }
            position_ = i < text_.size() ? i + 1 : i;
        } else if (rest.size() > 1 && (isNameChar(rest[1]) || rest[1] == '/')) {
            const bool end = rest[1] == '/';
            readTag();
            if (!name_.empty()) return end ? XmlEvent::EndTag : XmlEvent::StartTag;
        } else {
            textValue_ = "<";
            ++position_;
            return XmlEvent::Text;
        }
    }
    return XmlEvent::End;
}

void XmlReader::readText() {
    const size_t end = text_.find('<', position_);
    const size_t stop = end == std::string_view::npos ? text_.size() : end;
    textValue_.clear();
    expandInto(textValue_, text_.substr(position_, stop - position_));
    position_ = stop;
}

void XmlReader::readTag() {
    // At '<'; an end tag's '/' is passed over.
    size_t i = position_ + 1;
    if (i < text_.size() && text_[i] == '/') ++i;
    const size_t nameStart = i;
    while (i < text_.size() && isNameChar(text_[i])) ++i;
    name_.assign(text_.substr(nameStart, i - nameStart));
    attributes_.clear();
    bool selfClosing = false;
    while (i < text_.size() && text_[i] != '>') {
        const char c = text_[i];
        if (isXmlSpace(c)) {
            ++i;
            continue;
        }
        if (c == '/') {
            selfClosing = i + 1 < text_.size() && text_[i + 1] == '>';
            ++i;
            continue;
        }
        const size_t attrStart = i;
        while (i < text_.size() && isNameChar(text_[i])) ++i;
        if (i == attrStart) {  // a stray quote or '=': pass it over
            ++i;
            continue;
        }
        XmlAttribute attribute;
        attribute.name.assign(text_.substr(attrStart, i - attrStart));
        while (i < text_.size() && isXmlSpace(text_[i])) ++i;
        if (i < text_.size() && text_[i] == '=') {
            ++i;
            while (i < text_.size() && isXmlSpace(text_[i])) ++i;
            if (i < text_.size() && (text_[i] == '"' || text_[i] == '\'')) {
                const char quote = text_[i];
                const size_t close = text_.find(quote, i + 1);
                const size_t stop = close == std::string_view::npos ? text_.size() : close;
                expandInto(attribute.value, text_.substr(i + 1, stop - i - 1));
                i = close == std::string_view::npos ? text_.size() : close + 1;
            } else {
                const size_t valueStart = i;
                while (i < text_.size() && !isXmlSpace(text_[i]) && text_[i] != '>') ++i;
                expandInto(attribute.value, text_.substr(valueStart, i - valueStart));
            }
        }
        attributes_.push_back(std::move(attribute));
    }
    position_ = i < text_.size() ? i + 1 : i;
    pendingEnd_ = selfClosing && text_[nameStart - 1] != '/';
}

void XmlReader::skipElement() {
    if (pendingEnd_) {
        pendingEnd_ = false;
        return;
    }
    int depth = 1;
    for (XmlEvent event = next(); event != XmlEvent::End; event = next()) {
        if (event == XmlEvent::StartTag) ++depth;
        else if (event == XmlEvent::EndTag && --depth == 0) return;
    }
}

std::string XmlReader::elementText() {
    std::string raw;
    if (pendingEnd_) {
        pendingEnd_ = false;
        return raw;
    }
    int depth = 1;
    for (XmlEvent event = next(); event != XmlEvent::End; event = next()) {
        if (event == XmlEvent::StartTag) ++depth;
        else if (event == XmlEvent::EndTag && --depth == 0) break;
        else if (event == XmlEvent::Text) raw += textValue_;
    }
    return collapseWhitespace(raw);
}

std::string collapseWhitespace(std::string_view text) {
    std::string out;
    bool space = false;
    for (char c : text) {
        if (isXmlSpace(c)) {
            space = !out.empty();
            continue;
        }
        if (space) out.push_back(' ');
        space = false;
        out.push_back(c);
    }
    return out;
}

std::string xmlDocumentUtf8(std::string_view bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    size_t length = bytes.size();
    std::optional<ByteOrderMark> mark = findByteOrderMark(data, length);
    bool utf16 = false;
    bool bigEndian = false;
    size_t start = 0;
    if (mark) {
        start = static_cast<size_t>(mark->length);
        utf16 = mark->encoding != TextEncoding::Utf8;
        bigEndian = mark->encoding == TextEncoding::Utf16Be;
    } else if (length >= 4 && data[0] == '<' && data[1] == 0 && data[2] == '?' && data[3] == 0) {
        utf16 = true;
    } else if (length >= 4 && data[0] == 0 && data[1] == '<' && data[2] == 0 && data[3] == '?') {
        utf16 = bigEndian = true;
    }
    std::string out;
    out.reserve(length);
    if (utf16) {
        for (size_t i = start; i + 1 < length; i += 2) {
            uint32_t unit = bigEndian ? (data[i] << 8 | data[i + 1]) : (data[i + 1] << 8 | data[i]);
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < length) {
                const uint32_t low =
                    bigEndian ? (data[i + 2] << 8 | data[i + 3]) : (data[i + 3] << 8 | data[i + 2]);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
            if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
            appendCodePointUtf8(out, unit);
        }
        return out;
    }
    for (size_t i = start; i < length;) {
        uint32_t codePoint = 0;
        const int sequence = utf8Sequence(data + i, length - i, codePoint);
        if (sequence > 0) {
            out.append(bytes.substr(i, static_cast<size_t>(sequence)));
            i += static_cast<size_t>(sequence);
        } else {
            appendCodePointUtf8(out, windows1252CodePoint(data[i]));
            ++i;
        }
    }
    return out;
}
