// cli/text_command.cpp -- see text_command.h.
#include "cli/text_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/open_book.h"
#include "cli/palm_text.h"
#include "engine/book_reader.h"

int runText(const std::string& path, bool raw) {
    OpenBook book;
    const int opened = book.open(path);
    if (opened != ExitSuccess) return opened;
    BookReader& reader = book.reader;

    std::vector<uint8_t> text(kBookChunkSize);
    std::string utf8;  // one chunk's characters; each byte is one character, so chunks convert alone
    for (int32_t chunk = 0; chunk < reader.chunkCount; ++chunk) {
        int32_t length = 0;
        const int32_t result = bookReadChunk(reader, chunk, text.data(), kBookChunkSize, length, nullptr);
        if (result != BookOk) {
            std::fflush(stdout);
            return reportBookFailure(path, result, failingRecord(reader, chunk, result));
        }
        const char* bytes = reinterpret_cast<const char*>(text.data());
        size_t size = static_cast<size_t>(length);
        if (!raw) {
            utf8.clear();
            appendTextFrom1252(utf8, bytes, size);
            bytes = utf8.data();
            size = utf8.size();
        }
        if (std::fwrite(bytes, 1, size, stdout) != size) break;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        console::printError(std::string("writing standard output failed: ") + std::strerror(errno));
        return ExitDestinationError;
    }
    return ExitSuccess;
}
