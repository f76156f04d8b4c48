// frontend/epub_package.h -- what an EPUB's package says: its title, its chapters in
// reading order and its table of contents, read from the container, the package
// document and the navigation document or NCX; and the contents page made from them,
// which the conversion starts from. Entries are reached through EpubEntries, so the
// package can be read from an archive or, in tests, from a table.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A package document, navigation document or NCX larger than this is refused.
inline constexpr size_t kMaxPackageDocumentBytes = 8 * 1024 * 1024;

class EpubEntries {
public:
    virtual ~EpubEntries() = default;
    virtual bool exists(const std::string& name) const = 0;
    // The whole entry into `bytes` (at most kMaxPackageDocumentBytes); false with
    // `reason` (a clause such as "the entry \"x\" is not the size its header declares")
    // when it cannot be read.
    virtual bool read(const std::string& name, std::string& bytes, std::string& reason) = 0;
};

// A place in the package: an entry's name and a fragment ("" for none).
struct PackageTarget {
    std::string entry;
    std::string fragment;
};

struct EpubContentsEntry {
    std::string label;   // UTF-8, whitespace collapsed
    std::string entry;   // empty for a heading that links nowhere
    std::string fragment;
    int level = 0;       // 0 for the outermost entries
};

enum class ContentsSource { Navigation, Ncx, Spine };

struct EpubPackage {
    std::string packagePath;          // the package document's entry
    std::string title;                // dc:title, UTF-8; may be empty
    std::vector<std::string> spine;   // entries, linear ones first, each once
    std::vector<EpubContentsEntry> contents;
    ContentsSource contentsFrom = ContentsSource::Spine;
    std::vector<std::string> missing; // entries the package names that the archive lacks
};

enum class EpubRefusal { None, NotEpub, Protected, Unreadable };

struct EpubProblem {
    EpubRefusal refusal = EpubRefusal::None;
    std::string reason;  // a clause for Unreadable
};

// Reads the package: the mimetype (a missing one is forgiven when the container is
// there), the encryption manifest (anything encrypted but obfuscated fonts means DRM),
// the container, the package document, then the contents from the navigation document,
// else the NCX, else the spine with each chapter's title. Items the package names that
// do not exist are skipped and listed in `missing`. False with `problem` set when the
// archive is no EPUB, is protected, or its package cannot be read.
bool readEpubPackage(EpubEntries& entries, EpubPackage& package, EpubProblem& problem);

// `href` (as written in the entry `base`) as a place in the package: resolved against
// base's folder, percent-escapes decoded, "." and ".." applied. nullopt for a reference
// out of the package: one with a scheme ("http:", "mailto:"), an absolute path, one that
// climbs above the archive's root, or an empty one.
std::optional<PackageTarget> resolvePackageHref(std::string_view base, std::string_view href);

// The message for a refused EPUB (without the file's name): "This EPUB is protected
// (DRM) and cannot be converted." and the like.
std::string epubRefusalMessage(const EpubProblem& problem);

// The contents page the conversion starts from, as UTF-8 HTML with a byte-order mark:
// the title, invisible links to every spine entry in reading order (so that the pages
// follow the spine), then the contents as nested lists, each entry linking to its place.
// Links are relative to the archive's root, where the page is served.
std::string contentsPageHtml(const EpubPackage& package);

// An entry name written as a link: bytes outside printable ASCII and the characters
// that would end or change a path ("%", "#", "?", quotes, space, "<", ">", "&")
// percent-escaped.
std::string entryHref(std::string_view entry);
