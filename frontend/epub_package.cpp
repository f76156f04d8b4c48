// frontend/epub_package.cpp -- see epub_package.h.
#include "frontend/epub_package.h"

#include <map>
#include <set>

#include "frontend/xml_reader.h"
#include "frontend/text_encoding.h"

namespace {

constexpr std::string_view kContainerEntry = "META-INF/container.xml";
constexpr std::string_view kEncryptionEntry = "META-INF/encryption.xml";
constexpr std::string_view kEpubMediaType = "application/epub+zip";

// Font obfuscation only scrambles embedded fonts, which a book on the handheld never
// shows; every other algorithm encrypts content.
bool isFontObfuscation(std::string_view algorithm) {
    return algorithm == "http://www.idpf.org/2008/embedding" ||
           algorithm == "http://ns.adobe.com/pdf/enc#RC";
}


std::string percentDecoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexDigitValue(text[i + 1]);
            const int low = hexDigitValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

bool hasScheme(std::string_view href) {
    const size_t colon = href.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    for (size_t i = 0; i < colon; ++i) {
        const char c = href[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
            return false;
    }
    return true;
}

bool hasToken(std::string_view list, std::string_view token) {
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && list[i] == ' ') ++i;
        size_t end = i;
        while (end < list.size() && list[end] != ' ' && list[end] != '\t' && list[end] != '\n')
            ++end;
        if (list.substr(i, end - i) == token) return true;
        i = end + 1;
    }
    return false;
}

std::string fileNameOf(std::string_view entry) {
    const size_t slash = entry.rfind('/');
    return std::string(slash == std::string_view::npos ? entry : entry.substr(slash + 1));
}

struct ManifestItem {
    std::string entry;  // empty when the href leaves the package
    std::string mediaType;
    std::string properties;
};

bool isDocumentType(std::string_view mediaType) {
    return mediaType == "application/xhtml+xml" || mediaType == "text/html" ||
           mediaType == "application/x-dtbook+xml" || mediaType.empty();
}

class PackageReader {
public:
    PackageReader(EpubEntries& entries, EpubPackage& package, EpubProblem& problem)
        : entries_(entries), package_(package), problem_(problem) {}

    bool run() {
        if (!checkMimetype() || !checkEncryption() || !findPackageDocument() ||
            !readPackageDocument())
            return false;
        if (!navPath_.empty() && readNavigation()) {
            package_.contentsFrom = ContentsSource::Navigation;
        } else if (!ncxPath_.empty() && readNcx()) {
            package_.contentsFrom = ContentsSource::Ncx;
        } else {
            package_.contents.clear();
            contentsFromSpine();
            package_.contentsFrom = ContentsSource::Spine;
        }
        // Links to what the archive lacks, or to no document, would lead nowhere.
        for (EpubContentsEntry& entry : package_.contents) {
            if (entry.entry.empty()) continue;
            if (!entries_.exists(entry.entry) || !isDocument(entry.entry)) {
                entry.entry.clear();
                entry.fragment.clear();
            }
        }
        return true;
    }

private:
    bool fail(EpubRefusal refusal, std::string reason) {
        problem_.refusal = refusal;
        problem_.reason = std::move(reason);
        return false;
    }

    bool readDocument(const std::string& name, std::string& text) {
        std::string bytes;
        std::string reason;
        if (!entries_.read(name, bytes, reason)) return fail(EpubRefusal::Unreadable, reason);
        text = xmlDocumentUtf8(bytes);
        return true;
    }

    bool checkMimetype() {
        const bool container = entries_.exists(std::string(kContainerEntry));
        if (!entries_.exists("mimetype")) {
            // Readers open a book whose mimetype was lost when it was zipped again.
            return container ? true : fail(EpubRefusal::NotEpub, "");
        }
        std::string bytes;
        std::string reason;
        if (!entries_.read("mimetype", bytes, reason)) return fail(EpubRefusal::Unreadable, reason);
        if (collapseWhitespace(bytes) != kEpubMediaType) return fail(EpubRefusal::NotEpub, "");
        return true;
    }

    bool checkEncryption() {
        const std::string name(kEncryptionEntry);
        if (!entries_.exists(name)) return true;
        std::string text;
        if (!readDocument(name, text)) return false;
        XmlReader xml(text);
        for (XmlEvent event = xml.next(); event != XmlEvent::End; event = xml.next()) {
            if (event != XmlEvent::StartTag || xml.localName() != "EncryptionMethod") continue;
            const std::string* algorithm = xml.attribute("Algorithm");
            if (algorithm == nullptr || !isFontObfuscation(*algorithm))
                return fail(EpubRefusal::Protected, "");
        }
        return true;
    }

