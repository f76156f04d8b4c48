// frontend/epub_io.cpp -- see epub_io.h.
#include "frontend/epub_io.h"

#include <algorithm>

#include "engine/checked_io.h"
#include "frontend/forwarding_io.h"
#include "frontend/path_rules.h"

namespace {

EpubIo& stateOf(void* userData) { return *static_cast<EpubIo*>(userData); }

// The package's entries, read out of the archive.
class ArchiveEntries : public EpubEntries {
public:
    explicit ArchiveEntries(const ZipArchive& archive) : archive_(archive) {}
    bool exists(const std::string& name) const override {
        return findZipEntry(archive_, name) != nullptr;
    }
    bool read(const std::string& name, std::string& bytes, std::string& reason) override {
        const ZipEntry* entry = findZipEntry(archive_, name);
        ZipProblem problem;
        if (entry == nullptr) {
            reason = "the entry \"" + name + "\" is missing";
            return false;
        }
        if (readZipEntry(archive_, *entry, kMaxPackageDocumentBytes, bytes, problem)) return true;
        reason = describeZipProblem(problem);
        return false;
    }

private:
    const ZipArchive& archive_;
};

void closeArchive(EpubIo& state) {
    if (state.archiveStream != 0)
        state.inner.closeStream(state.inner.userData, state.archiveStream);
    state.archiveStream = 0;
}

// The entry the engine means by `name`: exactly, else by ASCII case alone, as the
// conversion compares page names.
const ZipEntry* entryNamed(const ZipArchive& archive, const std::string& name) {
    if (const ZipEntry* entry = findZipEntry(archive, name)) return entry;
    for (const ZipEntry& entry : archive.entries)
        if (equalIgnoringCase(entry.name, name)) return &entry;
    return nullptr;
}

// A temporary stream of the inner table holding `bytes`, positioned at its start.
uint32_t servedFromMemory(const IoOps& inner, const std::string& bytes) {
    const uint32_t handle = inner.createTempStream(inner.userData);
    if (handle == 0) return 0;
    if (writeExact(inner, handle, bytes.data(), static_cast<int32_t>(bytes.size())) &&
        seekExact(inner, handle, 0))
        return handle;
    inner.closeStream(inner.userData, handle);
    return 0;
}

// A stream that forgets what is written to it: an entry is checked by inflating it here.
int32_t discardWrite(void*, uint32_t, int32_t count, const void*) { return count; }

bool checkZipEntry(const ZipArchive& archive, const ZipEntry& entry, ZipProblem& problem) {
    IoOps sink{};
    sink.writeStream = &discardWrite;
    return extractZipEntry(archive, entry, sink, 1, problem);
}

uint32_t openEntry(void* userData, const char* path, int32_t mode) {
    EpubIo& state = stateOf(userData);
    const IoOps& inner = state.inner;
    if (mode != 0 || path == nullptr) return inner.openStream(inner.userData, path, mode);
    const std::string_view wanted(path);
    if (wanted == state.contentsPath) return servedFromMemory(inner, state.contentsPage);
    // Outside the package: not followed.
    if (!wanted.starts_with(state.folder) || state.fault.fault != ZipFault::None) return 0;
    const ZipEntry* entry = entryNamed(state.archive, std::string(wanted.substr(state.folder.size())));
    if (entry == nullptr) return 0;
    const uint32_t handle = inner.createTempStream(inner.userData);
    if (handle == 0) return 0;
    ZipProblem problem;
    if (extractZipEntry(state.archive, *entry, inner, handle, problem) &&
        seekExact(inner, handle, 0))
        return handle;
    inner.closeStream(inner.userData, handle);
    if (problem.fault != ZipFault::None && problem.fault != ZipFault::WriteFailed)
        state.fault = problem;
    return 0;
}

// A damaged entry stops the run at the next report.
int32_t reportUnlessDamaged(void* userData, int32_t stage, void* argument) {
    EpubIo& state = stateOf(userData);
    if (state.fault.fault != ZipFault::None) return 0;
    const IoOps& inner = state.inner;
    return inner.reportProgress == nullptr ? 1
                                           : inner.reportProgress(inner.userData, stage, argument);
}

// Whether the archive at least claims to be an EPUB: its name, or a first entry
// "mimetype".
bool claimsEpub(const IoOps& inner, uint32_t stream, const std::string& path) {
    if (path.size() >= 5 && equalIgnoringCase(std::string_view(path).substr(path.size() - 5), ".epub"))
        return true;
    uint8_t header[38] = {};
    if (!seekExact(inner, stream, 0) || !readExact(inner, stream, header, sizeof header)) return false;
    const int nameLength = header[26] | header[27] << 8;
    return nameLength == 8 && std::string_view(reinterpret_cast<const char*>(header + 30), 8) == "mimetype";
}

}  // namespace

