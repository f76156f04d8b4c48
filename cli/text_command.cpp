// cli/text_command.cpp -- see text_command.h.
#include "cli/text_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/open_book.h"
#include "engine/book_reader.h"

int runText(const std::string& path) {
    OpenBook book;
    const int opened = book.open(path);
    if (opened != ExitSuccess) return opened;
    BookReader& reader = book.reader;

    std::vector<uint8_t> text(kBookChunkSize);
    for (int32_t chunk = 0; chunk < reader.chunkCount; ++chunk) {
        int32_t length = 0;
        const int32_t result = bookReadChunk(reader, chunk, text.data(), kBookChunkSize, length, nullptr);
        if (result != BookOk) {
            std::fflush(stdout);
            return reportBookFailure(path, result, failingRecord(reader, chunk, result));
        }
        if (std::fwrite(text.data(), 1, static_cast<size_t>(length), stdout) != static_cast<size_t>(length))
            break;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        console::printError(std::string("writing standard output failed: ") + std::strerror(errno));
        return ExitDestinationError;
    }
    return ExitSuccess;
}
