// cli/main.cpp -- the console program: converts one source into one e-book database
// with the standard I/O table and the usual text options, and prints the name of the
// result code. Without a title it takes a PalmDoc source's own name, else the source's
// file name without its extension.
#include <cstdio>
#include <string>

#include "engine/conversion.h"

namespace {

std::string defaultTitle(const char* sourcePath) {
    char docName[33];
    if (probeDocTitle(standardIoOps, sourcePath, docName) && docName[0] != '\0') return docName;
    std::string name(sourcePath);
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: vimlo SOURCE DEST [TITLE]\n");
        return 2;
    }
    const std::string title = argc == 4 ? std::string(argv[3]) : defaultTitle(argv[1]);
    ConversionJob job{};
    job.io = &standardIoOps;
    job.sourcePath = argv[1];
    job.destinationPath = argv[2];
    job.title = title.c_str();
    job.removeCR = 1;  // CR LF text reads as LF text on the handheld
    job.removeLF = 0;
    job.convertCRtoLF = 0;
    job.slbSpaces = -1;
    job.tabToLB = -1;
    job.tabToSpace = -1;
    job.maxDepth = 0;
    const int32_t result = convertDocument(job);
    std::printf("%s\n", resultCodeName(result));
    return result == ResultOk ? 0 : 1;
}
