// tests/win32/book_text.cpp -- a native helper of the Windows stage: writes the text of
// an e-book database, decoded by the engine's book reader, to a file, so the stage can
// compare what VimloW32.exe wrote under Wine with the text it expects.
//
//   vimlo_book_text DATABASE TEXT-OUT    exit 0, or 1 naming the reader's result
#include <cstdio>

#include "engine/book_reader.h"
#include "platform/standard_io.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vimlo_book_text DATABASE TEXT-OUT\n");
        return 2;
    }
    const IoOps& io = standardIoOps;
    const uint32_t database = io.openStream(io.userData, argv[1], 0);
    if (database == 0) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const uint32_t text = io.openStream(io.userData, argv[2], 1);
    int32_t result = text == 0 ? BookIoFailed : BookOk;
    BookReader reader{};
    if (result == BookOk) result = bookOpen(io, database, reader);
    if (result == BookOk) result = bookReadText(reader, text);
    bookClose(reader);
    if (text != 0) io.closeStream(io.userData, text);
    io.closeStream(io.userData, database);
    if (result != BookOk) std::fprintf(stderr, "%s: %s\n", argv[1], bookResultName(result));
    return result == BookOk ? 0 : 1;
}
