// frontend/epub_io.h -- an IoOps wrapper that serves an EPUB to the engine as a site.
// The archive's entries appear read-only under a virtual folder named like the archive
// ("/books/novel.epub/OEBPS/ch1.xhtml"), and the page the conversion starts from is the
// contents page made from the package (epub_package.h), served from memory at
// "<folder>/contents.html" (another name when the archive has that one). An entry is
// inflated into a temporary stream of the inner table when the engine opens it, so no
// entry is ever whole in memory; the engine reads and closes that stream as any page.
//
// Nothing outside the virtual folder is opened for reading: links out of the package are
// not followed. An entry that turns out damaged while it is read (a size or checksum that
// does not match its header) stops the run: the wrapper answers every later progress
// report with cancel, and the front end refuses the run with epubRunRefusal. Every other
// slot, and every open for writing, goes to the inner table untouched.
#pragma once
#include <cstdint>
#include <string>

#include "engine/io_ops.h"
#include "frontend/epub_package.h"
#include "frontend/zip_archive.h"

struct EpubIo {
    EpubIo() = default;
    EpubIo(const EpubIo&) = delete;
    EpubIo& operator=(const EpubIo&) = delete;
    ~EpubIo();  // closes the archive

    IoOps inner{};              // borrowed for the whole run
    std::string archivePath;    // the EPUB's real path
    std::string folder;         // archivePath + "/": where the entries appear
    std::string contentsPath;   // the contents page's path in it: the run's root page
    std::string contentsPage;   // its bytes (UTF-8 HTML)
    uint32_t archiveStream = 0; // the archive, open for the whole run
    ZipArchive archive;
    EpubPackage package;
    ZipProblem fault;           // an entry found damaged during the run
};

// Whether the file at `path` starts like a zip archive.
bool isZipFile(const IoOps& io, const std::string& path);

// Opens the archive at `realPath` through `inner`, checks it and reads its package, and
// makes the contents page. False when the archive is refused: `refusal` then holds the
// message (without the file's name) and nothing stays open.
bool openEpub(EpubIo& state, const IoOps& inner, const std::string& realPath,
              std::string& refusal);

// The table to hand on; its userData points at `state`, which must outlive it.
IoOps epubIoOps(EpubIo& state);

// What every reader of a source does first: `beneath` becomes `inner` and `root` the
// source's `path`, unless the source is a zip archive, which is opened into `state`
// (archiveStream then nonzero), and then `beneath` is its table and `root` its contents
// page. False, with `refusal`, only for a refused archive.
bool layEpubIfArchive(EpubIo& state, const IoOps& inner, const std::string& path,
                      IoOps& beneath, std::string& root, std::string& refusal);

// The message for an entry found damaged during the run, or "" when none was.
std::string epubRunRefusal(const EpubIo& state);