    bool findPackageDocument() {
        const std::string name(kContainerEntry);
        if (!entries_.exists(name))
            return fail(EpubRefusal::Unreadable, "it has no META-INF/container.xml");
        std::string text;
        if (!readDocument(name, text)) return false;
        XmlReader xml(text);
        std::string first;
        for (XmlEvent event = xml.next(); event != XmlEvent::End; event = xml.next()) {
            if (event != XmlEvent::StartTag || xml.localName() != "rootfile") continue;
            const std::string* path = xml.attribute("full-path");
            if (path == nullptr || path->empty()) continue;
            const std::string* type = xml.attribute("media-type");
            if (type != nullptr && *type == "application/oebps-package+xml") {
                first = *path;
                break;
            }
            if (first.empty()) first = *path;
        }
        if (first.empty())
            return fail(EpubRefusal::Unreadable, "its container names no package document");
        // full-path is a path from the archive's root, not a reference.
        std::optional<PackageTarget> target = resolvePackageHref("", first);
        if (!target || !entries_.exists(target->entry))
            return fail(EpubRefusal::Unreadable,
                        "its package document \"" + first + "\" is missing");
        package_.packagePath = target->entry;
        return true;
    }

    bool readPackageDocument() {
        std::string text;
        if (!readDocument(package_.packagePath, text)) return false;
        XmlReader xml(text);
        std::map<std::string, ManifestItem> manifest;
        std::vector<std::pair<std::string, bool>> itemrefs;  // idref, linear
        std::string tocId;
        bool inMetadata = false;
        for (XmlEvent event = xml.next(); event != XmlEvent::End; event = xml.next()) {
            if (event == XmlEvent::EndTag && xml.localName() == "metadata") inMetadata = false;
            if (event != XmlEvent::StartTag) continue;
            const std::string_view local = xml.localName();
            if (local == "metadata") {
                inMetadata = true;
            } else if (inMetadata && local == "title") {
                std::string title = xml.elementText();
                if (package_.title.empty()) package_.title = std::move(title);
            } else if (local == "item") {
                const std::string* id = xml.attribute("id");
                const std::string* href = xml.attribute("href");
                if (id == nullptr || href == nullptr || manifest.count(*id) != 0) continue;
                ManifestItem item;
                if (std::optional<PackageTarget> target =
                        resolvePackageHref(package_.packagePath, *href))
                    item.entry = target->entry;
                if (const std::string* type = xml.attribute("media-type")) item.mediaType = *type;
                if (const std::string* properties = xml.attribute("properties"))
                    item.properties = *properties;
                manifest.emplace(*id, std::move(item));
            } else if (local == "spine") {
                if (const std::string* toc = xml.attribute("toc")) tocId = *toc;
            } else if (local == "itemref") {
                const std::string* idref = xml.attribute("idref");
                if (idref == nullptr) continue;
                const std::string* linear = xml.attribute("linear");
                itemrefs.emplace_back(*idref, linear == nullptr || *linear != "no");
            }
        }
        for (const auto& [id, item] : manifest) {
            if (!item.entry.empty() && isDocumentType(item.mediaType)) documents_.insert(item.entry);
            if (navPath_.empty() && hasToken(item.properties, "nav") && !item.entry.empty() &&
                entries_.exists(item.entry))
                navPath_ = item.entry;
        }
        if (auto toc = manifest.find(tocId); toc != manifest.end() && !toc->second.entry.empty() &&
                                             entries_.exists(toc->second.entry))
            ncxPath_ = toc->second.entry;
        if (ncxPath_.empty()) {  // an NCX the spine does not name is still the NCX
            for (const auto& [id, item] : manifest) {
                if (item.mediaType == "application/x-dtbncx+xml" && !item.entry.empty() &&
                    entries_.exists(item.entry)) {
                    ncxPath_ = item.entry;
                    break;
                }
            }
        }
        // Readers show the linear items in order and then the rest.
        std::set<std::string> taken;
        for (bool linearPass : {true, false}) {
            for (const auto& [idref, linear] : itemrefs) {
                if (linear != linearPass) continue;
                auto found = manifest.find(idref);
                if (found == manifest.end() || found->second.entry.empty()) continue;
                const std::string& entry = found->second.entry;
                if (!entries_.exists(entry)) {
                    if (taken.insert(entry).second) package_.missing.push_back(entry);
                    continue;
                }
                if (taken.insert(entry).second) {
                    package_.spine.push_back(entry);
                    documents_.insert(entry);
                }
            }
        }
        return true;
    }