EpubIo::~EpubIo() { closeArchive(*this); }

bool isZipFile(const IoOps& io, const std::string& path) {
    const uint32_t stream = io.openStream(io.userData, path.c_str(), 0);
    if (stream == 0) return false;
    uint8_t bytes[4] = {};
    const int32_t got = io.readStream(io.userData, stream, 4, bytes);
    io.closeStream(io.userData, stream);
    return got > 0 && looksLikeZip(bytes, got);
}

bool openEpub(EpubIo& state, const IoOps& inner, const std::string& realPath,
              std::string& refusal) {
    closeArchive(state);
    state.inner = inner;
    state.archivePath = realPath;
    state.folder = realPath + "/";
    state.archiveStream = inner.openStream(inner.userData, realPath.c_str(), 0);
    if (state.archiveStream == 0) {
        refusal = "The file could not be opened.";
        return false;
    }
    ZipProblem problem;
    if (!readZipDirectory(state.archive, inner, state.archiveStream, problem)) {
        if (problem.fault == ZipFault::Encrypted) {
            refusal = epubRefusalMessage(EpubProblem{EpubRefusal::Protected, ""});
        } else {
            refusal = (claimsEpub(inner, state.archiveStream, realPath)
                           ? "This EPUB cannot be converted: "
                           : "This zip archive cannot be converted: ") +
                      describeZipProblem(problem) + ".";
        }
        closeArchive(state);
        return false;
    }
    ArchiveEntries entries(state.archive);
    EpubProblem epubProblem;
    if (!readEpubPackage(entries, state.package, epubProblem)) {
        refusal = epubRefusalMessage(epubProblem);
        closeArchive(state);
        return false;
    }
    // Every page the run will read is checked first, so that a damaged one refuses the
    // book before anything is written.
    std::vector<std::string> pages = state.package.spine;
    for (const EpubContentsEntry& entry : state.package.contents)
        if (!entry.entry.empty()) pages.push_back(entry.entry);
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    for (const std::string& page : pages) {
        const ZipEntry* entry = findZipEntry(state.archive, page);
        if (entry == nullptr || checkZipEntry(state.archive, *entry, problem)) continue;
        refusal = "This EPUB cannot be converted: " + describeZipProblem(problem) + ".";
        closeArchive(state);
        return false;
    }
    std::string name = "contents.html";
    for (int i = 2; entryNamed(state.archive, name) != nullptr; ++i)
        name = "contents-" + std::to_string(i) + ".html";
    state.contentsPath = state.folder + name;
    state.contentsPage = contentsPageHtml(state.package);
    state.fault = ZipProblem{};
    return true;
}

IoOps epubIoOps(EpubIo& state) {
    IoOps table = forwardingIoOps(state);
    table.openStream = &openEntry;
    table.reportProgress = &reportUnlessDamaged;
    return table;
}

bool layEpubIfArchive(EpubIo& state, const IoOps& inner, const std::string& path,
                      IoOps& beneath, std::string& root, std::string& refusal) {
    beneath = inner;
    root = path;
    if (!isZipFile(inner, path)) return true;
    if (!openEpub(state, inner, path, refusal)) return false;
    beneath = epubIoOps(state);
    root = state.contentsPath;
    return true;
}

std::string epubRunRefusal(const EpubIo& state) {
    if (state.fault.fault == ZipFault::None) return "";
    return "This EPUB cannot be converted: " + describeZipProblem(state.fault) + ".";
}
