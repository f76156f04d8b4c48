// frontend/xml_reader.h -- a small pull reader for the XML documents of an EPUB package
// (the container, the package document, the navigation document and the NCX). They
// come from strangers, so the reader is forgiving and bounded: it reads a text already
// in UTF-8, never fails, expands only the five predefined entities and character
// references (no document type is read, so no entity can expand into more text), and
// turns whatever is not well formed into text or skips it. Names keep their prefixes;
// localName() drops them, which is how the package's vocabularies are matched.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct XmlAttribute {
    std::string name;   // as written, prefix included
    std::string value;  // references expanded, whitespace as written
};

enum class XmlEvent { StartTag, EndTag, Text, End };

class XmlReader {
public:
    // `text` must outlive the reader.
    explicit XmlReader(std::string_view text) : text_(text) {}

    // The next event. An empty-element tag ("<a/>") gives a StartTag and then its
    // EndTag. Comments, processing instructions and declarations are passed over;
    // CDATA sections are text. Text runs come whole, references expanded.
    XmlEvent next();

    const std::string& name() const { return name_; }  // of a StartTag or EndTag
    std::string_view localName() const { return localNameOf(name_); }
    const std::vector<XmlAttribute>& attributes() const { return attributes_; }
    // The value of the first attribute whose local name is `local` (the attribute's
    // prefix is ignored when `local` has none), or nullptr.
    const std::string* attribute(std::string_view local) const;
    const std::string& text() const { return textValue_; }  // of a Text event

    // Skips to the end tag matching the StartTag just read (nesting counted).
    void skipElement();
    // The text inside the StartTag just read, up to its end tag, tags left out, with
    // runs of whitespace made one space and the ends trimmed.
    std::string elementText();

    static std::string_view localNameOf(std::string_view name);

private:
    void readTag();
    void readText();
    void expandInto(std::string& out, std::string_view raw) const;

    std::string_view text_;
    size_t position_ = 0;
    bool pendingEnd_ = false;  // an empty-element tag's end tag comes next
    std::string name_;
    std::vector<XmlAttribute> attributes_;
    std::string textValue_;
};

// `bytes` of an XML document as UTF-8: a UTF-8 byte-order mark is dropped, UTF-16 with a
// mark (or starting "<?xml" in UTF-16) is converted, and any byte of no valid UTF-8
// sequence is read as a Windows-1252 character.
std::string xmlDocumentUtf8(std::string_view bytes);

// Runs of whitespace made one space, the ends trimmed.
std::string collapseWhitespace(std::string_view text);