    bool isDocument(const std::string& entry) const { return documents_.count(entry) != 0; }

    // The entries of the list that `xml` is inside (just after <ol> or <ul>).
    void readNavList(XmlReader& xml, int level) {
        int depth = 1;
        for (XmlEvent event = xml.next(); event != XmlEvent::End; event = xml.next()) {
            if (event == XmlEvent::EndTag) {
                const std::string_view local = xml.localName();
                if ((local == "ol" || local == "ul") && --depth == 0) return;
                continue;
            }
            if (event != XmlEvent::StartTag) continue;
            const std::string_view local = xml.localName();
            if (local == "ol" || local == "ul") {
                readNavList(xml, level + 1);
            } else if (local == "a" || local == "span") {
                EpubContentsEntry entry;
                entry.level = level;
                if (const std::string* href = local == "a" ? xml.attribute("href") : nullptr) {
                    if (std::optional<PackageTarget> target = resolvePackageHref(navPath_, *href)) {
                        entry.entry = std::move(target->entry);
                        entry.fragment = std::move(target->fragment);
                    }
                }
                entry.label = xml.elementText();
                if (!entry.label.empty()) package_.contents.push_back(std::move(entry));
            }
        }
    }

    bool readNavigation() {
        std::string text;
        if (!readDocument(navPath_, text)) return false;
        XmlReader xml(text);
        for (XmlEvent event = xml.next(); event != XmlEvent::End; event = xml.next()) {
            if (event != XmlEvent::StartTag || xml.localName() != "nav") continue;
            const std::string* type = xml.attribute("epub:type");
            if (type == nullptr) type = xml.attribute("type");
            if (type == nullptr || !hasToken(*type, "toc")) continue;
            int depth = 1;
            for (event = xml.next(); event != XmlEvent::End && depth > 0; event = xml.next()) {
                if (event == XmlEvent::EndTag && xml.localName() == "nav") --depth;
                if (event != XmlEvent::StartTag) continue;
                const std::string_view local = xml.localName();
                if (local == "nav") ++depth;
                else if (local == "ol" || local == "ul") readNavList(xml, 0);
            }
            break;
        }
        return !package_.contents.empty();
    }

    bool readNcx() {
        package_.contents.clear();
        std::string text;
        if (!readDocument(ncxPath_, text)) return false;
        XmlReader xml(text);
        int level = -1;
        bool inNavMap = false;
        for (XmlEvent event = xml.next(); event != XmlEvent::End; event = xml.next()) {
            const std::string_view local = xml.localName();
            if (event == XmlEvent::EndTag) {
                if (local == "navMap") inNavMap = false;
                if (local == "navPoint" && level >= 0) --level;
                continue;
            }
            if (event != XmlEvent::StartTag) continue;
            if (local == "navMap") {
                inNavMap = true;
            } else if (inNavMap && local == "navPoint") {
                ++level;
                package_.contents.push_back(EpubContentsEntry{"", "", "", level});
            } else if (inNavMap && level >= 0 && local == "text" &&
                       package_.contents.back().label.empty()) {
                package_.contents.back().label = xml.elementText();
            } else if (inNavMap && level >= 0 && local == "content") {
                EpubContentsEntry& entry = package_.contents.back();
                const std::string* src = xml.attribute("src");
                if (src == nullptr || !entry.entry.empty()) continue;
                if (std::optional<PackageTarget> target = resolvePackageHref(ncxPath_, *src)) {
                    entry.entry = std::move(target->entry);
                    entry.fragment = std::move(target->fragment);
                }
            }
        }
        std::erase_if(package_.contents,
                      [](const EpubContentsEntry& entry) { return entry.label.empty(); });
        return !package_.contents.empty();
    }

    // A chapter's <title>, else its first heading, else its file name.
    std::string chapterTitle(const std::string& entry) {
        std::string text;
        std::string bytes;
        std::string reason;
        if (entries_.read(entry, bytes, reason)) text = xmlDocumentUtf8(bytes);
        XmlReader xml(text);
        std::string heading;
        for (XmlEvent event = xml.next(); event != XmlEvent::End; event = xml.next()) {
            if (event != XmlEvent::StartTag) continue;
            const std::string_view local = xml.localName();
            if (local == "title") {
                std::string title = xml.elementText();
                if (!title.empty()) return title;
            } else if (local.size() == 2 && local[0] == 'h' && local[1] >= '1' && local[1] <= '6') {
                heading = xml.elementText();
                if (!heading.empty()) return heading;
            }
        }
        return fileNameOf(entry);
    }

