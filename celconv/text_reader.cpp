// celconv/text_reader.cpp -- see text_reader.h.
#include "celconv/text_reader.h"

#include "celconv/csv_characters.h"

namespace celconv {

int TextReader::fetch() {
    const int c = in_.get();
    if (c == std::char_traits<char>::eof()) return -1;
    if (c == '\r' && in_.peek() == '\n') {
        in_.get();
        return '\n';
    }
    return c;
}

int TextReader::get() {
    if (pending_ != kNone) {
        const int c = pending_;
        pending_ = kNone;
        return c;
    }
    return fetch();
}

int TextReader::peek() {
    if (pending_ == kNone) pending_ = fetch();
    return pending_;
}

bool TextReader::readPiece(std::string& piece, int maxChars) {
    piece.clear();
    while (static_cast<int>(piece.size()) < maxChars) {
        const int c = get();
        if (c < 0) break;
        piece.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    return !piece.empty();
}

bool TextReader::readCharacters(std::string& piece, int maxStoredChars, int& storedChars) {
    piece.clear();
    storedChars = 0;
    std::string character;
    while (storedChars < maxStoredChars) {
        const int c = get();
        if (c < 0) break;
        character.assign(1, static_cast<char>(c));
        const size_t length = static_cast<size_t>(utf8LeadLength(static_cast<unsigned char>(c)));
        // A line end is never a continuation byte, so it always ends a sequence.
        while (character.size() < length && peek() >= 0 &&
               utf8Continues(character, static_cast<unsigned char>(peek())))
            character += static_cast<char>(get());
        piece += character;
        storedChars += static_cast<int>(databaseLength(character));
        if (c == '\n') break;
    }
    return !piece.empty();
}

void TextReader::skipLine() {
    for (int c = get(); c >= 0 && c != '\n'; c = get()) {
    }
}

void TextReader::skipSpace() {
    while (isSpaceByte(peek())) get();
}

}  // namespace celconv
