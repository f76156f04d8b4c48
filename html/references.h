// html/references.h -- turning an HREF, a SRC or a BASE into a page name. References are
// zero-terminated byte strings of at most 255 bytes; every output buffer holds 256
// bytes. Instead of cutting or overflowing a result, each operation answers "no result",
// and the caller drops the reference. The front end uses the same helpers to make the
// source path absolute, so they depend on nothing but their arguments.
#pragma once
#include <cstdint>

constexpr int kReferenceBytes = 256;  // 255 bytes of reference plus the terminating zero

enum PathKind : int {
    PathRelative = 0,  // anything else
    PathDrive = 1,     // ASCII letter, ':', then '\' or '/'
    PathUnc = 2,       // starts with "\\"
    PathRoot = 3,      // starts with '/'
    PathUrl = 4,       // starts with "http://" or "https://", any letter case
};

// The PathKind of `ref`.
int pathKind(const char* ref);

// `name` up to and including its last '\' or '/', taken from its first 255 bytes, into
// `out` (256 bytes); empty when there is no separator.
void directoryPart(const char* name, char* out);

// What a page's references resolve against: its whole address for a web page (PathUrl),
// as a query or an empty reference need it, else directoryPart of its name.
void pageBase(const char* pageName, char* out);

// Resolves `ref` against the absolute directory `base` into `out` (256 bytes).
// Drive, UNC and URL references come back unchanged; a reference starting with '/' or a
// single '\' replaces everything after the base's root; anything else is appended to the
// base. Returns `out`, or nullptr when the base is relative or 254 bytes or longer, a URL
// base has no host part, or the result would exceed 255 bytes. `out` may then hold
// anything.
char* resolveReference(const char* base, const char* ref, char* out);

// Removes every "<segment>/../" in place ('\' and '/' both separate), so "a/b/../c"
// becomes "a/c". Single dots and a trailing ".." stay. Returns `path`, or nullptr (with
// `path` unchanged) when a ".." climbs above the first segment or `path` is longer than
// 255 bytes.
char* normalizePath(char* path);

// Splits `ref` at its first '#': `path` (256 bytes) gets what precedes it, `fragment`
// (256 bytes) what follows; without a '#' the fragment is empty. False when either
// part exceeds 255 bytes.
bool splitFragment(const char* ref, char* path, char* fragment);

// Decodes the percent-escapes of a resolved reference in place, so that every spelling
// of one file name is one page name: a page links to "café.html" and "caf%C3%A9.html"
// alike. Escaped bytes are read as UTF-8 where they form a valid sequence and as
// Windows-1252 otherwise; a character the handheld has becomes its byte. An escape stays
// (with upper-case digits) when its character lacks a byte, or is a control, "%", "/",
// "\", "#" or "?", so that no escape adds a folder level, a fragment or a second escape.
// The result is never longer. Returns `path`.
char* decodePathEscapes(char* path);

// What resolveWebReference made of a reference.
enum WebReference : int {
    WebResolved = 0,  // `out` and `fragment` hold the result
    WebRefused = 1,   // not an address a web page may open (another scheme, no host...)
    WebTooLong = 2,   // the address or its fragment would exceed 255 bytes
};

// Resolves `ref` as a browser does against `base`, an http or https address (a page's
// own address or a BASE HREF; its fragment is ignored), after RFC 3986 section 5:
// "//host/p" takes the base's scheme, "/p" its scheme and host, "?q" its path, "" its
// path and query; anything else is merged with the folder of the base's path (never
// looking into its query). Dot segments ("%2E" spellings too) are removed, and ".."
// never climbs above the host. '\' before the query counts as '/'. Any other scheme
// (file:, mailto:, a drive letter...) is refused: a page from the web never opens a
// local file. The result is one spelling per address: scheme and host in lower case, a
// default port (":80", ":443") dropped, an empty path made "/", and in the path and
// query the escapes of unreserved characters and spaces decoded, as are UTF-8 escapes of a
// character the handheld has (to its Windows-1252 byte); every other escape stays, upper
// case, so that no escape changes what the address asks for. Whoever fetches the address
// escapes each byte past ASCII as the UTF-8 of its Windows-1252 character, and spaces
// and controls likewise. `out` gets the address without fragment, `fragment` what
// followed the first '#' (escapes decoded as decodePathEscapes does); both 256 bytes.
int resolveWebReference(const char* base, const char* ref, char* out, char* fragment);