    void contentsFromSpine() {
        for (const std::string& entry : package_.spine)
            package_.contents.push_back(EpubContentsEntry{chapterTitle(entry), entry, "", 0});
    }

    EpubEntries& entries_;
    EpubPackage& package_;
    EpubProblem& problem_;
    std::string navPath_;
    std::string ncxPath_;
    std::set<std::string> documents_;
};

void appendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out.push_back(c);
        }
    }
}

}  // namespace

bool readEpubPackage(EpubEntries& entries, EpubPackage& package, EpubProblem& problem) {
    package = EpubPackage{};
    problem = EpubProblem{};
    return PackageReader(entries, package, problem).run();
}

std::optional<PackageTarget> resolvePackageHref(std::string_view base, std::string_view href) {
    // Whitespace around a reference is no part of it.
    while (!href.empty() && (href.front() == ' ' || href.front() == '\n' || href.front() == '\t'))
        href.remove_prefix(1);
    while (!href.empty() && (href.back() == ' ' || href.back() == '\n' || href.back() == '\t'))
        href.remove_suffix(1);
    if (hasScheme(href) || href.starts_with("/") || href.starts_with("\\")) return std::nullopt;
    PackageTarget target;
    const size_t hash = href.find('#');
    if (hash != std::string_view::npos) {
        target.fragment = percentDecoded(href.substr(hash + 1));
        href = href.substr(0, hash);
    }
    const size_t query = href.find('?');
    if (query != std::string_view::npos) href = href.substr(0, query);
    std::vector<std::string> segments;
    // An empty path is the base itself ("#note" inside a chapter).
    std::string path(base);
    if (!href.empty()) {
        const size_t slash = path.rfind('/');
        path.erase(slash == std::string::npos ? 0 : slash + 1);
        path += percentDecoded(href);
    }
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string segment = path.substr(start, end - start);
        if (segment == "..") {
            if (segments.empty()) return std::nullopt;
            segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    if (segments.empty()) return std::nullopt;
    for (const std::string& segment : segments) {
        if (!target.entry.empty()) target.entry.push_back('/');
        target.entry += segment;
    }
    return target;
}

std::string epubRefusalMessage(const EpubProblem& problem) {
    switch (problem.refusal) {
        case EpubRefusal::None:
            return "";
        case EpubRefusal::NotEpub:
            return "This zip archive is not an EPUB book and cannot be converted.";
        case EpubRefusal::Protected:
            return "This EPUB is protected (DRM) and cannot be converted.";
        case EpubRefusal::Unreadable:
            break;
    }
    return "This EPUB cannot be converted: " + problem.reason + ".";
}

std::string entryHref(std::string_view entry) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : entry) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = byte > 0x20 && byte < 0x7F && c != '%' && c != '#' && c != '?' &&
                           c != '"' && c != '\'' && c != '<' && c != '>' && c != '&' && c != '\\';
        if (plain) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kDigits[byte >> 4]);
            out.push_back(kDigits[byte & 15]);
        }
    }
    return out;
}

std::string contentsPageHtml(const EpubPackage& package) {
    std::string page = "\xEF\xBB\xBF<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>";
    appendEscaped(page, package.title);
    page += "</title></head>\n<body>\n";
    // Empty links add no text, but the conversion takes pages in the order links first
    // name them: these make it the spine's order, whatever order the contents follow.
    for (const std::string& entry : package.spine) page += "<a href=\"" + entryHref(entry) + "\"></a>";
    page += "\n<h1>";
    appendEscaped(page, package.title);
    page += "</h1>\n";
    int open = 0;  // lists open
    for (const EpubContentsEntry& entry : package.contents) {
        const int level = entry.level < 0 ? 0 : entry.level;
        while (open < level + 1) {
            page += "<ul>\n";
            ++open;
        }
        while (open > level + 1) {
            page += "</ul>\n";
            --open;
        }
        page += "<li>";
        if (!entry.entry.empty()) {
            page += "<a href=\"" + entryHref(entry.entry);
            if (!entry.fragment.empty()) {
                page += "#";
                appendEscaped(page, entry.fragment);
            }
            page += "\">";
            appendEscaped(page, entry.label);
            page += "</a>";
        } else {
            appendEscaped(page, entry.label);
        }
        page += "\n";
    }
    while (open-- > 0) page += "</ul>\n";
    page += "</body></html>\n";
    return page;
}
