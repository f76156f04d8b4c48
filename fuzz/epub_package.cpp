// fuzz/epub_package.cpp -- an EPUB's package from strangers, two ways. Input starting
// "PK" is a whole archive: it is opened as the front ends open it, and when accepted,
// the contents page and every chapter are read through the archive's IoOps as the
// engine would read them. Any other input is the package's documents, split at
// kPageSeparator: the container, "a.opf", "nav.xhtml", "toc.ncx", "c1.xhtml", "c2.xhtml"
// (the seeds name these), read without an archive. Either way nothing is held
// afterwards, the contents page is sound HTML for the conversion (it starts with its
// byte-order mark), and every entry it links to is one the package has.
#include <cstdint>
#include <string>

#include "frontend/epub_io.h"
#include "frontend/epub_package.h"
#include "frontend/xml_reader.h"
#include "fuzz/fuzz_support.h"
#include "tests/support/memory_io.h"
#include "tests/support/table_entries.h"

namespace {

constexpr const char* kArchive = "/books/book.epub";

void checkPackage(const EpubPackage& package, const EpubEntries& entries) {
    const std::string page = contentsPageHtml(package);
    fuzzCheck(page.rfind("\xEF\xBB\xBF<!DOCTYPE html>", 0) == 0, "a contents page without its start");
    for (const std::string& entry : package.spine)
        fuzzCheck(entries.exists(entry), "a spine entry the archive lacks");
    for (const EpubContentsEntry& entry : package.contents)
        fuzzCheck(entry.entry.empty() || entries.exists(entry.entry), "a contents link to nothing");
}

void readWhole(const IoOps& io, uint32_t handle) {
    char buffer[4096];
    while (io.readStream(io.userData, handle, sizeof buffer, buffer) == sizeof buffer) {
    }
}

void fromArchive(const uint8_t* data, size_t size) {
    MemoryIo memory;
    memory.addFile(kArchive, std::string(reinterpret_cast<const char*>(data), size));
    {
        EpubIo epub;
        std::string refusal;
        if (openEpub(epub, memory.ops(), kArchive, refusal)) {
            fuzzCheck(refusal.empty(), "a refusal for an accepted book");
            const IoOps io = epubIoOps(epub);
            std::vector<std::string> pages{epub.contentsPath};
            for (const std::string& entry : epub.package.spine) pages.push_back(epub.folder + entry);
            pages.push_back(epub.folder + "../../etc/passwd");
            pages.push_back("/etc/passwd");
            for (const std::string& page : pages) {
                const uint32_t handle = io.openStream(io.userData, page.c_str(), 0);
                fuzzCheck(handle == 0 || page.find("passwd") == std::string::npos,
                          "a page outside the archive opened");
                if (handle == 0) continue;
                readWhole(io, handle);
                io.closeStream(io.userData, handle);
            }
        } else {
            fuzzCheck(!refusal.empty(), "a refusal without a reason");
            fuzzCheck(epub.archiveStream == 0, "a refused archive left open");
        }
    }
    checkNothingHeld(memory);
}

void fromDocuments(const uint8_t* data, size_t size) {
    const std::vector<std::string> pages = splitPages(data, size);
    static const char* const kNames[] = {"META-INF/container.xml", "a.opf", "nav.xhtml",
                                         "toc.ncx", "c1.xhtml", "c2.xhtml"};
    TableEntries entries;
    entries.files["mimetype"] = "application/epub+zip";
    for (size_t i = 0; i < pages.size() && i < std::size(kNames); ++i) {
        entries.files[kNames[i]] = pages[i];
        XmlReader xml(pages[i]);
        for (int events = 0; xml.next() != XmlEvent::End; ++events)
            fuzzCheck(events <= static_cast<int>(pages[i].size()) + 1, "more events than bytes");
    }
    EpubPackage package;
    EpubProblem problem;
    if (readEpubPackage(entries, package, problem))
        checkPackage(package, entries);
    else
        fuzzCheck(!epubRefusalMessage(problem).empty(), "a refusal without a message");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 2 && data[0] == 'P' && data[1] == 'K')
        fromArchive(data, size);
    else
        fromDocuments(data, size);
    return 0;
}
