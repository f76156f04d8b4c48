// frontend/decoding_io.h -- an IoOps wrapper that presents every page and text the engine
// reads in the handheld's Windows-1252, whatever encoding it came in, and lets the engine
// name files in Windows-1252 while they are opened by their real (UTF-8) names.
//
// For each stream opened in mode 0 the encoding is decided from its own bytes: an override
// for the whole run; else a byte-order mark (UTF-8, UTF-16LE, UTF-16BE; the mark is no
// text); else the encoding its transport named (transportEncoding); else, for HTML pages,
// a declaration in the first 1024 bytes as a browser's pre-scan finds it; else each valid
// UTF-8 sequence is UTF-8 and every other byte a Windows-1252 character. A stream that needs no change (no mark, no valid multi-byte
// sequence, no legacy declaration, or declared Windows-1252) is handed on untouched; any
// other is transcoded through fixed buffers into a temporary stream of the inner table,
// which the engine then reads and closes. A PalmDoc source keeps its bytes.
//
// A character Windows-1252 has becomes its byte. In an HTML page any other becomes a
// decimal reference "&#N;", which the HTML reader maps, so that no transliteration can
// turn into markup ("<=" would open a tag); characters that would vanish or become only
// spaces or "?" are written as that directly. In a text source it becomes its
// transliteration. Linked pages are HTML; the source is HTML exactly when the engine's
// sniff finds HTML in its decoded form.
//
// Paths: the engine gets the source's path in a Windows-1252 form (engineFormOfPath).
// An http(s) address the engine opens only has its Windows-1252 bytes turned into UTF-8:
// its escapes are the server's business.
// Each path it opens is mapped back: the source itself and anything below the source's
// folder by that folder's real spelling, the rest of the path with its percent-escapes
// decoded as UTF-8 and its Windows-1252 characters turned into UTF-8. Page names in
// StageCurrentPage reports reach the inner table mapped the same way.
//
// Only openStream in mode 0 and reportProgress are changed; everything else goes to the
// inner table untouched. The wrapper keeps no handle between calls: every handle it
// hands out is one of the inner table's.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/io_ops.h"
#include "engine/windows1252.h"
#include "frontend/file_system.h"
#include "frontend/path_rules.h"
#include "frontend/text_encoding.h"

// How many distinct characters the report names.
inline constexpr size_t kNotedCharacters = 5;

// A character of a page that the handheld cannot show as it is.
struct CharacterNote {
    uint32_t codePoint;
    HandheldForm form;  // Transliterated, Removed or Replaced
    std::string became; // its ASCII stand-in; empty when removed
    std::string page;   // the page's real path
};

// A page whose declared (or requested) encoding this platform cannot decode; it was read
// by the UTF-8 rule instead.
struct EncodingNote {
    std::string page;
    std::string encoding;  // the standard's name
};

struct DecodingIo {
    IoOps inner{};                         // borrowed for the whole run
    const FileSystem* files = nullptr;     // to tell a missing file; may be null
    PathFlavor flavor = PathFlavor::Posix;
    std::optional<TextEncoding> encoding;  // the run's override; nullopt decides per page
    std::string engineSourcePath;          // the source's path as the engine has it
    std::string realSourcePath;
    std::string engineFolder;              // both end with "/"; empty for a bare name
    std::string realFolder;
    // The encoding the transport named for the stream just opened (a web page's
    // Content-Type charset): after a byte-order mark, before the page's declaration.
    std::function<std::optional<TextEncoding>()> transportEncoding;
    // Title probes read only a page's first bytes: decode no more than these (0 = all).
    int32_t prefixBytes = 0;

    // What the pages' and texts' own characters became, each page counted once.
    int64_t transliterated = 0;  // Removed ones included
    int64_t replaced = 0;
    std::vector<CharacterNote> noted;  // the first kNotedCharacters distinct characters
    std::vector<EncodingNote> undecodable;
    // Pages already counted, by real path: a set, since a site may have thousands.
    std::unordered_set<std::string> countedPages;
    std::string reportedPage;  // keeps a mapped page name alive for reportProgress
};

// Fills `state` for a run over `inner` whose source has the real, absolute path
// `realSourcePath` ("/" separators); the engine is to be given engineFormOfPath of it.
// `files` (may be null) must outlive the run.
void prepareDecodingIo(DecodingIo& state, const IoOps& inner, const FileSystem* files,
                       PathFlavor flavor, const std::string& realSourcePath,
                       std::optional<TextEncoding> encoding);

// The table to hand to the engine; its userData points at `state`, which must outlive it.
IoOps decodingIoOps(DecodingIo& state);

// `realPath` (UTF-8) in Windows-1252 for the engine: each character the code page has as
// its byte, and when some character lacks one, that character's UTF-8 bytes
// percent-escaped ("%E4%B9%A6") and every "%" too, so that the form maps back exactly.
std::string engineFormOfPath(std::string_view realPath);

// The real path for a path the engine asks for, by the rules above (no look-up).
std::string realPathFor(const DecodingIo& state, std::string_view enginePath);

// `enginePath`'s percent-escapes decoded as UTF-8 (by the rule that a byte of no valid
// sequence is a Windows-1252 character) and its other bytes read as Windows-1252, all as
// UTF-8. Escapes of "/", "\" and control bytes stay as they are written, so that no
// escape adds a folder level or ends the name.
std::string decodeEnginePath(std::string_view enginePath);

// "312 characters were transliterated, 4 replaced by ?" and its shorter and singular
// forms; empty when both counts are 0.
std::string characterCountMessage(int64_t transliterated, int64_t replaced);

// "→ U+2192 became \"->\" in /site/index.html" for --verbose.
std::string describeCharacter(const CharacterNote& note);
